#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/path.h"

namespace vornix {

namespace {

// A variable that holds an absolute path; the XDG rules ignore any other value.
const char* AbsolutePathVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : nullptr;
}

std::string PasswdHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(static_cast<size_t>(size > 0 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buf.data(), buf.size(), &found) != 0 || !found ||
      !found->pw_dir || found->pw_dir[0] != '/')
    return {};
  return found->pw_dir;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = AbsolutePathVariable("HOME")) return home;
  return PasswdHome();
}

std::string UserDataHome() {
  if (const char* data = AbsolutePathVariable("XDG_DATA_HOME")) return data;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : JoinPath(home, ".local/share");
}

}  // namespace vornix
