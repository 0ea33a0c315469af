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
template <class Writer, bool Fast>
int read_sjis(ByteReader& in, Writer w) {
  const bool widen = to_fullwidth(settings);
  unsigned lead = 0;
  for (;;) {
    if constexpr (Fast) {
      if (lead == 0) {
        // Characters of JIS X 0208 rows 1-94: a lead byte of those rows has
        // a row, a trail byte a cell.
        auto pair = [&w](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
          const unsigned row = row_tables.jis_row[p[0]];
          const unsigned low = end - p >= 2 ? row_tables.jis_low[p[1]] : 0;
          if (row == 0 || low == 0) return 0;
          if constexpr (Writer::code == CODE_SJIS) {
            static_cast<void>(w);  // copied as they are
            o[0] = p[0];
            o[1] = p[1];
            o += 2;
          } else {
            o = w.store_row(o, row + (low >> 8), low & 0xFF);
          }
          return 2;
        };
        // A vector of plain units at a time where the target allows.
        auto same = [](unsigned char* o, const unsigned char* p, PlainUnits units) {
          if constexpr (Writer::code == CODE_EUC)
            store_sjis_as_euc(o, p, units.leads);
          else
            std::memcpy(o, p, VECTOR_WIDTH);
        };
        auto as_jis = [](unsigned char* o, const unsigned char* p, PlainUnits units) {
          store_sjis_as_jis(o, p, units.leads);
        };
        auto units = [](const unsigned char* p) { return sjis_plain_units(p); };
        if (vector_tight_loop(in, w, units, same, as_jis, pair)) continue;
      }
    }
    const int c = in.get();
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
      const int e = in.get();
      uint16_t wide;
      const int taken = widen_kana(static_cast<uint16_t>((b << 8) | (static_cast<unsigned>(e) & 0xFF)), wide);
      if (taken == 0) {
        in.unget(e);
        w.halfkana(b);  // 0xA0 has no full-width form
      } else {
        w.jis_char(wide);
        if (taken == 1) in.unget(e);
      }
    } else {
      w.single(b);  // 0x00-0x80 and 0xFF
    }
  }
  w.finish();
  return 1;
}

template <class Writer>
int convert(TextStream* in, TextStream* out) {
  ByteReader reader(in);
  ByteWriter writer(out);
  return converter_fast_paths ? read_sjis<Writer, true>(reader, Writer{writer})
                              : read_sjis<Writer, false>(reader, Writer{writer});
}

}  // namespace

int convert_sjis_sjis(TextStream* in, TextStream* out) { return convert<SjisWriter>(in, out); }
int convert_sjis_jis(TextStream* in, TextStream* out) { return convert<JisWriter>(in, out); }
int convert_sjis_euc(TextStream* in, TextStream* out) { return convert<EucWriter>(in, out); }
int convert_sjis_utf8(TextStream* in, TextStream* out) { return convert<Utf8Writer>(in, out); }

}  // namespace kotran
