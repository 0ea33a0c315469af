// The AVX2 path into UTF-8: the units of 64 bytes (ASCII, half-width
// katakana, and pairs of rows 1-94 given by their JIS bytes) written one
// after another, each its form from the table in one load (a pair's by its
// row and cell, a byte alone's from the entries after the rows), stored
// whole at the output, which moves on by the form's length. The places in
// the table are worked out a register at a time. Without a byte compress,
// this costs fewer operations than gathering each byte's form into four
// bytes of a register and packing them by their lengths with shuffles. The
// writer's store_row stays the reference.
//
// Out of UTF-8 into JIS: a run of up to sixteen characters of three bytes
// (kanji, kana, the CJK symbols) decoded eight at a time, their JIS codes
// looked up in the Unicode table, and stored as pairs of the target. The run
// ends before the first character that is not of three bytes, is an overlong
// form, or has no code (a surrogate, a half-width katakana). Into Shift-JIS
// and EUC the run is mixed, as on the widest path: the whole characters of
// one, two and three bytes of 64 bytes, into Shift-JIS up to a code past
// row 84, whose lead bytes differ. The reader's take goes on from there. The
// take and the writer's store_row stay the reference.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "kernels/avx2/pairs.h"
#include "kernels/utf8_packs.h"

#if defined(__SSE2__)

namespace kotran {

// Stores at at the 32 words low + 94 * high of the bytes of low and high,
// by one multiply-add of bytes: the unpacks take bytes 0-7 and 16-23, 8-15
// and 24-31, put back in order by the lanes' swap.
KOTRAN_WIDE void store_table_places_wide(uint16_t* at, __m256i low, __m256i high) {
  const __m256i weights = wide_opaque(_mm256_set1_epi16(94 << 8 | 1));
  const __m256i first = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(low, high), weights);
  const __m256i second = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(low, high), weights);
  _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_permute2x128_si256(first, second, 0x20));
  _mm256_store_si256(reinterpret_cast<__m256i*>(at + 16), _mm256_permute2x128_si256(first, second, 0x31));
}

// Each of the 32 bytes' place in the forms table, on 16 bits: a pair's
// (lead_bytes marks its first byte, cells holds its cell there) row * 94 +
// cell less the first's, any other byte's the entry of its own after the
// rows, BYTE_FORMS (94 * 94) and the byte.
KOTRAN_WIDE void store_form_places_wide(uint16_t* at, __m256i jis, __m256i cells, __m256i lead_bytes) {
  const __m256i first = wide_constant(0x21);
  store_table_places_wide(at, _mm256_blendv_epi8(jis, _mm256_sub_epi8(cells, first), lead_bytes),
                          _mm256_blendv_epi8(wide_constant(94), _mm256_sub_epi8(jis, first), lead_bytes));
}

// The same for 32 bytes of Shift-JIS (next each byte's successor), with
// no JIS bytes worked out: a first byte's two rows are 188 places of the
// table in a row, which its second byte's 188 values index in order: a
// pair's place is twice its first byte's (0x81-0x9F and 0xE0-0xEF as 0-46)
// times 94, and its second byte's (0x40-0x7E and 0x80-0xFC as 0-187).
KOTRAN_WIDE void store_sjis_form_places_wide(uint16_t* at, __m256i sjis, __m256i next, __m256i lead_bytes) {
  // (From 0xE0 on, 0x40 less: as signed bytes, above 0xDF leaves ASCII in,
  // which is no first byte.)
  const __m256i lead_at =
      _mm256_sub_epi8(_mm256_sub_epi8(sjis, wide_constant(static_cast<char>(0x81))),
                      _mm256_and_si256(_mm256_cmpgt_epi8(sjis, wide_constant(static_cast<char>(0xDF))), wide_constant(0x40)));
  const __m256i high = _mm256_blendv_epi8(wide_constant(94), _mm256_add_epi8(lead_at, lead_at), lead_bytes);
  // From 0x80 on, one less.
  const __m256i trail_at =
      _mm256_add_epi8(_mm256_sub_epi8(next, wide_constant(0x40)), _mm256_cmpgt_epi8(_mm256_setzero_si256(), next));
  store_table_places_wide(at, _mm256_blendv_epi8(sjis, trail_at, lead_bytes), high);
}

// As store_packed_units_wide, each pair with no character written as
// U+FFFD; returns how many: for the blocks that hold one.
[[gnu::cold, gnu::noinline]] inline unsigned store_units_replacing(unsigned char*& o, const uint16_t* packed,
                                                                   size_t count, const Utf8Form* forms) {
  unsigned replaced = 0;
  for (size_t k = 0; k < count; ++k) {
    uint32_t form;
    std::memcpy(&form, forms + packed[k], 4);
    if (form >> 24 == 0) {
      form = REPLACEMENT_FORM;
      ++replaced;
    }
    std::memcpy(o, &form, 4);
    o += form >> 24;
  }
  return replaced;
}

// The places of the units whose first bytes starts marks, from at
// (store_form_places_wide), packed together at packed (72 words) one after
// another, eight words by one shuffle, so that the loop over the units
// walks an array, not the bits of a mask; returns how many. The words after
// them, to a whole eight, are NUL's unit (one byte).
KOTRAN_WIDE size_t pack_unit_places_wide(uint16_t* packed, const uint16_t* at, uint64_t starts) {
  uint16_t* end = packed;
  for (unsigned k = 0; k < 8; ++k) {
    const unsigned e = static_cast<unsigned>(starts >> 8 * k) & 0xFF;
    const __m128i take = _mm_load_si128(reinterpret_cast<const __m128i*>(KEPT_WORDS.take[e]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(end),
                     _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(at + 8 * k)), take));
    end += KEPT_BYTES.count[e];
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(end), _mm_set1_epi16(static_cast<short>(BYTE_FORMS)));
  return static_cast<size_t>(end - packed);
}

