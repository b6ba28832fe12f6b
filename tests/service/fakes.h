#pragma once

#include <string>
#include <utility>
#include <vector>

#include "service/core/message_box.h"
#include "service/core/ports.h"

namespace vornix::testing {

// Records every order given to the check timer: "stop" or "start <ms>".
class RecordingTimer : public CheckTimerPort {
 public:
  void StopCheckTimer() override {
    orders.push_back("stop");
    running = false;
  }
  void StartCheckTimer(int periodMs) override {
    orders.push_back("start " + std::to_string(periodMs));
    running = true;
    period = periodMs;
  }
  std::vector<std::string> orders;
  bool running = false;
  int period = 0;
};

class RecordingNotices : public Notices {
 public:
  void ShowNotice(const std::string& text, int holdMs) override {
    shown.emplace_back(text, holdMs);
  }
  std::vector<std::pair<std::string, int>> shown;
};

// Answers every box with `answer` and records what was asked.
class ScriptedBoxes : public MessageBoxes {
 public:
  explicit ScriptedBoxes(MessageBoxAnswer answer = MessageBoxAnswer::kYes) : answer(answer) {}
  MessageBoxAnswer Show(const std::string& text, const std::string& caption,
                        MessageBoxButtons buttons) override {
    asked.push_back({text, caption, buttons});
    return answer;
  }
  struct Asked {
    std::string text, caption;
    MessageBoxButtons buttons;
  };
  MessageBoxAnswer answer;
  std::vector<Asked> asked;
};

}  // namespace vornix::testing
