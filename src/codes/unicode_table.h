// JIS X 0208 <-> Unicode, as in the JIS X 0208 index of the WHATWG Encoding
// Standard (JIS X 0208 with NEC row 13 and the NEC-selected IBM extensions in
// rows 89-92, and past row 94 the IBM extensions that only Shift-JIS reaches).
// The tables live in unicode_rows.h and unicode_table.cpp, which
// tools/gen_unicode_table.py generates; the lookups are inline, since the converters make one for
// every character.
#pragma once

#include <cstdint>

namespace kotran {

namespace unicode_tables {

inline constexpr unsigned JIS_FIRST = 0x21;   // first row or cell byte
inline constexpr unsigned JIS_CELLS = 94;     // cells of a row
inline constexpr unsigned FORWARD_ROWS = 120; // rows 1-120: up to Shift-JIS lead byte 0xFC

// JIS code of each BMP character, indexed by the character (0 = none): one
// level, so that the lookup made for every character is one load.
extern const uint16_t UNICODE_TO_JIS[0x10000];

// Shift-JIS code of each BMP character whose JIS code lies in rows 1-84,
// where Shift-JIS's lead bytes are the arithmetic's; 0 for any other (none,
// or a user-defined character from row 85 on). The vector paths into
// Shift-JIS look the pair up whole, and leave the others to the byte loop.
extern const uint16_t UNICODE_TO_SJIS_ARITHMETIC[0x10000];

}  // namespace unicode_tables

}  // namespace kotran

// Unicode of each JIS code, row-major (JIS_TO_UNICODE); 0 for an unmapped
// code. A constant the compiler reads, so that tables made from it (the
// UTF-8 forms) are made as the program is compiled.
#include "codes/unicode_rows.h"

namespace kotran {

static_assert(sizeof unicode_tables::JIS_TO_UNICODE == unicode_tables::FORWARD_ROWS * unicode_tables::JIS_CELLS * 2);

// The form that Unicode's own JIS X 0208 mapping gives a character where
// Windows (and this table) uses another: U+FF5E FULLWIDTH TILDE as U+301C
// WAVE DASH, U+2225 as U+2016, U+FF0D as U+2212, U+FFE0-U+FFE2 as U+00A2,
// U+00A3, U+00AC, U+2015 as U+2014; any other character as it is.
constexpr char32_t jis_unicode_form(char32_t u) {
  switch (u) {
    case 0xFF5E: return 0x301C;
    case 0x2225: return 0x2016;
    case 0xFF0D: return 0x2212;
    case 0xFFE0: return 0x00A2;
    case 0xFFE1: return 0x00A3;
    case 0xFFE2: return 0x00AC;
    case 0x2015: return 0x2014;
    default: return u;
  }
}

// The JIS code past row 94 of the IBM extension that holds u (Shift-JIS
// 0xFA40-0xFC4B), or 0; a search, for the rare characters that come from
// JIS X 0212 into Shift-JIS.
uint16_t ibm_extension_of(char32_t u);

// The JIS code that Shift-JIS 0xFA40, the first IBM extension, stands for
// (row 115); the IBM extensions run to 0xFC4B. Rows 95-114 below it are
// user-defined (Shift-JIS 0xF040-0xF9FC).
inline constexpr uint16_t IBM_EXTENSION_FIRST = 0x9321;

// Unicode of a JIS code (row byte high, cell byte low, each 0x21..0x7E; past
// row 94 the row byte goes on to 0x98, where Shift-JIS lead bytes 0xF0-0xFC
// lead); 0 when unmapped or out of range.
inline char16_t jis_to_unicode(uint16_t jis) {
  using namespace unicode_tables;
  const unsigned row = (jis >> 8) - JIS_FIRST;
  const unsigned cell = (jis & 0xFFu) - JIS_FIRST;
  if (row >= FORWARD_ROWS || cell >= JIS_CELLS) return 0;
  return JIS_TO_UNICODE[row * JIS_CELLS + cell];
}

// JIS code of a Unicode character, always in rows 1-94 (the lowest code of
// duplicates; U+2212 as U+FF0D); 0 when there is none.
inline uint16_t unicode_to_jis(char32_t u) {
  using namespace unicode_tables;
  if (u > 0xFFFF) return 0;
  return UNICODE_TO_JIS[u];
}

}  // namespace kotran