// The forms of the four units whose places are at place, side by side in
// a vector (one load each), and their lengths, one a byte, the first
// lowest.
KOTRAN_WIDE __m128i wide_unit_forms(const uint16_t* place, const Utf8Form* forms, uint32_t& lengths) {
  uint32_t form[4];
  for (unsigned i = 0; i < 4; ++i) std::memcpy(&form[i], forms + place[i], 4);
  __m128i units = _mm_cvtsi32_si128(static_cast<int>(form[0]));
  units = _mm_insert_epi32(units, static_cast<int>(form[1]), 1);
  units = _mm_insert_epi32(units, static_cast<int>(form[2]), 2);
  units = _mm_insert_epi32(units, static_cast<int>(form[3]), 3);
  lengths = static_cast<uint32_t>(_mm_cvtsi128_si32(
      _mm_shuffle_epi8(units, _mm_setr_epi8(3, 7, 11, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1))));
  return units;
}

// Stores at to the four units (wide_unit_forms) packed by their lengths
// with one shuffle, and moves to on by the four's length, the one thing a
// group waits for.
KOTRAN_WIDE void store_unit_group_wide(unsigned char*& to, __m128i units, uint32_t lengths) {
  // The four lengths' bit pairs side by side, the first lowest, and their
  // sum, each by a multiply that adds the bytes moved into place (no two
  // fields overlap, so nothing carries). Summed here rather than looked
  // up, the output's next place waits on no load: 1.04-1.07.
  const unsigned e = (lengths * 0x01041040u) >> 24;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   _mm_shuffle_epi8(units, _mm_load_si128(reinterpret_cast<const __m128i*>(UTF8_PACKS.take[e]))));
  to += (lengths * 0x01010101u) >> 24;
}

// Whether a length of lengths (wide_unit_forms) is 0.
KOTRAN_WIDE uint32_t zero_lengths(uint32_t lengths) { return (lengths - 0x01010101u) & ~lengths & 0x80808080u; }

// Stores at o the count units whose places packed holds
// (pack_unit_places_wide), each its form from the table, and moves o past
// them; returns how many pairs had no character (written as U+FFFD).
// Stores 16 bytes a group of four units, at most 16 past the last.
KOTRAN_WIDE unsigned store_packed_units_wide(unsigned char*& o, const uint16_t* packed, size_t count,
                                             const Utf8Form* forms) {
  // Four units at a time, stored together, two groups a turn of the loop.
  // (A gather of the four costs several times the loads.) The last eight
  // made whole with NUL's unit, whose bytes are taken back after.
  unsigned char* to = o;
  const uint16_t* const end = packed + count;
  for (const uint16_t* place = packed; place < end; place += 8) {
    uint32_t first, second;
    const __m128i units = wide_unit_forms(place, forms, first);
    const __m128i next = wide_unit_forms(place + 4, forms, second);
    // (A length of 0, a pair with no character: never in real text.)
    if ((zero_lengths(first) | zero_lengths(second)) != 0) [[unlikely]]
      return store_units_replacing(o, packed, count, forms);
    store_unit_group_wide(to, units, first);
    store_unit_group_wide(to, next, second);
  }
  o = to - (static_cast<size_t>(-count) & 7);
  return 0;
}

// Stores at o the units whose first bytes starts marks, one after another,
// each its form from the table at its place in at (store_form_places_wide),
// and moves o past them; returns how many pairs had no character (written as
// U+FFFD). Stores 16 bytes a group of four units, at most 16 past the last.
KOTRAN_WIDE unsigned store_units_straight_wide(unsigned char*& o, const uint16_t* at, uint64_t starts,
                                               const Utf8Form* forms) {
  alignas(16) uint16_t packed[64 + 8];
  const size_t count = pack_unit_places_wide(packed, at, starts);
  return store_packed_units_wide(o, packed, count, forms);
}

// Stores the units of the first length bytes of 64 as JIS bytes (jis, each
// pair's row at its first byte and its cell at its second, any other byte
// ASCII), leads the first bytes of the pairs among them; returns how many
// pairs had no character.
KOTRAN_WIDE unsigned store_jis_block_as_utf8_wide(unsigned char*& o, const __m256i* jis, unsigned length,
                                                  uint64_t leads, const Utf8Form* forms) {
  const uint64_t within = first_bits(length);
  leads &= within;
  alignas(32) uint16_t places[64];
  // Each byte's successor: the low half's last is the high half's first.
  store_form_places_wide(places, jis[0], _mm256_alignr_epi8(_mm256_permute2x128_si256(jis[0], jis[1], 0x21), jis[0], 1),
                         wide_byte_mask(static_cast<uint32_t>(leads)));
  store_form_places_wide(places + 32, jis[1], wide_byte_down(jis[1]), wide_byte_mask(static_cast<uint32_t>(leads >> 32)));
  return store_units_straight_wide(o, places, ~(leads << 1) & within, forms);
}

// Stores the plain units u of the 64 bytes of Shift-JIS at p in UTF-8 and
// moves o past them; returns how many pairs had no character.
KOTRAN_WIDE unsigned store_sjis_block_as_utf8_wide(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                   const Utf8Form* forms) {
  const uint64_t within = first_bits(u.length);
  const uint64_t leads = u.leads & within;
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  alignas(32) uint16_t places[64];
  // Each byte's successor; none read past the 64 (no pair begins at the last).
  store_sjis_form_places_wide(places, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)),
                              wide_byte_mask(static_cast<uint32_t>(leads)));
  store_sjis_form_places_wide(places + 32, high, wide_byte_down(high), wide_byte_mask(static_cast<uint32_t>(leads >> 32)));
  return store_units_straight_wide(o, places, ~(leads << 1) & within, forms);
}

// The same for EUC, whose pairs are JIS bytes with the high bit set.
KOTRAN_WIDE unsigned store_euc_block_as_utf8_wide(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                                  const Utf8Form* forms) {
  const __m256i low7 = wide_constant(0x7F);
  const __m256i jis[2] = {_mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), low7),
                          _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), low7)};
  return store_jis_block_as_utf8_wide(o, jis, u.length, u.leads, forms);
}

