#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vornix {

// The words that start the update utility for every package, closing by itself and restarting
// what it updated: its program in the service's folder, "ALL", "quiet", "restart".
std::vector<std::string> UtilityArguments(const std::string& programFolder);

// Starts the utility without waiting for it; it inherits the service's current folder. A start
// that fails is said on standard error and in the log; the next check finds what lies ready
// and tries again. True when it started.
bool LaunchUpdateUtility(const std::string& programFolder);

}  // namespace vornix
