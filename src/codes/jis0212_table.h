// JIS X 0212 <-> Unicode, as in the JIS X 0212 index of the WHATWG Encoding
// Standard: the supplementary kanji and symbols that EUC-JP reaches with SS3
// (0x8F) and JIS with ESC $ ( D. The tables live in jis0212_table.cpp, which
// tools/gen_jis0212_table.py generates from tools/data/index-jis0212.txt; the
// lookups are inline, since the converters make one for every character.
#pragma once

#include <cstdint>

namespace kotran {

namespace jis0212_tables {

inline constexpr unsigned JIS0212_FIRST = 0x21;  // first row or cell byte
inline constexpr unsigned JIS0212_ROWS = 94;     // rows, and cells of a row

// Unicode of each JIS X 0212 code, row-major; 0 for an unmapped code.
extern const char16_t JIS0212_TO_UNICODE[JIS0212_ROWS * JIS0212_ROWS];
// JIS X 0212 code of each BMP character that JIS X 0208 lacks, in two levels:
// UNICODE_PAGE[u >> 8] picks a page of UNICODE_TO_JIS0212, whose entry
// u & 0xFF is the code (0 = none).
extern const uint8_t UNICODE_PAGE[256];
extern const uint16_t UNICODE_TO_JIS0212[][256];

}  // namespace jis0212_tables

// Unicode of a JIS X 0212 code (row byte high, cell byte low, each
// 0x21..0x7E); 0 when unmapped or out of range.
inline char16_t jis0212_to_unicode(uint16_t jis) {
  using namespace jis0212_tables;
  const unsigned row = (jis >> 8) - JIS0212_FIRST;
  const unsigned cell = (jis & 0xFFu) - JIS0212_FIRST;
  if (row >= JIS0212_ROWS || cell >= JIS0212_ROWS) return 0;
  return JIS0212_TO_UNICODE[row * JIS0212_ROWS + cell];
}

// JIS X 0212 code of a Unicode character that has no JIS X 0208 code
// (unicode_to_jis of unicode_table.h gives 0 for it); 0 when there is none,
// and for every character JIS X 0208 holds, since a writer prefers that code.
inline uint16_t unicode_to_jis0212(char32_t u) {
  using namespace jis0212_tables;
  if (u > 0xFFFF) return 0;
  return UNICODE_TO_JIS0212[UNICODE_PAGE[u >> 8]][u & 0xFF];
}

}  // namespace kotran