// The characters at the 24 bytes at p, read as eight of three bytes each:
// their code points (below 0x10000) in the eight dwords, and bit i set where
// character i is a three-byte form that is not overlong.
KOTRAN_WIDE __m256i wide_utf8_threes(const unsigned char* p, unsigned& taken) {
  // The low lane takes bytes 0-15, the high lane bytes 12-27; each dword
  // the three bytes of a character, the first lowest, as the take reads them.
  const __m256i lanes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
  const __m256i x =
      _mm256_shuffle_epi8(lanes, wide_opaque(_mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                                              1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)));
  const __m256i forms = _mm256_cmpeq_epi32(_mm256_and_si256(x, wide_opaque(_mm256_set1_epi32(0xC0C0F0))),
                                           wide_opaque(_mm256_set1_epi32(0x8080E0)));
  const __m256i high = _mm256_slli_epi32(_mm256_and_si256(x, wide_opaque(_mm256_set1_epi32(0x0F))), 12);
  const __m256i middle = _mm256_srli_epi32(_mm256_and_si256(x, wide_opaque(_mm256_set1_epi32(0x3F00))), 2);
  const __m256i low = _mm256_srli_epi32(_mm256_and_si256(x, wide_opaque(_mm256_set1_epi32(0x3F0000))), 16);
  const __m256i u = _mm256_or_si256(_mm256_or_si256(high, middle), low);
  const __m256i overlong = _mm256_cmpgt_epi32(wide_opaque(_mm256_set1_epi32(0x800)), u);
  taken = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(overlong, forms))));
  return u;
}

// Stores the run of characters at the 64 bytes of UTF-8 at p as JIS pairs,
// and moves o past it; returns how many bytes it took (0 for none). Stores
// 32 bytes at o whatever the run's length.
KOTRAN_WIDE size_t store_utf8_run_as_jis_wide(unsigned char*& o, const unsigned char* p) {
  unsigned first, second;
  const __m256i u0 = wide_utf8_threes(p, first);
  const __m256i u1 = wide_utf8_threes(p + 24, second);
  unsigned count = static_cast<unsigned>(__builtin_ctz(~(first | second << 8)));  // the taken have 16 bits
  if (count == 0) return 0;
  // The codes looked up one by one. Every u is below 0x10000, so every
  // lookup lies within the table.
  alignas(32) uint32_t chars[16];
  alignas(32) uint16_t codes[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(chars), u0);
  _mm256_store_si256(reinterpret_cast<__m256i*>(chars + 8), u1);
  for (unsigned i = 0; i < 16; ++i) codes[i] = unicode_tables::UNICODE_TO_JIS[chars[i]];
  const __m256i jis = _mm256_load_si256(reinterpret_cast<const __m256i*>(codes));
  // No code.
  const __m256i refused = _mm256_cmpeq_epi16(jis, _mm256_setzero_si256());
  // Two bits a character; those past the run do not count.
  const uint32_t refused_bits = static_cast<uint32_t>(_mm256_movemask_epi8(refused)) &
                                static_cast<uint32_t>((uint64_t{1} << 2 * count) - 1);
  // A branch, seldom taken, rather than a select: how far the input moves
  // then never waits for the lookups.
  if (refused_bits != 0) [[unlikely]] {
    asm volatile("");  // (keeps the compiler from making it a select)
    count = static_cast<unsigned>(__builtin_ctz(refused_bits)) / 2;
  }
  // Row byte first: each code's bytes swapped.
  const __m256i pairs =
      _mm256_shuffle_epi8(jis, wide_opaque(_mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0,
                                                            3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), pairs);
  o += 2 * count;
  return 3 * count;
}

// The code points of the characters of two and three bytes that begin at
// each of 32 bytes (x0 the bytes, x1 and x2 the ones after them), their low
// bytes in low and high bytes in high; three marks (0xFF) the forms of
// three bytes. Each byte is made from the bytes of the form with a shift
// of words, the bits that come from the next byte masked off.
struct WideCodePointBytes {
  __m256i low, high;
};

KOTRAN_WIDE WideCodePointBytes wide_code_point_bytes(__m256i x0, __m256i x1, __m256i x2, __m256i three) {
  const __m256i low6 = wide_constant(0x3F);
  const __m256i top2 = wide_constant(static_cast<char>(0xC0));
  // Three bytes: 1110aaaa 10bbbbbb 10cccccc is aaaabbbb bbcccccc; two bytes:
  // 110aaaaa 10bbbbbb is 00000aaa aabbbbbb.
  return {_mm256_blendv_epi8(
              _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(x0, 6), top2), _mm256_and_si256(x1, low6)),
              _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(x1, 6), top2), _mm256_and_si256(x2, low6)), three),
          _mm256_blendv_epi8(
              _mm256_and_si256(_mm256_srli_epi16(x0, 2), wide_constant(0x07)),
              _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(x0, 4), wide_constant(static_cast<char>(0xF0))),
                              _mm256_and_si256(_mm256_srli_epi16(x1, 2), wide_constant(0x0F))),
              three)};
}

// Stores at points the 32 code points of c as 16-bit units.
KOTRAN_WIDE void store_code_points_wide(uint16_t* points, WideCodePointBytes c) {
  // The quarters in the order 0, 2, 1, 3: interleaving within each half of
  // the register then gives the units in order.
  const __m256i l = _mm256_permute4x64_epi64(c.low, 0xD8), h = _mm256_permute4x64_epi64(c.high, 0xD8);
  _mm256_store_si256(reinterpret_cast<__m256i*>(points), _mm256_unpacklo_epi8(l, h));
  _mm256_store_si256(reinterpret_cast<__m256i*>(points + 16), _mm256_unpackhi_epi8(l, h));
}

