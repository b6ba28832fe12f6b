#pragma once

#include <optional>
#include <string>

namespace vornix {

// The service's record of its last decision about a check, in its program folder, for
// vornixctl to show: when, what kind, how it ended, and whether the utility was started.
// Lines "<key>=<value>", rewritten whole after every decision.
inline constexpr const char* kLastCheckFileName = "Vornix.lastcheck";

struct LastCheck {
  std::string time;     // as the log stamps it
  std::string kind;     // "forced" (at start, "Update Now") or "hourly"
  std::string outcome;  // "ok: 4 packages checked", "2 problems, the first: ...", "no check: ..."
  std::string utility;  // "started", "could not be started", "not needed"
};

bool WriteLastCheck(const std::string& programFolder, const LastCheck& check);
std::optional<LastCheck> ReadLastCheck(const std::string& programFolder);

}  // namespace vornix
