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
  const __m256i in_euc = _mm256_and_si256(_mm256_cmpgt_epi8(v, wide_constant(static_cast<char>(0xA0))),
                                          _mm256_cmpgt_epi8(wide_constant(static_cast<char>(0xFF)), v));
  const __m256i stop = into_sjis ? _mm256_subs_epu8(v, wide_constant(0x75)) : _mm256_cmpeq_epi8(v, wide_constant(0x1B));
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
  const __m256i low7 = wide_constant(0x7F);
  const __m256i half = _mm256_and_si256(_mm256_srli_epi16(_mm256_sub_epi8(jis, wide_constant(0x21)), 1), low7);
  __m256i lead = _mm256_add_epi8(half, wide_constant(static_cast<char>(0x81)));
  lead = _mm256_add_epi8(lead, _mm256_and_si256(_mm256_cmpgt_epi8(jis, wide_constant(0x5E)), wide_constant(0x40)));
  const __m256i odd_row = _mm256_cmpeq_epi8(_mm256_and_si256(rows, wide_constant(1)), wide_constant(1));
  const __m256i upper = _mm256_and_si256(_mm256_cmpgt_epi8(jis, wide_constant(0x5F)), wide_constant(1));
  const __m256i after_odd = _mm256_add_epi8(_mm256_add_epi8(jis, wide_constant(0x1F)), upper);
  const __m256i after_even = _mm256_add_epi8(jis, wide_constant(0x7E));
  const __m256i trail = _mm256_blendv_epi8(after_even, after_odd, odd_row);
  const __m256i pairs = _mm256_or_si256(_mm256_and_si256(leads, lead), _mm256_and_si256(trails, trail));
  return _mm256_or_si256(pairs, _mm256_andnot_si256(_mm256_or_si256(leads, trails), others));
}

KOTRAN_WIDE void store_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, uint32_t leads) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i jis = _mm256_and_si256(v, wide_constant(0x7F));
  const __m256i lead_bytes = wide_byte_mask(leads);
  const __m256i out = wide_sjis_from_jis_pairs(jis, wide_byte_up(jis), lead_bytes, wide_byte_up(lead_bytes), v);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), out);
}

// The 32 bytes of sjis with each pair of Shift-JIS as its JIS bytes (with
// high_bit set), as store_sjis_as_jis_bytes stores them: lead_bytes marks the
// first bytes and trail_bytes the second ones, next holds each byte's successor.
KOTRAN_WIDE __m256i wide_sjis_pairs_as_jis(__m256i sjis, __m256i next, __m256i lead_bytes, __m256i trail_bytes,
                                           char high_bit) {
  const __m256i top_bit = wide_constant(static_cast<char>(0x80));
  const __m256i far_lead = _mm256_andnot_si256(wide_at_most(sjis, 0xDF), top_bit);
  __m256i row = _mm256_add_epi8(_mm256_add_epi8(sjis, sjis), _mm256_add_epi8(wide_constant(0x1F), far_lead));
  row = _mm256_sub_epi8(row, _mm256_andnot_si256(wide_at_most(next, 0x9E), wide_constant(-1)));
  __m256i cell = _mm256_sub_epi8(sjis, wide_constant(0x1F));
  cell = _mm256_add_epi8(cell, _mm256_cmpgt_epi8(_mm256_setzero_si256(), sjis));
  cell = _mm256_sub_epi8(cell, _mm256_andnot_si256(wide_at_most(sjis, 0x9E), wide_constant(0x5E)));
  const __m256i either = _mm256_or_si256(lead_bytes, trail_bytes);
  const __m256i pairs = _mm256_or_si256(_mm256_and_si256(lead_bytes, row), _mm256_and_si256(trail_bytes, cell));
  return _mm256_or_si256(_mm256_or_si256(pairs, _mm256_and_si256(either, _mm256_set1_epi8(high_bit))),
                         _mm256_andnot_si256(either, sjis));
}

KOTRAN_WIDE void store_sjis_as_jis_bytes_wide(unsigned char* o, const unsigned char* p, uint32_t leads, char high_bit) {
  const __m256i sjis = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i lead_bytes = wide_byte_mask(leads);
  const __m256i out = wide_sjis_pairs_as_jis(sjis, wide_byte_down(sjis), lead_bytes, wide_byte_up(lead_bytes), high_bit);
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
  const __m256i limit = far_rows ? wide_opaque(_mm256_set1_epi16(0x7F75)) : wide_constant(0x7F);
  const __m256i in_range = _mm256_and_si256(_mm256_cmpgt_epi8(v, wide_constant(0x20)), _mm256_cmpgt_epi8(limit, v));
  const uint64_t ok = wide_mask(in_range);
  return static_cast<unsigned>(__builtin_ctzll(~ok | (uint64_t{1} << 32))) & ~1u;
}

