// The SSE2 kernels of Shift-JIS, EUC and JIS pairs: where the plain units
// of 32 bytes lie (two registers of 16), and the bytes of the codes of rows
// 1-94 they hold in another code of the same length. The byte loops remain
// the reference they are tested against.
#pragma once

#include "kernels/sse2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

template <bool into_sjis>
KOTRAN_HOT EucBytes classify_euc_bytes(const unsigned char* p) {
  auto masks = [](__m128i v, unsigned& high, unsigned& euc, unsigned& stop) {
    // Signed compares: 0xA1-0xFE is -95 to -2.
    const __m128i in_euc = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(0xA0))),
                                         _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(0xFF))));
    high = static_cast<unsigned>(_mm_movemask_epi8(v));
    euc = static_cast<unsigned>(_mm_movemask_epi8(in_euc));
    // 0xF5 and above less 0x75 keep the top bit; nothing else does.
    const __m128i s = into_sjis ? _mm_subs_epu8(v, _mm_set1_epi8(0x75)) : _mm_cmpeq_epi8(v, _mm_set1_epi8(0x1B));
    stop = static_cast<unsigned>(_mm_movemask_epi8(s));
  };
  unsigned h0, e0, s0, h1, e1, s1;
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), h0, e0, s0);
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), h1, e1, s1);
  return {h0 | h1 << 16, e0 | e1 << 16, s0 | s1 << 16};
}

template <bool into_sjis = false>
KOTRAN_HOT PlainUnits euc_plain_units(const unsigned char* p) {
  return euc_units_of<into_sjis>(classify_euc_bytes<into_sjis>(p));
}

KOTRAN_HOT SjisBytes classify_sjis_bytes(const unsigned char* p) {
  auto masks = [](__m128i v, unsigned& high, unsigned& lead, unsigned& far_lead, unsigned& trail) {
    const __m128i far = in_range(v, 0xF0, 0xFE);
    high = static_cast<unsigned>(_mm_movemask_epi8(v));
    lead = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(in_range(v, 0x81, 0x9F), in_range(v, 0xE0, 0xFE))));
    far_lead = static_cast<unsigned>(_mm_movemask_epi8(far));
    trail = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(in_range(v, 0x40, 0x7E), in_range(v, 0x80, 0xFC))));
  };
  unsigned h0, l0, f0, t0, h1, l1, f1, t1;
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), h0, l0, f0, t0);
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), h1, l1, f1, t1);
  return {h0 | h1 << 16, l0 | l1 << 16, f0 | f1 << 16, t0 | t1 << 16};
}

KOTRAN_HOT PlainUnits sjis_plain_units(const unsigned char* p) { return sjis_units_of(classify_sjis_bytes(p)); }

// How many of the 16 bytes at p, from the first, are whole pairs of bytes
// 0x21-0x7E (an even number, 0-16); with far_rows, pairs of rows 1-84 (a
// first byte below 0x75): into Shift-JIS some of rows 85-94 take lead bytes
// of their own.
template <bool far_rows = false>
KOTRAN_HOT unsigned jis_pair_length(const unsigned char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // The first byte of each pair is the low byte of a 16-bit lane.
  const __m128i limit = far_rows ? _mm_set1_epi16(0x7F75) : _mm_set1_epi8(0x7F);
  const __m128i in_range = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmplt_epi8(v, limit));
  const unsigned ok = static_cast<unsigned>(_mm_movemask_epi8(in_range));
  return static_cast<unsigned>(__builtin_ctz(~ok | 0x10000u)) & ~1u;
}

// The Shift-JIS bytes of the pairs in jis (7-bit JIS bytes of rows 1-94;
// first bytes where leads is set, second bytes where trails is set; rows
// holds each byte's predecessor), with the other bytes taken from others.
KOTRAN_HOT __m128i sjis_from_jis_pairs(__m128i jis, __m128i rows, __m128i leads, __m128i trails, __m128i others) {
  const __m128i low7 = _mm_set1_epi8(0x7F);
  // First byte: 0x81 + (row - 0x21) / 2, and 0x40 more from row 0x5F on.
  const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_sub_epi8(jis, _mm_set1_epi8(0x21)), 1), low7);
  __m128i lead = _mm_add_epi8(half, _mm_set1_epi8(static_cast<char>(0x81)));
  lead = _mm_add_epi8(lead, _mm_and_si128(_mm_cmpgt_epi8(jis, _mm_set1_epi8(0x5E)), _mm_set1_epi8(0x40)));
  // Second byte: after an odd row, cell + 0x1F (+ 1 from cell 0x60 on);
  // after an even row, cell + 0x7E.
  const __m128i odd_row = _mm_cmpeq_epi8(_mm_and_si128(rows, _mm_set1_epi8(1)), _mm_set1_epi8(1));
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(jis, _mm_set1_epi8(0x5F)), _mm_set1_epi8(1));
  const __m128i after_odd = _mm_add_epi8(_mm_add_epi8(jis, _mm_set1_epi8(0x1F)), upper);
  const __m128i after_even = _mm_add_epi8(jis, _mm_set1_epi8(0x7E));
  const __m128i trail = _mm_or_si128(_mm_and_si128(odd_row, after_odd), _mm_andnot_si128(odd_row, after_even));
  const __m128i pairs = _mm_or_si128(_mm_and_si128(leads, lead), _mm_and_si128(trails, trail));
  return _mm_or_si128(pairs, _mm_andnot_si128(_mm_or_si128(leads, trails), others));
}

