#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "common/openssl_handles.h"

namespace vornix {

// SHA-256 of bytes given piece by piece, through libcrypto (at the machine's speed, with the
// processor's SHA instructions where it has them).
class Sha256Stream {
 public:
  Sha256Stream();
  void Update(const void* data, size_t size);
  // Lower-case hex of the digest; nothing when libcrypto failed on the way. Ends the stream.
  std::optional<std::string> HexDigest();

 private:
  MdContext context_;
  bool failed_ = false;
};

}  // namespace vornix
