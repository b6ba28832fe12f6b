#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vornix {

// HKEY_LOCAL_MACHINE\SOFTWARE\Arvel Systems\Vornix\Settings: written by the service, read by
// both main programs.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Arvel Systems\\Vornix\\Settings";
inline std::string SettingsKey() {
  return kSettingsKey;
}

inline constexpr const char* kDefaultServerUrl = "192.168.10.1";
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

// The program's version text, "1, 0, 0, 1" when it carries none.
std::string ReadProductVersion();

// The version text as the service shows it: every ", " turned into ".".
std::string ServiceVersionText(std::string versionText);

// The service's command address: ServerUrl "/" "cgi-bin/vornet".
std::string CommandUrl(const std::string& serverUrl);
// The utility's: UrlOut followed by "/cgi-bin/vornet".
std::string UpdaterCommandUrl(const std::string& urlOut);

// DefaultServer below 2 (0 and 1) means the local server; a key without the value means it too.
bool UseLocalServerFrom(std::optional<uint32_t> defaultServer);

// The vendor's file server: host ":81" "/Vornix", no scheme.
std::string VendorUpdateServer();

}  // namespace vornix
