#include "publish/publisher.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "common/openssl_handles.h"
#include "common/package_info.h"
#include "common/package_signature.h"
#include "common/protocol.h"
#include "platform/atomic_file.h"
#include "platform/file_descriptor.h"

namespace vornix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPackageInfo = "package.txt";
constexpr const char* kSetupSignatureKey = "SetupSignature";
constexpr const char* kUpdateSignatureKey = "UpdateSignature";
constexpr mode_t kPrivateMode = 0600;
constexpr mode_t kGroupOrOthers = 077;
constexpr size_t kKeyFileMax = 64 * 1024;
constexpr int kFailedExit = 1;

// The private key, when its file is a regular file that only its owner may access and holds
// an Ed25519 key in PEM; else empty, with the reason in `why`.
PkeyHandle ReadPrivateKey(const std::string& keyFile, std::string& why) {
  const FileDescriptor file(open(keyFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!file.valid() || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "cannot read the private key file";
    return nullptr;
  }
  if (st.st_mode & kGroupOrOthers) {
    why = "the private key file may be read by group or others; make it mode 600";
    return nullptr;
  }
  std::string pem(kKeyFileMax, '\0');
  const ssize_t n = read(file.get(), pem.data(), pem.size());
  BioHandle bio(BIO_new_mem_buf(pem.data(), n < 0 ? 0 : static_cast<int>(n)));
  PkeyHandle key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || !EVP_PKEY_is_a(key.get(), "ED25519")) {
    why = "the file holds no Ed25519 private key";
    return nullptr;
  }
  return key;
}

// The base64 Ed25519 signature of `statement`, empty when it cannot be made.
std::string Sign(EVP_PKEY* key, const std::string& statement) {
  MdContext context(EVP_MD_CTX_new());
  std::string signature(EVP_PKEY_get_size(key), '\0');
  size_t length = signature.size();
  const auto* message = reinterpret_cast<const unsigned char*>(statement.data());
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     message, statement.size()) != 1) {
    return {};
  }
  signature.resize(length);
  return EncodeBase64(signature);
}

bool IsSignatureLine(const std::string& line) {
  const auto startsWith = [&](const std::string& key) { return line.rfind(key + "=", 0) == 0; };
  return startsWith(kSetupSignatureKey) || startsWith(kUpdateSignatureKey);
}

// A value a client cuts to its field's capacity never matches the signed statement.
void WarnIfCut(const std::string& package, const char* key, const std::string& value,
               size_t capacity, std::ostream& err) {
  if (value.size() < capacity) return;
  err << package << ": " << key << " is longer than " << capacity - 1
      << " characters; clients read it cut and will refuse the package\n";
}

// The order of this signing: the time in seconds, and always above the order the package was
// signed with before, so that it only grows for the package, however quickly it is signed again
// or however the clock goes. Nothing, with `why`, when the order before cannot be read or no
// higher one is left that clients read: signing lower would make every client refuse it.
std::optional<uint64_t> NextOrder(const PackageInfo& info, std::string& why) {
  uint64_t order = static_cast<uint64_t>(std::time(nullptr));
  for (const char* key : {kSetupSignatureKey, kUpdateSignatureKey}) {
    const auto value = info.values.find(key);
    if (value == info.values.end() || value->second.empty()) continue;
    const std::optional<SignedValue> earlier = ParseSignedValue(value->second);
    if (!earlier && HasOverlongOrder(value->second)) {
      why = std::string(key) + " holds " + SignedValueProblem(value->second);
      return std::nullopt;
    }
    if (!earlier) continue;  // the earlier form: no order to stay above
    if (earlier->order >= kMaxSignedOrder) {
      why = std::string(key) + " holds the highest order clients read, " +
            std::to_string(kMaxSignedOrder) + "; no higher one can be signed";
      return std::nullopt;
    }
    order = std::max(order, earlier->order + 1);
  }
  return order;
}

