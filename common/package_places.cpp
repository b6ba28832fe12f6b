#include "common/package_places.h"

#include "platform/text.h"

namespace vornix {

PackagePlaces::PackagePlaces(const std::string& programFolder, std::string_view name)
    : folder(programFolder + std::string(name)),
      setupFile(folder + "/" + kSetupFileName),
      setupVer(folder + "/SETUP.VER"),
      setupSig(folder + "/SETUP.SIG"),
      setupRun(folder + "/SETUP.RUN"),
      updatesFolder(folder + "/updates"),
      updateXml(updatesFolder + "/" + kUpdateXmlName) {}

std::string PackagePlaces::UpdateFile(std::string_view fileName) const {
  return updatesFolder + "/" + std::string(fileName);
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.front() == '-') return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

bool IsUsableUpdateFileName(std::string_view name) {
  return IsPlainFileName(name) && !EqualsIgnoringCase(name, kUpdateXmlName);
}

}  // namespace vornix
