#include "common/server_address.h"

#include <cstdint>

#include "platform/registry.h"
#include "platform/text.h"

namespace vornix {

UrlOutValue ReadUrlOut(const RegistryKey& key) {
  UrlOutValue value;
  if (auto url = key.QueryString("UrlOut", kUrlOutCapacity)) {
    // An address never holds blanks: one typed by mistake is said, not sent to the server.
    if (url->find_first_of(kWhiteSpace) == std::string::npos)
      value.address = *url;
    else
      value.problem = "it holds a blank";
  } else if (key.Unreadable("UrlOut") || key.QueryDword("UrlOut")) {
    value.problem = "its line cannot be read";
  } else if (key.QueryString("UrlOut", SIZE_MAX)) {
    value.problem = "it is longer than " + std::to_string(kUrlOutCapacity - 1) + " characters";
  }
  return value;
}

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
