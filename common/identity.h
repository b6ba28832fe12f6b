#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace vornix {

inline constexpr size_t kClientNameCapacity = 128;  // avclient.ini and host name buffers

// Who this client says it is: the name sent with CONFIG and LOGMSG, and the line the service
// shows beside "Client ID:".
struct ClientIdentity {
  std::string ClientName;
  std::string ClientDisplayText;
};

// Where ReadClientName takes its answers from; tests replace them.
struct NameSources {
  std::function<std::string()> profileComputerName;  // avclient.ini [SERVER] ComputerName
  std::function<bool()> startSockets;
  std::function<std::optional<std::string>()> hostName;
  std::function<std::optional<std::array<unsigned char, 4>>(const std::string&)> firstAddress;
  std::function<std::optional<std::string>()> computerName;
};
NameSources SystemNameSources();

// avclient.ini first, then the network's host name and address, then the computer name.
ClientIdentity ReadClientName(const NameSources& sources = SystemNameSources());

// <Windows directory>/avclient.ini
std::string ClientIniPath();

}  // namespace vornix
