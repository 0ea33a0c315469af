// The widest path into UTF-8: the plain units of 64 bytes (ASCII, and pairs
// of rows 1-94 given by their JIS bytes) written from the forms table a
// vector at a time. Each byte gets four bytes of its own, its length in the
// last: a pair's first byte its form (looked up in the table one pair at a
// time), an ASCII byte itself and a length of 1, a pair's second byte
// nothing. A byte shuffle then packs each four by their lengths (with
// compress, where the processor has VBMI2, one compress each sixteen, whose
// mask comes straight from the units), and the output moves on by the sum,
// with no branch on the text; how far the input moves depends on the
// classes alone, never on a table load, so one step need not wait for the
// last one's forms. The writer's store_row stays the reference. Each kernel
// that packs bytes takes compress, which the VBMI2 path sets.
//
// Out of UTF-8 into JIS: a run of up to sixteen characters of three
// bytes (kanji, kana, the CJK symbols) decoded a vector at a time, their JIS
// codes looked up in the Unicode table, and stored as pairs of the target.
// The run ends before the first character that is not of three bytes, is an
// overlong form, or has no code (a surrogate, a half-width katakana). Into
// Shift-JIS and EUC, whose one-byte text needs no designation, the run is
// mixed: the whole characters of one, two and three bytes of 64 bytes, as
// real text has them (ASCII words and Greek between kana and kanji), each
// pair stored where its first byte was and a three-byte form's third byte
// dropped; into Shift-JIS it ends before a code past row 84, whose lead
// bytes differ. The reader's take goes on from there. The take and the
// writer's store_row stay the reference.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "kernels/avx512bw/pairs.h"
#include "kernels/avx512vbmi2/utf8.h"
#include "kernels/utf8_packs.h"

#if defined(__SSE2__)

namespace kotran {

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

// Stores at at + 32h each of the 32 bytes of half h of jis as its place in
// the forms table, row * 94 + cell less the first's (its cell at the same
// place in cells; rows and cells counted from first).
template <unsigned h, unsigned first = 0x21>
KOTRAN_WIDEST void store_table_places_widest(uint16_t* at, __m512i jis, __m512i cells) {
  // (The zero-masked forms: GCC 12 takes the others' undefined vector for an
  // uninitialized one.)
  const __m512i rows = _mm512_maskz_cvtepu8_epi16(~0u, _mm512_maskz_extracti64x4_epi64(0xF, jis, h));
  const __m512i cell = _mm512_maskz_cvtepu8_epi16(~0u, _mm512_maskz_extracti64x4_epi64(0xF, cells, h));
  __m512i place = _mm512_add_epi16(_mm512_mullo_epi16(rows, widest_opaque(_mm512_set1_epi16(94))), cell);
  if constexpr (first != 0) place = _mm512_sub_epi16(place, widest_opaque(_mm512_set1_epi16(first * 94 + first)));
  _mm512_store_si512(at + 32 * h, place);
}

// Stores at units + 16g each of the 16 bytes of group g of jis in four
// bytes, a length of 1 in the last where starts marks it, else nothing.
template <unsigned g>
KOTRAN_WIDEST void store_byte_units_widest(uint32_t* units, __m512i jis, uint64_t starts) {
  const __m512i bytes = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, jis, g));
  _mm512_store_si512(units + 16 * g, _mm512_maskz_or_epi32(static_cast<__mmask16>(starts >> 16 * g), bytes,
                                                           widest_opaque(_mm512_set1_epi32(0x01000000))));
}

// Stores at units + i the form of the pair at the lowest bit i of m (its
// place in the table at at[i]; for none left, i is 64) and clears the bit.
KOTRAN_WIDEST void look_up_form_widest(uint64_t& m, const uint16_t* at, const Utf8Form* forms, uint32_t* units) {
  const size_t i = lowest_bit_at(m);
  m = _blsr_u64(m);
  std::memcpy(units + i, forms + at[i], 4);
}

// The forms of half-width katakana (U+FF61-U+FF9F, EF BD A1-BF and EF BE
// 80-9F, three bytes long) whose bytes (0xA1-0xDF) are the units of u,
// each with its length of 1.
KOTRAN_WIDEST __m512i half_width_kana_forms_widest(__m512i u) {
  const __m512i forms =
      _mm512_add_epi32(_mm512_maskz_slli_epi32(0xFFFF, u, 16), widest_opaque(_mm512_set1_epi32(0x0300BDEF)));
  // From 0xC0 on, EF BE and the byte less 0x40.
  return _mm512_mask_add_epi32(forms, _mm512_cmpge_epu32_mask(u, widest_opaque(_mm512_set1_epi32(0x010000C0))), forms,
                               widest_opaque(_mm512_set1_epi32(0x100 - 0x400000)));
}

// How many lookups a block into UTF-8 makes whatever it holds: as many
// pairs as 64 bytes of Japanese text hold, but for one block in ten or
// twenty. Of Shift-JIS or EUC, 24 (most blocks of the benchmark's text hold
// 19-23); of JIS, whose escapes and ASCII take room, 22 (most hold 14-20).
// Fewer leave more blocks to the branch after, more cost every block.
inline constexpr unsigned PAIR_BLOCK_PAIRS = 24;
inline constexpr unsigned JIS_BLOCK_PAIRS = 22;

// Stores at at (96 words) the place in the forms table of the pair that
// would begin at each of the 64 bytes of jis, row * 94 + cell less the
// first's (its cell at the same place in cells), and past them a pair of
// none.
KOTRAN_WIDEST void store_block_places_widest(uint16_t* at, __m512i jis, __m512i cells) {
  store_table_places_widest<0>(at, jis, cells);
  store_table_places_widest<1>(at, jis, cells);
  at[64] = 0;
}

