#include "platform/private_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vornix {

namespace {

constexpr size_t kChunk = 1 << 20;

// Copies all of `from`, from its start, to `to`, showing each piece to `onBytes`.
bool CopyAll(int from, int to, const std::function<void(const char*, size_t)>& onBytes) {
  std::string buffer(kChunk, '\0');
  for (off_t at = 0;;) {
    const ssize_t n = pread(from, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    at += n;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
    if (onBytes) onBytes(buffer.data(), static_cast<size_t>(n));
  }
}

}  // namespace

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
  if (!CopyAll(fd, copy.get(), onBytes)) return fail("the private copy cannot be written");
  // Opened anew for reading only, and the writing descriptor closed: nothing can change the
  // copy now, and a program may be started from it.
  const std::string self = "/proc/self/fd/" + std::to_string(copy.get());
  FileDescriptor readOnly(open(self.c_str(), O_RDONLY | O_CLOEXEC));
  if (!readOnly.valid()) return fail("the private copy cannot be opened for reading");
  return readOnly;
}

}  // namespace vornix
