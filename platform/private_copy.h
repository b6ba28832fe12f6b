#pragma once

#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// A copy of the open file `fd` that no other program can reach or change: an unnamed file in
// `folder` (the same file system, so the copy shares blocks where the file system can), open
// for reading only once it is whole. What is checked on the copy is what is then started,
// copied or unpacked, whatever happens to the original or its name after the check. Invalid,
// with `why` said, when the copy cannot be made.
FileDescriptor PrivateCopy(int fd, const std::string& folder, std::string* why = nullptr);

}  // namespace vornix
