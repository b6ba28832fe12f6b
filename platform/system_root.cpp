#include "platform/system_root.h"

#include <cstdlib>

#include "platform/path.h"

namespace vornix {

namespace {
constexpr const char* kDefaultSystemRoot = "/var/lib/vornix";
}

std::string SystemRoot() {
  const char* root = std::getenv("VORNIX_SYSTEM_ROOT");
  return (root && *root) ? root : kDefaultSystemRoot;
}

std::string WindowsDirectory() {
  return JoinPath(SystemRoot(), "windows");
}

std::string RunFolder(const std::string& sub) {
  return JoinPath(JoinPath(SystemRoot(), "run"), sub);
}

}  // namespace vornix
