#include "service/core/check_timer.h"

namespace vornix {

namespace {
CheckStep Start(int periodMs) {
  CheckStep step;
  step.timer = TimerOrder::kStart;
  step.periodMs = periodMs;
  return step;
}
}  // namespace

CheckStep CheckTimer::Force(int periodMs) {
  state_.ForceCheck = true;
  state_.TickCount = kTickThreshold;
  return Start(periodMs);
}

CheckStep CheckTimer::ArmAtStartup() {
  return Force(kNormalPeriodMs);
}

CheckStep CheckTimer::UpdateNow() {
  return Force(kUpdateNowPeriodMs);
}

CheckStep CheckTimer::Tick() {
  CheckStep step;
  ++state_.TickCount;  // unsigned: wraps as the 32-bit counter does
  if (state_.TickCount < kTickThreshold) return step;
  step.timer = TimerOrder::kStop;
  // The pass that is running restarts the timer when it ends.
  if (state_.CheckBusy) return step;
  step.next = state_.ForceCheck ? NextStep::kRunPass : NextStep::kAskServerTime;
  return step;
}

CheckStep CheckTimer::ServerTime(long hhmmss) {
  if (IsServerDaytime(hhmmss)) return Skip();
  CheckStep step;
  step.next = NextStep::kRunPass;
  return step;
}

CheckStep CheckTimer::Skip() {
  state_.ForceCheck = false;
  state_.TickCount = 0;
  return Start(kNormalPeriodMs);
}

void CheckTimer::BeginPass() {
  state_.CheckBusy = true;
}

CheckStep CheckTimer::EndPass() {
  state_.CheckBusy = false;
  state_.ForceCheck = false;
  state_.TickCount = 0;
  CheckStep step = Start(kNormalPeriodMs);
  step.showFinishNotice = true;
  return step;
}

CheckStep CheckTimer::ShutdownAsked() {
  CheckStep step;
  step.timer = TimerOrder::kStop;
  return step;
}

CheckStep CheckTimer::ShutdownDeclined() {
  return Start(kNormalPeriodMs);
}

}  // namespace vornix
