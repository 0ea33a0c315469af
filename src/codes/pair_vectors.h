// A vector of bytes at a time: where the plain units of EUC and Shift-JIS
// text and the pairs of JIS kanji text lie, and the bytes of the codes of
// rows 1-94 they hold in another code of the same length. The converters'
// tight loops and recognition use them on the bytes in hand; the byte loops
// remain the reference they are tested against.
#pragma once

#include "codes/hot.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

// The mark of a function of the wide path: compiled for AVX2 whatever the
// build's target, and called only where the processor has it. Not forced
// inline (a function of another target may not be), but small enough to be
// inlined into the wide path's own function, which is compiled for AVX2.
#if defined(__SSE2__) && defined(__GNUC__)
#define KOTRAN_WIDE __attribute__((target("avx2"))) inline
#endif

namespace kotran {

#if defined(__SSE2__)
inline constexpr bool PAIR_VECTORS = true;

// Bytes looked at in one step.
inline constexpr unsigned VECTOR_WIDTH = 32;

// The plain units at the start of a chunk: bit i stands for byte i.
struct PlainUnits {
  unsigned length;  // bytes from the start that are plain units, 0-32 (64 on the widest path)
  uint64_t leads;   // first bytes of the pairs among them
};

// Bit i set for each of the 32 bytes at p that is at least 0x80, in
// 0xA1-0xFE, or a stop: ESC, or with into_sjis a byte 0xF5 or above (the
// first byte of rows 85-94).
struct EucBytes {
  uint32_t high, euc, stop;
};

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

// The first bytes of pairs among bytes that each start a pair unless they end
// one (bit i for byte i): the first, third, ... of each run. The runs that
// start at an even place are found by letting a carry run through each from
// its first bit.
KOTRAN_HOT uint64_t pair_starts(uint64_t run_bytes) {
  constexpr uint64_t EVEN = 0x55555555;
  constexpr uint64_t ODD = 0xAAAAAAAA;
  const uint64_t starts = run_bytes & ~(run_bytes << 1);
  const uint64_t even_runs = ((run_bytes + (starts & EVEN)) ^ run_bytes) & run_bytes;
  return (even_runs & EVEN) | (run_bytes & ~even_runs & ODD);
}

// The count of the first bytes up to the first bad one, and the pairs begun
// before it.
KOTRAN_HOT PlainUnits units_before(uint64_t bad, uint64_t leads) {
  const unsigned length = static_cast<unsigned>(__builtin_ctzll(bad | (uint64_t{1} << 32)));
  return {length, leads & ((uint64_t{1} << length) - 1)};
}

// Splits the 32 bytes at p, which start a unit, as the EUC reader does, and
// says how many of them from the start are plain units: bytes below 0x80
// other than ESC, and pairs whose bytes both lie in 0xA1-0xFE. The count
// stops at the first other unit (SS2, SS3, a byte 0x80-0xA0 or 0xFF, a pair
// with such a second byte, a first byte followed by one below 0x80) and
// before a first byte whose second lies past the 32.
// Into Shift-JIS, ESC is a byte like any other, and a pair of rows 85-94
// (first byte 0xF5-0xFE) stops the count instead: some of those rows take
// lead bytes of their own.
// The same from the classes of the 32 bytes.
template <bool into_sjis>
KOTRAN_HOT PlainUnits euc_units_of(const EucBytes& b) {
  // Every high byte starts a pair or ends one.
  const uint64_t high = b.high;
  const uint64_t leads = pair_starts(high);
  const uint64_t trails = high & ~leads;
  uint64_t bad = (high & ~uint64_t{b.euc}) | (leads & ~(trails >> 1));
  bad |= into_sjis ? leads & b.stop : b.stop;
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return units_before(bad, leads);
}

template <bool into_sjis = false>
KOTRAN_HOT PlainUnits euc_plain_units(const unsigned char* p) {
  return euc_units_of<into_sjis>(classify_euc_bytes<into_sjis>(p));
}

// x <= limit for each unsigned byte: 0xFF where it holds.
KOTRAN_HOT __m128i at_most(__m128i x, unsigned char limit) {
  return _mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(static_cast<char>(limit))), _mm_setzero_si128());
}

// first <= x <= last for each unsigned byte.
KOTRAN_HOT __m128i in_range(__m128i x, unsigned char first, unsigned char last) {
  return at_most(_mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(first))), static_cast<unsigned char>(last - first));
}

// Bit i set for each of the 32 bytes at p that is at least 0x80, a lead
// byte (0x81-0x9F, 0xE0-0xFE), a lead byte of no row 1-94 (0xF0-0xFE), or a
// trail byte of those rows (0x40-0x7E, 0x80-0xFC).
struct SjisBytes {
  uint32_t high, lead, far_lead, trail;
};

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

// Splits the 32 bytes at p, which start a unit, as the Shift-JIS reader
// does, and says how many of them from the start are plain units: bytes below
// 0x80, and pairs of rows 1-94 (a lead byte 0x81-0x9F or 0xE0-0xEF, a trail
// byte 0x40-0x7E or 0x80-0xFC). The count stops at the first other unit
// (half-width katakana, 0x80, 0xFF, a pair of another row or with another
// trail byte) and before a lead byte whose trail lies past the 32.
KOTRAN_HOT PlainUnits sjis_units_of(const SjisBytes& b) {
  // A lead byte takes the byte after it, whatever that is.
  const uint64_t leads = pair_starts(b.lead);
  const uint64_t trails = leads << 1;
  uint64_t bad = (uint64_t{b.high} & ~trails & ~uint64_t{b.lead}) | (leads & b.far_lead);
  // A bad trail byte, or one past the 32, stops the count at its pair.
  bad |= (trails & ~uint64_t{b.trail}) >> 1;
  return units_before(bad, leads);
}

