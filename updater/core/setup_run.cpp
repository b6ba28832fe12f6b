#include "updater/core/setup_run.h"

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "common/program_contract.h"
#include "platform/file_descriptor.h"
#include "platform/process.h"
#include "platform/regular_file.h"
#include "updater/core/hand_over.h"
#include "updater/core/signature_check.h"

namespace vornix {

namespace {

constexpr const char* kSetupDoneText = "Setup has been executed for Arvel Application '%s'.";
constexpr const char* kSetupLogText =
    "'%s' setup program executed.  [User may have completed or cancelled]";
constexpr const char* kSetupStartError = "Error starting setup program '%s': %s";

}  // namespace

bool RunSetupIfNew(PassContext& pass, const PackageRecord& record) {
  const std::string name = record.Name.str();
  const PackagePlaces places = pass.Places(name);
  const std::string setupBuild = ReadSetupVer(places.setupVer);
  if (setupBuild.empty() || record.Build.empty() || setupBuild == record.Build.view()) return false;
  // Opened once: the bytes checked are the bytes started, whatever happens to the file's name
  // while the programs are asked to end.
  FileDescriptor setup = OpenRegularFile(places.setupFile);
  if (RefuseUnsignedSetup(pass, record, setupBuild, setup)) return false;

  PrepareProgram(pass, record, true);
  // A service that would not stop is not set up under its feet; nothing else is done for it.
  if (pass.serviceStillRunning && name == kServicePackageName) return true;
  // Started by its name below the program folder, in that folder, as it always was.
  const std::string setupProgram = name + "/" + kSetupFileName;
  std::string why;
  if (!StartProgram({setupProgram}, pass.programFolder, &why, setup.get())) {
    // Not started is a failure: nothing ran, so the package's update is still considered.
    pass.FailStep(record, kSetupErrorText, FillText(kSetupStartError, {setupProgram, why}), "EXEC");
    return false;
  }
  if (name == kQoraxPackageName) pass.results.qoraxSetupStarted = true;
  if (name == kServicePackageName) pass.results.vornetSetupStarted = true;
  // The service starts the utility again for a setup that lies ready only until it has run.
  WriteSetupRun(places.setupRun, setupBuild);

  const std::string logText = FillText(kSetupLogText, {record.Desc.view()});
  WriteLogLine(logText, "OK");
  pass.Report(logText);
  // The status text shows only now, after the log line and the report.
  pass.front.ShowStatus(FillText(kSetupDoneText, {record.Desc.view()}));
  pass.results.changesMade = true;
  return true;
}

}  // namespace vornix
