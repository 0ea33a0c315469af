#include "convert/converters.h"

#include <array>
#include <type_traits>
#include <utility>

#include "convert/code_units.h"
#include "convert/loops/vector_steps.h"
#include "kernels/entry.h"

namespace kotran {
namespace {

// One reading cycle of the source's reader, with the target's writer, over
// the path the options ask for. From a Unicode source, JIS output's one-byte
// text is ASCII. To and from the JIS X 0213 codes, which take no vector step,
// the byte loop serves every path: the program carries one copy of each such
// converter, not one for each instruction set, and still starts in the
// address space the README promises.
template <Code source, Code target, class Reader, class Writer>
ConversionResult convert(TextStream* in, TextStream* out, const ConvertOptions& given) {
  ConvertOptions options = given;
  options.ascii_one_byte = is_unicode(source);
  ConversionResult found;
  ByteReader reader(in);
  ByteWriter writer(out);
  const Writer w(writer, found, options);
  auto run = [&]<Path path>() { Reader::template run<path>(reader, w, options); };
  if constexpr (is_x0213(source) || is_x0213(target)) {
    entry::plain<Path::scalar>(run);
  } else {
    constexpr VectorForm form = VectorStep<source, Writer>::form;
    // The steps that keep some bytes and drop others: into UTF-8, out of it
    // into Shift-JIS and EUC (into JIS its runs are stored whole), and out
    // of JIS; and into JIS from Shift-JIS and EUC, whose designations are
    // kept where runs begin.
    constexpr bool packs = form == VectorForm::utf8_units || form == VectorForm::jis_pairs ||
                           form == VectorForm::kanji_run ||
                           (form == VectorForm::utf8_runs && !std::is_same_v<Writer, JisWriter>);
    run_on_path<packs>(options.path, run,
                       form != VectorForm::none && takes_vectors<source, Writer>(options.path, form));
  }
  return found;
}

template <size_t index>
constexpr Converter converter_at() {
  using Source = CodeUnits<code_at(index / CODE_COUNT)>;
  using Target = CodeUnits<code_at(index % CODE_COUNT)>;
  return &convert<code_at(index / CODE_COUNT), code_at(index % CODE_COUNT), typename Source::Reader,
                  typename Target::Writer>;
}

template <size_t... index>
constexpr std::array<Converter, sizeof...(index)> make_converters(std::index_sequence<index...>) {
  return {converter_at<index>()...};
}

// By source, then target.
constexpr auto converters = make_converters(std::make_index_sequence<CODE_COUNT * CODE_COUNT>());

struct Names {
  char text[CODE_COUNT * CODE_COUNT][24]{};
};

constexpr Names make_names() {
  Names n{};
  for (size_t i = 0; i < CODE_COUNT * CODE_COUNT; ++i) {
    size_t at = 0;
    for (const char* p = code_info[i / CODE_COUNT].id; *p != '\0'; ++p) n.text[i][at++] = *p;
    n.text[i][at++] = '_';
    for (const char* p = code_info[i % CODE_COUNT].id; *p != '\0'; ++p) n.text[i][at++] = *p;
  }
  return n;
}

constexpr Names names = make_names();

}  // namespace

Converter converter(Code source, Code target) { return converters[index_of(source) * CODE_COUNT + index_of(target)]; }

const char* converter_name(Code source, Code target) {
  return names.text[index_of(source) * CODE_COUNT + index_of(target)];
}

}  // namespace kotran
