// The argument words as main() receives them on this host: argv as the
// shell hands it over, through prepare_arguments, in a real directory; and
// the process-level behaviour (exit status 255 and the R6008 report when the
// words do not fit, the locale's character set).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/arg_words.h"
#include "test_util.h"
#if defined(_WIN32)
#include "test_windows.h"
#endif

namespace kotran {
namespace {

using Names = std::vector<std::string>;

const std::string kR6008 = "\r\nruntime error R6008\r\n- not enough space for arguments\r\n";

// argv as a shell builds it: NUL-terminated strings and a null pointer last.
class Argv {
 public:
  explicit Argv(Names words) : words_(std::move(words)) {
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  Names words_;
  std::vector<char*> pointers_;
};

#if !defined(_WIN32)
struct ChildResult {
  bool exited = false;
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_all(int fd) {
  std::string data;
  char buf[512];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  return data;
}

// Runs `body` in a child process with its standard output and standard
// error caught; a body that returns ends the child with status 0.
ChildResult run_in_child(const std::function<void()>& body) {
  ChildResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[0]);
    close(err_pipe[1]);
    body();
    _exit(0);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  result.err = read_all(err_pipe[0]);
  result.out = read_all(out_pipe[0]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : -1;
  return result;
}

void write_out(const std::string& s) {
  if (write(1, s.data(), s.size()) < 0) _exit(3);
}

#endif

// The words joined by '|' for a child to report.
std::string joined(const Names& names) {
  std::string s;
  for (const std::string& n : names) s += n + "|";
  return s;
}

class WildcardProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::make_unique<test::TempDir>();
    dir_ = folder_->path();
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    folder_.reset();
  }
  static void touch(const std::string& name) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << name;
    close(fd);
  }
  static void make_dir(const std::string& name) { ASSERT_EQ(mkdir(name.c_str(), 0755), 0) << name; }
  void make_tree() {
    touch("b.TXT");
    touch("A.txt");
    touch("c.txt");
    touch(".hid");
    touch(".kotran-Ab12Cd");  // a temporary output of a conversion under way
    make_dir("sub");
    touch("sub/Y.txt");
    touch("sub/x.txt");
  }

