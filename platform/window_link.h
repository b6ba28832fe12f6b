#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <optional>
#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// FindWindow by title and SendMessage(WM_COMMAND) between processes. A top-level window that
// other programs find by its title listens on the Unix stream socket
// <system root>/run/windows/<title>. A sender connects, writes "WM_COMMAND <id>\n" and waits
// for the window to handle the command and answer "<result>\n".

std::string WindowSocketPath(const std::string& title);

// The address of a Unix socket at `path`, whatever its length: a path longer than an address
// holds is reached through a descriptor of its folder, as /proc/self/fd/<n>/<name>, which
// stays short. Holds that descriptor until it goes; bind or connect while it lives.
class SocketAddress {
 public:
  explicit SocketAddress(const std::string& path);

  bool valid() const { return valid_; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&addr_); }
  socklen_t size() const { return sizeof addr_; }

 private:
  sockaddr_un addr_{};
  FileDescriptor folder_;
  bool valid_ = false;
};

// FindWindow: true when a window with this title accepts connections.
bool FindWindowByTitle(const std::string& title);

// SendMessage(WM_COMMAND, id): the window's result, or nothing when there is no such window or
// no answer came within `timeoutMs`.
std::optional<long> SendWindowCommand(const std::string& title, int commandId,
                                      int timeoutMs = 30000);

// True when the sender on connection `fd` has closed its end: it stopped waiting for the
// answer, and the command it sent is no longer to be carried out.
bool SenderStoppedWaiting(int fd);

// Parses one request line "WM_COMMAND <id>" (the listening side's half of the protocol).
std::optional<int> ParseWindowCommand(const std::string& line);

}  // namespace vornix
