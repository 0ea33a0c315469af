// The widest path: the same classes and stores as the wide path's, 64 bytes
// at a time in one AVX-512 register, where the processor has AVX-512 BW.
// Compares give bit masks directly, and a byte mask is a mask register, so
// the classes cost a compare each and the stores blend under the masks.
// The arithmetic is the wide path's, which the byte loops remain the
// reference of.
#pragma once

#include "codes/kana.h"
#include "kernels/avx512bw/bytes.h"
#include "kernels/avx512vbmi2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

// As classify_sjis_bytes, for the 64 bytes at p.
struct SjisBytes64 {
  uint64_t high, lead, far_lead, trail;
};

KOTRAN_WIDEST SjisBytes64 classify_sjis_bytes_widest(const unsigned char* p) {
  const __m512i v = widest_load(p);
  return {_mm512_movepi8_mask(v), widest_in_range(v, 0x81, 0x9F) | widest_in_range(v, 0xE0, 0xFE),
          widest_in_range(v, 0xF0, 0xFE), widest_in_range(v, 0x40, 0x7E) | widest_in_range(v, 0x80, 0xFC)};
}

// As sjis_plain_units, for the 64 bytes at p.
KOTRAN_WIDEST PlainUnits sjis_plain_units_widest(const unsigned char* p) {
  const auto [high, lead, far_lead, trail] = classify_sjis_bytes_widest(p);
  // A lead byte takes the byte after it, whatever that is.
  const uint64_t leads = pair_starts_64(lead);
  const uint64_t trails = leads << 1;
  uint64_t bad = (high & ~trails & ~lead) | (leads & far_lead);
  // A bad trail byte stops the count at its pair, and so does a lead byte
  // whose trail lies past the 64.
  bad |= (trails & ~trail) >> 1;
  bad |= leads & (uint64_t{1} << 63);
  return units_before_64(bad, leads);
}

// As euc_plain_units, for the 64 bytes at p.
template <bool into_sjis = false>
KOTRAN_WIDEST PlainUnits euc_plain_units_widest(const unsigned char* p) {
  const __m512i v = widest_load(p);
  const uint64_t high = _mm512_movepi8_mask(v);
  const uint64_t euc = widest_in_range(v, 0xA1, 0xFE);
  const uint64_t stop = into_sjis ? _mm512_cmpge_epu8_mask(v, widest_constant(static_cast<char>(0xF5)))
                                  : _mm512_cmpeq_epi8_mask(v, widest_constant(0x1B));
  // Every high byte starts a pair or ends one; a first byte whose second
  // lies past the 64 has no trail among them.
  const uint64_t leads = pair_starts_64(high);
  const uint64_t trails = high & ~leads;
  uint64_t bad = (high & ~euc) | (leads & ~(trails >> 1));
  bad |= into_sjis ? leads & stop : stop;
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return units_before_64(bad, leads);
}


// The 64 bytes of sjis with each pair of Shift-JIS as its JIS bytes (with
// high_bit set), as store_sjis_as_jis_bytes stores them: leads marks the
// first bytes and trails the second ones, next holds each byte's successor.
KOTRAN_WIDEST __m512i sjis_pairs_as_jis_widest(__m512i sjis, __m512i next, uint64_t leads, uint64_t trails,
                                                char high_bit) {
  const __m512i one = widest_constant(1);
  // Row: 2 * lead + 0x1F for leads 0x81-0x9F, + 0x9F for 0xE0-0xEF (on 8
  // bits), and one more when the trail byte is 0x9F or above.
  __m512i row = _mm512_add_epi8(_mm512_add_epi8(sjis, sjis), widest_constant(0x1F));
  row = _mm512_mask_add_epi8(row, _mm512_cmpgt_epu8_mask(sjis, widest_constant(static_cast<char>(0xDF))), row,
                             widest_constant(static_cast<char>(0x80)));
  row = _mm512_mask_add_epi8(row, _mm512_cmpgt_epu8_mask(next, widest_constant(static_cast<char>(0x9E))), row, one);
  // Cell: trail - 0x1F, one less from 0x80 on, 0x5E less from 0x9F on.
  __m512i cell = _mm512_sub_epi8(sjis, widest_constant(0x1F));
  cell = _mm512_mask_sub_epi8(cell, _mm512_movepi8_mask(sjis), cell, one);
  cell = _mm512_mask_sub_epi8(cell, _mm512_cmpgt_epu8_mask(sjis, widest_constant(static_cast<char>(0x9E))), cell,
                              widest_constant(0x5E));
  const __m512i high = _mm512_set1_epi8(high_bit);  // (zero into JIS, which the compiler folds)
  __m512i out = _mm512_mask_mov_epi8(sjis, leads, _mm512_or_si512(row, high));
  return _mm512_mask_mov_epi8(out, trails, _mm512_or_si512(cell, high));
}

