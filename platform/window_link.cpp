#include "platform/window_link.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/system_root.h"

namespace vornix {

namespace {

FileDescriptor Connect(const std::string& title) {
  const SocketAddress address(WindowSocketPath(title));
  if (!address.valid()) return FileDescriptor();
  FileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.valid() && connect(fd.get(), address.get(), address.size()) != 0)
    return FileDescriptor();  // no socket, or a stale one: no such window
  return fd;
}

}  // namespace

std::string WindowSocketPath(const std::string& title) {
  return JoinPath(RunFolder("windows"), title);
}

SocketAddress::SocketAddress(const std::string& path) {
  addr_.sun_family = AF_UNIX;
  std::string shortPath = path;
  if (path.size() >= sizeof addr_.sun_path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    folder_.reset(open(path.substr(0, slash + 1).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder_.valid()) return;
    shortPath = "/proc/self/fd/" + std::to_string(folder_.get()) + path.substr(slash);
    if (shortPath.size() >= sizeof addr_.sun_path) return;
  }
  std::memcpy(addr_.sun_path, shortPath.c_str(), shortPath.size() + 1);
  valid_ = true;
}

bool FindWindowByTitle(const std::string& title) {
  return Connect(title).valid();
}

std::optional<long> SendWindowCommand(const std::string& title, int commandId, int timeoutMs) {
  const FileDescriptor s = Connect(title);
  if (!s.valid()) return std::nullopt;
  const std::string request = "WM_COMMAND " + std::to_string(commandId) + "\n";
  if (send(s.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return std::nullopt;

  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (answer.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{s.get(), POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char buf[64];
    const ssize_t n = recv(s.get(), buf, sizeof buf, 0);
    if (n <= 0) return std::nullopt;
    answer.append(buf, static_cast<size_t>(n));
  }
  return std::strtol(answer.c_str(), nullptr, 10);
}

bool SenderStoppedWaiting(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

std::optional<int> ParseWindowCommand(const std::string& line) {
  constexpr std::string_view kPrefix = "WM_COMMAND ";
  if (line.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  const std::string digits = line.substr(kPrefix.size());
  char* end = nullptr;
  const long id = std::strtol(digits.c_str(), &end, 10);
  if (end == digits.c_str() || (*end != '\0' && *end != '\n' && *end != '\r')) return std::nullopt;
  return static_cast<int>(id);
}

}  // namespace vornix
