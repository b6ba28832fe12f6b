#include "platform/version.h"

namespace vornix {

std::string VersionResourceText() {
  return VORNIX_VERSION_TEXT;
}

}  // namespace vornix
