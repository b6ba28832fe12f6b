#include "service/core/service_controller.h"

#include "common/activity_log.h"
#include "common/trust_settings.h"
#include "common/write_problems.h"
#include "platform/module.h"
#include "service/core/settings.h"

namespace vornix {

namespace {
constexpr const char* kProgramName = "Vornix";  // how its problems are signed
}  // namespace

std::string ServiceProgramFolder() {
  return ModuleFolder();
}

ServiceController::ServiceController(Ports ports) : ports_(std::move(ports)) {
  if (!ports_.askServerTime) ports_.askServerTime = AskServerTime;
  if (!ports_.runPass) ports_.runPass = [](ServiceState& s) { RunCheckCycle(s); };
  if (!ports_.readClientName) ports_.readClientName = [] { return ReadClientName(); };
}

std::string ServiceController::Identify() {
  state_.ProgramFolder = ServiceProgramFolder();
  const ClientIdentity identity = ports_.readClientName();
  state_.ClientName = identity.ClientName;
  return identity.ClientDisplayText;
}

void ServiceController::LoadAndSaveSettings() {
  LoadSettings(state_, *ports_.notices);
  SaveSettings(state_);
  CheckWriteAccess();
}

void ServiceController::CheckWriteAccess() {
  const std::string notice = ReportWriteProblems(
      kProgramName, FindWriteProblems(state_.ProgramFolder, kServiceLogNames.log, true));
  if (!notice.empty()) ports_.notices->ShowNotice(notice, kWriteProblemNoticeHoldMs);
}

void ServiceController::ArmStartupCheck() {
  Apply(checkTimer_.ArmAtStartup());
}

void ServiceController::Apply(const CheckStep& step) {
  switch (step.timer) {
    case TimerOrder::kNone:
      break;
    case TimerOrder::kStop:
      ports_.timer->StopCheckTimer();
      break;
    case TimerOrder::kStart:
      ports_.timer->StartCheckTimer(step.periodMs);
      break;
  }
}

void ServiceController::OnCheckTimerTick() {
  CheckStep step = checkTimer_.Tick();
  Apply(step);
  if (step.next != NextStep::kNone && !state_.UrlOutProblem.empty()) {
    // An address the service cannot use is said, not replaced by the default server's.
    ReportSettingsProblem(state_.UrlOutProblem);
    Apply(checkTimer_.Skip());
    return;
  }
  if (step.next == NextStep::kAskServerTime) {
    step = checkTimer_.ServerTime(ports_.askServerTime(state_.ServerUrl));
    Apply(step);
  }
  if (step.next != NextStep::kRunPass) return;
  CheckWriteAccess();
  checkTimer_.BeginPass();
  ports_.runPass(state_);
  step = checkTimer_.EndPass();
  if (step.showFinishNotice) ports_.notices->ShowNotice(kFinishNoticeText, kFinishNoticeHoldMs);
  Apply(step);
}

void ServiceController::UpdateNow() {
  ports_.timer->StopCheckTimer();
  Apply(checkTimer_.UpdateNow());
}

bool ServiceController::ApplyChanges(const std::string& urlEditText, bool useLocalChecked) {
  return vornix::ApplyChanges(state_, urlEditText, useLocalChecked, *ports_.boxes, *ports_.notices);
}

std::optional<int> ServiceController::RequestShutdown(int exitCode) {
  Apply(checkTimer_.ShutdownAsked());
  if (!state_.SilentExit &&
      ports_.boxes->Show(kShutdownQuestion, kShutdownCaption, MessageBoxButtons::kYesNo) !=
          MessageBoxAnswer::kYes) {
    Apply(checkTimer_.ShutdownDeclined());
    return std::nullopt;
  }
  return exitCode;
}

std::optional<int> ServiceController::SilentShutdown() {
  state_.SilentExit = true;
  return RequestShutdown(kExitCodeExit);
}

}  // namespace vornix
