#include "common/package_info.h"

#include <algorithm>

namespace vornix {

PackageInfo ParsePackageInfo(std::string_view text) {
  PackageInfo info;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    info.lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    std::string_view line = info.lines.back();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t eq = line.find('=');
    if (line.empty() || line.front() == '#' || eq == std::string_view::npos) continue;
    info.values[std::string(line.substr(0, eq))] = std::string(line.substr(eq + 1));
  }
  return info;
}

}  // namespace vornix
