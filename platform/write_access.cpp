#include "platform/write_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vornix {

namespace {

// faccessat with AT_EACCESS asks for the effective ids; it also reports a read-only mount.
int AccessError(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

int FolderWriteError(const std::string& folder) {
  std::string path = folder.empty() ? "." : folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  while (true) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return ENOTDIR;
      return AccessError(path, W_OK | X_OK);
    }
    if (errno != ENOENT) return errno;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return AccessError(".", W_OK | X_OK);
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
}

int FileWriteError(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    if (errno != ENOENT) return errno;
    const size_t slash = file.rfind('/');
    return FolderWriteError(slash == std::string::npos ? "" : file.substr(0, slash + 1));
  }
  // The programs write files only where a regular file is, or none.
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  return AccessError(file, W_OK);
}

}  // namespace vornix
