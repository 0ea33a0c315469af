// The NEON kernels of ASCII runs: where the line ends lie among 32 bytes.
#pragma once

#include "kernels/neon/bytes.h"
#include "kernels/units.h"

#if defined(KOTRAN_NEON_KERNELS)

namespace kotran {

KOTRAN_HOT LineEndBytes line_end_bytes(const unsigned char* p) {
  const uint8x16_t v0 = vld1q_u8(p);
  const uint8x16_t v1 = vld1q_u8(p + 16);
  const uint8x16_t cr = vdupq_n_u8(0x0D);
  const uint8x16_t lf = vdupq_n_u8(0x0A);
  const uint32x4_t m = masks_of_two(vceqq_u8(v0, cr), vceqq_u8(v1, cr), vceqq_u8(v0, lf), vceqq_u8(v1, lf));
  return {vgetq_lane_u32(m, 0), vgetq_lane_u32(m, 1)};
}

}  // namespace kotran

#endif
