#pragma once

#include <string_view>

#include "common/catalogue.h"
#include "common/package_markers.h"
#include "platform/file_descriptor.h"
#include "updater/core/pass_context.h"

namespace vornix {

// The utility's own check of the publisher's signature, right before it acts, whatever the
// service checked when it downloaded. With an UpdateKey in the settings, a setup or an update
// whose open file and marker do not carry the publisher's signature, or are older than what the
// service took before, is refused as a failed step (log line, report, status): true then. What
// is checked is what the open file holds, and what is then acted on (a private copy where
// others may write into the file: see DigestOfCheckedBytes).
bool RefuseUnsignedSetup(PassContext& pass, const PackageRecord& record, std::string_view build,
                         FileDescriptor& setup);
bool RefuseUnsignedUpdate(PassContext& pass, const PackageRecord& record,
                          const UpdateMarker& script, FileDescriptor& update);

}  // namespace vornix
