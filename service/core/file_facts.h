#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/background_consumer.h"
#include "common/package_signature.h"
#include "common/sha256_stream.h"
#include "service/core/file_checksum.h"

namespace vornix {

// What verifying a package file takes, from one pass over its bytes: the byte count and the
// System V sum the server states, and, when a signature is asked for, the SHA-256 it signs.
struct FileFacts {
  FileSum sum;
  std::optional<FileDigest> digest;  // asked for and computed
};

// The facts of bytes as they come (from a transfer or a read). The SHA-256 is worked out on a
// thread beside the one that brings them; the sum alone is cheaper than handing bytes on.
class FactsOfBytes {
 public:
  explicit FactsOfBytes(bool withDigest);
  void Add(const char* data, size_t size) {
    if (consumer_)
      consumer_->Add(data, size);
    else
      sum_.Add(data, size);
  }
  // Adds the first `count` bytes of the open file; false when they cannot be read.
  bool AddFileStart(int fd, uint64_t count);
  FileFacts Finish();

 private:
  ByteSum sum_;
  std::optional<Sha256Stream> sha_;
  std::unique_ptr<BackgroundConsumer> consumer_;
};

// The facts of a file at rest, by one read of it; nothing when it is no regular file or cannot
// be read.
std::optional<FileFacts> ReadFileFacts(const std::string& path, bool withDigest);

}  // namespace vornix
