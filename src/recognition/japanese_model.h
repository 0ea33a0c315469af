// A small model of Japanese text, for telling which reading of a text is the
// Japanese one: the cost of each character and of each change of character
// class, in half bits (-2 log2 of the probability). The tables are generated
// by tools/gen_japanese_model.py from a corpus of Japanese man pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kotran {

// Classes of characters whose order Japanese text follows.
enum class CharClass : uint8_t { ascii, hiragana, katakana, kanji, symbol, alnum, halfkana, latin };

// The class of a code point (the generator draws the same lines).
constexpr CharClass char_class(char32_t u) {
  if (u < 0x80) return CharClass::ascii;
  if (u >= 0x3041 && u <= 0x309F) return CharClass::hiragana;
  if (u >= 0x30A0 && u <= 0x30FF && u != 0x30FB) return CharClass::katakana;
  if (u >= 0xFF61 && u <= 0xFF9F) return CharClass::halfkana;
  if ((u >= 0x3005 && u <= 0x3007) || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) ||
      (u >= 0xF900 && u <= 0xFAFF))
    return CharClass::kanji;
  if ((u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF3A) || (u >= 0xFF41 && u <= 0xFF5A))
    return CharClass::alnum;
  if ((u >= 0xA0 && u <= 0x24F) || (u >= 0x370 && u <= 0x52F)) return CharClass::latin;
  return CharClass::symbol;
}

// The class of the JIS X 0208 character u at jis (rows 1-94): by its row
// where the row holds one class (hiragana, katakana, the kanji of rows
// 16-84), else as char_class gives it.
constexpr CharClass jis_class(uint16_t jis, char32_t u) {
  const unsigned row = jis >> 8;
  if (row >= 0x30 && row <= 0x74) return CharClass::kanji;
  if (row == 0x24) return CharClass::hiragana;
  if (row == 0x25) return CharClass::katakana;
  return char_class(u);
}

namespace japanese_model {

inline constexpr size_t CLASS_COUNT = 8;
inline constexpr size_t JIS_ROWS = 94;
inline constexpr size_t JIS_ROW_CELLS = 94;
inline constexpr size_t HALFKANA_COUNT = 0xFFA0 - 0xFF61;

extern const uint8_t CELL_COST[JIS_ROWS * JIS_ROW_CELLS];
extern const uint8_t HALFKANA_COST[HALFKANA_COUNT];
extern const uint8_t TRANSITION_COST[CLASS_COUNT][CLASS_COUNT];
extern const uint8_t LATIN_CHAR_COST;

}  // namespace japanese_model

// Cost of the JIS X 0208 character at jis (row and cell bytes 0x21-0x7E);
// 0 where the cell is unassigned.
inline unsigned jis_char_cost(uint16_t jis) {
  const unsigned row = (jis >> 8) - 0x21u;
  const unsigned cell = (jis & 0xFFu) - 0x21u;
  if (row >= japanese_model::JIS_ROWS || cell >= japanese_model::JIS_ROW_CELLS) return 0;
  return japanese_model::CELL_COST[row * japanese_model::JIS_ROW_CELLS + cell];
}

inline unsigned halfkana_cost(char32_t u) { return japanese_model::HALFKANA_COST[u - 0xFF61]; }

inline unsigned transition_cost(CharClass from, CharClass to) {
  return japanese_model::TRANSITION_COST[static_cast<size_t>(from)][static_cast<size_t>(to)];
}

}  // namespace kotran
