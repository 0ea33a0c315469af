// Reading EUC-JIS-2004: single bytes, SS2 katakana, the pairs of plane 1,
// and SS3 with the two bytes of a code of plane 2, or of JIS X 0212 in the
// rows plane 2 leaves empty (as EUC-JP has them); each handed to the writer
// of the target, on the byte loop alone (see converters.cpp).
#pragma once

#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "convert/converter.h"
#include "convert/readers/katakana_reading.h"
#include "stream/cursors.h"

namespace kotran {

struct Euc2004Reader {
  static constexpr bool is_euc_byte(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

  // As EUC is read: a byte read while a lead byte or SS2 waits is its second
  // byte, whatever its value; SS3 before anything but two bytes 0xA1-0xFE is
  // read as a pair; a waiting byte is dropped at the end.
  template <Path path, class Writer>
  static void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    for (;;) {
      const int c = in.get();
      if (c == EOF) break;
      const unsigned b = static_cast<unsigned>(c);
      if (b < 0x80 || b == 0xFF) {
        w.single(b);
        continue;
      }
      const int c2 = in.get();
      if (c2 == EOF) {
        w.dropped();
        break;
      }
      const unsigned b2 = static_cast<unsigned>(c2);
      if (b == SS2) {
        read_euc_katakana(in, w, b2, widen);
        continue;
      }
      if (b == SS3 && is_euc_byte(b2)) {
        const int c3 = in.get();
        if (c3 != EOF && is_euc_byte(static_cast<unsigned>(c3))) {
          const uint16_t code = static_cast<uint16_t>(((b2 & 0x7F) << 8) | (static_cast<unsigned>(c3) & 0x7F));
          if (is_x0213_plane2_row(b2 & 0x7F))
            w.x0213_char(static_cast<uint16_t>(X0213_PLANE2 | code));
          else
            w.supplement_char(code);
          continue;
        }
        in.unget(c3);
      }
      if (is_euc_byte(b) && is_euc_byte(b2))
        w.x0213_char(static_cast<uint16_t>(((b & 0x7F) << 8) | (b2 & 0x7F)));
      else if (w.refused_euc_pair(b, b2, widen))
        in.unget(c2);
    }
    w.finish();
  }
};

}  // namespace kotran