// Stores in units (80 dwords) each of the 64 bytes of bytes as a unit of
// its own (of length 1 where starts marks it, else of none), and over
// those that leads marks the pair's form, from its place in at
// (store_block_places_widest). ahead is how many lookups are made whatever
// the block holds (see below).
template <unsigned ahead = JIS_BLOCK_PAIRS>
KOTRAN_WIDEST void look_up_pair_forms_widest(uint32_t* units, const uint16_t* at, __m512i bytes, uint64_t leads,
                                              const Utf8Form* forms, uint64_t starts) {
  store_byte_units_widest<0>(units, bytes, starts);
  store_byte_units_widest<1>(units, bytes, starts);
  store_byte_units_widest<2>(units, bytes, starts);
  store_byte_units_widest<3>(units, bytes, starts);
  // Each pair's form over its unit, one load a pair: a gather of sixteen
  // costs more. As many lookups as kanji text has pairs, whatever their
  // count, the ones with no pair left at 64: a loop would leave its branch
  // to guess each block's count. Written out: a count and a branch per
  // lookup cost as much as a third of it. A block with more pairs than
  // that takes the rest, up to the 32 a block can hold, behind one branch
  // (a loop's end was one more branch to guess).
  uint64_t m = leads;
#pragma GCC unroll 32
  for (unsigned k = 0; k < ahead; ++k) look_up_form_widest(m, at, forms, units);
  if (m != 0) [[unlikely]] {
#pragma GCC unroll 32
    for (unsigned k = ahead; k < 32; ++k) look_up_form_widest(m, at, forms, units);
  }
}

// Writes at o the units (look_up_pair_forms_widest), each as long as its
// last byte says, the pairs' forms where leads marks them and a half-width
// katakana's byte made its form where kana does, and returns how many
// pairs had no character (written as U+FFFD). o moves past what it wrote; without katakana no
// store reaches past 136 bytes from where o starts (with them, 208).
template <bool compress>
KOTRAN_WIDEST unsigned store_unit_groups_widest(unsigned char*& o, const uint32_t* units, uint64_t leads,
                                                uint64_t kana) {
  unsigned replaced = 0;
  for (unsigned g = 0; g < 4; ++g) {
    const __mmask16 pairs = static_cast<__mmask16>(leads >> 16 * g);
    const __mmask16 kana_units = static_cast<__mmask16>(kana >> 16 * g);
    __m512i u = _mm512_load_si512(units + 16 * g);
    const __mmask16 none = _mm512_mask_cmplt_epu32_mask(pairs, u, widest_opaque(_mm512_set1_epi32(0x01000000)));
    // (A branch, seldom taken: real text seldom holds a pair with no
    // character.)
    if (none != 0) [[unlikely]] {
      replaced += static_cast<unsigned>(__builtin_popcount(none));
      u = _mm512_mask_mov_epi32(u, none, widest_opaque(_mm512_set1_epi32(static_cast<int>(REPLACEMENT_FORM))));
    }
    // (A branch, seldom taken: a block of real text seldom holds a
    // half-width katakana, and their forms cost five vector operations a
    // group.)
    if (kana != 0) [[unlikely]]
      u = _mm512_mask_mov_epi32(u, kana_units, half_width_kana_forms_widest(u));
    // With compress, each group's store is 64 bytes, the last's too: a
    // masked store of the exact bytes cost Shift-JIS -> UTF-8 2-4 %.
    if constexpr (!compress)
      store_utf8_group(o, u, _mm512_maskz_srli_epi32(0xFFFF, u, 24));
    else
      store_utf8_group_compressed(o, u);
  }
  return replaced;
}

// Both at once: the units that starts marks among the 64 bytes of jis,
// written at o.
template <bool compress>
KOTRAN_WIDEST unsigned store_pairs_as_utf8_widest(unsigned char*& o, __m512i jis, __m512i cells, uint64_t leads,
                                                  uint64_t starts, const Utf8Form* forms, uint64_t kana = 0) {
  alignas(64) uint16_t at[64 + 32];
  store_block_places_widest(at, jis, cells);
  alignas(64) uint32_t units[64 + 16];
  look_up_pair_forms_widest(units, at, jis, leads, forms, starts);
  return store_unit_groups_widest<compress>(o, units, leads, kana);
}

// As store_pairs_as_utf8_widest, for the units of the first length bytes of
// jis, each pair's cell at its second byte.
template <bool compress>
KOTRAN_WIDEST unsigned store_units_as_utf8_widest(unsigned char*& o, __m512i jis, unsigned length, uint64_t leads,
                                                  const Utf8Form* forms) {
  leads = _bzhi_u64(leads, length);
  return store_pairs_as_utf8_widest<compress>(o, jis, widest_byte_down(jis), leads, _bzhi_u64(~(leads << 1), length),
                                              forms);
}

// The characters of a run: their JIS codes as EUC pairs (row byte first,
// each byte with its high bit set) in the low 32 bytes, and how many.
struct Utf8Run {
  __m512i euc;
  unsigned count;
};

