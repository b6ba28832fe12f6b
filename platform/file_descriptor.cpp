#include "platform/file_descriptor.h"

#include <cerrno>

namespace vornix {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool CopyAllBytes(int from, int to,
                  const std::function<void(const char* data, size_t size)>& onBytes) {
  std::string buffer(size_t{1} << 20, '\0');
  for (off_t at = 0;;) {
    const ssize_t n = pread(from, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    at += n;
    if (!WriteAll(to, std::string_view(buffer.data(), static_cast<size_t>(n)))) return false;
    if (onBytes) onBytes(buffer.data(), static_cast<size_t>(n));
  }
}

}  // namespace vornix
