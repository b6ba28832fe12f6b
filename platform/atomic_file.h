#pragma once

#include <string>
#include <string_view>

namespace vornix {

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never
// a part: the bytes go to a temporary file in the same folder, are flushed to disk, and the
// temporary file is renamed over `path`. On any failure the old file is left as it was, the
// temporary file is removed and false is returned. An existing file that cannot be opened for
// writing is left untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vornix
