// The AVX2 kernels of Shift-JIS, EUC and JIS pairs: the SSE2 kernels'
// classes and stores, the 32 bytes in one register.
#pragma once

#include "kernels/avx2/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

KOTRAN_WIDE SjisBytes classify_sjis_bytes_wide(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  return {wide_mask(v), wide_mask(_mm256_or_si256(wide_in_range(v, 0x81, 0x9F), wide_in_range(v, 0xE0, 0xFE))),
          wide_mask(wide_in_range(v, 0xF0, 0xFE)),
          wide_mask(_mm256_or_si256(wide_in_range(v, 0x40, 0x7E), wide_in_range(v, 0x80, 0xFC)))};
}

template <bool into_sjis>
KOTRAN_WIDE EucBytes classify_euc_bytes_wide(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  // Signed compares: 0xA1-0xFE is -95 to -2.
  const __m256i in_euc = _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(static_cast<char>(0xA0))),
                                          _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(0xFF)), v));
  const __m256i stop = into_sjis ? _mm256_subs_epu8(v, _mm256_set1_epi8(0x75)) : _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x1B));
  return {wide_mask(v), wide_mask(in_euc), wide_mask(stop)};
}

KOTRAN_WIDE PlainUnits sjis_plain_units_wide(const unsigned char* p) { return sjis_units_of(classify_sjis_bytes_wide(p)); }

template <bool into_sjis = false>
KOTRAN_WIDE PlainUnits euc_plain_units_wide(const unsigned char* p) {
  return euc_units_of<into_sjis>(classify_euc_bytes_wide<into_sjis>(p));
}

// The wide path's stores of the same-length steps: the 32 bytes in one AVX2
// register, by the same arithmetic as the two halves above.

KOTRAN_WIDE __m256i wide_sjis_from_jis_pairs(__m256i jis, __m256i rows, __m256i leads, __m256i trails, __m256i others) {
  const __m256i low7 = _mm256_set1_epi8(0x7F);
  const __m256i half = _mm256_and_si256(_mm256_srli_epi16(_mm256_sub_epi8(jis, _mm256_set1_epi8(0x21)), 1), low7);
  __m256i lead = _mm256_add_epi8(half, _mm256_set1_epi8(static_cast<char>(0x81)));
  lead = _mm256_add_epi8(lead, _mm256_and_si256(_mm256_cmpgt_epi8(jis, _mm256_set1_epi8(0x5E)), _mm256_set1_epi8(0x40)));
  const __m256i odd_row = _mm256_cmpeq_epi8(_mm256_and_si256(rows, _mm256_set1_epi8(1)), _mm256_set1_epi8(1));
  const __m256i upper = _mm256_and_si256(_mm256_cmpgt_epi8(jis, _mm256_set1_epi8(0x5F)), _mm256_set1_epi8(1));
  const __m256i after_odd = _mm256_add_epi8(_mm256_add_epi8(jis, _mm256_set1_epi8(0x1F)), upper);
  const __m256i after_even = _mm256_add_epi8(jis, _mm256_set1_epi8(0x7E));
  const __m256i trail = _mm256_blendv_epi8(after_even, after_odd, odd_row);
  const __m256i pairs = _mm256_or_si256(_mm256_and_si256(leads, lead), _mm256_and_si256(trails, trail));
  return _mm256_or_si256(pairs, _mm256_andnot_si256(_mm256_or_si256(leads, trails), others));
}

KOTRAN_WIDE void store_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, uint32_t leads) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i jis = _mm256_and_si256(v, _mm256_set1_epi8(0x7F));
  const __m256i lead_bytes = wide_byte_mask(leads);
  const __m256i out = wide_sjis_from_jis_pairs(jis, wide_byte_up(jis), lead_bytes, wide_byte_up(lead_bytes), v);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), out);
}

KOTRAN_WIDE void store_sjis_as_jis_bytes_wide(unsigned char* o, const unsigned char* p, uint32_t leads, char high_bit) {
  const __m256i sjis = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i next = wide_byte_down(sjis);
  const __m256i lead_bytes = wide_byte_mask(leads);
  const __m256i trail_bytes = wide_byte_up(lead_bytes);
  const __m256i top_bit = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m256i far_lead = _mm256_andnot_si256(wide_at_most(sjis, 0xDF), top_bit);
  __m256i row = _mm256_add_epi8(_mm256_add_epi8(sjis, sjis), _mm256_add_epi8(_mm256_set1_epi8(0x1F), far_lead));
  row = _mm256_sub_epi8(row, _mm256_andnot_si256(wide_at_most(next, 0x9E), _mm256_set1_epi8(-1)));
  __m256i cell = _mm256_sub_epi8(sjis, _mm256_set1_epi8(0x1F));
  cell = _mm256_add_epi8(cell, _mm256_cmpgt_epi8(_mm256_setzero_si256(), sjis));
  cell = _mm256_sub_epi8(cell, _mm256_andnot_si256(wide_at_most(sjis, 0x9E), _mm256_set1_epi8(0x5E)));
  const __m256i either = _mm256_or_si256(lead_bytes, trail_bytes);
  const __m256i pairs = _mm256_or_si256(_mm256_and_si256(lead_bytes, row), _mm256_and_si256(trail_bytes, cell));
  const __m256i out = _mm256_or_si256(_mm256_or_si256(pairs, _mm256_and_si256(either, _mm256_set1_epi8(high_bit))),
                                      _mm256_andnot_si256(either, sjis));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), out);
}

KOTRAN_WIDE void store_sjis_as_euc_wide(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes_wide(o, p, leads, static_cast<char>(0x80));
}

KOTRAN_WIDE void store_sjis_as_jis_wide(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes_wide(o, p, leads, 0);
}

// How many of the 32 bytes at p, from the first, are whole pairs of bytes
// 0x21-0x7E (an even number, 0-32); with far_rows, of rows 1-84, as
// jis_pair_length.
template <bool far_rows = false>
KOTRAN_WIDE unsigned jis_pair_length_wide(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i limit = far_rows ? _mm256_set1_epi16(0x7F75) : _mm256_set1_epi8(0x7F);
  const __m256i in_range =
      _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(0x20)), _mm256_cmpgt_epi8(limit, v));
  const uint64_t ok = wide_mask(in_range);
  return static_cast<unsigned>(__builtin_ctzll(~ok | (uint64_t{1} << 32))) & ~1u;
}

// Stores at o the 32 bytes at p, pairs of JIS bytes, in Shift-JIS or EUC.
KOTRAN_WIDE void store_jis_as_sjis_wide(unsigned char* o, const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i leads = _mm256_set1_epi16(0x00FF);  // every even byte
  const __m256i trails = _mm256_set1_epi16(static_cast<short>(0xFF00));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), wide_sjis_from_jis_pairs(v, wide_byte_up(v), leads, trails, v));
}

KOTRAN_WIDE void store_jis_as_euc_wide(unsigned char* o, const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_or_si256(v, _mm256_set1_epi8(static_cast<char>(0x80))));
}

}  // namespace kotran

#endif
