#include "updater/core/hand_over.h"

#include <algorithm>
#include <chrono>

#include "common/activity_log.h"
#include "common/program_contract.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/window_link.h"

namespace vornix {

namespace {

constexpr const char* kServiceRunningText =
    "Vornix Update Service did not stop: '%s' is left for the next run";

// The service counts as stopped only once it has really ended: its single-instance lock is
// free. A service that has not ended within the bound keeps running, and nothing of its
// package is changed or handed over.
bool StopService(const PassHooks& hooks) {
  const auto start = std::chrono::steady_clock::now();
  if (FindWindowByTitle(kServiceWindowTitle))
    SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, hooks.serviceStopWaitMs);
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  const int left = std::max(0, hooks.serviceStopWaitMs - static_cast<int>(spent.count()));
  return WaitUntilNamedMutexFree(kServiceMutexName, left);
}

}  // namespace

bool PrepareProgram(PassContext& pass, const PackageRecord& record, bool forSetup) {
  const std::string_view name = record.Name.view();
  if (name == kQoraxPackageName) {
    // Whether qorax really ended is not checked: the wait is all it gets.
    if (pass.hooks.sendShutdownRequest) pass.hooks.sendShutdownRequest();
    pass.Wait(kShutdownWaitMs);
    return false;
  }
  if (name != kServicePackageName) return false;

  const std::string programFile = pass.hooks.moduleFileName ? pass.hooks.moduleFileName() : "";
  if (EndsWith(programFile, kCopyNameEnding)) {
    pass.Wait(kCopyStartWaitMs);  // time for the first process to end
    return false;
  }
  if (pass.serviceStillRunning) return true;
  if (!StopService(pass.hooks)) {
    pass.serviceStillRunning = true;
    const std::string text = FillText(kServiceRunningText, {record.Desc.view()});
    WriteLogLine(text, "STOP");
    pass.front.ShowStatus(text);
    return true;
  }
  if (forSetup) {
    pass.front.EndAsCancel();
    return true;
  }
  const std::string& folder = pass.programFolder;
  if (!CopyFileReplacing(folder + kUtilityProgram, folder + kCopyProgram)) {
    pass.Wait(kCopyFailedWaitMs);
    return false;
  }
  const bool restart = pass.results.restart;
  pass.results.restart = false;
  if (!StartProgram({folder + kCopyProgram, pass.options.m_selector, "quiet", "restart"})) {
    // A copy that cannot be started would leave the update to nobody: apply it here.
    pass.results.restart = restart;
    return false;
  }
  pass.front.EndAsCancel();
  return true;
}

}  // namespace vornix
