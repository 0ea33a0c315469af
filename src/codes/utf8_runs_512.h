// The widest path out of UTF-8: a run of up to sixteen characters of three
// bytes (kanji, kana, the CJK symbols) decoded a vector at a time, their JIS
// codes looked up in the Unicode table, and stored as pairs of the target.
// The run ends before the first character that is not of three bytes, is an
// overlong form, or has no code (a surrogate, a half-width katakana) or,
// into Shift-JIS, a code past row 84, whose lead bytes differ; the reader's
// take goes on from there. The take and the writer's store_row stay the
// reference.
#pragma once

#include <cstdint>

#include "codes/pair_vectors_512.h"
#include "codes/unicode_table.h"

namespace kotran {

#if defined(__SSE2__)

// The characters of a run: their JIS codes as EUC pairs (row byte first,
// each byte with its high bit set) in the low 32 bytes, and how many.
struct Utf8Run {
  __m512i euc;
  unsigned count;
};

// The run of three-byte characters at the first of the 64 bytes at p whose
// codes lie below row_limit (a JIS row byte); a count of 0 where the first
// character is not one.
KOTRAN_WIDEST Utf8Run utf8_run_widest(const unsigned char* p, unsigned row_limit) {
  // Lane l takes bytes 12l to 12l + 15, and each of its four dwords the three
  // bytes of a character, the first lowest, as the take reads them. (The
  // zero-masked forms: GCC 12 takes the others' undefined vector for an
  // uninitialized one.)
  const __m512i lanes = _mm512_maskz_permutexvar_epi32(
      0xFFFF, _mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12), widest_load(p));
  const __m512i x = _mm512_shuffle_epi8(
      lanes, _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)));
  const __mmask16 forms = _mm512_cmpeq_epi32_mask(_mm512_and_si512(x, _mm512_set1_epi32(0xC0C0F0)),
                                                  _mm512_set1_epi32(0x8080E0));
  const __m512i high = _mm512_maskz_slli_epi32(0xFFFF, _mm512_and_si512(x, _mm512_set1_epi32(0x0F)), 12);
  const __m512i middle = _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(x, _mm512_set1_epi32(0x3F00)), 2);
  const __m512i low = _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(x, _mm512_set1_epi32(0x3F0000)), 16);
  const __m512i u = _mm512_or_si512(_mm512_or_si512(high, middle), low);
  // (A surrogate or a half-width katakana has no code: the lookup ends the
  // run there.)
  const __mmask16 overlong = _mm512_cmplt_epu32_mask(u, _mm512_set1_epi32(0x800));
  const unsigned taken = forms & ~overlong;
  unsigned count = static_cast<unsigned>(_tzcnt_u32(~taken));  // taken has 16 bits
  if (count == 0) return {_mm512_setzero_si512(), 0};
  // The codes looked up one by one: a gather of sixteen costs more here.
  // Every lane's u is below 0x10000, so every lookup lies within the table.
  alignas(64) uint32_t chars[16];
  alignas(64) uint32_t codes[16];
  _mm512_store_si512(chars, u);
  for (unsigned i = 0; i < 16; ++i) codes[i] = unicode_tables::UNICODE_TO_JIS[chars[i]];
  const __m512i jis = _mm512_load_si512(codes);
  const __mmask16 run = static_cast<__mmask16>(_bzhi_u32(0xFFFF, count));
  // A branch, seldom taken, rather than a select: how far the input moves
  // then never waits for the lookups.
  const __mmask16 refused = _mm512_mask_cmpeq_epi32_mask(run, jis, _mm512_setzero_si512()) |
                            _mm512_mask_cmpge_epu32_mask(run, jis, _mm512_set1_epi32(static_cast<int>(row_limit << 8)));
  if (refused != 0) [[unlikely]] {
    asm volatile("");  // (keeps the compiler from making it a select)
    count = static_cast<unsigned>(_tzcnt_u32(refused));
  }
  // Row byte first: the code's bytes swapped, each with its high bit.
  const __m512i cells = _mm512_maskz_slli_epi32(0xFFFF, _mm512_and_si512(jis, _mm512_set1_epi32(0xFF)), 8);
  const __m512i swapped = _mm512_or_si512(_mm512_maskz_srli_epi32(0xFFFF, jis, 8), cells);
  // Each dword's low half kept in its place: the pairs fill the low 32 bytes.
  const __m512i pairs = _mm512_maskz_permutexvar_epi16(
      0xFFFF,
      _mm512_setr_epi32(0x20000, 0x60004, 0xA0008, 0xE000C, 0x120010, 0x160014, 0x1A0018, 0x1E001C, 0, 0, 0, 0, 0,
                        0, 0, 0),
      _mm512_or_si512(swapped, _mm512_set1_epi32(0x8080)));
  return {pairs, count};
}

#endif

}  // namespace kotran
