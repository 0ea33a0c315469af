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
// JIS from a Unicode source returns to ASCII (ESC ( B); JIS_TEXT, as legacy text has it, to JIS-Roman.
const std::string JIS_TEXT = hex("1B 24 42 34 41 3B 7A 1B 28 4A 0D 0A");
const std::string JIS_FROM_UNICODE = hex("1B 24 42 34 41 3B 7A 1B 28 42 0D 0A");
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
      {"-j", "a.jis", JIS_FROM_UNICODE, "UTF-8 -> JIS"},
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
      {"-uj", UTF8_TEXT, "a.jis", JIS_FROM_UNICODE},
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
  // "  変換できない文字を 2 個 置き換えました (最初は 1 行 1 桁目)." after the output file line.
  const std::string replaced = "  " + hex("95 CF 8A B7 82 C5 82 AB 82 C8 82 A2 95 B6 8E 9A 82 F0") + " 2 " +
                               hex("8C C2") + " " + hex("92 75 82 AB 8A B7 82 A6 82 DC 82 B5 82 BD") +
                               hex("20 28 8D C5 8F 89 82 CD") + " 1" + hex("20 8D 73 20") + "1" +
                               hex("20 8C 85 96 DA 29") + ".\r\n";
  const size_t output_line = r.err.find("a.sjs");
  ASSERT_NE(output_line, std::string::npos);
  EXPECT_NE(r.err.find(replaced, output_line), std::string::npos) << test::to_hex(r.err);
}

// The same text as the program writes its messages to a pipe: Shift-JIS.
std::string sjis(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(test::glibc_iconv("CP932", "UTF-8", utf8, out)) << utf8;
  return out;
}

