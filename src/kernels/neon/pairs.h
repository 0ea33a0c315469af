// The NEON kernels of Shift-JIS, EUC and JIS pairs: the SSE2 kernels'
// classes and stores, 32 bytes in two registers, their bit masks built the
// NEON way (kernels/neon/bytes.h). The byte loops remain the reference they
// are tested against.
#pragma once

#include "kernels/neon/bytes.h"
#include "kernels/units.h"

#if defined(KOTRAN_NEON_KERNELS)

namespace kotran {

template <bool into_sjis>
KOTRAN_HOT EucBytes classify_euc_bytes(const unsigned char* p) {
  const uint8x16_t v0 = vld1q_u8(p);
  const uint8x16_t v1 = vld1q_u8(p + 16);
  const uint8x16_t top = vdupq_n_u8(0x80);
  auto stop = [](uint8x16_t v) { return into_sjis ? vcgeq_u8(v, vdupq_n_u8(0xF5)) : vceqq_u8(v, vdupq_n_u8(0x1B)); };
  const uint8x16_t none = vdupq_n_u8(0);
  const uint32x4_t m = masks_of_four(vcgeq_u8(v0, top), vcgeq_u8(v1, top), in_range(v0, 0xA1, 0xFE),
                                     in_range(v1, 0xA1, 0xFE), stop(v0), stop(v1), none, none);
  return {vgetq_lane_u32(m, 0), vgetq_lane_u32(m, 1), vgetq_lane_u32(m, 2)};
}

template <bool into_sjis = false>
KOTRAN_HOT PlainUnits euc_plain_units(const unsigned char* p) {
  return euc_units_of<into_sjis>(classify_euc_bytes<into_sjis>(p));
}

KOTRAN_HOT SjisBytes classify_sjis_bytes(const unsigned char* p) {
  const uint8x16_t v0 = vld1q_u8(p);
  const uint8x16_t v1 = vld1q_u8(p + 16);
  const uint8x16_t top = vdupq_n_u8(0x80);
  auto lead = [](uint8x16_t v) { return vorrq_u8(in_range(v, 0x81, 0x9F), in_range(v, 0xE0, 0xFE)); };
  auto trail = [](uint8x16_t v) { return vorrq_u8(in_range(v, 0x40, 0x7E), in_range(v, 0x80, 0xFC)); };
  const uint32x4_t m = masks_of_four(vcgeq_u8(v0, top), vcgeq_u8(v1, top), lead(v0), lead(v1), in_range(v0, 0xF0, 0xFE),
                                     in_range(v1, 0xF0, 0xFE), trail(v0), trail(v1));
  return {vgetq_lane_u32(m, 0), vgetq_lane_u32(m, 1), vgetq_lane_u32(m, 2), vgetq_lane_u32(m, 3)};
}

KOTRAN_HOT PlainUnits sjis_plain_units(const unsigned char* p) { return sjis_units_of(classify_sjis_bytes(p)); }

// How many of the 16 bytes at p, from the first, are whole pairs of bytes
// 0x21-0x7E (an even number, 0-16); with far_rows, pairs of rows 1-84 (a
// first byte below 0x75).
template <bool far_rows = false>
KOTRAN_HOT unsigned jis_pair_length(const unsigned char* p) {
  const uint8x16_t v = vld1q_u8(p);
  // The first byte of each pair is the low byte of a 16-bit lane.
  const uint8x16_t last =
      far_rows ? vreinterpretq_u8_u16(vdupq_n_u16(0x7E74)) : vdupq_n_u8(0x7E);
  const uint8x16_t ok = vandq_u8(vcgtq_u8(v, vdupq_n_u8(0x20)), vcleq_u8(v, last));
  return leading_true(ok) & ~1u;
}

// The Shift-JIS bytes of the pairs in jis (7-bit JIS bytes of rows 1-94;
// first bytes where leads is set, second bytes where trails is set; rows
// holds each byte's predecessor), with the other bytes taken from others.
KOTRAN_HOT uint8x16_t sjis_from_jis_pairs(uint8x16_t jis, uint8x16_t rows, uint8x16_t leads, uint8x16_t trails,
                                          uint8x16_t others) {
  // First byte: 0x81 + (row - 0x21) / 2, and 0x40 more from row 0x5F on.
  uint8x16_t lead = vaddq_u8(vshrq_n_u8(vsubq_u8(jis, vdupq_n_u8(0x21)), 1), vdupq_n_u8(0x81));
  lead = vaddq_u8(lead, vandq_u8(vcgtq_u8(jis, vdupq_n_u8(0x5E)), vdupq_n_u8(0x40)));
  // Second byte: after an odd row, cell + 0x1F (+ 1 from cell 0x60 on);
  // after an even row, cell + 0x7E.
  const uint8x16_t odd_row = vtstq_u8(rows, vdupq_n_u8(1));
  const uint8x16_t after_odd = vsubq_u8(vaddq_u8(jis, vdupq_n_u8(0x1F)), vcgtq_u8(jis, vdupq_n_u8(0x5F)));
  const uint8x16_t after_even = vaddq_u8(jis, vdupq_n_u8(0x7E));
  const uint8x16_t trail = vbslq_u8(odd_row, after_odd, after_even);
  return vbslq_u8(leads, lead, vbslq_u8(trails, trail, others));
}

// Stores at o the 32 bytes at p with the EUC pairs among them (first bytes
// at leads) written in Shift-JIS; the other bytes stay as they are.
KOTRAN_HOT void store_euc_as_sjis(unsigned char* o, const unsigned char* p, uint32_t leads) {
  const uint8x16_t low7 = vdupq_n_u8(0x7F);
  const uint8x16_t zero = vdupq_n_u8(0);
  const uint8x16_t v0 = vld1q_u8(p);
  const uint8x16_t v1 = vld1q_u8(p + 16);
  const uint8x16_t jis0 = vandq_u8(v0, low7);
  const uint8x16_t jis1 = vandq_u8(v1, low7);
  const uint8x16_t leads0 = byte_mask(leads & 0xFFFF);
  const uint8x16_t leads1 = byte_mask(leads >> 16);
  // A pair may straddle the two halves.
  vst1q_u8(o, sjis_from_jis_pairs(jis0, one_up(zero, jis0), leads0, one_up(zero, leads0), v0));
  vst1q_u8(o + 16, sjis_from_jis_pairs(jis1, one_up(jis0, jis1), leads1, one_up(leads0, leads1), v1));
}

// The JIS bytes of the Shift-JIS pairs in sjis (of rows 1-94; lead bytes
// where leads is set, trail bytes where trails is set; next holds each byte's
// successor), with high_bit set in them for EUC, and the other bytes as they
// are.
KOTRAN_HOT uint8x16_t jis_from_sjis_pairs(uint8x16_t sjis, uint8x16_t next, uint8x16_t leads, uint8x16_t trails,
                                          uint8x16_t high_bit) {
  // Row: 2 * lead + 0x1F for leads 0x81-0x9F, + 0x9F for 0xE0-0xEF (on 8
  // bits), and one more when the trail byte is 0x9F or above.
  const uint8x16_t far_lead = vandq_u8(vcgtq_u8(sjis, vdupq_n_u8(0xDF)), vdupq_n_u8(0x80));
  uint8x16_t row = vaddq_u8(vaddq_u8(sjis, sjis), vaddq_u8(vdupq_n_u8(0x1F), far_lead));
  row = vsubq_u8(row, vcgtq_u8(next, vdupq_n_u8(0x9E)));
  // Cell: trail - 0x1F below 0x80, - 0x20 from 0x80, - 0x7E from 0x9F.
  uint8x16_t cell = vaddq_u8(vsubq_u8(sjis, vdupq_n_u8(0x1F)), vcgeq_u8(sjis, vdupq_n_u8(0x80)));
  cell = vsubq_u8(cell, vandq_u8(vcgtq_u8(sjis, vdupq_n_u8(0x9E)), vdupq_n_u8(0x5E)));
  return vbslq_u8(leads, vorrq_u8(row, high_bit), vbslq_u8(trails, vorrq_u8(cell, high_bit), sjis));
}

// Stores at o the 32 bytes at p with the Shift-JIS pairs among them (lead
// bytes at leads, none at the last byte) written in JIS, or in EUC with
// high_bit 0x80; the other bytes stay as they are.
KOTRAN_HOT void store_sjis_as_jis_bytes(unsigned char* o, const unsigned char* p, uint32_t leads, unsigned char high_bit) {
  const uint8x16_t high = vdupq_n_u8(high_bit);
  const uint8x16_t zero = vdupq_n_u8(0);
  const uint8x16_t v0 = vld1q_u8(p);
  const uint8x16_t v1 = vld1q_u8(p + 16);
  const uint8x16_t leads0 = byte_mask(leads & 0xFFFF);
  const uint8x16_t leads1 = byte_mask(leads >> 16);
  // A pair may straddle the two halves.
  vst1q_u8(o, jis_from_sjis_pairs(v0, one_down(v0, v1), leads0, one_up(zero, leads0), high));
  vst1q_u8(o + 16, jis_from_sjis_pairs(v1, one_down(v1, zero), leads1, one_up(leads0, leads1), high));
}

KOTRAN_HOT void store_sjis_as_euc(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes(o, p, leads, 0x80);
}

KOTRAN_HOT void store_sjis_as_jis(unsigned char* o, const unsigned char* p, uint32_t leads) {
  store_sjis_as_jis_bytes(o, p, leads, 0);
}

// Stores at o the 32 bytes at p, EUC, with the high bit cleared: the JIS
// bytes of the pairs among them.
KOTRAN_HOT void store_euc_as_jis(unsigned char* o, const unsigned char* p) {
  const uint8x16_t low7 = vdupq_n_u8(0x7F);
  vst1q_u8(o, vandq_u8(vld1q_u8(p), low7));
  vst1q_u8(o + 16, vandq_u8(vld1q_u8(p + 16), low7));
}

// Stores at o the 16 bytes at p, pairs of JIS bytes, in Shift-JIS.
KOTRAN_HOT void store_jis_as_sjis(unsigned char* o, const unsigned char* p) {
  const uint8x16_t v = vld1q_u8(p);
  const uint8x16_t leads = vreinterpretq_u8_u16(vdupq_n_u16(0x00FF));  // every even byte
  const uint8x16_t trails = vreinterpretq_u8_u16(vdupq_n_u16(0xFF00));
  vst1q_u8(o, sjis_from_jis_pairs(v, one_up(vdupq_n_u8(0), v), leads, trails, v));
}

// Stores at o the 16 bytes at p, pairs of JIS bytes, in EUC.
KOTRAN_HOT void store_jis_as_euc(unsigned char* o, const unsigned char* p) {
  vst1q_u8(o, vorrq_u8(vld1q_u8(p), vdupq_n_u8(0x80)));
}

}  // namespace kotran

#endif
