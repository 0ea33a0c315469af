// Converters from EUC: one reading cycle, a writer per target.
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "convert/converters.h"
#include "convert/writers.h"

namespace kotran {
namespace {

constexpr bool is_euc_byte(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

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
template <class Writer, bool Fast>
int read_euc(ByteReader& in, Writer w) {
  const bool widen = to_fullwidth(settings);
  for (;;) {
    if constexpr (Fast) {
      // Pairs whose bytes both lie in 0xA1-0xFE: each the JIS code of rows
      // 1-94 it stands for, which every target accepts.
      auto pair = [&w](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
        if (end - p < 2 || !is_euc_byte(p[0]) || !is_euc_byte(p[1])) return 0;
        o = w.store_row(o, p[0] & 0x7Fu, p[1] & 0x7Fu);
        return 2;
      };
      // A vector of plain units at a time where the target allows.
      auto same = [](unsigned char* o, const unsigned char* p, PlainUnits units) {
        if constexpr (Writer::code == CODE_SJIS)
          store_euc_as_sjis(o, p, units.leads);
        else
          std::memcpy(o, p, VECTOR_WIDTH);
      };
      auto as_jis = [](unsigned char* o, const unsigned char* p, PlainUnits) { store_euc_as_jis(o, p); };
      auto units = [](const unsigned char* p) { return euc_plain_units(p); };
      if (vector_tight_loop(in, w, units, same, as_jis, pair)) continue;
    }
    const int c = in.get();
    if (c == EOF) break;
    const unsigned b = static_cast<unsigned>(c);
    if (b < 0x80 || b == 0xFF) {
      w.single(b);
      continue;
    }
    const int c2 = in.get();
    if (c2 == EOF) break;
    const unsigned b2 = static_cast<unsigned>(c2);
    if (b == SS2) {
      if (!widen) {
        w.halfkana(b2);
        continue;
      }
      // A voiced or semi-voiced mark merges only when written with its own SS2.
      const int d = in.get();
      int e = EOF;
      uint16_t pair = static_cast<uint16_t>(b2 << 8);
      if (d == SS2) {
        e = in.get();
        pair = static_cast<uint16_t>(pair | (static_cast<unsigned>(e) & 0xFF));
      }
      uint16_t wide;
      const int taken = widen_kana(pair, wide);
      if (taken != 2) {
        in.unget(e);
        in.unget(d);
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
    } else if (const uint16_t s = jis_to_sjis_code(p); s != 0) {
      if constexpr (Writer::code == CODE_EUC)
        w.raw_pair(b, b2);  // as read
      else if constexpr (Writer::code == CODE_SJIS)
        w.sjis_char(s);
      else
        w.jis_char(p);
    } else if (mend_refused_pair(w, b, b2, widen)) {
      in.unget(c2);
    }
  }
  w.finish();
  return 1;
}

template <class Writer>
int convert(TextStream* in, TextStream* out) {
  ByteReader reader(in);
  ByteWriter writer(out);
  return converter_fast_paths ? read_euc<Writer, true>(reader, Writer{writer})
                              : read_euc<Writer, false>(reader, Writer{writer});
}

}  // namespace

int convert_euc_sjis(TextStream* in, TextStream* out) { return convert<SjisWriter>(in, out); }
int convert_euc_jis(TextStream* in, TextStream* out) { return convert<JisWriter>(in, out); }
int convert_euc_euc(TextStream* in, TextStream* out) { return convert<EucWriter>(in, out); }
int convert_euc_utf8(TextStream* in, TextStream* out) { return convert<Utf8Writer>(in, out); }

}  // namespace kotran
