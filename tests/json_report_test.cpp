// --json: each file's outcome as one JSON line on standard output, then the
// summary; names that are not UTF-8 as base64 bytes; the same lines whatever
// the locale and however many processes convert.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::kEucText;
using test::kSjisText;
using test::kUtf8Text;
using test::run_kotran;
using test::run_shell;
using test::TempDir;
using test::to_hex;
using Words = std::vector<std::string>;

// Korean in EUC-KR: every pair is valid EUC, and it is no Japanese.
const std::string kKorean = hex(
    "C6 C4 C0 CF C0 BB 20 BF AD 20 BC F6 20 BE F8 BD C0 B4 CF B4 D9 0A B5 F0 B7 BA C5 CD B8 AE B0 A1 20 BE C6 B4 D5 B4 "
    "CF B4 D9 0A B8 DE B8 F0 B8 AE B0 A1 20 BA CE C1 B7 C7 D5 B4 CF B4 D9 0A");
// "日本語の文章です。" in UTF-8.
const std::string kUtf8Line = hex("E6 97 A5 E6 9C AC E8 AA 9E E3 81 AE E6 96 87 E7 AB A0 E3 81 A7 E3 81 99 E3 80 82 0A");

// The banner, all that standard error holds under --json when nothing is
// wrong with the run itself.
const std::string kBanner = "Yomikae Ver.3.2\r\n" + hex("8A BF 8E 9A 83 52 81 5B 83 68 95 CF 8A B7") + " kotran: " +
                            hex("83 56 83 74 83 67") + "JIS, JIS, EUC\r\n\r\n";

struct FileRow {
  std::string name;
  std::string bytes;
  std::string line;  // the JSON line expected for the file, without its LF
};

std::string joined(const std::vector<FileRow>& rows, const std::string& summary) {
  std::string out;
  for (const FileRow& row : rows) out += row.line + "\n";
  return out + summary + "\n";
}

Words with_files(Words args, const std::vector<FileRow>& rows) {
  for (const FileRow& row : rows) args.push_back(row.name);
  return args;
}

// -g over a mixed set: the code and how sure, what a foreign text seems to
// be, where the first invalid byte of a text stands, and a missing file.
TEST(JsonReport, GuessOverAMixedSet) {
  const std::vector<FileRow> rows = {
      {"s.txt", kSjisText, R"({"type":"guess","file":"s.txt","code":"Shift-JIS","certainty":"certain"})"},
      {"e.txt", kEucText, R"({"type":"guess","file":"e.txt","code":"EUC","certainty":"certain"})"},
      {"u.txt", kUtf8Line, R"({"type":"guess","file":"u.txt","code":"UTF-8","certainty":"certain"})"},
      {"a.txt", "plain\r\n", R"({"type":"guess","file":"a.txt","code":"ASCII","certainty":"certain"})"},
      {"w.txt", hex("61 00 62 00 63 00 0A 00 64 00 65 00 66 00 0A 00"),
       R"({"type":"guess","file":"w.txt","code":"UTF-16LE","certainty":"certain"})"},
      {"ko.txt", kKorean, R"({"type":"guess","file":"ko.txt","code":"not Japanese","seems":"EUC-KR"})"},
      {"bin.png", hex("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52"),
       R"({"type":"guess","file":"bin.png","code":"not Japanese","seems":"binary"})"},
      // Shift-JIS with a byte of no code on its second line, fourth character.
      {"x.txt", hex("82 A0 0D 0A 61 82 A2 62 FF 63 0D 0A"),
       R"({"type":"guess","file":"x.txt","code":"Shift-JIS","certainty":"not_valid","first_invalid":{"offset":8,"line":2,"column":4}})"},
      {"gone.txt", "",
       R"({"type":"failed","file":"gone.txt","cause":"system","errno":"ENOENT","message":"No such file or directory"})"},
  };
  TempDir dir;
  for (const FileRow& row : rows)
    if (row.name != "gone.txt") dir.write(row.name, row.bytes);
  const auto before = dir.names();
  const auto r = run_kotran(with_files({"-g", "--json"}, rows), dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, joined(rows, R"({"type":"summary","files":9,"guessed":8,"failed":1,"status":1})"));
  EXPECT_EQ(to_hex(r.err), to_hex(kBanner));
  EXPECT_EQ(dir.names(), before) << "nothing is written";
}

