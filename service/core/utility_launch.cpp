#include "service/core/utility_launch.h"

#include "common/activity_log.h"
#include "platform/process.h"

namespace vornix {

namespace {
constexpr const char* kUtilityProgram = "VornixUpdate";
}  // namespace

std::vector<std::string> UtilityArguments(const std::string& programFolder) {
  return {programFolder + kUtilityProgram, "ALL", "quiet", "restart"};
}

bool LaunchUpdateUtility(const std::string& programFolder) {
  const std::vector<std::string> words = UtilityArguments(programFolder);
  std::string why;
  if (StartProgram(words, {}, &why)) return true;
  const std::string line = "Vornix cannot start the utility " + words[0] + ": " + why;
  SayProblem(line);
  return false;
}

}  // namespace vornix
