// Converters from Shift-JIS: one reading cycle, a writer per target.
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "convert/converters.h"
#include "convert/writers.h"

namespace kotran {
namespace {

constexpr bool is_sjis_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFE); }
constexpr bool is_sjis_kana(unsigned b) { return b >= 0xA0 && b <= 0xDF; }

// Splits Shift-JIS text into single bytes, half-width katakana and
// double-byte characters. A byte read while a lead byte waits is its trail
// byte, whatever its value; a lead byte left at the end is dropped. Only the
// end of the input ends the text: a byte 0xFF is a single byte.
template <class Writer>
int read_sjis(TextStream* in, Writer w) {
  const bool widen = to_fullwidth(settings);
  unsigned lead = 0;
  for (;;) {
    const int c = read_byte(in);
    if (c == EOF) break;
    const unsigned b = static_cast<unsigned>(c);
    if (lead != 0) {
      if constexpr (Writer::code == CODE_SJIS) {
        w.raw_pair(lead, b);  // copied without a look
      } else {
        const uint16_t j = sjis_to_jis_code(static_cast<uint16_t>((lead << 8) | b));
        if (j != 0)
          w.jis_char(j);
        else
          w.raw_pair(lead, b);  // a trail byte below 0x40, or 0xFF
      }
      lead = 0;
    } else if (is_sjis_lead(b)) {
      lead = b;
    } else if (is_sjis_kana(b)) {
      if (!widen) {
        w.halfkana(b);
        continue;
      }
      // A voiced or semi-voiced mark after the katakana merges into it.
      const int e = read_byte(in);
      uint16_t wide;
      const int taken = widen_kana(static_cast<uint16_t>((b << 8) | (static_cast<unsigned>(e) & 0xFF)), wide);
      if (taken == 0) {
        unread_byte(e, in);
        w.halfkana(b);  // 0xA0 has no full-width form
      } else {
        w.jis_char(wide);
        if (taken == 1) unread_byte(e, in);
      }
    } else {
      w.single(b);  // 0x00-0x80 and 0xFF
    }
  }
  w.finish();
  return 1;
}

}  // namespace

int convert_sjis_sjis(TextStream* in, TextStream* out) { return read_sjis(in, SjisWriter{out}); }
int convert_sjis_jis(TextStream* in, TextStream* out) { return read_sjis(in, JisWriter{out}); }
int convert_sjis_euc(TextStream* in, TextStream* out) { return read_sjis(in, EucWriter{out}); }
int convert_sjis_utf8(TextStream* in, TextStream* out) { return read_sjis(in, Utf8Writer{out}); }

}  // namespace kotran
