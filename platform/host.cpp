#include "platform/host.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

namespace vornix {

std::optional<std::string> HostName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
  return std::string(buf);
}

std::optional<std::array<unsigned char, 4>> FirstIPv4Address(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return std::nullopt;
  std::array<unsigned char, 4> bytes{};
  const auto* sin = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  std::memcpy(bytes.data(), &sin->sin_addr, 4);
  freeaddrinfo(result);
  return bytes;
}

std::optional<std::string> ComputerName() {
  utsname u{};
  if (uname(&u) != 0) return std::nullopt;
  return std::string(u.nodename);
}

bool StartSockets() {
  return true;
}

}  // namespace vornix