// Conversions: converted (with replaced characters and the first place),
// skipped with the reason, failed with the cause, one line a file, in the
// order of the files, then the summary.
TEST(JsonReport, ConversionsSkipsAndFailures) {
  struct Case {
    const char* what;
    Words options;
    std::vector<FileRow> files;
    std::string summary;
    int status;
  };
  const std::string euc_out = R"("source":"Shift-JIS","target":"EUC","output":)";
  const Case cases[] = {
      {"converted, replaced, skipped, failed",
       {"-e", "--json"},
       {{"a.txt", kSjisText, R"({"type":"converted","file":"a.txt",)" + euc_out + R"("a.euc","replaced":0})"},
        // U+1F600 has no place in EUC: replaced on line 2, column 2.
        {"r.txt", kUtf8Line + "a" + hex("F0 9F 98 80") + "b\n",
         R"({"type":"converted","file":"r.txt","source":"UTF-8","target":"EUC","output":"r.euc","replaced":1,)"
         R"("first_replaced":{"line":2,"column":2}})"},
        {"plain.txt", "abc\r\n",
         R"({"type":"skipped","file":"plain.txt","reason":"ascii","message":"This is an ASCII file!"})"},
        {"e.txt", kEucText,
         R"({"type":"skipped","file":"e.txt","reason":"no_conversion_needed","message":"This needs no conversion!"})"},
        {"ko.txt", kKorean,
         R"({"type":"skipped","file":"ko.txt","reason":"not_japanese","seems":"EUC-KR",)"
         R"("message":"this does not seem to be Japanese text (EUC-KR?). Not converted."})"},
        {"d.txt", kSjisText,  // d.euc is a folder
         R"({"type":"failed","file":"d.txt","cause":"output_not_regular","output":"d.euc","what":"directory",)"
         R"("message":"the output file d.euc is not a regular file (directory). Not converted."})"},
        {"gone.txt", "",
         R"({"type":"failed","file":"gone.txt","cause":"system","errno":"ENOENT","message":"No such file or directory"})"}},
       R"({"type":"summary","files":7,"converted":2,"skipped":3,"not_japanese":1,"replaced":1,"failed":2,"status":1})",
       1},
      {"strict refusal and text after the end mark",
       {"-e", "--strict", "--json"},
       {{"bad.txt", hex("82 A0 0D 0A 82 A2 FF 0D 0A"),
         R"({"type":"failed","file":"bad.txt","cause":"not_exact","first_problem":{"line":2,"column":2},)"
         R"("message":"the character at line 2, column 2 cannot be converted exactly. Not converted."})"},
        {"end.txt", hex("82 A0 0D 0A 1A 41 42"),
         R"({"type":"failed","file":"end.txt","cause":"text_after_end","end_offset":4,"bytes_after":2,)"
         R"("message":"the text ends at the 0x1A at offset 4, and 2 bytes follow it. Not converted."})"}},
       R"({"type":"summary","files":2,"converted":0,"skipped":0,"not_japanese":0,"replaced":0,"failed":2,"status":1})",
       1},
      {"widened, in place with the original kept, and the text after an end mark",
       {"-s", "-f", "--in-place=.orig", "--json"},
       {{"k.txt", hex("8A BF 8E 9A B6 DE B7 DE B1 0D 0A 1A 41"),
         R"({"type":"converted","file":"k.txt","source":"Shift-JIS","target":"Shift-JIS","output":"k.txt",)"
         R"("widened":true,"backup":"k.txt.orig","replaced":0,"end_offset":11,"bytes_after":1})"}},
       R"({"type":"summary","files":1,"converted":1,"skipped":0,"not_japanese":0,"replaced":0,"failed":0,"status":0})",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("d.euc").c_str(), 0755), 0);
    for (const FileRow& row : c.files)
      if (row.name != "gone.txt") dir.write(row.name, row.bytes);
    const auto r = run_kotran(with_files(c.options, c.files), dir.path());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, joined(c.files, c.summary));
    EXPECT_EQ(to_hex(r.err), to_hex(kBanner));
  }
}