// As look_up_code_widest: the code in into of the character at points[i],
// i the lowest bit of m (64 for none), at codes + i; the bit cleared.
template <RunPairs into>
KOTRAN_WIDE void wide_look_up_code(uint64_t& m, const uint16_t* points, unsigned char* codes) {
  const size_t i = _tzcnt_u64(m);
  m = _blsr_u64(m);
  store_high_byte_first(codes + i, PAIR_CODES<into>[points[i]]);
}

// 64 bytes of UTF-8 in two registers, and their classes: see
// utf8_whole_characters and store_utf8_mixed_widest; low the low bytes of
// the code points of the characters of two and three bytes (a half-width
// katakana's byte, 0xA1-0xDF, is 0x40 past it), their code points in points
// (and none past the 64), kana_bytes the first bytes of half-width katakana
// (U+FF61-U+FF9F).
struct WideUtf8Block {
  __m256i x0[2], low[2], kana_bytes[2];
  Utf8Bytes c;
  uint64_t kana;
  alignas(32) uint16_t points[64 + 1];
};

// The line ends that stop (stops; first: the first block, whose first byte
// has no predecessor that counts) are no class's, which ends the blocks
// there as a byte out of place does.
KOTRAN_WIDE void wide_utf8_block(WideUtf8Block& b, const unsigned char* p, LineEndStops stops = LineEndStops::none,
                                 bool first = false) {
  uint32_t ascii[2], lead2[2], lead3[2], cont[2], kana[2];
  for (unsigned h = 0; h < 2; ++h) {
    const __m256i x0 = b.x0[h] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h + 1));
    const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h + 2));
    __m256i stop = _mm256_setzero_si256();
    if (stops == LineEndStops::lone_lf) {
      const __m256i before = h == 1 || !first ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h - 1))
                                              : wide_byte_up(x0);
      stop = _mm256_andnot_si256(_mm256_cmpeq_epi8(before, wide_constant(0x0D)), _mm256_cmpeq_epi8(x0, wide_constant(0x0A)));
    } else if (stops == LineEndStops::cr_lf) {
      stop = _mm256_and_si256(_mm256_cmpeq_epi8(x0, wide_constant(0x0D)), _mm256_cmpeq_epi8(x1, wide_constant(0x0A)));
    }
    const __m256i e_forms = wide_in_range(x0, 0xE0, 0xEF);
    const WideCodePointBytes c = wide_code_point_bytes(x0, x1, x2, e_forms);
    // A form of three bytes below U+0800 (E0 80-9F) is overlong: its high
    // byte is below 0x08.
    const __m256i three = _mm256_andnot_si256(
        _mm256_cmpeq_epi8(_mm256_and_si256(c.high, wide_constant(static_cast<char>(0xF8))), _mm256_setzero_si256()),
        e_forms);
    ascii[h] = ~wide_mask(_mm256_or_si256(x0, stop));
    lead2[h] = wide_mask(wide_in_range(x0, 0xC2, 0xDF));
    lead3[h] = wide_mask(three);
    // (0x80-0xBF: below 0xC0 as signed bytes.)
    cont[h] = wide_mask(_mm256_cmpgt_epi8(wide_constant(static_cast<char>(0xC0)), x0));
    store_code_points_wide(b.points + 32 * h, c);
    b.low[h] = c.low;
    b.kana_bytes[h] = _mm256_and_si256(_mm256_and_si256(three, _mm256_cmpeq_epi8(c.high, _mm256_set1_epi8(-1))),
                                       wide_in_range(c.low, 0x61, 0x9F));
    kana[h] = wide_mask(b.kana_bytes[h]);
  }
  b.points[64] = 0;
  b.c = {wide_join(ascii[0], ascii[1]), wide_join(lead2[0], lead2[1]), wide_join(lead3[0], lead3[1]),
         wide_join(cont[0], cont[1])};
  b.kana = wide_join(kana[0], kana[1]);
}

// The codes in into of the characters at leads in codes (66 bytes; into
// EUC the JIS codes), first byte first where each character's first byte
// was, the other bytes those of the block, and in vector the first 64;
// returns those of leads with none.
template <RunPairs into>
KOTRAN_WIDE uint64_t wide_utf8_codes(const WideUtf8Block& b, uint64_t leads, unsigned char* codes, __m256i* vector) {
  // Past the 64, a character of none: a lookup with no lead left looks it
  // up and stores past the 64.
  const uint16_t* const points = b.points;
  _mm256_store_si256(reinterpret_cast<__m256i*>(codes), b.x0[0]);
  _mm256_store_si256(reinterpret_cast<__m256i*>(codes + 32), b.x0[1]);
  // As many lookups as text of kanji and kana has leads, whatever their
  // count, written out, as on the widest path.
  uint64_t m = leads;
#pragma GCC unroll 32
  for (unsigned k = 0; k < UTF8_BLOCK_LEADS; ++k) wide_look_up_code<into>(m, points, codes);
  while (m != 0) wide_look_up_code<into>(m, points, codes);
  // The second byte of a character begun at the last byte, which the
  // lookups with no lead left wrote over.
  codes[64] = static_cast<unsigned char>(PAIR_CODES<into>[points[63]]);
  uint32_t refused[2];
  for (unsigned h = 0; h < 2; ++h) {
    vector[h] = _mm256_load_si256(reinterpret_cast<const __m256i*>(codes + 32 * h));
    // (No code has a first byte 0.)
    refused[h] = wide_mask(_mm256_cmpeq_epi8(vector[h], _mm256_setzero_si256()));
  }
  return leads & wide_join(refused[0], refused[1]);
}

