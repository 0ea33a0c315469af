// The program as a process: banner, usage, options, detection and conversion
// of each file, output naming, messages in Shift-JIS with CR LF, refusals
// that keep inputs safe, error reports in order, and the exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#endif

#include "sample_text.h"
#include "stream/error_report.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::kEucText;
using test::kSjisText;
using test::run_kotran;
using test::run_kotran_appending;
using test::RunResult;
using test::TempDir;
using test::to_hex;
using test::after_banner;

using Words = std::vector<std::string>;

const std::string CRLF = "\r\n";

// ---------------------------------------------------------------------------
// Texts. The Japanese parts of messages are Shift-JIS as iconv gives them.

// " は間違ったオプションです."
const std::string kBadOptionTail = hex("20 82 CD 8A D4 88 E1 82 C1 82 BD 83 49 83 76 83 56 83 87 83 93 82 C5 82 B7 2E");
// ": これは ASCII ファイルです!"
const std::string kAsciiTail = hex("3A 20 82 B1 82 EA 82 CD 20 41 53 43 49 49 20 83 74 83 40 83 43 83 8B 82 C5 82 B7 21");
// ": これは変換の必要がありません!"
const std::string kNoNeedTail =
    hex("3A 20 82 B1 82 EA 82 CD 95 CF 8A B7 82 CC 95 4B 97 76 82 AA 82 A0 82 E8 82 DC 82 B9 82 F1 21");
// " はこのプロセッサで使えません (使えるのは "
const std::string kBadPathMiddle = hex(
    "20 82 CD 82 B1 82 CC 83 76 83 8D 83 5A 83 62 83 54 82 C5 8E 67 82 A6 82 DC 82 B9 82 F1 20 28 8E 67 82 A6 82 E9 82 CC "
    "82 CD 20");
// " 変換."
const std::string kConvertingTail = hex("20 95 CF 8A B7 2E");
// "  半角カタカナ->全角 変換."
const std::string kWidening = hex("20 20 94 BC 8A 70 83 4A 83 5E 83 4A 83 69 2D 3E 91 53 8A 70 20 95 CF 8A B7 2E");
// "  出力ファイル: "
const std::string kOutputFileHead = hex("20 20 8F 6F 97 CD 83 74 83 40 83 43 83 8B 3A 20");

std::string m1(const std::string& word) { return "ERROR: \"" + word + "\"" + kBadOptionTail + CRLF; }
std::string m2(const std::string& file) { return file + kAsciiTail + CRLF; }
std::string m3(const std::string& file) { return file + kNoNeedTail + CRLF; }
std::string m4(const std::string& file, const std::string& description) {
  return file + ": " + description + kConvertingTail + CRLF;
}
std::string m5() { return kWidening + CRLF; }
std::string m6(const std::string& output) { return kOutputFileHead + output + CRLF; }
std::string report(const std::string& name, const std::string& text) { return name + ": " + text + CRLF; }
// "ERROR: a.txt: 出力ファイル a.euc は通常のファイルではありません (directory). 変換しません."
std::string not_regular(const std::string& file, const std::string& output, const std::string& kind) {
  return "ERROR: " + file + hex("3A 20 8F 6F 97 CD 83 74 83 40 83 43 83 8B 20") + output +
         hex("20 82 CD 92 CA 8F ED 82 CC 83 74 83 40 83 43 83 8B 82 C5 82 CD 82 A0 82 E8 82 DC 82 B9 82 F1 20 28") +
         kind + hex("29 2E 20 95 CF 8A B7 82 B5 82 DC 82 B9 82 F1 2E") + CRLF;
}
// "  オフセット 48 の 0x1A でテキストが終わり, その後の 2 バイトは変換していません."
std::string text_ended(long long offset, long long after) {
  return hex("20 20 83 49 83 74 83 5A 83 62 83 67 20") + std::to_string(offset) +
         hex("20 82 CC 20 30 78 31 41 20 82 C5 83 65 83 4C 83 58 83 67 82 AA 8F 49 82 ED 82 E8 2C 20 82 BB 82 CC 8C "
             "E3 82 CC 20") +
         std::to_string(after) + hex("20 83 6F 83 43 83 67 82 CD 95 CF 8A B7 82 B5 82 C4 82 A2 82 DC 82 B9 82 F1 2E") +
         CRLF;
}

// The eleven usage lines as stored on a pipe or file.
const std::string kUsage =
    // "Usage: kotran [オプション] file ..."
    hex("55 73 61 67 65 3A 20 6B 6F 74 72 61 6E 20 5B 83 49 83 76 83 56 83 87 83 93 5D 20 66 69 6C 65 20 2E 2E 2E") +
    CRLF +
    // "         -e : EUC に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 65 20 3A 20 45 55 43 20 82 C9 95 CF 8A B7") + CRLF +
    // "         -j : '83-JIS に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 6A 20 3A 20 27 38 33 2D 4A 49 53 20 82 C9 95 CF 8A B7") + CRLF +
    // "         -j8: '83-JIS に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 6A 38 3A 20 27 38 33 2D 4A 49 53 20 82 C9 95 CF 8A B7") + CRLF +
    // "         -j7: '78-JIS に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 6A 37 3A 20 27 37 38 2D 4A 49 53 20 82 C9 95 CF 8A B7") + CRLF +
    // "         -s : シフトJIS に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 73 20 3A 20 83 56 83 74 83 67 4A 49 53 20 82 C9 95 CF 8A B7") + CRLF +
    // "       オプションを指定しなければ シフトJIS に変換." and an empty line
    hex("20 20 20 20 20 20 20 83 49 83 76 83 56 83 87 83 93 82 F0 8E 77 92 E8 82 B5 82 C8 82 AF 82 EA 82 CE 20 83 "
        "56 83 74 83 67 4A 49 53 20 82 C9 95 CF 8A B7 2E") +
    CRLF + CRLF +
    // "         -c : 変換結果を画面に表示 (ファイル出力しない)"
    hex("20 20 20 20 20 20 20 20 20 2D 63 20 3A 20 95 CF 8A B7 8C 8B 89 CA 82 F0 89 E6 96 CA 82 C9 95 5C 8E A6 20 "
        "28 83 74 83 40 83 43 83 8B 8F 6F 97 CD 82 B5 82 C8 82 A2 29") +
    CRLF +
    // "         -f : 半角カタカナを全角に変換"
    hex("20 20 20 20 20 20 20 20 20 2D 66 20 3A 20 94 BC 8A 70 83 4A 83 5E 83 4A 83 69 82 F0 91 53 8A 70 82 C9 95 "
        "CF 8A B7") +
    CRLF +
    // an empty line, then "       変換元漢字コードは自動判別."
    CRLF +
    hex("20 20 20 20 20 20 20 95 CF 8A B7 8C B3 8A BF 8E 9A 83 52 81 5B 83 68 82 CD 8E A9 93 AE 94 BB 95 CA 2E") +
    CRLF +
    // "       パラメタを何も指定しなければ Usage を表示."
    hex("20 20 20 20 20 20 20 83 70 83 89 83 81 83 5E 82 F0 89 BD 82 E0 8E 77 92 E8 82 B5 82 C8 82 AF 82 EA 82 CE "
        "20 55 73 61 67 65 20 82 F0 95 5C 8E A6 2E") +
    CRLF;

// The two lines of kSjisText and kEucText in JIS, as iconv writes ISO-2022-JP:
// back to ASCII with ESC ( B.
const std::string kJisInput = hex(
    "1B 24 42 46 7C 4B 5C 38 6C 24 4E 4A 38 3E 4F 24 47 24 39 21 23 1B 28 42 0D 0A "
    "61 62 63 20 1B 24 42 34 41 3B 7A 24 48 25 2B 25 3F 25 2B 25 4A 21 22 49 3D 3C 28 21 23 1B 28 42 0D 0A");
// As the program writes JIS: ESC ( J back to one-byte text.
const std::string kJisText = hex(
    "1B 24 42 46 7C 4B 5C 38 6C 24 4E 4A 38 3E 4F 24 47 24 39 21 23 1B 28 4A 0D 0A "
    "61 62 63 20 1B 24 42 34 41 3B 7A 24 48 25 2B 25 3F 25 2B 25 4A 21 22 49 3D 3C 28 21 23 1B 28 4A 0D 0A");