// A tree (-r): what a walk skips has a reason of its own, a FIFO with what
// it is; an output folder with a file where a folder must go fails.
TEST(JsonReport, TreeSkipsAndFailures) {
  SKIP_ON_WINDOWS("a tree made by a POSIX shell, with a FIFO and a symbolic link (the reparse points another user "
                  "plants are windows_kotran_test's)");
  TempDir dir;
  const auto r = run_shell(
      "mkdir -p t/sub && printf '\\223\\372\\226\\173\\r\\n' > t/a.txt && cp t/a.txt t/sub/b.txt && "
      "ln -s a.txt t/link && mkfifo t/fifo && printf '\\202\\240\\377' > t/x.txt && "
      "mkdir -p out/t && : > out/t/sub && "
      "exec \"$KOTRAN\" -u -r --out-dir=out --json t",
      dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            R"({"type":"converted","file":"t/a.txt","source":"Shift-JIS","target":"UTF-8","output":"out/t/a.utf8","replaced":0})"
            "\n"
            R"({"type":"skipped","file":"t/fifo","reason":"not_regular_file","what":"FIFO","message":"not a regular file (FIFO). Not converted."})"
            "\n"
            R"({"type":"skipped","file":"t/link","reason":"symbolic_link","message":"symbolic links are not followed."})"
            "\n"
            R"({"type":"failed","file":"t/sub/b.txt","cause":"output_folder_not_folder","folder":"out/t/sub","what":"regular file",)"
            R"("message":"the output folder out/t/sub is not a folder (regular file). Not converted."})"
            "\n"
            R"({"type":"skipped","file":"t/x.txt","reason":"not_text","message":"valid in no kanji code: not text. Not converted."})"
            "\n"
            R"({"type":"summary","files":5,"converted":1,"skipped":3,"not_japanese":0,"replaced":0,"failed":1,"status":1})"
            "\n");
  EXPECT_EQ(to_hex(r.err), to_hex(kBanner));
}

// Names as they are on disk: one that is not UTF-8 (a Shift-JIS name, and
// one with a byte 0x80 and a line feed) comes as base64 bytes, one with a
// quote, a backslash or a control byte as JSON escapes it; a JSON parser
// gives each back byte for byte, and each names its file.
TEST(JsonReport, NamesRoundTrip) {
  struct NameRow {
    std::string name;
    std::string json;  // the name in the file's JSON line
    bool windows;      // a name Windows holds: Unicode, with no control character, quote or backslash
  };
  const NameRow rows[] = {
      {hex("93 FA 96 7B 2E 74 78 74"), R"({"bytes":"k/qWey50eHQ="})", false},  // 日本.txt in Shift-JIS
      {"n\nl" + hex("80") + ".txt", R"({"bytes":"bgpsgC50eHQ="})", false},
      {"q\"\\\t.txt", R"("q\"\\\t.txt")", false},
      {"line\nfeed.txt", R"("line\nfeed.txt")", false},
      {"esc" + hex("1B 7F") + ".txt", "\"esc\\u001b\x7f.txt\"", false},
      {hex("E6 97 A5 E6 9C AC") + ".txt", "\"" + hex("E6 97 A5 E6 9C AC") + ".txt\"", true},  // 日本.txt in UTF-8
      {hex("ED 95 9C") + ".txt", "\"" + hex("ED 95 9C") + ".txt\"", true},  // 한.txt: no Shift-JIS holds it
  };
  for (const NameRow& row : rows) {
#if defined(_WIN32)
    if (!row.windows) continue;
#endif
    SCOPED_TRACE(to_hex(row.name));
    TempDir dir;
    dir.write(row.name, kSjisText);
    const auto r = run_kotran({"-e", "--json", row.name}, dir.path());
    EXPECT_EQ(r.status, 0);
    const size_t at = r.out.find("\"file\":");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at + 7, row.json.size()), row.json) << r.out;
    // Each output name is given as its file name is.
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
  }
  SKIP_ON_WINDOWS("names of any bytes, read back through a POSIX shell's pipeline into Python");
  // Python's own JSON parser reads every line, and each name it gives back
  // (decoded from base64 where it is bytes) is a file that exists, the
  // output too.
  TempDir dir;
  for (const NameRow& row : rows) dir.write(row.name, kSjisText);
  const auto r = run_shell(
      "\"$KOTRAN\" -e --json * | python3 -c '"
      "import sys, json, base64, os\n"
      "def name(v): return base64.b64decode(v[\"bytes\"]) if isinstance(v, dict) else v.encode()\n"
      "for line in sys.stdin:\n"
      "    o = json.loads(line)\n"
      "    if o[\"type\"] == \"summary\": print(\"summary\", o[\"converted\"]); continue\n"
      "    print(o[\"type\"], os.path.isfile(name(o[\"file\"])), os.path.isfile(name(o[\"output\"])))\n"
      "'",
      dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  std::string expected;
  for (size_t i = 0; i < std::size(rows); ++i) expected += "converted True True\n";
  EXPECT_EQ(r.out, expected + "summary " + std::to_string(std::size(rows)) + "\n");
}