// As utf8_block_out_widest, into converted (two registers): the block in
// the target, what is dropped returned. Each byte that is kept and not
// ASCII is a pair's: its first where the UTF-8 has a first byte, its second
// where it has a continuation byte (a half-width katakana's replaced or
// dropped after).
template <RunPairs into>
KOTRAN_WIDE uint64_t wide_utf8_block_out(const WideUtf8Block& b, const __m256i* codes, uint64_t kana, bool store_kana,
                                         __m256i* converted) {
  // The half-width katakana where they are stored: past the characters
  // taken, nothing is kept.
  const __m256i kana_on = store_kana ? _mm256_set1_epi8(-1) : _mm256_setzero_si256();
  const __m256i kana_bytes[2] = {_mm256_and_si256(b.kana_bytes[0], kana_on),
                                 _mm256_and_si256(b.kana_bytes[1], kana_on)};
  // A katakana's byte is 0x40 past its code point's low byte.
  const __m256i kana_byte[2] = {_mm256_add_epi8(b.low[0], wide_constant(0x40)),
                                _mm256_add_epi8(b.low[1], wide_constant(0x40))};
  for (unsigned h = 0; h < 2; ++h) {
    const __m256i x0 = b.x0[h];
    __m256i out;
    if constexpr (into == RunPairs::sjis) {
      out = _mm256_blendv_epi8(codes[h], kana_byte[h], kana_bytes[h]);
    } else {
      out = _mm256_or_si256(codes[h], _mm256_and_si256(x0, wide_constant(static_cast<char>(0x80))));
      out = _mm256_blendv_epi8(out, wide_constant(static_cast<char>(SS2)), kana_bytes[h]);
      // Its byte after SS2. (A katakana begun at the last byte before has
      // its byte carried.)
      out = _mm256_blendv_epi8(out, h == 0 ? wide_byte_up(kana_byte[0]) : wide_byte_up(kana_byte[1], kana_byte[0]),
                               h == 0 ? wide_byte_up(kana_bytes[0]) : wide_byte_up(kana_bytes[1], kana_bytes[0]));
    }
    converted[h] = out;
  }
  return b.c.lead3 << 2 | (into == RunPairs::sjis ? kana << 1 : 0);
}

// Stores at o the bytes of the 64 in v (two registers) whose bits are set
// in kept, packed, by byte shuffles of sixteen, each half by its own eight
// bits, and moves o past them.
KOTRAN_WIDE void wide_store_kept(unsigned char*& o, const __m256i* v, uint64_t kept) {
  // The eights read from memory, each in one load: from a register, each
  // would cost a shift and a move more.
  alignas(8) unsigned char bits[8];
  std::memcpy(bits, &kept, 8);
  asm("" : : "m"(bits));
  for (unsigned k = 0; k < 8; k += 2) {
    const unsigned low = bits[k], high = bits[k + 1];
    const __m128i take = _mm_castps_si128(
        _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(KEPT_BYTES.take[low]))),
                     reinterpret_cast<const __m64*>(KEPT_BYTES.take_high[high])));
    const __m256i half = v[k / 4];
    const __m128i packed =
        _mm_shuffle_epi8(k % 4 == 0 ? _mm256_castsi256_si128(half) : _mm256_extracti128_si256(half, 1), take);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
    o += KEPT_BYTES.count[low];
    _mm_storeh_pi(reinterpret_cast<__m64*>(o), _mm_castsi128_ps(packed));
    o += KEPT_BYTES.count[high];
  }
}

// As store_utf8_mixed_widest, in two registers of 32 bytes, the third bytes
// dropped by byte shuffles. Reads 66 bytes at p; stores at most 64 at o.
template <RunPairs into>
KOTRAN_WIDE size_t store_utf8_mixed_wide(unsigned char*& o, const unsigned char* p, unsigned length,
                                         bool store_kana) {
  WideUtf8Block b;
  wide_utf8_block(b, p);
  length = std::min(length, utf8_whole_characters(b.c));
  const uint64_t below = length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1;
  uint64_t kana = store_kana ? b.kana & below : 0;
  uint64_t leads = (b.c.lead2 | b.c.lead3) & ~kana & below;
  if ((leads | kana) == 0) return 0;
  alignas(32) unsigned char codes[64 + 2];
  __m256i vector[2];
  const uint64_t refused = wide_utf8_codes<into>(b, leads, codes, vector);
  // A branch, seldom taken, rather than a select: how far the input moves
  // then never waits for the lookups.
  if (refused != 0) [[unlikely]] {
    asm volatile("");  // (keeps the compiler from making it a select)
    length = static_cast<unsigned>(__builtin_ctzll(refused));
    leads &= (uint64_t{1} << length) - 1;
    kana &= (uint64_t{1} << length) - 1;
    if (length == 0) return 0;
  }
  __m256i converted[2];
  const uint64_t dropped = wide_utf8_block_out<into>(b, vector, kana, store_kana, converted);
  wide_store_kept(o, converted, ~dropped & (length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1));
  return length;
}

// As store_utf8_blocks_widest, in two registers of 32 bytes.
template <RunPairs into>
KOTRAN_WIDE size_t store_utf8_blocks_wide(unsigned char*& o, const unsigned char* p, size_t blocks, bool store_kana,
                                          LineEndStops stops) {
  Utf8Carry carry;
  // The output pointer in a local: o itself could be any byte a store
  // writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  // Each block's bytes, classes and code points made a block ahead: they
  // wait on nothing of the block before, and go on beside its lookups and
  // stores.
  WideUtf8Block ahead[2];
  if (blocks != 0) wide_utf8_block(ahead[0], p, stops, true);
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    const WideUtf8Block& b = ahead[n & 1];
    // Whether the two bytes after the block continue a character, from
    // the next block's classes where it has them.
    uint64_t after;
    if (n + 1 < blocks) {
      wide_utf8_block(ahead[(n + 1) & 1], at + 64, stops);
      after = ahead[(n + 1) & 1].c.cont;
    } else {
      after = utf8_continuations_at(at + 64);
    }
    const Utf8Bytes& c = b.c;
    if (utf8_block_faults(c, carry.owned, after) != 0) break;
    const uint64_t kana = store_kana ? b.kana : 0;
    const uint64_t leads = (c.lead2 | c.lead3) & ~kana;
    alignas(32) unsigned char codes[64 + 2];
    __m256i vector[2];
    if (wide_utf8_codes<into>(b, leads, codes, vector) != 0) [[unlikely]]
      break;
    __m256i converted[2];
    const uint64_t dropped = wide_utf8_block_out<into>(b, vector, kana, store_kana, converted);
    // The byte carried, at the first byte where there is one.
    converted[0] = _mm256_blendv_epi8(converted[0], _mm256_set1_epi8(static_cast<char>(carry.byte)),
                                      _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(carry.at << 7))));
    wide_store_kept(to, converted, ~(dropped | carry.dropped));
    carry = utf8_carry<into>(c.lead2, c.lead3, leads, kana, codes, at);
  }
  o = to;
  return utf8_blocks_end(o, p, n, carry, stops != LineEndStops::none);
}

