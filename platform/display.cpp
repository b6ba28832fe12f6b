#include "platform/display.h"

#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

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
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answers = address.valid() && connect(fd, address.get(), address.size()) == 0;
  close(fd);
  return answers;
}

}  // namespace

bool ChooseOffscreenWithoutDisplay() {
  if (Variable("QT_QPA_PLATFORM") || XDisplayAnswers()) return false;
  // Qt takes the first platform of the list that starts: without its Wayland plugin here, the
  // program still runs, offscreen.
  setenv("QT_QPA_PLATFORM", WaylandDisplayAnswers() ? "wayland;offscreen" : "offscreen", 1);
  return true;
}

}  // namespace vornix
