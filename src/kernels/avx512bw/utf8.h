// The widest path into UTF-8: the plain units of 64 bytes (ASCII, and pairs
// of rows 1-94 given by their JIS bytes) written from the forms table a
// vector at a time. Each byte gets four bytes of its own: a pair's first
// byte its form (gathered from the table), an ASCII byte itself, a pair's
// second byte nothing. A byte shuffle then packs each four by their lengths,
// and the output moves on by the sum, with no branch on the text; how far
// the input moves depends on the classes alone, never on a table load, so
// one step need not wait for the last one's forms. The writer's store_row
// stays the reference.
//
// Out of UTF-8: a run of up to sixteen characters of three
// bytes (kanji, kana, the CJK symbols) decoded a vector at a time, their JIS
// codes looked up in the Unicode table, and stored as pairs of the target.
// The run ends before the first character that is not of three bytes, is an
// overlong form, or has no code (a surrogate, a half-width katakana) or,
// into Shift-JIS, a code past row 84, whose lead bytes differ; the reader's
// take goes on from there. The take and the writer's store_row stay the
// reference.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "kernels/avx512bw/pairs.h"
#include "kernels/utf8_packs.h"

#if defined(__SSE2__)

namespace kotran {

// The sixteen units of group g of the 64 bytes, in four bytes each, and
// their lengths: a pair's form from the table at its first byte (U+FFFD's
// where it has none, counted in replaced), an ASCII byte as it is, nothing
// for a pair's second byte or a byte past the units.
template <unsigned g>
KOTRAN_WIDEST __m512i utf8_units_widest(__m512i jis, __m512i cells, uint64_t starts, uint64_t leads,
                                        const Utf8Form* forms, __m512i& lengths, unsigned& replaced) {
  const __mmask16 pairs = static_cast<__mmask16>(leads >> 16 * g);
  // (The zero-masked forms: GCC 12 takes the others' undefined vector for an
  // uninitialized one.)
  const __m512i rows = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, jis, g));
  const __m512i cell = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, cells, g));
  const __m512i at = _mm512_sub_epi32(_mm512_add_epi32(_mm512_mullo_epi32(rows, _mm512_set1_epi32(94)), cell),
                                      _mm512_set1_epi32(0x21 * 94 + 0x21));
  __m512i units = _mm512_mask_i32gather_epi32(rows, pairs, at, forms, sizeof(Utf8Form));
  const __mmask16 none = _mm512_mask_cmplt_epu32_mask(pairs, units, _mm512_set1_epi32(0x01000000));
  replaced += static_cast<unsigned>(__builtin_popcount(none));
  units = _mm512_mask_mov_epi32(units, none, _mm512_set1_epi32(static_cast<int>(REPLACEMENT_FORM)));
  lengths = _mm512_mask_srli_epi32(_mm512_maskz_mov_epi32(static_cast<__mmask16>(starts >> 16 * g), _mm512_set1_epi32(1)),
                                   pairs, units, 24);
  return units;
}

// Writes at o the four units of lane q (their lengths in the bit pairs of
// e) and moves o past them.
template <unsigned q>
KOTRAN_WIDEST void store_utf8_lane(unsigned char*& o, __m512i units, unsigned e) {
  const __m128i take = _mm_load_si128(reinterpret_cast<const __m128i*>(UTF8_PACKS.take[e]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(_mm512_maskz_extracti32x4_epi32(0xF, units, q), take));
  o += UTF8_PACKS.length[e];
}

// Writes at o the sixteen units of a group, by their lengths, and moves o past them.
KOTRAN_WIDEST void store_utf8_group(unsigned char*& o, __m512i units, __m512i lengths) {
  const __m128i each = _mm512_maskz_cvtepi32_epi8(0xFFFF, lengths);
  const uint64_t low = static_cast<uint64_t>(_mm_cvtsi128_si64(each));
  const uint64_t high = static_cast<uint64_t>(_mm_extract_epi64(each, 1));
  constexpr uint64_t BIT_PAIRS = 0x0303030303030303ULL;
  const unsigned first = static_cast<unsigned>(_pext_u64(low, BIT_PAIRS));
  const unsigned second = static_cast<unsigned>(_pext_u64(high, BIT_PAIRS));
  store_utf8_lane<0>(o, units, first & 0xFF);
  store_utf8_lane<1>(o, units, first >> 8);
  store_utf8_lane<2>(o, units, second & 0xFF);
  store_utf8_lane<3>(o, units, second >> 8);
}

// Writes at o the units of the first length bytes of jis (each pair's row at
// its first byte and its cell at its second, leads marking the first bytes;
// any other byte ASCII) and returns how many pairs had no character (written
// as U+FFFD). o moves past what it wrote; no store reaches past 112 bytes
// from where o starts.
KOTRAN_WIDEST unsigned store_units_as_utf8_widest(unsigned char*& o, __m512i jis, unsigned length, uint64_t leads,
                                                  const Utf8Form* forms) {
  const __m512i cells = widest_byte_down(jis);
  leads = _bzhi_u64(leads, length);
  const uint64_t starts = _bzhi_u64(~(leads << 1), length);
  unsigned replaced = 0;
  __m512i lengths[4];
  const __m512i units[4] = {
      utf8_units_widest<0>(jis, cells, starts, leads, forms, lengths[0], replaced),
      utf8_units_widest<1>(jis, cells, starts, leads, forms, lengths[1], replaced),
      utf8_units_widest<2>(jis, cells, starts, leads, forms, lengths[2], replaced),
      utf8_units_widest<3>(jis, cells, starts, leads, forms, lengths[3], replaced),
  };
  for (unsigned g = 0; g < 4; ++g) store_utf8_group(o, units[g], lengths[g]);
  return replaced;
}

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

// Stores the plain units u of the 64 bytes of Shift-JIS at p in UTF-8 and
// moves o past them; returns how many pairs had no character.
KOTRAN_WIDEST unsigned store_sjis_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                       const Utf8Form* forms) {
  return store_units_as_utf8_widest(o, sjis_as_jis_widest(p, u.leads, 0), u.length, u.leads, forms);
}

// The same for EUC, whose pairs are JIS bytes with the high bit set.
KOTRAN_WIDEST unsigned store_euc_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                      const Utf8Form* forms) {
  const __m512i jis = _mm512_and_si512(widest_load(p), _mm512_set1_epi8(0x7F));
  return store_units_as_utf8_widest(o, jis, u.length, u.leads, forms);
}

// Stores the run of characters at the 64 bytes of UTF-8 at p (codes below
// row_limit) as the pairs of into, and moves o past it; returns how many
// bytes it took (0 for none).
template <RunPairs into>
KOTRAN_WIDEST size_t store_utf8_run_widest(unsigned char*& o, const unsigned char* p, unsigned row_limit) {
  const Utf8Run run = utf8_run_widest(p, row_limit);
  if (run.count == 0) return 0;
  __m512i out = run.euc;
  if constexpr (into == RunPairs::sjis)
    out = euc_as_sjis_widest(run.euc, 0x55555555);
  else if constexpr (into == RunPairs::jis)
    out = _mm512_and_si512(run.euc, _mm512_set1_epi8(0x7F));
  _mm512_mask_storeu_epi8(o, 0xFFFFFFFF, out);
  o += 2 * run.count;
  return 3 * run.count;
}

}  // namespace kotran

#endif
