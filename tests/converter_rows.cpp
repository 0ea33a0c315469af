#include "converter_rows.h"

#include "stream/text_stream.h"
#include "test_util.h"

namespace kotran::test {
namespace {

struct Named {
  Converter converter;
  const char* name;
};

const Named names[] = {
    {convert_sjis_sjis, "sjis_sjis"}, {convert_sjis_jis, "sjis_jis"}, {convert_sjis_euc, "sjis_euc"},
    {convert_sjis_utf8, "sjis_utf8"}, {convert_jis_sjis, "jis_sjis"}, {convert_jis_jis, "jis_jis"},
    {convert_jis_euc, "jis_euc"},     {convert_jis_utf8, "jis_utf8"}, {convert_euc_sjis, "euc_sjis"},
    {convert_euc_jis, "euc_jis"},     {convert_euc_euc, "euc_euc"},   {convert_euc_utf8, "euc_utf8"},
    {convert_utf8_sjis, "utf8_sjis"}, {convert_utf8_jis, "utf8_jis"}, {convert_utf8_euc, "utf8_euc"},
    {convert_utf8_utf8, "utf8_utf8"},
};

// Runs the converter with the input delivered chunk bytes per fill.
std::string convert_in_blocks(Converter convert, const std::string& input, Settings with, size_t chunk) {
  const Settings saved = settings;
  settings = with;
  std::string output;
  TextStream* in = open_memory_input(input.data(), input.size(), false, chunk);
  TextStream* out = open_memory_output(&output, false);
  const int result = convert(in, out);
  const Settings after = settings;
  close_stream(in);
  close_stream(out);
  settings = saved;
  EXPECT_EQ(result, 1);
  EXPECT_EQ(after, with) << "the converter changed the settings word";
  return output;
}

}  // namespace

const char* converter_name(Converter c) {
  for (const auto& n : names)
    if (n.converter == c) return n.name;
  return "unknown";
}

void PrintTo(const ConverterRow& row, std::ostream* os) {
  *os << "convert_" << converter_name(row.convert) << " [" << row.input << "] settings 0x" << std::hex << row.with
      << std::dec << " -> [" << row.expected << "]";
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
  if ((info.param.with & TO_FULLWIDTH) != 0) name += "_f";
  if (jis_variant_of(info.param.with) != 0) name += "_v" + std::to_string(jis_variant_of(info.param.with));
  return name;
}

void check_row(const ConverterRow& row) {
  const std::string input = hex(row.input);
  const std::string expected = to_hex(hex(row.expected));
  EXPECT_EQ(to_hex(convert_bytes(row.convert, input, row.with)), expected);
  for (size_t chunk : {1u, 2u, 3u}) {
    SCOPED_TRACE("block of " + std::to_string(chunk));
    EXPECT_EQ(to_hex(convert_in_blocks(row.convert, input, row.with, chunk)), expected);
  }
}

}  // namespace kotran::test