// As PairBlock64's masks: the bytes themselves give each unit's place in
// the forms table.
struct WidePairBlock {
  uint64_t starts, last, bad;
};

// The places in the forms table (store_form_places_wide) of the units that
// would begin at each of the 64 bytes of Shift-JIS (or EUC) at at, stored
// at places, and the block's classes, from the same loads: where a unit
// begins, its first byte alone tells a pair from a byte alone (into EUC
// SS2, a half-width katakana's unit, the byte after).
template <bool euc>
KOTRAN_WIDE PairClasses64<euc> wide_pair_block_ahead(const unsigned char* at, bool store_kana, uint16_t* places) {
  if constexpr (euc) {
    uint32_t high_half[2], euc_half[2], esc_half[2], kana_half[2];
    const __m256i low7 = wide_constant(0x7F);
    for (unsigned h = 0; h < 2; ++h) {
      const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h));
      const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h + 1));
      const __m256i ss2 = _mm256_cmpeq_epi8(x0, wide_constant(static_cast<char>(SS2)));
      const __m256i euc_bytes = wide_in_range(x0, 0xA1, 0xFE);
      store_form_places_wide(places + 32 * h, _mm256_blendv_epi8(_mm256_and_si256(x0, low7), x1, ss2),
                             _mm256_and_si256(x1, low7), euc_bytes);
      high_half[h] = wide_mask(x0);
      euc_half[h] = wide_mask(euc_bytes);
      esc_half[h] = wide_mask(_mm256_cmpeq_epi8(x0, wide_constant(0x1B)));
      kana_half[h] = wide_mask(_mm256_and_si256(ss2, wide_in_range(x1, 0xA1, 0xDF)));
    }
    return {wide_join(high_half[0], high_half[1]), wide_join(euc_half[0], euc_half[1]),
            wide_join(esc_half[0], esc_half[1]), store_kana ? wide_join(kana_half[0], kana_half[1]) : 0};
  } else {
    // (Half-width katakana are units of their own in the forms table: the
    // blocks need not know them.)
    uint32_t lead_half[2], alone_half[2], pair_half[2];
    const __m256i kana_on = store_kana ? _mm256_set1_epi8(-1) : _mm256_setzero_si256();
    for (unsigned h = 0; h < 2; ++h) {
      const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h));
      const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h + 1));
      // (A place worked out from a first byte 0xF0-0xFE is never read: its
      // pair is bad, which ends the blocks there.)
      const __m256i lead = _mm256_or_si256(wide_in_range(x0, 0x81, 0x9F), wide_in_range(x0, 0xE0, 0xFE));
      store_sjis_form_places_wide(places + 32 * h, x0, x1, lead);
      lead_half[h] = wide_mask(lead);
      alone_half[h] = wide_mask(_mm256_andnot_si256(
          _mm256_or_si256(lead, _mm256_and_si256(wide_in_range(x0, 0xA1, 0xDF), kana_on)), x0));
      const __m256i trail = _mm256_or_si256(wide_in_range(x1, 0x40, 0x7E), wide_in_range(x1, 0x80, 0xFC));
      pair_half[h] = ~wide_mask(_mm256_andnot_si256(wide_in_range(x0, 0xF0, 0xFE), trail));
    }
    return {wide_join(lead_half[0], lead_half[1]), wide_join(alone_half[0], alone_half[1]),
            wide_join(pair_half[0], pair_half[1]), 0};
  }
}

// As pair_block_widest, the bytes themselves giving each unit's place.
KOTRAN_WIDE WidePairBlock wide_pair_block(const unsigned char*, uint64_t carried, const SjisUtf8Classes64& c) {
  const SjisBlockPairs b = sjis_utf8_block_pairs(c, carried);
  return {~b.trails, b.leads, b.bad};
}

KOTRAN_WIDE WidePairBlock wide_pair_block(const unsigned char* at, uint64_t carried, const EucClasses64& c) {
  const EucBlockPairs b = euc_block_pairs(c.high, c.euc, c.esc, c.ss2_kana, carried, at[64]);
  return {~(b.trails | carried), b.leads, b.bad};
}

// How many blocks' units the blocks loops into UTF-8 pack together before
// they write them: the loop over the groups of four ends where the
// processor cannot foretell it, once for all of them. Two blocks measured
// 1.02-1.04 times as fast as one, four 1.02-1.03 times as fast as two,
// eight no faster than four.
inline constexpr size_t PACKED_BLOCKS = 4;

