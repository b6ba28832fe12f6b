#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// Readers of the shared files open them through these: a FIFO, a device or a folder in the
// place of a file reads as missing instead of blocking the program or feeding it endless data.

// A descriptor for reading a regular file (close-on-exec), invalid when there is none.
FileDescriptor OpenRegularFile(const std::string& path);

// At most the first `limit` bytes of a regular file; nothing when it cannot be read.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit = SIZE_MAX);

// A descriptor for appending to a regular file, made when absent (close-on-exec).
FileDescriptor OpenRegularFileForAppending(const std::string& path);

}  // namespace vornix
