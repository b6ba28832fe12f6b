#include "common/write_problems.h"

#include <cstring>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/settings_key.h"
#include "platform/registry.h"
#include "platform/write_access.h"

namespace vornix {

std::string WriteProblem::Text(std::string_view program) const {
  return std::string(program) + " cannot write " + what + " " + path;
}

std::vector<WriteProblem> FindWriteProblems(const std::string& programFolder,
                                            std::string_view logName, bool withSettings) {
  std::vector<WriteProblem> problems;
  if (int e = FolderWriteError(programFolder)) {
    problems.push_back({"its program folder", programFolder, e});
  } else {
    const std::string log = programFolder + std::string(logName);
    if (int e = FileWriteError(log)) problems.push_back({"its log", log, e});
  }
  const std::string catalogue = CataloguePath();
  if (int e = FileWriteError(catalogue)) problems.push_back({"the catalogue", catalogue, e});
  if (withSettings) {
    const std::string settings = RegistryKey::KeyFilePath(SettingsKey());
    if (int e = FileWriteError(settings)) problems.push_back({"the settings", settings, e});
  }
  return problems;
}

std::string ReportWriteProblems(std::string_view program,
                                const std::vector<WriteProblem>& problems) {
  for (const WriteProblem& p : problems) {
    const std::string line = p.Text(program) + ": " + std::strerror(p.error);
    SayProblem(line);
  }
  return problems.empty() ? std::string() : problems.front().Text(program);
}

}  // namespace vornix
