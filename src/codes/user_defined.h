// User-defined characters: Shift-JIS 0xF040-0xF9FC, 1,880 codes under ten
// lead bytes (rows 95-114 by the Shift-JIS arithmetic). Unicode holds them as
// the private-use characters U+E000-U+E757 in the order of their codes; EUC
// and JIS in rows that JIS X 0208 and JIS X 0212 leave empty: those of
// Shift-JIS rows 95-98 and 103-104 in rows 85-88 and 93-94 of the main set,
// the rest in JIS X 0212 (rows 79-82 and 85-94). The code tables hold where
// each lies; what is here serves Shift-JIS, which writes them by arithmetic.
#pragma once

#include <cstdint>

namespace kotran {

inline constexpr char32_t USER_DEFINED_FIRST = 0xE000;
inline constexpr char32_t USER_DEFINED_LAST = 0xE757;

constexpr bool is_user_defined(char32_t u) { return u >= USER_DEFINED_FIRST && u <= USER_DEFINED_LAST; }

// The JIS code past row 94 that the Shift-JIS arithmetic gives the
// user-defined character u (row 95, cell 1 for U+E000).
constexpr uint16_t user_defined_jis(char32_t u) {
  const unsigned n = static_cast<unsigned>(u - USER_DEFINED_FIRST);
  return static_cast<uint16_t>((0x7F + n / 94) << 8 | (0x21 + n % 94));
}

// The Shift-JIS lead byte of a code of rows 1-94, from the one the
// arithmetic gives: rows 85-88 and 93-94 (0xEB, 0xEC, 0xEF, which Windows
// leaves empty) hold user-defined characters, written with the lead bytes of
// their own rows (0xF0, 0xF1, 0xF4); the trail byte stays.
constexpr unsigned user_defined_lead(unsigned lead) {
  return lead == 0xEB || lead == 0xEC || lead == 0xEF ? lead + 5 : lead;
}

}  // namespace kotran
