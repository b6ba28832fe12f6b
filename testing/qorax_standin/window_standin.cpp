// Stands in for the service's main window: listens on the window socket of its title
// (default "Vornix Update Service"), answers every "WM_COMMAND <id>" with "0" and ends on the
// silent shutdown command 57602. Starts and commands are recorded beside the program file.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "platform/path.h"
#include "platform/system_root.h"
#include "platform/window_link.h"
#include "testing/qorax_standin/standin_record.h"

namespace {

constexpr const char* kDefaultTitle = "Vornix Update Service";
constexpr int kSilentShutdown = 57602;
constexpr auto kLifetime = std::chrono::minutes(5);

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// One request line, read within a second.
std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (line.size() < 256) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0 || read(fd, &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  vornix::standin::DetachOutput();
  const std::string title = argc > 1 ? argv[1] : kDefaultTitle;
  const std::string path = vornix::WindowSocketPath(title);
  vornix::MakeFolders(vornix::RunFolder("windows"));
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return 1;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

  Fd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  unlink(path.c_str());  // the socket of a window that crashed
  if (listener.get() < 0 ||
      bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener.get(), 8) != 0) {
    vornix::standin::Record("cannot listen");
    return 1;
  }
  vornix::standin::Record("started " + std::to_string(getpid()));

  const auto end = std::chrono::steady_clock::now() + kLifetime;
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{listener.get(), POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    Fd client(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client.get() < 0) continue;
    const auto id = vornix::ParseWindowCommand(ReadLine(client.get()));
    if (!id) continue;
    vornix::standin::Record("command " + std::to_string(*id));
    if (*id == kSilentShutdown) {
      // The window is gone before the sender hears back, as SendMessage guarantees.
      unlink(path.c_str());
      (void)!write(client.get(), "0\n", 2);
      vornix::standin::Record("ended");
      return 0;
    }
    (void)!write(client.get(), "0\n", 2);
  }
  unlink(path.c_str());
  return 0;
}
