#include "convert/first_problem.h"

#include <array>
#include <utility>

#include "codes/jis0212_table.h"
#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "codes/user_defined.h"
#include "convert/code_units.h"

namespace kotran {
namespace {

// A writer that writes nothing: each unit the reader hands it moves the
// place on, and a unit the target writer would replace, or that is no
// character, is kept as the first problem. It takes the units the way the
// target's writer does (the same JIS reading, the same answer for a refused
// EUC pair), so that the reader splits the text exactly as in the conversion.
template <class TargetWriter, Code target>
struct CheckingWriter {
  static constexpr JisReading jis_reading = TargetWriter::jis_reading;
  ProblemSearch* places;
  ConversionResult& found;  // the reader's state where a part ends

  void unit(bool exact) {
    ++places->here.column;
    if (!exact && !places->first) places->first = places->here;
  }

  // The JIS X 0213 codes hold what their table holds, EUC-JIS-2004 JIS X
  // 0212 too in the rows its plane 2 leaves empty; a base whose mark follows
  // is one character with it.
  static constexpr bool x0213_target = is_x0213(target);
  char32_t base = 0;
  static bool x0213_holds_supplement(uint16_t k) {
    return target == Code::euc2004 && k != 0 && !is_x0213_plane2_row(k >> 8);
  }

  // Every code holds every character of the tables (past row 94, the
  // user-defined characters and the IBM extensions).
  static bool holds_jis(uint16_t j) {
    if constexpr (x0213_target) return TargetWriter::code_of_jis(j) != 0;
    return jis_to_unicode(j) != 0;
  }
  static bool holds_unicode(char32_t u) {
    if constexpr (target == Code::utf8 || target == Code::utf16) return true;
    if constexpr (x0213_target) {
      if (u < 0x80 || u == 0xA5 || u == 0x203E || unicode_to_x0213(u) != 0) return true;
      if (u >= HALFWIDTH_KANA_FIRST && u <= HALFWIDTH_KANA_LAST) return true;
      return x0213_holds_supplement(unicode_to_jis0212(u));
    }
    if (u < 0x80 || u == 0xA5 || u == 0x203E || unicode_to_jis(u) != 0) return true;
    if (u >= HALFWIDTH_KANA_FIRST && u <= HALFWIDTH_KANA_LAST) return true;
    return unicode_to_jis0212(u) != 0 && (target != Code::sjis || is_user_defined(u));
  }

  void single(unsigned b) {
    base = 0;
    if (b == 0x0A) {
      ++places->here.line;
      places->here.column = 0;
      return;
    }
    unit(b < 0x80);
  }
  void put(unsigned) { unit(false); }  // an ESC or SO that begins nothing
  void raw_pair(unsigned, unsigned) { unit(false); }
  void substitute() { unit(false); }
  void dropped() { unit(false); }
  void jis_char(uint16_t j) { unit(holds_jis(j)); }
  void row_char(uint16_t j) { jis_char(j); }
  void halfkana(unsigned k) { unit(k >= KANA_FIRST && k <= KANA_LAST); }
  void kana_as_read(unsigned x) { halfkana(x | 0x80); }
  void unicode(char32_t u) {
    bool paired = false;
    if constexpr (x0213_target) {
      paired = base != 0 && x0213_pair(base, u) != 0;
      base = !paired && (unicode_to_x0213_entry(u) & jisx0213_tables::BASE_FLAG) != 0 ? u : 0;
    }
    unit(paired || holds_unicode(u));
  }
  void x0213_char(uint16_t x) {
    const X0213Chars c = x0213_to_unicode(x);
    if constexpr (x0213_target || target == Code::utf8 || target == Code::utf16)
      unit(c.first != 0);
    else
      unit(is_jis0208_cell(x) || (c.first != 0 && c.second == 0 && holds_unicode(c.first)));
  }
  void supplement_char(uint16_t k) {
    const char32_t u = jis0212_to_unicode(k);
    if constexpr (x0213_target) {
      unit(u != 0 && (unicode_to_x0213(u) != 0 || x0213_holds_supplement(k)));
      return;
    }
    const bool held =
        u != 0 && (target != Code::sjis || is_user_defined(u) || ibm_extension_of(u) != 0 || unicode_to_jis(u) != 0);
    unit(held);
  }
  void sjis_pair(unsigned lead, unsigned trail) {
    const uint16_t j = sjis_to_jis_code(static_cast<uint16_t>((lead << 8) | trail));
    unit(j != 0 && holds_jis(j));
  }
  void euc_pair(unsigned, unsigned, uint16_t j) { jis_char(j); }
  // A pair that is no EUC character; the second byte is read again where the
  // target's writer reads it again.
  bool refused_euc_pair(unsigned lead, unsigned, bool) {
    unit(false);
    return target != Code::jis && ((lead >= 0xA0 && lead <= 0xDF) || lead >= 0xE0);
  }
  void designate(JisEscape) {}
  void finish() {}
};

template <Code source, Code target>
ConversionResult check(TextStream* in, const ConvertOptions& options, ProblemSearch& search) {
  ConversionResult found;
  ByteReader reader(in);
  using Writer = CheckingWriter<typename CodeUnits<target>::Writer, target>;
  CodeUnits<source>::Reader::template run<Path::scalar>(reader, Writer{&search, found}, options);
  return found;
}

using Check = ConversionResult (*)(TextStream*, const ConvertOptions&, ProblemSearch&);

template <size_t index>
constexpr Check check_at() {
  return &check<code_at(index / CODE_COUNT), code_at(index % CODE_COUNT)>;
}

template <size_t... index>
constexpr std::array<Check, sizeof...(index)> make_checks(std::index_sequence<index...>) {
  return {check_at<index>()...};
}

// By source, then target.
constexpr auto checks = make_checks(std::make_index_sequence<CODE_COUNT * CODE_COUNT>());

}  // namespace

ConversionResult search_problem(TextStream* in, Code source, Code target, const ConvertOptions& options,
                                ProblemSearch& search) {
  return checks[index_of(source) * CODE_COUNT + index_of(target)](in, options, search);
}

TextPlace first_problem(TextStream* in, Code source, Code target, const ConvertOptions& options) {
  ProblemSearch search;
  search_problem(in, source, target, options, search);
  return search.first;
}

}  // namespace kotran