// Signs one package folder; why it did not, when it did not (its package.txt stays as it was).
std::string SignPackage(EVP_PKEY* key, const fs::path& folder, std::ostream& out,
                        std::ostream& err) {
  const std::string name = folder.filename().string();
  const std::string infoPath = (folder / kPackageInfo).string();
  const std::string cannotRewrite = "cannot rewrite " + infoPath;
  std::ifstream in(infoPath, std::ios::binary);
  std::stringstream text;
  if (!(in && text << in.rdbuf())) return cannotRewrite;
  PackageInfo info = ParsePackageInfo(text.str());
  auto& v = info.values;
  std::string why;
  const std::optional<uint64_t> next = NextOrder(info, why);
  if (!next) return name + ": " + why + "; it stays as it was";
  const uint64_t order = *next;
  const auto signedValue = [&](const std::string& statement) {
    return FormatSignedValue({order, Sign(key, statement)});
  };

  std::vector<std::string> signatures;
  if (!v["SetupBuild"].empty()) {
    WarnIfCut(name, "SetupBuild", v["SetupBuild"], kBuildCapacity, err);
    const auto digest = DigestFile((folder / "setup.exe").string());
    if (digest) {
      signatures.push_back(std::string(kSetupSignatureKey) + "=" +
                           signedValue(SetupStatement(name, order, v["SetupBuild"], *digest)));
      out << name << ": setup " << v["SetupBuild"] << " signed\n";
    } else {
      err << name << ": setup.exe cannot be read; the setup stays unsigned\n";
    }
  }
  if (!v["UpdateBuild"].empty() && !v["UpdateFile"].empty()) {
    WarnIfCut(name, "UpdateBuild", v["UpdateBuild"], kBuildCapacity, err);
    WarnIfCut(name, "UpdateFile", v["UpdateFile"], kFileNameCapacity, err);
    WarnIfCut(name, "UpdateCmd", v["UpdateCmd"], kUpdateCmdCapacity, err);
    const auto digest = DigestFile((folder / "updates" / v["UpdateFile"]).string());
    if (digest) {
      const std::string statement =
          UpdateStatement(name, order, v["UpdateBuild"], v["UpdateFile"], v["UpdateCmd"], *digest);
      signatures.push_back(std::string(kUpdateSignatureKey) + "=" + signedValue(statement));
      out << name << ": update " << v["UpdateBuild"] << " (" << v["UpdateFile"] << ") signed\n";
    } else {
      err << name << ": updates/" << v["UpdateFile"]
          << " cannot be read; the update stays unsigned\n";
    }
  }

  // Earlier signatures go; the new ones come last.
  std::string rewritten;
  for (const std::string& line : info.lines) {
    if (!IsSignatureLine(line)) rewritten += line + "\n";
  }
  for (const std::string& line : signatures) rewritten += line + "\n";
  return ReplaceFileAtomically(infoPath, rewritten) ? std::string() : cannotRewrite;
}

}  // namespace

int MakePublisherKey(const std::string& keyFile, std::ostream& out, std::ostream& err) {
  PkeyHandle key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  BioHandle pem(BIO_new(BIO_s_mem()));
  if (!key || !pem ||
      PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    err << "vornix-publish: cannot make a key\n";
    return kFailedExit;
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(pem.get(), &data);
  unsigned char raw[kPublicKeyBytes];
  size_t rawLength = sizeof raw;
  // O_EXCL: an existing key, perhaps the one clients trust, is never overwritten.
  const FileDescriptor file(
      open(keyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode));
  if (!file.valid() || !WriteAll(file.get(), std::string_view(data, static_cast<size_t>(size))) ||
      fsync(file.get()) != 0 || EVP_PKEY_get_raw_public_key(key.get(), raw, &rawLength) != 1) {
    err << "vornix-publish: cannot write a new private key file " << keyFile << "\n";
    return kFailedExit;
  }
  out << EncodeBase64(std::string_view(reinterpret_cast<const char*>(raw), rawLength)) << "\n";
  return 0;
}

int SignRepository(const std::string& keyFile, const std::string& repository, std::ostream& out,
                   std::ostream& err) {
  std::string why;
  const PkeyHandle key = ReadPrivateKey(keyFile, why);
  if (!key) {
    err << "vornix-publish: " << keyFile << ": " << why << "\n";
    return kFailedExit;
  }
  std::error_code error;
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(repository, error)) {
    if (fs::is_regular_file(entry.path() / kPackageInfo)) folders.push_back(entry.path());
  }
  if (error) {
    err << "vornix-publish: cannot read the repository " << repository << "\n";
    return kFailedExit;
  }
  std::sort(folders.begin(), folders.end());
  int exitCode = 0;
  for (const fs::path& folder : folders) {
    if (const std::string problem = SignPackage(key.get(), folder, out, err); !problem.empty()) {
      err << "vornix-publish: " << problem << "\n";
      exitCode = kFailedExit;
    }
  }
  return exitCode;
}

}  // namespace vornix