// The 64 bytes at p with each pair of Shift-JIS as its JIS bytes (with
// high_bit set), as store_sjis_as_jis_bytes stores them.
KOTRAN_WIDEST __m512i sjis_as_jis_widest(const unsigned char* p, uint64_t leads, char high_bit) {
  const __m512i sjis = widest_load(p);
  return sjis_pairs_as_jis_widest(sjis, widest_byte_down(sjis), leads, leads << 1, high_bit);
}

// As sjis_plain_units_widest, for the 64 bytes at p when carried says that
// a pair begun before them takes the first (a trail byte checked already);
// a pair begun at the last takes the byte after them, p[64], and so counts.
// The classes of the block of Shift-JIS at p.
KOTRAN_WIDEST SjisClasses64 sjis_classes_widest(const unsigned char* p) {
  const auto [high, lead, far_lead, trail] = classify_sjis_bytes_widest(p);
  return {high, lead, far_lead, trail};
}

KOTRAN_WIDEST PlainUnits sjis_carried_units_of_widest(const unsigned char* p, const SjisClasses64& c,
                                                      uint64_t carried) {
  const SjisBlockPairs b = sjis_block_pairs(c.high, c.lead, c.far_lead, c.trail, carried, p[64]);
  return units_before_64(b.bad, b.leads);
}
KOTRAN_WIDEST PlainUnits sjis_carried_units_widest(const unsigned char* p, uint64_t carried) {
  return sjis_carried_units_of_widest(p, sjis_classes_widest(p), carried);
}

// The 64 bytes at p whose units are u with each pair as its JIS bytes
// (high_bit set), a pair begun before them taking the first where carried
// says so.
KOTRAN_WIDEST __m512i carried_sjis_pairs_widest(const unsigned char* p, PlainUnits u, uint64_t carried,
                                                char high_bit) {
  return sjis_pairs_as_jis_widest(widest_load(p), widest_load(p + 1), u.leads, u.leads << 1 | carried, high_bit);
}

// Stores them at o, as store_sjis_as_euc_widest (or into JIS); returns o
// past the units.
KOTRAN_WIDEST unsigned char* store_carried_sjis_as_euc_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                              uint64_t carried) {
  _mm512_storeu_si512(o, carried_sjis_pairs_widest(p, u, carried, static_cast<char>(0x80)));
  return o + u.length;
}
KOTRAN_WIDEST unsigned char* store_carried_sjis_as_jis_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                              uint64_t carried) {
  _mm512_storeu_si512(o, carried_sjis_pairs_widest(p, u, carried, 0));
  return o + u.length;
}

KOTRAN_WIDEST void store_sjis_as_euc_widest(unsigned char* o, const unsigned char* p, uint64_t leads) {
  _mm512_storeu_si512(o, sjis_as_jis_widest(p, leads, static_cast<char>(0x80)));
}

KOTRAN_WIDEST void store_sjis_as_jis_widest(unsigned char* o, const unsigned char* p, uint64_t leads) {
  _mm512_storeu_si512(o, sjis_as_jis_widest(p, leads, 0));
}

