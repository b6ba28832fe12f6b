#include "service/core/file_checksum.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/regular_file.h"

namespace vornix {
namespace {

// Large reads cost fewer system calls and copy faster out of the page cache (measured: 4 MiB
// beat 64 KiB, 1 MiB and 8 MiB); the result is the same as reading 64 KiB at a time.
constexpr size_t kReadChunk = 4 << 20;

struct FileDescriptor {
  explicit FileDescriptor(int value) : fd(value) {}
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  const int fd;
};

struct FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};

// The sum of the bytes of one chunk. The 32-bit sum wraps, so the 64-bit total taken modulo
// 2^32 is the same sum.
uint64_t SumBytes(const unsigned char* data, size_t n) {
  uint64_t total = 0;
  size_t i = 0;
#if defined(__SSE2__)
  // psadbw against zero adds 16 bytes into two 64-bit lanes at a time.
  const __m128i zero = _mm_setzero_si128();
  // Four independent accumulators keep the adds from waiting on each other.
  __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
  const auto* v = reinterpret_cast<const __m128i*>(data);
  for (; i + 64 <= n; i += 64, v += 4) {
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(_mm_loadu_si128(v), zero));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(_mm_loadu_si128(v + 1), zero));
    acc2 = _mm_add_epi64(acc2, _mm_sad_epu8(_mm_loadu_si128(v + 2), zero));
    acc3 = _mm_add_epi64(acc3, _mm_sad_epu8(_mm_loadu_si128(v + 3), zero));
  }
  const __m128i all = _mm_add_epi64(_mm_add_epi64(acc0, acc1), _mm_add_epi64(acc2, acc3));
  alignas(16) uint64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), all);
  total = lanes[0] + lanes[1];
#endif
  for (; i < n; ++i) total += data[i];
  return total;
}

}  // namespace

std::optional<FileSum> FileChecksum(const std::string& path) {
  // A FIFO in the file's place would block the service for ever: it counts as no file.
  const FileDescriptor file(OpenRegularFile(path));
  const int fd = file.fd;
  if (fd < 0) return std::nullopt;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  std::unique_ptr<unsigned char, FreeDeleter> buffer(
      static_cast<unsigned char*>(std::aligned_alloc(4096, kReadChunk)));
  if (!buffer) return std::nullopt;

  uint64_t total = 0;
  FileSum result;
  for (;;) {
    const ssize_t n = read(fd, buffer.get(), kReadChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    total += SumBytes(buffer.get(), static_cast<size_t>(n));
    result.bytes += static_cast<uint64_t>(n);
  }
  result.checksum = FoldByteSum(static_cast<uint32_t>(total));
  return result;
}

}  // namespace vornix
