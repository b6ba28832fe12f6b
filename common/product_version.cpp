#include "common/product_version.h"

#include "platform/version.h"

namespace vornix {

namespace {
constexpr const char* kDefaultVersionText = "1, 0, 0, 1";
constexpr size_t kVersionTextMax = 63;
}  // namespace

std::string ReadProductVersion() {
  const std::string text = VersionResourceText();
  if (text.empty()) return kDefaultVersionText;
  return text.substr(0, kVersionTextMax);
}

std::string ServiceVersionText(std::string versionText) {
  for (size_t pos; (pos = versionText.find(", ")) != std::string::npos;)
    versionText.replace(pos, 2, ".");
  return versionText;
}

}  // namespace vornix
