// Converters from EUC: one reading cycle, a writer per target.
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "convert/converters.h"
#include "convert/writers.h"

namespace kotran {
namespace {

// Writes a refused pair (one that is no EUC character) as what its lead byte
// most likely was; returns whether the second byte must be read again.
template <class Writer>
bool mend_refused_pair(Writer& w, unsigned lead, unsigned second, bool widen) {
  if (lead >= 0xA0 && lead <= 0xDF) {
    // A half-width katakana written without SS2.
    uint16_t wide;
    if (widen && widen_kana(static_cast<uint16_t>(lead << 8), wide) != 0)
      w.jis_char(wide);
    else
      w.halfkana(lead);
    return true;
  }
  if (lead >= 0xE0) {
    // An ASCII character with a stray high bit.
    w.single(lead & 0x7F);
    return true;
  }
  w.raw_pair(lead, second);
  return false;
}

// Splits EUC text into single bytes, SS2 katakana and double-byte pairs
// (SS3 is read as a pair and a following byte). A byte read while a lead
// byte or SS2 waits is its second byte, whatever its value; a waiting byte is
// dropped at the end. Only the end of the input ends the text: a byte 0xFF
// met with nothing waiting is a single byte.
template <class Writer>
int read_euc(TextStream* in, Writer w) {
  const bool widen = to_fullwidth(settings);
  for (;;) {
    const int c = read_byte(in);
    if (c == EOF) break;
    const unsigned b = static_cast<unsigned>(c);
    if (b < 0x80 || b == 0xFF) {
      w.single(b);
      continue;
    }
    const int c2 = read_byte(in);
    if (c2 == EOF) break;
    const unsigned b2 = static_cast<unsigned>(c2);
    if (b == SS2) {
      if (!widen) {
        w.halfkana(b2);
        continue;
      }
      // A voiced or semi-voiced mark merges only when written with its own SS2.
      const int d = read_byte(in);
      int e = EOF;
      uint16_t pair = static_cast<uint16_t>(b2 << 8);
      if (d == SS2) {
        e = read_byte(in);
        pair = static_cast<uint16_t>(pair | (static_cast<unsigned>(e) & 0xFF));
      }
      uint16_t wide;
      const int taken = widen_kana(pair, wide);
      if (taken != 2) {
        unread_byte(e, in);
        unread_byte(d, in);
      }
      if (taken != 0)
        w.jis_char(wide);
      else
        w.halfkana(b2);
      continue;
    }
    const uint16_t p = static_cast<uint16_t>(((b & 0x7F) << 8) | (b2 & 0x7F));
    if constexpr (Writer::code == CODE_JIS) {
      w.jis_char(p);  // every pair, without a test
    } else if (jis_to_sjis_code(p) != 0) {
      if constexpr (Writer::code == CODE_EUC)
        w.raw_pair(b, b2);  // as read
      else
        w.jis_char(p);
    } else if (mend_refused_pair(w, b, b2, widen)) {
      unread_byte(c2, in);
    }
  }
  w.finish();
  return 1;
}

}  // namespace

int convert_euc_sjis(TextStream* in, TextStream* out) { return read_euc(in, SjisWriter{out}); }
int convert_euc_jis(TextStream* in, TextStream* out) { return read_euc(in, JisWriter{out}); }
int convert_euc_euc(TextStream* in, TextStream* out) { return read_euc(in, EucWriter{out}); }
int convert_euc_utf8(TextStream* in, TextStream* out) { return read_euc(in, Utf8Writer{out}); }

}  // namespace kotran
