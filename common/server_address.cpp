#include "common/server_address.h"

namespace vornix {

std::string CommandUrl(const std::string& serverUrl) {
  return serverUrl + "/cgi-bin/vornet";
}

bool UseLocalServerFrom(std::optional<uint32_t> defaultServer) {
  return defaultServer.value_or(1) < 2;
}

std::string VendorUpdateServer() {
  return std::string(VORNIX_VENDOR_HOST) + ":81/Vornix";
}

}  // namespace vornix
