#pragma once

#include <cstdint>

#include "service/core/service_state.h"

namespace vornix {

inline constexpr int kCheckTimerId = 1;
inline constexpr int kNormalPeriodMs = 60000;   // one tick a minute
inline constexpr int kUpdateNowPeriodMs = 100;  // first tick after "Update &Now"
inline constexpr uint32_t kTickThreshold = 60;  // a decision every 60 ticks
// Server times strictly between these two (HHMMSS) are daytime: no check then.
inline constexpr long kDaytimeLowerBound = 70000;
inline constexpr long kDaytimeUpperBound = 210000;
inline constexpr int kFinishNoticeHoldMs = 500;
inline constexpr const char* kFinishNoticeText = "Vornix has finished checking for updates.";

// What to do with the window timer after a step.
enum class TimerOrder { kNone, kStop, kStart };
// What the caller runs next.
enum class NextStep { kNone, kAskServerTime, kRunPass };

struct CheckStep {
  TimerOrder timer = TimerOrder::kNone;
  int periodMs = 0;  // with kStart; a start while running restarts the timer
  NextStep next = NextStep::kNone;
  bool showFinishNotice = false;
};

// The check decision as a plain state machine over the service state: it counts ticks, decides
// every 60 minutes whether to ask the server's time or to check at once, and says which timer to
// arm or stop. The window layer only delivers ticks; nothing here waits or talks to a server.
class CheckTimer {
 public:
  explicit CheckTimer(ServiceState& state) : state_(state) {}

  // Window initialisation: a forced check one minute later.
  CheckStep ArmAtStartup();
  // "Update &Now": a forced check 100 ms later.
  CheckStep UpdateNow();
  // One tick of timer 1.
  CheckStep Tick();
  // The answer to SVRTIME, as a number HHMMSS (0 when missing or unreadable).
  CheckStep ServerTime(long hhmmss);
  // A decision that runs no check (the settings cannot be used): the next one an hour later.
  CheckStep Skip();
  // Around RunCheckCycle.
  void BeginPass();
  CheckStep EndPass();
  // The shutdown question: the timer stops while it is asked, and runs again when declined.
  CheckStep ShutdownAsked();
  CheckStep ShutdownDeclined();

  static bool IsServerDaytime(long hhmmss) {
    return hhmmss > kDaytimeLowerBound && hhmmss < kDaytimeUpperBound;
  }

 private:
  CheckStep Force(int periodMs);
  ServiceState& state_;
};

}  // namespace vornix
