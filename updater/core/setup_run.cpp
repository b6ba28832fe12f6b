// RunSetupIfNew and PrepareProgram: setups, stopping programs and the hand-over to the copy.
#include "common/activity_log.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "platform/window_link.h"
#include "updater/core/package_pass.h"
#include "updater/core/run_flags.h"

namespace vornix {

namespace {

constexpr const char* kSetupDoneText = "Setup has been executed for Arvel Application '%s'.";
constexpr const char* kSetupLogText =
    "'%s' setup program executed.  [User may have completed or cancelled]";
constexpr const char* kSetupErrorText = "Arvel Application '%s' setup error '%s'";
constexpr const char* kSetupStartError = "Error starting setup program '%s'";

bool EndsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace

bool PackagePass::RunSetupIfNew(PackageRecord& record) {
  const std::string name = record.Name.str();
  const std::string packageFolder = PackageFolder("", name);
  const std::string setupBuild = ReadSetupVer(packageFolder + "/SETUP.VER");
  if (setupBuild.empty() || record.Build.empty() || setupBuild == record.Build.view()) return false;
  if (RefuseUnsignedSetup(record, setupBuild)) return false;

  PrepareProgram(record, true);
  const std::string setupProgram = packageFolder + "/setup.exe";
  if (!StartProgram(QuoteProgramWord(setupProgram))) {
    // Not started is a failure: nothing ran, so the package's update is still considered.
    const std::string error = FillText(kSetupStartError, {setupProgram});
    WriteLogLine(error, "EXEC");
    Report(error);
    front_.ShowStatus(FillText(kSetupErrorText, {record.Desc.view(), error}));
    return false;
  }
  if (name == kQoraxPackage) g_qoraxSetupStarted = true;
  if (name == kServicePackage) g_vornetSetupStarted = true;

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
  if (name == kQoraxPackage) {
    // Whether qorax really ended is not checked: the wait is all it gets.
    if (hooks_.sendShutdownRequest) hooks_.sendShutdownRequest();
    Wait(kShutdownWaitMs);
    return false;
  }
  if (name != kServicePackage) return false;

  const std::string programFile = hooks_.moduleFileName ? hooks_.moduleFileName() : std::string();
  if (EndsWith(programFile, kCopyNameEnding)) {
    Wait(kCopyStartWaitMs);  // time for the first process to end
    return false;
  }
  if (FindWindowByTitle(kServiceWindowTitle))
    SendWindowCommand(kServiceWindowTitle, kServiceSilentShutdown);
  if (forSetup) {
    front_.EndAsCancel();
    return true;
  }
  if (RunShellCommand(kMakeCopyCommand) != 0) {
    Wait(kCopyFailedWaitMs);
    return false;
  }
  const bool restart = m_restart;
  m_restart = false;
  if (!StartProgram(FillText(kCopyCommandLine, {m_selector}))) {
    // A copy that cannot be started would leave the update to nobody: apply it here.
    m_restart = restart;
    return false;
  }
  front_.EndAsCancel();
  return true;
}

}  // namespace vornix
