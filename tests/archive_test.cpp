// Converting an archive as a user does: standard input as a filter, whole
// trees (-r), outputs in another tree (--out-dir), in place, several files at
// once (--jobs), and what a run tells of itself (progress on a terminal, the
// summary). Each test runs the program as a process on real files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <pwd.h>
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::after_banner;
using test::hex;
using test::kEucText;
using test::kSjisText;
using test::kUtf8Text;
using test::read_file;
using test::readable;
using test::run_kotran;
using test::run_shell;
using test::summary_line;
using test::TempDir;
using test::temporaries;
using test::to_hex;
using Words = std::vector<std::string>;

const std::string kAscii = "plain ASCII\r\n";
const std::string CRLF = "\r\n";

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

// "f7.txt" for 7.
std::string numbered(int i) {
  std::string name = "f";
  name += std::to_string(i);
  name += ".txt";
  return name;
}

void make_dirs(const TempDir& dir, const Words& names) {
  for (const auto& n : names) ASSERT_EQ(mkdir(dir.file(n).c_str(), 0755), 0) << n;
}

// ---- the filter ----

// "-" reads standard input (a file, or a pipe that cannot seek) and writes
// standard output, with or without -c; text that needs no conversion goes
// through, so that a pipeline never loses it.
TEST(Filter, StandardInputToStandardOutput) {
  SKIP_ON_WINDOWS("a POSIX shell's pipes and redirections (standard input there: windows_kotran_test)");
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("e.txt", kEucText);
  dir.write("ascii.txt", kAscii);
  dir.write("u.txt", kUtf8Text);
  struct Case {
    const char* command;
    std::string out;
  };
  const Case cases[] = {
      {"$KOTRAN -u - < a.txt", kUtf8Text},
      {"cat a.txt | $KOTRAN -c -u -", kUtf8Text},
      {"cat e.txt | $KOTRAN -s -", kSjisText},
      {"cat ascii.txt | $KOTRAN -e -", kAscii},
      {"cat u.txt | $KOTRAN -u -", kUtf8Text},
      // A file word and the filter in one run: the file's output beside it.
      {"cat e.txt | $KOTRAN -u a.txt -", kUtf8Text},
      // Plain text first, many blocks of it, then Japanese: the same bytes
      // as from a file, whatever went out before recognition had seen all.
      {"cat ascii-then-euc.txt | $KOTRAN -u -", test::repeat(kAscii, 30000) + kUtf8Text},
      {"$KOTRAN -u - < ascii-then-euc.txt", test::repeat(kAscii, 30000) + kUtf8Text},
      {"cat lf-then-sjis.txt | $KOTRAN -e -", test::repeat("a\r\n", 70000) + kEucText},
      {"cat lf-then-sjis.txt | $KOTRAN -l -e -", test::repeat("a\n", 70000) + hex("C6 FC CB DC B8 EC A4 CE CA B8 BE CF A4 C7 A4 B9 A1 A3 0A 61 62 63 20 B4 C1 BB FA A4 C8 A5 AB A5 BF A5 AB A5 CA A1 A2 C9 BD BC A8 A1 A3 0A")},
  };
  dir.write("ascii-then-euc.txt", test::repeat(kAscii, 30000) + kEucText);
  dir.write("lf-then-sjis.txt", test::repeat("a\n", 70000) + kSjisText);
  for (const Case& c : cases) {
    const auto r = run_shell(c.command, dir.path());
    EXPECT_EQ(r.status, 0) << c.command << "\n" << readable(r.err);
    EXPECT_EQ(to_hex(r.out), to_hex(c.out)) << c.command;
  }
  EXPECT_EQ(read_file(dir.file("a.utf8")), kUtf8Text);
  // A pipe larger than what is kept in memory goes back to its start too.
  dir.write("big.txt", test::repeat(kSjisText, 20000));
  dir.write("big.ref", test::repeat(kUtf8Text, 20000));
  const auto again = run_shell("cat big.txt | $KOTRAN -u - | cmp - big.ref && echo same", dir.path());
  EXPECT_EQ(again.out, "same\n") << readable(again.err);
}

// A slow producer piped into kotran: the plain ASCII it writes first comes
// out at once, before the producer has ended, for every target that writes
// ASCII unchanged; what follows is recognised with the whole text and
// converted.
TEST(Filter, PlainStartOfASlowPipeGoesOutAsItComes) {
  SKIP_ON_WINDOWS("a slow pipeline of a POSIX shell");
  struct Case {
    const char* options;
    const char* rest;      // written after the pause, as printf's octal escapes
    std::string expected;  // what comes out
  };
  const Case cases[] = {
      {"-u", "second\\n", "first\r\nsecond\r\n"},
      {"-s", "second\\n", "first\r\nsecond\r\n"},
      {"-j", "second\\n", "first\r\nsecond\r\n"},
      {"-e -l", "second\\n", "first\nsecond\n"},
      {"-u", "\\244\\242\\244\\244\\n", "first\r\n" + hex("E3 81 82 E3 81 84 0D 0A")},  // EUC あい
      {"-c -e", "\\202\\240\\202\\242\\n", "first\r\n" + hex("A4 A2 A4 A4 0D 0A")},         // Shift-JIS あい
  };
  // The pipelines run at once, each in a folder of its own: every one
  // waits out the same pause.
  TempDir dirs[std::size(cases)];
  std::string script;
  for (size_t i = 0; i < std::size(cases); ++i) {
    // The consumer reads the first line and says whether the producer had
    // finished by then.
    script += "( cd '" + dirs[i].path() + "' && { printf 'first\\n'; sleep 2; touch done; printf '" + cases[i].rest +
              "'; } | $KOTRAN " + cases[i].options +
              " - 2>err | { IFS= read -r line; if [ -e done ]; then echo late; else echo early; fi; "
              "echo \"$line\"; cat; } >out ) &\n";
  }
  script += "wait\n";
  TempDir here;
  run_shell(script, here.path());
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].options);
    EXPECT_EQ(to_hex(read_file(dirs[i].file("out"))), to_hex("early\n" + cases[i].expected))
        << readable(read_file(dirs[i].file("err")));
  }
}

// ---- whole trees ----

