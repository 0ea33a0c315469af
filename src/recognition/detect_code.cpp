#include "recognition/detect_code.h"

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "kernels/kernels.h"

namespace kotran {
namespace {

// Lead bytes that only Shift-JIS uses first in a pair.
constexpr bool is_sjis_lead(int b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; }

}  // namespace

// The first decisive sign wins: a kanji-in escape makes JIS, a pair that only
// Shift-JIS allows makes Shift-JIS. Pairs valid in both EUC and Shift-JIS,
// and SS2 before a katakana byte (which Shift-JIS also uses as the lead byte
// of common kanji such as 自 and 実), make the result only tentatively EUC;
// a text that ends while it is tentative is EUC.
Recognised detect_code(TextStream* s, Path path) {
  if (s == nullptr) return Recognised::unreadable;
  const int64_t start = stream_tell(s);
  Recognised result = Recognised::ascii;
  // A look-ahead that meets the end stops the scan; a read error fails it.
  auto look_ahead = [&](int& into) {
    into = read_byte(s);
    if (into != EOF) return true;
    if (stream_error(s)) result = Recognised::unreadable;
    return false;
  };
  for (;;) {
    if constexpr (PAIR_VECTORS) {
      // A vector of plain EUC units at a time: ASCII other than ESC decides
      // nothing, and pairs valid in EUC make the result only tentative.
      while (takes_vector_steps(path) && s->limit - s->next >= static_cast<ptrdiff_t>(VECTOR_WIDTH)) {
        const PlainUnits units = euc_plain_units(s->next);
        if (units.length == 0) break;
        if (units.leads != 0) result = Recognised::euc;
        s->next += units.length;
      }
    }
    const int c = read_byte(s);
    if (stream_error(s)) {
      result = Recognised::unreadable;
      break;
    }
    if (c == EOF) break;
    if (c == static_cast<int>(ESC)) {
      int c2, c3;
      if (!look_ahead(c2) || !look_ahead(c3)) break;
      const JisEscape e = jis_escape_meaning(static_cast<unsigned>(c2), static_cast<unsigned>(c3));
      if (e == JisEscape::kanji_in || e == JisEscape::kana_set) {
        result = Recognised::jis;
        break;
      }
      unread_byte(c3, s);
      unread_byte(c2, s);
      continue;
    }
    if (c < 0x80) continue;
    int c2;
    if (!look_ahead(c2)) break;
    if (c == static_cast<int>(SS2)) {
      if (c2 >= 0xA0 && c2 <= 0xDF) {
        result = Recognised::euc;
        continue;
      }
      unread_byte(c2, s);
      continue;
    }
    if (c2 < 0x80) {
      if (is_sjis_lead(c) && c2 >= 0x40) {
        result = Recognised::sjis;
        break;
      }
      unread_byte(c2, s);
      continue;
    }
    if (jis_to_sjis_code(static_cast<uint16_t>(((c << 8) | c2) & 0x7F7F)) != 0) {
      result = Recognised::euc;  // a valid EUC pair; the scan goes on
      continue;
    }
    if (is_sjis_lead(c) && c2 <= 0xFE) {
      result = Recognised::sjis;
      break;
    }
    unread_byte(c2, s);
  }
  stream_seek(s, start, 0);
  return result;
}

}  // namespace kotran