// A character cut off by the end of the text (a lead byte, the odd byte of
// UTF-16) is still not written, but never silently: it is counted as a
// character replaced, the message says where and that the text ended inside
// a character, and --strict refuses the file.
TEST(Utf8Driver, CharacterCutByTheEndIsCountedAndTold) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  const struct {
    const char* what;
    const char* input;
    const char* option;
    const char* output;  // hex
    const char* place;   // line and column of the cut character
  } rows[] = {
      {"Shift-JIS lead byte last", "82 A0 0D 0A 82 A2 82", "-e", "A4 A2 0D 0A A4 A4", "2 行 2"},
      {"EUC lead byte last", "A4 A2 A4", "-es", "82 A0", "1 行 2"},
      {"EUC SS2 last", "A4 A2 8E", "-es", "82 A0", "1 行 2"},
      {"JIS first byte last", "1B 24 42 24 22 24", "-js", "82 A0", "1 行 2"},
      {"UTF-16LE odd byte last", "FF FE 42 30 61", "-s", "82 A0", "1 行 2"},
      {"UTF-16BE odd byte last", "FE FF 30 42 30 44 00", "-e", "A4 A2 A4 A4", "1 行 3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    dir.write("in.txt", hex(row.input));
    auto r = run_kotran({"-c", row.option, "in.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::to_hex(r.out), row.output);
    const std::string told = sjis(std::string("  変換できない文字を 1 個 置き換えました (最初は ") + row.place +
                                  " 桁目).\r\n  テキストが文字の途中で終わり, 最後の切れた文字は書いていません.\r\n");
    EXPECT_NE(r.err.find(told), std::string::npos) << test::to_hex(r.err);
    r = run_kotran({"--strict", row.option, "in.txt"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.txt"});
  }
}

// Characters beyond JIS X 0208 as a user meets them: each file converted by
// the executable, and its output recognised as what it is.
TEST(Utf8Driver, RepertoireBeyondJisX0208) {
  const struct {
    const char* what;
    const char* input;
    const char* option;
    const char* output;  // hex, lines ending LF (-l)
    const char* code;    // what -g calls the output
  } rows[] = {
      {"Windows ⅰ￤﨑髙 to EUC: the NEC-selected codes", "FA 40 FA 55 FA B1 FB FC 0A", "-e", "FC F1 FC FC F9 F5 FC E2 0A", "EUC"},
      {"the same to JIS: 7-bit", "FA 40 FA 55 FA B1 FB FC 0A", "-j", "1B 24 42 7C 71 7C 7C 79 75 7C 62 1B 28 4A 0A",
       "JIS"},
      {"EUC 丂 (JIS X 0212) to UTF-8", "8F B0 A1 A4 A2 0A", "-u", "E4 B8 82 E3 81 82 0A", "UTF-8"},
      {"EUC 丂 to Shift-JIS: 〓, counted", "8F B0 A1 A4 A2 0A", "-s", "81 AC 82 A0 0A", "Shift-JIS"},
      {"ISO-2022-JP-2 ESC $ ( D to UTF-8", "1B 24 28 44 30 21 1B 28 42 0A", "-u", "E4 B8 82 0A", "UTF-8"},
      {"UTF-8 丂 to JIS: ESC $ ( D", "E4 B8 82 E3 81 82 0A", "-j", "1B 24 28 44 30 21 1B 24 42 24 22 1B 28 42 0A", "JIS"},
      {"UTF-8 〜‖¢£¬— to Shift-JIS", "E3 80 9C E2 80 96 C2 A2 C2 A3 C2 AC E2 80 94 0A", "-s",
       "81 60 81 61 81 91 81 92 81 CA 81 5C 0A", "Shift-JIS"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    dir.write("in.txt", hex(row.input));
    auto r = run_kotran({"-l", "-c", row.option, "in.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << row.what;
    EXPECT_EQ(test::to_hex(r.out), row.output) << row.what;
    dir.write("out.txt", r.out);
    r = run_kotran({"-g", "out.txt"}, dir.path());
    EXPECT_EQ(r.out.substr(0, r.out.find(" (")), std::string("out.txt: ") + row.code) << row.what;
  }
}

// --strict: a file that would not convert exactly is refused with the first
// place, whatever the output; nothing is written and nothing is left.
TEST(Utf8Driver, StrictRefusesWithTheFirstPlace) {
  TempDir dir;
  dir.write("bad.txt", hex("61 0D 0A 62 E3 81 82 E4 B8 82 0D 0A"));  // 丂 (line 2, column 3) has no Shift-JIS code
  dir.write("cut.txt", hex("82 A0 1A 82 A2"));                        // text after the 0x1A that ends it
  dir.write("good.txt", hex("E3 81 82 0D 0A"));
  // "ERROR: bad.txt: 2 行 3 桁目の文字は正確に変換できません. 変換しません."
  const std::string refused = "ERROR: bad.txt: 2" + hex("20 8D 73 20") + "3" +
                              hex("20 8C 85 96 DA 82 CC 95 B6 8E 9A 82 CD 90 B3 8A 6D 82 C9 95 CF 8A B7 82 C5 82 AB 82 DC 82 B9 82 F1 2E 20 95 CF 8A B7 82 B5 82 DC 82 B9 82 F1 2E") + "\r\n";
  const struct {
    std::vector<std::string> args;
    const char* shell;  // or a pipeline
  } runs[] = {
      {{"--strict", "-us", "bad.txt"}, nullptr},
      {{"--strict", "-c", "-s", "bad.txt"}, nullptr},
      {{}, "cat bad.txt | $KOTRAN --strict -c -s /dev/stdin"},
  };
  for (const auto& run : runs) {
    if (run.shell && !test::shell_here()) continue;
    const auto r = run.shell ? test::run_shell(run.shell, dir.path()) : run_kotran(run.args, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "") << "nothing is written";
    const std::string expected = run.shell ? refused.substr(0, 7) + "/dev/stdin" + refused.substr(14) : refused;
    EXPECT_NE(r.err.find(expected), std::string::npos) << test::to_hex(r.err);
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"bad.txt", "cut.txt", "good.txt"}));
  auto r = run_kotran({"--strict", "-e", "cut.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(dir.exists("cut.euc"));
  // Exact text converts as without the option, a pipe too (read twice over what it kept).
  if (!test::shell_here()) return;
  r = test::run_shell("cat good.txt | $KOTRAN --strict -c -s /dev/stdin", dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::to_hex(r.out), "82 A0 0D 0A");
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
