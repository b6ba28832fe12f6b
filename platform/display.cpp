#include "platform/display.h"

#include <cstdlib>
#include <cstring>

namespace vornix {

namespace {
bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}
}  // namespace

bool ChooseOffscreenWithoutDisplay() {
  if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return false;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return true;
}

bool RunningOffscreen() {
  const char* v = std::getenv("QT_QPA_PLATFORM");
  return v && std::strcmp(v, "offscreen") == 0;
}

}  // namespace vornix
