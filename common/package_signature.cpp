#include "common/package_signature.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "common/openssl_handles.h"
#include "common/sha256_stream.h"
#include "platform/regular_file.h"

namespace vornix {
namespace {

constexpr size_t kDigestChunk = 1 << 20;  // large reads: fewer calls, the same digest

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::string Lines(std::initializer_list<std::string_view> values) {
  std::string text;
  for (const std::string_view value : values) {
    text.append(value);
    text += '\n';
  }
  return text;
}

// The problem with a signed file, given the statement its order and digest make.
std::string SignatureProblem(
    const PublisherKey& key, const std::optional<FileDigest>& digest, std::string_view value,
    const std::function<std::string(uint64_t order, const FileDigest&)>& statement) {
  if (!key.Usable()) return "the update key is not usable";
  if (value.empty()) return "no signature";
  const std::optional<SignedValue> signed_ = ParseSignedValue(value);
  if (!signed_) return SignedValueProblem(value);
  if (!digest) return "the file cannot be read";
  if (!key.Verifies(statement(signed_->order, *digest), signed_->signature))
    return "the signature does not match";
  return {};
}

}  // namespace

std::optional<FileDigest> DigestFile(const std::string& path) {
  return DigestDescriptor(OpenRegularFile(path).get());
}

std::optional<FileDigest> DigestDescriptor(int fd) {
  if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) return std::nullopt;
  Sha256Stream sha;
  FileDigest digest;
  std::string chunk(kDigestChunk, '\0');
  ssize_t n = 0;
  while ((n = read(fd, chunk.data(), chunk.size())) > 0 || (n < 0 && errno == EINTR)) {
    if (n < 0) continue;
    sha.Update(chunk.data(), static_cast<size_t>(n));
    digest.size += static_cast<uint64_t>(n);
  }
  const std::optional<std::string> hex = sha.HexDigest();
  if (n < 0 || !hex) return std::nullopt;
  digest.sha256 = *hex;
  return digest;
}

std::optional<uint64_t> ParseOrder(std::string_view digits) {
  if (digits.empty() || digits.size() > 19 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return std::strtoull(std::string(digits).c_str(), nullptr, 10);
}

std::optional<SignedValue> ParseSignedValue(std::string_view value) {
  const size_t colon = value.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<uint64_t> order = ParseOrder(value.substr(0, colon));
  if (!order) return std::nullopt;
  return SignedValue{*order, std::string(value.substr(colon + 1))};
}

bool HasOverlongOrder(std::string_view value) {
  const std::string_view digits = value.substr(0, value.find(':'));
  return digits.size() < value.size() && digits.size() > 19 &&
         digits.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string SignedValueProblem(std::string_view value) {
  if (ParseSignedValue(value)) return {};
  if (HasOverlongOrder(value)) return "an order of more than 19 digits, which no client reads";
  return "a signature of the earlier form, without an order: it must be signed again";
}

std::string FormatSignedValue(const SignedValue& value) {
  return std::to_string(value.order) + ":" + value.signature;
}

std::string SetupStatement(std::string_view programId, uint64_t order, std::string_view build,
                           const FileDigest& file) {
  const std::string size = std::to_string(file.size);
  return Lines({"vornix-setup-2", programId, std::to_string(order), build, size, file.sha256});
}

std::string UpdateStatement(std::string_view programId, uint64_t order, std::string_view build,
                            std::string_view fileName, std::string_view updateCmd,
                            const FileDigest& file) {
  const std::string size = std::to_string(file.size);
  return Lines({"vornix-update-2", programId, std::to_string(order), build, fileName, updateCmd,
                size, file.sha256});
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), Bytes(bytes),
                                static_cast<int>(bytes.size()));
  text.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()), Bytes(text),
                                static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  // The block decoder counts the padding as zero bytes.
  const size_t padding = text.size() - text.find_last_not_of('=') - 1;
  if (padding > 2 || static_cast<size_t>(n) < padding) return std::nullopt;
  bytes.resize(static_cast<size_t>(n) - padding);
  // Only the one canonical spelling of these bytes is taken.
  if (EncodeBase64(bytes) != text) return std::nullopt;
  return bytes;
}

PublisherKey::PublisherKey(std::string_view updateKey) : required_(!updateKey.empty()) {
  const std::optional<std::string> raw = DecodeBase64(updateKey);
  if (!raw || raw->size() != kPublicKeyBytes) return;
  const PkeyHandle key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Bytes(*raw), raw->size()));
  usable_ = key != nullptr;
  if (usable_) raw_ = *raw;
}

bool PublisherKey::Verifies(std::string_view statement, std::string_view signature) const {
  const std::optional<std::string> raw = DecodeBase64(signature);
  if (!usable_ || !raw || raw->size() != kSignatureBytes) return false;
  const PkeyHandle key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Bytes(raw_), raw_.size()));
  MdContext context(EVP_MD_CTX_new());
  // Ed25519 hashes the message itself: no digest is named.
  return key && context &&
         EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
         EVP_DigestVerify(context.get(), Bytes(*raw), raw->size(), Bytes(statement),
                          statement.size()) == 1;
}

std::string SetupSignatureProblem(const PublisherKey& key, std::string_view programId,
                                  std::string_view build, const std::optional<FileDigest>& file,
                                  std::string_view signed_) {
  return SignatureProblem(key, file, signed_, [&](uint64_t order, const FileDigest& digest) {
    return SetupStatement(programId, order, build, digest);
  });
}

std::string UpdateSignatureProblem(const PublisherKey& key, std::string_view programId,
                                   std::string_view build, std::string_view fileName,
                                   std::string_view updateCmd,
                                   const std::optional<FileDigest>& file,
                                   std::string_view signed_) {
  return SignatureProblem(key, file, signed_, [&](uint64_t order, const FileDigest& digest) {
    return UpdateStatement(programId, order, build, fileName, updateCmd, digest);
  });
}

}  // namespace vornix
