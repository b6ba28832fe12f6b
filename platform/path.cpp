#include "platform/path.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

namespace vornix {

// Not std::filesystem's "/", where a name beginning with '/' would replace the folder.
std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string FolderWithSlash(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(0, slash + 1));
}

// By hand rather than with std::filesystem::create_directories, which asks for 0777: folders
// that hold downloads stay writable by their owner alone, whatever the umask lets through.
bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos == folder.size() || folder[pos] == '/') {
      const std::string part = folder.substr(0, pos);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

long long FileSize(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return -1;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<long long>(size);
}

}  // namespace vornix
