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

}  // namespace kotran
