// SSE2's tests of bytes against ranges, and bit masks spread to bytes.
#pragma once

#include <cstdint>

#include "kernels/sse2/target.h"

#if defined(__SSE2__)

namespace kotran {

// x <= limit for each unsigned byte: 0xFF where it holds.
KOTRAN_HOT __m128i at_most(__m128i x, unsigned char limit) {
  return _mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(static_cast<char>(limit))), _mm_setzero_si128());
}

// Bit i set where p[i] is c, for the 16 bytes at p.
KOTRAN_HOT unsigned equal_mask(const unsigned char* p, unsigned char c) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)))));
}

// first <= x <= last for each unsigned byte.
KOTRAN_HOT __m128i in_range(__m128i x, unsigned char first, unsigned char last) {
  return at_most(_mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(first))), static_cast<unsigned char>(last - first));
}

// A byte mask (0xFF where bit i of bits is set) for the 16 bits of bits.
KOTRAN_HOT __m128i byte_mask(unsigned bits) {
  const uint64_t low = 0x0101010101010101ULL * (bits & 0xFF);
  const uint64_t high = 0x0101010101010101ULL * ((bits >> 8) & 0xFF);
  const __m128i spread = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
  const __m128i select = _mm_set_epi64x(static_cast<long long>(0x8040201008040201ULL),
                                        static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
}

}  // namespace kotran

#endif
