// NEON's tests of bytes against ranges, and bit masks: NEON has no single
// instruction that gathers a vector's byte tests into bits, so the masks of
// 32 bytes are built together, four at a time, by pairwise additions of the
// tests weighted by their bit (seven additions for four masks).
#pragma once

#include <cstdint>

#include "kernels/neon/target.h"

#if defined(KOTRAN_NEON_KERNELS)

namespace kotran {

// x <= limit for each byte: 0xFF where it holds.
KOTRAN_HOT uint8x16_t at_most(uint8x16_t x, unsigned char limit) { return vcleq_u8(x, vdupq_n_u8(limit)); }

// first <= x <= last for each byte.
KOTRAN_HOT uint8x16_t in_range(uint8x16_t x, unsigned char first, unsigned char last) {
  return at_most(vsubq_u8(x, vdupq_n_u8(first)), static_cast<unsigned char>(last - first));
}

// Each byte's bit within its eight.
KOTRAN_HOT uint8x16_t bit_weights() {
  static constexpr uint8_t WEIGHTS[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  return vld1q_u8(WEIGHTS);
}

// The bit masks of four tests of 32 bytes (a0 the first 16 bytes' test a,
// a1 the next 16's): bit i of lane 0 for byte i of test a, lane 1 test b, ...
KOTRAN_HOT uint32x4_t masks_of_four(uint8x16_t a0, uint8x16_t a1, uint8x16_t b0, uint8x16_t b1, uint8x16_t c0,
                                    uint8x16_t c1, uint8x16_t d0, uint8x16_t d1) {
  const uint8x16_t w = bit_weights();
  const uint8x16_t a = vpaddq_u8(vandq_u8(a0, w), vandq_u8(a1, w));
  const uint8x16_t b = vpaddq_u8(vandq_u8(b0, w), vandq_u8(b1, w));
  const uint8x16_t c = vpaddq_u8(vandq_u8(c0, w), vandq_u8(c1, w));
  const uint8x16_t d = vpaddq_u8(vandq_u8(d0, w), vandq_u8(d1, w));
  return vreinterpretq_u32_u8(vpaddq_u8(vpaddq_u8(a, b), vpaddq_u8(c, d)));
}

// The same for two tests: bit i of lane 0 for test a, of lane 1 for test b.
KOTRAN_HOT uint32x4_t masks_of_two(uint8x16_t a0, uint8x16_t a1, uint8x16_t b0, uint8x16_t b1) {
  const uint8x16_t w = bit_weights();
  const uint8x16_t a = vpaddq_u8(vandq_u8(a0, w), vandq_u8(a1, w));
  const uint8x16_t b = vpaddq_u8(vandq_u8(b0, w), vandq_u8(b1, w));
  const uint8x16_t ab = vpaddq_u8(a, b);
  return vreinterpretq_u32_u8(vpaddq_u8(ab, ab));
}

// How many of the 16 tests from the first hold before the first that fails
// (16 where all hold): the tests narrowed to four bits a byte.
KOTRAN_HOT unsigned leading_true(uint8x16_t ok) {
  const uint64_t bad = ~vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(ok), 4)), 0);
  return bad == 0 ? 16 : static_cast<unsigned>(__builtin_ctzll(bad)) / 4;
}

// A byte mask (0xFF where bit i of bits is set) for the 16 bits of bits.
KOTRAN_HOT uint8x16_t byte_mask(unsigned bits) {
  const uint8x16_t spread = vcombine_u8(vdup_n_u8(static_cast<uint8_t>(bits)), vdup_n_u8(static_cast<uint8_t>(bits >> 8)));
  return vtstq_u8(spread, bit_weights());
}

// The 16 bytes that end at byte 15 of b, after the bytes of a: each byte of
// b one place up, its first taking a's last.
KOTRAN_HOT uint8x16_t one_up(uint8x16_t a, uint8x16_t b) { return vextq_u8(a, b, 15); }

// Each byte of a one place down, its last taking b's first.
KOTRAN_HOT uint8x16_t one_down(uint8x16_t a, uint8x16_t b) { return vextq_u8(a, b, 1); }

}  // namespace kotran

#endif
