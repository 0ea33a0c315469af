// Byte-exact rows for the converters: the bytes a converter reads (no
// line-end folding), the settings word, and the bytes it must write (before
// CR LF on output). Each row also runs with the input delivered one, two and
// three bytes per block, so that look-ahead and push-back fall on every
// block edge.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "convert/converters.h"
#include "driver/settings.h"

namespace kotran::test {

// The settings words the rows use.
inline constexpr Settings CLEAR = 0;
inline constexpr Settings WIDE = TO_FULLWIDTH;  // -f
inline constexpr Settings J7 = 0x30;            // jis_variant 3: kanji-in ESC $ @

struct ConverterRow {
  const char* label;
  Converter convert;
  const char* input;  // hex
  Settings with;
  const char* expected;  // hex
};

// "sjis_jis" for convert_sjis_jis.
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
