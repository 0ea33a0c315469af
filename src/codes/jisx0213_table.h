// JIS X 0213 <-> Unicode: the cells that Shift_JIS-2004, EUC-JIS-2004 and
// ISO-2022-JP-2004 hold beyond JIS X 0208, and the few that they map
// otherwise. The tables live in jisx0213_table.cpp, which
// tools/gen_jisx0213_table.py generates; the lookups are inline.
//
// A JIS X 0213 code is its row and cell bytes (0x21-0x7E each), with
// X0213_PLANE2 for the second plane. Plane 1 is JIS X 0208 with its empty
// cells filled: a row that JIS X 0213 leaves as JIS X 0208 has it is read
// through the JIS X 0208 table.
#pragma once

#include <cstdint>

#include "codes/unicode_table.h"

namespace kotran {

inline constexpr uint16_t X0213_PLANE2 = 0x8000;

namespace jisx0213_tables {

inline constexpr unsigned KEPT_ROWS = 53;
inline constexpr unsigned WIDE_COUNT = 328;
inline constexpr unsigned PAIR_COUNT = 25;
inline constexpr unsigned PAGE_BITS = 4;
inline constexpr unsigned PAGE_COUNT = 0x3000;  // U+0000-U+2FFFF
inline constexpr uint16_t NO_SLOT = 0xFF;
inline constexpr char16_t WIDE_FIRST = 0xD800;
inline constexpr uint16_t BASE_FLAG = 0x0080;  // in INVERSE: the character begins a pair

struct Wide {
  char32_t first;
  char16_t second;  // a combining mark, or 0
};
struct Pair {
  char16_t base;
  char16_t mark;
  uint16_t code;
};

extern const uint8_t ROW_SLOT[2][94];
extern const char16_t X0213_TO_UNICODE[KEPT_ROWS][94];
extern const Wide WIDE[WIDE_COUNT];
extern const Pair PAIRS[PAIR_COUNT];
extern const uint16_t PAGE[PAGE_COUNT];
extern const uint16_t INVERSE[][16];

}  // namespace jisx0213_tables

// The characters of a JIS X 0213 code: one, or a base and its combining
// mark (second); first is 0 where the code is unassigned.
struct X0213Chars {
  char32_t first;
  char32_t second;
};

// Whether a row byte (0x21-0x7E) is of a row that plane 2 holds: 1, 3-5, 8,
// 12-15 and 78-94. EUC-JIS-2004 keeps JIS X 0212 after SS3 in the others.
constexpr bool is_x0213_plane2_row(unsigned row_byte) {
  const unsigned row = row_byte - 0x20;
  return row == 1 || (row >= 3 && row <= 5) || row == 8 || (row >= 12 && row <= 15) || (row >= 78 && row <= 94);
}

// Whether a code of plane 1 is JIS X 0208's, read as JIS X 0208 reads it:
// rows 1-84 but 13, assigned in the JIS X 0208 table.
inline bool is_jis0208_cell(uint16_t x) {
  const unsigned row = (x >> 8) - 0x20;
  return x < X0213_PLANE2 && row >= 1 && row <= 84 && row != 13 && jis_to_unicode(x) != 0;
}

inline X0213Chars x0213_to_unicode(uint16_t x) {
  using namespace jisx0213_tables;
  const unsigned plane = x >> 15;
  const unsigned row = ((x >> 8) & 0x7F) - 0x21;
  const unsigned cell = (x & 0xFFu) - 0x21;
  if (row >= 94 || cell >= 94) return {0, 0};
  const unsigned slot = ROW_SLOT[plane][row];
  if (slot == NO_SLOT) {
    if (plane != 0 || row + 1 == 13 || row + 1 > 84) return {0, 0};
    return {jis_to_unicode(x), 0};
  }
  const char16_t u = X0213_TO_UNICODE[slot][cell];
  if (u >= WIDE_FIRST && u < 0xE000) return {WIDE[u - WIDE_FIRST].first, WIDE[u - WIDE_FIRST].second};
  return {u, 0};
}

// The JIS X 0213 code of a character, with BASE_FLAG where it begins a pair
// (see x0213_pair), or 0 where JIS X 0208's own code (is_jis0208_cell of
// unicode_to_jis) is the answer or there is none.
inline uint16_t unicode_to_x0213_entry(char32_t u) {
  using namespace jisx0213_tables;
  if (u >= (PAGE_COUNT << PAGE_BITS)) return 0;
  return INVERSE[PAGE[u >> PAGE_BITS]][u & ((1u << PAGE_BITS) - 1)];
}

// The code of a character in JIS X 0213, or 0.
inline uint16_t unicode_to_x0213(char32_t u) {
  if (const uint16_t x = unicode_to_x0213_entry(u) & ~jisx0213_tables::BASE_FLAG; x != 0) return x;
  const uint16_t j = unicode_to_jis(u);
  return j != 0 && is_jis0208_cell(j) ? j : 0;
}

// The code of the cell that holds base followed by mark, or 0.
inline uint16_t x0213_pair(char32_t base, char32_t mark) {
  using namespace jisx0213_tables;
  for (const Pair& p : PAIRS)
    if (p.base == base && p.mark == mark) return p.code;
  return 0;
}

}  // namespace kotran
