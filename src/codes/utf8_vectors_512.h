// The widest path into UTF-8: the plain units of 64 bytes (ASCII, and pairs
// of rows 1-94 given by their JIS bytes) written from the forms table a
// vector at a time. Each byte gets four bytes of its own: a pair's first
// byte its form (gathered from the table), an ASCII byte itself, a pair's
// second byte nothing. A byte shuffle then packs each four by their lengths,
// and the output moves on by the sum, with no branch on the text; how far
// the input moves depends on the classes alone, never on a table load, so
// one step need not wait for the last one's forms. The writer's store_row
// stays the reference.
#pragma once

#include <cstdint>

#include "codes/pair_vectors_512.h"
#include "codes/utf8_forms.h"

namespace kotran {

#if defined(__SSE2__)

// The byte shuffle that packs four units of four bytes, and how many bytes
// they come to. Entry e holds the lengths (0-3) of units 0-3 in its bit
// pairs, unit 0 in the lowest.
struct Utf8Packs {
  alignas(16) uint8_t take[256][16];
  uint8_t length[256];
};

constexpr Utf8Packs make_utf8_packs() {
  Utf8Packs packs{};
  for (unsigned e = 0; e < 256; ++e) {
    unsigned at = 0;
    for (unsigned q = 0; q < 4; ++q)
      for (unsigned b = 0; b < (e >> 2 * q & 3); ++b) packs.take[e][at++] = static_cast<uint8_t>(4 * q + b);
    packs.length[e] = static_cast<uint8_t>(at);
    while (at < 16) packs.take[e][at++] = 0x80;
  }
  return packs;
}

inline constexpr Utf8Packs UTF8_PACKS = make_utf8_packs();

// U+FFFD's form, for a pair that has no character.
inline constexpr uint32_t REPLACEMENT_FORM = 0x03BDBFEF;

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

#endif

}  // namespace kotran
