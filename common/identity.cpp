#include "common/identity.h"

#include <cstdio>

#include "platform/host.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "platform/system_root.h"

namespace vornix {

namespace {
constexpr const char* kUnknownName = "UNKNOWN";
}  // namespace

std::string ClientIniPath() {
  return JoinPath(WindowsDirectory(), "avclient.ini");
}

NameSources SystemNameSources() {
  NameSources s;
  s.profileComputerName = [] {
    return ReadProfileString(ClientIniPath(), "SERVER", "ComputerName", "", kClientNameCapacity);
  };
  s.startSockets = StartSockets;
  s.hostName = [] {
    auto name = HostName();
    if (name && name->size() >= kClientNameCapacity) name->resize(kClientNameCapacity - 1);
    return name;
  };
  s.firstAddress = FirstIPv4Address;
  s.computerName = [] {
    auto name = ComputerName();
    if (name && name->size() >= kClientNameCapacity) name->resize(kClientNameCapacity - 1);
    return name;
  };
  return s;
}

ClientIdentity ReadClientName(const NameSources& sources) {
  ClientIdentity id;
  const std::string fromIni = sources.profileComputerName();
  if (!fromIni.empty()) {
    id.ClientName = fromIni;
    id.ClientDisplayText = fromIni + "*";
    return id;
  }
  if (sources.startSockets()) {
    const std::string name = sources.hostName().value_or(kUnknownName);
    const auto address = sources.firstAddress(name).value_or(std::array<unsigned char, 4>{});
    char text[512];
    std::snprintf(text, sizeof text, "%s  :  %d.%d.%d.%d", name.c_str(), address[0], address[1],
                  address[2], address[3]);
    id.ClientName = name;
    id.ClientDisplayText = text;
    return id;
  }
  id.ClientName = sources.computerName().value_or(kUnknownName);
  id.ClientDisplayText = id.ClientName;
  return id;
}

}  // namespace vornix
