#pragma once

#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// Temporary files that a program makes beside the file it is about to put in place. Their
// names are `prefix` followed by six random letters or digits. The maker holds an exclusive
// lock on the file for as long as it works on it, so a leftover of a process that was killed
// can be told from a file that is still being written.

// Makes one in `folder` (mode 0600) and takes its lock; the lock goes when the descriptor is
// closed. The descriptor, with `path` set, or -1.
FileDescriptor CreateTemporaryBeside(const std::string& folder, const std::string& prefix,
                                     std::string& path);

// Removes the leftovers of `prefix` in `folder`: those that nobody holds locked and that are
// older than a few seconds (the youngest may not be locked yet). Other files stay.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix);

}  // namespace vornix
