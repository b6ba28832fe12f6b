#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vornix {

// Publisher signatures (opt-in through the settings value UpdateKey): the publisher signs, with
// an Ed25519 key that never lies on the update server, a statement of everything a client acts
// on; the service checks it before it puts a file in place, the utility again before it acts.

inline constexpr size_t kPublicKeyBytes = 32;  // Ed25519
inline constexpr size_t kSignatureBytes = 64;

// The reply element and the marker element that carry a signature: base64 of 64 bytes is 88
// characters, so a longer value is no signature.
inline constexpr const char* kSignatureElement = "Signature";
inline constexpr size_t kSignatureCapacity = 128;

// The byte count and SHA-256 (hex, lower case) of a file.
struct FileDigest {
  uint64_t size = 0;
  std::string sha256;
};
// Empty when the file cannot be read.
std::optional<FileDigest> DigestFile(const std::string& path);

// The statements a publisher signs: one value a line, each line ending in LF. Values never hold
// a line end (package.txt is read by lines), so a value cannot pass for two.
//   vornix-setup  <ProgID> <Build> <size> <sha256>
//   vornix-update <ProgID> <Build> <FileName> <UpdateCmd> <size> <sha256>
std::string SetupStatement(std::string_view programId, std::string_view build,
                           const FileDigest& file);
std::string UpdateStatement(std::string_view programId, std::string_view build,
                            std::string_view fileName, std::string_view updateCmd,
                            const FileDigest& file);

// Base64 with libcrypto. Decoding takes the canonical text only (no blanks or line ends, the
// padding the length asks for); anything else reads as nothing.
std::string EncodeBase64(std::string_view bytes);
std::optional<std::string> DecodeBase64(std::string_view text);

// The publisher's public key as the settings value UpdateKey gives it (base64 of 32 bytes).
class PublisherKey {
 public:
  explicit PublisherKey(std::string_view updateKey);
  // A key was configured: signatures are asked for, whether or not the key is usable.
  bool Required() const { return required_; }
  // The value is an Ed25519 public key.
  bool Usable() const { return usable_; }
  // True when `signature` (base64) is this key's signature of `statement`.
  bool Verifies(std::string_view statement, std::string_view signature) const;

 private:
  bool required_ = false;
  bool usable_ = false;
  std::string raw_;
};

// Empty when `signature` signs the setup file, or the update file, for the values given; else
// why not, in a few words for a log line.
std::string SetupSignatureProblem(const PublisherKey& key, std::string_view programId,
                                  std::string_view build, const std::string& file,
                                  std::string_view signature);
std::string UpdateSignatureProblem(const PublisherKey& key, std::string_view programId,
                                   std::string_view build, std::string_view fileName,
                                   std::string_view updateCmd, const std::string& file,
                                   std::string_view signature);

}  // namespace vornix