// The run of three-byte characters at the first of the 64 bytes at p that
// have JIS codes; a count of 0 where the first character is not one.
KOTRAN_WIDEST Utf8Run utf8_run_widest(const unsigned char* p) {
  // Lane l takes bytes 12l to 12l + 15, and each of its four dwords the three
  // bytes of a character, the first lowest, as the take reads them. (The
  // zero-masked forms: GCC 12 takes the others' undefined vector for an
  // uninitialized one.)
  const __m512i lanes = _mm512_maskz_permutexvar_epi32(
      0xFFFF, widest_opaque(_mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12)), widest_load(p));
  const __m512i x = _mm512_shuffle_epi8(
      lanes, _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)));
  const __mmask16 forms = _mm512_cmpeq_epi32_mask(_mm512_and_si512(x, widest_opaque(_mm512_set1_epi32(0xC0C0F0))),
                                                  widest_opaque(_mm512_set1_epi32(0x8080E0)));
  const __m512i high = _mm512_maskz_slli_epi32(0xFFFF, _mm512_and_si512(x, widest_opaque(_mm512_set1_epi32(0x0F))), 12);
  const __m512i middle =
      _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(x, widest_opaque(_mm512_set1_epi32(0x3F00))), 2);
  const __m512i low =
      _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(x, widest_opaque(_mm512_set1_epi32(0x3F0000))), 16);
  const __m512i u = _mm512_or_si512(_mm512_or_si512(high, middle), low);
  // (A surrogate or a half-width katakana has no code: the lookup ends the
  // run there.)
  const __mmask16 overlong = _mm512_cmplt_epu32_mask(u, widest_opaque(_mm512_set1_epi32(0x800)));
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
  const __mmask16 refused = _mm512_mask_cmpeq_epi32_mask(run, jis, _mm512_setzero_si512());
  if (refused != 0) [[unlikely]] {
    asm volatile("");  // (keeps the compiler from making it a select)
    count = static_cast<unsigned>(_tzcnt_u32(refused));
  }
  // Row byte first: the code's bytes swapped, each with its high bit.
  const __m512i cells =
      _mm512_maskz_slli_epi32(0xFFFF, _mm512_and_si512(jis, widest_opaque(_mm512_set1_epi32(0xFF))), 8);
  const __m512i swapped = _mm512_or_si512(_mm512_maskz_srli_epi32(0xFFFF, jis, 8), cells);
  // Each dword's low half kept in its place: the pairs fill the low 32 bytes.
  const __m512i pairs = _mm512_maskz_permutexvar_epi16(
      0xFFFF,
      widest_opaque(_mm512_setr_epi32(0x20000, 0x60004, 0xA0008, 0xE000C, 0x120010, 0x160014, 0x1A0018, 0x1E001C, 0, 0,
                                      0, 0, 0, 0, 0, 0)),
      _mm512_or_si512(swapped, widest_opaque(_mm512_set1_epi32(0x8080))));
  return {pairs, count};
}

// Stores the plain units u of the 64 bytes of Shift-JIS at p in UTF-8 and
// moves o past them; returns how many pairs had no character.
template <bool compress>
KOTRAN_WIDEST unsigned store_sjis_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                       const Utf8Form* forms) {
  return store_units_as_utf8_widest<compress>(o, sjis_as_jis_widest(p, u.leads, 0), u.length, u.leads, forms);
}

// The same for EUC, whose pairs are JIS bytes with the high bit set.
template <bool compress>
KOTRAN_WIDEST unsigned store_euc_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                      const Utf8Form* forms) {
  const __m512i jis = _mm512_and_si512(widest_load(p), widest_constant(0x7F));
  return store_units_as_utf8_widest<compress>(o, jis, u.length, u.leads, forms);
}

// Stores the run of characters at the 64 bytes of UTF-8 at p as JIS pairs,
// and moves o past it; returns how many bytes it took (0 for none).
KOTRAN_WIDEST size_t store_utf8_run_as_jis_widest(unsigned char*& o, const unsigned char* p) {
  const Utf8Run run = utf8_run_widest(p);
  if (run.count == 0) return 0;
  const __m512i out = _mm512_and_si512(run.euc, widest_constant(0x7F));
  _mm512_mask_storeu_epi8(o, 0xFFFFFFFF, out);
  o += 2 * run.count;
  return 3 * run.count;
}

// Stores at points the code points of the characters of two and three
// bytes that begin at each of the 64 bytes x0 (x1 and x2 the bytes after
// them), as 16-bit units; three marks the forms of three bytes. Each unit's
// two bytes are made a byte to a byte (a shift of words, its bits from the
// next byte masked off), then interleaved.
KOTRAN_WIDEST void store_utf8_code_points_widest(uint16_t* points, __m512i x0, __m512i x1, __m512i x2,
                                                 uint64_t three) {
  // Each bit from the first operand where the mask (the third) has a 0,
  // from the second where it has a 1.
  constexpr int select = 0xD8;
  const __m512i low6 = widest_constant(0x3F);
  // Three bytes: 1110aaaa 10bbbbbb 10cccccc is aaaabbbb bbcccccc; two bytes:
  // 110aaaaa 10bbbbbb is 00000aaa aabbbbbb.
  const __m512i low = _mm512_mask_mov_epi8(_mm512_ternarylogic_epi32(_mm512_slli_epi16(x0, 6), x1, low6, select), three,
                                           _mm512_ternarylogic_epi32(_mm512_slli_epi16(x1, 6), x2, low6, select));
  const __m512i high = _mm512_mask_mov_epi8(
      _mm512_and_si512(_mm512_srli_epi16(x0, 2), widest_constant(0x07)), three,
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(x0, 4), _mm512_srli_epi16(x1, 2), widest_constant(0x0F), select));
  // The quarter words in the order 0, 4, 1, 5, 2, 6, 3, 7: interleaving
  // within each sixteen bytes then gives the units in order.
  const __m512i order = widest_opaque(_mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7));
  const __m512i l = _mm512_maskz_permutexvar_epi64(0xFF, order, low),
                h = _mm512_maskz_permutexvar_epi64(0xFF, order, high);
  _mm512_store_si512(points, _mm512_unpacklo_epi8(l, h));
  _mm512_store_si512(points + 32, _mm512_unpackhi_epi8(l, h));
}

