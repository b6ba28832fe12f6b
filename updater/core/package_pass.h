#pragma once

#include <string>

#include "common/catalogue.h"
#include "updater/core/command_line.h"
#include "updater/core/pass_context.h"
#include "updater/core/progress_front.h"

namespace vornix {

// Held by a pass from reading the catalogue until it is over (see RunPackagePass).
inline constexpr const char* kPassLockName = "VornixUpdate.pass";

// One run of the utility: walks the catalogue and, package by package, starts the setup or
// applies the update that lies ready in the program folder (see setup_run.h, update_script.h),
// then starts the package's program again where the run asks for it.
class PackagePass {
 public:
  // `programFolder` ends in '/': the utility's own folder, below which the packages lie.
  PackagePass(ProgressFront& front, const RunOptions& options, std::string programFolder,
              PassHooks hooks = SystemPassHooks());

  // Processes "vornet" first and then the selected packages, under the pass lock, and ends the
  // dialog where the run asks for it.
  void RunPackagePass();
  void ProcessPackage(PackageRecord& record);
  // OK: with "appstart", starts the program of the last package updated in this run.
  void OnOk();

  // The steps on their own, for a caller that drives one package.
  void ApplyUpdate(PackageRecord& record);
  bool RunSetupIfNew(PackageRecord& record);
  bool PrepareProgram(PackageRecord& record, bool forSetup);

  const PassResults& results() const { return context_.results; }

 private:
  void RestartProgram(const PackageRecord& record);

  PassContext context_;
};

}  // namespace vornix
