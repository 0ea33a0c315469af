// The set a JIS stream is shifted into.
#pragma once

#include <cstdint>

namespace kotran {

enum ShiftState : uint8_t {
  SHIFT_NONE = 0,   // one-byte characters: the state at the start and after kanji-out
  SHIFT_KANJI = 1,  // two-byte JIS X 0208 codes, after kanji-in
  SHIFT_KANA = 2,   // half-width katakana as 7-bit bytes, after ESC ( I
  SHIFT_SUPPLEMENT = 3,  // two-byte JIS X 0212 codes, after ESC $ ( D
  SHIFT_ROMAN = 4,  // JIS-Roman apart from ASCII, after ESC ( J where one-byte text is ASCII
};

// The two planes of JIS X 0213 in ISO-2022-JP-2004 (after ESC $ ( Q, or
// ESC $ ( O, and after ESC $ ( P): states of its reader and writer alone,
// carried across parts in the same field; JIS's reader and writer never
// meet them.
inline constexpr ShiftState SHIFT_X0213_1 = static_cast<ShiftState>(5);
inline constexpr ShiftState SHIFT_X0213_2 = static_cast<ShiftState>(6);

}  // namespace kotran
