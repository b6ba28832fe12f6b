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
FileDescriptor OpenNonBlocking(const std::string& path, int flags) {
  FileDescriptor fd(open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644));
  struct stat st {};
  if (fd.valid() && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
                     fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0))
    fd.reset();
  return fd;
}

}  // namespace

FileDescriptor OpenRegularFile(const std::string& path) {
  return OpenNonBlocking(path, O_RDONLY);
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit) {
  const FileDescriptor fd = OpenRegularFile(path);
  if (!fd.valid()) return std::nullopt;
  std::string data;
  char buf[65536];
  while (data.size() < limit) {
    const size_t want = std::min(sizeof buf, limit - data.size());
    const ssize_t n = read(fd.get(), buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return data;
}

FileDescriptor OpenRegularFileForAppending(const std::string& path) {
  return OpenNonBlocking(path, O_WRONLY | O_APPEND | O_CREAT);
}

}  // namespace vornix
