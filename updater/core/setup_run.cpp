// RunSetupIfNew and PrepareProgram: setups, stopping programs and the hand-over to the copy.
#include <algorithm>
#include <chrono>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "platform/file_descriptor.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/regular_file.h"
#include "platform/window_link.h"
#include "updater/core/package_pass.h"
#include "updater/core/run_flags.h"

namespace vornix {

namespace {

constexpr const char* kSetupDoneText = "Setup has been executed for Arvel Application '%s'.";
constexpr const char* kSetupLogText =
    "'%s' setup program executed.  [User may have completed or cancelled]";
constexpr const char* kSetupStartError = "Error starting setup program '%s': %s";
constexpr const char* kServiceRunningText =
    "Vornix Update Service did not stop: '%s' is left for the next run";

bool EndsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace

bool PackagePass::RunSetupIfNew(PackageRecord& record) {
  const std::string name = record.Name.str();
  const std::string packageFolder = PackageFolder("", name);
  const std::string setupBuild = ReadSetupVer(packageFolder + "/SETUP.VER");
  if (setupBuild.empty() || record.Build.empty() || setupBuild == record.Build.view()) return false;
  // Opened once: the bytes checked are the bytes started, whatever happens to the file's name
  // while the programs are asked to end.
  const std::string setupProgram = packageFolder + "/setup.exe";
  FileDescriptor setup(OpenRegularFile(setupProgram));
  if (RefuseUnsignedSetup(record, setupBuild, setup)) return false;

  PrepareProgram(record, true);
  // A service that would not stop is not set up under its feet; nothing else is done for it.
  if (serviceStillRunning_ && name == kServicePackageName) return true;
  std::string why;
  if (!StartProgram({setupProgram}, {}, &why, setup.get())) {
    // Not started is a failure: nothing ran, so the package's update is still considered.
    const std::string error = FillText(kSetupStartError, {setupProgram, why});
    WriteLogLine(error, "EXEC");
    Report(error);
    front_.ShowStatus(FillText(kSetupErrorText, {record.Desc.view(), error}));
    return false;
  }
  if (name == kQoraxPackageName) g_qoraxSetupStarted = true;
  if (name == kServicePackageName) g_vornetSetupStarted = true;
  // The service starts the utility again for a setup that lies ready only until it has run.
  WriteSetupRun(packageFolder + "/" + kSetupRunName, setupBuild);

  const std::string logText = FillText(kSetupLogText, {record.Desc.view()});
  WriteLogLine(logText, "OK");
  Report(logText);
  // The status text shows only now, after the log line and the report.
  front_.ShowStatus(FillText(kSetupDoneText, {record.Desc.view()}));
  g_changesMade = true;
  return true;
}

bool PackagePass::PrepareProgram(PackageRecord& record, bool forSetup) {
  const std::string_view name = record.Name.view();
  if (name == kQoraxPackageName) {
    // Whether qorax really ended is not checked: the wait is all it gets.
    if (hooks_.sendShutdownRequest) hooks_.sendShutdownRequest();
    Wait(kShutdownWaitMs);
    return false;
  }
  if (name != kServicePackageName) return false;

  const std::string programFile = hooks_.moduleFileName ? hooks_.moduleFileName() : std::string();
  if (EndsWith(programFile, kCopyNameEnding)) {
    Wait(kCopyStartWaitMs);  // time for the first process to end
    return false;
  }
  if (serviceStillRunning_) return true;
  if (!StopService()) {
    serviceStillRunning_ = true;
    const std::string text = FillText(kServiceRunningText, {record.Desc.view()});
    WriteLogLine(text, "STOP");
    front_.ShowStatus(text);
    return true;
  }
  if (forSetup) {
    front_.EndAsCancel();
    return true;
  }
  const std::string programFolder = FolderWithSlash(programFile);
  if (!CopyFileReplacing(programFolder + kUtilityProgram, programFolder + kCopyProgram)) {
    Wait(kCopyFailedWaitMs);
    return false;
  }
  const bool restart = m_restart;
  m_restart = false;
  if (!StartProgram({programFolder + kCopyProgram, m_selector, "quiet", "restart"})) {
    // A copy that cannot be started would leave the update to nobody: apply it here.
    m_restart = restart;
    return false;
  }
  front_.EndAsCancel();
  return true;
}

// The service counts as stopped only once it has really ended: its single-instance lock is
// free. A service that has not ended within the bound keeps running, and nothing of its
// package is changed or handed over.
bool PackagePass::StopService() {
  const auto start = std::chrono::steady_clock::now();
  if (FindWindowByTitle(kServiceWindowTitle))
    SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, hooks_.serviceStopWaitMs);
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  const int left = std::max(0, hooks_.serviceStopWaitMs - static_cast<int>(spent.count()));
  return WaitUntilNamedMutexFree(kServiceMutexName, left);
}

}  // namespace vornix
