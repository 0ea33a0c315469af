// Reading EUC: single bytes, SS2 katakana and double-byte pairs, each handed
// to the writer of the target.
#pragma once

#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "convert/converter.h"
#include "convert/readers/katakana_reading.h"
#include "convert/loops/vector_steps.h"
#include "stream/cursors.h"

namespace kotran {

struct EucReader {
  static constexpr bool is_euc_byte(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

  // SS3 and two bytes 0xA1-0xFE are a JIS X 0212 code; SS3 before anything
  // else is read as a pair and a following byte. A byte read while a lead
  // byte or SS2 waits is its second byte, whatever its value; a waiting byte
  // is dropped at the end. Only the end of the input ends the text: a byte
  // 0xFF met with nothing waiting is a single byte.
  // Inlined into each path's own entry, compiled for the path's instruction set.
  template <Path path, class Writer>
  [[gnu::always_inline]] static inline void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    for (;;) {
      if constexpr (path != Path::scalar) {
        // Pairs whose bytes both lie in 0xA1-0xFE: each the JIS code of rows
        // 1-94 it stands for, which every target accepts. SS2 and a
        // half-width katakana, not widened, as the writer stores it: a run
        // of them at once, as they come in words (at most 32).
        auto pair = [&w, widen](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
          if (end - p < 2) return 0;
          if (p[0] == SS2 && !widen) {
            size_t n = 0;
            while (n < 64 && end - (p + n) >= 2 && p[n] == SS2 && p[n + 1] >= KANA_FIRST && p[n + 1] <= KANA_LAST) {
              unsigned char* const stored = w.store_halfkana(o, p[n + 1]);
              if (stored == nullptr) break;
              o = stored;
              n += 2;
            }
            return n;
          }
          if (!is_euc_byte(p[0]) || !is_euc_byte(p[1])) return 0;
          o = w.store_row(o, p[0] & 0x7Fu, p[1] & 0x7Fu);
          return 2;
        };
        if (vector_tight_loop<Code::euc, path>(in, w, pair, widen)) continue;
      }
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
        // SS3 and two bytes 0xA1-0xFE: a JIS X 0212 code.
        const int c3 = in.get();
        if (c3 != EOF && is_euc_byte(static_cast<unsigned>(c3))) {
          w.supplement_char(static_cast<uint16_t>(((b2 & 0x7F) << 8) | (static_cast<unsigned>(c3) & 0x7F)));
          continue;
        }
        in.unget(c3);
      }
      const uint16_t jis = static_cast<uint16_t>(((b & 0x7F) << 8) | (b2 & 0x7F));
      if (jis_to_sjis_code(jis) != 0)
        w.euc_pair(b, b2, jis);
      else if (w.refused_euc_pair(b, b2, widen))
        in.unget(c2);
    }
    w.finish();
  }
};

}  // namespace kotran
