// Code arithmetic: the worked values, exhaustive round trips, and glibc iconv
// as an independent oracle for every JIS X 0208 character it knows.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "test_util.h"

namespace kotran {
namespace {

struct CodeCase {
  uint16_t in;
  uint16_t out;
};

TEST(JisToSjis, KnownCodes) {
  const CodeCase cases[] = {
      {0x2422, 0x82A0}, {0x3021, 0x889F}, {0x2121, 0x8140}, {0x7E7E, 0xEFFC},
      {0x2020, 0},      {0x0000, 0},      {0x2100, 0},  // trail 0x1F is below 0x40
      {0x215F, 0x817E}, {0x2160, 0x8180},  // odd row: 0x7F is skipped in the trail
      {0x7F21, 0xF040},                    // past row 94 the arithmetic goes on
  };
  for (const auto& c : cases) EXPECT_EQ(jis_to_sjis_code(c.in), c.out) << std::hex << c.in;
}

TEST(SjisToJis, KnownCodes) {
  const CodeCase cases[] = {
      {0x82A0, 0x2422}, {0x889F, 0x3021}, {0xEFFC, 0x7E7E}, {0x8140, 0x2121},
      {0xA0A0, 0},      {0x813F, 0},      {0x81FF, 0},  // katakana lead, low trail, trail 0xFF
      {0xF040, 0x7F21},                                 // lead 0xF0 goes past row 94
      {0x817F, 0x2160},                                 // trail 0x7F is accepted
      {0xFEFE, 0x9C80},
  };
  for (const auto& c : cases) EXPECT_EQ(sjis_to_jis_code(c.in), c.out) << std::hex << c.in;
}

TEST(JisSjisRoundTrip, EveryJisCode) {
  int checked = 0;
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      const auto jis = static_cast<uint16_t>(hi << 8 | lo);
      const uint16_t sjis = jis_to_sjis_code(jis);
      ASSERT_NE(sjis, 0) << std::hex << jis;
      ASSERT_TRUE(is_valid_sjis_code(sjis));
      ASSERT_EQ(sjis_to_jis_code(sjis), jis) << std::hex << jis;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 94 * 94);
}

TEST(JisSjisRoundTrip, EveryShiftJisCodeOfRowsOneToNinetyFour) {
  // Lead bytes 0x81-0x9F and 0xE0-0xEF, trail bytes 0x40-0xFC less 0x7F,
  // are exactly the 94 x 94 JIS codes.
  int checked = 0;
  for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const auto sjis = static_cast<uint16_t>(lead << 8 | trail);
      const uint16_t jis = sjis_to_jis_code(sjis);
      ASSERT_GE(jis >> 8, 0x21u) << std::hex << sjis;
      ASSERT_LE(jis >> 8, 0x7Eu) << std::hex << sjis;
      ASSERT_GE(jis & 0xFF, 0x21u) << std::hex << sjis;
      ASSERT_LE(jis & 0xFF, 0x7Eu) << std::hex << sjis;
      ASSERT_EQ(jis_to_sjis_code(jis), sjis) << std::hex << sjis;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 94 * 94);
}

std::string two_bytes(unsigned code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

TEST(JisSjisAgainstIconv, EveryCharacterIconvKnows) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  std::string probe;
  if (!test::glibc_iconv("SHIFT_JIS", "EUC-JP", two_bytes(0xB0A1), probe)) GTEST_SKIP() << "glibc iconv lacks EUC-JP or SHIFT_JIS";
  int known = 0;
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      const unsigned jis = hi << 8 | lo;
      const std::string euc = two_bytes(jis | 0x8080);
      std::string sjis_oracle;
      if (!test::glibc_iconv("SHIFT_JIS", "EUC-JP", euc, sjis_oracle)) continue;
      ++known;
      const uint16_t sjis = jis_to_sjis_code(static_cast<uint16_t>(jis));
      EXPECT_EQ(two_bytes(sjis), sjis_oracle) << std::hex << jis;
      std::string euc_oracle;
      ASSERT_TRUE(test::glibc_iconv("EUC-JP", "SHIFT_JIS", two_bytes(sjis), euc_oracle)) << std::hex << jis;
      EXPECT_EQ(two_bytes(sjis_to_jis_code(sjis) | 0x8080), euc_oracle) << std::hex << jis;
      std::string jis_oracle;
      ASSERT_TRUE(test::glibc_iconv("ISO-2022-JP", "SHIFT_JIS", two_bytes(sjis), jis_oracle)) << std::hex << jis;
      EXPECT_EQ("\x1B$B" + two_bytes(sjis_to_jis_code(sjis)) + "\x1B(B", jis_oracle) << std::hex << jis;
    }
  }
  // JIS X 0208 has 6879 characters.
  EXPECT_GE(known, 6879);
}

// The tables agree with the arithmetic, but that rows 85-88 and 93-94 go to
// Shift-JIS as the user-defined rows 95-98 and 103-104 (ten rows on), whose
// characters they hold; from Shift-JIS the arithmetic holds throughout.
TEST(RowTables, AgreeWithTheArithmeticOnEveryCodeOfRowsOneToNinetyFour) {
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    const bool user_defined = (hi >= 0x75 && hi <= 0x78) || hi >= 0x7D;
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      const uint16_t sjis = jis_to_sjis_code(static_cast<uint16_t>(hi << 8 | lo));
      const uint16_t written = user_defined ? jis_to_sjis_code(static_cast<uint16_t>((hi + 10) << 8 | lo)) : sjis;
      ASSERT_EQ(row_jis_to_sjis(hi, lo), written) << std::hex << (hi << 8 | lo);
      ASSERT_EQ(row_sjis_to_jis(sjis >> 8, sjis & 0xFF), hi << 8 | lo) << std::hex << sjis;
    }
  }
}

