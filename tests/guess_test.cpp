// -g: each file's recognised code on standard output, nothing converted; and
// two runs converting in one directory at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

#include <vector>

namespace kotran {
namespace {

using test::hex;
using test::readable;
using test::run_kotran;
using test::TempDir;

// "日本語" in each code.
const std::string SJIS = hex("93 FA 96 7B 8C EA 0D 0A");
const std::string EUC = hex("C6 FC CB DC B8 EC 0D 0A");
const std::string JIS = hex("1B 24 42 46 7C 4B 5C 38 6C 1B 28 42 0D 0A");
const std::string UTF8 = hex("E6 97 A5 E6 9C AC E8 AA 9E 0A");
// Korean messages in EUC-KR (파일을 열 수 없습니다 / 디렉터리가 아닙니다 /
// 메모리가 부족합니다): every pair is valid EUC.
const std::string KOREAN = hex(
    "C6 C4 C0 CF C0 BB 20 BF AD 20 BC F6 20 BE F8 BD C0 B4 CF B4 D9 0A B5 F0 B7 BA C5 CD B8 AE B0 A1 20 BE C6 B4 D5 B4 "
    "CF B4 D9 0A B8 DE B8 F0 B8 AE B0 A1 20 BA CE C1 B7 C7 D5 B4 CF B4 D9 0A");

TEST(Guess, ReportsEachFileAndConvertsNothing) {
  TempDir dir;
  dir.write("s.txt", SJIS);
  dir.write("e.txt", EUC);
  dir.write("j.txt", JIS);
  dir.write("u.txt", UTF8);
  dir.write("a.txt", "plain\r\n");
  dir.write("empty.txt", "");
  dir.write("w.txt", hex("FF FE E5 65 2C 67 9E 8A"));                     // UTF-16LE
  dir.write("k.txt", hex("61 20 1B 28 49 3C 5E 2C 30 1B 28 42 0A"));       // half-width katakana in JIS
  dir.write("x.txt", hex("82 A0 FF"));                                     // no code's text
  dir.write("p.txt", hex("B4 C1 0A"));                                     // EUC 漢, or Shift-JIS ｴﾁ
  dir.write("png.dat", hex("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52"));  // a PNG's start
  dir.write("n.txt", hex("82 A0 0D 0A 1A 00 00"));                        // NULs after the end mark
  dir.write("z.txt", hex("1A 01 00 00"));                                  // and after one at the start
  dir.write("ko.txt", KOREAN);
  const auto before = dir.names();
  auto r = run_kotran({"-g", "s.txt", "e.txt", "j.txt", "u.txt", "a.txt", "empty.txt", "w.txt", "k.txt", "x.txt", "p.txt",
                       "png.dat", "n.txt", "z.txt", "ko.txt"},
                      dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "s.txt: Shift-JIS (certain)\n"
            "e.txt: EUC (certain)\n"
            "j.txt: JIS (certain)\n"
            "u.txt: UTF-8 (certain)\n"
            "a.txt: ASCII (certain)\n"
            "empty.txt: ASCII (certain)\n"
            "w.txt: UTF-16 (certain)\n"
            "k.txt: JIS (certain)\n"
            "x.txt: Shift-JIS (not valid text)\n"
            "p.txt: EUC (guess)\n"
            "png.dat: not Japanese (binary)\n"
            "n.txt: not Japanese (binary)\n"
            "z.txt: not Japanese (binary)\n"
            "ko.txt: not Japanese (EUC-KR?)\n");
  EXPECT_EQ(dir.names(), before) << "nothing is written";
}

// A file that is not Japanese is skipped with a message saying what it
// seems to be, and counted in the summary; a skip is no failure (status 0).
// A named source still converts it: the user said what it is.
TEST(NotJapanese, SkippedUnlessTheSourceIsNamed) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("t").c_str(), 0755), 0);
  dir.write("t/ko.txt", KOREAN);
  dir.write("t/e.txt", EUC);
  dir.write("t/bin.png", hex("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52"));
  dir.write("ko.txt", KOREAN);
  dir.write("elf", hex("7F 45 4C 46 02 01 01 00"));
  auto r = run_kotran({"-u", "-r", "--in-place", "t", "ko.txt", "elf"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("t/ko.txt"), KOREAN);
  EXPECT_EQ(dir.read("ko.txt"), KOREAN);
  EXPECT_EQ(test::to_hex(dir.read("t/e.txt")), test::to_hex(UTF8.substr(0, 9) + "\r\n"));
  const std::string messages = readable(r.err);
  EXPECT_NE(messages.find("t/ko.txt: 日本語のテキストではないようです (EUC-KR?). 変換しません."), std::string::npos)
      << messages;
  EXPECT_NE(messages.find("elf: NUL バイトか, バイナリ形式"), std::string::npos) << messages;
  EXPECT_NE(messages.find("t/bin.png: NUL バイトか, バイナリ形式"), std::string::npos) << messages;
  EXPECT_NE(messages.find("合計: 変換 1, スキップ 4 (うち日本語でないもの 2), 置き換えた文字 0, 失敗 0."),
            std::string::npos)
      << messages;
  // Named as EUC, it is converted as EUC.
  r = run_kotran({"-c", "-eu", "ko.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::to_hex(r.out),
            "E7 9D A3 E6 9E 90 E8 81 96 20 E4 BC B8 20 E5 91 AA 20 E8 92 B8 E6 9F 94 E8 89 A6 E9 99 A5 0D 0A "
            "E5 B7 A8 E5 88 91 E6 96 97 E8 BB 92 E4 BA 9C 20 E7 84 BC E9 91 91 E8 89 A6 E9 99 A5 0D 0A "
            "E4 BA 94 E4 B9 9E E8 BB 92 E4 BA 9C 20 E6 8E A1 E8 86 B3 E6 9D AF E8 89 A6 E9 99 A5 0D 0A");
}

// A 20 GiB sparse file holds nothing but NULs: recognition stops at its
// first block, and so -g and a conversion end at once without reading it.
TEST(NotJapanese, SparseFileIsNotReadToItsEnd) {
  TempDir dir;
  SKIP_ON_WINDOWS("a sparse file made and timed by a POSIX shell");
  auto r = test::run_shell(
      "truncate -s 20G big.dat && timeout 20 $KOTRAN -g big.dat && timeout 20 $KOTRAN -u big.dat; echo status $?",
      dir.path());
  EXPECT_EQ(r.out, "big.dat: not Japanese (binary)\nstatus 0\n") << r.err;
  EXPECT_NE(readable(r.err).find("big.dat: NUL バイトか"), std::string::npos) << readable(r.err);
  EXPECT_FALSE(dir.exists("big.utf8"));
}

// UTF-16 is recognised by its mark and read as stored: the bytes 0D 0A and
// 1A inside characters (U+0A0D, U+001A) are no line end and no end of text.
TEST(Guess, Utf16IsRecognisedAndReadAsStored) {
  TempDir dir;
  dir.write("w.txt", hex("FF FE E5 65 2C 67 9E 8A 0D 00 0A 00"));  // 日本語 CR LF, little-endian
  dir.write("b.txt", hex("FE FF 65 E5 00 0D 00 0A"));              // 日 CR LF, big-endian
  dir.write("x.txt", hex("FF FE 0D 0A 1A 00 61 00"));              // U+0A0D U+001A a
  auto r = run_kotran({"-e", "w.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::to_hex(dir.read("w.euc")), "C6 FC CB DC B8 EC 0D 0A");
  EXPECT_EQ(test::to_hex(dir.read("b.euc")), "C6 FC 0D 0A");
  r = run_kotran({"-c", "-u", "x.txt"}, dir.path());
  EXPECT_EQ(test::to_hex(r.out), "E0 A8 8D 1A 61");
  if (test::shell_here()) {
    r = test::run_shell("cat w.txt | $KOTRAN -c -u -l /dev/stdin", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n");
  }
  // -w writes UTF-16LE with its mark; its own line ends, CR LF or with -l LF.
  dir.write("e.txt", EUC);
  r = run_kotran({"-c", "-w", "e.txt"}, dir.path());
  EXPECT_EQ(test::to_hex(r.out), "FF FE E5 65 2C 67 9E 8A 0D 00 0A 00");
  r = run_kotran({"-c", "-w", "-l", "e.txt"}, dir.path());
  EXPECT_EQ(test::to_hex(r.out), "FF FE E5 65 2C 67 9E 8A 0A 00");
  ASSERT_EQ(run_kotran({"-w", "e.txt"}, dir.path()).status, 0);
  EXPECT_EQ(test::to_hex(dir.read("e.utf16")), "FF FE E5 65 2C 67 9E 8A 0D 00 0A 00");
  r = run_kotran({"-g", "e.utf16"}, dir.path());
  EXPECT_EQ(r.out, "e.utf16: UTF-16 (certain)\n");
}

// UTF-16 without a mark is known by where its NULs stand and by what its
// characters read as in each order (without a NUL, where no other code is
// valid); it is converted in that order, by name and through a pipe, and -w
// writes it again with its mark.
TEST(Guess, Utf16WithoutAMarkIsRecognisedAndConverted) {
  // 変換できない文字があります: a.txt CR LF
  const std::string little = hex(
      "09 59 DB 63 67 30 4D 30 6A 30 44 30 87 65 57 5B 4C 30 42 30 8A 30 7E 30 59 30 3A 00 20 00 61 00 2E 00 74 00 78 00 74 00 0D 00 0A 00");
  const std::string big = hex(
      "59 09 63 DB 30 67 30 4D 30 6A 30 44 65 87 5B 57 30 4C 30 42 30 8A 30 7E 30 59 00 3A 00 20 00 61 00 2E 00 74 00 78 00 74 00 0D 00 0A");
  const char* euc = "CA D1 B4 B9 A4 C7 A4 AD A4 CA A4 A4 CA B8 BB FA A4 AC A4 A2 A4 EA A4 DE A4 B9 3A 20 61 2E 74 78 74 0D 0A";
  // 変換できない文字がありますので注意: kana and kanji alone, no NUL
  const std::string bare_little =
      hex("09 59 DB 63 67 30 4D 30 6A 30 44 30 87 65 57 5B 4C 30 42 30 8A 30 7E 30 59 30 6E 30 67 30 E8 6C 0F 61");
  const std::string bare_big =
      hex("59 09 63 DB 30 67 30 4D 30 6A 30 44 65 87 5B 57 30 4C 30 42 30 8A 30 7E 30 59 30 6E 30 67 6C E8 61 0F");
  const char* bare_euc = "CA D1 B4 B9 A4 C7 A4 AD A4 CA A4 A4 CA B8 BB FA A4 AC A4 A2 A4 EA A4 DE A4 B9 A4 CE A4 C7 C3 ED B0 D5";
  struct Row {
    const char* name;
    std::string bytes;
    const char* guessed;
    const char* euc;
    std::string as_little;  // what -w writes after its mark
  } rows[] = {
      {"le.txt", little, "le.txt: UTF-16LE (certain)\n", euc, little},
      {"be.txt", big, "be.txt: UTF-16BE (certain)\n", euc, little},
      {"bare-le.txt", bare_little, "bare-le.txt: UTF-16LE (likely)\n", bare_euc, bare_little},
      {"bare-be.txt", bare_big, "bare-be.txt: UTF-16BE (likely)\n", bare_euc, bare_little},
  };
  for (const Row& row : rows) {
    TempDir dir;
    dir.write(row.name, row.bytes);
    auto r = run_kotran({"-g", row.name}, dir.path());
    EXPECT_EQ(r.out, row.guessed) << row.name;
    r = run_kotran({"-c", "-e", row.name}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::to_hex(r.out), row.euc) << row.name;
    if (test::shell_here()) {
      r = test::run_shell(std::string("cat ") + row.name + " | $KOTRAN -e -", dir.path());
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(test::to_hex(r.out), row.euc) << row.name;
    }
    r = run_kotran({"-c", "-w", row.name}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::to_hex(r.out), "FF FE " + test::to_hex(row.as_little)) << row.name;
  }
}

TEST(Guess, ErrorsAsForConversions) {
  TempDir dir;
  dir.write("s.txt", SJIS);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  auto r = run_kotran({"-g", "missing.txt", "sub", "s.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "s.txt: Shift-JIS (certain)\n");
  EXPECT_NE(r.err.find("missing.txt: No such file or directory\r\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("sub: Is a directory\r\n"), std::string::npos) << r.err;
}

TEST(Guess, OtherOptionsDoNotMatterAndHelpListsIt) {
  TempDir dir;
  dir.write("e.txt", EUC);
  auto r = run_kotran({"-e", "-G", "-c", "e.txt"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "e.txt: EUC (certain)\n");
  r = run_kotran({"--help"});
  EXPECT_NE(r.out.find("-g :"), std::string::npos);
}

TEST(Parallel, TwoRunsInOneDirectoryDoNotDisturbEachOther) {
  TempDir dir;
  // Each run converts its own twenty files; both write their temporary
  // files into the same directory at the same time.
  std::string text;
  for (int i = 0; i < 4000; ++i) text += SJIS;
  std::vector<std::string> first{"-e"}, second{"-e"};
  auto name = [](char run, int i, const char* extension) {
    std::string n(1, run);
    n += std::to_string(i);
    n += extension;
    return n;
  };
  for (int i = 0; i < 20; ++i) {
    const std::string a = name('a', i, ".txt"), b = name('b', i, ".txt");
    dir.write(a, text);
    dir.write(b, text + SJIS);
    first.push_back(a);
    second.push_back(b);
  }
  test::RunResult ra, rb;
  std::thread ta([&] { ra = run_kotran(first, dir.path()); });
  std::thread tb([&] { rb = run_kotran(second, dir.path()); });
  ta.join();
  tb.join();
  EXPECT_EQ(ra.status, 0) << ra.err;
  EXPECT_EQ(rb.status, 0) << rb.err;
  std::string euc_a, euc_b;
  for (int i = 0; i < 4000; ++i) euc_a += EUC;
  euc_b = euc_a + EUC;
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(dir.read(name('a', i, ".euc")) == euc_a) << i;
    EXPECT_TRUE(dir.read(name('b', i, ".euc")) == euc_b) << i;
  }
  for (const auto& name : dir.names()) EXPECT_NE(name.rfind(".kotran-", 0), 0u) << "temporary file left: " << name;
}

}  // namespace
}  // namespace kotran
