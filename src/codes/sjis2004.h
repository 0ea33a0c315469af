// Moving one double-byte character between its JIS X 0213 code and
// Shift_JIS-2004. Plane 1 is placed as Shift-JIS places JIS X 0208, by the
// arithmetic alone (rows 85-94 at lead bytes 0xEB-0xEF, not at the
// user-defined lead bytes); plane 2 takes lead bytes 0xF0-0xFC, two rows a
// lead byte as plane 1 does (rows 1 and 8, 3 and 4, 5 and 12, 13 and 14,
// 15 and 78, then 79 and 80 up to 93 and 94).
#pragma once

#include <cstdint>

#include "codes/jis_sjis.h"
#include "codes/jisx0213_table.h"

namespace kotran {

// The rows of plane 2 that lead bytes 0xF0-0xFC hold, by lead byte, then by
// whether the trail byte is of the second row (0x9F and above).
inline constexpr uint8_t SJIS2004_PLANE2_ROWS[13][2] = {
    {1, 8}, {3, 4}, {5, 12}, {13, 14}, {15, 78}, {79, 80}, {81, 82},
    {83, 84}, {85, 86}, {87, 88}, {89, 90}, {91, 92}, {93, 94},
};

// The JIS X 0213 code of a Shift_JIS-2004 pair, or 0 where the pair is none
// (a lead byte past 0xFC, a trail byte outside 0x40-0xFC or 0x7F).
constexpr uint16_t sjis2004_to_x0213(unsigned lead, unsigned trail) {
  if (trail < 0x40 || trail > 0xFC || trail == 0x7F || lead > 0xFC) return 0;
  if (lead < 0xF0) return sjis_to_jis_code(static_cast<uint16_t>(lead << 8 | trail));
  const bool second = trail >= 0x9F;
  const unsigned row = SJIS2004_PLANE2_ROWS[lead - 0xF0][second ? 1 : 0];
  const unsigned cell = second ? trail - 0x9E : trail - (trail >= 0x80 ? 0x40 : 0x3F);
  return static_cast<uint16_t>(X0213_PLANE2 | (row + 0x20) << 8 | (cell + 0x20));
}

// The Shift_JIS-2004 pair of a JIS X 0213 code (lead byte high); 0 for a
// row of plane 2 that Shift_JIS-2004 does not reach.
constexpr uint16_t x0213_to_sjis2004(uint16_t x) {
  if (x < X0213_PLANE2) return jis_to_sjis_code(x);
  const unsigned row = ((x >> 8) & 0x7F) - 0x20;
  const unsigned cell = (x & 0xFF) - 0x20;
  for (unsigned lead = 0; lead < 13; ++lead) {
    for (unsigned half = 0; half < 2; ++half) {
      if (SJIS2004_PLANE2_ROWS[lead][half] != row) continue;
      const unsigned trail = half != 0 ? cell + 0x9E : cell + 0x3F + (cell >= 64 ? 1 : 0);
      return static_cast<uint16_t>((0xF0 + lead) << 8 | trail);
    }
  }
  return 0;
}

}  // namespace kotran
