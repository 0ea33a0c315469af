// Reading Shift_JIS-2004: single bytes, half-width katakana and the pairs of
// JIS X 0213, plane 2 under lead bytes 0xF0-0xFC; each handed to the writer
// of the target, on the byte loop alone (see converters.cpp).
#pragma once

#include "codes/kana.h"
#include "codes/sjis2004.h"
#include "convert/converter.h"
#include "convert/readers/katakana_reading.h"
#include "stream/cursors.h"

namespace kotran {

struct Sjis2004Reader {
  static constexpr bool is_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
  static constexpr bool is_kana(unsigned b) { return b >= 0xA0 && b <= 0xDF; }

  // A byte read while a lead byte waits is its trail byte, whatever its
  // value; a pair that is no code goes as its two bytes, and a lead byte
  // left at the end is dropped.
  template <Path path, class Writer>
  static void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    unsigned lead = 0;
    for (;;) {
      const int c = in.get();
      if (c == EOF) break;
      const unsigned b = static_cast<unsigned>(c);
      if (lead != 0) {
        if (const uint16_t x = sjis2004_to_x0213(lead, b); x != 0)
          w.x0213_char(x);
        else
          w.raw_pair(lead, b);
        lead = 0;
      } else if (is_lead(b)) {
        lead = b;
      } else if (is_kana(b)) {
        read_sjis_katakana(in, w, b, widen);
      } else {
        w.single(b);  // 0x00-0x80 and 0xFD-0xFF
      }
    }
    if (lead != 0) w.dropped();
    w.finish();
  }
};

}  // namespace kotran
