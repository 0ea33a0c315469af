// ISO-2022-JP-2004 output.
//
// JIS X 0208's own cells go after ESC $ B, as JIS has them; the other cells
// of plane 1 after ESC $ ( Q, plane 2 after ESC $ ( P. One-byte text is
// ASCII (ESC ( B), the YEN SIGN and OVERLINE JIS-Roman apart from it
// (ESC ( J), half-width katakana after ESC ( I, as kotran's JIS writes them.
// The writer returns to ASCII before every one-byte character (so before
// every line end) and at the end; a sequence is written only when the next
// unit needs another set.
#pragma once

#include "codes/jis_escapes.h"
#include "convert/writers/shift_state.h"
#include "convert/writers/x0213_writer.h"

namespace kotran {

struct Jis2004Writer : X0213Writer<Jis2004Writer> {
  Jis2004Writer(ByteWriter& o, ConversionResult& f, const ConvertOptions& options)
      : X0213Writer<Jis2004Writer>{{{{o, f}}}}, state(options.jis_write_shift), continues(options.continues) {}

  ShiftState state;
  bool continues;  // more text follows: the set is kept for it

  // The sequence that enters each set, by ShiftState.
  static const char* sequence_of(ShiftState s) {
    if (s == SHIFT_KANJI) return "\x1B$B";
    if (s == SHIFT_KANA) return KANA_IN;
    if (s == SHIFT_ROMAN) return ROMAN_IN;
    if (s == SHIFT_X0213_1) return X0213_PLANE1_IN;
    if (s == SHIFT_X0213_2) return X0213_PLANE2_IN;
    return ASCII_IN;
  }
  static ShiftState set_of(uint16_t x) {
    if (x >= X0213_PLANE2) return SHIFT_X0213_2;
    return is_jis0208_cell(x) ? SHIFT_KANJI : SHIFT_X0213_1;
  }
  void shift(ShiftState goal) {
    if (state == goal) return;
    out.put_string(sequence_of(goal));
    state = goal;
  }
  void put_single(unsigned b) {
    shift(SHIFT_NONE);
    out.put(b);
  }
  void put_run(const unsigned char* p, size_t n) {
    shift(SHIFT_NONE);
    out.put_bytes(p, n);
  }
  void put_raw_pair(unsigned a, unsigned b) {
    shift(SHIFT_NONE);
    out.put2(a, b);
  }
  void roman(unsigned b) {
    write_held();
    shift(SHIFT_ROMAN);
    out.put(b);
  }

  void put_code(uint16_t x) {
    shift(set_of(x));
    out.put2((x >> 8) & 0x7F, x & 0x7F);
  }
  void put_halfkana(unsigned k) {
    shift(SHIFT_KANA);
    out.put(k & 0x7F);
  }
  // ISO-2022-JP-2004 has no JIS X 0212.
  static bool supplement_kept(uint16_t) { return false; }
  void finish() {
    write_held();
    if (continues)
      found.jis_write_shift = state;
    else
      shift(SHIFT_NONE);
  }
};

}  // namespace kotran