// The first bytes of half-width katakana (U+FF61-U+FF9F: EF BD A1-BF,
// EF BE 80-9F) among 64 bytes x0 (x1 and x2 the bytes after them) whose
// third byte continues the character: each third byte is compared on one
// side only (EF BD C5 and EF BE 41 are marked too), which every caller
// leaves to the faults of the block or cuts before its whole characters
// end.
KOTRAN_WIDEST uint64_t half_width_kana_widest(__m512i x0, __m512i x1, __m512i x2) {
  const uint64_t ef = _mm512_cmpeq_epi8_mask(x0, widest_constant(static_cast<char>(0xEF)));
  return ef & ((_mm512_cmpeq_epi8_mask(x1, widest_constant(static_cast<char>(0xBD))) &
                _mm512_cmpge_epu8_mask(x2, widest_constant(static_cast<char>(0xA1)))) |
               (_mm512_cmpeq_epi8_mask(x1, widest_constant(static_cast<char>(0xBE))) &
                _mm512_cmplt_epu8_mask(x2, widest_constant(static_cast<char>(0xA0)))));
}

// A half-width katakana's byte (0xA1-0xDF), 0x40 past the low byte of its
// code point, from the second and third bytes of its UTF-8 form: the
// second's low two bits above the third's low six.
KOTRAN_WIDEST __m512i kana_bytes_widest(__m512i second, __m512i third) {
  // Each bit from the first operand where the mask (the third) has a 0,
  // from the second where it has a 1; a shift of words brings each byte's
  // low bits to its top, the bits below it from the byte before masked off.
  constexpr int select = 0xD8;
  return _mm512_add_epi8(_mm512_ternarylogic_epi32(_mm512_slli_epi16(second, 6), third, widest_constant(0x3F), select),
                         widest_constant(0x40));
}

// The 64 bytes x0 (x1 and x2 the bytes after them) in the target: ASCII as
// it is, each pair where codes has its code (leads marking the first bytes;
// into EUC the JIS code), each half-width katakana (kana) as the target's
// own, in place; dropped gets what is left out (each three-byte form's third
// byte, and into Shift-JIS a katakana's second).
template <RunPairs into>
KOTRAN_WIDEST __m512i utf8_block_out_widest(__m512i x0, __m512i x1, __m512i x2, __m512i codes, uint64_t leads,
                                            uint64_t kana, uint64_t lead3, uint64_t& dropped) {
  // (A katakana's byte at its second byte, into EUC, from x0 and x1.)
  dropped = lead3 << 2;
  if constexpr (into == RunPairs::sjis) {
    dropped |= kana << 1;
    return _mm512_mask_mov_epi8(codes, kana, kana_bytes_widest(x1, x2));
  } else {
    __m512i out = _mm512_mask_mov_epi8(codes, leads | leads << 1,
                                       _mm512_or_si512(codes, widest_constant(static_cast<char>(0x80))));
    out = _mm512_mask_mov_epi8(out, kana, widest_constant(static_cast<char>(SS2)));
    return _mm512_mask_mov_epi8(out, kana << 1, kana_bytes_widest(x0, x1));
  }
}

// Stores at codes + i the code in into (first byte first, into EUC the JIS
// code) of the character at points[i], i the lowest bit of m, and clears the
// bit; for none left, the code of points[64] at codes + 64.
template <RunPairs into>
KOTRAN_WIDEST void look_up_code_widest(uint64_t& m, const uint16_t* points, unsigned char* codes) {
  const size_t i = lowest_bit_at(m);
  m = _blsr_u64(m);
  store_high_byte_first(codes + i, PAIR_CODES<into>[points[i]]);
}

// 64 bytes of UTF-8 (x1 and x2 the bytes after them) and their classes: see
// utf8_whole_characters; kana the first bytes of half-width katakana
// (U+FF61-U+FF9F: EF BD A1-BF, EF BE 80-9F).
struct Utf8Block64 {
  __m512i x0, x1, x2;
  Utf8Bytes c;
  uint64_t kana;
};

KOTRAN_WIDEST Utf8Block64 utf8_block_widest(const unsigned char* p) {
  Utf8Block64 b;
  b.x0 = widest_load(p);
  b.x1 = widest_load(p + 1);
  b.x2 = widest_load(p + 2);
  const uint64_t overlong = _mm512_cmpeq_epi8_mask(b.x0, widest_constant(static_cast<char>(0xE0))) &
                            _mm512_cmplt_epu8_mask(b.x1, widest_constant(static_cast<char>(0xA0)));
  const uint64_t high = _mm512_movepi8_mask(b.x0);
  b.c = {~high, widest_in_range(b.x0, 0xC2, 0xDF), widest_in_range(b.x0, 0xE0, 0xEF) & ~overlong,
         _mm512_mask_cmplt_epu8_mask(high, b.x0, widest_constant(static_cast<char>(0xC0)))};
  b.kana = half_width_kana_widest(b.x0, b.x1, b.x2) & b.c.lead3;
  return b;
}

// Stores at points (65 words) the code points of the characters of two and
// three bytes that would begin at each of the 64 bytes of b, and past them
// a character of none: a lookup with no lead left looks it up and stores
// past the 64.
KOTRAN_WIDEST void store_block_points_widest(uint16_t* points, const Utf8Block64& b) {
  store_utf8_code_points_widest(points, b.x0, b.x1, b.x2, b.c.lead3);
  points[64] = 0;
}

