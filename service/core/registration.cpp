#include "service/core/registration.h"

#include "common/catalogue.h"
#include "common/catalogue_edit.h"
#include "common/package_markers.h"
#include "common/settings_key.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace vornix {

namespace {
constexpr size_t kProgPathCapacity = 260;
}  // namespace

std::string RunningFolder() {
  std::string folder = ModuleFolder();  // ends in '/'
  folder.pop_back();
  return folder;
}

std::string RegisterServicePackage(const std::string& runningFolder, MessageBoxes& boxes) {
  std::string progPath;
  {
    auto key = RegistryKey::Open(SettingsKey(), kKeyRead);
    if (!key) return {};
    progPath = key->QueryString("ProgPath", kProgPathCapacity).value_or("");
  }

  // A folder the catalogue would keep cut leads the utility to another folder.
  if (runningFolder.size() > decltype(PackageRecord::Path)::kWidth)
    return "Vornix did not register itself: the path of its folder " + runningFolder +
           " is longer than the " + std::to_string(decltype(PackageRecord::Path)::kWidth) +
           " characters the catalogue keeps";
  bool full = false;
  const std::string problem = EditCatalogue([&](PackageCatalogue& catalogue) {
    bool changed = false;
    int index = FindPackage(catalogue, kServicePackageName, NameCase::kIgnored);
    if (index >= 0) {
      PackageRecord& own = catalogue.records[static_cast<size_t>(index)];
      if (!SameName(own.Path.view(), runningFolder, NameCase::kIgnored)) {
        own.Path.assign(runningFolder);
        changed = true;
      }
    } else if (catalogue.full()) {
      full = true;
      return false;
    } else {
      index = catalogue.count++;
      PackageRecord& own = catalogue.records[static_cast<size_t>(index)];
      // The slot past the last package may hold the fields of an unfinished one (a package
      // without Key at the end of the file): the new record starts empty.
      own.clear();
      own.Name.assign(kServicePackageName);
      own.Desc.assign(kServicePackageDesc);
      own.Path.assign(runningFolder);
      own.Key.assign(kServiceProgramKey);
      changed = true;
    }

    PackageRecord& own = catalogue.records[static_cast<size_t>(index)];
    const std::string setupVersion = ReadSetupVer(progPath + own.Name.str() + "/SETUP.VER");
    // A build holding markup would corrupt the catalogue it goes into.
    if (!setupVersion.empty() && own.Build.empty() && IsCatalogueSafe(setupVersion)) {
      own.Build.assign(setupVersion);
      changed = true;
    }
    return changed;
  });
  // Asked only once the catalogue is free again: the box waits for a person.
  if (full) boxes.Show(kCatalogueFullText, kCatalogueFullCaption, MessageBoxButtons::kOk);
  return problem.empty() ? problem : "Vornix did not register itself: " + problem;
}

}  // namespace vornix
