#include "recognition/detect_code.h"

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "kernels/kernels.h"
#include "stream/text_parts.h"

namespace kotran {
namespace {

// Lead bytes that only Shift-JIS uses first in a pair.
constexpr bool is_sjis_lead(int b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; }

}  // namespace

// The first decisive sign wins: a kanji-in escape makes JIS, a pair that only
// Shift-JIS allows makes Shift-JIS. Pairs valid in both EUC and Shift-JIS,
// and SS2 before a katakana byte (which Shift-JIS also uses as the lead byte
// of common kanji such as 自 and 实), make the result only tentatively EUC;
// a text that ends while it is tentative is EUC.
size_t FirstSign::take(TextStream* s, bool last) {
  const unsigned char* at = s->next;  // where the byte being looked at began
  // A look-ahead that meets the end of a part stops there: the byte being
  // looked at comes again with the next part; at the text's end it stops
  // the scan.
  bool stopped = false;
  auto look_ahead = [&](int& into) {
    into = read_byte(s);
    if (into != EOF) return true;
    stopped = last;
    return false;
  };
  for (;;) {
    if constexpr (PAIR_VECTORS) {
      // A vector of plain EUC units at a time: ASCII other than ESC decides
      // nothing, and pairs valid in EUC make the result only tentative.
      while (takes_vector_steps(path_) && s->limit - s->next >= static_cast<ptrdiff_t>(VECTOR_WIDTH)) {
        const PlainUnits units = euc_plain_units(s->next);
        if (units.length == 0) break;
        if (units.leads != 0) result_ = Recognised::euc;
        s->next += units.length;
      }
    }
    at = s->next;
    const int c = read_byte(s);
    if (c == EOF) {
      done_ = last;
      break;
    }
    if (c == static_cast<int>(ESC)) {
      int c2, c3;
      if (!look_ahead(c2) || !look_ahead(c3)) break;
      const JisEscape e = jis_escape_meaning(static_cast<unsigned>(c2), static_cast<unsigned>(c3));
      if (e == JisEscape::kanji_in || e == JisEscape::kana_set) {
        result_ = Recognised::jis;
        done_ = true;
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
        result_ = Recognised::euc;
        continue;
      }
      unread_byte(c2, s);
      continue;
    }
    if (c2 < 0x80) {
      if (is_sjis_lead(c) && c2 >= 0x40) {
        result_ = Recognised::sjis;
        done_ = true;
        break;
      }
      unread_byte(c2, s);
      continue;
    }
    if (jis_to_sjis_code(static_cast<uint16_t>(((c << 8) | c2) & 0x7F7F)) != 0) {
      result_ = Recognised::euc;  // a valid EUC pair; the scan goes on
      continue;
    }
    if (is_sjis_lead(c) && c2 <= 0xFE) {
      result_ = Recognised::sjis;
      done_ = true;
      break;
    }
    unread_byte(c2, s);
  }
  if (stopped) done_ = true;
  if (done_) return PARTS_ENOUGH;
  return static_cast<size_t>(at - s->data);
}

Recognised detect_code(TextStream* s, Path path) {
  if (s == nullptr) return Recognised::unreadable;
  const int64_t start = stream_tell(s);
  FirstSign sign(path);
  const bool read = read_in_parts(s, [&](TextStream* part, bool last) { return sign.take(part, last); });
  stream_seek(s, start, 0);
  return read ? sign.result() : Recognised::unreadable;
}

}  // namespace kotran