// The Shift-JIS bytes of JIS rows and cells, by their low seven bits: each
// row's first byte, 0x81 + (row - 0x21) / 2 and 0x40 more from row 0x5F on;
// and a cell's second byte after an odd row, cell + 0x1F and 1 more from
// cell 0x60 on. (After an even row it is cell + 0x7E.)
struct SjisByteTables {
  alignas(64) unsigned char lead[128];
  alignas(64) unsigned char after_odd[128];
};

constexpr SjisByteTables make_sjis_byte_tables() {
  SjisByteTables t{};
  for (unsigned b = 0x21; b <= 0x7E; ++b) {
    t.lead[b] = static_cast<unsigned char>(0x81 + (b - 0x21) / 2 + (b >= 0x5F ? 0x40 : 0));
    t.after_odd[b] = static_cast<unsigned char>(b + 0x1F + (b >= 0x60 ? 1 : 0));
  }
  return t;
}

inline constexpr SjisByteTables SJIS_BYTE_TABLES = make_sjis_byte_tables();

// The 64 bytes of v with each pair of EUC (rows 1-84; leads marking the
// first bytes, trails the second ones) in Shift-JIS, as store_euc_as_sjis
// stores them; before holds each byte's predecessor. With tables (where
// the processor has VBMI), the first bytes and the second after odd rows
// are looked up.
template <bool tables = false>
KOTRAN_WIDEST __m512i euc_pairs_as_sjis_widest(__m512i v, __m512i before, uint64_t leads, uint64_t trails) {
  const __m512i jis = _mm512_and_si512(v, widest_constant(0x7F));
  const uint64_t odd_row = _mm512_test_epi8_mask(before, widest_constant(1));
  const __m512i after_even = _mm512_add_epi8(jis, widest_constant(0x7E));
  __m512i lead, after_odd;
  if constexpr (tables) {
    lead = look_up_bytes_128(v, _mm512_load_si512(SJIS_BYTE_TABLES.lead), _mm512_load_si512(SJIS_BYTE_TABLES.lead + 64));
    after_odd = look_up_bytes_128(v, _mm512_load_si512(SJIS_BYTE_TABLES.after_odd),
                                  _mm512_load_si512(SJIS_BYTE_TABLES.after_odd + 64));
  } else {
    // First byte: 0x81 + (row - 0x21) / 2, and 0x40 more from row 0x5F on.
    const __m512i half =
        _mm512_and_si512(_mm512_srli_epi16(_mm512_sub_epi8(jis, widest_constant(0x21)), 1), widest_constant(0x7F));
    lead = _mm512_add_epi8(half, widest_constant(static_cast<char>(0x81)));
    lead = _mm512_mask_add_epi8(lead, _mm512_cmpgt_epu8_mask(jis, widest_constant(0x5E)), lead, widest_constant(0x40));
    // Second byte: after an odd row, cell + 0x1F (+ 1 from cell 0x60 on);
    // after an even row, cell + 0x7E.
    after_odd = _mm512_add_epi8(jis, widest_constant(0x1F));
    after_odd = _mm512_mask_add_epi8(after_odd, _mm512_cmpgt_epu8_mask(jis, widest_constant(0x5F)), after_odd,
                                     widest_constant(1));
  }
  const __m512i trail = _mm512_mask_mov_epi8(after_even, odd_row, after_odd);
  const __m512i out = _mm512_mask_mov_epi8(v, leads, lead);
  return _mm512_mask_mov_epi8(out, trails, trail);
}

// The 64 bytes of v with each pair of EUC (rows 1-84; leads marking the
// first bytes) in Shift-JIS, as store_euc_as_sjis stores them.
KOTRAN_WIDEST __m512i euc_as_sjis_widest(__m512i v, uint64_t leads) {
  return euc_pairs_as_sjis_widest(v, widest_byte_up(v), leads, leads << 1);
}

