#include "platform/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>

#include "platform/file_descriptor.h"
#include "platform/path.h"

namespace vornix {

namespace {

constexpr size_t kRandomLength = 6;  // what mkostemp puts in place of "XXXXXX"
constexpr time_t kStaleAfterSeconds = 5;

bool IsOurs(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kRandomLength || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

}  // namespace

FileDescriptor CreateTemporaryBeside(const std::string& folder, const std::string& prefix,
                                     std::string& path) {
  std::string name = JoinPath(folder, prefix + "XXXXXX");
  FileDescriptor fd(mkostemp(name.data(), O_CLOEXEC));
  if (!fd.valid()) return fd;
  flock(fd.get(), LOCK_EX);
  path = name;
  return fd;
}

void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsOurs(name, prefix)) continue;
    const FileDescriptor fd(
        openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.valid() && fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
        now - st.st_mtime >= kStaleAfterSeconds && flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
      unlinkat(dirfd(dir), name.c_str(), 0);
  }
  closedir(dir);
}

}  // namespace vornix
