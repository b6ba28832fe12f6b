#include "updater/core/package_pass.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "common/activity_log.h"
#include "common/protocol.h"
#include "common/write_problems.h"
#include "platform/module.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "updater/core/run_flags.h"

namespace vornix {

namespace {

constexpr const char* kUpdatingText = "Updating Arvel Application '%s'...Please Wait...";
constexpr const char* kProgramName = "VornixUpdate";  // how its problems are signed

}  // namespace

std::string FillText(std::string_view format, std::initializer_list<std::string_view> values) {
  std::string out;
  auto value = values.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
        value != values.end()) {
      out += *value++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

PassHooks SystemPassHooks() {
  PassHooks hooks;
  hooks.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  // The utility's exchanges are traced like the service's; it waits for each on its thread.
  TransferOptions transfers;
  transfers.trace = TraceWriter();
  hooks.sendShutdownRequest = [transfers] { SendShutdownRequest(transfers); };
  auto messenger = std::make_shared<UpdaterMessenger>(transfers);
  hooks.sendLogMessage = [messenger](std::string_view text) { messenger->SendLogMessage(text); };
  hooks.moduleFileName = [] { return ModuleFileName(); };
  return hooks;
}

PackagePass::PackagePass(ProgressFront& front, const RunOptions& options, PassHooks hooks)
    : m_selector(options.m_selector),
      m_quiet(options.m_quiet),
      m_restart(options.m_restart),
      m_appStart(options.m_appStart),
      front_(front),
      hooks_(std::move(hooks)) {}

bool PackagePass::SelectorIsAll() const {
  return EqualsIgnoringCase(m_selector, kAllSelector);
}

void PackagePass::Report(std::string_view text) {
  if (hooks_.sendLogMessage) hooks_.sendLogMessage(text);
}

void PackagePass::Wait(int ms) {
  if (hooks_.sleepMs) hooks_.sleepMs(ms);
}

void PackagePass::RunPackagePass() {
  // Said before the pass (standard error, the log) and shown as the dialog's last status, so a
  // utility that cannot write its folder or the catalogue is never silently useless.
  const std::string problem =
      hooks_.moduleFileName
          ? ReportWriteProblems(kProgramName,
                                FindWriteProblems(FolderWithSlash(hooks_.moduleFileName()),
                                                  kUpdaterLogNames.log, false))
          : std::string();
  {
    // Held from reading the catalogue until the pass is over, so that a copy started by a
    // hand-over reads the catalogue only after this pass recorded its updates. After the bound
    // the pass goes on without the lock, as it would have without one.
    WaitedLock passLock(kPassLockName, hooks_.passLockWaitMs);
    if (!passLock.held()) {
      const std::optional<int> holder = NamedMutexHolder(kPassLockName);
      WriteLogLine("The pass lock " + NamedMutex::LockFilePath(kPassLockName) +
                   (passLock.error() == EWOULDBLOCK
                        ? " is held" +
                              (holder ? " by process " + std::to_string(*holder) : std::string()) +
                              " longer than " + std::to_string(hooks_.passLockWaitMs / 1000) + " s"
                        : " cannot be taken: " + std::string(std::strerror(passLock.error()))) +
                   "; this pass goes on without it");
    }
    PackageCatalogue catalogue;
    if (LoadCatalogue(CataloguePath(), catalogue)) {
      // Each update is recorded in the catalogue as soon as it is applied; a pass that applied
      // none leaves the file as it was.
      for (int i = 0; i < catalogue.count; ++i) {
        if (catalogue.records[i].Name.view() != kServicePackageName) continue;
        recordIndex_ = i;
        ProcessPackage(catalogue.records[i]);
      }
      for (int i = 0; i < catalogue.count; ++i) {
        PackageRecord& record = catalogue.records[i];
        if (record.Name.view() == kServicePackageName) continue;
        recordIndex_ = i;
        if (record.Name.view() == m_selector || SelectorIsAll()) ProcessPackage(record);
      }
      recordIndex_ = -1;
    }
  }
  if (!problem.empty()) front_.ShowStatus(problem);
  if (SelectorIsAll() && !g_changesMade) front_.EndAsCancel();
  if (m_quiet) front_.EndAsCancel();
}

void PackagePass::ProcessPackage(PackageRecord& record) {
  front_.ShowStatus(FillText(kUpdatingText, {record.Desc.view()}));
  if (!SelectorIsAll() || EqualsIgnoringCase(record.Name.view(), kServicePackageName)) {
    if (!RunSetupIfNew(record)) ApplyUpdate(record);
  } else {
    ApplyUpdate(record);  // setups of other packages are never started in an "ALL" run
  }
  front_.EnableOk();
  if (!m_restart) return;

  const std::string_view name = record.Name.view();
  if (SelectorIsAll() && name != kServicePackageName && name != kQoraxPackageName) return;
  if (g_qoraxSetupStarted && name != kQoraxPackageName) return;
  if (g_vornetSetupStarted && name != kServicePackageName) return;
  RestartProgram(record);
}

void PackagePass::RestartProgram(const PackageRecord& record) {
  // A service that was not stopped (its package had nothing to apply) runs on: a second one
  // would only end again, saying so in the log.
  if (record.Name.view() == kServicePackageName && !WaitUntilNamedMutexFree(kServiceMutexName, 0))
    return;
  // Inherits the current folder, the program folder.
  StartProgram({record.Path.str() + "/" + record.Key.str()});
}

void PackagePass::OnOk() {
  if (!m_appStart || m_startCommand.empty()) return;
  StartProgram({m_startCommand}, m_startFolder);
}

}  // namespace vornix
