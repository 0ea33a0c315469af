// Half-width katakana (bytes 0xA1-0xDF) and their full-width JIS X 0208 codes.
#pragma once

#include <cstdint>

namespace kotran {

inline constexpr uint8_t KANA_FIRST = 0xA1;
inline constexpr uint8_t KANA_LAST = 0xDF;
inline constexpr uint8_t VOICED_MARK = 0xDE;       // ﾞ
inline constexpr uint8_t SEMI_VOICED_MARK = 0xDF;  // ﾟ
// EUC's single shift 2: the half-width katakana byte follows.
inline constexpr uint8_t SS2 = 0x8E;
// EUC's single shift 3: two bytes of a JIS X 0212 code follow.
inline constexpr uint8_t SS3 = 0x8F;
// The same katakana in Unicode: ｡ (byte 0xA1) to ﾟ (byte 0xDF).
inline constexpr char32_t HALFWIDTH_KANA_FIRST = 0xFF61;
inline constexpr char32_t HALFWIDTH_KANA_LAST = 0xFF9F;

// Full-width JIS code of each half-width katakana 0xA1-0xDF, in byte order.
inline constexpr uint16_t kana_table[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523,  // A1-A8
    0x2525, 0x2527, 0x2529, 0x2563, 0x2565, 0x2567, 0x2543, 0x213C,  // A9-B0
    0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F,  // B1-B8
    0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F,  // B9-C0
    0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D,  // C1-C8
    0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F,  // C9-D0
    0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569, 0x256A,  // D1-D8
    0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,          // D9-DF
};

// Widens the half-width katakana in the high byte of pair, looking at the
// byte after it in the low byte. Returns how many input bytes the full-width
// character stands for: 1 (the katakana alone) or 2 (the katakana and a
// voiced or semi-voiced mark merged into it), storing its JIS code in out;
// 0 when the high byte is no half-width katakana (out untouched).
constexpr int widen_kana(uint16_t pair, uint16_t& out) {
  const unsigned k = pair >> 8;
  const unsigned next = pair & 0xFF;
  if (k < KANA_FIRST || k > KANA_LAST) return 0;
  out = kana_table[k - KANA_FIRST];
  if (next == VOICED_MARK) {
    // ｶ-ﾄ and ﾊ-ﾎ take the voiced mark (ﾅ-ﾉ lie in the same range); ｳ does not.
    if (k >= 0xB6 && k <= 0xCE) {
      out = static_cast<uint16_t>(out + 1);
      return 2;
    }
    return 1;
  }
  if (next == SEMI_VOICED_MARK) {
    if (k >= 0xCA && k <= 0xCE) {
      out = static_cast<uint16_t>(out + 2);
      return 2;
    }
    return 1;
  }
  return 1;
}

}  // namespace kotran
