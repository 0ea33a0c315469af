// Converters from UTF-8: one reader, a writer per target.
#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "convert/converters.h"
#include "convert/utf8_decode.h"
#include "convert/writers.h"

namespace kotran {

namespace {

constexpr char32_t BYTE_ORDER_MARK = 0xFEFF;
constexpr char32_t HALFWIDTH_VOICED_MARK = 0xFF9E;
constexpr char32_t HALFWIDTH_SEMI_VOICED_MARK = 0xFF9F;
constexpr char32_t NOTHING_AHEAD = 0xFFFFFFFD;

// Stores a character of two or three bytes (other than the half-width
// katakana) that the target has; 0 for anything else, which is left to the
// byte loop.
template <class Writer>
size_t take_utf8(Writer& w, const unsigned char* p, const unsigned char* end, unsigned char*& o) {
  auto continuation = [](unsigned c) { return (c & 0xC0) == 0x80; };
  const unsigned b = p[0];
  char32_t u;
  size_t length;
  if (b >= 0xC2 && b <= 0xDF && end - p >= 2 && continuation(p[1])) {
    u = static_cast<char32_t>((b & 0x1F) << 6 | (p[1] & 0x3F));
    length = 2;
  } else if (b >= 0xE1 && b <= 0xEF && b != 0xED && end - p >= 3 && continuation(p[1]) && continuation(p[2])) {
    // E0 and ED have narrower second bytes; the byte loop checks them.
    u = static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
    length = 3;
  } else {
    return 0;
  }
  if (u >= HALFWIDTH_KANA_FIRST && u <= HALFWIDTH_KANA_LAST) return 0;
  if constexpr (Writer::code == CODE_UTF8) {
    for (size_t k = 0; k < length; ++k) o[k] = p[k];
    o += length;
  } else {
    const uint16_t j = unicode_to_jis(u);
    if (j == 0) return 0;
    o = w.store_row(o, j >> 8, j & 0xFFu);
  }
  return length;
}

// Reads UTF-8 text character by character. ASCII passes as it is; other
// characters go through the JIS X 0208 table; half-width katakana are written
// as the target writes them, or widened with a following voiced or
// semi-voiced mark merged. A byte-order mark at the start is dropped. A
// character the target lacks, and each invalid sequence, is replaced (by 〓,
// or by U+FFFD in UTF-8).
template <class Writer, bool Fast>
int read_utf8(ByteReader& in, Writer w) {
  const bool widen = to_fullwidth(settings);
  char32_t ahead = NOTHING_AHEAD;  // a character read while looking for a mark
  bool first = true;
  auto substitute = [&w] {
    if constexpr (Writer::code == CODE_UTF8) {
      w.replace();
    } else {
      w.jis_char(JIS_SUBSTITUTE);
      ++replaced_characters;
    }
  };
  for (;;) {
    if constexpr (Fast) {
      if (ahead == NOTHING_AHEAD && !first) {
        if (tight_loop(in, w, [&w](const unsigned char* p, const unsigned char* end, unsigned char*& o) {
              return take_utf8(w, p, end, o);
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
      substitute();
    } else if (u >= HALFWIDTH_KANA_FIRST && u <= HALFWIDTH_KANA_LAST) {
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
    } else if constexpr (Writer::code == CODE_UTF8) {
      w.unicode(u);
    } else if (u == 0xA5 || u == 0x203E) {
      w.single(u == 0xA5 ? 0x5C : 0x7E);  // YEN SIGN and OVERLINE, as one-byte JIS Roman
    } else if (const uint16_t j = unicode_to_jis(u); j != 0) {
      w.jis_char(j);
    } else {
      substitute();
    }
  }
  w.finish();
  return 1;
}

template <class Writer>
int convert(TextStream* in, TextStream* out) {
  ByteReader reader(in);
  ByteWriter writer(out);
  return converter_fast_paths ? read_utf8<Writer, true>(reader, Writer{writer})
                              : read_utf8<Writer, false>(reader, Writer{writer});
}

}  // namespace

int convert_utf8_sjis(TextStream* in, TextStream* out) { return convert<SjisWriter>(in, out); }
int convert_utf8_jis(TextStream* in, TextStream* out) { return convert<JisWriter>(in, out); }
int convert_utf8_euc(TextStream* in, TextStream* out) { return convert<EucWriter>(in, out); }
int convert_utf8_utf8(TextStream* in, TextStream* out) { return convert<Utf8Writer>(in, out); }

}  // namespace kotran