// A tree with nested folders, links, a FIFO, a binary file and files that
// need nothing: every regular text file converted beside itself, links not
// followed, and every skip said.
TEST(Tree, EveryRegularTextFileUnderTheFolders) {
#if defined(_WIN32)
  GTEST_SKIP() << "a FIFO and the symbolic links a user makes are POSIX's (-r past reparse points: windows_kotran_test)";
#else
  TempDir dir;
  make_dirs(dir, {"t", "t/b", "t/b/c", "elsewhere"});
  dir.write("t/a.txt", kSjisText);
  dir.write("t/b/e.txt", kEucText);
  dir.write("t/b/c/deep.txt", kSjisText);
  dir.write("t/b/ascii.txt", kAscii);
  dir.write("t/b/u.txt", kUtf8Text);
  dir.write("t/b/bin.dat", hex("7F 45 4C 46 02 01 01 00 00 00 82 A0"));
  dir.write("t/b/noise.dat", hex("80 FF 80 FF 80 FF 80 FF 85 40 0A"));
  dir.write("elsewhere/x.txt", kSjisText);
  ASSERT_EQ(symlink("../elsewhere/x.txt", dir.file("t/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("../elsewhere", dir.file("t/b/up").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("t/b/c/fifo").c_str(), 0644), 0);
  const auto r = run_kotran({"-u", "-r", "t"}, dir.path());
  EXPECT_EQ(r.status, 0) << readable(r.err);
  EXPECT_EQ(read_file(dir.file("t/a.utf8")), kUtf8Text);
  EXPECT_EQ(read_file(dir.file("t/b/c/deep.utf8")), kUtf8Text);
  EXPECT_EQ(read_file(dir.file("t/b/e.utf8")), kUtf8Text);
  EXPECT_FALSE(dir.exists("elsewhere/x.utf8"));
  EXPECT_FALSE(dir.exists("t/b/bin.utf8"));
  EXPECT_FALSE(dir.exists("t/b/noise.utf8"));
  EXPECT_FALSE(dir.exists("t/b/ascii.utf8"));
  // In the order of the walk: each folder's entries by name, a folder's
  // files at its place.
  const std::string messages = readable(after_banner(r.err));
  const Words expected_order = {"t/a.txt: ", "t/b/ascii.txt: ", "t/b/bin.dat: NUL", "t/b/c/deep.txt: ",
                                "t/b/c/fifo: ", "t/b/e.txt: ", "t/b/noise.dat: ", "t/b/u.txt: ",
                                "t/b/up: ", "t/link.txt: "};
  size_t at = 0;
  for (const auto& m : expected_order) {
    const size_t found = messages.find(m, at);
    ASSERT_NE(found, std::string::npos) << m << " after " << at << " in\n" << messages;
    at = found;
  }
  EXPECT_NE(messages.find("t/b/c/fifo: 通常のファイルではありません (FIFO)"), std::string::npos) << messages;
  EXPECT_NE(messages.find("t/b/noise.dat: どの漢字コードとしても正しくなく"), std::string::npos) << messages;
  EXPECT_NE(messages.find("t/link.txt: シンボリックリンクはたどりません"), std::string::npos) << messages;
  EXPECT_NE(r.err.find(summary_line(3, 7, 0, 0)), std::string::npos) << messages;
#endif
}

// As another user meets them: a file of the tree that user may not read
// fails with its cause and the run goes on; a link that user planted where
// an output folder goes is refused, and nothing is written through it.
TEST(Tree, UnreadableFilesAndPlantedLinksAsAnotherUser) {
#if defined(_WIN32)
  GTEST_SKIP() << "runs as the user nobody (links planted on Windows: windows_kotran_test)";
#else
  if (test::permissions_apply() || !test::can_run_as_nobody())
    GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  make_dirs(dir, {"t", "t/sub", "out", "victim"});
  dir.write("t/a.txt", kSjisText);
  dir.write("t/secret.txt", kSjisText);
  dir.write("t/sub/b.txt", kEucText);
  ASSERT_EQ(chmod(dir.file("t/secret.txt").c_str(), 0600), 0);  // root's alone
  const struct passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  ASSERT_EQ(chown(dir.file("out").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(chmod(dir.file("victim").c_str(), 0777), 0);
  // Where t/sub's outputs would go, a link to a folder the converting user may write.
  ASSERT_EQ(mkdir(dir.file("out/t").c_str(), 0777), 0);
  ASSERT_EQ(chown(dir.file("out/t").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("out/t/sub").c_str()), 0);
  const auto r = test::run_kotran_as_nobody({"-u", "-r", "--out-dir=out", "t"}, dir.path());
  EXPECT_EQ(r.status, 1);
  const std::string messages = readable(after_banner(r.err));
  EXPECT_NE(messages.find("t/secret.txt: Permission denied\r\n"), std::string::npos) << messages;
  EXPECT_NE(messages.find("ERROR: t/sub/b.txt: 出力先のフォルダ out/t/sub はフォルダではありません (symbolic link)"),
            std::string::npos)
      << messages;
  EXPECT_EQ(read_file(dir.file("out/t/a.utf8")), kUtf8Text);
  EXPECT_FALSE(dir.exists("victim/b.utf8"));
  EXPECT_NE(r.err.find(summary_line(1, 0, 0, 2)), std::string::npos) << messages;
#endif
}

// ---- another tree ----

// Where a folder of the output tree goes, something else stands: the files
// that would go into it fail with what it is, the others are converted.
TEST(OutDir, SomethingElseWhereAnOutputFolderGoes) {
  const struct {
    const char* make;  // a POSIX shell's command that makes out/t/sub; null: an empty file
    const char* kind;
  } rows[] = {
      {nullptr, "regular file"},
      {"mkfifo out/t/sub", "FIFO"},
      {"ln -s /nowhere out/t/sub", "symbolic link"},
  };
  std::string not_run;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    if (row.make != nullptr && !test::shell_here()) {
      not_run += std::string(row.kind) + ": made by a POSIX shell\n";
      continue;
    }
    TempDir dir;
    make_dirs(dir, {"t", "t/sub", "out", "out/t"});
    dir.write("t/a.txt", kSjisText);
    dir.write("t/sub/b.txt", kEucText);
    if (row.make == nullptr) {
      dir.write("out/t/sub", "");
    } else {
      ASSERT_EQ(run_shell(row.make, dir.path()).status, 0);
    }
    const auto r = run_kotran({"-u", "-r", "--out-dir=out", "t"}, dir.path());
    EXPECT_EQ(r.status, 1);
    const std::string messages = readable(after_banner(r.err));
    EXPECT_NE(messages.find(std::string("ERROR: t/sub/b.txt: 出力先のフォルダ out/t/sub はフォルダではありません (") +
                            row.kind + "). 変換しません.\r\n"),
              std::string::npos)
        << messages;
    EXPECT_EQ(read_file(dir.file("out/t/a.utf8")), kUtf8Text);
    EXPECT_NE(r.err.find(summary_line(1, 0, 0, 1)), std::string::npos) << messages;
  }
  if (!not_run.empty() && !HasFailure()) GTEST_SKIP() << not_run;
}

// Outputs at the inputs' paths under the folder, which is made; the inputs
// untouched; an output folder inside the walked tree is not walked; a name
// that climbs out with ".." is refused.
TEST(OutDir, OutputsAtTheSamePathsUnderTheFolder) {
  TempDir dir;
  make_dirs(dir, {"arc", "arc/x", "arc/x/y"});
  dir.write("arc/a.txt", kSjisText);
  dir.write("arc/x/y/b.txt", kEucText);
  dir.write("c.txt", kSjisText);
  const auto before = dir.names();
  const auto r = run_kotran({"-u", "-r", "--out-dir=arc/converted", "arc", "c.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << readable(r.err);
  EXPECT_EQ(read_file(dir.file("arc/converted/arc/a.utf8")), kUtf8Text);
  EXPECT_EQ(read_file(dir.file("arc/converted/arc/x/y/b.utf8")), kUtf8Text);
  EXPECT_EQ(read_file(dir.file("arc/converted/c.utf8")), kUtf8Text);
  EXPECT_FALSE(dir.exists("arc/a.utf8"));
  EXPECT_EQ(read_file(dir.file("arc/a.txt")), kSjisText);
  // Again: the outputs of the first run are not taken as inputs.
  const auto again = run_kotran({"-u", "-r", "--out-dir=arc/converted", "arc"}, dir.path());
  EXPECT_EQ(again.status, 0) << readable(again.err);
  EXPECT_EQ(again.err.find("converted/arc/a.utf8:"), std::string::npos) << readable(again.err);
  // A name with "..": refused, nothing written outside.
  const auto out = run_kotran({"-u", "--out-dir=arc/converted", "arc/x/../a.txt"}, dir.path());
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(readable(out.err).find("ERROR: arc/x/../a.txt: 名前の .. で出力先のフォルダの外に出ます"), std::string::npos)
      << readable(out.err);
}

// ---- in place ----

// Each converted file is replaced under its own name, with its permission
// bits, owner and times; with a suffix the original is kept beside it;
// files that need nothing are not touched at all.
TEST(InPlace, ReplacesKeepingModeOwnerAndTimes) {
#if defined(_WIN32)
  GTEST_SKIP() << "mode bits, owners and a symbolic link at the backup's name are POSIX's "
                  "(attributes kept: windows_kotran_test)";
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kEucText);
  dir.write("ascii.txt", kAscii);
  dir.write("u.txt", kUtf8Text);
  ASSERT_EQ(chmod(dir.file("a.txt").c_str(), 0640), 0);
  ASSERT_EQ(chmod(dir.file("b.txt").c_str(), 0604), 0);
  const struct timespec old_times[2] = {{1000000000, 0}, {1200000000, 5}};
  for (const char* n : {"a.txt", "b.txt", "ascii.txt", "u.txt"})
    ASSERT_EQ(utimensat(AT_FDCWD, dir.file(n).c_str(), old_times, 0), 0);
  const struct passwd* nobody = getpwnam("nobody");
  const bool chown_works = !test::permissions_apply() && nobody != nullptr;
  if (chown_works) {
    ASSERT_EQ(chown(dir.file("a.txt").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  const struct stat ascii_before = stat_of(dir.file("ascii.txt"));
  const struct stat u_before = stat_of(dir.file("u.txt"));
  const struct stat b_before = stat_of(dir.file("b.txt"));

  auto r = run_kotran({"-u", "--in-place", "a.txt", "ascii.txt", "u.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << readable(r.err);
  EXPECT_EQ(read_file(dir.file("a.txt")), kUtf8Text);
  const struct stat a = stat_of(dir.file("a.txt"));
  EXPECT_EQ(a.st_mode & 07777, 0640u);
  EXPECT_EQ(a.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(a.st_mtim.tv_nsec, 5);
  if (chown_works) {
    EXPECT_EQ(a.st_uid, nobody->pw_uid);
  }
  // Not touched: the same file, the same times.
  for (const auto& [name, before] : {std::pair{"ascii.txt", ascii_before}, std::pair{"u.txt", u_before}}) {
    const struct stat now = stat_of(dir.file(name));
    EXPECT_EQ(now.st_ino, before.st_ino) << name;
    EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec) << name;
    EXPECT_EQ(now.st_ctim.tv_sec, before.st_ctim.tv_sec) << name;
  }
  EXPECT_EQ(dir.names(), (Words{"a.txt", "ascii.txt", "b.txt", "u.txt"}));

  // With a suffix: the original stays, as it was, under NAME+SUFFIX.
  r = run_kotran({"-s", "--in-place=.orig", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << readable(r.err);
  EXPECT_EQ(read_file(dir.file("b.txt")), kSjisText);
  EXPECT_EQ(read_file(dir.file("b.txt.orig")), kEucText);
  EXPECT_EQ(stat_of(dir.file("b.txt.orig")).st_ino, b_before.st_ino);
  EXPECT_EQ(stat_of(dir.file("b.txt")).st_mode & 07777, 0604u);
  EXPECT_EQ(temporaries(dir.path()), Words{});
  // A suffix whose name is a link is refused, and the file stays.
  dir.write("c.txt", kEucText);
  ASSERT_EQ(symlink("a.txt", dir.file("c.txt.orig").c_str()), 0);
  r = run_kotran({"-s", "--in-place=.orig", "c.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir.file("c.txt")), kEucText);
  EXPECT_EQ(read_file(dir.file("a.txt")), kUtf8Text);
  // In place with -c or --out-dir is no run at all.
  for (const Words& words : {Words{"--in-place", "-c", "c.txt"}, Words{"--in-place", "--out-dir=o", "c.txt"}}) {
    r = run_kotran(words, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(readable(r.err).find("は一緒に使えません"), std::string::npos) << readable(r.err);
  }
#endif
}

// What stood at a backup's name is the user's: kept as it is when it holds
// the same bytes as the file being backed up (the run goes on, the backup
// untouched), and otherwise refused, with both files left as they were.
TEST(InPlace, ExistingBackupIsKeptOrRefused) {
  struct Case {
    const char* label;
    std::string backup;  // what stands at a.txt.orig before the run
    int status;
    std::string a_after;
    std::string message;  // in the messages, or nothing
  };
  const Case cases[] = {
      {"HoldsTheSameText", kEucText, 0, kSjisText, ""},
      {"HoldsOtherText", "the user's own notes\r\n", 1, kEucText,
       "ERROR: a.txt: a.txt.orig がすでにあり, 中身が違います. 上書きしません."},
      {"IsEmpty", "", 1, kEucText, "a.txt.orig がすでにあり"},
      {"HoldsTheTextCut", kEucText.substr(0, 10), 1, kEucText, "a.txt.orig がすでにあり"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.write("a.txt", kEucText);
    dir.write("a.txt.orig", c.backup);
    const auto backup_inode = stat_of(dir.file("a.txt.orig")).st_ino;
    const auto r = run_kotran({"-s", "--in-place=.orig", "a.txt"}, dir.path());
    EXPECT_EQ(r.status, c.status) << readable(r.err);
    EXPECT_EQ(read_file(dir.file("a.txt")), c.a_after);
    EXPECT_EQ(read_file(dir.file("a.txt.orig")), c.backup);
    EXPECT_EQ(stat_of(dir.file("a.txt.orig")).st_ino, backup_inode);
    if (!c.message.empty()) {
      EXPECT_NE(readable(r.err).find(c.message), std::string::npos) << readable(r.err);
    }
    EXPECT_EQ(dir.names(), (Words{"a.txt", "a.txt.orig"}));
  }
}

// A file whose new text cannot be written whole (the shell's file-size
// limit, as a full disk does) leaves nothing new: no backup either.
TEST(InPlace, FailedFileLeavesNoBackup) {
  SKIP_ON_WINDOWS("a shell's ulimit -f is POSIX's");
  TempDir dir;
  dir.write("a.txt", test::repeat(kSjisText, 200));
  dir.write("b.txt", kSjisText);
  const auto r = run_shell("ulimit -f 8 && exec \"$KOTRAN\" -e --in-place=.orig a.txt b.txt", dir.path());
  EXPECT_EQ(r.status, 1) << readable(r.err);
  EXPECT_NE(readable(r.err).find("a.txt: File too large"), std::string::npos) << readable(r.err);
  EXPECT_EQ(read_file(dir.file("a.txt")), test::repeat(kSjisText, 200));
  EXPECT_EQ(read_file(dir.file("b.txt")), kEucText);
  EXPECT_EQ(read_file(dir.file("b.txt.orig")), kSjisText);
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt", "b.txt.orig"}));
}

// Set-user-ID and set-group-ID bits stay only where the converting user
// owns the file and the file keeps its owner and group; otherwise they are
// dropped, and the run says so.
TEST(InPlace, SetIdBitsStayOnlyWithTheirOwner) {
#if defined(_WIN32)
  GTEST_SKIP() << "set-ID bits, owners and the user nobody are POSIX's";
#else
  if (test::permissions_apply() || !test::can_run_as_nobody())
    GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  const struct passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  struct Case {
    const char* label;
    bool nobodys_file;
    bool run_as_nobody;
    mode_t mode;
    mode_t after;
    bool said;
  };
  const Case cases[] = {
      {"RootsOwnFile", false, false, 06755, 06755, false},
      {"NobodysOwnFile", true, true, 06750, 06750, false},
      {"RootConvertsNobodysFile", true, false, 04755, 0755, true},
      {"RootConvertsNobodysGroupFile", true, false, 02775, 0775, true},
      {"NoBitsNothingSaid", true, false, 0640, 0640, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    dir.write("a.txt", kSjisText);
    if (c.nobodys_file) {
      ASSERT_EQ(chown(dir.file("a.txt").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(chmod(dir.file("a.txt").c_str(), c.mode), 0);
    const Words words{"-e", "--in-place", "a.txt"};
    const auto r = c.run_as_nobody ? test::run_kotran_as_nobody(words, dir.path()) : run_kotran(words, dir.path());
    EXPECT_EQ(r.status, 0) << readable(r.err);
    EXPECT_EQ(read_file(dir.file("a.txt")), kEucText);
    const struct stat st = stat_of(dir.file("a.txt"));
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(st.st_uid, c.nobodys_file ? nobody->pw_uid : 0u);
    EXPECT_EQ(readable(r.err).find("set-user-ID, set-group-ID ビットを外しました") != std::string::npos, c.said)
        << readable(r.err);
  }
#endif
}

// POSIX ACLs set with setfacl, as another user meets them: in place the
// file keeps its ACL (and its other extended attributes); an output beside
// the input or in another tree takes the input's ACL. Whom the input's ACL
// keeps out cannot read the output; whom it lets in still can.
TEST(InPlace, AclsAndExtendedAttributesAreKept) {
  SKIP_ON_WINDOWS("POSIX ACLs and extended attributes (an ACL taken from the input: windows_kotran_test)");
#ifdef KOTRAN_PORTABLE
  GTEST_SKIP() << "the build for POSIX alone keeps no extended attributes";
#endif
  if (test::permissions_apply() || !test::can_run_as_nobody())
    GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  if (std::system("command -v setfacl >/dev/null 2>&1") != 0) GTEST_SKIP() << "setfacl is missing (tools/setup.sh test)";
  {
    TempDir probe;
    probe.write("p", "");
    if (std::system(("setfacl -m u:nobody:r " + probe.file("p") + " 2>/dev/null").c_str()) != 0)
      GTEST_SKIP() << "the file system of the temporary folders keeps no ACLs";
  }
  struct Case {
    const char* label;
    mode_t mode;
    std::string acl;  // setfacl -m
    Words options;
    std::string output;
    bool nobody_reads;
  };
  const Case cases[] = {
      {"InPlaceDenyingNobody", 0644, "u:nobody:---", {"-u", "--in-place"}, "a.txt", false},
      {"InPlaceSharedWithNobody", 0600, "u:nobody:r--", {"-u", "--in-place"}, "a.txt", true},
      {"BesideDenyingNobody", 0644, "u:nobody:---", {"-u"}, "a.utf8", false},
      {"BesideSharedWithNobody", 0600, "u:nobody:r--", {"-u"}, "a.utf8", true},
      {"OtherTreeDenyingNobody", 0644, "u:nobody:---", {"-u", "--out-dir=o"}, "o/a.utf8", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    dir.write("a.txt", kSjisText);
    ASSERT_EQ(chmod(dir.file("a.txt").c_str(), c.mode), 0);
    ASSERT_EQ(run_shell("setfacl -m '" + c.acl + "' a.txt && "
                        "python3 -c 'import os; os.setxattr(\"a.txt\", \"user.origin\", b\"scanned\")'",
                        dir.path()).status, 0);
    const std::string acl_before = run_shell("getfacl -c a.txt", dir.path()).out;
    Words words = c.options;
    words.push_back("a.txt");
    const auto r = run_kotran(words, dir.path());
    EXPECT_EQ(r.status, 0) << readable(r.err);
    EXPECT_EQ(read_file(dir.file(c.output)), kUtf8Text);
    EXPECT_EQ(run_shell("getfacl -c " + c.output, dir.path()).out, acl_before);
    const auto cat = test::run_shell_as_nobody("cat " + c.output, dir.path());
    EXPECT_EQ(cat.status == 0, c.nobody_reads) << cat.err;
    if (c.output == "a.txt") {
      EXPECT_EQ(run_shell("python3 -c 'import os; print(os.getxattr(\"a.txt\", \"user.origin\"))'", dir.path()).out,
                "b'scanned'\n");
    }
  }
}

// ---- options that cannot go together ----

// Combinations that mean nothing are refused with a message and status 2,
// before any file is touched: standard input named twice (the second would
// be read empty), standard input in place or under an output folder (its
// output is standard output), and -g, which writes no file, with the
// options that say where files go.
TEST(Options, MeaninglessCombinationsAreRefused) {
  struct Case {
    Words words;
    const char* message;
  };
  const Case cases[] = {
      {{"-u", "-", "-"}, "ERROR: 標準入力 \"-\" は一度しか指定できません."},
      {{"-u", "--", "-", "a.txt", "-"}, "ERROR: 標準入力 \"-\" は一度しか指定できません."},
      {{"-u", "--in-place", "-"}, "ERROR: \"--in-place\" と \"-\" は一緒に使えません."},
      {{"-u", "--in-place=.orig", "a.txt", "-"}, "ERROR: \"--in-place\" と \"-\" は一緒に使えません."},
      {{"-u", "--out-dir=o", "-"}, "ERROR: \"--out-dir\" と \"-\" は一緒に使えません."},
      {{"-g", "--in-place", "a.txt"}, "ERROR: \"--in-place\" と \"-g\" は一緒に使えません."},
      {{"--in-place", "-g", "a.txt"}, "ERROR: \"--in-place\" と \"-g\" は一緒に使えません."},
      {{"-g", "--out-dir=o", "a.txt"}, "ERROR: \"--out-dir\" と \"-g\" は一緒に使えません."},
      {{"-u", "-c", "--out-dir=o", "a.txt"}, "ERROR: \"--out-dir\" と \"-c\" は一緒に使えません."},
      {{"-u", "-c", "--in-place", "a.txt"}, "ERROR: \"--in-place\" と \"-c\" は一緒に使えません."},
      // The JSON reports and the converted text would share standard output.
      {{"-e", "--json", "-c", "a.txt"}, "ERROR: \"--json\" と \"-c\" は一緒に使えません."},
      {{"-c", "--json", "a.txt"}, "ERROR: \"--json\" と \"-c\" は一緒に使えません."},
      {{"-e", "--json", "-"}, "ERROR: \"--json\" と \"-\" は一緒に使えません."},
      {{"-e", "--json", "a.txt", "-"}, "ERROR: \"--json\" と \"-\" は一緒に使えません."},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& w : c.words) shown += w + " ";
    SCOPED_TRACE(shown);
    TempDir dir;
    dir.write("a.txt", kSjisText);
    const auto r = run_kotran(c.words, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(readable(after_banner(r.err)), std::string(c.message) + CRLF);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.names(), Words{"a.txt"});
    EXPECT_EQ(read_file(dir.file("a.txt")), kSjisText);
  }
}

// ---- several at once ----

// Shell commands that send the signal to the worker of the run $pid that has
// the file open, found in /proc as a user finds it, looking again every
// 0.1 s (for up to 10 s) until one is found: a slow build may take a while
// to reach the file. The parent's number is read by the shell itself: a
// loop that started a process for each entry of /proc would take seconds
// on a busy machine.
std::string kill_worker_reading(const std::string& file, const std::string& signal) {
  return "tries=0; until [ $tries -ge 100 ]; do tries=$((tries + 1)); found=; "
         "for p in /proc/[0-9]*; do "
         "  read -r _ _ _ parent _ 2>/dev/null < $p/stat || continue; "
         "  if [ \"$parent\" = \"$pid\" ] && ls -l $p/fd 2>/dev/null | grep -q " + file + "; "
         "  then kill -" + signal + " ${p#/proc/}; found=1; fi; "
         "done; [ -n \"$found\" ] && break; sleep 0.1; done; ";
}

// --jobs=4 over many files, some of whose outputs collide (a.dat and
// a.txt, across workers): the same outputs, the same messages in the same
// order and the same status as one at a time.
TEST(Jobs, SameOutcomeAsOneAtATime) {
  TempDir one, four;
  for (const TempDir* dir : {&one, &four}) {
    for (int i = 0; i < 60; ++i) dir->write(numbered(i), i % 3 == 0 ? kEucText : kSjisText);
    dir->write("f7.dat", kSjisText);
    dir->write("f20.dat", kEucText);
    dir->write("ascii.txt", kAscii);
    dir->write("f1.utf8", "an old output\r\n");
  }
  Words files;
  for (const auto& n : one.names()) files.push_back(n);
  Words args1 = {"-u"}, args4 = {"-u", "--jobs=4"};
  args1.insert(args1.end(), files.begin(), files.end());
  args4.insert(args4.end(), files.begin(), files.end());
  const auto r1 = run_kotran(args1, one.path());
  const auto r4 = run_kotran(args4, four.path());
  EXPECT_EQ(r1.status, 1);
  EXPECT_EQ(r4.status, r1.status);
  EXPECT_EQ(readable(r4.err), readable(r1.err));
  EXPECT_EQ(one.names(), four.names());
  for (const auto& n : one.names()) EXPECT_EQ(to_hex(four.read(n)), to_hex(one.read(n))) << n;
  // Refused: f7.txt and f20.txt (their .dat wrote the same output first),
  // f1.txt (its output f1.utf8 is a later file of the run). Skipped:
  // ascii.txt and f1.utf8 (ASCII).
  EXPECT_NE(r4.err.find(summary_line(59, 2, 0, 3)), std::string::npos) << readable(r4.err);
  EXPECT_EQ(temporaries(four.path()), Words{});
}

// The whole run stopped by a signal while its workers are in the middle of
// their files (inputs that arrive slowly, through FIFOs): the run ends with
// the signal, every worker with it, and no temporary stays behind.
TEST(Jobs, StoppedRunLeavesNoWorkerAndNoTemporary) {
  SKIP_ON_WINDOWS("a signal sent by a shell's kill, and /proc (Ctrl+C: windows_kotran_test)");
  TempDir dir;
  dir.write("part.src", test::repeat(kSjisText, 2000));  // past recognition's early decision
  const auto r = run_shell(
      "for i in 1 2 3; do mkfifo p$i.txt; (cat part.src; sleep 3) > p$i.txt 2>/dev/null & done; "
      "$KOTRAN -u --jobs=3 p1.txt p2.txt p3.txt 2>/dev/null & pid=$!; sleep 0.5; "
      "kill -TERM $pid; wait $pid; echo status=$?; "
      "for p in /proc/[0-9]*; do tr '\\0' ' ' < $p/cmdline 2>/dev/null; echo; done | "
      "grep -c '^[^ ]*kotran -u --jobs=3' || true",
      dir.path());
  EXPECT_EQ(r.out, "status=143\n0\n");  // 128 + SIGTERM
  EXPECT_EQ(temporaries(dir.path()), Words{});
  for (const char* n : {"p1.utf8", "p2.utf8", "p3.utf8"}) EXPECT_FALSE(dir.exists(n)) << n;
}

// A worker killed outright (as the kernel's out-of-memory killer does) while
// it converts a file: that file fails with the signal named, its output does
// not appear, and the other files are converted by the workers left.
TEST(Jobs, KilledWorkerFailsItsFileAndTheRunGoesOn) {
  SKIP_ON_WINDOWS("a worker killed by a signal, found in /proc");
  TempDir dir;
  dir.write("part.src", test::repeat(kSjisText, 2000));
  for (int i = 0; i < 8; ++i) dir.write(numbered(i), kSjisText);
  // slow.txt arrives slowly; the worker that has it in hand is killed.
  const auto r = run_shell(
      "mkfifo slow.txt; (cat part.src; sleep 10) > slow.txt 2>/dev/null & "
      "$KOTRAN -u --jobs=2 slow.txt f0.txt f1.txt f2.txt f3.txt f4.txt f5.txt f6.txt f7.txt 2>err.txt & pid=$!; "
      "sleep 0.5; " + kill_worker_reading("slow.txt", "KILL") + "wait $pid; echo status=$?",
      dir.path());
  EXPECT_EQ(r.out, "status=1\n") << readable(dir.read("err.txt"));
  const std::string err = dir.read("err.txt");
  EXPECT_NE(readable(err).find("ERROR: slow.txt: 変換していたプロセスが終わりました (シグナル 9)."), std::string::npos)
      << readable(err);
  EXPECT_FALSE(dir.exists("slow.utf8"));
  for (int i = 0; i < 8; ++i) {
    std::string output = numbered(i);
    output.replace(output.size() - 4, 4, ".utf8");
    EXPECT_EQ(read_file(dir.file(output)), kUtf8Text) << output;
  }
  EXPECT_NE(err.find(summary_line(8, 0, 0, 1)), std::string::npos) << readable(err);
  EXPECT_EQ(temporaries(dir.path()), Words{});
}

// The same under --json: the killed worker's file is a failed line with the
// cause and the signal, every other file a converted line, in file order.
// The slow file comes first, so that its worker holds no finished file's
// events when it is killed (those would be lost with it, and the file's
// line would say so).
TEST(Jobs, KilledWorkerIsAFailedJsonLine) {
  SKIP_ON_WINDOWS("a worker killed by a signal, found in /proc");
  TempDir dir;
  dir.write("part.src", test::repeat(kSjisText, 2000));
  for (int i = 0; i < 4; ++i) dir.write(numbered(i), kSjisText);
  const auto r = run_shell(
      "mkfifo slow.txt; (cat part.src; sleep 10) > slow.txt 2>/dev/null & "
      "$KOTRAN -u --json --jobs=2 slow.txt f0.txt f1.txt f2.txt f3.txt >out.json 2>err.txt & pid=$!; "
      "sleep 0.5; " + kill_worker_reading("slow.txt", "KILL") + "wait $pid; echo status=$?",
      dir.path());
  EXPECT_EQ(r.out, "status=1\n") << readable(dir.read("err.txt"));
  std::string expected;
  for (const char* name : {"slow", "f0", "f1", "f2", "f3"}) {
    const std::string file = std::string(name) + ".txt";
    if (file == "slow.txt")
      expected += R"({"type":"failed","file":"slow.txt","cause":"worker_killed","signal":9,)"
                  R"("message":"the process converting it ended (signal 9)."})" "\n";
    else
      expected += R"({"type":"converted","file":")" + file +
                  R"(","source":"Shift-JIS","target":"UTF-8","output":")" + name + R"(.utf8","replaced":0})" "\n";
  }
  expected += R"({"type":"summary","files":5,"converted":4,"skipped":0,"not_japanese":0,"replaced":0,"failed":1,)"
              R"("status":1})" "\n";
  EXPECT_EQ(dir.read("out.json"), expected);
  EXPECT_EQ(after_banner(dir.read("err.txt")), "");
  EXPECT_FALSE(dir.exists("slow.utf8"));
  EXPECT_EQ(temporaries(dir.path()), Words{});
}

// Whether the messages tell exactly one outcome of the file: its own
// messages, which begin with a line that begins with its name and a colon,
// at most once, and at most one error line for it ("ERROR: " and its name),
// which ends them or stands alone; at least one of the two.
testing::AssertionResult one_outcome(const std::string& messages, const std::string& name) {
  int own = 0, errors = 0;
  size_t at = 0;
  while (at < messages.size()) {
    size_t end = messages.find('\n', at);
    if (end == std::string::npos) end = messages.size();
    std::string_view line(messages.data() + at, end - at);
    const bool error = line.substr(0, 7) == "ERROR: ";
    if (error) line.remove_prefix(7);
    if (line.substr(0, name.size() + 1) == name + ":") ++(error ? errors : own);
    at = end + 1;
  }
  if (own <= 1 && errors <= 1 && own + errors >= 1) return testing::AssertionSuccess();
  return testing::AssertionFailure() << name << ": " << own << " lines of its own, " << errors << " error lines";
}

// One worker of a long run killed from outside, outright or asked to stop,
// while it waits for a slow input with the outcomes of the files it finished
// before still unsent: every file still has exactly one outcome in the
// messages and in the summary, the slow file fails with the signal named,
// and the summary's count of converted files is the count of outputs.
TEST(Jobs, KilledWorkerLosesNoOtherFilesOutcome) {
  SKIP_ON_WINDOWS("a worker killed by a signal, found in /proc");
  constexpr int kEach = 200;  // files before the slow one, and after it
  for (const char* signal : {"KILL", "TERM"}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    dir.write("part.src", test::repeat(kSjisText, 2000));
    Words names;
    for (const char* prefix : {"a", "b"}) {
      for (int i = 0; i < kEach; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%s%03d.txt", prefix, i);
        dir.write(name, kSjisText);
        names.push_back(name);
      }
    }
    const auto r = run_shell(
        std::string("mkfifo slow.txt; (cat part.src; sleep 10) > slow.txt 2>/dev/null & "
                    "$KOTRAN -u --jobs=2 a*.txt slow.txt b*.txt 2>err.txt & pid=$!; "
                    "sleep 0.5; ") + kill_worker_reading("slow.txt", signal) + "wait $pid; echo status=$?",
        dir.path());
    const std::string err = dir.read("err.txt");
    EXPECT_EQ(r.out, "status=1\n") << readable(err);
    const std::string messages = readable(err);
    const std::string number = std::string(signal) == "KILL" ? "9" : "15";
    EXPECT_NE(messages.find("ERROR: slow.txt: 変換していたプロセスが終わりました (シグナル " + number + ")."),
              std::string::npos)
        << messages;
    EXPECT_TRUE(one_outcome(messages, "slow.txt")) << messages;
    int outputs = 0;
    for (const auto& name : names) {
      EXPECT_TRUE(one_outcome(messages, name)) << messages;
      const std::string output = name.substr(0, 4) + ".utf8";
      if (dir.exists(output)) {
        ++outputs;
        EXPECT_EQ(dir.read(output), kUtf8Text) << output;
      }
    }
    EXPECT_EQ(outputs, 2 * kEach);
    EXPECT_NE(err.find(summary_line(2 * kEach, 0, 0, 1)), std::string::npos) << messages;
    EXPECT_FALSE(dir.exists("slow.utf8"));
    EXPECT_EQ(temporaries(dir.path()), Words{});
  }
}

// The same under --json: a worker killed while the events of the files it
// finished are still unsent (or cut in the middle of one) leaves every file
// exactly one JSON line that a parser reads, and the summary's count of
// converted files is the count of outputs.
TEST(Jobs, KilledWorkerLosesNoOtherFilesJsonLine) {
  SKIP_ON_WINDOWS("a worker killed by a signal, found in /proc");
  constexpr int kEach = 200;
  for (const char* signal : {"KILL", "TERM"}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    dir.write("part.src", test::repeat(kSjisText, 2000));
    for (const char* prefix : {"a", "b"}) {
      for (int i = 0; i < kEach; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%s%03d.txt", prefix, i);
        dir.write(name, kSjisText);
      }
    }
    const auto r = run_shell(
        std::string("mkfifo slow.txt; (cat part.src; sleep 10) > slow.txt 2>/dev/null & "
                    "$KOTRAN -u --json --jobs=2 a*.txt slow.txt b*.txt >out.json 2>err.txt & pid=$!; "
                    "sleep 0.5; ") + kill_worker_reading("slow.txt", signal) + "wait $pid; echo status=$?; "
        "python3 -c '"
        "import json, collections, os\n"
        "lines = [json.loads(l) for l in open(\"out.json\")]\n"
        "files = collections.Counter(o[\"file\"] for o in lines if o[\"type\"] != \"summary\")\n"
        "print(len(files), max(files.values()), lines[-1][\"type\"], lines[-1][\"converted\"], lines[-1][\"failed\"])\n"
        "print(sum(os.path.exists(f[:4] + \".utf8\") for f in files if f != \"slow.txt\"))\n"
        "print([o[\"cause\"] + \" \" + str(o[\"signal\"]) for o in lines if o.get(\"file\") == \"slow.txt\"])\n"
        "'",
        dir.path());
    const std::string number = std::string(signal) == "KILL" ? "9" : "15";
    EXPECT_EQ(r.out, "status=1\n401 1 summary 400 1\n400\n['worker_killed " + number + "']\n")
        << r.err << readable(dir.read("err.txt"));
    EXPECT_EQ(after_banner(dir.read("err.txt")), "");
    EXPECT_EQ(temporaries(dir.path()), Words{});
  }
}

// Memory running out inside the workers (a shell's ulimit -v): the run ends
// with status 255, the file each worker had in hand is named with the
// out-of-memory message (no signal: none was sent), and every other file
// still has exactly one outcome, those no worker took said not converted.
TEST(Jobs, MemoryRunningOutInWorkersEndsTheRunWithEveryFileTold) {
  SKIP_ON_WINDOWS("a shell's ulimit -v is POSIX's");
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot start under a small ulimit -v";
#endif
  TempDir dir;
  Words names;
  for (int i = 0; i < 12; ++i) {
    names.push_back(numbered(i));
    dir.write(names.back(), test::repeat(i % 2 == 0 ? kSjisText : kEucText, 300));
  }
  int ran_out = 0, json_ran_out = 0;
  for (int limit = 2400; limit <= 6000; limit += 100) {
    SCOPED_TRACE("ulimit -v " + std::to_string(limit));
    for (const auto& name : names) unlink(dir.file(name.substr(0, name.size() - 4) + ".utf8").c_str());
    std::string command = "ulimit -v ";
    command += std::to_string(limit);
    command += " && exec \"$KOTRAN\" -u --jobs=3";
    for (const auto& name : names) command += " " + name;
    const auto r = run_shell(command, dir.path());
    if (r.err.rfind("Yomikae", 0) != 0) continue;  // it could not start
    const std::string messages = readable(r.err);
    EXPECT_TRUE(r.status == 0 || r.status == 255) << r.status << "\n" << messages;
    EXPECT_EQ(messages.find("シグナル"), std::string::npos) << messages;
    EXPECT_EQ(temporaries(dir.path()), Words{});
    if (r.status != 255) continue;
    ++ran_out;
    EXPECT_NE(messages.find(": メモリが足りません. 終了します."), std::string::npos) << messages;
    for (const auto& name : names) EXPECT_TRUE(one_outcome(messages, name)) << messages;
    // The same limit under --json: one line a file, in order, the files in
    // hand and those not taken failed with their cause, and the summary
    // with the status. (Each run finds the memory as it finds it: the
    // workers may take more or fewer files than the run above.)
    for (const auto& name : names) unlink(dir.file(name.substr(0, name.size() - 4) + ".utf8").c_str());
    const auto j = run_shell("ulimit -v " + std::to_string(limit) + " && exec \"$KOTRAN\" -u --json --jobs=3" +
                                 command.substr(command.find(" --jobs=3") + 9),
                             dir.path());
    if (j.status != 255) continue;
    ++json_ran_out;
    size_t at = 0;
    for (const auto& name : names) {
      const size_t line = j.out.find(R"({"type":")", at);
      ASSERT_NE(line, std::string::npos) << j.out;
      const size_t end = j.out.find('\n', line);
      const std::string text = j.out.substr(line, end - line);
      EXPECT_NE(text.find(R"("file":")" + name + "\""), std::string::npos) << j.out;
      EXPECT_TRUE(text.find(R"("type":"converted")") != std::string::npos ||
                  text.find(R"("cause":"no_memory")") != std::string::npos ||
                  text.find(R"("cause":"not_taken_no_memory")") != std::string::npos)
          << text;
      at = end + 1;
    }
    EXPECT_EQ(j.out.substr(at, 18), R"({"type":"summary",)") << j.out;
    EXPECT_NE(j.out.find(R"("status":255})" "\n", at), std::string::npos) << j.out;
  }
  EXPECT_GT(ran_out, 0) << "no limit made memory run out in the workers";
  EXPECT_GT(json_ran_out, 0) << "no limit made memory run out in the workers under --json";
}

// A shell's limit on processes leaves no room for workers: the run takes
// the files itself, one at a time, with the same outcome.
TEST(Jobs, NoRoomForWorkersUnderAProcessLimit) {
  SKIP_ON_WINDOWS("a shell's ulimit -u and the user nobody are POSIX's");
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
  if (test::permissions_apply() || !test::can_run_as_nobody())
    GTEST_SKIP() << "needs to run as root with a user nobody (as CI does): root has no process limit";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  for (int i = 0; i < 6; ++i) dir.write(numbered(i), i % 2 == 0 ? kSjisText : kEucText);
  // bash's ulimit (sh's has no -u). Under the sanitizers, the leak checker
  // needs a thread of its own at the end, which the limit refuses: it is
  // left out of this run.
  const auto r = test::run_shell_as_nobody(
      "exec bash -c 'ulimit -u 1 && ASAN_OPTIONS=detect_leaks=0 exec \"$KOTRAN\" -u --jobs=4 "
      "f0.txt f1.txt f2.txt f3.txt f4.txt f5.txt'",
      dir.path());
  EXPECT_EQ(r.status, 0) << readable(r.err);
  for (int i = 0; i < 6; ++i) {
    std::string output = numbered(i);
    output.replace(output.size() - 4, 4, ".utf8");
    EXPECT_EQ(read_file(dir.file(output)), kUtf8Text) << output;
  }
  EXPECT_NE(r.err.find(summary_line(6, 0, 0, 0)), std::string::npos) << readable(r.err);
}

// ---- progress and summary ----

// On a terminal a run longer than a second shows a progress line, redrawn
// in place and cleared before the summary; in a pipe there is none.
#if !defined(_WIN32)
// Runs a shell command with standard error on a pseudo-terminal; what the
// terminal showed in `shown`; none where there is no pseudo-terminal.
std::optional<test::RunResult> with_stderr_on_terminal(const std::string& command, const std::string& cwd,
                                                        std::string& shown) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return std::nullopt;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return std::nullopt;
  }
  const std::string slave_name = ptsname(master);
  const auto r = run_shell(command + " 2>" + slave_name, cwd);
  const int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  char buffer[4096];
  ssize_t n;
  shown.clear();
  while ((n = read(master, buffer, sizeof buffer)) > 0) shown.append(buffer, static_cast<size_t>(n));
  close(master);
  return r;
}
#endif

// Messages on a terminal come in the locale's codeset: UTF-8 where it is
// UTF-8, Shift-JIS otherwise (and always into files and pipes). The banner's
// second line begins with 漢 (E6 BC A2 in UTF-8, 8A BF in Shift-JIS).
TEST(Terminal, MessagesInTheLocalesCodeset) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX terminal and locale";
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  struct Case {
    const char* locale;
    bool terminal;
    const char* first_kanji;
  };
  const Case cases[] = {
      {"C.UTF-8", true, "E6 BC A2"},
      {"C", true, "8A BF"},
      {"C.UTF-8", false, "8A BF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + (c.terminal ? " on a terminal" : " into a pipe"));
    const std::string command = std::string("LANGUAGE= LC_MESSAGES= LANG= LC_ALL=") + c.locale + " exec $KOTRAN -e a.txt";
    std::string shown;
    if (c.terminal) {
      const auto r = with_stderr_on_terminal(command, dir.path(), shown);
      if (!r) GTEST_SKIP() << "no pseudo-terminal on this machine (posix_openpt failed)";
      EXPECT_EQ(r->status, 0);
    } else {
      const auto r = run_shell(command, dir.path());
      EXPECT_EQ(r.status, 0);
      shown = r.err;
    }
    // (A terminal may show the line end as CR CR LF.)
    const size_t line = shown.find_first_not_of("\r\n", shown.find("Yomikae Ver.3.2") + 15);
    ASSERT_LT(line, shown.size()) << to_hex(shown);
    EXPECT_EQ(to_hex(shown.substr(line, hex(c.first_kanji).size())), c.first_kanji);
  }
#endif
}

TEST(Progress, OnlyOnATerminal) {
#if defined(_WIN32)
  GTEST_SKIP() << "a FIFO and a POSIX terminal";
#else
  TempDir dir;
  for (int i = 0; i < 4; ++i) dir.write(numbered(i), kSjisText);
  ASSERT_EQ(mkfifo(dir.file("slow.txt").c_str(), 0644), 0);
  dir.write("slow.src", kSjisText);
  // The second file arrives slowly, through a FIFO: the run lasts more than
  // a second, and the files after it are counted on the progress line.
  const std::string feed = "(sleep 1.3; cat slow.src > slow.txt) & ";
  const Words files = {"f0.txt", "slow.txt", "f1.txt", "f2.txt", "f3.txt"};

  // Standard error on a pseudo-terminal.
  std::string command = feed + "exec $KOTRAN -u";
  for (const auto& f : files) command += " " + f;
  std::string terminal;
  const auto r = with_stderr_on_terminal(command, dir.path(), terminal);
  if (!r) GTEST_SKIP() << "no pseudo-terminal on this machine (posix_openpt failed)";
  EXPECT_EQ(r->status, 0);
  // Drawn once the slow file is done (two of five), then not again within
  // a tenth of a second; never for the last file.
  const size_t line = terminal.find("\r2/5 ");
  ASSERT_NE(line, std::string::npos) << to_hex(terminal);
  const size_t end = terminal.find("\033[K", line);
  ASSERT_NE(end, std::string::npos);
  EXPECT_NE(terminal.find(" MiB/s", line), std::string::npos);
  // Cleared before the next message, and before the summary.
  EXPECT_NE(terminal.find("\r\033[K", end), std::string::npos) << to_hex(terminal);
  const size_t summary = terminal.rfind("f3.txt");
  EXPECT_LT(line, summary);

  // In a pipe: no line at all.
  std::string piped = feed + "exec $KOTRAN -u";
  for (const auto& f : files) piped += " " + f;
  const auto p = run_shell(piped, dir.path());
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.err.find("\033[K"), std::string::npos) << to_hex(p.err);
  EXPECT_NE(p.err.find(summary_line(5, 0, 0, 0)), std::string::npos) << readable(p.err);
  // A run of one file has no summary.
  const auto single = run_kotran({"-e", "f0.txt"}, dir.path());
  EXPECT_EQ(single.err.find(summary_line(1, 0, 0, 0)), std::string::npos);
#endif
}

// Text typed at a terminal ends where the user ends it (Ctrl+D): though the
// program reads it twice (to recognise it, then to convert it), it does not
// wait for more once the text is converted.
TEST(Terminal, TypedTextEndsAtCtrlD) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX terminal, where Ctrl+D ends typed text";
#else
  TempDir dir;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) GTEST_SKIP() << "no pseudo-terminal on this machine (posix_openpt failed)";
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave_name = ptsname(master);
  // Held open while the line is typed ahead, so that the terminal keeps it.
  const int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const std::string typed = hex("83 65 83 58 83 67 0A 04");  // テスト in Shift-JIS, a line end, Ctrl+D
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  const auto r = run_shell("timeout 10 $KOTRAN -u -c - <" + slave_name + " >out.txt", dir.path());
  close(slave);
  close(master);
  EXPECT_EQ(r.status, 0) << "(124: still waiting for input after Ctrl+D) " << readable(r.err);
  EXPECT_EQ(to_hex(dir.read("out.txt")), "E3 83 86 E3 82 B9 E3 83 88 0D 0A");
#endif
}

}  // namespace
}  // namespace kotran
