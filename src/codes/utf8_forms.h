// The UTF-8 bytes of every code of JIS X 0208 rows 1-94, for the
// converters' tight loops, which store a character's bytes in one go.
#pragma once

#include <cstdint>

namespace kotran {

// A character's UTF-8 bytes and how many there are (2 or 3; 0 for a code
// that has no character). A loop stores all four bytes of a form at once and
// moves on by count.
struct Utf8Form {
  uint8_t bytes[3];
  uint8_t count;
};

// Where the forms of bytes alone follow the rows' in a table of forms:
// entry BYTE_FORMS + b is ASCII b itself (one byte), or half-width katakana
// b (0xA1-0xDF) as its character; no other byte has one.
inline constexpr unsigned BYTE_FORMS = 94 * 94;

// The forms of rows 1-94, row-major (row byte 0x21 first, 94 cells a row),
// and after them those of bytes alone, made from the Unicode table as the
// program is compiled; with jis_forms, the characters that Windows and Unicode's JIS mapping
// write differently in the JIS forms (jis_unicode_form).
const Utf8Form* utf8_row_forms(bool jis_forms = false);

}  // namespace kotran