// The JSON is the same under every locale (its messages are English and
// its strings UTF-8), where the text form changes language.
TEST(JsonReport, SameUnderEveryLocale) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", "abc\r\n");
  const Words environments[] = {{}, {"LANG=C"}, {"LANG=en_US.UTF-8"}, {"LANG=ja_JP.UTF-8"}, {"LANGUAGE=en:ja"},
                                {"LC_ALL=en_GB.UTF-8"}};
  std::string first;
  for (const Words& environment : environments) {
    SCOPED_TRACE(environment.empty() ? "none" : environment[0]);
    const auto r = run_kotran({"-e", "--json", "a.txt", "b.txt", "c.txt"}, dir.path(), environment);
    EXPECT_EQ(r.status, 1);
    if (first.empty()) first = r.out;
    EXPECT_EQ(r.out, first);
    unlink(dir.file("a.euc").c_str());
  }
  EXPECT_EQ(first,
            R"({"type":"converted","file":"a.txt","source":"Shift-JIS","target":"EUC","output":"a.euc","replaced":0})"
            "\n"
            R"({"type":"skipped","file":"b.txt","reason":"ascii","message":"This is an ASCII file!"})"
            "\n"
            R"({"type":"failed","file":"c.txt","cause":"system","errno":"ENOENT","message":"No such file or directory"})"
            "\n"
            R"({"type":"summary","files":3,"converted":1,"skipped":1,"not_japanese":0,"replaced":0,"failed":1,"status":1})"
            "\n");
}

// Worker processes send their events to the run's process, which writes
// the same lines in the same order as one process does.
TEST(JsonReport, JobsGiveTheSameLinesAsOneProcess) {
  TempDir one, two;
  Words files;
  for (const TempDir* dir : {&one, &two}) {
    files.clear();
    for (int i = 0; i < 40; ++i) {
      char name[24];  // room for any int, as the compiler checks
      std::snprintf(name, sizeof name, "f%02d.txt", i);
      files.push_back(name);
      const std::string bytes = i % 7 == 0   ? std::string("ascii\r\n")
                                : i % 5 == 0 ? kKorean
                                : i % 3 == 0 ? kEucText
                                             : kSjisText;
      dir->write(name, bytes);
    }
    dir->write("f13.TXT", kSjisText);  // the same output as f13.txt
    ASSERT_EQ(mkdir(dir->file("f11.utf8").c_str(), 0755), 0);
    files.push_back("f13.TXT");
    files.push_back("missing.txt");
  }
  Words args1 = {"-u", "--json"}, args2 = {"-u", "--json", "--jobs=2"};
  args1.insert(args1.end(), files.begin(), files.end());
  args2.insert(args2.end(), files.begin(), files.end());
  const auto r1 = run_kotran(args1, one.path());
  const auto r2 = run_kotran(args2, two.path());
  EXPECT_EQ(r1.status, 1);
  EXPECT_EQ(r2.status, r1.status);
  EXPECT_EQ(r2.out, r1.out);
  EXPECT_EQ(std::count(r1.out.begin(), r1.out.end(), '\n'), 43);
  EXPECT_NE(r1.out.find(R"({"type":"failed","file":"f11.txt","cause":"output_not_regular")"), std::string::npos)
      << r1.out;
  EXPECT_NE(r1.out.find(R"({"type":"failed","file":"f13.TXT","cause":"output_written_twice")"), std::string::npos)
      << r1.out;
  EXPECT_EQ(to_hex(r2.err), to_hex(kBanner));
}

