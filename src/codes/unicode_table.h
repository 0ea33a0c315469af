// JIS X 0208 <-> Unicode, as in the JIS X 0208 index of the WHATWG Encoding
// Standard (JIS X 0208 with NEC row 13 and the NEC-selected IBM extensions in
// rows 89-92). The tables live in unicode_table.cpp, which
// tools/gen_unicode_table.py generates.
#pragma once

#include <cstdint>

namespace kotran {

// Unicode of a JIS code (row byte high, cell byte low, each 0x21..0x7E; past
// row 94 the row byte goes on to 0x98, where Shift-JIS lead bytes 0xF0-0xFC
// lead); 0 when unmapped or out of range.
char16_t jis_to_unicode(uint16_t jis);

// JIS code of a Unicode character, always in rows 1-94 (the lowest code of
// duplicates; U+2212 as U+FF0D); 0 when there is none.
uint16_t unicode_to_jis(char32_t u);

}  // namespace kotran