  std::unique_ptr<test::TempDir> folder_;
  std::string dir_;
  std::filesystem::path old_cwd_;
};

// What the tests of prepare_arguments over argv take, which Windows' words
// do not go through.
constexpr const char* kPosixArgv =
    "argv as a POSIX shell hands it over, expanded by the POSIX listing (Windows' words and wildcards: "
    "windows_platform_test)";

struct ArgvCase {
  Names args;      // after the program name
  Names expected;  // after the program name
};

TEST_F(WildcardProcess, WordsAsMainReceivesThem) {
  SKIP_ON_WINDOWS(kPosixArgv);
  make_tree();
  const ArgvCase cases[] = {
      // Words the shell expanded already, or without wildcards, pass as they are.
      {{"-j", "A.txt", "b.TXT"}, {"-j", "A.txt", "b.TXT"}},
      {{"sub/", "nofile"}, {"sub/", "nofile"}},
      // Words the shell left alone: hidden entries and directories count,
      // "." and ".." never appear, letter case folds in the order.
      {{"*"}, {".hid", "A.txt", "b.TXT", "c.txt", "sub"}},
      {{"*.txt"}, {"A.txt", "c.txt"}},
      {{".*"}, {".hid"}},
      {{"s*"}, {"sub"}},
      // kotran's temporary outputs are never matched.
      {{".k*"}, {".k*"}},
      {{".kotran-??????"}, {".kotran-??????"}},
      // Several words: each gives its names in place, in the order given.
      {{"-e", "?.txt", "x", "sub/*.txt", "*.TXT"},
       {"-e", "A.txt", "c.txt", "x", "sub/x.txt", "sub/Y.txt", "b.TXT"}},
      {{"sub/*", "*.txt"}, {"sub/x.txt", "sub/Y.txt", "A.txt", "c.txt"}},
      // The directory part stays as written.
      {{"./sub//?.txt"}, {"./sub//x.txt", "./sub//Y.txt"}},
      // No match: the word stays, for the driver to report.
      {{"*.xyz", "nodir/*", "*/x.txt", "-*"}, {"*.xyz", "nodir/*", "*/x.txt", "-*"}},
      {{"sub/.*"}, {"sub/.*"}},
      {{}, {}},
  };
  for (const ArgvCase& c : cases) {
    Names words{"kotran"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    Names expected{"kotran"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    Argv argv(words);
    EXPECT_EQ(prepare_arguments(argv.argc(), argv.argv(), CharSet::single_byte), expected)
        << joined(words);
    Argv again(words);
    EXPECT_EQ(prepare_arguments(again.argc(), again.argv()), expected) << joined(words);
  }
}

TEST_F(WildcardProcess, AbsolutePrefix) {
  SKIP_ON_WINDOWS(kPosixArgv);
  make_tree();
  Argv argv({"kotran", dir_ + "/sub/*"});
  EXPECT_EQ(prepare_arguments(argv.argc(), argv.argv()),
            (Names{"kotran", dir_ + "/sub/x.txt", dir_ + "/sub/Y.txt"}));
}

TEST_F(WildcardProcess, ProgramNameIsNeverExpanded) {
  SKIP_ON_WINDOWS(kPosixArgv);
  make_tree();
  for (const std::string name : {"*.txt", "?.*", "*", "./*"}) {
    Argv argv({name, name});
    const Names got = prepare_arguments(argv.argc(), argv.argv());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), name);
    EXPECT_GT(got.size(), 2u) << name << ": the same word after it is expanded";
  }
  Argv alone({"k*"});
  EXPECT_EQ(prepare_arguments(alone.argc(), alone.argv()), (Names{"k*"}));
  Argv none({});
  EXPECT_EQ(prepare_arguments(none.argc(), none.argv()), Names{});
}

TEST_F(WildcardProcess, ExistingNameWithWildcardIsTheFile) {
  SKIP_ON_WINDOWS(kPosixArgv);
  make_tree();
  touch("*.txt");
  touch("?");
  Argv argv({"kotran", "*.txt", "?", "?.txt"});
  EXPECT_EQ(prepare_arguments(argv.argc(), argv.argv()),
            (Names{"kotran", "*.txt", "?", "*.txt", "A.txt", "c.txt"}));
}

// The room for the words: every word takes its length plus one.
TEST_F(WildcardProcess, WordsThatJustFit) {
  SKIP_ON_WINDOWS(kPosixArgv);
  make_tree();
  Argv argv({"k", "s*", "x"});
  EXPECT_EQ(prepare_arguments(argv.argc(), argv.argv(), CharSet::single_byte, 2 + 4 + 2),
            (Names{"k", "sub", "x"}));
}

struct NoRoomCase {
  Names words;
  std::size_t room;
};

TEST_F(WildcardProcess, OutOfRoomReportsR6008AndExits255) {
#if defined(_WIN32)
  GTEST_SKIP() << "a child made by fork";
#else
  make_tree();
  const NoRoomCase cases[] = {
      {{"kotran", "a"}, 0},
      {{"kotran", "a"}, 7},                          // the program name fits, the word does not
      {{"kotran", "s*", "x"}, 7 + 3 + 2},            // the words fit, the expanded names do not
      {{"kotran", "*"}, 7 + 5 + 6 + 6 + 6 + 4 - 1},  // one byte short
  };
  for (const NoRoomCase& c : cases) {
    const ChildResult r = run_in_child([&c] {
      Argv argv(c.words);
      const Names got = prepare_arguments(argv.argc(), argv.argv(), CharSet::single_byte, c.room);
      write_out("returned " + joined(got));
    });
    EXPECT_TRUE(r.exited) << joined(c.words);
    EXPECT_EQ(r.status, 255) << joined(c.words);
    EXPECT_EQ(r.err, kR6008) << joined(c.words);
    EXPECT_EQ(r.out, "") << joined(c.words);
  }
#endif
}

// A quoted '*' in a folder of 100 000 files, as a user meets it: the program
// expands and sorts the names before it reads the options, then rejects the
// first word. Expansion and sort take a small part of a second; the bound
// leaves room for a slow machine and a sanitizer build.
TEST_F(WildcardProcess, HundredThousandNamesExpandQuickly) {
#if defined(_WIN32)
  // Wine looks for each new name in the whole folder, letter case folded:
  // making the folder would take most of an hour there.
  if (test::under_wine()) GTEST_SKIP() << "Wine makes a folder of 100 000 files in most of an hour";
#endif
  constexpr int kFiles = 100000;
  for (int i = 0; i < kFiles; ++i) {
    // Upper and lower case mixed, in no sorted order.
    const int n = static_cast<int>((static_cast<long long>(i) * 7919) % kFiles);
    std::string name = n % 3 == 0 ? "F" : "f";
    name += std::to_string(n);
    name += ".txt";
    touch(name);
  }
  const auto start = std::chrono::steady_clock::now();
  const test::RunResult r = test::run_kotran({"-x", "*"}, dir_);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.status, 2);
  // "ERROR: "-x" は間違ったオプションです." after the banner.
  const std::string m1 = "ERROR: \"-x\"" +
                         test::hex("20 82 CD 8A D4 88 E1 82 C1 82 BD 83 49 83 76 83 56 83 87 83 93 82 C5 82 B7 2E 0D 0A");
  ASSERT_GE(r.err.size(), m1.size());
  EXPECT_EQ(test::to_hex(r.err.substr(r.err.size() - m1.size())), test::to_hex(m1));
  EXPECT_EQ(r.out, "");
  EXPECT_LT(seconds, 10.0) << "100 000 names took " << seconds << " s";
}

