// VBMI2's designations of JIS runs: each byte of a block gets four bytes of
// its own, the designation that may come before it (its last byte in the
// third) and the byte itself in the fourth, and one compress each sixteen
// keeps a designation where a run begins, with no branch on the runs.
#pragma once

#include <cstdint>

#include "kernels/avx512bw/pairs.h"
#include "kernels/avx512vbmi2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

// Writes at o the units of group g (bytes 16g to 16g + 15) of the block:
// each byte where within marks it, after the designation of the run it
// begins where starts marks it (kanji's where pairs marks it).
template <unsigned g>
KOTRAN_COMPRESS void store_designated_group(unsigned char*& o, __m512i block, uint64_t pairs, uint64_t starts,
                                            uint64_t within, UnitDesignation kanji, UnitDesignation one_byte) {
  const __mmask16 pair_units = static_cast<__mmask16>(pairs >> 16 * g);
  const __m512i bytes = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, block, g));
  const __m512i designations = _mm512_mask_blend_epi32(pair_units, _mm512_set1_epi32(static_cast<int>(one_byte.bytes)),
                                                       _mm512_set1_epi32(static_cast<int>(kanji.bytes)));
  const __m512i units = _mm512_or_si512(_mm512_maskz_slli_epi32(0xFFFF, bytes, 24), designations);
  // Each unit's own byte where it is within the length, and its
  // designation's where a run begins.
  const __m512i own = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
  const __m512i designated = _mm512_mask_blend_epi32(
      pair_units, _mm512_set1_epi32(static_cast<int>(one_byte.kept | 0xFF000000u)),
      _mm512_set1_epi32(static_cast<int>(kanji.kept | 0xFF000000u)));
  const __m512i kept = _mm512_mask_blend_epi32(static_cast<__mmask16>(starts >> 16 * g),
                                               _mm512_maskz_mov_epi32(static_cast<__mmask16>(within >> 16 * g), own),
                                               designated);
  store_kept_compressed(o, units, _mm512_test_epi8_mask(kept, kept));
}

// Writes at o the first length bytes of the 64 at converted, each run
// after its designation: kanji before a run of the bytes that pairs marks,
// one_byte before a run of the others; the first run's too where first
// says so. Returns o past them; the stores reach 64 bytes past the last
// group's start, which is at most 48 + 3 * 32 bytes from o (a byte of
// one-byte text between pairs makes two runs of three bytes).
KOTRAN_COMPRESS unsigned char* store_designated_block_compressed(unsigned char* o, __m512i block, uint64_t pairs,
                                                                 unsigned length, bool first, UnitDesignation kanji,
                                                                 UnitDesignation one_byte) {
  const uint64_t within = _bzhi_u64(~uint64_t{0}, length);
  const uint64_t starts = (((pairs ^ pairs << 1) & ~uint64_t{1}) | uint64_t{first}) & within;
  store_designated_group<0>(o, block, pairs, starts, within, kanji, one_byte);
  store_designated_group<1>(o, block, pairs, starts, within, kanji, one_byte);
  store_designated_group<2>(o, block, pairs, starts, within, kanji, one_byte);
  store_designated_group<3>(o, block, pairs, starts, within, kanji, one_byte);
  return o;
}

KOTRAN_COMPRESS unsigned char* store_designated_runs_compressed(unsigned char* o, const unsigned char* converted,
                                                                uint64_t pairs, unsigned length, bool first,
                                                                UnitDesignation kanji, UnitDesignation one_byte) {
  return store_designated_block_compressed(o, _mm512_loadu_si512(converted), pairs, length, first, kanji, one_byte);
}

// Stores at o the 64 bytes of Shift-JIS at p whose units are u as JIS, a
// pair begun before them taking the first where carried says so, each run
// after its designation (as store_designated_runs_compressed, first saying
// whether the first run needs one); returns o past them.
KOTRAN_COMPRESS unsigned char* store_carried_sjis_as_jis_compressed(unsigned char* o, const unsigned char* p,
                                                                    PlainUnits u, uint64_t carried, bool first,
                                                                    UnitDesignation kanji, UnitDesignation one_byte) {
  const uint64_t pairs = u.leads | u.leads << 1 | carried;
  return store_designated_block_compressed(o, carried_sjis_pairs_widest(p, u, carried, 0), pairs, u.length, first,
                                           kanji, one_byte);
}

}  // namespace kotran

#endif
