// Reading ISO-2022-JP-2004: escape sequences switch between one-byte text
// (ESC ( B, ESC ( J), JIS X 0213 plane 1 (ESC $ ( Q, and the 2000
// edition's ESC $ ( O), plane 2 (ESC $ ( P), JIS X 0208 (ESC $ B, ESC $ @,
// read as the plane 1 it is part of), JIS X 0212 (ESC $ ( D) and half-width
// katakana (ESC ( I); each unit is handed to the writer of the target.
//
// As JIS is read: a set and a first byte left waiting go on over a line
// end; an escape sequence of no set passes on as its ESC, and the bytes
// after it are read again. It runs on the byte loop alone (see
// converters.cpp).
#pragma once

#include "codes/jis_escapes.h"
#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "convert/converter.h"
#include "convert/writers/shift_state.h"
#include "stream/cursors.h"

namespace kotran {

struct Jis2004Reader {
  static constexpr unsigned LF = 0x0A;

  template <Path path, class Writer>
  static void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    ShiftState shift = options.jis_read_shift;
    unsigned waiting = options.jis_waiting;  // the first byte of a pair
    for (;;) {
      const int c = in.get();
      if (c == EOF) break;
      const unsigned b = static_cast<unsigned>(c);
      if (b == ESC) {
        escape(in, w, shift);
        continue;
      }
      if (b == LF) {
        w.single(LF);
        continue;
      }
      if (shift == SHIFT_KANA) {
        katakana(in, w, b, widen);
      } else if (shift == SHIFT_KANJI || shift == SHIFT_X0213_1 || shift == SHIFT_X0213_2 ||
                 shift == SHIFT_SUPPLEMENT) {
        if (waiting == 0) {
          waiting = b;
        } else {
          pair(w, shift, waiting, b);
          waiting = 0;
        }
      } else {
        w.single(b);
      }
    }
    if (options.continues) {
      if constexpr (requires { w.found; }) {
        w.found.jis_read_shift = shift;
        w.found.jis_waiting = static_cast<uint8_t>(waiting);
      }
    } else if (waiting != 0) {
      w.dropped();
    }
    w.finish();
  }

  // A byte of katakana text: bytes 0x21-0x5F are katakana, a voiced or
  // semi-voiced mark after one merging into it where they are widened.
  template <class Writer>
  static void katakana(ByteReader& in, Writer& w, unsigned b, bool widen) {
    if (b < 0x21 || b > 0x5F) return w.single(b);
    if (!widen) return w.halfkana(b | 0x80);
    const int e = in.get();
    const unsigned next = e >= 0x21 && e <= 0x5F ? (static_cast<unsigned>(e) | 0x80) : 0;
    uint16_t wide;
    const int taken = widen_kana(static_cast<uint16_t>((b | 0x80) << 8 | next), wide);
    if (taken != 2) in.unget(e);
    if (taken != 0)
      w.jis_char(wide);
    else
      w.halfkana(b | 0x80);
  }

  // A pair of two-byte text: a code of its set when both bytes are
  // 0x21-0x7E, else the two bytes as they are.
  template <class Writer>
  static void pair(Writer& w, ShiftState shift, unsigned first, unsigned second) {
    auto is_jis_byte = [](unsigned x) { return x >= 0x21 && x <= 0x7E; };
    if (!is_jis_byte(first) || !is_jis_byte(second)) return w.raw_pair(first, second);
    const uint16_t code = static_cast<uint16_t>(first << 8 | second);
    if (shift == SHIFT_SUPPLEMENT)
      w.supplement_char(code);
    else
      w.x0213_char(shift == SHIFT_X0213_2 ? static_cast<uint16_t>(X0213_PLANE2 | code) : code);
  }

  // Entered with ESC read. A sequence of no set passes on as its ESC, and
  // the bytes after it are read again (in the set that goes on).
  template <class Writer>
  static void escape(ByteReader& in, Writer& w, ShiftState& shift) {
    const int b1 = in.get();
    const int b2 = b1 == EOF ? EOF : in.get();
    int b3 = EOF;
    ShiftState goal = shift;
    bool known = true;
    if (b1 == '$' && b2 == '(') {
      b3 = in.get();
      switch (b3) {
        case 'Q':
        case 'O': goal = SHIFT_X0213_1; break;
        case 'P': goal = SHIFT_X0213_2; break;
        case 'D': goal = SHIFT_SUPPLEMENT; break;
        default: known = false; break;
      }
    } else if (b1 == '$' && (b2 == 'B' || b2 == '@')) {
      goal = SHIFT_KANJI;
    } else if (b1 == '(' && b2 == 'B') {
      goal = SHIFT_NONE;
    } else if (b1 == '(' && b2 == 'J') {
      goal = SHIFT_ROMAN;
    } else if (b1 == '(' && b2 == 'I') {
      goal = SHIFT_KANA;
    } else {
      known = false;
    }
    if (!known) {
      in.unget(b3);
      in.unget(b2);
      in.unget(b1);
      w.put(ESC);
      return;
    }
    shift = goal;
  }
};

}  // namespace kotran
