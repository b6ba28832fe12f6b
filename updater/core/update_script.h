#pragma once

#include "common/catalogue.h"
#include "updater/core/pass_context.h"

namespace vornix {

// Carries out a package's UPDATE.XML when it names a build other than the record's Update: the
// checks, the program's stop, then in the package's Path (the record's) the copy of the update
// file, bzip2 and gtar for the archives, the update's command; and records the new build in the
// catalogue at once. Each failed step is said (log line, report, status) and ends the update;
// `record` takes the new build when it is done.
void ApplyUpdate(PassContext& pass, PackageRecord& record);

}  // namespace vornix