// As store_pair_blocks_as_utf8_widest, in two registers of 32 bytes.
template <bool euc>
KOTRAN_WIDE size_t store_pair_blocks_as_utf8_wide(unsigned char*& o, const unsigned char* p, size_t blocks,
                                                  bool store_kana, LineEndStops stops, const Utf8Form* forms,
                                                  uint64_t& replaced) {
  uint64_t carried = 0, cr_before = 0;
  // The output pointer and the count in locals: either could be any byte a
  // store writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  uint64_t none = 0;
  // Each block's places are stored a block before they are read, so that
  // the loads find their stores gone to the cache. PACKED_BLOCKS blocks'
  // units are packed together and written once the next are packed, for
  // the same reason.
  alignas(32) uint16_t places[2][64];
  PairClasses64<euc> next = wide_pair_block_ahead<euc>(p, store_kana, places[0]);
  alignas(16) uint16_t packed[2][64 * PACKED_BLOCKS + 8];
  size_t held = 0, ready = 0;
  unsigned side = 0;
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    // The next block's classes and places first: they wait on nothing of
    // this block's, and go on beside its pairs, which wait on the pair
    // carried.
    const PairClasses64<euc> classes = next;
    if (n + 1 < blocks) next = wide_pair_block_ahead<euc>(at + 64, store_kana, places[(n + 1) & 1]);
    const WidePairBlock b = wide_pair_block(at, carried, classes);
    uint64_t bad = b.bad;
    if (stops != LineEndStops::none) {
      const LineEndBytes64 ends = line_end_bytes_block_wide(at);
      bad |= line_end_stop_bits(ends.cr, ends.lf, stops, cr_before, at[64]);
    }
    if (bad != 0) break;
    held += pack_unit_places_wide(packed[side] + held, places[n & 1], b.starts);
    if (n % PACKED_BLOCKS == PACKED_BLOCKS - 1) {
      if (ready != 0) none += store_packed_units_wide(to, packed[side ^ 1], ready, forms);
      ready = held;
      held = 0;
      side ^= 1;
    }
    carried = b.last >> 63;
  }
  if (ready != 0) none += store_packed_units_wide(to, packed[side ^ 1], ready, forms);
  if (held != 0) none += store_packed_units_wide(to, packed[side], held, forms);
  replaced += none;
  o = to;
  return pair_blocks_end(o, p, n, carried, stops != LineEndStops::none);
}

// The classes of the block of JIS at at, as store_jis_blocks_wide takes
// them (first: the first block, whose first byte has no predecessor that
// counts), and the stray bytes and the line ends that stop, which end the
// blocks wherever they lie, in one mask of both halves (far is left to the
// pairs' vectors). With kana, for a block that holds katakana text: an
// ESC ( I is not stray, the stray bytes are where they lie, and k has the
// katakana's classes.
template <bool kana = false>
KOTRAN_WIDE JisBytes wide_jis_bytes(const unsigned char* at, bool first, LineEndStops stops,
                                    JisKanaBytes* k = nullptr) {
  __m256i stray = _mm256_setzero_si256();
  uint32_t esc[2], kanji_in[2], jis[2], stray_at[2], kana_in[2], kana_bytes[2];
  for (unsigned h = 0; h < 2; ++h) {
    const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h + 1));
    if constexpr (kana) stray = _mm256_setzero_si256();
    if (stops == LineEndStops::lone_lf) {
      // (Before the first block's first byte, no CR that counts.)
      const __m256i before = h == 1 || !first ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h - 1))
                                              : wide_byte_up(x0);
      stray = _mm256_or_si256(stray, _mm256_andnot_si256(_mm256_cmpeq_epi8(before, wide_constant(0x0D)),
                                                         _mm256_cmpeq_epi8(x0, wide_constant(0x0A))));
    } else if (stops == LineEndStops::cr_lf) {
      stray = _mm256_or_si256(stray, _mm256_and_si256(_mm256_cmpeq_epi8(x0, wide_constant(0x0D)),
                                                      _mm256_cmpeq_epi8(x1, wide_constant(0x0A))));
    }
    const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h + 2));
    const __m256i e = _mm256_cmpeq_epi8(x0, wide_constant(0x1B));
    const __m256i third_b = _mm256_cmpeq_epi8(x2, wide_constant('B'));
    const __m256i k_in =
        _mm256_and_si256(e, _mm256_and_si256(_mm256_cmpeq_epi8(x1, wide_constant('$')),
                                             _mm256_or_si256(third_b, _mm256_cmpeq_epi8(x2, wide_constant('@')))));
    const __m256i paren = _mm256_cmpeq_epi8(x1, wide_constant('('));
    __m256i known = _mm256_or_si256(
        k_in, _mm256_or_si256(_mm256_and_si256(paren, _mm256_or_si256(third_b, _mm256_cmpeq_epi8(x2, wide_constant('J')))),
                              _mm256_and_si256(_mm256_cmpeq_epi8(x1, wide_constant('*')), third_b)));
    if constexpr (kana) {
      const __m256i kana_escapes = _mm256_and_si256(e, _mm256_and_si256(paren, _mm256_cmpeq_epi8(x2, wide_constant('I'))));
      known = _mm256_or_si256(known, kana_escapes);
      kana_in[h] = wide_mask(kana_escapes);
      kana_bytes[h] = wide_mask(wide_in_range(x0, 0x21, 0x5F));
    }
    stray = _mm256_or_si256(stray, _mm256_or_si256(x0, _mm256_andnot_si256(known, e)));
    if constexpr (kana) stray_at[h] = wide_mask(stray);
    esc[h] = wide_mask(e);
    kanji_in[h] = wide_mask(k_in);
    jis[h] = wide_mask(wide_in_range(x0, 0x21, 0x7E));
  }
  if constexpr (kana) *k = {wide_join(kana_in[0], kana_in[1]), wide_join(kana_bytes[0], kana_bytes[1])};
  const uint64_t escs = wide_join(esc[0], esc[1]);
  return {escs,
          wide_prefix_xor(escs),
          wide_join(kanji_in[0], kanji_in[1]),
          wide_join(jis[0], jis[1]),
          0,
          kana ? wide_join(stray_at[0], stray_at[1]) : wide_mask(stray),
          at[64] - 0x21u < 0x5Eu};
}