// Stores at o the 32 bytes at p, pairs of JIS bytes, in Shift-JIS or EUC.
KOTRAN_WIDE void store_jis_as_sjis_wide(unsigned char* o, const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i leads = wide_opaque(_mm256_set1_epi16(0x00FF));  // every even byte
  const __m256i trails = wide_opaque(_mm256_set1_epi16(static_cast<short>(0xFF00)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), wide_sjis_from_jis_pairs(v, wide_byte_up(v), leads, trails, v));
}

KOTRAN_WIDE void store_jis_as_euc_wide(unsigned char* o, const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_or_si256(v, wide_constant(static_cast<char>(0x80))));
}

// Blocks of 64 bytes in two registers. Into JIS, a block's runs of pairs
// and of ASCII go out as the widest path's do, half as many steps as with
// 32. Between Shift-JIS and EUC, the carried blocks: each block's position
// fixed, so that no load waits for the last block's classes; only whether a
// pair crosses the edge between blocks is carried. The arithmetic of the
// masks is the widest path's, on the two registers' 32 bits each.

// The count of the 64 bytes before the first set bit of bad (64 for none),
// and the pairs begun before it.
KOTRAN_WIDE PlainUnits wide_units_before_block(uint64_t bad, uint64_t leads) {
  const unsigned length = static_cast<unsigned>(_tzcnt_u64(bad));  // 64 for none
  return {length, leads & (bad - 1) & ~bad};  // the bits below the first bad one; all for none
}

// The count of the 64 bits before the first set bit: 64 for none.
KOTRAN_WIDE unsigned wide_bits_before_first(uint64_t bits) {
  return static_cast<unsigned>(_tzcnt_u64(bits));
}

KOTRAN_WIDE uint64_t wide_join(uint32_t low, uint32_t high) { return uint64_t{low} | uint64_t{high} << 32; }

// As sjis_plain_units, for the 64 bytes at p (a block with nothing
// carried into it): a lead byte whose trail lies past them stops the count.
KOTRAN_WIDE PlainUnits sjis_plain_units_block_wide(const unsigned char* p) {
  const SjisBytes a = classify_sjis_bytes_wide(p);
  const SjisBytes b = classify_sjis_bytes_wide(p + 32);
  const uint64_t high = wide_join(a.high, b.high), lead = wide_join(a.lead, b.lead);
  const uint64_t far_lead = wide_join(a.far_lead, b.far_lead), trail = wide_join(a.trail, b.trail);
  const uint64_t leads = pair_starts_64(lead);
  const uint64_t trails = leads << 1;
  uint64_t bad = (high & ~trails & ~lead) | (leads & far_lead);
  bad |= (trails & ~trail) >> 1;
  bad |= leads & (uint64_t{1} << 63);
  return wide_units_before_block(bad, leads);
}

// As euc_plain_units, for the 64 bytes at p (a block with nothing carried
// into it): a first byte whose second lies past them stops the count.
template <bool into_sjis = false>
KOTRAN_WIDE PlainUnits euc_plain_units_block_wide(const unsigned char* p) {
  const EucBytes a = classify_euc_bytes_wide<into_sjis>(p);
  const EucBytes b = classify_euc_bytes_wide<into_sjis>(p + 32);
  const uint64_t high = wide_join(a.high, b.high), euc = wide_join(a.euc, b.euc), stop = wide_join(a.stop, b.stop);
  const uint64_t leads = pair_starts_64(high);
  const uint64_t trails = high & ~leads;
  uint64_t bad = (high & ~euc) | (leads & ~(trails >> 1));
  bad |= into_sjis ? leads & stop : stop;
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return wide_units_before_block(bad, leads);
}

// As store_sjis_as_jis, for the 64 bytes at p (leads marking the first
// bytes of pairs that lie wholly within them).
KOTRAN_WIDE void store_sjis_as_jis_block_wide(unsigned char* o, const unsigned char* p, uint64_t leads) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const uint64_t trails = leads << 1;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o),
                      wide_sjis_pairs_as_jis(low, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)),
                                             wide_byte_mask(static_cast<uint32_t>(leads)),
                                             wide_byte_mask(static_cast<uint32_t>(trails)), 0));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32),
                      wide_sjis_pairs_as_jis(high, wide_byte_down(high), wide_byte_mask(static_cast<uint32_t>(leads >> 32)),
                                             wide_byte_mask(static_cast<uint32_t>(trails >> 32)), 0));
}

