#pragma once

#include "common/catalogue.h"
#include "updater/core/pass_context.h"

namespace vornix {

// Starts the setup that lies ready for a package (SETUP.VER names a build other than the
// record's, and the record has one), after the checks and the program's stop; then notes it in
// SETUP.RUN. True when the setup was started, or the package is left alone for this pass (its
// service did not stop): the package's update is then not applied in the same pass.
bool RunSetupIfNew(PassContext& pass, const PackageRecord& record);

}  // namespace vornix
