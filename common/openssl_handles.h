#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <memory>

namespace vornix {

// Owners of the libcrypto objects the signature code makes: each is freed with its own call.
template <typename T, void (*Free)(T*)>
struct OpenSslFree {
  void operator()(T* p) const { Free(p); }
};
using PkeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using MdContext = std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX, EVP_MD_CTX_free>>;
using BioHandle = std::unique_ptr<BIO, OpenSslFree<BIO, BIO_free_all>>;

}  // namespace vornix
