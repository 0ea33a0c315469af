// Byte-exact rows for the converters: the bytes a converter reads (no
// line-end folding), the options, and the bytes it must write (before CR LF
// on output). Each row runs over every path (the byte loop, the word loop,
// the vectors) with the input in one block, then delivered one, two and
// three bytes per block, so that look-ahead and push-back fall on every
// block edge.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "convert/converters.h"

namespace kotran::test {

// The options the rows use.
inline constexpr ConvertOptions CLEAR{};
inline constexpr ConvertOptions WIDE{.widen = true};     // -f
inline constexpr ConvertOptions J7{.jis_variant = 3};    // kanji-in ESC $ @
inline constexpr ConvertOptions WIDE_J7{.widen = true, .jis_variant = 3};
inline constexpr ConvertOptions JIS_FORMS{.jis_forms = true};  // --unicode=jis
inline constexpr ConvertOptions LF_ONLY{.lf_only = true};      // -l, which UTF-16 output writes itself

struct ConverterRow {
  const char* label;
  Converter convert;
  const char* input;  // hex
  ConvertOptions with;
  const char* expected;  // hex
  int replaced = -1;     // characters the converter must count as replaced; -1: not checked
};

// "sjis_jis" for the converter from Shift-JIS to JIS.
const char* converter_name(Converter c);

void PrintTo(const ConverterRow& row, std::ostream* os);

// "12_lead_byte_last_sjis_jis_f": unique and readable in the test list.
std::string row_name(const testing::TestParamInfo<ConverterRow>& info);

// The row's bytes in one block, then in blocks of one, two and three bytes.
void check_row(const ConverterRow& row);

}  // namespace kotran::test

// Declares the parameterised test of a source code's rows.
#define KOTRAN_CONVERTER_ROWS(Suite)                                    \
  class Suite : public testing::TestWithParam<kotran::test::ConverterRow> {}; \
  TEST_P(Suite, WritesExpectedBytesAtEveryBlockEdge) { kotran::test::check_row(GetParam()); }
