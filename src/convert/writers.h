// The writing side of every conversion: one writer per target code.
//
// A reader (one per source code) splits its input into units and hands each
// to the writer of the target:
//   single(b)     a one-byte character (ASCII, a control byte, a stray byte)
//   jis_char(j)   a double-byte character given by its JIS code
//   halfkana(k)   a half-width katakana in its 8-bit form 0xA0-0xDF
//   raw_pair(a,b) two bytes that form no character, written as they are
//   put(b)        one byte as it is, with no change of shift state
//   finish()      the end of the text
// The UTF-8 writer also takes any Unicode character (unicode(u)).
// The JIS writer also offers its shift transitions to the JIS reader, which
// writes some units exactly as it read them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "convert/shift_state.h"
#include "driver/settings.h"
#include "stream/text_stream.h"

namespace kotran {

inline constexpr uint8_t SS2 = 0x8E;

struct SjisWriter {
  static constexpr unsigned code = CODE_SJIS;
  TextStream* out;

  void put(unsigned b) { write_byte(static_cast<int>(b), out); }
  void single(unsigned b) { put(b); }
  void raw_pair(unsigned a, unsigned b) {
    put(a);
    put(b);
  }
  // A code that has no Shift-JIS form is written as its two bytes.
  void jis_char(uint16_t j) {
    const uint16_t s = jis_to_sjis_code(j);
    const uint16_t bytes = s != 0 ? s : j;
    put(bytes >> 8);
    put(bytes & 0xFF);
  }
  void halfkana(unsigned k) { put(k); }
  void finish() {}
};

struct EucWriter {
  static constexpr unsigned code = CODE_EUC;
  TextStream* out;

  void put(unsigned b) { write_byte(static_cast<int>(b), out); }
  void single(unsigned b) { put(b); }
  void raw_pair(unsigned a, unsigned b) {
    put(a);
    put(b);
  }
  void jis_char(uint16_t j) {
    put((j >> 8) | 0x80);
    put((j & 0xFF) | 0x80);
  }
  void halfkana(unsigned k) {
    put(SS2);
    put(k);
  }
  void finish() {}
};

// JIS output returns to one-byte text before every one-byte character (so
// before every line end) and at the end; a sequence is written only when the
// next unit needs another set.
struct JisWriter {
  static constexpr unsigned code = CODE_JIS;
  TextStream* out;
  ShiftState state = SHIFT_NONE;

  explicit JisWriter(TextStream* o) : out(o) {}

  static const JisEscapeRow& row() {
    const unsigned v = jis_variant_of(settings);
    return jis_escape_table[v < 5 ? v : 0];
  }
  void put(unsigned b) { write_byte(static_cast<int>(b), out); }
  void to_kanji() {
    if (state != SHIFT_KANJI) {
      write_string(out, row().kanji_in);
      state = SHIFT_KANJI;
    }
  }
  void to_kana() {
    if (state != SHIFT_KANA) {
      write_string(out, KANA_IN);
      state = SHIFT_KANA;
    }
  }
  void to_none() {
    if (state != SHIFT_NONE) {
      write_string(out, row().kanji_out);
      state = SHIFT_NONE;
    }
  }
  void single(unsigned b) {
    to_none();
    put(b);
  }
  void raw_pair(unsigned a, unsigned b) {
    to_none();
    put(a);
    put(b);
  }
  void jis_char(uint16_t j) {
    to_kanji();
    put(j >> 8);
    put(j & 0xFF);
  }
  void halfkana(unsigned k) {
    to_kana();
    put(k & 0x7F);
  }
  void finish() { to_none(); }
};

// Characters that a conversion had to replace, counted over a file.
extern size_t replaced_characters;

inline constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
// The JIS code of 〓, written in place of a character a legacy code lacks.
inline constexpr uint16_t JIS_SUBSTITUTE = 0x222E;
inline constexpr char32_t HALFWIDTH_KANA_FIRST = 0xFF61;  // ｡, byte 0xA1
inline constexpr char32_t HALFWIDTH_KANA_LAST = 0xFF9F;   // ﾟ, byte 0xDF

// UTF-8 output. A unit that has no Unicode character (an unassigned code, a
// pair that is no character, a stray byte) becomes U+FFFD; a byte below 0x80
// that came with it is kept, so that line ends survive.
struct Utf8Writer {
  static constexpr unsigned code = CODE_UTF8;
  TextStream* out;

  void unicode(char32_t u) {
    if (u < 0x80) {
      write_byte(static_cast<int>(u), out);
    } else if (u < 0x800) {
      write_byte(static_cast<int>(0xC0 | (u >> 6)), out);
      write_byte(static_cast<int>(0x80 | (u & 0x3F)), out);
    } else if (u < 0x10000) {
      write_byte(static_cast<int>(0xE0 | (u >> 12)), out);
      write_byte(static_cast<int>(0x80 | ((u >> 6) & 0x3F)), out);
      write_byte(static_cast<int>(0x80 | (u & 0x3F)), out);
    } else {
      write_byte(static_cast<int>(0xF0 | (u >> 18)), out);
      write_byte(static_cast<int>(0x80 | ((u >> 12) & 0x3F)), out);
      write_byte(static_cast<int>(0x80 | ((u >> 6) & 0x3F)), out);
      write_byte(static_cast<int>(0x80 | (u & 0x3F)), out);
    }
  }
  void replace() {
    unicode(REPLACEMENT_CHARACTER);
    ++replaced_characters;
  }
  void put(unsigned b) {
    if (b < 0x80)
      write_byte(static_cast<int>(b), out);
    else
      replace();
  }
  void single(unsigned b) { put(b); }
  void raw_pair(unsigned a, unsigned b) {
    put(a);
    put(b);
  }
  void jis_char(uint16_t j) {
    const char16_t u = jis_to_unicode(j);
    if (u != 0)
      unicode(u);
    else
      replace();
  }
  void halfkana(unsigned k) {
    if (k >= 0xA1 && k <= 0xDF) {
      unicode(HALFWIDTH_KANA_FIRST + (k - 0xA1));
    } else {
      replace();
      if (k < 0x80) put(k);
    }
  }
  void finish() {}
};

}  // namespace kotran

