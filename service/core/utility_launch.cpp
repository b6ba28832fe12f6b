#include "service/core/utility_launch.h"

#include "platform/process.h"

namespace vornix {

namespace {
constexpr const char* kUtilityProgram = "VornixUpdate";
constexpr const char* kUtilityArguments = " ALL quiet restart";
}  // namespace

std::string UtilityCommandLine(const std::string& programFolder) {
  return QuoteProgramWord(programFolder + kUtilityProgram) + kUtilityArguments;
}

void LaunchUpdateUtility(const std::string& programFolder,
                         const std::function<bool(std::string_view)>& start) {
  const std::string line = UtilityCommandLine(programFolder);
  if (start) {
    start(line);
  } else {
    StartProgram(line);
  }
}

}  // namespace vornix
