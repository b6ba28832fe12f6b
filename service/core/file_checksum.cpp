#include "service/core/file_checksum.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vornix {
namespace {

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

void ByteSum::Add(const void* data, size_t size) {
  total_ += SumBytes(static_cast<const unsigned char*>(data), size);
  bytes_ += size;
}

FileSum ByteSum::Result() const {
  return {FoldByteSum(static_cast<uint32_t>(total_)), bytes_};
}

}  // namespace vornix
