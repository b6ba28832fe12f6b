#pragma once

#include <string>

namespace vornix {

// The sliding notice of the window layer. Returns at once; the notice closes by itself.
class Notices {
 public:
  virtual ~Notices() = default;
  virtual void ShowNotice(const std::string& text, int holdMs) = 0;
};

// The window timer that drives the check: the window layer only delivers its ticks.
class CheckTimerPort {
 public:
  virtual ~CheckTimerPort() = default;
  virtual void StopCheckTimer() = 0;
  virtual void StartCheckTimer(int periodMs) = 0;
};

}  // namespace vornix
