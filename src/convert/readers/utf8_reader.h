// Reading UTF-8 character by character. ASCII passes as it is; other
// characters go to the writer, which writes them through the JIS X 0208
// table; half-width katakana are written as the target writes them, or
// widened with a following voiced or semi-voiced mark merged. A byte-order
// mark at the start is dropped. A character the target lacks, and each
// invalid sequence, is replaced (by 〓, or by U+FFFD in UTF-8).
#pragma once

#include <bit>
#include <cstring>

#include "codes/kana.h"
#include "codes/utf8_decode.h"
#include "convert/converter.h"
#include "convert/loops/tight_loop.h"
#include "convert/loops/vector_steps.h"
#include "stream/cursors.h"

namespace kotran {

struct Utf8Reader {
  static constexpr char32_t BYTE_ORDER_MARK = 0xFEFF;
  static constexpr char32_t HALFWIDTH_VOICED_MARK = 0xFF9E;
  static constexpr char32_t HALFWIDTH_SEMI_VOICED_MARK = 0xFF9F;
  static constexpr char32_t NOTHING_AHEAD = 0xFFFFFFFD;

  static constexpr bool is_halfwidth_kana(char32_t u) {
    return u >= HALFWIDTH_KANA_FIRST && u <= HALFWIDTH_KANA_LAST;
  }

  // Stores a character of two or three bytes that the target has (a
  // half-width katakana only when it is not widened, as the writer stores
  // it); 0 for anything else, which is left to the byte loop.
  template <class Writer>
  static size_t take(Writer& w, const unsigned char* p, const unsigned char* end, unsigned char*& o, bool widen) {
    auto continuation = [](unsigned c) { return (c & 0xC0) == 0x80; };
    const unsigned b = p[0];
    char32_t u;
    size_t length;
    if (std::endian::native == std::endian::little && end - p >= 4) {
      // Four bytes in one word, the first lowest: the forms' fixed bits in
      // one compare, the value's bits gathered without a branch.
      uint32_t x;
      std::memcpy(&x, p, 4);
      if ((x & 0xC0C0F0) == 0x8080E0) {
        u = (x & 0x0F) << 12 | (x & 0x3F00) >> 2 | (x & 0x3F0000) >> 16;
        if (u < 0x800 || u - 0xD800 < 0x800) return 0;  // an overlong form, a surrogate
        length = 3;
      } else if ((x & 0xC0E0) == 0x80C0) {
        u = (x & 0x1F) << 6 | (x & 0x3F00) >> 8;
        if (u < 0x80) return 0;  // an overlong form
        length = 2;
      } else {
        return 0;
      }
    } else if (b >= 0xC2 && b <= 0xDF && end - p >= 2 && continuation(p[1])) {
      u = static_cast<char32_t>((b & 0x1F) << 6 | (p[1] & 0x3F));
      length = 2;
    } else if (b >= 0xE1 && b <= 0xEF && b != 0xED && end - p >= 3 && continuation(p[1]) && continuation(p[2])) {
      // E0 and ED have narrower second bytes; the byte loop checks them.
      u = static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
      length = 3;
    } else {
      return 0;
    }
    unsigned char* const stored =
        !is_halfwidth_kana(u) ? w.store_utf8(o, u, p, length)
        : widen               ? nullptr
                              : w.store_halfkana(o, static_cast<unsigned>(u - HALFWIDTH_KANA_FIRST) + KANA_FIRST);
    if (stored == nullptr) return 0;
    o = stored;
    return length;
  }

  template <Path path, class Writer>
  static void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    const bool widen = options.widen;
    char32_t ahead = NOTHING_AHEAD;  // a character read while looking for a mark
    bool first = !options.continued;  // a byte-order mark is looked for
    for (;;) {
      if constexpr (path != Path::scalar) {
        if (ahead == NOTHING_AHEAD && !first) {
          const LineEndStops stops = line_end_stops(in, w);
          if (tight_loop(in, w, [&w, widen, stops](const unsigned char* p, const unsigned char* end, unsigned char*& o) {
                (void)stops;  // (where the path takes no vector steps)
                if constexpr (takes_vectors<Code::utf8, Writer>(path, VectorForm::utf8_runs)) {
                  using Step = VectorStep<Code::utf8, Writer>;
                  if (const size_t n = step_blocks<path, Step>(o, p, end, w, stops, widen)) return n;
                  if (end - p >= static_cast<ptrdiff_t>(WIDEST_WIDTH + 2))
                    if (const size_t n = step_run<path, VectorStep<Code::utf8, Writer>>(o, p, w, stops, widen)) return n;
                }
                return take(w, p, end, o, widen);
              }))
            continue;
        }
      }
      char32_t u = ahead;
      ahead = NOTHING_AHEAD;
      if (u == NOTHING_AHEAD) u = decode_utf8(in);
      if (u == UTF8_END) break;
      if (first) {
        first = false;
        if (u == BYTE_ORDER_MARK) continue;
      }
      if (u < 0x80) {
        w.single(u);
      } else if (u == UTF8_INVALID) {
        w.substitute();
      } else if (is_halfwidth_kana(u)) {
        const unsigned k = static_cast<unsigned>(u - HALFWIDTH_KANA_FIRST) + KANA_FIRST;
        if (!widen) {
          w.halfkana(k);
          continue;
        }
        const char32_t next = decode_utf8(in);
        const unsigned mark = next == HALFWIDTH_VOICED_MARK        ? VOICED_MARK
                              : next == HALFWIDTH_SEMI_VOICED_MARK ? SEMI_VOICED_MARK
                                                                   : 0;
        uint16_t wide = 0;
        if (widen_kana(static_cast<uint16_t>(k << 8 | mark), wide) != 2) ahead = next;
        w.jis_char(wide);
      } else {
        w.unicode(u);
      }
    }
    w.finish();
  }
};

}  // namespace kotran
