#include "service/core/service_controller.h"

#include "common/activity_log.h"
#include "common/last_check.h"
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
  state_.Transfer.stop = &stopping_;
  state_.Transfer.trace = TraceWriter();
  state_.Transfer.runTransfer = ports_.runTransfer;
  if (!ports_.askServerTime)
    ports_.askServerTime = [this](const std::string& url) {
      return AskServerTime(url, state_.Transfer);
    };
  if (!ports_.runPass) ports_.runPass = [](ServiceState& s) { return RunCheckCycle(s); };
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
  if (step.next == NextStep::kNone) return;
  const char* kind = state_.ForceCheck ? "forced" : "hourly";
  if (!state_.UrlOutProblem.empty()) {
    // An address the service cannot use is said, not replaced by the default server's.
    SayProblem(state_.UrlOutProblem);
    Apply(checkTimer_.Skip());
    RecordCheck(kind, "no check: " + state_.UrlOutProblem, "not needed");
    return;
  }
  if (step.next == NextStep::kAskServerTime) {
    // Busy while it asks, too: the window answers meanwhile, and a tick then must not begin a
    // pass of its own.
    state_.CheckBusy = true;
    const long time = ports_.askServerTime(state_.ServerUrl);
    state_.CheckBusy = false;
    if (stopping_) return;
    step = checkTimer_.ServerTime(time);
    Apply(step);
    if (step.next != NextStep::kRunPass) {
      RecordCheck(kind, "no check: daytime at the server", "not needed");
      return;
    }
  }
  CheckWriteAccess();
  checkTimer_.BeginPass();
  const CheckOutcome outcome = ports_.runPass(state_);
  step = checkTimer_.EndPass();
  if (outcome.stopped || stopping_) return;
  if (step.showFinishNotice) ports_.notices->ShowNotice(kFinishNoticeText, kFinishNoticeHoldMs);
  Apply(step);
  RecordCheck(
      kind,
      !outcome.catalogueRead ? "no catalogue: nothing checked"
      : outcome.failures == 0
          ? "ok: " + std::to_string(outcome.packages) + " packages checked"
          : std::to_string(outcome.failures) + " problems, the first: " + outcome.firstFailure,
      outcome.utilityStarted  ? "started"
      : outcome.utilityNeeded ? "could not be started"
                              : "not needed");
}

void ServiceController::RecordCheck(const char* kind, const std::string& outcome,
                                    const std::string& utility) {
  WriteLastCheck(state_.ProgramFolder, {LogTimeStamp(), kind, outcome, utility});
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
  stopping_ = true;
  return exitCode;
}

std::optional<int> ServiceController::SilentShutdown() {
  state_.SilentExit = true;
  return RequestShutdown(kExitCodeExit);
}

}  // namespace vornix
