#include "updater/core/package_pass.h"

#include <cerrno>
#include <cstring>

#include "common/activity_log.h"
#include "common/program_contract.h"
#include "common/write_problems.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "updater/core/hand_over.h"
#include "updater/core/setup_run.h"
#include "updater/core/update_script.h"

namespace vornix {

namespace {

constexpr const char* kUpdatingText = "Updating Arvel Application '%s'...Please Wait...";
constexpr const char* kProgramName = "VornixUpdate";  // how its problems are signed

}  // namespace

PackagePass::PackagePass(ProgressFront& front, const RunOptions& options, std::string programFolder,
                         PassHooks hooks)
    : context_(front, options, std::move(hooks), std::move(programFolder)) {}

void PackagePass::ApplyUpdate(PackageRecord& record) {
  vornix::ApplyUpdate(context_, record);
}

bool PackagePass::RunSetupIfNew(PackageRecord& record) {
  return vornix::RunSetupIfNew(context_, record);
}

bool PackagePass::PrepareProgram(PackageRecord& record, bool forSetup) {
  return vornix::PrepareProgram(context_, record, forSetup);
}

void PackagePass::RunPackagePass() {
  // Said before the pass (standard error, the log) and shown as the dialog's last status, so a
  // utility that cannot write its folder or the catalogue is never silently useless.
  const PassHooks& hooks = context_.hooks;
  const std::string problem =
      hooks.moduleFileName
          ? ReportWriteProblems(kProgramName, FindWriteProblems(context_.programFolder,
                                                                kUpdaterLogNames.log, false))
          : std::string();
  {
    // Held from reading the catalogue until the pass is over, so that a copy started by a
    // hand-over reads the catalogue only after this pass recorded its updates. After the bound
    // the pass goes on without the lock, as it would have without one.
    WaitedLock passLock(kPassLockName, hooks.passLockWaitMs);
    if (!passLock.held()) {
      const std::optional<int> holder = NamedMutexHolder(kPassLockName);
      WriteLogLine("The pass lock " + NamedMutex::LockFilePath(kPassLockName) +
                   (passLock.error() == EWOULDBLOCK
                        ? " is held" +
                              (holder ? " by process " + std::to_string(*holder) : std::string()) +
                              " longer than " + std::to_string(hooks.passLockWaitMs / 1000) + " s"
                        : " cannot be taken: " + std::string(std::strerror(passLock.error()))) +
                   "; this pass goes on without it");
    }
    PackageCatalogue catalogue;
    if (LoadCatalogue(CataloguePath(), catalogue)) {
      // Each update is recorded in the catalogue as soon as it is applied; a pass that applied
      // none leaves the file as it was.
      for (int i = 0; i < catalogue.count; ++i) {
        if (catalogue.records[i].Name.view() != kServicePackageName) continue;
        context_.recordIndex = i;
        ProcessPackage(catalogue.records[i]);
      }
      for (int i = 0; i < catalogue.count; ++i) {
        PackageRecord& record = catalogue.records[i];
        if (record.Name.view() == kServicePackageName) continue;
        context_.recordIndex = i;
        if (record.Name.view() == context_.options.m_selector || context_.SelectorIsAll())
          ProcessPackage(record);
      }
      context_.recordIndex = -1;
    }
  }
  ProgressFront& front = context_.front;
  if (!problem.empty()) front.ShowStatus(problem);
  if (context_.SelectorIsAll() && !context_.results.changesMade) front.EndAsCancel();
  if (context_.options.m_quiet) front.EndAsCancel();
}

void PackagePass::ProcessPackage(PackageRecord& record) {
  context_.front.ShowStatus(FillText(kUpdatingText, {record.Desc.view()}));
  const bool all = context_.SelectorIsAll();
  if (!all || EqualsIgnoringCase(record.Name.view(), kServicePackageName)) {
    if (!RunSetupIfNew(record)) ApplyUpdate(record);
  } else {
    ApplyUpdate(record);  // setups of other packages are never started in an "ALL" run
  }
  context_.front.EnableOk();
  const PassResults& results = context_.results;
  if (!results.restart) return;

  const std::string_view name = record.Name.view();
  if (all && name != kServicePackageName && name != kQoraxPackageName) return;
  if (results.qoraxSetupStarted && name != kQoraxPackageName) return;
  if (results.vornetSetupStarted && name != kServicePackageName) return;
  RestartProgram(record);
}

void PackagePass::RestartProgram(const PackageRecord& record) {
  // A service that was not stopped (its package had nothing to apply) runs on: a second one
  // would only end again, saying so in the log.
  if (record.Name.view() == kServicePackageName && !WaitUntilNamedMutexFree(kServiceMutexName, 0))
    return;
  // Started in the program folder, as the utility was.
  StartProgram({record.Path.str() + "/" + record.Key.str()}, context_.programFolder);
}

void PackagePass::OnOk() {
  const PassResults& results = context_.results;
  if (!context_.options.m_appStart || results.startCommand.empty()) return;
  StartProgram({results.startCommand}, results.startFolder);
}

}  // namespace vornix
