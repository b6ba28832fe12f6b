// ReadProfileString on any file: no crash; section and key match in any letter case; the value
// is cut to its buffer and nothing else, is text of one line of the file, and a file without
// "=" gives the fallback.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The reader takes a path: a file in memory, reached through its descriptor, holds the input.
  static const int fd = memfd_create("avclient.ini", MFD_CLOEXEC);
  static const std::string file = "/proc/self/fd/" + std::to_string(fd);
  // The first byte picks a buffer, 0 included: the caller's capacity is outside input too.
  const size_t capacity = data[0] % 160;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
    std::abort();
  const std::string fallback = "fb";
  const size_t room = text.size() + fallback.size() + 1;  // nothing cut
  const std::string whole =
      vornix::ReadProfileString(file, "SERVER", "ComputerName", fallback, room);
  if (vornix::ReadProfileString(file, "server", "COMPUTERNAME", fallback, room) != whole ||
      vornix::ReadProfileString(file, "SERVER", "ComputerName", fallback, capacity) !=
          whole.substr(0, capacity ? capacity - 1 : 0) ||
      whole.find('\n') != std::string::npos)
    std::abort();
  if (whole != fallback &&
      (text.find(whole) == std::string::npos || text.find('=') == std::string::npos))
    std::abort();
  return 0;
}