// As store_jis_blocks_widest, in two registers of 32 bytes.
template <JisBlocksInto into>
KOTRAN_WIDE size_t store_jis_blocks_wide(unsigned char*& o, const unsigned char* p, size_t blocks, LineEndStops stops,
                                         JisCarry& carry, bool take_kana, const Utf8Form* forms,
                                         uint64_t& replaced) {
  // The output pointer and the count in locals: either could be any byte a
  // store writes, so the compiler would read it again after every store.
  unsigned char* to = o;
  uint64_t none = 0;
  // The last block's pairs' first bytes in its second half (a pair carried
  // in, its first byte last).
  __m256i last_lead_bytes = wide_byte_mask(static_cast<uint32_t>(carry.trail) << 31);
  JisBytes next = wide_jis_bytes(p, true, stops);
  // Into UTF-8, PACKED_BLOCKS blocks' units are packed together and written
  // once the next are packed (as store_pair_blocks_as_utf8_wide writes them).
  constexpr bool into_utf8 = into == JisBlocksInto::utf8;
  alignas(16) uint16_t packed[into_utf8 ? 2 : 1][into_utf8 ? 64 * PACKED_BLOCKS + 8 : 1];
  size_t held = 0, ready = 0;
  unsigned side = 0;
  size_t n = 0;
  for (; n < blocks; ++n) {
    const unsigned char* const at = p + 64 * n;
    const JisBytes bytes = next;
    // The next block's classes first: they wait on nothing of this
    // block's, and go on beside its pairs, which wait on what the last
    // block carried.
    if (n + 1 < blocks) next = wide_jis_bytes(at + 64, false, stops);
    __m256i x0[2], x1[2];
    for (unsigned h = 0; h < 2; ++h) {
      x0[h] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h));
      x1[h] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * h + 1));
    }
    JisBlockUnits u = jis_block_units<false>(bytes, carry, false);
    if (u.bad != 0) [[unlikely]] {
      // Katakana text (an ESC ( I is stray to the test above), or what
      // ends the blocks: the block's classes made again with katakana.
      if (!take_kana) break;
      JisKanaBytes k;
      u = jis_block_units<true>(wide_jis_bytes<true>(at, n == 0, stops, &k), carry, false, k);
      if (u.bad != 0) break;
    }
    const uint64_t trails = u.leads << 1 | carry.trail;
    if constexpr (into == JisBlocksInto::utf8) {
      // A pair goes out whole from its first byte, its cell the byte after;
      // a katakana as the table's byte alone with its high bit set.
      const uint64_t starts = ~(u.escapes | trails);
      alignas(32) uint16_t places[64];
      for (unsigned h = 0; h < 2; ++h)
        store_form_places_wide(places + 32 * h, x0[h], x1[h], wide_byte_mask(static_cast<uint32_t>(u.leads >> 32 * h)));
      if (u.kana != 0) [[unlikely]]
        for (uint64_t m = u.kana; m != 0; m &= m - 1) places[__builtin_ctzll(m)] += 0x80;
      held += pack_unit_places_wide(packed[side] + held, places, starts);
      if (n % PACKED_BLOCKS == PACKED_BLOCKS - 1) {
        if (ready != 0) none += store_packed_units_wide(to, packed[side ^ 1], ready, forms);
        ready = held;
        held = 0;
        side ^= 1;
      }
    } else {
      const __m256i lead_bytes[2] = {wide_byte_mask(static_cast<uint32_t>(u.leads)),
                                     wide_byte_mask(static_cast<uint32_t>(u.leads >> 32))};
      // Into Shift-JIS, no whole block takes a pair of a row past 84.
      if constexpr (into == JisBlocksInto::sjis) {
        const __m256i far = _mm256_or_si256(_mm256_and_si256(lead_bytes[0], _mm256_cmpgt_epi8(x0[0], wide_constant(0x74))),
                                            _mm256_and_si256(lead_bytes[1], _mm256_cmpgt_epi8(x0[1], wide_constant(0x74))));
        if (!_mm256_testz_si256(far, far)) break;
      }
      // Each pair's second byte follows its first, the block's first
      // byte the last block's last.
      const __m256i trail_bytes[2] = {
          _mm256_alignr_epi8(lead_bytes[0], _mm256_permute2x128_si256(last_lead_bytes, lead_bytes[0], 0x21), 15),
          _mm256_alignr_epi8(lead_bytes[1], _mm256_permute2x128_si256(lead_bytes[0], lead_bytes[1], 0x21), 15)};
      last_lead_bytes = lead_bytes[1];
      __m256i converted[2];
      for (unsigned h = 0; h < 2; ++h) {
        __m256i out;
        if constexpr (into == JisBlocksInto::sjis) {
          // Each byte's predecessor: before the first block's first, none
          // that counts (no pair is carried into it).
          const __m256i before = h == 1  ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 31))
                                 : n != 0 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at - 1))
                                          : wide_byte_up(x0[0]);
          out = wide_sjis_from_jis_pairs(x0[h], before, lead_bytes[h], trail_bytes[h], x0[h]);
          // A katakana's byte of Shift-JIS is its own with the high bit set.
          if (u.kana != 0) [[unlikely]]
            out = _mm256_or_si256(out, _mm256_and_si256(wide_byte_mask(static_cast<uint32_t>(u.kana >> 32 * h)),
                                                        wide_constant(static_cast<char>(0x80))));
        } else {
          out = _mm256_or_si256(x0[h], _mm256_and_si256(_mm256_or_si256(lead_bytes[h], trail_bytes[h]),
                                                        wide_constant(static_cast<char>(0x80))));
        }
        converted[h] = out;
      }
      wide_store_kept(to, converted, ~u.escapes);
    }
    carry = jis_carry_after(u, bytes.esc);
    // Katakana text that runs on past the block (carry.kana): the blocks
    // end with it, and the reader takes the text on until it leaves
    // katakana.
    if (u.kana_after) [[unlikely]] {
      ++n;
      break;
    }
  }
  if constexpr (into_utf8) {
    if (ready != 0) none += store_packed_units_wide(to, packed[side ^ 1], ready, forms);
    if (held != 0) none += store_packed_units_wide(to, packed[side], held, forms);
  }
  replaced += none;
  o = to;
  return jis_blocks_end(o, p, n, carry, into, stops != LineEndStops::none);
}

}  // namespace kotran

#endif