#if !defined(_WIN32)
// What a child in the given locale makes of "?" and "\x81*" where one name
// is a single two-byte character and another two one-byte characters.
ChildResult words_in_locale(const char* locpath, const char* locale) {
  return run_in_child([locpath, locale] {
    if (locpath != nullptr) setenv("LOCPATH", locpath, 1);
    setenv("LC_ALL", locale, 1);
    if (std::setlocale(LC_CTYPE, "") == nullptr) {
      write_out("no locale");
      return;
    }
    Argv argv({"kotran", "?", "\x81*"});
    write_out(joined(prepare_arguments(argv.argc(), argv.argv())));
  });
}
#endif

TEST_F(WildcardProcess, LocaleWithoutLeadBytes) {
#if defined(_WIN32)
  GTEST_SKIP() << "a child made by fork, in a POSIX locale";
#else
  touch("\x95\x5C");
  touch("ab");
  touch("\x81x");
  const ChildResult r = words_in_locale(nullptr, "C");
  EXPECT_EQ(r.status, 0);
  // '?' is one byte; '*' after 0x81 is a wildcard.
  EXPECT_EQ(r.out, "kotran|?|\x81x|");
#endif
}

TEST_F(WildcardProcess, ShiftJisLocale) {
#if defined(_WIN32)
  GTEST_SKIP() << "a child made by fork, in a POSIX locale built by localedef";
#else
  touch("\x95\x5C");
  touch("ab");
  touch("\x81x");
  make_dir("loc");
  const std::string build =
      "localedef -c -f SHIFT_JIS -i ja_JP '" + dir_ + "/loc/ja_JP.SJIS' >/dev/null 2>&1";
  (void)std::system(build.c_str());  // warns that the set is not ASCII-compatible
  struct stat st;
  if (stat((dir_ + "/loc/ja_JP.SJIS/LC_CTYPE").c_str(), &st) != 0) {
    GTEST_SKIP() << "no Shift-JIS locale can be built here (localedef, ja_JP, SHIFT_JIS)";
  }
  const ChildResult r = words_in_locale((dir_ + "/loc").c_str(), "ja_JP.SJIS");
  if (r.out == "no locale") GTEST_SKIP() << "the Shift-JIS locale does not load";
  EXPECT_EQ(r.status, 0);
  // '?' is one character, so it matches both two-byte names; 0x81
  // protects the '*' after it.
  EXPECT_EQ(r.out, "kotran|\x81x|\x95\x5C|\x81*|");
#endif
}

}  // namespace
}  // namespace kotran
