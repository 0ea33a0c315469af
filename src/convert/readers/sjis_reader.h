// Reading Shift-JIS: single bytes, half-width katakana and double-byte
// characters, each handed to the writer of the target.
#pragma once

#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "convert/converter.h"
#include "convert/readers/katakana_reading.h"
#include "convert/loops/vector_steps.h"
#include "stream/cursors.h"

namespace kotran {

struct SjisReader {
  static constexpr bool is_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFE); }
  static constexpr bool is_kana(unsigned b) { return b >= 0xA0 && b <= 0xDF; }

  // A byte read while a lead byte waits is its trail byte, whatever its
  // value; a lead byte left at the end is dropped. Only the end of the input
  // ends the text: a byte 0xFF is a single byte.
  // Inlined into each path's own entry, compiled for the path's instruction set.
  template <Path path, class Writer>
  [[gnu::always_inline]] static inline void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    unsigned lead = 0;
    for (;;) {
      if constexpr (path != Path::scalar) {
        if (lead == 0) {
          // Characters of JIS X 0208 rows 1-94: a lead byte of those rows
          // has a row, a trail byte a cell. Half-width katakana, not
          // widened, as the writer stores them: a run of them at once, as
          // they come in words (at most 32, which the room the tight loop
          // keeps holds in every target).
          auto pair = [&w, widen](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
            const unsigned row = row_tables.jis_row[p[0]];
            const unsigned low = end - p >= 2 ? row_tables.jis_low[p[1]] : 0;
            if (row == 0 || low == 0) {
              if (widen) return 0;
              size_t n = 0;
              while (n < 32 && p + n < end && is_kana(p[n])) {
                unsigned char* const stored = w.store_halfkana(o, p[n]);
                if (stored == nullptr) break;
                o = stored;
                ++n;
              }
              return n;
            }
            o = w.store_sjis_pair(o, p[0], p[1], row + (low >> 8), low & 0xFF);
            return 2;
          };
          if (vector_tight_loop<Code::sjis, path>(in, w, pair, widen)) continue;
        }
      }
      const int c = in.get();
      if (c == EOF) break;
      const unsigned b = static_cast<unsigned>(c);
      if (lead != 0) {
        w.sjis_pair(lead, b);
        lead = 0;
      } else if (is_lead(b)) {
        lead = b;
      } else if (is_kana(b)) {
        read_sjis_katakana(in, w, b, widen);
      } else {
        w.single(b);  // 0x00-0x80 and 0xFF
      }
    }
    if (lead != 0) w.dropped();
    w.finish();
  }
};

}  // namespace kotran
