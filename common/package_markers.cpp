#include "common/package_markers.h"

#include <cstdio>
#include <string_view>

namespace vornix {

std::string ReadSetupVer(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) return {};
  char buf[kSetupVerReadMax];
  const size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  const std::string_view data(buf, n);
  return std::string(data.substr(0, data.find('\0')));
}

}  // namespace vornix