// The same with the '78 kanji escape.
const std::string kJis78Text = hex(
    "1B 24 40 46 7C 4B 5C 38 6C 24 4E 4A 38 3E 4F 24 47 24 39 21 23 1B 28 4A 0D 0A "
    "61 62 63 20 1B 24 40 34 41 3B 7A 24 48 25 2B 25 3F 25 2B 25 4A 21 22 49 3D 3C 28 21 23 1B 28 4A 0D 0A");
const std::string kAsciiText = "abc\r\ndef ghi\r\n";

// "漢字ｶﾞｷﾞｱ" in Shift-JIS with half-width katakana, and the conversions.
const std::string kKanaSjis = hex("8A BF 8E 9A B6 DE B7 DE B1 0D 0A");
const std::string kKanaEuc = hex("B4 C1 BB FA 8E B6 8E DE 8E B7 8E DE 8E B1 0D 0A");
const std::string kKanaJis = hex("1B 24 42 34 41 3B 7A 1B 28 49 36 5E 37 5E 31 1B 28 4A 0D 0A");
// "漢字ガギア" after widening.
const std::string kWideSjis = hex("8A BF 8E 9A 83 4B 83 4D 83 41 0D 0A");
const std::string kWideEuc = hex("B4 C1 BB FA A5 AC A5 AE A5 A2 0D 0A");
const std::string kWideJis = hex("1B 24 42 34 41 3B 7A 25 2C 25 2E 25 22 1B 28 4A 0D 0A");

// "あ" and "い", one line each.
const std::string kSjisA = hex("82 A0 0D 0A");
const std::string kEucA = hex("A4 A2 0D 0A");
const std::string kSjisI = hex("82 A2 0D 0A");
const std::string kEucI = hex("A4 A4 0D 0A");


// Whether any temporary output file was left in the directory.
bool has_temporary(const TempDir& dir) {
  for (const std::string& n : dir.names())
    if (n.rfind(".kotran-", 0) == 0) return true;
  return false;
}

std::string words_text(const Words& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

// ---------------------------------------------------------------------------
// Banner, usage, --help, --version.

TEST(DriverUsage, NoArgumentsPrintsBannerAndUsage) {
  TempDir dir;
  const RunResult r = run_kotran({}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(kUsage));
  EXPECT_TRUE(dir.names().empty());
}

TEST(DriverUsage, HelpPrintsUsageOnStandardOutput) {
  TempDir dir;
  const RunResult r = run_kotran({"--help"}, dir.path());
  EXPECT_EQ(r.status, 0);
  // The usage text first; lines about further options may follow it.
  const std::string usage = test::messages_on_standard_output(kUsage);
  EXPECT_EQ(to_hex(r.out.substr(0, usage.size())), to_hex(usage));
  EXPECT_EQ(r.err.find("Yomikae"), std::string::npos);  // no banner
  EXPECT_TRUE(dir.names().empty());
}

TEST(DriverUsage, VersionPrintsBannerOnStandardOutput) {
  TempDir dir;
  const RunResult r = run_kotran({"--version"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_banner(r.out), "");
}

TEST(DriverUsage, OtherDoubleDashWordsAreRejected) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  for (const std::string word : {"--x", "---", "--helpx", "--HELP", "--verbose"}) {
    const RunResult r = run_kotran({word, "a.txt"}, dir.path());
    EXPECT_EQ(r.status, 2) << word;
    EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(m1(word))) << word;
    EXPECT_EQ(r.out, "") << word;
  }
  EXPECT_EQ(dir.names(), Words{"a.txt"});
}

TEST(DriverUsage, ABadOptionBeforeHelpIsRejected) {
  TempDir dir;
  const RunResult r = run_kotran({"-x", "--help"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(m1("-x")));
  // A good option before it does not stop it.
  const RunResult ok = run_kotran({"-e", "--version"}, dir.path());
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ok.out.substr(0, 17), "Yomikae Ver.3.2\r\n");
}

TEST(DriverUsage, HelpAfterAFileNameIsAFileName) {
  TempDir dir;
  dir.write("a.txt", kAsciiText);
  const RunResult r = run_kotran({"a.txt", "--help"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(after_banner(r.err), m2("a.txt") + report("--help", "No such file or directory"));
}

// The messages' language: Japanese unless the first of LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG that is set names English. A conversion, a skip and a
// failure, in both forms.
TEST(DriverLanguage, EnglishWhereTheLocaleNamesItJapaneseElsewhere) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kAsciiText);
  const std::string japanese = "Yomikae Ver.3.2\r\n" + hex("8A BF 8E 9A 83 52 81 5B 83 68 95 CF 8A B7") +
                               " kotran: " + hex("83 56 83 74 83 67") + "JIS, JIS, EUC\r\n\r\n" +
                               m4("a.txt", "Shift-JIS -> EUC") + m6("a.euc") + m2("b.txt") +
                               report("c.txt", "No such file or directory") + test::summary_line(1, 1, 0, 1);
  const std::string english =
      "Yomikae Ver.3.2\r\nKanji code converter kotran: Shift-JIS, JIS, EUC\r\n\r\n"
      "a.txt: converting Shift-JIS -> EUC.\r\n  output file: a.euc\r\nb.txt: This is an ASCII file!\r\n"
      "c.txt: No such file or directory\r\nTotal: converted 1, skipped 1, characters replaced 0, failed 1.\r\n";
  const struct {
    Words environment;
    const std::string* messages;
  } rows[] = {
      {{}, &japanese},
      {{"LANG=C"}, &japanese},
      {{"LANG=POSIX"}, &japanese},
      {{"LANG=ja_JP.UTF-8"}, &japanese},
      {{"LANG=en_US.UTF-8"}, &english},
      {{"LANG=en"}, &english},
      {{"LC_MESSAGES=en_GB"}, &english},
      {{"LANG=enx_US.UTF-8"}, &japanese},   // another language whose name begins "en"
      {{"LC_ALL=C", "LANG=en_US.UTF-8"}, &japanese},  // the first set wins
      {{"LC_ALL=", "LANG=en_US.UTF-8"}, &english},    // an empty one is not set
      {{"LANGUAGE=en:ja", "LANG=ja_JP.UTF-8"}, &english},
      {{"LANGUAGE=ja:en", "LANG=en_US.UTF-8"}, &japanese},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(words_text(row.environment));
    const RunResult r = test::run_kotran({"-e", "a.txt", "b.txt", "c.txt"}, dir.path(), row.environment);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(to_hex(r.err), to_hex(*row.messages));
    EXPECT_EQ(dir.read("a.euc"), kEucText);
    unlink(dir.file("a.euc").c_str());
  }
}

// ---------------------------------------------------------------------------
// Options.

TEST(DriverOptions, RejectedOptionEndsTheRunBeforeAnyFile) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  struct Case {
    Words args;
    std::string word;
  };
  const Case cases[] = {
      {{"-x", "a.txt"}, "-x"},      {{"-e", "-x", "a.txt"}, "-x"}, {{"-j", "-ee", "a.txt"}, "-ee"},
      {{"-e7", "a.txt"}, "-e7"},    {{"-jj", "-e", "a.txt"}, "-jj"},
      // Values join their option with '='; a bad value rejects the word.
      {{"--jobs=0", "a.txt"}, "--jobs=0"}, {{"--jobs=2x", "a.txt"}, "--jobs=2x"}, {{"--jobs", "a.txt"}, "--jobs"},
      {{"--out-dir=", "a.txt"}, "--out-dir="}, {{"--in-place=a/b", "a.txt"}, "--in-place=a/b"}, {{"-rx", "a.txt"}, "-rx"},
      {{"-x", "-y", "a.txt"}, "-x"},
      // An extension option is a whole word: "-euc" is not read as "-eu".
      {{"-euc", "a.txt"}, "-euc"},  {{"-e", "-gx", "a.txt"}, "-gx"}, {{"-usx", "a.txt"}, "-usx"},
      // "--" ends the options; those before it are still read.
      {{"-x", "--", "a.txt"}, "-x"},
      // A control byte in the word is shown, not sent to the terminal.
      {{"-\x1b[2J", "a.txt"}, "-\\x1B[2J"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_kotran(c.args, dir.path());
    EXPECT_EQ(r.status, 2) << words_text(c.args);
    EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(m1(c.word))) << words_text(c.args);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(dir.names(), Words{"a.txt"});
  EXPECT_EQ(dir.read("a.txt"), kSjisText);
}