// The codes in into of the characters at leads in codes (66 bytes; into
// EUC the JIS codes), their code points in points (store_block_points_widest),
// first byte first where each character's first byte
// was, the other bytes those of the block, and in the vector the first 64;
// returns those of leads with none (a surrogate, a half-width katakana, a C1
// control, or into Shift-JIS a user-defined character).
template <RunPairs into>
KOTRAN_WIDEST uint64_t utf8_codes_widest(const Utf8Block64& b, const uint16_t* points, uint64_t leads,
                                         unsigned char* codes, __m512i& vector) {
  _mm512_store_si512(codes, b.x0);
  // As many lookups as text of kanji and kana has leads, whatever their
  // count: a loop would leave its branch to guess each block's count.
  // Written out, UTF8_BLOCK_LEADS times.
  uint64_t m = leads;
#pragma GCC unroll 32
  for (unsigned k = 0; k < UTF8_BLOCK_LEADS; ++k) look_up_code_widest<into>(m, points, codes);
  while (m != 0) look_up_code_widest<into>(m, points, codes);
  // The second byte of a character begun at the last byte, which the
  // lookups with no lead left wrote over.
  codes[64] = static_cast<unsigned char>(PAIR_CODES<into>[points[63]]);
  vector = _mm512_load_si512(codes);
  // (No code has a first byte 0.)
  return leads & _mm512_testn_epi8_mask(vector, vector);
}

// Stores the whole characters of one, two and three bytes at the first
// length of the 64 bytes of UTF-8 at p (those of two and three bytes while
// PAIR_CODES has them) as ASCII and the pairs of into (Shift-JIS or EUC),
// with store_kana the half-width katakana as into's own, and moves o past
// them; returns how many bytes it took (0 for none). Reads 66 bytes at p;
// stores at most 64 at o.
template <RunPairs into, bool compress>
KOTRAN_WIDEST size_t store_utf8_mixed_widest(unsigned char*& o, const unsigned char* p, unsigned length,
                                             bool store_kana) {
  const Utf8Block64 b = utf8_block_widest(p);
  length = std::min(length, utf8_whole_characters(b.c));
  // Half-width katakana are stored as the target's one byte (0xA1-0xDF)
  // where they are not widened.
  uint64_t kana = store_kana ? _bzhi_u64(b.kana, length) : 0;
  uint64_t leads = _bzhi_u64((b.c.lead2 | b.c.lead3) & ~kana, length);
  if ((leads | kana) == 0) return 0;
  alignas(64) uint16_t points[64 + 32];
  store_block_points_widest(points, b);
  alignas(64) unsigned char codes[64 + 2];
  __m512i vector;
  const uint64_t refused = utf8_codes_widest<into>(b, points, leads, codes, vector);
  // The characters end before the first refused. A branch, seldom taken,
  // rather than a select: how far the input moves then never waits for the
  // lookups.
  if (refused != 0) [[unlikely]] {
    asm volatile("");  // (keeps the compiler from making it a select)
    length = static_cast<unsigned>(_tzcnt_u64(refused));
    leads = _bzhi_u64(leads, length);
    kana = _bzhi_u64(kana, length);
    if (length == 0) return 0;
  }
  uint64_t dropped;
  const __m512i out = utf8_block_out_widest<into>(b.x0, b.x1, b.x2, vector, leads, kana, b.c.lead3, dropped);
  store_kept_widest<compress>(o, out, _bzhi_u64(~dropped, length));
  return length;
}

// Stores the characters of blocks of 64 bytes of UTF-8 at p, one after
// another, as store_utf8_mixed_widest stores them, while each block is whole
// characters that the target has; returns how many bytes it took (0 for
// none), ending at a character's end. Each block's position is fixed, so
// that no load waits for the last block's classes or lookups: a character
// across the edge goes out in both, its first bytes from the block it
// begins in and the rest carried. The blocks end before a line end that
// stops. Reads 66 bytes at each block and stores at most 64 a block and 8
// past them.
template <RunPairs into, bool compress>
KOTRAN_WIDEST size_t store_utf8_blocks_widest(unsigned char*& o, const unsigned char* p, size_t blocks,
                                              bool store_kana, LineEndStops stops) {
  Utf8Carry carry;
  uint64_t cr_before = 0;
  // The output pointer in a local: o itself could be any byte a store
  // writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  Utf8Block64 next = utf8_block_widest(p);
  // Each block's code points are stored a block before they are looked up,
  // so that the loads that read them find their stores gone to the cache.
  alignas(64) uint16_t points[2][64 + 32];
  store_block_points_widest(points[0], next);
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    // The next block's bytes, classes and code points first: they wait on
    // nothing of this block's, and go on beside its lookups and stores.
    const Utf8Block64 b = next;
    // Whether the two bytes after the block continue a character, from
    // the next block's classes where it has them.
    uint64_t after;
    if (n + 1 < blocks) {
      next = utf8_block_widest(at + 64);
      store_block_points_widest(points[(n + 1) & 1], next);
      after = next.c.cont;
    } else {
      after = utf8_continuations_at(at + 64);
    }
    uint64_t bad = utf8_block_faults(b.c, carry.owned, after);
    if (stops != LineEndStops::none)
      bad |= line_end_stop_bits(_mm512_cmpeq_epi8_mask(b.x0, widest_constant(0x0D)),
                                _mm512_cmpeq_epi8_mask(b.x0, widest_constant(0x0A)), stops, cr_before, at[64]);
    if (bad != 0) break;
    const uint64_t kana = store_kana ? b.kana : 0;
    const uint64_t leads = (b.c.lead2 | b.c.lead3) & ~kana;
    alignas(64) unsigned char codes[64 + 2];
    __m512i vector;
    if (utf8_codes_widest<into>(b, points[n & 1], leads, codes, vector) != 0) [[unlikely]]
      break;
    uint64_t dropped;
    __m512i out = utf8_block_out_widest<into>(b.x0, b.x1, b.x2, vector, leads, kana, b.c.lead3, dropped);
    out = _mm512_mask_mov_epi8(out, carry.at, _mm512_set1_epi8(static_cast<char>(carry.byte)));
    store_kept_widest<compress>(to, out, ~(dropped | carry.dropped));
    carry = utf8_carry<into>(b.c.lead2, b.c.lead3, leads, kana, codes, at);
  }
  o = to;
  return utf8_blocks_end(o, p, n, carry, stops != LineEndStops::none);
}

