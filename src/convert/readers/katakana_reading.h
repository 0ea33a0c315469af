// How the byte readers read a half-width katakana, as it stands or widened
// with the voiced or semi-voiced mark after it: Shift-JIS writes one as a
// byte 0xA0-0xDF, EUC as SS2 and that byte.
#pragma once

#include <cstdint>

#include "codes/kana.h"
#include "stream/cursors.h"

namespace kotran {

// The katakana byte b of Shift-JIS has been read: a mark after it merges
// into the full-width form where widen asks for one.
template <class Writer>
[[gnu::always_inline]] inline void read_sjis_katakana(ByteReader& in, Writer& w, unsigned b, bool widen) {
  if (!widen) {
    w.halfkana(b);
    return;
  }
  const int e = in.get();
  uint16_t wide;
  const int taken = widen_kana(static_cast<uint16_t>((b << 8) | (static_cast<unsigned>(e) & 0xFF)), wide);
  if (taken == 0) {
    in.unget(e);
    w.halfkana(b);  // 0xA0 has no full-width form
  } else {
    w.jis_char(wide);
    if (taken == 1) in.unget(e);
  }
}

// SS2 and the byte b2 of EUC have been read: a mark merges only when
// written with its own SS2.
template <class Writer>
[[gnu::always_inline]] inline void read_euc_katakana(ByteReader& in, Writer& w, unsigned b2, bool widen) {
  if (!widen) {
    w.halfkana(b2);
    return;
  }
  const int d = in.get();
  int e = EOF;
  uint16_t pair = static_cast<uint16_t>(b2 << 8);
  if (d == SS2) {
    e = in.get();
    pair = static_cast<uint16_t>(pair | (static_cast<unsigned>(e) & 0xFF));
  }
  uint16_t wide;
  const int taken = widen_kana(pair, wide);
  if (taken != 2) {
    in.unget(e);
    in.unget(d);
  }
  if (taken != 0)
    w.jis_char(wide);
  else
    w.halfkana(b2);
}

}  // namespace kotran