struct WidenCase {
  uint16_t pair;
  int result;
  uint16_t code;
};

TEST(WidenKana, MarksMergeOnlyWhereTheyMay) {
  const WidenCase cases[] = {
      {0xB6DE, 2, 0x252C},  // ｶﾞ → ガ
      {0xCADF, 2, 0x2551},  // ﾊﾟ → パ
      {0xB141, 1, 0x2522},  // ｱ and a letter
      {0xB3DE, 1, 0x2526},  // ｳﾞ is not merged
      {0xDEDE, 1, 0x212B},  // ﾞ alone
      {0xC5DE, 2, 0x254B},  // ﾅ lies in the voiced range and takes the mark
      {0xCEDE, 2, 0x255C},  // ﾎﾞ → ボ
      {0xCEDF, 2, 0x255D},  // ﾎﾟ → ポ
      {0xB6DF, 1, 0x252B},  // ｶ has no semi-voiced form
      {0xC9DF, 1, 0x254E},  // ﾉ neither
      {0xA1FF, 1, 0x2123},  // ｡
      {0xDFDE, 1, 0x212C},  // ﾟ
  };
  for (const auto& c : cases) {
    uint16_t out = 0;
    EXPECT_EQ(widen_kana(c.pair, out), c.result) << std::hex << c.pair;
    EXPECT_EQ(out, c.code) << std::hex << c.pair;
  }
}

TEST(WidenKana, RefusesBytesOutsideTheKatakana) {
  for (unsigned k : {0x00u, 0x41u, 0x80u, 0xA0u, 0xE0u, 0xFFu}) {
    uint16_t out = 0x1234;
    EXPECT_EQ(widen_kana(static_cast<uint16_t>(k << 8 | 0xDE), out), 0) << std::hex << k;
    EXPECT_EQ(out, 0x1234) << "out must stay untouched";
  }
}

TEST(WidenKana, EveryFullWidthFormIsAShiftJisCharacterIconvKnows) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  std::string probe;
  if (!test::glibc_iconv("SHIFT_JIS", "EUC-JP", two_bytes(0xB0A1), probe)) GTEST_SKIP() << "glibc iconv lacks EUC-JP";
  for (unsigned k = KANA_FIRST; k <= KANA_LAST; ++k) {
    for (unsigned next : {0x00u, 0xDEu, 0xDFu}) {
      uint16_t code = 0;
      ASSERT_NE(widen_kana(static_cast<uint16_t>(k << 8 | next), code), 0);
      std::string utf8;
      EXPECT_TRUE(test::glibc_iconv("UTF-8", "EUC-JP", two_bytes(code | 0x8080), utf8)) << std::hex << k;
      EXPECT_NE(jis_to_sjis_code(code), 0);
    }
  }
}

TEST(WidenKana, AgreesWithIconvWideningOfHalfWidthKatakana) {
  // glibc's EUC-JP decoder gives half-width katakana as U+FF61-U+FF9F; each
  // table entry is the full-width character of the same name.
  const char* const names[] = {"。", "「", "」", "、", "・", "ヲ", "ァ", "ィ", "ゥ", "ェ", "ォ", "ャ", "ュ", "ョ", "ッ", "ー",
                               "ア", "イ", "ウ", "エ", "オ", "カ", "キ", "ク", "ケ", "コ", "サ", "シ", "ス", "セ", "ソ", "タ",
                               "チ", "ツ", "テ", "ト", "ナ", "ニ", "ヌ", "ネ", "ノ", "ハ", "ヒ", "フ", "ヘ", "ホ", "マ", "ミ",
                               "ム", "メ", "モ", "ヤ", "ユ", "ヨ", "ラ", "リ", "ル", "レ", "ロ", "ワ", "ン", "゛", "゜"};
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  std::string probe;
  if (!test::glibc_iconv("EUC-JP", "UTF-8", names[0], probe)) GTEST_SKIP() << "glibc iconv lacks EUC-JP";
  for (unsigned k = KANA_FIRST; k <= KANA_LAST; ++k) {
    std::string euc;
    ASSERT_TRUE(test::glibc_iconv("EUC-JP", "UTF-8", names[k - KANA_FIRST], euc));
    EXPECT_EQ(two_bytes(kana_table[k - KANA_FIRST] | 0x8080), euc) << std::hex << k;
  }
}

TEST(JisEscapeTable, Rows) {
  const struct {
    int row;
    const char* in;
    const char* out;
  } rows[] = {
      {0, "\x1B$B", "\x1B(J"}, {1, "\x1B$B", "\x1B(B"}, {2, "\x1B*I", "\x1B*B"},
      {3, "\x1B$@", "\x1B(J"}, {4, "\x1BK", "\x1BH"},
  };
  for (const auto& r : rows) {
    EXPECT_STREQ(jis_escape_table[r.row].kanji_in, r.in) << r.row;
    EXPECT_STREQ(jis_escape_table[r.row].kanji_out, r.out) << r.row;
  }
  EXPECT_STREQ(KANA_IN, "\x1B(I");
}

}  // namespace
}  // namespace kotran
