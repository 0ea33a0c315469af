// What stands in for a character that a target code lacks.
#pragma once

#include <cstdint>

namespace kotran {

inline constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
// The JIS code of 〓, written in place of a character a legacy code lacks.
inline constexpr uint16_t JIS_SUBSTITUTE = 0x222E;

}  // namespace kotran
