#include "platform/system_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool MakeRunFolder(const std::string& sub) {
  const std::string run = JoinPath(SystemRoot(), "run"), folder = RunFolder(sub);
  for (const std::string& f : {run, folder}) {
    if (mkdir(f.c_str(), 0700) != 0 && errno != EEXIST && !MakeFolders(f)) return false;
    struct stat st {};
    if (stat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // A folder another user made (in a system root others may write) is theirs to change: a
    // lock or socket in it could be taken away. It is not used.
    if (st.st_uid != geteuid() && st.st_uid != 0) {
      errno = EPERM;
      return false;
    }
    if (st.st_uid == geteuid() && (st.st_mode & 077)) chmod(f.c_str(), 0700);
  }
  return true;
}

void ProvideRuntimeFolder() {
  const char* given = std::getenv("XDG_RUNTIME_DIR");
  if (given && given[0] == '/') return;
  const std::string folder = RunFolder("session");
  struct stat st {};
  if (!MakeRunFolder("session") || stat(folder.c_str(), &st) != 0 || st.st_uid != geteuid()) return;
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace vornix
