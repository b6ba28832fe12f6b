#include "resetpkg/reset_package.h"

#include "common/catalogue.h"
#include "platform/process.h"

namespace vornix {

bool ResetPackage(const std::string& programId) {
  PackageCatalogue catalogue;
  const std::string path = CataloguePath();
  if (!LoadCatalogue(path, catalogue)) return false;
  const int index = FindPackage(catalogue, programId, NameCase::kIgnored);
  if (index < 0) return false;
  catalogue.records[static_cast<size_t>(index)].Build.clear();
  return SaveCatalogue(path, catalogue);
}

std::string CommandLineTail(const std::vector<std::string>& argv) {
  if (argv.size() < 2) return {};
  return JoinCommandLine(std::vector<std::string>(argv.begin() + 1, argv.end()));
}

}  // namespace vornix
