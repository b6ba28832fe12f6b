// DecodeBase64 on any text: no crash; it takes only the one canonical spelling of the bytes it
// gives (encoding them gives the text back), and any bytes encoded decode to themselves.
#include <cstdlib>
#include <string>

#include "common/package_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> bytes = vornix::DecodeBase64(text);
  if (bytes && vornix::EncodeBase64(*bytes) != text) std::abort();
  const std::optional<std::string> back = vornix::DecodeBase64(vornix::EncodeBase64(text));
  if (!back || *back != text) std::abort();
  return 0;
}
