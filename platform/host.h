#pragma once

#include <array>
#include <optional>
#include <string>

namespace vornix {

// gethostname; empty when it fails.
std::optional<std::string> HostName();

// The first IPv4 address the name resolves to (gethostbyname's first address).
std::optional<std::array<unsigned char, 4>> FirstIPv4Address(const std::string& host);

// GetComputerName: the node name from uname.
std::optional<std::string> ComputerName();

// Windows Sockets start-up; always available on this system.
bool StartSockets();

}  // namespace vornix
