#include "platform/private_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vornix {

namespace {

// Copies all of `from` (from its start) to `to`: in the kernel where it can, else by reading.
bool CopyAll(int from, int to) {
  off_t in = 0, out = 0;
  for (;;) {
    const ssize_t n = copy_file_range(from, &in, to, &out, size_t{1} << 30, 0);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (in != 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP))
      return false;
    break;  // not between these files: read and write
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = pread(from, buffer, sizeof buffer, in);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    in += n;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace

FileDescriptor PrivateCopy(int fd, const std::string& folder, std::string* why) {
  const auto fail = [&](const char* what) {
    if (why) *why = std::string(what) + ": " + std::strerror(errno);
    return FileDescriptor();
  };
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return fail("the file cannot be read");
  FileDescriptor copy(
      open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, (st.st_mode & 0100) | 0400));
  if (!copy.valid()) return fail("no private copy can be made");
  if (!CopyAll(fd, copy.get())) return fail("the private copy cannot be written");
  // Opened anew for reading only, and the writing descriptor closed: nothing can change the
  // copy now, and a program may be started from it.
  const std::string self = "/proc/self/fd/" + std::to_string(copy.get());
  FileDescriptor readOnly(open(self.c_str(), O_RDONLY | O_CLOEXEC));
  if (!readOnly.valid()) return fail("the private copy cannot be opened for reading");
  return readOnly;
}

}  // namespace vornix
