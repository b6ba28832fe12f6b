#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vornix {

// Where the programs find the update server: the address in the settings (UrlOut), its command
// address, and the vendor's file server.

inline constexpr const char* kDefaultServerUrl = "192.168.10.1";
// UrlOut is read into 512 bytes, by every program: an address keeps at most 511 characters.
inline constexpr size_t kUrlOutCapacity = 512;

class RegistryKey;

// UrlOut as the settings key holds it: the address (empty when the value is absent or empty,
// which stands for the default), or why it cannot be used: its line cannot be read, it is longer
// than 511 characters, it holds a blank.
struct UrlOutValue {
  std::string address;
  std::string problem;
};
UrlOutValue ReadUrlOut(const RegistryKey& key);

// The command address of a server address: it followed by "/cgi-bin/vornet".
std::string CommandUrl(const std::string& serverUrl);

// DefaultServer below 2 (0 and 1) means the local server; a key without the value means it too.
bool UseLocalServerFrom(std::optional<uint32_t> defaultServer);

// The vendor's file server: host ":81" "/Vornix", no scheme.
std::string VendorUpdateServer();

}  // namespace vornix
