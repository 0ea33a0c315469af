// UTF-8 and LF line ends as the user sees them: the real program on files.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::run_kotran;
using test::TempDir;

// "漢字" and a line end in each code.
const std::string UTF8_TEXT = hex("E6 BC A2 E5 AD 97 0A");
const std::string SJIS_TEXT = hex("8A BF 8E 9A 0D 0A");
const std::string EUC_TEXT = hex("B4 C1 BB FA 0D 0A");
const std::string JIS_TEXT = hex("1B 24 42 34 41 3B 7A 1B 28 4A 0D 0A");
const std::string UTF8_CRLF = hex("E6 BC A2 E5 AD 97 0D 0A");

// Messages are Shift-JIS on a pipe: "変換." and the description before it.
std::string converting(const std::string& file, const std::string& description) {
  return file + ": " + description + " " + hex("95 CF 8A B7") + ".\r\n";
}

TEST(Utf8Driver, RecognisedAndConvertedToEachCode) {
  const struct {
    const char* option;
    const char* output;
    std::string bytes;
    const char* description;
  } cases[] = {
      {"-s", "a.sjs", SJIS_TEXT, "UTF-8 -> Shift-JIS"},
      {"-e", "a.euc", EUC_TEXT, "UTF-8 -> EUC"},
      {"-j", "a.jis", JIS_TEXT, "UTF-8 -> JIS"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.write("a.txt", UTF8_TEXT);
    auto r = run_kotran({c.option, "a.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << c.option;
    EXPECT_NE(r.err.find(converting("a.txt", c.description)), std::string::npos) << c.option << r.err;
    EXPECT_EQ(test::to_hex(dir.read(c.output)), test::to_hex(c.bytes)) << c.option;
  }
}

TEST(Utf8Driver, LegacyCodesToUtf8) {
  const struct {
    const char* file;
    std::string bytes;
    const char* description;
  } cases[] = {
      {"s.txt", SJIS_TEXT, "Shift-JIS -> UTF-8"},
      {"e.txt", EUC_TEXT, "EUC -> UTF-8"},
      {"j.txt", JIS_TEXT, "JIS -> UTF-8"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.write(c.file, c.bytes);
    auto r = run_kotran({"-u", c.file}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(converting(c.file, c.description)), std::string::npos) << r.err;
    const std::string out = std::string(c.file).substr(0, 1) + ".utf8";
    EXPECT_EQ(test::to_hex(dir.read(out)), test::to_hex(UTF8_CRLF)) << c.file;
  }
}

TEST(Utf8Driver, Utf8ToUtf8NeedsNoConversionUnlessWidening) {
  TempDir dir;
  dir.write("a.txt", UTF8_TEXT + hex("EF BD B6 EF BE 9E 0A"));  // ｶﾞ
  auto r = run_kotran({"-u", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("a.txt: " + hex("82 B1 82 EA 82 CD 95 CF 8A B7 82 CC 95 4B 97 76 82 AA 82 A0 82 E8 82 DC 82 B9 82 F1") + "!\r\n"),
            std::string::npos);
  EXPECT_FALSE(dir.exists("a.utf8"));
  r = run_kotran({"-u", "-f", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::to_hex(dir.read("a.utf8")), test::to_hex(UTF8_CRLF + hex("E3 82 AC 0D 0A")));
}

TEST(Utf8Driver, ForcedSources) {
  const struct {
    const char* option;
    std::string input;
    const char* output;
    std::string expected;
  } cases[] = {
      {"-us", UTF8_TEXT, "a.sjs", SJIS_TEXT},
      {"-ue", UTF8_TEXT, "a.euc", EUC_TEXT},
      {"-uj", UTF8_TEXT, "a.jis", JIS_TEXT},
      {"-ju", JIS_TEXT, "a.utf8", UTF8_CRLF},
      {"-eu", EUC_TEXT, "a.utf8", UTF8_CRLF},
      {"-EU", EUC_TEXT, "a.utf8", UTF8_CRLF},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.write("a.txt", c.input);
    auto r = run_kotran({c.option, "a.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << c.option;
    EXPECT_EQ(test::to_hex(dir.read(c.output)), test::to_hex(c.expected)) << c.option;
  }
}

TEST(Utf8Driver, AsciiFileIsStillAscii) {
  TempDir dir;
  dir.write("a.txt", "abc\r\n");
  auto r = run_kotran({"-u", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("a.txt: " + hex("82 B1 82 EA 82 CD") + " ASCII "), std::string::npos);
  EXPECT_FALSE(dir.exists("a.utf8"));
}

TEST(Utf8Driver, LfLineEndsOnFilesAndStandardOutput) {
  TempDir dir;
  dir.write("a.txt", SJIS_TEXT + SJIS_TEXT);
  auto r = run_kotran({"-l", "-e", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::to_hex(dir.read("a.euc")), "B4 C1 BB FA 0A B4 C1 BB FA 0A");
  r = run_kotran({"-u", "-L", "-c", "a.txt"}, dir.path());
  EXPECT_EQ(test::to_hex(r.out), "E6 BC A2 E5 AD 97 0A E6 BC A2 E5 AD 97 0A");
  // Messages keep CR LF.
  EXPECT_NE(r.err.find("\r\n"), std::string::npos);
}

TEST(Utf8Driver, ReplacementsAreCounted) {
  TempDir dir;
  dir.write("a.txt", hex("E2 82 AC 61 E3 81 82 FF 0A"));  // €, a, あ, an invalid byte
  auto r = run_kotran({"-s", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(dir.exists("a.sjs")) << "not recognised as UTF-8: it holds an invalid byte";
  r = run_kotran({"-us", "a.txt"}, dir.path());
  EXPECT_EQ(test::to_hex(dir.read("a.sjs")), "81 AC 61 82 A0 81 AC 0D 0A");
  // "  変換できない文字を 2 個 置き換えました." after the output file line.
  const std::string replaced = "  " + hex("95 CF 8A B7 82 C5 82 AB 82 C8 82 A2 95 B6 8E 9A 82 F0") + " 2 " +
                               hex("8C C2") + " " + hex("92 75 82 AB 8A B7 82 A6 82 DC 82 B5 82 BD") + ".\r\n";
  const size_t output_line = r.err.find("a.sjs");
  ASSERT_NE(output_line, std::string::npos);
  EXPECT_NE(r.err.find(replaced, output_line), std::string::npos) << test::to_hex(r.err);
}

TEST(Utf8Driver, HelpListsTheExtensionsAfterTheUsage) {
  auto r = run_kotran({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const size_t usage_end = r.out.find("Usage ");  // in the eleventh usage line
  ASSERT_NE(usage_end, std::string::npos);
  for (const char* option : {"-u :", "-us:", "-ue:", "-uj:", "-ju:", "-eu:", "-l :", "-g :", "-- :"}) {
    const size_t at = r.out.find(option);
    EXPECT_NE(at, std::string::npos) << option << " is not listed";
    EXPECT_GT(at, usage_end) << option;
  }
  // The usage text alone (no argument) stays the eleven lines.
  r = run_kotran({});
  EXPECT_EQ(r.err.find("-u :"), std::string::npos);
}

}  // namespace
}  // namespace kotran
