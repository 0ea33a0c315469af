// Moving one double-byte character between its JIS and Shift-JIS codes.
// A code holds the first byte in the high 8 bits; the EUC form of a JIS code
// is the JIS code with 0x80 set in both bytes.
#pragma once

#include <cstdint>

#include "codes/user_defined.h"

namespace kotran {

// A Shift-JIS code is valid when its lead byte is 0x81-0x9F or 0xE0-0xFF and
// its trail byte 0x40-0xFE (0x7F included).
constexpr bool is_valid_sjis_code(uint16_t code) {
  const unsigned lead = code >> 8;
  const unsigned trail = code & 0xFF;
  return ((lead >= 0x81 && lead <= 0x9F) || lead >= 0xE0) && trail >= 0x40 && trail <= 0xFE;
}

// Shift-JIS code of a JIS code, or 0 when the result is not a valid Shift-JIS
// code. The arithmetic wraps on 16 bits and accepts high bytes past 0x7E
// (0x7F gives lead byte 0xF0); only the validity test limits the result.
constexpr uint16_t jis_to_sjis_code(uint16_t code) {
  const unsigned hi = code >> 8;
  const unsigned lo = code & 0xFF;
  if (hi <= 0x20) return 0;
  const uint16_t lead = hi <= 0x5E ? static_cast<uint16_t>(((hi - 0x21) / 2) * 0x100 + 0x8100)
                                   : static_cast<uint16_t>(((hi - 0x5F) / 2) * 0x100 + 0xE000);
  uint16_t s;
  if ((hi & 1) != 0 && lo < 0x60)
    s = static_cast<uint16_t>(lead + lo + 0x1F);
  else if ((hi & 1) != 0 && lo < 0x80)
    s = static_cast<uint16_t>(lead + lo + 0x20);
  else
    s = static_cast<uint16_t>(lead + lo + 0x7E);
  return is_valid_sjis_code(s) ? s : 0;
}

// JIS code of a Shift-JIS code, or 0 when the argument is not a valid
// Shift-JIS code. Lead bytes 0xF0-0xFF give high bytes above 0x7E; they are
// returned as computed and the caller decides.
constexpr uint16_t sjis_to_jis_code(uint16_t code) {
  if (!is_valid_sjis_code(code)) return 0;
  const unsigned lead = code >> 8;
  const unsigned trail = code & 0xFF;
  const unsigned base = lead <= 0x9F ? (lead - 0x81) * 0x200 + 0x2100 : (lead - 0xE0) * 0x200 + 0x5F00;
  if (trail < 0x80) return static_cast<uint16_t>(base + trail - 0x1F);
  if (trail <= 0x9E) return static_cast<uint16_t>(base + trail - 0x20);
  return static_cast<uint16_t>(base + trail - 0x7E + 0x100);
}

}  // namespace kotran

namespace kotran {

// The same two operations for codes known to lie in JIS X 0208 rows 1-94
// (both JIS bytes 0x21-0x7E; lead bytes 0x81-0x9F and 0xE0-0xEF with trail
// bytes 0x40-0xFC less 0x7F), by small tables, for the converters' tight
// loops. They agree with the operations above on every such code, but that
// rows 85-88 and 93-94 go to Shift-JIS with the lead bytes of the
// user-defined characters they hold (user_defined_lead).
struct RowTables {
  uint8_t sjis_lead[128];      // by JIS row byte
  uint8_t sjis_trail[2][128];  // by the row byte's parity, then the cell byte
  uint8_t jis_row[256];        // by Shift-JIS lead byte: the row byte of a trail below 0x9F; 0 for no lead
  uint8_t jis_cell[256];       // by Shift-JIS trail byte; 0 for no trail
  uint16_t jis_low[256];       // by Shift-JIS trail byte: cell, plus 0x100 for the row's second half; 0 for no trail
};

constexpr RowTables make_row_tables() {
  RowTables t{};
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) t.sjis_lead[hi] = static_cast<uint8_t>(user_defined_lead(jis_to_sjis_code(static_cast<uint16_t>(hi << 8 | 0x21)) >> 8));
  for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
    t.sjis_trail[0][lo] = static_cast<uint8_t>(jis_to_sjis_code(static_cast<uint16_t>(0x2200 | lo)) & 0xFF);
    t.sjis_trail[1][lo] = static_cast<uint8_t>(jis_to_sjis_code(static_cast<uint16_t>(0x2100 | lo)) & 0xFF);
  }
  for (unsigned lead = 0x81; lead <= 0xEF; ++lead)
    if (lead <= 0x9F || lead >= 0xE0) t.jis_row[lead] = static_cast<uint8_t>(sjis_to_jis_code(static_cast<uint16_t>(lead << 8 | 0x40)) >> 8);
  for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
    if (trail == 0x7F) continue;
    t.jis_cell[trail] = static_cast<uint8_t>(sjis_to_jis_code(static_cast<uint16_t>(0x8100 | trail)) & 0xFF);
    t.jis_low[trail] = static_cast<uint16_t>(t.jis_cell[trail] | (trail >= 0x9F ? 0x100 : 0));
  }
  return t;
}

inline constexpr RowTables row_tables = make_row_tables();

// jis_to_sjis_code for a code of rows 1-94.
constexpr uint16_t row_jis_to_sjis(unsigned hi, unsigned lo) {
  return static_cast<uint16_t>(row_tables.sjis_lead[hi] << 8 | row_tables.sjis_trail[hi & 1][lo]);
}

// sjis_to_jis_code for a code of rows 1-94.
constexpr uint16_t row_sjis_to_jis(unsigned lead, unsigned trail) {
  return static_cast<uint16_t>((row_tables.jis_row[lead] + (trail >= 0x9F ? 1 : 0)) << 8 | row_tables.jis_cell[trail]);
}

}  // namespace kotran
