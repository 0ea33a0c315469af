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
// The JIS writer also offers its shift transitions to the JIS reader, which
// writes some units exactly as it read them.
#pragma once

#include <cstdint>

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
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

}  // namespace kotran
