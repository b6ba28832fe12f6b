#pragma once

#include <string>
#include <string_view>

namespace vornix {

// "a" + "/" + "b", without doubling a separator that "a" already ends with.
std::string JoinPath(std::string_view folder, std::string_view name);

// Everything up to and including the last '/', or the whole text when it has none.
std::string FolderWithSlash(std::string_view path);

// Creates a folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

bool FileExists(const std::string& path);

// Size of a regular file, or -1 when it cannot be had.
long long FileSize(const std::string& path);

}  // namespace vornix
