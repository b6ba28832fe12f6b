#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// A copy of the open file `fd` that no other program can reach or change: an unnamed file in
// `folder`, open for reading only once it is whole. What is checked on the copy is what is then
// started, copied or unpacked, whatever happens to the original or its name after the check.
// `onBytes` sees every byte of the copy on its way, so that a check costs no read of its own.
// Invalid, with `why` said, when the copy cannot be made.
FileDescriptor PrivateCopy(int fd, const std::string& folder,
                           const std::function<void(const char* data, size_t size)>& onBytes,
                           std::string* why = nullptr);

}  // namespace vornix
