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
// characters and the order before it 20 at most, so a longer value is no signature.
inline constexpr const char* kSignatureElement = "Signature";
inline constexpr size_t kSignatureCapacity = 128;

// The byte count and SHA-256 (hex, lower case) of a file.
struct FileDigest {
  uint64_t size = 0;
  std::string sha256;
};
// Empty when the file cannot be read.
std::optional<FileDigest> DigestFile(const std::string& path);
// The same of an open file, read from its start: the bytes a caller then acts on are the ones
// it checked, whatever happens to the file's name meanwhile.
std::optional<FileDigest> DigestDescriptor(int fd);

// A Signature value carries the publisher's order with the signature: "<order>:<base64>". The
// order only grows for a package, so a client can refuse what is older than what it took.
struct SignedValue {
  uint64_t order = 0;
  std::string signature;  // base64
};
// Nothing for a value of another form (the earlier form had no order) or an order of more than
// 19 digits.
std::optional<SignedValue> ParseSignedValue(std::string_view value);
// Why a value does not parse, in a few words for a log line; empty when it does.
std::string SignedValueProblem(std::string_view value);
// A value of the ordered form whose order has more digits than a client reads.
bool HasOverlongOrder(std::string_view value);
// The highest order a client reads: 19 digits.
inline constexpr uint64_t kMaxSignedOrder = 9999999999999999999ull;
// An order as it is written: 1 to 19 decimal digits; nothing for anything else.
std::optional<uint64_t> ParseOrder(std::string_view digits);
std::string FormatSignedValue(const SignedValue& value);

// The statements a publisher signs: one value a line, each line ending in LF. Values never hold
// a line end (package.txt is read by lines), so a value cannot pass for two.
//   vornix-setup-2  <ProgID> <order> <Build> <size> <sha256>
//   vornix-update-2 <ProgID> <order> <Build> <FileName> <UpdateCmd> <size> <sha256>
std::string SetupStatement(std::string_view programId, uint64_t order, std::string_view build,
                           const FileDigest& file);
std::string UpdateStatement(std::string_view programId, uint64_t order, std::string_view build,
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

// Empty when the Signature value `signed` signs the setup file, or the update file, of the
// digest given (none: the file cannot be read) for the values given; else why not, in a few
// words for a log line.
std::string SetupSignatureProblem(const PublisherKey& key, std::string_view programId,
                                  std::string_view build, const std::optional<FileDigest>& file,
                                  std::string_view signed_);
std::string UpdateSignatureProblem(const PublisherKey& key, std::string_view programId,
                                   std::string_view build, std::string_view fileName,
                                   std::string_view updateCmd,
                                   const std::optional<FileDigest>& file, std::string_view signed_);

}  // namespace vornix
