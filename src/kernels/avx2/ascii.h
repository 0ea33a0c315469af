// The AVX2 kernels of ASCII runs: where the line ends lie among 32 bytes, and among 64.
#pragma once

#include "kernels/avx2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

KOTRAN_WIDE LineEndBytes line_end_bytes_wide(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  return {wide_mask(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0D))), wide_mask(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0A)))};
}

// As line_end_bytes_wide, for the 64 bytes at p (a carried block).
KOTRAN_WIDE LineEndBytes64 line_end_bytes_block_wide(const unsigned char* p) {
  const LineEndBytes low = line_end_bytes_wide(p);
  const LineEndBytes high = line_end_bytes_wide(p + 32);
  return {uint64_t{low.cr} | uint64_t{high.cr} << 32, uint64_t{low.lf} | uint64_t{high.lf} << 32};
}

}  // namespace kotran

#endif
