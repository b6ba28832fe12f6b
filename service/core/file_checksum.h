#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vornix {

// The System V `sum` checksum of a file (what `sum -s` prints first) and its byte count.
struct FileSum {
  unsigned checksum = 0;  // 0 to 65535
  uint64_t bytes = 0;
};

// Every byte added as 0..255 to a 32-bit sum that wraps, folded twice to 16 bits: of bytes
// given piece by piece, as they arrive or are read.
class ByteSum {
 public:
  void Add(const void* data, size_t size);
  FileSum Result() const;

 private:
  uint64_t total_ = 0;  // taken modulo 2^32 at the end: the same as a 32-bit sum that wraps
  uint64_t bytes_ = 0;
};

// The fold of a 32-bit byte sum to 16 bits.
inline unsigned FoldByteSum(uint32_t sum) {
  const uint32_t t = (sum >> 16) + (sum & 0xffff);
  return (t >> 16) + (t & 0xffff);
}

}  // namespace vornix
