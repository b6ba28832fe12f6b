#pragma once

#include <string>

namespace vornix {

// Whether this process may write a place, asked without writing anything. 0 when it may,
// else the errno that says why not (EACCES, EROFS, ENOTDIR...).

// A folder may be written when it exists and files can be made in it, or when it is absent
// and its nearest existing parent is such a folder (it can then be made). "" is the current
// folder.
int FolderWriteError(const std::string& folder);

// A file may be written when it exists, is a regular file and is writable, or when it is absent
// and its folder may be written.
int FileWriteError(const std::string& file);

}  // namespace vornix