// What a block of 64 bytes of Shift-JIS or EUC holds for UTF-8: the byte
// of each unit of one byte in bytes (EUC's half-width katakana the byte
// after SS2, at their units), the katakana (kana), the first bytes of units
// (starts), of pairs (pairs) and of what needs the byte after the block
// (last: a unit begun at the last byte), and what no block takes (bad).
struct PairBlock64 {
  __m512i bytes;
  uint64_t pairs, kana, starts, last, bad;
};

// The classes of the block of Shift-JIS (or EUC) at at.
template <bool euc>
KOTRAN_WIDEST PairClasses64<euc> pair_classes_widest(const unsigned char* at, bool store_kana) {
  if constexpr (euc) {
    const __m512i x0 = widest_load(at);
    const uint64_t ss2 = _mm512_cmpeq_epi8_mask(x0, widest_constant(static_cast<char>(SS2)));
    return {_mm512_movepi8_mask(x0), widest_in_range(x0, 0xA1, 0xFE), _mm512_cmpeq_epi8_mask(x0, widest_constant(0x1B)),
            store_kana ? ss2 & widest_in_range(widest_load(at + 1), 0xA1, 0xDF) : 0};
  } else {
    const __m512i x0 = widest_load(at);
    const __m512i x1 = widest_load(at + 1);
    const uint64_t lead = widest_in_range(x0, 0x81, 0x9F) | widest_in_range(x0, 0xE0, 0xFE);
    const uint64_t kana_bytes = store_kana ? widest_in_range(x0, 0xA1, 0xDF) : 0;
    const uint64_t trail = widest_in_range(x1, 0x40, 0x7E) | widest_in_range(x1, 0x80, 0xFC);
    return {lead, _mm512_movepi8_mask(x0) & ~lead & ~kana_bytes, widest_in_range(x0, 0xF0, 0xFE) | ~trail,
            kana_bytes};
  }
}

// The block of Shift-JIS at at (x0 its bytes, x1 the ones after them, c
// its classes), carried saying that its first byte ends a pair begun before
// it: ASCII, pairs of rows 1-94 and, where c has them, half-width katakana.
// (Its bytes alone are themselves, and the places give each pair's form:
// no JIS bytes are worked out.)
KOTRAN_WIDEST PairBlock64 pair_block_widest(const unsigned char*, __m512i x0, __m512i, uint64_t carried,
                                            const SjisUtf8Classes64& c) {
  const SjisBlockPairs b = sjis_utf8_block_pairs(c, carried);
  return {x0, b.leads, c.kana_bytes & ~b.trails, ~b.trails, b.leads, b.bad};
}

// The same for EUC: ASCII but ESC, pairs of rows 1-94 and half-width
// katakana after SS2 (each a pair's first byte, SS2, whose unit is the
// katakana's byte).
KOTRAN_WIDEST PairBlock64 pair_block_widest(const unsigned char* at, __m512i x0, __m512i x1, uint64_t carried,
                                            const EucClasses64& c) {
  const EucBlockPairs b = euc_block_pairs(c.high, c.euc, c.esc, c.ss2_kana, carried, at[64]);
  const __m512i low7 = widest_constant(0x7F);
  return {_mm512_mask_mov_epi8(_mm512_and_si512(x0, low7), b.kana, x1), b.leads & ~b.kana, b.kana,
          ~(b.trails | carried), b.leads, b.bad};
}

// The places (store_block_places_widest) of the pairs that would begin at
// each of the 64 bytes of Shift-JIS (or EUC) at at, stored at places.
template <bool euc>
KOTRAN_WIDEST void store_pair_places_widest(uint16_t* places, const unsigned char* at) {
  const __m512i x0 = widest_load(at);
  const __m512i x1 = widest_load(at + 1);
  if constexpr (euc) {
    const __m512i low7 = widest_constant(0x7F);
    store_block_places_widest(places, _mm512_and_si512(x0, low7), _mm512_and_si512(x1, low7));
  } else {
    // With no JIS bytes worked out: a first byte's two rows are 188 places
    // of the table in a row, which its second byte's 188 values index in
    // order. A pair's place is twice its first byte's (0x81-0x9F and
    // 0xE0-0xEF as 0-46) times 94, and its second byte's (0x40-0x7E and
    // 0x80-0xFC as 0-187).
    __m512i lead_at = _mm512_sub_epi8(x0, widest_constant(static_cast<char>(0x81)));
    lead_at = _mm512_mask_sub_epi8(lead_at, _mm512_cmpgt_epu8_mask(x0, widest_constant(static_cast<char>(0xDF))),
                                   lead_at, widest_constant(0x40));
    const __m512i rows = _mm512_add_epi8(lead_at, lead_at);
    __m512i cells = _mm512_sub_epi8(x1, widest_constant(0x40));
    cells = _mm512_mask_sub_epi8(cells, _mm512_movepi8_mask(x1), cells, widest_constant(1));
    store_table_places_widest<0, 0>(places, rows, cells);
    store_table_places_widest<1, 0>(places, rows, cells);
    places[64] = 0;
  }
}

