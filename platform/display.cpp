#include "platform/display.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/window_link.h"

namespace vornix {

namespace {

const char* Variable(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// Connecting is the only sure test: a display may be named and gone, or refuse us.
bool XDisplayAnswers() {
  if (!Variable("DISPLAY")) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool answers = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return answers;
}

bool WaylandDisplayAnswers() {
  const char* display = Variable("WAYLAND_DISPLAY");
  if (!display) return false;
  std::string path = display;
  if (path.front() != '/') {
    const char* runtime = Variable("XDG_RUNTIME_DIR");
    if (!runtime) return false;
    path = JoinPath(runtime, display);
  }
  const SocketAddress address(path);
  const FileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return fd.valid() && address.valid() && connect(fd.get(), address.get(), address.size()) == 0;
}

bool Within(int timeoutMs, bool (*probe)()) {
  // A display may accept the connection and never answer: the probe runs in a child that is
  // given up after the bound.
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(probe() ? 0 : 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  pid_t done;
  while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
  }
  return done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool ChooseOffscreenWithoutDisplay(int probeTimeoutMs) {
  if (Variable("QT_QPA_PLATFORM") ||
      (Variable("DISPLAY") && Within(probeTimeoutMs, XDisplayAnswers)))
    return false;
  // Qt takes the first platform of the list that starts: without its Wayland plugin here, the
  // program still runs, offscreen.
  const bool wayland = Variable("WAYLAND_DISPLAY") && Within(probeTimeoutMs, WaylandDisplayAnswers);
  setenv("QT_QPA_PLATFORM", wayland ? "wayland;offscreen" : "offscreen", 1);
  return true;
}

}  // namespace vornix
