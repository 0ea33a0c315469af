// AVX-512 BW's loads, tests of bytes against ranges as mask bits, byte moves
// across its four lanes, and the store of the bytes a mask keeps.
#pragma once

#include <cstdint>
#include <cstring>

#include "kernels/avx2/bytes.h"
#include "kernels/avx512bw/target.h"
#include "kernels/avx512vbmi2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

// The count of the 64 bytes up to the first bad one, and the pairs begun
// before it; without a branch, whose way would follow the text.
KOTRAN_WIDEST PlainUnits units_before_64(uint64_t bad, uint64_t leads) {
  const unsigned length = static_cast<unsigned>(_tzcnt_u64(bad));  // 64 for none
  return {length, _bzhi_u64(leads, length)};
}

// The place of the lowest set bit of m (64 for none), by TZCNT alone. GCC
// clears the register first for the processors whose TZCNT waits on its
// destination's old value (Intel's before Skylake); none that has AVX-512
// does, and the lookups into and out of UTF-8 take one a character: UTF-8
// -> Shift-JIS and -> EUC 1.01-1.02 times as fast without the clearing.
KOTRAN_WIDEST size_t lowest_bit_at(uint64_t m) {
  size_t i;
  asm("tzcnt %1, %0" : "=r"(i) : "r"(m));
  return i;
}

// The count of the 64 bytes before the first set bit: 64 for none.
KOTRAN_WIDEST unsigned bits_before_first(uint64_t bits) { return static_cast<unsigned>(lowest_bit_at(bits)); }

KOTRAN_WIDEST __m512i widest_load(const unsigned char* p) { return _mm512_loadu_si512(p); }

// A vector the compiler cannot see through (of c in every byte): GCC
// takes a broadcast of a constant for free and makes it again where it is
// used, so a loop over whole blocks broadcast each of its constants anew
// every block, two operations each; made opaque, the broadcast is one more
// value the loop keeps in a register.
KOTRAN_WIDEST __m512i widest_opaque(__m512i v) {
  asm("" : "+v"(v));
  return v;
}
KOTRAN_WIDEST __m512i widest_constant(char c) { return widest_opaque(_mm512_set1_epi8(c)); }

// first <= x <= last for each unsigned byte, as bits.
KOTRAN_WIDEST uint64_t widest_in_range(__m512i x, unsigned char first, unsigned char last) {
  return _mm512_cmple_epu8_mask(_mm512_sub_epi8(x, widest_constant(static_cast<char>(first))),
                                widest_constant(static_cast<char>(last - first)));
}

// x one byte up (byte i + 1 takes byte i; byte 0 takes 0), across the lanes.
KOTRAN_WIDEST __m512i widest_byte_up(__m512i x) {
  const __m512i lower_lanes = _mm512_maskz_shuffle_i64x2(0xFC, x, x, _MM_SHUFFLE(2, 1, 0, 0));
  return _mm512_alignr_epi8(x, lower_lanes, 15);
}

// x one byte down (byte i takes byte i + 1; byte 63 takes 0), across the lanes.
KOTRAN_WIDEST __m512i widest_byte_down(__m512i x) {
  const __m512i upper_lanes = _mm512_maskz_shuffle_i64x2(0x3F, x, x, _MM_SHUFFLE(3, 3, 2, 1));
  return _mm512_alignr_epi8(upper_lanes, x, 1);
}

// Stores at o the bytes of v whose bits are set in kept, packed, and moves
// o past them: eight bytes at a time, each store eight bytes, or with
// compress (where the processor has VBMI2) all at once. Neither store
// reaches past 64 bytes from o.
template <bool compress>
KOTRAN_WIDEST void store_kept_widest(unsigned char*& o, __m512i v, uint64_t kept) {
  if constexpr (compress) return store_kept_compressed(o, v, kept);
  alignas(64) unsigned char bytes[64];
  alignas(64) unsigned char masks[64];
  _mm512_store_si512(bytes, v);
  _mm512_store_si512(masks, _mm512_movm_epi8(kept));
  for (unsigned k = 0; k < 8; ++k) {
    uint64_t q, mask;
    std::memcpy(&q, bytes + 8 * k, 8);
    std::memcpy(&mask, masks + 8 * k, 8);
    q = _pext_u64(q, mask);
    std::memcpy(o, &q, 8);
    o += __builtin_popcountll(mask) >> 3;
  }
}

}  // namespace kotran

#endif