// Shift-JIS text (or EUC) in blocks of 64 bytes into UTF-8 (from the forms
// table, those with none counted in replaced), one after another, while
// each block is what pair_block_widest takes; returns how many bytes it took (0 for none). Each block's position
// is fixed: a pair across its edge goes out whole from the block it begins
// in, and the next block starts after its second byte. The blocks end
// before a line end that stops. Reads 65 bytes at each block; stores at
// most 192 a block and 16 past them.
template <bool euc, bool compress>
KOTRAN_WIDEST size_t store_pair_blocks_as_utf8_widest(unsigned char*& o, const unsigned char* p, size_t blocks,
                                                      bool store_kana, LineEndStops stops, const Utf8Form* forms,
                                                      uint64_t& replaced) {
  uint64_t carried = 0, cr_before = 0;
  // The output pointer and the count in locals: either could be any byte a
  // store writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  uint64_t none = 0;
  PairClasses64<euc> next = pair_classes_widest<euc>(p, store_kana);
  // Each block's forms are stored a block later, so that the vectors that
  // read them back find their stores gone to the cache; the places of its
  // pairs in the table are stored a block before, for the same reason.
  alignas(64) uint32_t units[2][64 + 16];
  alignas(64) uint16_t places[2][64 + 32];
  store_pair_places_widest<euc>(places[0], p);
  uint64_t held_leads = 0, held_kana = 0;
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    // The next block's classes and places first: they wait on nothing of
    // this block's, and go on beside its pairs, which wait on the pair
    // carried.
    const PairClasses64<euc> classes = next;
    if (n + 1 < blocks) {
      next = pair_classes_widest<euc>(at + 64, store_kana);
      store_pair_places_widest<euc>(places[(n + 1) & 1], at + 64);
    }
    const __m512i x0 = widest_load(at);
    const __m512i x1 = widest_load(at + 1);
    const PairBlock64 b = pair_block_widest(at, x0, x1, carried, classes);
    uint64_t bad = b.bad;
    if (stops != LineEndStops::none)
      bad |= line_end_stop_bits(_mm512_cmpeq_epi8_mask(x0, widest_constant(0x0D)),
                                _mm512_cmpeq_epi8_mask(x0, widest_constant(0x0A)), stops, cr_before, at[64]);
    if (bad != 0) break;
    look_up_pair_forms_widest<PAIR_BLOCK_PAIRS>(units[n & 1], places[n & 1], b.bytes, b.pairs, forms, b.starts);
    if (n != 0) none += store_unit_groups_widest<compress>(to, units[(n - 1) & 1], held_leads, held_kana);
    held_leads = b.pairs;
    held_kana = b.kana;
    carried = b.last >> 63;
  }
  if (n != 0) none += store_unit_groups_widest<compress>(to, units[(n - 1) & 1], held_leads, held_kana);
  replaced += none;
  o = to;
  return pair_blocks_end(o, p, n, carried, stops != LineEndStops::none);
}

// The classes of the block of JIS at at, as store_jis_blocks_widest takes
// them, into UTF-8 or not (see there); its line ends that stop (first: the
// first block, whose first byte has no predecessor that counts) among the
// stray bytes, which end the blocks wherever they lie.
KOTRAN_WIDEST JisBytes jis_bytes_widest(const unsigned char* at, bool first, LineEndStops stops, bool into_utf8) {
  const __m512i x0 = widest_load(at);
  const __m512i x1 = widest_load(at + 1);
  const __m512i x2 = widest_load(at + 2);
  const uint64_t esc = _mm512_cmpeq_epi8_mask(x0, widest_constant(0x1B));
  const uint64_t third_b = _mm512_cmpeq_epi8_mask(x2, widest_constant('B'));
  const uint64_t kanji_in = esc & _mm512_cmpeq_epi8_mask(x1, widest_constant('$')) &
                            (third_b | _mm512_cmpeq_epi8_mask(x2, widest_constant('@')));
  const uint64_t one_byte = esc & ((_mm512_cmpeq_epi8_mask(x1, widest_constant('(')) &
                                    (third_b | _mm512_cmpeq_epi8_mask(x2, widest_constant('J')))) |
                                   (_mm512_cmpeq_epi8_mask(x1, widest_constant('*')) & third_b));
  uint64_t stray = _mm512_movepi8_mask(x0) | (esc & ~(kanji_in | one_byte));
  if (stops == LineEndStops::lone_lf) {
    const __m512i before = first ? widest_byte_up(x0) : widest_load(at - 1);
    stray |= _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(x0, widest_constant(0x0A)), before,
                                          widest_constant(0x0D));
  } else if (stops == LineEndStops::cr_lf) {
    stray |= _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(x0, widest_constant(0x0D)), x1, widest_constant(0x0A));
  }
  return {esc,
          // (Into UTF-8, whose stores keep the vector ports busy, the shifts
          // measured faster than the multiply.)
          into_utf8 ? prefix_xor(esc) : wide_prefix_xor(esc),
          kanji_in,
          widest_in_range(x0, 0x21, 0x7E),
          _mm512_cmpge_epu8_mask(x0, widest_constant(0x75)),
          stray,
          at[64] - 0x21u < 0x5Eu};
}

// The katakana designations and bytes of the block of JIS at at.
KOTRAN_WIDEST JisKanaBytes jis_kana_bytes_widest(const unsigned char* at) {
  const __m512i x0 = widest_load(at);
  return {_mm512_cmpeq_epi8_mask(x0, widest_constant(0x1B)) &
              _mm512_cmpeq_epi8_mask(widest_load(at + 1), widest_constant('(')) &
              _mm512_cmpeq_epi8_mask(widest_load(at + 2), widest_constant('I')),
          widest_in_range(x0, 0x21, 0x5F)};
}

