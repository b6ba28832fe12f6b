#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vornix {

namespace {

// Opening without blocking: a FIFO without a writer would otherwise wait for one for ever.
int OpenNonBlocking(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int OpenRegularFile(const std::string& path) {
  return OpenNonBlocking(path, O_RDONLY);
}

FILE* OpenRegularFileStream(const std::string& path) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return std::nullopt;
  std::string data;
  char buf[65536];
  while (data.size() < limit) {
    const size_t want = std::min(sizeof buf, limit - data.size());
    const ssize_t n = read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return data;
}

int OpenRegularFileForAppending(const std::string& path) {
  return OpenNonBlocking(path, O_WRONLY | O_APPEND | O_CREAT);
}

}  // namespace vornix
