#pragma once

#include "common/catalogue.h"
#include "updater/core/pass_context.h"

namespace vornix {

// Before a package's setup or update, the program it belongs to is asked to end: qorax gets two
// seconds; the service is stopped and waited for. The service's own update is then handed over
// to a copy of the utility (VornixUpdate1 beside it, started with the selector and "quiet
// restart"), since the utility is among the programs it replaces. True when this pass leaves
// the package alone: the copy took over, the service did not stop, or, for a setup, the pass
// ends so that the setup can run.
bool PrepareProgram(PassContext& pass, const PackageRecord& record, bool forSetup);

// The hand-over's program names, and how the copy knows itself: its program file ends in "1".
inline constexpr const char* kUtilityProgram = "VornixUpdate";
inline constexpr const char* kCopyProgram = "VornixUpdate1";
inline constexpr const char* kCopyNameEnding = "1";

}  // namespace vornix
