#pragma once

#include <string>
#include <string_view>

namespace vornix {

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never
// a part: the bytes go to a temporary file in the same folder, are flushed to disk, and the
// temporary file is renamed over `path`. The new file keeps the old one's owner, group and
// mode; a symbolic link is followed, its target replaced and the link kept. Where no
// temporary file can be made beside it, or it could not be given the old owner, a file that
// can be written is rewritten in place instead. On any failure the old file is left as it
// was, the temporary file is removed and false is returned. An existing file that cannot be
// opened for writing, or that is not a regular file, is left untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// The name of our own temporary files there; leftovers of killed rewrites are removed before
// the next rewrite in that folder.
inline constexpr const char* kReplaceTemporaryPrefix = ".tmp-";

}  // namespace vornix
