#include "convert/converters.h"

#include <array>
#include <utility>

#include "convert/code_units.h"

namespace kotran {
namespace {

// One path of the source's reader, with the target's writer: a function of
// its own, so that each path's loops are inlined into it alone.
template <Path path, class Reader, class Writer>
[[gnu::noinline]] void run_path(ByteReader& in, const Writer& w, const ConvertOptions& options) {
  Reader::template run<path>(in, w, options);
}

// The wide path, compiled for AVX2; taken only where the processor has it.
// Flattened: the wide steps' classifications and stores, which are compiled
// for AVX2 but not forced inline (other code calls them too), are inlined
// into it rather than called once a vector.
template <class Reader, class Writer>
[[gnu::noinline, gnu::target("avx2"), gnu::flatten]] void run_wide_path(ByteReader& in, const Writer& w,
                                                          const ConvertOptions& options) {
  Reader::template run<Path::wide_vectors>(in, w, options);
}

// The widest path, compiled for AVX-512 BW (and BMI2); taken only where the processor has them.
template <class Reader, class Writer>
[[gnu::noinline, gnu::target("avx512bw,bmi,bmi2"), gnu::flatten]] void run_widest_path(ByteReader& in, const Writer& w,
                                                                             const ConvertOptions& options) {
  Reader::template run<Path::widest_vectors>(in, w, options);
}

// One reading cycle of the source's reader, with the target's writer, over
// the path the options ask for. From a Unicode source, JIS output's one-byte
// text is ASCII.
template <Code source, class Reader, class Writer>
ConversionResult convert(TextStream* in, TextStream* out, const ConvertOptions& given) {
  ConvertOptions options = given;
  options.ascii_one_byte = is_unicode(source);
  ConversionResult found;
  ByteReader reader(in);
  ByteWriter writer(out);
  const Writer w(writer, found, options);
  switch (options.path) {
    case Path::byte_loop:
      run_path<Path::byte_loop, Reader>(reader, w, options);
      break;
    case Path::words:
      run_path<Path::words, Reader>(reader, w, options);
      break;
    case Path::vectors:
      run_path<Path::vectors, Reader>(reader, w, options);
      break;
    case Path::wide_vectors:
      run_wide_path<Reader>(reader, w, options);
      break;
    case Path::widest_vectors:
      run_widest_path<Reader>(reader, w, options);
      break;
  }
  return found;
}

template <size_t index>
constexpr Converter converter_at() {
  using Source = CodeUnits<code_at(index / CODE_COUNT)>;
  using Target = CodeUnits<code_at(index % CODE_COUNT)>;
  return &convert<code_at(index / CODE_COUNT), typename Source::Reader, typename Target::Writer>;
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