// As euc_plain_units_widest<true>, for the 64 bytes at p when carried says
// that a pair begun before them takes the first (a second byte checked
// already); a pair begun at the last takes the byte after them, p[64].
// Where kana says so, SS2 and a half-width katakana are a unit too (never
// one begun at the last); the leads are then the pairs' alone.
// The classes of the 64 bytes of EUC at p that euc_carried_units_widest
// takes (see EucCarriedBytes64).
KOTRAN_WIDEST EucCarriedBytes64 classify_euc_carried_bytes_widest(const unsigned char* p, bool kana) {
  const __m512i v = widest_load(p);
  return {_mm512_movepi8_mask(v), widest_in_range(v, 0xA1, 0xFE),
          _mm512_cmpge_epu8_mask(v, widest_constant(static_cast<char>(0xF5))),
          kana ? _mm512_cmpeq_epi8_mask(v, widest_constant(static_cast<char>(SS2))) & widest_in_range(v, 0xA1, 0xDF) >> 1
               : 0};
}

KOTRAN_WIDEST PlainUnits euc_carried_units_of_widest(const unsigned char* p, const EucCarriedBytes64& c,
                                                     uint64_t carried) {
  const uint64_t high = c.high & ~carried;
  const uint64_t last_trail = p[64] - 0xA1u <= 0xFEu - 0xA1u ? 1 : 0;
  // SS2 and its katakana are a pair of high bytes among the others.
  const uint64_t leads = pair_starts_64(high);
  const uint64_t trails = high & ~leads;
  const uint64_t kana_leads = leads & c.ss2_kana;
  uint64_t bad = (high & ~c.euc & ~kana_leads) | (leads & ~(trails >> 1 | last_trail << 63)) | (leads & c.stop);
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return units_before_64(bad, leads & ~kana_leads);
}

KOTRAN_WIDEST PlainUnits euc_carried_units_widest(const unsigned char* p, uint64_t carried, bool kana) {
  return euc_carried_units_of_widest(p, classify_euc_carried_bytes_widest(p, kana), carried);
}

// Stores at o the 64 bytes at p whose units are u in Shift-JIS, as
// store_euc_as_sjis_widest, a pair begun before them taking the first where
// carried says so (whose first byte, p[-1], is then read; otherwise nothing
// before p); each SS2 among the units is dropped before its katakana, which
// stays as it is. Returns o past the units' bytes; the store is 64 bytes at o.
template <bool compress>
KOTRAN_WIDEST unsigned char* store_carried_euc_as_sjis_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                              uint64_t carried) {
  const __m512i v = widest_load(p);
  const __m512i before = _mm512_maskz_loadu_epi8(~uint64_t{0} << (carried ^ 1), p - 1);
  const __m512i out = euc_pairs_as_sjis_widest<compress>(v, before, u.leads, u.leads << 1 | carried);
  // Within the units, every SS2 begins a katakana.
  const uint64_t ss2 = _bzhi_u64(_mm512_cmpeq_epi8_mask(v, widest_constant(static_cast<char>(SS2))), u.length);
  if (ss2 == 0) {
    _mm512_storeu_si512(o, out);
    return o + u.length;
  }
  unsigned char* const end = o + u.length - __builtin_popcountll(ss2);
  store_kept_widest<compress>(o, out, ~ss2);
  return end;
}

// As store_euc_as_sjis, for the 64 bytes at p.
KOTRAN_WIDEST void store_euc_as_sjis_widest(unsigned char* o, const unsigned char* p, uint64_t leads) {
  _mm512_storeu_si512(o, euc_as_sjis_widest(widest_load(p), leads));
}

// Stores at o the 64 bytes at p, pairs of EUC bytes, in JIS (the high bit cleared).
KOTRAN_WIDEST void store_euc_as_jis_widest(unsigned char* o, const unsigned char* p) {
  _mm512_storeu_si512(o, _mm512_and_si512(widest_load(p), widest_constant(0x7F)));
}

// Stores at o the 64 bytes at p as they are.
KOTRAN_WIDEST void store_copy_widest(unsigned char* o, const unsigned char* p) {
  _mm512_storeu_si512(o, widest_load(p));
}

}  // namespace kotran

#endif