TEST(DriverOptions, OptionsWithoutFilesPrintOnlyTheBanner) {
  TempDir dir;
  for (const Words& args : {Words{"-e"}, Words{"-f", "-c"}, Words{"-j7", "-j"}, Words{"-js"}}) {
    const RunResult r = run_kotran(args, dir.path());
    EXPECT_EQ(r.status, 0) << words_text(args);
    EXPECT_EQ(after_banner(r.err), "") << words_text(args);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(dir.names().empty());
}

TEST(DriverOptions, WordsAfterTheFirstFileAreFileNames) {
  TempDir dir;
  dir.write("a.txt", kAsciiText);
  dir.write("b.txt", kSjisText);
  const RunResult r = run_kotran({"a.txt", "-x", "-e", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), m2("a.txt") + report("-x", "No such file or directory") +
                                     report("-e", "No such file or directory") + m3("b.txt"));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt"}));
}

TEST(DriverOptions, DoubleDashEndsTheOptions) {
  struct Case {
    Words args;
    int status;
    std::string messages;
    std::string out;
    Words names;  // the directory after the run
  };
  const Case cases[] = {
      // A file whose name begins with '-' is converted.
      {{"-e", "--", "-e.txt"}, 0, m4("-e.txt", "Shift-JIS -> EUC") + m6("-e.euc"), "",
       Words{"-e.euc", "-e.txt", "a.txt"}},
      {{"--", "-e.txt", "-x"}, 1, m3("-e.txt") + report("-x", "No such file or directory"), "",
       Words{"-e.txt", "a.txt"}},
      // Only the first "--" ends them; a second one is a file name.
      {{"-e", "--", "--", "-e.txt"}, 1,
       report("--", "No such file or directory") + m4("-e.txt", "Shift-JIS -> EUC") + m6("-e.euc"), "",
       Words{"-e.euc", "-e.txt", "a.txt"}},
      // --help and --version after it are file names too.
      {{"--", "--help"}, 1, report("--help", "No such file or directory"), "", Words{"-e.txt", "a.txt"}},
      {{"-g", "--", "--version", "a.txt"}, 1, report("--version", "No such file or directory"),
       "a.txt: Shift-JIS (certain)\n", Words{"-e.txt", "a.txt"}},
      // Nothing after it: no file, as with options alone.
      {{"-e", "--"}, 0, "", "", Words{"-e.txt", "a.txt"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.write("a.txt", kSjisText);
    dir.write("-e.txt", kSjisText);
    const RunResult r = run_kotran(c.args, dir.path());
    EXPECT_EQ(r.status, c.status) << words_text(c.args);
    EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(c.messages)) << words_text(c.args);
    EXPECT_EQ(r.out, c.out) << words_text(c.args);
    EXPECT_EQ(dir.names(), c.names) << words_text(c.args);
    if (dir.exists("-e.euc")) {
      EXPECT_EQ(to_hex(dir.read("-e.euc")), to_hex(kEucText)) << words_text(c.args);
    }
    EXPECT_EQ(dir.read("-e.txt"), kSjisText) << words_text(c.args);
  }
}

TEST(DriverOptions, SlashWordIsAFileName) {
  TempDir dir;
  dir.write("a.txt", kEucText);
  const std::string missing = "/nonexistent-kotran-dir/e";
  const std::string absolute = dir.file("a.txt");
  const RunResult r = run_kotran({missing, absolute}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), report(missing, "No such file or directory") +
                                     m4(absolute, "EUC -> Shift-JIS") + m6(dir.file("a.sjs")));
  ASSERT_TRUE(dir.exists("a.sjs"));
  EXPECT_EQ(to_hex(dir.read("a.sjs")), to_hex(kSjisText));
}

// ---------------------------------------------------------------------------
// Detection and conversion of one file, every code to every target.

struct ConvertCase {
  const char* what;
  std::string input;
  Words options;
  // Empty output name: the file is skipped with the message below.
  std::string output;
  std::string expected;  // the output file, or the skip message
  std::string description;
  bool widening;
};

enum Skip { ASCII, NO_NEED };

ConvertCase converted(const char* what, const std::string& input, Words options, const std::string& output,
                      const std::string& expected, const std::string& description, bool widening = false) {
  return {what, input, std::move(options), output, expected, description, widening};
}
ConvertCase skipped(const char* what, const std::string& input, Words options, Skip skip) {
  return {what, input, std::move(options), "", skip == ASCII ? m2("a.txt") : m3("a.txt"), "", false};
}

TEST(DriverConvert, EveryCodeToEveryTarget) {
  const ConvertCase cases[] = {
      // Shift-JIS input.
      skipped("sjis, no option", kSjisText, {}, NO_NEED),
      converted("sjis -e", kSjisText, {"-e"}, "a.euc", kEucText, "Shift-JIS -> EUC"),
      converted("sjis -E", kSjisText, {"-E"}, "a.euc", kEucText, "Shift-JIS -> EUC"),
      converted("sjis -j", kSjisText, {"-j"}, "a.jis", kJisText, "Shift-JIS -> JIS"),
      converted("sjis -j8", kSjisText, {"-j", "-j8"}, "a.jis", kJisText, "Shift-JIS -> JIS"),
      converted("sjis -f", kSjisText, {"-f"}, "a.sjs", kSjisText, "Shift-JIS -> Shift-JIS", true),
      skipped("sjis -j7 keeps Shift-JIS as target", kSjisText, {"-j7"}, NO_NEED),
      skipped("sjis -j then -s", kSjisText, {"-j", "-s"}, NO_NEED),
      converted("sjis -j7 -j", kSjisText, {"-j7", "-j"}, "a.jis", kJis78Text, "Shift-JIS -> JIS"),
      converted("sjis -j -j7", kSjisText, {"-j", "-j7"}, "a.jis", kJis78Text, "Shift-JIS -> JIS"),
      // Shift-JIS with half-width katakana.
      skipped("kana, no option", kKanaSjis, {}, NO_NEED),
      converted("kana -f", kKanaSjis, {"-f"}, "a.sjs", kWideSjis, "Shift-JIS -> Shift-JIS", true),
      converted("kana -e", kKanaSjis, {"-e"}, "a.euc", kKanaEuc, "Shift-JIS -> EUC"),
      converted("kana -e -f", kKanaSjis, {"-e", "-f"}, "a.euc", kWideEuc, "Shift-JIS -> EUC", true),
      converted("kana -j", kKanaSjis, {"-j"}, "a.jis", kKanaJis, "Shift-JIS -> JIS"),
      converted("kana -f -j", kKanaSjis, {"-f", "-j"}, "a.jis", kWideJis, "Shift-JIS -> JIS", true),
      // EUC input.
      converted("euc, no option", kEucText, {}, "a.sjs", kSjisText, "EUC -> Shift-JIS"),
      converted("euc -s", kEucText, {"-s"}, "a.sjs", kSjisText, "EUC -> Shift-JIS"),
      converted("euc -j", kEucText, {"-j"}, "a.jis", kJisText, "EUC -> JIS"),
      converted("euc -j7 -j", kEucText, {"-j7", "-j"}, "a.jis", kJis78Text, "EUC -> JIS"),
      skipped("euc -e", kEucText, {"-e"}, NO_NEED),
      converted("euc -e -f", kEucText, {"-e", "-f"}, "a.euc", kEucText, "EUC -> EUC", true),
      converted("euc -es", kEucText, {"-es"}, "a.sjs", kSjisText, "EUC -> Shift-JIS"),
      converted("euc -ej", kEucText, {"-ej"}, "a.jis", kJisText, "EUC -> JIS"),
      converted("kana euc, no option", kKanaEuc, {}, "a.sjs", kKanaSjis, "EUC -> Shift-JIS"),
      converted("kana euc -f", kKanaEuc, {"-f"}, "a.sjs", kWideSjis, "EUC -> Shift-JIS", true),
      // JIS input.
      converted("jis, no option", kJisInput, {}, "a.sjs", kSjisText, "JIS -> Shift-JIS"),
      converted("jis -e", kJisInput, {"-e"}, "a.euc", kEucText, "JIS -> EUC"),
      skipped("jis -j", kJisInput, {"-j"}, NO_NEED),
      converted("jis -j -f", kJisInput, {"-j", "-f"}, "a.jis", kJisText, "JIS -> JIS", true),
      converted("jis -j7 -j -f", kJisInput, {"-j7", "-j", "-f"}, "a.jis", kJis78Text, "JIS -> JIS", true),
      converted("jis -js", kJisInput, {"-js"}, "a.sjs", kSjisText, "JIS -> Shift-JIS"),
      converted("jis -je", kJisInput, {"-je"}, "a.euc", kEucText, "JIS -> EUC"),
      converted("jis -js -j", kJisInput, {"-js", "-j"}, "a.jis", kJisText, "JIS -> JIS"),
      // 7-bit input.
      skipped("ascii, no option", kAsciiText, {}, ASCII),
      skipped("ascii -e", kAsciiText, {"-e"}, ASCII),
      skipped("ascii -j -f", kAsciiText, {"-j", "-f"}, ASCII),
      skipped("empty file", "", {"-e"}, ASCII),
      // A forced source skips detection, whatever the file holds.
      converted("ascii -js", kAsciiText, {"-js"}, "a.sjs", kAsciiText, "JIS -> Shift-JIS"),
      converted("ascii -je", kAsciiText, {"-je"}, "a.euc", kAsciiText, "JIS -> EUC"),
      converted("sjis -js", kSjisText, {"-js"}, "a.sjs", kSjisText, "JIS -> Shift-JIS"),
  };
  for (const ConvertCase& c : cases) {
    TempDir dir;
    dir.write("a.txt", c.input);
    Words args = c.options;
    args.push_back("a.txt");
    const RunResult r = run_kotran(args, dir.path());
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(dir.read("a.txt"), c.input) << c.what << ": the input changed";
    EXPECT_FALSE(has_temporary(dir)) << c.what;
    if (c.output.empty()) {
      EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(c.expected)) << c.what;
      EXPECT_EQ(dir.names(), Words{"a.txt"}) << c.what;
      continue;
    }
    const std::string messages =
        m4("a.txt", c.description) + (c.widening ? m5() : "") + m6(c.output);
    EXPECT_EQ(to_hex(after_banner(r.err)), to_hex(messages)) << c.what;
    EXPECT_EQ(dir.names(), (Words{c.output, "a.txt"})) << c.what;
    if (dir.exists(c.output)) {
      EXPECT_EQ(to_hex(dir.read(c.output)), to_hex(c.expected)) << c.what;
    }
  }
}

