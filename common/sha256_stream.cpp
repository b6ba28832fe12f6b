#include "common/sha256_stream.h"

#include "platform/text.h"

namespace vornix {

Sha256Stream::Sha256Stream() : context_(EVP_MD_CTX_new()) {
  failed_ = !context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1;
}

void Sha256Stream::Update(const void* data, size_t size) {
  if (!failed_ && size > 0) failed_ = EVP_DigestUpdate(context_.get(), data, size) != 1;
}

std::optional<std::string> Sha256Stream::HexDigest() {
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (failed_ || EVP_DigestFinal_ex(context_.get(), hash, &length) != 1) return std::nullopt;
  failed_ = true;  // a context is finished once
  return HexText(hash, length);
}

}  // namespace vornix
