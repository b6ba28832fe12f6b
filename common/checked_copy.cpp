#include "common/checked_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/background_consumer.h"
#include "common/sha256_stream.h"
#include "platform/private_copy.h"

namespace vornix {

namespace {

// Whether someone less trusted than this program's user could write into the open file: only
// its owner (when that is this user or root) may, through no group or other write permission
// (an ACL that lets others write shows as group write).
bool OthersMayWrite(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return true;
  const bool trustedOwner = st.st_uid == geteuid() || st.st_uid == 0;
  return !trustedOwner || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

std::optional<FileDigest> DigestOfCheckedBytes(FileDescriptor& file, const std::string& folder,
                                               std::string& why) {
  if (!file.valid()) return std::nullopt;  // its check says so
  if (!OthersMayWrite(file.get())) return DigestDescriptor(file.get());
  Sha256Stream sha;
  uint64_t size = 0;
  BackgroundConsumer hasher([&](const char* data, size_t n) {
    sha.Update(data, n);
    size += n;
  });
  FileDescriptor copy = PrivateCopy(
      file.get(), folder, [&](const char* data, size_t n) { hasher.Add(data, n); }, &why);
  hasher.Finish();
  if (!copy.valid()) return std::nullopt;
  file = std::move(copy);
  const std::optional<std::string> hex = sha.HexDigest();
  if (!hex) return std::nullopt;
  return FileDigest{size, *hex};
}

}  // namespace vornix
