#pragma once

#include <string>

namespace vornix {

// The answers a message box can give.
enum class MessageBoxAnswer { kOk, kYes, kNo };

enum class MessageBoxButtons { kOk, kYesNo };

// How core logic asks the window layer to show a message box. Tests pass a recording fake.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MessageBoxAnswer Show(const std::string& text, const std::string& caption,
                                MessageBoxButtons buttons) = 0;
};

}  // namespace vornix