KOTRAN_HOT PlainUnits sjis_plain_units(const unsigned char* p) { return sjis_units_of(classify_sjis_bytes(p)); }

// The wide path's classes of the same 32 bytes, in one AVX2 register.
KOTRAN_WIDE __m256i wide_at_most(__m256i x, unsigned char limit) {
  return _mm256_cmpeq_epi8(_mm256_subs_epu8(x, _mm256_set1_epi8(static_cast<char>(limit))), _mm256_setzero_si256());
}

KOTRAN_WIDE __m256i wide_in_range(__m256i x, unsigned char first, unsigned char last) {
  return wide_at_most(_mm256_sub_epi8(x, _mm256_set1_epi8(static_cast<char>(first))),
                      static_cast<unsigned char>(last - first));
}

KOTRAN_WIDE uint32_t wide_mask(__m256i x) { return static_cast<uint32_t>(_mm256_movemask_epi8(x)); }

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

// A byte mask (0xFF where bit i of bits is set) for the 16 bits of bits.
KOTRAN_HOT __m128i byte_mask(unsigned bits) {
  const uint64_t low = 0x0101010101010101ULL * (bits & 0xFF);
  const uint64_t high = 0x0101010101010101ULL * ((bits >> 8) & 0xFF);
  const __m128i spread = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
  const __m128i select = _mm_set_epi64x(static_cast<long long>(0x8040201008040201ULL),
                                        static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
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

// How many bytes from the start of the units are whole pairs, one after the
// other.
KOTRAN_HOT unsigned leading_pair_bytes(PlainUnits units) {
  const uint64_t pairs = units.leads | units.leads << 1;
  return ~pairs == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(~pairs));
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

// The wide path's stores of the same-length steps: the 32 bytes in one AVX2
// register, by the same arithmetic as the two halves above.

// A byte mask (0xFF where bit i of bits is set) for the 32 bits of bits.
KOTRAN_WIDE __m256i wide_byte_mask(uint32_t bits) {
  // Byte k of the result looks at byte k / 8 of bits.
  const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)),
                                             _mm256_setr_epi64x(0, 0x0101010101010101LL, 0x0202020202020202LL,
                                                                0x0303030303030303LL));
  const __m256i select = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, select), select);
}

// x one byte up (byte i + 1 takes byte i; byte 0 takes 0), across the two lanes.
KOTRAN_WIDE __m256i wide_byte_up(__m256i x) {
  return _mm256_alignr_epi8(x, _mm256_permute2x128_si256(x, x, 0x08), 15);
}

// x one byte down (byte i takes byte i + 1; byte 31 takes 0), across the two lanes.
KOTRAN_WIDE __m256i wide_byte_down(__m256i x) {
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(x, x, 0x81), x, 1);
}

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

// Bit i set for each of the 32 bytes at p that is a CR, and that is an LF.
struct LineEndBytes {
  uint32_t cr, lf;
};

KOTRAN_HOT LineEndBytes line_end_bytes(const unsigned char* p) {
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  auto bits = [&](char c) {
    const __m128i x = _mm_set1_epi8(c);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v0, x))) |
           static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v1, x))) << 16;
  };
  return {bits(0x0D), bits(0x0A)};
}

KOTRAN_WIDE LineEndBytes line_end_bytes_wide(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  return {wide_mask(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0D))), wide_mask(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0A)))};
}

#else
// Without SSE2 the byte loops serve alone; these are declared for the
// readers' code that PAIR_VECTORS leaves out, and never called.
inline constexpr bool PAIR_VECTORS = false;
inline constexpr unsigned VECTOR_WIDTH = 32;
struct PlainUnits {
  unsigned length;
  uint64_t leads;
};
template <bool into_sjis = false>
PlainUnits euc_plain_units(const unsigned char* p);
PlainUnits sjis_plain_units(const unsigned char* p);
template <bool into_sjis = false>
PlainUnits euc_plain_units_wide(const unsigned char* p);
PlainUnits sjis_plain_units_wide(const unsigned char* p);
void store_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_euc_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_jis_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
template <bool far_rows = false>
unsigned jis_pair_length_wide(const unsigned char* p);
void store_jis_as_sjis_wide(unsigned char* o, const unsigned char* p);
void store_jis_as_euc_wide(unsigned char* o, const unsigned char* p);
unsigned leading_pair_bytes(PlainUnits units);
template <bool far_rows = false>
unsigned jis_pair_length(const unsigned char* p);
void store_euc_as_sjis(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_euc_as_jis(unsigned char* o, const unsigned char* p);
void store_sjis_as_euc(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_jis(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_jis_as_sjis(unsigned char* o, const unsigned char* p);
void store_jis_as_euc(unsigned char* o, const unsigned char* p);
struct LineEndBytes {
  uint32_t cr, lf;
};
LineEndBytes line_end_bytes(const unsigned char* p);
LineEndBytes line_end_bytes_wide(const unsigned char* p);
#endif

}  // namespace kotran
