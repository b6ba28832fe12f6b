#include "platform/private_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vornix {

FileDescriptor PrivateCopy(int fd, const std::string& folder,
                           const std::function<void(const char* data, size_t size)>& onBytes,
                           std::string* why) {
  const auto fail = [&](const char* what) {
    if (why) *why = std::string(what) + ": " + std::strerror(errno);
    return FileDescriptor();
  };
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return fail("the file cannot be read");
  FileDescriptor copy(
      open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, (st.st_mode & 0100) | 0400));
  if (!copy.valid()) return fail("no private copy can be made");
  if (!CopyAllBytes(fd, copy.get(), onBytes)) return fail("the private copy cannot be written");
  // Opened anew for reading only, and the writing descriptor closed: nothing can change the
  // copy now, and a program may be started from it.
  const std::string self = "/proc/self/fd/" + std::to_string(copy.get());
  FileDescriptor readOnly(open(self.c_str(), O_RDONLY | O_CLOEXEC));
  if (!readOnly.valid()) return fail("the private copy cannot be opened for reading");
  return readOnly;
}

}  // namespace vornix