// With standard error on a terminal, where the messages of --jobs come as
// each file is done, the JSON lines still keep the order of the files: the
// first file, arriving slowly through a FIFO, is done last.
TEST(JsonReport, JobsKeepTheOrderWithStandardErrorOnATerminal) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX terminal and FIFO (the console's messages are windows_kotran_test's)";
#else
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) GTEST_SKIP() << "no pseudo-terminal on this machine (posix_openpt failed)";
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  TempDir dir;
  dir.write("slow.src", kSjisText);
  std::string expected =
      R"({"type":"converted","file":"a.txt","source":"Shift-JIS","target":"UTF-8","output":"a.utf8","replaced":0})"
      "\n";
  std::string files = "a.txt";
  for (int i = 0; i < 6; ++i) {
    const std::string name = "f" + std::to_string(i);
    dir.write(name + ".txt", kEucText);
    files += " " + name + ".txt";
    expected += R"({"type":"converted","file":")" + name + R"(.txt","source":"EUC","target":"UTF-8","output":")" +
                name + R"(.utf8","replaced":0})" "\n";
  }
  expected +=
      R"({"type":"summary","files":7,"converted":7,"skipped":0,"not_japanese":0,"replaced":0,"failed":0,"status":0})"
      "\n";
  const auto r = run_shell("mkfifo a.txt; (sleep 1; cat slow.src > a.txt) & exec \"$KOTRAN\" -u --json --jobs=2 " +
                               files + " 2>" + terminal,
                           dir.path());
  close(master);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
#endif
}

// Standard output that cannot take the lines (closed by the shell, a full
// device): the loss is told on standard error with status 1; the outputs
// are written all the same.
TEST(JsonReport, StandardOutputThatCannotTakeTheLines) {
  const struct {
    const char* redirect;
    const char* reason;
  } rows[] = {
      {">&-", "Bad file descriptor"},
      {">/dev/full", "No space left on device"},
  };
  SKIP_ON_WINDOWS("a POSIX shell's redirections (started with no standard handles: windows_kotran_test)");
  for (const auto& row : rows) {
    for (const char* options : {"-e --json", "-g --json", "-e --json --jobs=2"}) {
      SCOPED_TRACE(std::string(options) + " " + row.redirect);
      TempDir dir;
      dir.write("a.txt", kSjisText);
      dir.write("b.txt", kSjisText);
      const auto r = run_shell(std::string("\"$KOTRAN\" ") + options + " a.txt b.txt " + row.redirect, dir.path());
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, kBanner + "standard output: " + row.reason + "\r\n");
      const bool converts = std::string(options)[1] == 'e';
      EXPECT_EQ(dir.exists("a.euc"), converts);
      EXPECT_EQ(dir.exists("b.euc"), converts);
    }
  }
}

// A reader that stops early (head): the lines outgrow what the pipe holds,
// the run ends by SIGPIPE as a filter does, and no temporary is left; every
// output that appeared is whole.
TEST(JsonReport, ReaderThatStopsEarly) {
  SKIP_ON_WINDOWS("a POSIX pipeline whose reader stops early, ending the writer by SIGPIPE");
  constexpr int kFiles = 3000;  // about 300 KB of lines: more than the pipe and the block hold
  TempDir dir;
  for (int i = 0; i < kFiles; ++i) dir.write("f" + std::to_string(i) + ".txt", kSjisText);
  const auto r = run_shell(
      "exec bash -c '\"$KOTRAN\" -u --json f*.txt 2>/dev/null | head -n 1; echo \"${PIPESTATUS[0]}\"'", dir.path());
  const size_t first = r.out.find('\n');
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.rfind(R"({"type":"converted","file":")", 0), 0u) << r.out;
  EXPECT_EQ(r.out.substr(first + 1), "141\n");  // 128 + SIGPIPE
  EXPECT_EQ(test::temporaries(dir.path()), Words{});
  int outputs = 0;
  for (const std::string& name : dir.names()) {
    if (name.size() < 5 || name.compare(name.size() - 5, 5, ".utf8") != 0) continue;
    ++outputs;
    EXPECT_EQ(to_hex(dir.read(name)), to_hex(kUtf8Text)) << name;
  }
  EXPECT_GT(outputs, 0);
  EXPECT_LT(outputs, kFiles);
}

// -g writes no text: standard input is recognised like any file, where a
// conversion's text would share standard output with the reports (refused:
// see Options.MeaninglessCombinationsAreRefused).
TEST(JsonReport, StandardInputIsRecognisedUnderGuess) {
  SKIP_ON_WINDOWS("text piped in by a POSIX shell");
  TempDir dir;
  const auto r = run_shell("printf '\\223\\372\\226\\173\\r\\n' | \"$KOTRAN\" -g --json -", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            R"({"type":"guess","file":"standard input","code":"Shift-JIS","certainty":"certain"})"
            "\n"
            R"({"type":"summary","files":1,"guessed":1,"failed":0,"status":0})"
            "\n");
  EXPECT_EQ(to_hex(r.err), to_hex(kBanner));
}

}  // namespace
}  // namespace kotran
