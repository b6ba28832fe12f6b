#include "service/ui/window_listener.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/path.h"
#include "platform/system_root.h"
#include "platform/window_link.h"

namespace vornix {

namespace {
constexpr size_t kLongestLine = 256;
}  // namespace

struct WindowListener::Connection {
  explicit Connection(int fd) : socket(fd) {}
  ~Connection() { delete notifier; }  // before the socket it watches closes
  FileDescriptor socket;
  QSocketNotifier* notifier = nullptr;
  std::string buffer;
  bool closed = false;
};

WindowListener::WindowListener(const std::string& title, Handler handler, QObject* parent)
    : QObject(parent), path_(WindowSocketPath(title)), handler_(std::move(handler)) {}

WindowListener::~WindowListener() {
  Close();
  connections_.clear();
}

bool WindowListener::Listen(std::string* why) {
  const auto fail = [&](const char* what) {
    if (why) *why = "the window socket " + path_ + " " + what + ": " + std::strerror(errno);
    socket_.reset();
    return false;
  };
  MakeRunFolder("windows");
  // Only one instance runs (the named mutex), so a socket file here is a crashed one's.
  unlink(path_.c_str());
  const SocketAddress address(path_);
  if (!address.valid()) {
    errno = ENAMETOOLONG;
    return fail("cannot be named");
  }
  socket_.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket_.valid()) return fail("cannot be made");
  if (bind(socket_.get(), address.get(), address.size()) != 0) return fail("cannot be made");
  if (listen(socket_.get(), 8) != 0) return fail("cannot listen");
  acceptNotifier_ = new QSocketNotifier(socket_.get(), QSocketNotifier::Read, this);
  connect(acceptNotifier_, &QSocketNotifier::activated, this, &WindowListener::Accept);
  return true;
}

void WindowListener::Close() {
  if (!socket_.valid()) return;
  delete acceptNotifier_;
  acceptNotifier_ = nullptr;
  socket_.reset();
  unlink(path_.c_str());
}

void WindowListener::Accept() {
  if (!socket_.valid()) return;
  for (;;) {
    const int fd = accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    auto connection = std::make_unique<Connection>(fd);
    Connection* c = connection.get();
    c->notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(c->notifier, &QSocketNotifier::activated, this, [this, c] { Read(c); });
    connections_.push_back(std::move(connection));
  }
}

void WindowListener::Read(Connection* c) {
  char chunk[128];
  const ssize_t n = recv(c->socket.get(), chunk, sizeof chunk, 0);
  if (n <= 0) {
    Drop(c);
    return;
  }
  c->buffer.append(chunk, static_cast<size_t>(n));
  // A command may open a modal loop; this connection waits until it is answered.
  c->notifier->setEnabled(false);
  size_t end;
  while (!c->closed && (end = c->buffer.find('\n')) != std::string::npos) {
    const std::string line = c->buffer.substr(0, end + 1);
    c->buffer.erase(0, end + 1);
    const std::optional<int> id = ParseWindowCommand(line);
    // A command sent while the window was busy, whose sender has since given up waiting, is
    // stale: carried out now it would surprise the sender (a service stopped long after its
    // utility went on without it).
    if (!id || SenderStoppedWaiting(c->socket.get())) {
      c->closed = true;
      break;
    }
    // Answered before control goes back to the loop, so a shutdown command is answered
    // before the service ends.
    const std::string answer = std::to_string(handler_(*id)) + "\n";
    if (send(c->socket.get(), answer.data(), answer.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(answer.size())) {
      c->closed = true;
    }
  }
  if (c->buffer.size() > kLongestLine) c->closed = true;
  if (c->closed) {
    Drop(c);
  } else {
    c->notifier->setEnabled(true);
  }
}

void WindowListener::Drop(Connection* c) {
  c->closed = true;
  c->notifier->setEnabled(false);
  // Deleted once the notifier's signal has returned.
  QTimer::singleShot(0, this, [this, c] {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [c](const auto& p) { return p.get() == c; }),
                       connections_.end());
  });
}

}  // namespace vornix
