#include "platform/system_root.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/path.h"
#include "platform/user_folders.h"

namespace vornix {

namespace {
constexpr const char* kMachineSystemRoot = "/var/lib/vornix";
constexpr const char* kUserSystemRootName = "vornix";
}  // namespace

std::string DefaultSystemRoot(bool forRoot) {
  if (forRoot) return kMachineSystemRoot;
  const std::string data = UserDataHome();
  // No home at all: the machine's root, which such a user cannot write and is told so.
  return data.empty() ? kMachineSystemRoot : JoinPath(data, kUserSystemRootName);
}

std::string SystemRoot() {
  const char* root = std::getenv("VORNIX_SYSTEM_ROOT");
  if (root && *root) return root;
  return DefaultSystemRoot(geteuid() == 0);
}

std::string WindowsDirectory() {
  return JoinPath(SystemRoot(), "windows");
}

std::string RunFolder(const std::string& sub) {
  return JoinPath(JoinPath(SystemRoot(), "run"), sub);
}

}  // namespace vornix
