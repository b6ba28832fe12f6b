#pragma once

#include <optional>
#include <string>

#include "common/package_signature.h"
#include "platform/file_descriptor.h"

namespace vornix {

// The digest of the bytes an open file holds, read once, such that the bytes checked are the
// bytes then acted on: the descriptor keeps them whatever is done to the file's name, and where
// a user other than this program's (or root) may write into the file itself, a private copy
// (see PrivateCopy) takes the descriptor's place, its digest worked out on a thread beside the
// copy. Nothing when there is no file, or no copy can be made (`why` then says why).
std::optional<FileDigest> DigestOfCheckedBytes(FileDescriptor& file, const std::string& folder,
                                               std::string& why);

}  // namespace vornix