// KOTRAN_PATH forces each way through the bytes that this processor can
// take (no name, or an empty one, gives its fastest): the program writes the same bytes on
// every one, for real text in every code.
TEST(DriverConvert, EveryForcedPathWritesTheSameBytes) {
  TempDir dir;
  std::string text;
  for (const auto& f : test::corpus_files()) text += f.utf8;
  dir.write("u.txt", text);
  std::map<std::string, std::string> first;
  std::vector<std::string> paths = {""};
  for (const Path path : PATHS)
    if (test::path_taken(path)) paths.push_back(path_name(path));
#if defined(KOTRAN_TESTS_EMULATED)
  // Emulated, every path's kernels are checked in the process (the kernels'
  // and fast paths' suites): here the chosen path and one forced path.
  paths.resize(std::min<size_t>(paths.size(), 2));
#endif
  for (const std::string& path : paths) {
    const Words env = {"KOTRAN_PATH=" + path};
    for (const char* option : {"-us", "-ue", "-uj"}) {
      const RunResult r = run_kotran({"-c", option, "u.txt"}, dir.path(), env);
      ASSERT_EQ(r.status, 0) << path << " " << option;
      dir.write(std::string("t") + option, r.out);
      for (const char* back : {"-s", "-e", "-j", "-u"}) {
        const RunResult b = run_kotran({"-c", back, std::string("t") + option}, dir.path(), env);
        const std::string key = std::string(option) + back;
        if (first.count(key) == 0) first[key] = b.out;
        EXPECT_TRUE(b.out == first[key]) << path << " " << key;
      }
    }
  }
}

// A KOTRAN_PATH that names no path, or one this processor lacks, is refused
// before any file is touched (status 2), naming the paths it has: a
// measurement never measures another path than it named.
TEST(DriverConvert, UnknownOrMissingPathIsRefused) {
  std::string available;
  for (const Path path : PATHS)
    if (path_available(path)) available += std::string(available.empty() ? "" : ", ") + path_name(path);
  // The old names by width and a name in another case are no path.
  std::vector<std::string> refused = {"no_such_path", "vectors", "wide_vectors", "AVX2"};
  for (const Path path : PATHS)
    if (!path_available(path)) refused.push_back(path_name(path));
  for (const std::string& name : refused) {
    TempDir dir;
    dir.write("a.txt", "\x82\xA0\r\n");
    const RunResult r = run_kotran({"-e", "a.txt"}, dir.path(), {"KOTRAN_PATH=" + name});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(to_hex(after_banner(r.err)), to_hex("ERROR: KOTRAN_PATH=" + name + kBadPathMiddle + available + ")." + CRLF))
        << name;
    EXPECT_EQ(dir.names(), (Words{"a.txt"})) << name;
  }
}

