// Reading UTF-16, in the order its byte-order mark gives (without one, the
// order recognition found, else little-endian), a code unit of two bytes at a time. CR LF is one line end, as
// the text streams fold it for the byte codes (a UTF-16 stream is read
// unfolded); a surrogate pair is one character; a lone surrogate, and a byte
// left alone at the end, is replaced. Characters go to the writer as from
// UTF-8.
#pragma once

#include "codes/kana.h"
#include "convert/converter.h"
#include "stream/cursors.h"

namespace kotran {

struct Utf16Reader {
  static constexpr int32_t END = -1;        // the end of the input
  static constexpr int32_t ODD_BYTE = -2;   // one byte left at the end
  static constexpr int32_t NOTHING_AHEAD = -3;
  static constexpr int32_t CR = 0x0D, LF = 0x0A;
  static constexpr char32_t HALFWIDTH_VOICED_MARK = 0xFF9E;
  static constexpr char32_t HALFWIDTH_SEMI_VOICED_MARK = 0xFF9F;

  // The whole text is read by the byte loop, whatever the path.
  template <Path, class Writer>
  static void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    bool big_endian = options.big_endian;
    const int b0 = options.continued ? EOF : in.get();
    const int b1 = b0 == EOF ? EOF : in.get();
    if (b0 == 0xFE && b1 == 0xFF) {
      big_endian = true;
    } else if (b0 == 0xFF && b1 == 0xFE) {
      big_endian = false;
    } else {
      in.unget(b1);
      in.unget(b0);
    }
    auto unit = [&in, big_endian]() -> int32_t {
      const int a = in.get();
      if (a == EOF) return END;
      const int b = in.get();
      if (b == EOF) return ODD_BYTE;
      return big_endian ? (a << 8 | b) : (b << 8 | a);
    };
    int32_t ahead = NOTHING_AHEAD;  // a unit read while looking past another
    for (;;) {
      const int32_t c = ahead != NOTHING_AHEAD ? ahead : unit();
      ahead = NOTHING_AHEAD;
      if (c == END) break;
      if (c == ODD_BYTE) {
        w.dropped();
        break;
      }
      if (c == CR) {
        const int32_t next = unit();
        if (next == LF) {
          w.single(LF);
        } else {
          w.single(CR);
          ahead = next;
        }
      } else if (c >= 0xD800 && c <= 0xDBFF) {
        const int32_t next = unit();
        if (next >= 0xDC00 && next <= 0xDFFF) {
          w.unicode(static_cast<char32_t>(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00)));
        } else {
          w.substitute();
          ahead = next;
        }
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        w.substitute();
      } else if (c < 0x80) {
        w.single(static_cast<unsigned>(c));
      } else if (c >= static_cast<int32_t>(HALFWIDTH_KANA_FIRST) && c <= static_cast<int32_t>(HALFWIDTH_KANA_LAST)) {
        const unsigned k = static_cast<unsigned>(c - HALFWIDTH_KANA_FIRST) + KANA_FIRST;
        if (!options.widen) {
          w.halfkana(k);
          continue;
        }
        // A voiced or semi-voiced mark after the katakana merges into it.
        const int32_t next = unit();
        const unsigned mark = next == static_cast<int32_t>(HALFWIDTH_VOICED_MARK)        ? VOICED_MARK
                              : next == static_cast<int32_t>(HALFWIDTH_SEMI_VOICED_MARK) ? SEMI_VOICED_MARK
                                                                                          : 0;
        uint16_t wide = 0;
        if (widen_kana(static_cast<uint16_t>(k << 8 | mark), wide) != 2) ahead = next;
        w.jis_char(wide);
      } else {
        w.unicode(static_cast<char32_t>(c));
      }
    }
    w.finish();
  }
};

}  // namespace kotran
