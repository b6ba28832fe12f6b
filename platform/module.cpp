#include "platform/module.h"

#include <unistd.h>

#include <climits>

#include "platform/path.h"

namespace vornix {

std::string ModuleFileName() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string ModuleFolder() {
  const std::string exe = ModuleFileName();
  if (exe.empty()) return "/";
  return FolderWithSlash(exe);
}

}  // namespace vornix