// Line ends come out as the streams' translation writes them whoever does
// it: the conversion (a file, or standard output apart from standard error)
// or the streams (standard output and standard error one file, 2>&1).
TEST(DriverConvert, LineEndsComeOutTheSameWhoeverTranslatesThem) {
  const struct {
    Words options;
    const char* input;     // hex
    const char* expected;  // hex
  } rows[] = {
      // A lone LF gains its CR, a lone CR stays, CR CR LF keeps both CRs; -l drops the CR of CR LF.
      {{"-e"}, "82 A0 0D 0A 0A 0D 0D 0A 0D 41 0D", "A4 A2 0D 0A 0D 0A 0D 0D 0A 0D 41 0D"},
      {{"-e", "-l"}, "82 A0 0D 0A 0A 0D 0D 0A 0D 41 0D", "A4 A2 0A 0A 0D 0A 0D 41 0D"},
      // A first byte before CR LF takes the line end as its second byte.
      {{"-e"}, "82 A0 81 0D 0A 41", "A4 A2 81 0D 0A 41"},
      {{"-j"}, "82 A0 81 0D 0A 41", "1B 24 42 24 22 1B 28 4A 81 0D 0A 41"},
      {{"-u"}, "82 A0 81 0D 0A 41", "E3 81 82 EF BF BD 0D 0A 41"},
      {{"-ej"}, "A4 A2 A4 0D 0A A4 A2", "1B 24 42 24 22 24 0D 0A 24 22 1B 28 4A"},
      {{"-es"}, "A4 A2 A4 0D 0A A4 A2", "82 A0 82 88 82 A0"},
      // Kanji text over a line end, and a CR before the mark that ends the text.
      {{"-s"}, "1B 24 42 24 22 0D 0A 24 24 1B 28 42 0A", "82 A0 0D 0A 82 A2 0D 0A"},
      {{"-e", "-l"}, "1B 24 42 24 22 0D 0A 24 24 1B 28 42 0A", "A4 A2 0A A4 A4 0A"},
      {{"-e"}, "82 A0 0D 1A 0A", "A4 A2 0D"},
      // CR LF and a lone LF after 31 bytes, where a vector of 32 ends.
      {{"-e"},
       "82 A0 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 0D 0A "
       "61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 0A 82 A0",
       "A4 A2 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 0D 0A "
       "61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 0D 0A A4 A2"},
      {{"-w"}, "82 A0 0D 0D 0A 0D 0A", "FF FE 42 30 0D 00 0D 00 0A 00 0D 00 0A 00"},
      // Lone LFs the tight loops store themselves: after kanji text (which
      // JIS leaves first), after a character of UTF-8, and after ASCII.
      {{"-j"}, "82 A0 0A 41 0A", "1B 24 42 24 22 1B 28 4A 0D 0A 41 0D 0A"},
      {{"-s"}, "E3 81 82 0A 41 0A", "82 A0 0D 0A 41 0D 0A"},
      // Lines long enough for whole blocks, each a CR and an LF apart with
      // an escape sequence between them: the LF is lone and gains its CR.
      {{"-s"},
       "1B 24 42 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 1B 28 42 0D 1B 28 42 0A "
       "1B 24 42 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 1B 28 42 0D 1B 28 42 0A "
       "1B 24 42 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 1B 28 42 0D 1B 28 42 0A "
       "1B 24 42 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 1B 28 42 0D 1B 28 42 0A "
       "1B 24 42 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 24 22 1B 28 42 0D 1B 28 42 0A",
       "82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 0D 0D 0A "
       "82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 0D 0D 0A "
       "82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 0D 0D 0A "
       "82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 0D 0D 0A "
       "82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 82 A0 0D 0D 0A"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    dir.write("a.txt", hex(row.input));
    std::string options;
    for (const std::string& o : row.options) options += o + " ";
    SCOPED_TRACE(options + row.input);
    Words to_file = row.options, to_pipe = row.options;
    to_file.push_back("a.txt");
    to_pipe.insert(to_pipe.end(), {"-c", "a.txt"});
    const RunResult f = run_kotran(to_file, dir.path());
    ASSERT_EQ(f.status, 0) << f.err;
    const std::string extension = row.options[0] == "-u" ? "utf8" : row.options[0] == "-w" ? "utf16"
                                  : row.options[0].back() == 's' ? "sjs" : row.options[0].back() == 'j' ? "jis" : "euc";
    EXPECT_EQ(to_hex(dir.read("a." + extension)), row.expected) << "to a file";
    const RunResult p = run_kotran(to_pipe, dir.path());
    EXPECT_EQ(to_hex(p.out), row.expected) << "to a pipe";
    if (!test::shell_here()) continue;
    test::run_shell("'" KOTRAN_EXE "' " + options + "-c a.txt > both 2>&1", dir.path());
    EXPECT_NE(dir.read("both").find(hex(row.expected)), std::string::npos)
        << "with standard error: " << to_hex(dir.read("both"));
  }
}

TEST(DriverConvert, SeveralFilesAllSkippedOrConvertedGiveStatusZero) {
  TempDir dir;
  dir.write("ascii.txt", kAsciiText);
  dir.write("s.txt", kSjisText);
  dir.write("e.txt", kEucText);
  dir.write("j.txt", kJisInput);
  const RunResult r = run_kotran({"-e", "ascii.txt", "s.txt", "e.txt", "j.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_banner(r.err), m2("ascii.txt") + m4("s.txt", "Shift-JIS -> EUC") + m6("s.euc") + m3("e.txt") +
                                     m4("j.txt", "JIS -> EUC") + m6("j.euc"));
  EXPECT_EQ(dir.names(), (Words{"ascii.txt", "e.txt", "j.euc", "j.txt", "s.euc", "s.txt"}));
  EXPECT_EQ(dir.read("s.euc"), kEucText);
  EXPECT_EQ(dir.read("j.euc"), kEucText);
}

TEST(DriverConvert, AnExistingOutputIsReplaced) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("a.euc", std::string(10000, 'x'));
  const RunResult r = run_kotran({"-e", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(to_hex(dir.read("a.euc")), to_hex(kEucText));
  EXPECT_FALSE(has_temporary(dir));
}

TEST(DriverConvert, ConsoleOutputHasBothTextsInOrder) {
  TempDir dir;
  dir.write("a.txt", kSjisA);
  dir.write("b.txt", kSjisI);
  const RunResult r = run_kotran({"-e", "-c", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_banner(r.err), "");
  EXPECT_EQ(to_hex(r.out), to_hex(kEucA + kEucI));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt"}));

  const RunResult j = run_kotran({"-c", "-j", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(j.status, 0);
  EXPECT_EQ(to_hex(j.out), to_hex(hex("1B 24 42 24 22 1B 28 4A 0D 0A 1B 24 42 24 24 1B 28 4A 0D 0A")));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt"}));
}

TEST(DriverConvert, ConsoleOutputStillSkipsWithMessages) {
  TempDir dir;
  dir.write("ascii.txt", kAsciiText);
  dir.write("a.txt", kEucA);
  dir.write("k.txt", kKanaSjis);
  const RunResult r = run_kotran({"-c", "ascii.txt", "a.txt", "k.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_banner(r.err), m2("ascii.txt") + m3("k.txt"));
  EXPECT_EQ(to_hex(r.out), to_hex(kSjisA));
  const RunResult f = run_kotran({"-f", "-c", "k.txt"}, dir.path());
  EXPECT_EQ(f.status, 0);
  EXPECT_EQ(after_banner(f.err), "");  // no M4-M6, and no M5 either
  EXPECT_EQ(to_hex(f.out), to_hex(kWideSjis));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "ascii.txt", "k.txt"}));
}

TEST(DriverConvert, ConsoleOutputOnAFullDevice) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  const RunResult r = run_kotran({"-c", "-e", "a.txt"}, dir.path(), {}, "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("standard output: No space left on device\r\n"), std::string::npos) << to_hex(r.err);
  EXPECT_EQ(dir.names(), Words{"a.txt"});
}

// ---------------------------------------------------------------------------
// File names holding control bytes.

// Whether the bytes hold a control byte other than the CR LF or LF that ends
// each line.
bool holds_raw_control_byte(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '\n' || (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) continue;
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

TEST(DriverNames, ControlBytesInNamesAreShownAsHex) {
  SKIP_ON_WINDOWS("names there are Unicode, and hold no control character");
  TempDir dir;
  // ESC [ 3 1 m would turn a terminal red; the LF would start a forged line.
  const std::string name = "a\x1b[31m\nb.txt";
  const std::string shown = "a\\x1B[31m\\x0Ab.txt";
  // A Shift-JIS name (表 ends in 0x5C) and a backslash are shown as they are.
  const std::string sjis_name = hex("95 5C") + "\\.txt";
  const std::string missing = "m\x07\x7f\x01\r.txt";
  dir.write(name, kSjisText);
  dir.write(sjis_name, kEucText);

  const RunResult g = run_kotran({"-g", name, sjis_name, missing}, dir.path());
  EXPECT_EQ(g.status, 1);
  EXPECT_EQ(to_hex(g.out), to_hex(shown + ": Shift-JIS (certain)\n" + sjis_name + ": EUC (certain)\n"));
  EXPECT_EQ(to_hex(after_banner(g.err)), to_hex(report("m\\x07\\x7F\\x01\\x0D.txt", "No such file or directory")));
  EXPECT_FALSE(holds_raw_control_byte(g.out)) << to_hex(g.out);
  EXPECT_FALSE(holds_raw_control_byte(g.err)) << to_hex(g.err);

  const RunResult r = run_kotran({"-e", name, sjis_name, missing}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(to_hex(after_banner(r.err)),
            to_hex(m4(shown, "Shift-JIS -> EUC") + m6("a\\x1B[31m\\x0Ab.euc") + m3(sjis_name) +
                   report("m\\x07\\x7F\\x01\\x0D.txt", "No such file or directory")));
  EXPECT_FALSE(holds_raw_control_byte(r.err)) << to_hex(r.err);
  EXPECT_EQ(r.out, "");
  // The file itself is written under its real name.
  ASSERT_TRUE(dir.exists("a\x1b[31m\nb.euc"));
  EXPECT_EQ(to_hex(dir.read("a\x1b[31m\nb.euc")), to_hex(kEucText));
}

// ---------------------------------------------------------------------------
// Output names.

TEST(DriverOutputName, FirstDotOfTheBaseNameIsReplaced) {
  struct Case {
    std::string dir_part;  // made before the run
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {"", "a.b.txt", "a.sjs"},
      {"", "readme", "readme.sjs"},
      {"", "a.", "a.sjs"},
      {"", "x.sjs.txt", "x.sjs"},
      {"dir.x", "dir.x/a", "dir.x/a.sjs"},
      {"dir.x", "dir.x/a.b.c", "dir.x/a.sjs"},
      {"dir.x", "./dir.x/a", "./dir.x/a.sjs"},
      {"", "./a.txt", "./a.sjs"},
#if !defined(_WIN32)
      {"", "back\\slash.txt", "back\\slash.sjs"},  // a backslash is no separator here
#endif
      {"", "sp ace.txt", "sp ace.sjs"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (!c.dir_part.empty()) {
      ASSERT_EQ(mkdir(dir.file(c.dir_part).c_str(), 0755), 0);
    }
    dir.write(c.input, kEucText);
    const RunResult r = run_kotran({c.input}, dir.path());
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_EQ(after_banner(r.err), m4(c.input, "EUC -> Shift-JIS") + m6(c.output)) << c.input;
    ASSERT_TRUE(dir.exists(c.output)) << c.input;
    EXPECT_EQ(to_hex(dir.read(c.output)), to_hex(kSjisText)) << c.input;
  }
}

TEST(DriverOutputName, EachTargetHasItsExtension) {
  TempDir dir;
  dir.write("doc", kJisInput);
  const RunResult r = run_kotran({"doc"}, dir.path());
  EXPECT_EQ(after_banner(r.err), m4("doc", "JIS -> Shift-JIS") + m6("doc.sjs"));
  const RunResult e = run_kotran({"-e", "doc"}, dir.path());
  EXPECT_EQ(after_banner(e.err), m4("doc", "JIS -> EUC") + m6("doc.euc"));
  dir.write("s", kSjisText);
  const RunResult j = run_kotran({"-j", "s"}, dir.path());
  EXPECT_EQ(after_banner(j.err), m4("s", "Shift-JIS -> JIS") + m6("s.jis"));
  EXPECT_EQ(dir.names(), (Words{"doc", "doc.euc", "doc.sjs", "s", "s.jis"}));
}

// Makes the relative path rel (directories and file) below base, whose
// full name may exceed what one call to open accepts.
bool make_deep_file(const std::string& base, const std::string& rel, const std::string& bytes) {
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  size_t start = 0;
  for (size_t slash; (slash = rel.find('/', start)) != std::string::npos; start = slash + 1) {
    const std::string part = rel.substr(start, slash - start);
    if (mkdirat(fd, part.c_str(), 0755) != 0 && errno != EEXIST) {
      ::close(fd);
      return false;
    }
    const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    if (next < 0) return false;
    fd = next;
  }
  const int file = openat(fd, rel.substr(start).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::close(fd);
  if (file < 0) return false;
  const bool ok = ::write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(file);
  return ok;
}

TEST(DriverOutputName, OutputNameThatDoesNotFitIsRefused) {
  SKIP_ON_WINDOWS("a name's limit there is Windows' 32,767 UTF-16 units, not 4096 bytes");
  TempDir dir;
  // 20 directories of 200 bytes and a file name without a dot: 4093 bytes,
  // which opens, while the output name needs 4097.
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += std::string(200, 'd') + "/";
  const std::string name = deep + std::string(4093 - deep.size(), 'f');
  ASSERT_EQ(name.size(), 4093u);
  ASSERT_TRUE(make_deep_file(dir.path(), name, kEucText));
  dir.write("b.txt", kEucText);
  const RunResult r = run_kotran({name, "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err),
            report(name, "Filename too long") + m4("b.txt", "EUC -> Shift-JIS") + m6("b.sjs"));
  EXPECT_EQ(dir.read("b.sjs"), kSjisText);
}

TEST(DriverOutputName, InputNameTooLongToOpen) {
  SKIP_ON_WINDOWS("a name's limit there is Windows' 32,767 UTF-16 units, not 4096 bytes");
  TempDir dir;
  dir.write("b.txt", kEucText);
  const std::string name(5000, 'n');
  const RunResult r = run_kotran({name, "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err),
            report(name, "Filename too long") + m4("b.txt", "EUC -> Shift-JIS") + m6("b.sjs"));
}

// ---------------------------------------------------------------------------
// An output never destroys an input.

// Checks that the run refused the file with an "ERROR: " line naming it.
void expect_refusal(const std::string& messages, const std::string& file) {
  EXPECT_EQ(messages.rfind("ERROR: ", 0), 0u) << to_hex(messages);
  const size_t end = messages.find(CRLF);
  ASSERT_NE(end, std::string::npos);
  EXPECT_NE(messages.substr(0, end).find(file), std::string::npos) << to_hex(messages);
}

// The refusal line at the start of messages; what follows it.
std::string after_refusal(const std::string& messages, const std::string& file) {
  expect_refusal(messages, file);
  const size_t end = messages.find(CRLF);
  return end == std::string::npos ? "" : messages.substr(end + 2);
}

TEST(DriverSafety, OutputThatIsTheInputItselfIsRefused) {
  for (const std::string name : {"a.sjs", "./a.sjs"}) {
    TempDir dir;
    dir.write("a.sjs", kKanaSjis);
    dir.write("d.txt", kEucText);
    const RunResult r = run_kotran({"-f", name, "d.txt"}, dir.path());
    EXPECT_EQ(r.status, 1) << name;
    const std::string rest = after_refusal(after_banner(r.err), name);
    EXPECT_EQ(rest, m4("d.txt", "EUC -> Shift-JIS") + m5() + m6("d.sjs")) << name;
    EXPECT_EQ(dir.read("a.sjs"), kKanaSjis) << name;
    EXPECT_EQ(dir.read("d.sjs"), kSjisText) << name;
    EXPECT_EQ(dir.names(), (Words{"a.sjs", "d.sjs", "d.txt"})) << name;
  }
}

TEST(DriverSafety, ConsoleOutputAppendedToTheInputIsRefused) {
  // kotran -c -e a.txt b.txt >> a.txt would read a.txt back as it grows.
  TempDir dir;
  const std::string big = [] {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += kSjisText;  // several input blocks
    return text;
  }();
  dir.write("a.txt", big);
  dir.write("b.txt", kSjisText);
  ASSERT_EQ(link(dir.file("a.txt").c_str(), dir.file("hard.txt").c_str()), 0);
  for (const std::string name : {"a.txt", "hard.txt"}) {
    const RunResult r = run_kotran_appending({"-c", "-e", name, "b.txt"}, dir.path(), dir.file("a.txt"));
    EXPECT_EQ(r.status, 1) << name;
    const std::string rest = after_refusal(after_banner(r.err), name);
    EXPECT_NE(r.err.find("standard output"), std::string::npos) << to_hex(r.err);
    EXPECT_EQ(rest, "") << name;
    // The file keeps its text, and the next file's output goes after it.
    EXPECT_EQ(to_hex(dir.read("a.txt")), to_hex(big + kEucText)) << name;
    dir.write("a.txt", big);
  }
}

TEST(DriverSafety, JisNamedFileHoldingShiftJisIsRefused) {
  TempDir dir;
  dir.write("a.jis", kSjisText);
  const RunResult r = run_kotran({"-j", "a.jis"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_refusal(after_banner(r.err), "a.jis"), "");
  EXPECT_EQ(dir.read("a.jis"), kSjisText);
  EXPECT_EQ(dir.names(), Words{"a.jis"});
}

TEST(DriverSafety, OutputThatIsAHardLinkOfTheInputIsRefused) {
  TempDir dir;
  dir.write("b.txt", kKanaSjis);
  ASSERT_EQ(link(dir.file("b.txt").c_str(), dir.file("b.sjs").c_str()), 0);
  const RunResult r = run_kotran({"-f", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_refusal(after_banner(r.err), "b.txt"), "");
  EXPECT_EQ(dir.read("b.txt"), kKanaSjis);
  EXPECT_EQ(dir.names(), (Words{"b.sjs", "b.txt"}));
}

TEST(DriverSafety, OutputThatLinksToTheInputIsRefused) {
#if defined(_WIN32)
  GTEST_SKIP() << "a symbolic link the user makes: Windows asks a privilege for one and Wine makes none (reparse "
                  "points another user plants are windows_kotran_test's)";
#else
  TempDir dir;
  dir.write("c.txt", kKanaSjis);
  ASSERT_EQ(symlink("c.txt", dir.file("c.sjs").c_str()), 0);
  const RunResult r = run_kotran({"-f", "c.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_refusal(after_banner(r.err), "c.txt"), "");
  EXPECT_EQ(dir.read("c.txt"), kKanaSjis);
  EXPECT_FALSE(has_temporary(dir));
#endif
}

TEST(DriverSafety, OutputThatIsALaterInputIsRefused) {
  for (const std::string later : {"a.euc", "./a.euc"}) {
    TempDir dir;
    dir.write("a.txt", kSjisText);
    dir.write("a.euc", kEucA);
    const RunResult r = run_kotran({"-e", "a.txt", later}, dir.path());
    EXPECT_EQ(r.status, 1) << later;
    // a.txt is refused, then a.euc is already EUC.
    EXPECT_EQ(after_refusal(after_banner(r.err), "a.txt"), m3(later)) << later;
    EXPECT_EQ(dir.read("a.euc"), kEucA) << later;
    EXPECT_EQ(dir.read("a.txt"), kSjisText) << later;
    EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt"})) << later;
  }
}

// kotran -e * in a folder holding a.euc (already EUC, skipped) and a.txt:
// a.txt's output would replace an input the user named.
TEST(DriverSafety, OutputThatIsAnEarlierInputIsRefused) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("a.euc", kEucA);
  const RunResult r = run_kotran({"-e", "*"}, dir.path());
  EXPECT_EQ(r.status, 1);
  // "ERROR: a.txt: 出力ファイル a.euc はこの実行で先に指定した入力ファイルです. 変換しません."
  EXPECT_EQ(to_hex(after_banner(r.err)),
            to_hex(m3("a.euc") + "ERROR: a.txt" + hex("3A 20 8F 6F 97 CD 83 74 83 40 83 43 83 8B 20") + "a.euc" +
                   hex("20 82 CD 82 B1 82 CC 8E C0 8D 73 82 C5 90 E6 82 C9 8E 77 92 E8 82 B5 82 BD 93 FC 97 CD 83 "
                       "74 83 40 83 43 83 8B 82 C5 82 B7 2E 20 95 CF 8A B7 82 B5 82 DC 82 B9 82 F1 2E") +
                   CRLF));
  EXPECT_EQ(dir.read("a.euc"), kEucA);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt"}));
}

// Only a regular file, or nothing, at the output name is replaced: whatever
// else stands there stays as it is, and the run goes on.
TEST(DriverSafety, OutputNameThatIsNotARegularFileIsRefused) {
  struct Case {
    const char* kind;
    int (*make)(const std::string& path);  // 0 when made
  };
  const Case cases[] = {
      {"directory", [](const std::string& p) { return mkdir(p.c_str(), 0755); }},
#if !defined(_WIN32)
      // Windows has no FIFO, device node or socket at a name (its reparse
      // points, planted by another user, are windows_kotran_test's).
      {"FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0644); }},
      {"symbolic link", [](const std::string& p) { return symlink("elsewhere.euc", p.c_str()); }},
      {"character device",
       [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)); }},  // as /dev/null
      {"socket",
       [](const std::string& p) {
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         struct sockaddr_un addr {};
         addr.sun_family = AF_UNIX;
         if (fd < 0 || p.size() >= sizeof addr.sun_path) return -1;
         std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
         const int made = bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
         close(fd);
         return made;
       }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TempDir dir;
    dir.write("a.txt", kSjisText);
    dir.write("b.txt", kSjisText);
    dir.write("elsewhere.euc", kEucA);
    if (c.make(dir.file("a.euc")) != 0) {
      ADD_FAILURE() << "cannot make a " << c.kind << " here (a device node needs root)";
      continue;
    }
    struct stat before;
    ASSERT_EQ(lstat(dir.file("a.euc").c_str(), &before), 0);
    const RunResult r = run_kotran({"-e", "a.txt", "b.txt"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(to_hex(after_banner(r.err)),
              to_hex(not_regular("a.txt", "a.euc", c.kind) + m4("b.txt", "Shift-JIS -> EUC") + m6("b.euc")));
    struct stat after;
    ASSERT_EQ(lstat(dir.file("a.euc").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(dir.read("elsewhere.euc"), kEucA);
    EXPECT_EQ(dir.read("b.euc"), kEucText);
    EXPECT_FALSE(has_temporary(dir));
  }
}

TEST(DriverSafety, OutputWrittenEarlierInTheRunIsRefused) {
  TempDir dir;
  dir.write("a.b.txt", kEucA);
  dir.write("a.c.txt", kEucI);
  dir.write("z.txt", kEucText);
  const RunResult r = run_kotran({"a.b.txt", "a.c.txt", "z.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  const std::string messages = after_banner(r.err);
  const std::string first = m4("a.b.txt", "EUC -> Shift-JIS") + m6("a.sjs");
  ASSERT_EQ(messages.substr(0, first.size()), first);
  EXPECT_EQ(after_refusal(messages.substr(first.size()), "a.c.txt"),
            m4("z.txt", "EUC -> Shift-JIS") + m6("z.sjs"));
  EXPECT_EQ(to_hex(dir.read("a.sjs")), to_hex(kSjisA));
  EXPECT_EQ(dir.read("z.sjs"), kSjisText);
  EXPECT_EQ(dir.names(), (Words{"a.b.txt", "a.c.txt", "a.sjs", "z.sjs", "z.txt"}));
}

// ---------------------------------------------------------------------------
// Files that cannot be read or written; the order of messages.

TEST(DriverFailures, MissingSecondFileAmongThree) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("c.txt", kKanaSjis);
  const RunResult r = run_kotran({"-e", "a.txt", "missing.txt", "c.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(to_hex(after_banner(r.err)),
            to_hex(m4("a.txt", "Shift-JIS -> EUC") + m6("a.euc") + report("missing.txt", "No such file or directory") +
                   m4("c.txt", "Shift-JIS -> EUC") + m6("c.euc")));
  EXPECT_EQ(dir.read("a.euc"), kEucText);
  EXPECT_EQ(dir.read("c.euc"), kKanaEuc);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt", "c.euc", "c.txt"}));
}

TEST(DriverFailures, MissingFileWithForcedSource) {
  TempDir dir;
  dir.write("c.txt", kJisInput);
  const RunResult r = run_kotran({"-js", "missing.txt", "c.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), report("missing.txt", "No such file or directory") +
                                     m4("c.txt", "JIS -> Shift-JIS") + m6("c.sjs"));
  EXPECT_EQ(dir.read("c.sjs"), kSjisText);
}

TEST(DriverFailures, DirectoryAndLinkLoopAsInput) {
#if defined(_WIN32)
  GTEST_SKIP() << "a link loop the user makes: Windows asks a privilege for a symbolic link and Wine makes none";
#else
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("dir").c_str(), 0755), 0);
  ASSERT_EQ(symlink("loop", dir.file("loop").c_str()), 0);  // ln -s loop loop
  dir.write("a.txt", kSjisText);
  const RunResult r = run_kotran({"-e", "dir", "loop", "a.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), report("dir", "Is a directory") +
                                     report("loop", "Too many levels of symbolic links") +
                                     m4("a.txt", "Shift-JIS -> EUC") + m6("a.euc"));
  EXPECT_EQ(dir.read("a.euc"), kEucText);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt", "dir", "loop"}));
#endif
}

TEST(DriverFailures, UnreadableFile) {
  if (!test::permissions_apply()) GTEST_SKIP() << "running as root: permission bits stop nothing";
  TempDir dir;
  dir.write("locked.txt", kSjisText);
  dir.write("b.txt", kSjisText);
  ASSERT_EQ(chmod(dir.file("locked.txt").c_str(), 0), 0);
  const RunResult r = run_kotran({"-e", "locked.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err),
            report("locked.txt", "Permission denied") + m4("b.txt", "Shift-JIS -> EUC") + m6("b.euc"));
  EXPECT_EQ(dir.read("b.euc"), kEucText);
  EXPECT_FALSE(dir.exists("locked.euc"));
}

// A folder that refuses new files ends nothing but its own file's conversion.
// Root writes anywhere, so as root the program runs as the user nobody.
TEST(DriverFailures, ReadOnlyOutputDirectory) {
  const bool as_nobody = !test::permissions_apply();
  if (as_nobody && !test::can_run_as_nobody()) GTEST_SKIP() << "running as root and there is no user nobody";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0755), 0);
  dir.write("ro/a.txt", kSjisText);
  dir.write("b.txt", kSjisText);
  ASSERT_EQ(chmod(dir.file("ro").c_str(), 0555), 0);
  const Words args{"-e", "ro/a.txt", "b.txt"};
  const RunResult r = as_nobody ? test::run_kotran_as_nobody(args, dir.path()) : run_kotran(args, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), m4("ro/a.txt", "Shift-JIS -> EUC") + m6("ro/a.euc") +
                                     report("ro/a.euc", "Permission denied") + m4("b.txt", "Shift-JIS -> EUC") +
                                     m6("b.euc"));
  EXPECT_FALSE(dir.exists("ro/a.euc"));
  EXPECT_EQ(dir.read("b.euc"), kEucText);
  EXPECT_EQ(dir.read("ro/a.txt"), kSjisText);
}

// No descriptor left for the output (a shell's ulimit -n): each file is
// reported, and the run goes on to the next.
TEST(DriverFailures, FullDescriptorTable) {
  SKIP_ON_WINDOWS("a shell's ulimit -n is POSIX's");
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kEucText);
  const RunResult r = test::run_shell("ulimit -n 4 && exec \"$KOTRAN\" -j a.txt b.txt", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), m4("a.txt", "Shift-JIS -> JIS") + m6("a.jis") + report("a.jis", "Too many open files") +
                                     m4("b.txt", "EUC -> JIS") + m6("b.jis") + report("b.jis", "Too many open files"));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt"}));
}

// Every way a file can end closes what it opened for it: with one
// descriptor to spare (a shell's ulimit -n), eight files that each end the
// same way leave the file after them what it needs to convert.
TEST(DriverFailures, EveryWayAFileEndsGivesBackItsDescriptors) {
  SKIP_ON_WINDOWS("a shell's ulimit -n is POSIX's");
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
  struct Case {
    const char* label;
    const char* options;
    std::string bytes;      // each of the eight files
    const char* beside;     // made beside each file NAME.txt: "folder" NAME.euc, "backup" NAME.txt.bak
    std::string good;       // the file after them, good.txt
    const char* good_out;   // its output
    std::string converted;  // the output's bytes
  };
  const Case cases[] = {
      {"OutputIsAFolder", "-e", kSjisText, "folder", kSjisText, "good.euc", kEucText},
      {"NotExact", "--strict -es", hex("A4 A2 A4"), "", kEucText, "good.sjs", kSjisText},
      {"TextAfterTheEnd", "--strict -es", kEucText + hex("1A 61 62"), "", kEucText, "good.sjs", kSjisText},
      {"BackupHoldsOtherBytes", "--in-place=.bak -e", kSjisText, "backup", kSjisText, "good.txt", kEucText},
      {"Binary", "-e", hex("00 01 02 03"), "", kSjisText, "good.euc", kEucText},
      {"NeedsNoConversion", "-e", kEucText, "", kSjisText, "good.euc", kEucText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    std::string files;
    for (int i = 1; i <= 8; ++i) {
      const std::string name = "f" + std::to_string(i);
      dir.write(name + ".txt", c.bytes);
      if (std::string(c.beside) == "folder") {
        ASSERT_EQ(mkdir(dir.file(name + ".euc").c_str(), 0755), 0);
      } else if (std::string(c.beside) == "backup") {
        dir.write(name + ".txt.bak", "other\n");
      }
      files += name + ".txt ";
    }
    dir.write("good.txt", c.good);
    const RunResult r =
        test::run_shell(std::string("ulimit -n 6 && exec \"$KOTRAN\" ") + c.options + " " + files + "good.txt", dir.path());
    EXPECT_EQ(r.err.find(error_text(ERR_TOO_MANY_OPEN_FILES)), std::string::npos) << r.err;
    if (!dir.exists(c.good_out)) {
      ADD_FAILURE() << c.good_out << " was not made";
      continue;
    }
    EXPECT_EQ(to_hex(dir.read(c.good_out)), to_hex(c.converted));
  }
}

// Text ends at a stored 0x1A, as archives expect; anything but more 0x1A
// after it is reported (where the mark stands, how many bytes follow), so that
// no byte is dropped silently.
TEST(DriverFailures, BytesAfterTheEndOfTextMarkAreReported) {
  const std::string tail(1400000, 'x');
  struct Case {
    const char* label;
    std::string input;
    Words options;
    std::string note;  // the message after the output-file line, or nothing
    std::string output;
  };
  const Case cases[] = {
      {"MarkAtTheEnd", kSjisText + hex("1A"), {"-e"}, "", kEucText},
      {"OnlyMarksAfter", kSjisText + hex("1A 1A 1A"), {"-e"}, "", kEucText},
      {"TextAfter", kSjisText + hex("1A 61 62"), {"-e"}, text_ended(48, 2), kEucText},
      {"MarksThenText", kSjisText + hex("1A 1A 61"), {"-e"}, text_ended(48, 2), kEucText},
      {"StrayMarkEarly", hex("8A BF 8E 9A 0D 0A 82 A0 1A") + tail, {"-e"}, text_ended(8, 1400000),
       hex("B4 C1 BB FA 0D 0A A4 A2")},
      {"ToStandardOutput", kSjisText + hex("1A 61 62"), {"-c", "-e"}, text_ended(48, 2), kEucText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.write("a.txt", c.input);
    Words args = c.options;
    args.push_back("a.txt");
    const RunResult r = run_kotran(args, dir.path());
    EXPECT_EQ(r.status, 0);
    const bool console = c.options[0] == "-c";
    EXPECT_EQ(to_hex(after_banner(r.err)),
              to_hex((console ? "" : m4("a.txt", "Shift-JIS -> EUC") + m6("a.euc")) + c.note));
    EXPECT_EQ(to_hex(console ? r.out : dir.read("a.euc")), to_hex(c.output));
  }
}

// ---------------------------------------------------------------------------
// Output files: atomic, with the creation mask applied.

class DriverOutputMode : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = umask(022); }
  void TearDown() override { umask(saved_); }
  mode_t saved_ = 0;
};

TEST_F(DriverOutputMode, NewOutputGets0644LessTheMask) {
  SKIP_ON_WINDOWS("Windows keeps no mode bits: an output takes its input's ACL (windows_kotran_test)");
  struct Case {
    mode_t mask;
    mode_t expected;
  };
  for (const Case& c : {Case{022, 0644}, Case{027, 0640}, Case{077, 0600}}) {
    umask(c.mask);
    TempDir dir;
    dir.write("a.txt", kSjisText);
    const RunResult r = run_kotran({"-e", "a.txt"}, dir.path());
    EXPECT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.file("a.euc").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expected) << "umask " << std::oct << c.mask;
    EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt"}));
  }
}

std::string file_name(int i, const char* extension) {
  std::string name = "f";
  name += std::to_string(i);
  name += extension;
  return name;
}

TEST(DriverOutputFiles, NoTemporaryFileIsLeftAfterManyFiles) {
  TempDir dir;
  Words args{"-j"};
  for (int i = 0; i < 12; ++i) {
    const std::string name = file_name(i, ".txt");
    dir.write(name, i % 3 == 0 ? kSjisText : i % 3 == 1 ? kEucText : kAsciiText);
    args.push_back(name);
  }
  args.push_back("missing.txt");
  const RunResult r = run_kotran(args, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(has_temporary(dir));
  for (int i = 0; i < 12; ++i) {
    const std::string out = file_name(i, ".jis");
    EXPECT_EQ(dir.exists(out), i % 3 != 2) << out;
    if (i % 3 != 2 && dir.exists(out)) {
      EXPECT_EQ(dir.read(out), kJisText) << out;
    }
  }
}

TEST(DriverOutputFiles, LargeFileConvertsWhole) {
  TempDir dir;
  std::string sjis;
  std::string euc;
  // Enough lines to cross many 4096-byte blocks, CR LF pairs on the edges.
  for (int i = 0; i < 3000; ++i) {
    sjis += kSjisText;
    euc += kEucText;
  }
  dir.write("big.txt", sjis);
  const RunResult r = run_kotran({"-e", "big.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  const std::string got = dir.read("big.euc");
  EXPECT_EQ(got.size(), euc.size());
  EXPECT_TRUE(got == euc);
}

}  // namespace
}  // namespace kotran
