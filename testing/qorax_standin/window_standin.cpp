// Stands in for the service's main window: holds the service's single-instance lock, listens
// on the window socket of its title (default "Vornix Update Service"), answers every
// "WM_COMMAND <id>" with "0" and ends on the silent shutdown command 57602. With
// "--busy-ms N" it first looks away from its socket for N ms, as a service in the middle of a
// slow check does; a command whose sender gave up meanwhile is dropped. Starts and commands
// are recorded beside the program file.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/program_contract.h"
#include "platform/file_descriptor.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/system_root.h"
#include "platform/window_link.h"
#include "testing/qorax_standin/standin_record.h"

namespace {

constexpr auto kLifetime = std::chrono::minutes(5);

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
  int busyMs = 0;
  int arg = 1;
  if (argc > arg + 1 && std::strcmp(argv[arg], "--busy-ms") == 0) {
    busyMs = std::atoi(argv[arg + 1]);
    arg += 2;
  }
  const std::string title = argc > arg ? argv[arg] : vornix::kServiceWindowTitle;
  const vornix::NamedMutex mutex(vornix::kServiceMutexName);
  const std::string path = vornix::WindowSocketPath(title);
  vornix::MakeRunFolder("windows");
  unlink(path.c_str());  // the socket of a window that crashed
  const vornix::SocketAddress address(path);
  vornix::FileDescriptor listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!address.valid() || !listener.valid() ||
      bind(listener.get(), address.get(), address.size()) != 0 || listen(listener.get(), 8) != 0) {
    vornix::standin::Record("cannot listen");
    return 1;
  }
  vornix::standin::Record("started " + std::to_string(getpid()));
  std::this_thread::sleep_for(std::chrono::milliseconds(busyMs));

  const auto end = std::chrono::steady_clock::now() + kLifetime;
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{listener.get(), POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    vornix::FileDescriptor client(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) continue;
    const auto id = vornix::ParseWindowCommand(ReadLine(client.get()));
    if (!id) continue;
    if (vornix::SenderStoppedWaiting(client.get())) {
      vornix::standin::Record("dropped " + std::to_string(*id));
      continue;
    }
    vornix::standin::Record("command " + std::to_string(*id));
    if (*id == vornix::kCommandSilentExit) {
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