// JIS text in blocks of 64 bytes into Shift-JIS (rows 1-84), EUC or UTF-8
// (from the forms table, those with none counted in replaced), one after
// another, while each block is one-byte text (below 0x80),
// kanji text (pairs of bytes 0x21-0x7E), with take_kana katakana text
// (bytes 0x21-0x5F), and the escape sequences that switch between them
// (ESC $ B, ESC $ @; ESC ( I; ESC ( B, ESC ( J, ESC * B): the pairs and
// the katakana converted in place, the escape sequences dropped, as the
// reader's fast run stores them. Which bytes are kanji text, and which
// katakana, comes from the escapes in one go (jis_kanji_text). Each block's
// position is fixed: a pair or an escape sequence across its edge goes out
// in both, and the kind of text goes on (a block whose katakana text runs
// on past it is the last, carry.kana set).
// Starts in kanji text where carry says so; returns how many bytes it took
// (0 for none), carry what follows them. Reads 66 bytes at each block and
// the byte before p; stores at most 64 a block and 8 past them (into UTF-8,
// 96 and 40).
template <JisBlocksInto into, bool compress>
KOTRAN_WIDEST size_t store_jis_blocks_widest(unsigned char*& o, const unsigned char* p, size_t blocks,
                                             LineEndStops stops, JisCarry& carry, bool take_kana,
                                             const Utf8Form* forms, uint64_t& replaced) {
  // The output pointer and the count in locals: either could be any byte a
  // store writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  uint64_t none = 0;
  constexpr bool into_utf8 = into == JisBlocksInto::utf8;
  JisBytes next = jis_bytes_widest(p, true, stops, into_utf8);
  // Into UTF-8, each block's forms are stored a block later and the
  // places of its pairs a block before (as store_pair_blocks_as_utf8_widest
  // stores them).
  alignas(64) uint32_t units[into_utf8 ? 2 : 1][into_utf8 ? 64 + 16 : 1];
  alignas(64) uint16_t places[into_utf8 ? 2 : 1][into_utf8 ? 64 + 32 : 1];
  if constexpr (into_utf8) store_block_places_widest(places[0], widest_load(p), widest_load(p + 1));
  uint64_t held_leads = 0, held_kana = 0;
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    const JisBytes bytes = next;
    // The next block's classes (and places) first: they wait on nothing of
    // this block's, and go on beside its pairs, which wait on what the last
    // block carried.
    if (n + 1 < blocks) {
      next = jis_bytes_widest(at + 64, false, stops, into_utf8);
      if constexpr (into_utf8)
        store_block_places_widest(places[(n + 1) & 1], widest_load(at + 64), widest_load(at + 65));
    }
    const __m512i bytes_at = widest_load(at);
    const uint64_t esc = bytes.esc;
    JisBlockUnits u = jis_block_units<false>(bytes, carry, into == JisBlocksInto::sjis);
    if (u.bad != 0) [[unlikely]] {
      // Katakana text (an ESC ( I is stray to the test above), or what
      // ends the blocks.
      if (!take_kana) break;
      const JisKanaBytes k = jis_kana_bytes_widest(at);
      JisBytes with_kana = bytes;
      with_kana.stray &= ~k.kana_in;
      u = jis_block_units<true>(with_kana, carry, into == JisBlocksInto::sjis, k);
      if (u.bad != 0) break;
    }
    // Katakana text's bytes with their high bit set: the half-width
    // katakana of Shift-JIS, and the bytes of half_width_kana_forms_widest.
    const __m512i x0 = _mm512_mask_mov_epi8(bytes_at, u.kana,
                                            _mm512_or_si512(bytes_at, widest_constant(static_cast<char>(0x80))));
    const uint64_t trails = u.leads << 1 | carry.trail;
    if constexpr (into == JisBlocksInto::utf8) {
      // A pair goes out whole from its first byte, its cell the byte after.
      look_up_pair_forms_widest<JIS_BLOCK_PAIRS>(units[n & 1], places[n & 1], x0, u.leads, forms,
                                                 ~(u.escapes | trails));
      if (n != 0)
        none += store_unit_groups_widest<compress>(to, units[(n - 1) & 1], held_leads, held_kana);
      held_leads = u.leads;
      held_kana = u.kana;
    } else if constexpr (into == JisBlocksInto::sjis) {
      const __m512i before = _mm512_maskz_loadu_epi8(~uint64_t{0} << (carry.trail ^ 1), at - 1);
      store_kept_widest<compress>(to, euc_pairs_as_sjis_widest<compress>(x0, before, u.leads, trails), ~u.escapes);
    } else {
      store_kept_widest<compress>(
          to, _mm512_mask_mov_epi8(x0, u.leads | trails, _mm512_or_si512(x0, widest_constant(static_cast<char>(0x80)))),
          ~u.escapes);
    }
    carry = jis_carry_after(u, esc);
    // Katakana text that runs on past the block (carry.kana): the blocks
    // end with it, and the reader takes the text on until it leaves
    // katakana.
    if (u.kana_after) [[unlikely]] {
      ++n;
      break;
    }
  }
  if constexpr (into_utf8)
    if (n != 0) none += store_unit_groups_widest<compress>(to, units[(n - 1) & 1], held_leads, held_kana);
  replaced += none;
  o = to;
  return jis_blocks_end(o, p, n, carry, into, stops != LineEndStops::none);
}

}  // namespace kotran

#endif
