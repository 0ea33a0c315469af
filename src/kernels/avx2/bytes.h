// AVX2's tests of bytes against ranges, bit masks and byte moves across its two lanes.
#pragma once

#include <cstdint>

#include "kernels/avx2/target.h"

#if defined(__SSE2__)

namespace kotran {

// A vector the compiler cannot see through (of c in every byte), as
// widest_constant.
KOTRAN_WIDE __m256i wide_opaque(__m256i v) {
  asm("" : "+x"(v));
  return v;
}
KOTRAN_WIDE __m256i wide_constant(char c) { return wide_opaque(_mm256_set1_epi8(c)); }

// The wide path's classes of the same 32 bytes, in one AVX2 register.
KOTRAN_WIDE __m256i wide_at_most(__m256i x, unsigned char limit) {
  return _mm256_cmpeq_epi8(_mm256_subs_epu8(x, wide_constant(static_cast<char>(limit))), _mm256_setzero_si256());
}

// first <= x <= last for each unsigned byte (last - first below 255): x -
// first moved down by 0x80, so that the range starts at -128, against its
// end in one signed compare.
KOTRAN_WIDE __m256i wide_in_range(__m256i x, unsigned char first, unsigned char last) {
  const __m256i moved = _mm256_add_epi8(x, wide_constant(static_cast<char>(0x80 - first)));
  return _mm256_cmpgt_epi8(wide_constant(static_cast<char>(last - first - 127)), moved);
}

KOTRAN_WIDE uint32_t wide_mask(__m256i x) { return static_cast<uint32_t>(_mm256_movemask_epi8(x)); }

// Bit i the XOR of bits 0 to i of x: x times a word of ones, carry-less,
// in one multiply where six shifts and XORs would each wait for the last.
KOTRAN_WIDE uint64_t wide_prefix_xor(uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
  return static_cast<uint64_t>(_mm_cvtsi128_si64(product));
}

// Stores at at the two bytes of code (below 0x10000), its high byte first,
// in one MOVBE store: swapping them in a 16-bit register first costs a
// rotate that merges into the register's upper bits, and the lookups of
// UTF-8's codes store one a character. Every processor the AVX2 and
// AVX-512 paths run on has MOVBE (Intel's from Haswell, AMD's from
// Excavator); path_available checks it all the same.
KOTRAN_WIDE void store_high_byte_first(unsigned char* at, uint32_t code) {
  asm("movbe %w1, %0" : "=m"(*reinterpret_cast<unsigned char(*)[2]>(at)) : "r"(code));
}

// A byte mask (0xFF where bit i of bits is set) for the 32 bits of bits.
KOTRAN_WIDE __m256i wide_byte_mask(uint32_t bits) {
  // Byte k of the result looks at byte k / 8 of bits.
  const __m256i spread = _mm256_shuffle_epi8(
      _mm256_set1_epi32(static_cast<int>(bits)),
      wide_opaque(_mm256_setr_epi64x(0, 0x0101010101010101LL, 0x0202020202020202LL, 0x0303030303030303LL)));
  const __m256i select = wide_opaque(_mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL)));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, select), select);
}

// x one byte up (byte i + 1 takes byte i; byte 0 takes 0), across the two lanes.
KOTRAN_WIDE __m256i wide_byte_up(__m256i x) {
  return _mm256_alignr_epi8(x, _mm256_permute2x128_si256(x, x, 0x08), 15);
}

// x one byte up, byte 0 taking byte 31 of before.
KOTRAN_WIDE __m256i wide_byte_up(__m256i x, __m256i before) {
  return _mm256_alignr_epi8(x, _mm256_permute2x128_si256(before, x, 0x21), 15);
}

// x one byte down (byte i takes byte i + 1; byte 31 takes 0), across the two lanes.
KOTRAN_WIDE __m256i wide_byte_down(__m256i x) {
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(x, x, 0x81), x, 1);
}

}  // namespace kotran

#endif
