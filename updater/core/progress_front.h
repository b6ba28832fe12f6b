#pragma once

#include <string>

namespace vornix {

// The only ways the package pass reaches the window: the dialog provides them, tests pass a
// recording fake.
class ProgressFront {
 public:
  virtual ~ProgressFront() = default;
  // Replaces the whole status line and repaints at once: the pass keeps the thread busy.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void EnableOk() = 0;
  // Ends the dialog with the Cancel result once the current pass has finished; nothing is
  // started on the way out.
  virtual void EndAsCancel() = 0;
};

}  // namespace vornix
