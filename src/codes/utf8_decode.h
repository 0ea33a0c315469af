// Decoding UTF-8 one character at a time.
#pragma once

#include <cstdio>  // EOF

namespace kotran {

inline constexpr char32_t UTF8_END = 0xFFFFFFFF;      // the end of the input
inline constexpr char32_t UTF8_INVALID = 0xFFFFFFFE;  // one invalid sequence

// The next character, UTF8_INVALID for each maximal invalid part (a byte that
// cannot start a character, or a start not completed; the byte that broke it
// is read again), or UTF8_END. Overlong forms, surrogates and values past
// U+10FFFF are invalid.
// In is a byte source with get() (a byte, or EOF) and unget(c).
template <class In>
char32_t decode_utf8(In& in) {
  const int b = in.get();
  if (b == EOF) return UTF8_END;
  if (b < 0x80) return static_cast<char32_t>(b);
  int more;
  char32_t u;
  int low = 0x80, high = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
    u = static_cast<char32_t>(b & 0x1F);
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    u = static_cast<char32_t>(b & 0x0F);
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    u = static_cast<char32_t>(b & 0x07);
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return UTF8_INVALID;
  }
  for (; more > 0; --more) {
    const int c = in.get();
    if (c < low || c > high) {
      in.unget(c);
      return UTF8_INVALID;
    }
    u = (u << 6) | static_cast<char32_t>(c & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return u;
}

}  // namespace kotran
