#include "converter_rows.h"

#include "stream/text_stream.h"
#include "test_util.h"

namespace kotran::test {
namespace {

// Runs the converter with the input delivered chunk bytes per fill.
std::string convert_in_blocks(Converter convert, const std::string& input, ConvertOptions with, size_t chunk,
                              ConversionResult& found) {
  std::string output;
  TextStream* in = open_memory_input(input.data(), input.size(), false, chunk);
  TextStream* out = open_memory_output(&output, false);
  found = convert(in, out, with);
  close_stream(in);
  close_stream(out);
  return output;
}

}  // namespace

const char* converter_name(Converter c) {
  for (size_t s = 0; s < CODE_COUNT; ++s)
    for (size_t t = 0; t < CODE_COUNT; ++t)
      if (converter(code_at(s), code_at(t)) == c) return converter_name(code_at(s), code_at(t));
  return "unknown";
}

void PrintTo(const ConverterRow& row, std::ostream* os) {
  *os << converter_name(row.convert) << " [" << row.input << "]" << (row.with.widen ? " widen" : "") << " variant "
      << unsigned{row.with.jis_variant} << " -> [" << row.expected << "]";
}

std::string row_name(const testing::TestParamInfo<ConverterRow>& info) {
  std::string name = info.index < 10 ? "0" : "";
  name += std::to_string(info.index);
  name += '_';
  for (const char* p = info.param.label; *p != '\0'; ++p) {
    const char ch = *p;
    name += ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) ? ch : '_';
  }
  name += '_';
  name += converter_name(info.param.convert);
  if (info.param.with.widen) name += "_f";
  if (info.param.with.jis_variant != 0) name += "_v" + std::to_string(info.param.with.jis_variant);
  return name;
}

void check_row(const ConverterRow& row) {
  const std::string input = hex(row.input);
  const std::string expected = to_hex(hex(row.expected));
  for (const Path path : PATHS) {
    if (!test::path_taken(path)) continue;
    SCOPED_TRACE(path_name(path));
    ConvertOptions with = row.with;
    with.path = path;
    for (size_t chunk : {BLOCK_SIZE, size_t{1}, size_t{2}, size_t{3}}) {
      SCOPED_TRACE("block of " + std::to_string(chunk));
      ConversionResult found;
      EXPECT_EQ(to_hex(convert_in_blocks(row.convert, input, with, chunk, found)), expected);
      if (row.replaced >= 0) {
        EXPECT_EQ(found.replaced, static_cast<size_t>(row.replaced));
      }
    }
  }
}

}  // namespace kotran::test
