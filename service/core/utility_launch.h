#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vornix {

// The command line that starts the update utility for every package, closing by itself and
// restarting what it updated. The program path is quoted, so a folder with blanks cannot start
// another program in its place.
std::string UtilityCommandLine(const std::string& programFolder);

// Starts the utility without waiting for it; its result is not looked at and nothing is logged.
// The utility inherits the service's current folder.
void LaunchUpdateUtility(const std::string& programFolder,
                         const std::function<bool(std::string_view)>& start = {});

}  // namespace vornix