// As sjis_plain_units, for the 64 bytes at p when carried says that a pair
// begun before them takes the first (a trail byte checked already); a pair
// begun at the last takes the byte after them, p[64], and so counts.
KOTRAN_WIDE PlainUnits sjis_carried_units_wide(const unsigned char* p, uint64_t carried) {
  const SjisBytes a = classify_sjis_bytes_wide(p);
  const SjisBytes b = classify_sjis_bytes_wide(p + 32);
  const SjisBlockPairs u = sjis_block_pairs(wide_join(a.high, b.high), wide_join(a.lead, b.lead),
                                            wide_join(a.far_lead, b.far_lead), wide_join(a.trail, b.trail), carried,
                                            p[64]);
  return wide_units_before_block(u.bad, u.leads);
}

// Stores at o the 64 bytes at p whose units are u as JIS bytes with
// high_bit set, as store_sjis_as_euc does, a pair begun before them taking
// the first where carried says so, and returns o past the units. Reads
// p[64], which a pair begun at the last takes.
KOTRAN_WIDE unsigned char* store_carried_sjis_pairs_wide(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                         uint64_t carried, char high_bit) {
  const uint64_t trails = u.leads << 1 | carried;
  for (unsigned half = 0; half < 2; ++half) {
    const unsigned char* const at = p + 32 * half;
    const __m256i sjis = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    const __m256i out = wide_sjis_pairs_as_jis(sjis, next, wide_byte_mask(static_cast<uint32_t>(u.leads >> 32 * half)),
                                               wide_byte_mask(static_cast<uint32_t>(trails >> 32 * half)), high_bit);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32 * half), out);
  }
  return o + u.length;
}

// Into EUC, and into JIS.
KOTRAN_WIDE unsigned char* store_carried_sjis_as_euc_wide(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                          uint64_t carried) {
  return store_carried_sjis_pairs_wide(o, p, u, carried, static_cast<char>(0x80));
}
KOTRAN_WIDE unsigned char* store_carried_sjis_as_jis_wide(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                          uint64_t carried) {
  return store_carried_sjis_pairs_wide(o, p, u, carried, 0);
}

// As euc_plain_units<true>, for the 64 bytes at p when carried says that a
// pair begun before them takes the first (a second byte checked already); a
// pair begun at the last takes the byte after them, p[64].
KOTRAN_WIDE PlainUnits euc_carried_units_wide(const unsigned char* p, uint64_t carried) {
  const EucBytes a = classify_euc_bytes_wide<true>(p);
  const EucBytes b = classify_euc_bytes_wide<true>(p + 32);
  const uint64_t high = wide_join(a.high, b.high) & ~carried;
  const uint64_t euc = wide_join(a.euc, b.euc), stop = wide_join(a.stop, b.stop);
  const uint64_t last_trail = p[64] - 0xA1u <= 0xFEu - 0xA1u ? 1 : 0;
  const uint64_t leads = pair_starts_64(high);
  const uint64_t trails = high & ~leads;
  uint64_t bad = (high & ~euc) | (leads & ~(trails >> 1 | last_trail << 63)) | (leads & stop);
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return wide_units_before_block(bad, leads);
}

// Stores at o the 64 bytes at p whose units are u in Shift-JIS, as
// store_euc_as_sjis does, a pair begun before them taking the first where
// carried says so (whose first byte, p[-1], is then read; otherwise nothing
// before p), and returns o past the units.
KOTRAN_WIDE unsigned char* store_carried_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                          uint64_t carried) {
  const uint64_t trails = u.leads << 1 | carried;
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  // The byte before the first: p[-1] where a pair crosses the edge, p[0]
  // (read, never used) where none does.
  const unsigned char before = p[-static_cast<ptrdiff_t>(carried)];
  const __m256i first_before = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_slli_si128(_mm_cvtsi32_si128(before), 15)), _mm256_castsi256_si128(low), 1);
  // (Only the rows' low bits count, which the high bit leaves alone.)
  const __m256i rows_low = _mm256_alignr_epi8(low, first_before, 15);
  const __m256i rows_high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 31));
  const __m256i jis_low = _mm256_and_si256(low, wide_constant(0x7F));
  const __m256i jis_high = _mm256_and_si256(high, wide_constant(0x7F));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o),
                      wide_sjis_from_jis_pairs(jis_low, rows_low, wide_byte_mask(static_cast<uint32_t>(u.leads)),
                                               wide_byte_mask(static_cast<uint32_t>(trails)), low));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32),
                      wide_sjis_from_jis_pairs(jis_high, rows_high, wide_byte_mask(static_cast<uint32_t>(u.leads >> 32)),
                                               wide_byte_mask(static_cast<uint32_t>(trails >> 32)), high));
  return o + u.length;
}

}  // namespace kotran

#endif