// Stores at o the 32 bytes at p with the EUC pairs among them (first bytes
// at leads) written in Shift-JIS; the other bytes stay as they are.
KOTRAN_HOT void store_euc_as_sjis(unsigned char* o, const unsigned char* p, uint32_t leads) {
  const __m128i low7 = _mm_set1_epi8(0x7F);
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i jis0 = _mm_and_si128(v0, low7);
  const __m128i jis1 = _mm_and_si128(v1, low7);
  const __m128i leads0 = byte_mask(leads & 0xFFFF);
  const __m128i leads1 = byte_mask(leads >> 16);
  // A pair may straddle the two halves.
  const __m128i trails0 = _mm_slli_si128(leads0, 1);
  const __m128i trails1 = _mm_or_si128(_mm_slli_si128(leads1, 1), _mm_srli_si128(leads0, 15));
  const __m128i rows0 = _mm_slli_si128(jis0, 1);
  const __m128i rows1 = _mm_or_si128(_mm_slli_si128(jis1, 1), _mm_srli_si128(jis0, 15));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), sjis_from_jis_pairs(jis0, rows0, leads0, trails0, v0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), sjis_from_jis_pairs(jis1, rows1, leads1, trails1, v1));
}

// The JIS bytes of the Shift-JIS pairs in sjis (of rows 1-94; lead bytes
// where leads is set, trail bytes where trails is set; next holds each byte's
// successor), with high_bit set in them for EUC, and the other bytes as they
// are.
KOTRAN_HOT __m128i jis_from_sjis_pairs(__m128i sjis, __m128i next, __m128i leads, __m128i trails, __m128i high_bit) {
  const __m128i top_bit = _mm_set1_epi8(static_cast<char>(0x80));
  // Row: 2 * lead + 0x1F for leads 0x81-0x9F, + 0x9F for 0xE0-0xEF (on 8
  // bits), and one more when the trail byte is 0x9F or above.
  const __m128i far_lead = _mm_andnot_si128(at_most(sjis, 0xDF), top_bit);
  __m128i row = _mm_add_epi8(_mm_add_epi8(sjis, sjis), _mm_add_epi8(_mm_set1_epi8(0x1F), far_lead));
  row = _mm_sub_epi8(row, _mm_andnot_si128(at_most(next, 0x9E), _mm_set1_epi8(-1)));
  // Cell: trail - 0x1F below 0x80, - 0x20 from 0x80, - 0x7E from 0x9F.
  __m128i cell = _mm_sub_epi8(sjis, _mm_set1_epi8(0x1F));
  cell = _mm_add_epi8(cell, _mm_cmplt_epi8(sjis, _mm_setzero_si128()));
  cell = _mm_sub_epi8(cell, _mm_andnot_si128(at_most(sjis, 0x9E), _mm_set1_epi8(0x5E)));
  const __m128i pairs = _mm_or_si128(_mm_and_si128(leads, row), _mm_and_si128(trails, cell));
  return _mm_or_si128(_mm_or_si128(pairs, _mm_and_si128(_mm_or_si128(leads, trails), high_bit)),
                      _mm_andnot_si128(_mm_or_si128(leads, trails), sjis));
}

// Stores at o the 32 bytes at p with the Shift-JIS pairs among them (lead
// bytes at leads, none at the last byte) written in JIS, or in EUC with
// high_bit 0x80; the other bytes stay as they are.
KOTRAN_HOT void store_sjis_as_jis_bytes(unsigned char* o, const unsigned char* p, uint32_t leads, char high_bit) {
  const __m128i high = _mm_set1_epi8(high_bit);
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i leads0 = byte_mask(leads & 0xFFFF);
  const __m128i leads1 = byte_mask(leads >> 16);
  // A pair may straddle the two halves.
  const __m128i trails0 = _mm_slli_si128(leads0, 1);
  const __m128i trails1 = _mm_or_si128(_mm_slli_si128(leads1, 1), _mm_srli_si128(leads0, 15));
  const __m128i next0 = _mm_or_si128(_mm_srli_si128(v0, 1), _mm_slli_si128(v1, 15));
  const __m128i next1 = _mm_srli_si128(v1, 1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), jis_from_sjis_pairs(v0, next0, leads0, trails0, high));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), jis_from_sjis_pairs(v1, next1, leads1, trails1, high));
}

KOTRAN_HOT void store_sjis_as_euc(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes(o, p, leads, static_cast<char>(0x80));
}

KOTRAN_HOT void store_sjis_as_jis(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes(o, p, leads, 0);
}

// Stores at o the 32 bytes at p, EUC, with the high bit cleared: the JIS
// bytes of the pairs among them.
KOTRAN_HOT void store_euc_as_jis(unsigned char* o, const unsigned char* p) {
  const __m128i low7 = _mm_set1_epi8(0x7F);
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_and_si128(v0, low7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), _mm_and_si128(v1, low7));
}

// Stores at o the 16 bytes at p, pairs of JIS bytes, in Shift-JIS.
KOTRAN_HOT void store_jis_as_sjis(unsigned char* o, const unsigned char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i leads = _mm_set1_epi16(0x00FF);  // every even byte
  const __m128i trails = _mm_set1_epi16(static_cast<short>(0xFF00));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), sjis_from_jis_pairs(v, _mm_slli_si128(v, 1), leads, trails, v));
}

// Stores at o the 16 bytes at p, pairs of JIS bytes, in EUC.
KOTRAN_HOT void store_jis_as_euc(unsigned char* o, const unsigned char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_or_si128(v, _mm_set1_epi8(static_cast<char>(0x80))));
}

}  // namespace kotran

#endif
