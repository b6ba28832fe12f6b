#include "resetpkg/reset_package.h"

#include "common/catalogue_edit.h"
#include "platform/process.h"

namespace vornix {

ResetResult ResetPackage(const std::string& programId) {
  bool found = false;
  const std::string problem = EditCatalogue([&](PackageCatalogue& catalogue) {
    const int index = FindPackage(catalogue, programId, NameCase::kIgnored);
    found = index >= 0;
    if (!found) return false;
    catalogue.records[static_cast<size_t>(index)].Build.clear();
    return true;
  });
  if (!problem.empty()) return {ResetOutcome::kNotWritten, "VornixResetPkg: " + problem};
  if (!found) {
    return {ResetOutcome::kNoSuchPackage,
            "VornixResetPkg: no package '" + programId + "' in the catalogue " + CataloguePath()};
  }
  return {ResetOutcome::kReset, {}};
}

std::string CommandLineTail(const std::vector<std::string>& argv) {
  if (argv.size() < 2) return {};
  return JoinCommandLine(std::vector<std::string>(argv.begin() + 1, argv.end()));
}

}  // namespace vornix
