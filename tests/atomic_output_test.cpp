// An output appears under its name only when it is complete. A conversion
// stopped by a signal leaves under the output's name either nothing or what
// stood there before (never a truncated file), leaves no temporary file
// (none at all, even after SIGKILL, where the file system has files without
// a name), and ends by that signal. A new output gets the mode 0644 less the
// creation mask, an existing one keeps its permission bits, neither is more
// readable than its input, and an existing output that may not be written is
// refused.
//
// The conversions that are stopped read a named pipe fed by the test: the
// test writes part of the text, waits until the program has written some of
// its output, and sends the signal while the program waits for more, so the
// conversion is surely in progress. One more case stops a conversion of a
// large plain file at a moment it does not choose.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <pwd.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

// A build for POSIX alone makes no files without a name: its outputs are
// always named temporaries.
#ifdef KOTRAN_PORTABLE
constexpr bool kUnnamedFiles = false;
#else
constexpr bool kUnnamedFiles = true;
#endif

using test::hex;
using test::kEucText;
using test::kSjisText;
using test::read_file;
using test::readable;
using test::repeat;
using test::TempDir;
using test::temporaries;
using test::to_hex;

using Words = std::vector<std::string>;

const std::string CRLF = "\r\n";

const std::string kOldOutput = "an earlier output\r\n";

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : static_cast<mode_t>(-1);
}

// A conversion is stopped here by a signal, while it reads a named pipe
// or a large file; Windows stops one with Ctrl+C or Ctrl+Break, which
// windows_kotran_test sends.
#if !defined(_WIN32)
void sleep_ms(long ms) {
  const struct timespec t = {ms / 1000, (ms % 1000) * 1000 * 1000};
  nanosleep(&t, nullptr);
}

// Size of the output that the program is writing in the directory, named or
// not, as its open descriptors show it; -1 when it writes none.
long long output_size(pid_t pid, const std::string& dir) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  long long size = -1;
  if (DIR* d = opendir(fds.c_str())) {
    while (dirent* e = readdir(d)) {
      char target[4096];
      const std::string fd = fds + "/" + e->d_name;
      const ssize_t n = readlink(fd.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      const std::string t(target, static_cast<size_t>(n));
      if (t.compare(0, dir.size() + 1, dir + "/") != 0) continue;
      if (t.find("/.kotran-") == std::string::npos && t.find(" (deleted)") == std::string::npos) continue;
      struct stat st;
      if (stat(fd.c_str(), &st) == 0) size = static_cast<long long>(st.st_size);
    }
    closedir(d);
  }
  return size;
}

// ---------------------------------------------------------------------------
// The program as a child process that the test can stop.

struct Options {
  std::optional<mode_t> creation_mask;
  std::vector<int> ignored_signals;
  bool named_temporaries = false;  // as on a file system without files that have no name
};

class Program {
 public:
  Program(const Words& args, const std::string& dir, const Options& options = {}) {
    err_file_ = capture_.file("stderr");
    // Named temporaries are forced through the preloaded shim, which only
    // the program linked against the shared C library takes.
    const char* exe = options.named_temporaries ? KOTRAN_PRELOADABLE_EXE : KOTRAN_EXE;
    std::vector<std::string> argv_strings{exe};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ != 0) return;
    if (chdir(dir.c_str()) != 0) _exit(120);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(capture_.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // Every signal at its default and unblocked, whatever the test runner
    // was given (a background job starts with SIGINT ignored).
    for (int sig = 1; sig < NSIG; ++sig)
      if (sig != SIGKILL && sig != SIGSTOP) signal(sig, SIG_DFL);
    for (int sig : options.ignored_signals) signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (options.creation_mask) umask(*options.creation_mask);
    if (options.named_temporaries) {
      setenv(KOTRAN_PRELOAD_VARIABLE, KOTRAN_FAULT_SHIM, 1);
      setenv("KOTRAN_FAULT", "tmpfile:EOPNOTSUPP:1+", 1);
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    }
    execv(exe, argv.data());
    _exit(127);
  }
  ~Program() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return pid_; }
  bool running() {
    if (ended_) return false;
    if (waitpid(pid_, &wstatus_, WNOHANG) == pid_) ended_ = true;
    return !ended_;
  }
  // Waits for the end, at most a minute; false when the program still runs.
  bool wait() {
    for (int i = 0; i < 60000 && running(); ++i) sleep_ms(1);
    return ended_;
  }
  int exit_status() const { return ended_ && WIFEXITED(wstatus_) ? WEXITSTATUS(wstatus_) : -1; }
  int end_signal() const { return ended_ && WIFSIGNALED(wstatus_) ? WTERMSIG(wstatus_) : 0; }
  std::string err() const { return read_file(err_file_); }

 private:
  TempDir capture_;
  std::string err_file_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int wstatus_ = 0;
};

// The writing end of a named pipe, opened once the program has opened the
// reading end.
class PipeWriter {
 public:
  explicit PipeWriter(const std::string& fifo) {
    for (int i = 0; i < 20000 && fd_ < 0; ++i) {
      fd_ = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd_ < 0) sleep_ms(1);  // ENXIO: no reader yet
    }
    if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  }
  ~PipeWriter() { finish(); }
  bool ok() const { return fd_ >= 0; }
  bool write_all(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(fd_, text.data() + at, text.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      at += static_cast<size_t>(n);
    }
    return true;
  }
  void finish() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// The pipe writes of the test must not end the test when the program is gone.
class AtomicOutputEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { signal(SIGPIPE, SIG_IGN); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AtomicOutputEnvironment);

// ---------------------------------------------------------------------------
// Signals during a conversion from a named pipe.

enum class Stage {
  recognising,  // the program waits for the first block: no output yet
  converting,   // the program has written part of its output
};

struct SignalCase {
  std::string label;
  int signal;
  Stage stage;
  bool old_output;
  bool named;  // the file system has no files without a name
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.label; }

class AtomicOutputSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(AtomicOutputSignal, OutputNameHoldsNothingNewAndNoTemporaryIsLeft) {
  const SignalCase& c = GetParam();
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
  if (c.old_output) {
    dir.write("p.euc", kOldOutput);
    ASSERT_EQ(chmod(dir.file("p.euc").c_str(), 0640), 0);
  }
  Options options;
  options.named_temporaries = c.named;
  Program program({"-e", "p.txt"}, dir.path(), options);
  PipeWriter writer(dir.file("p.txt"));
  ASSERT_TRUE(writer.ok()) << "the program never opened the pipe";
  if (c.stage == Stage::recognising) {
    // Less than the first block: the program reads on for the rest.
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 200)));
    sleep_ms(50);
    EXPECT_TRUE(temporaries(dir.path()).empty());
  } else {
    // Past the first block; then wait for output to reach the file.
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 12000)));
    long long size = -1;
    for (int i = 0; i < 20000 && size < 65536; ++i) {
      size = output_size(program.pid(), dir.path());
      if (size < 65536) sleep_ms(1);
    }
    ASSERT_GE(size, 65536) << "no output was being written";
  }
  ASSERT_TRUE(program.running());
  ASSERT_EQ(kill(program.pid(), c.signal), 0);
  ASSERT_TRUE(program.wait()) << "the program did not stop";
  writer.finish();

  EXPECT_EQ(program.end_signal(), c.signal) << "exit status " << program.exit_status();
  // Nothing can remove a named temporary after SIGKILL; an unnamed one goes
  // with the process.
  if (c.signal != SIGKILL || !c.named) {
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
  }
  if (c.old_output) {
    EXPECT_EQ(read_file(dir.file("p.euc")), kOldOutput);
    EXPECT_EQ(mode_of(dir.file("p.euc")), 0640u);
  } else {
    EXPECT_FALSE(dir.exists("p.euc")) << read_file(dir.file("p.euc")).size() << " bytes stand under the name";
  }
}

std::vector<SignalCase> signal_cases() {
  struct Named {
    const char* name;
    int signal;
  };
  const Named signals[] = {{"Interrupt", SIGINT}, {"Terminate", SIGTERM}, {"HangUp", SIGHUP},
                           {"Quit", SIGQUIT},     {"BrokenPipe", SIGPIPE}, {"Alarm", SIGALRM},
                           {"User1", SIGUSR1},    {"Kill", SIGKILL}};
  std::vector<SignalCase> cases;
  for (const Named& s : signals)
    for (Stage stage : {Stage::recognising, Stage::converting})
      for (bool old_output : {false, true})
        for (bool named : {false, true})
          if (named || kUnnamedFiles)
            cases.push_back({std::string(s.name) + (stage == Stage::recognising ? "_WhileRecognising" : "_WhileConverting") +
                               (old_output ? "_OverOldOutput" : "_NewOutput") + (named ? "_Named" : "_Unnamed"),
                           s.signal, stage, old_output, named});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, AtomicOutputSignal, ::testing::ValuesIn(signal_cases()),
                         [](const ::testing::TestParamInfo<SignalCase>& info) { return info.param.label; });

// Unstopped, the same pipe conversion puts the whole text under the name.
TEST(AtomicOutputPipe, FinishedConversionReplacesTheOldOutputWhole) {
  for (bool old_output : {false, true}) {
    SCOPED_TRACE(old_output ? "over an old output" : "new output");
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
    if (old_output) dir.write("p.euc", kOldOutput);
    Program program({"-e", "p.txt"}, dir.path());
    PipeWriter writer(dir.file("p.txt"));
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 12000)));
    // While the pipe stays open the old output is still in place.
    long long size = -1;
    for (int i = 0; i < 20000 && size < 65536; ++i) {
      size = output_size(program.pid(), dir.path());
      if (size < 65536) sleep_ms(1);
    }
    ASSERT_GE(size, 65536);
    if (old_output) {
      EXPECT_EQ(read_file(dir.file("p.euc")), kOldOutput);
    } else {
      EXPECT_FALSE(dir.exists("p.euc"));
    }
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 1000)));
    writer.finish();
    ASSERT_TRUE(program.wait());
    EXPECT_EQ(program.exit_status(), 0);
    const std::string got = read_file(dir.file("p.euc"));
    EXPECT_EQ(got.size(), kEucText.size() * 13000);
    EXPECT_TRUE(got == repeat(kEucText, 13000));
    EXPECT_EQ(dir.names(), (Words{"p.euc", "p.txt"}));
  }
}

// A signal ignored when the program starts (as under nohup) stays ignored:
// the conversion goes on to its end.
TEST(AtomicOutputPipe, SignalIgnoredAtStartDoesNotStopTheConversion) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
  Options options;
  options.ignored_signals = {SIGHUP};
  Program program({"-e", "p.txt"}, dir.path(), options);
  PipeWriter writer(dir.file("p.txt"));
  ASSERT_TRUE(writer.ok());
  ASSERT_TRUE(writer.write_all(repeat(kSjisText, 12000)));
  long long size = -1;
  for (int i = 0; i < 20000 && size < 65536; ++i) {
    size = output_size(program.pid(), dir.path());
    if (size < 65536) sleep_ms(1);
  }
  ASSERT_GE(size, 65536);
  ASSERT_EQ(kill(program.pid(), SIGHUP), 0);
  sleep_ms(50);
  EXPECT_TRUE(program.running());
  ASSERT_TRUE(writer.write_all(repeat(kSjisText, 1000)));
  writer.finish();
  ASSERT_TRUE(program.wait());
  EXPECT_EQ(program.exit_status(), 0);
  EXPECT_TRUE(read_file(dir.file("p.euc")) == repeat(kEucText, 13000));
  EXPECT_EQ(dir.names(), (Words{"p.euc", "p.txt"}));
}

// ---------------------------------------------------------------------------
// A large plain file stopped at a moment the test does not choose: the name
// holds the complete conversion (when the program was faster) or what it
// held before, never part of the text.

class AtomicOutputLargeFile : public ::testing::TestWithParam<int> {
 protected:
  // 48 MiB of Shift-JIS, built by doubling, and its conversion.
  static void SetUpTestSuite() {
    input_ = new std::string(kSjisText);
    output_ = new std::string(kEucText);
    while (input_->size() < (48u << 20)) {
      *input_ += *input_;
      *output_ += *output_;
    }
  }
  static void TearDownTestSuite() {
    delete input_;
    delete output_;
    input_ = output_ = nullptr;
  }
  static std::string* input_;
  static std::string* output_;
};

std::string* AtomicOutputLargeFile::input_ = nullptr;
std::string* AtomicOutputLargeFile::output_ = nullptr;

TEST_P(AtomicOutputLargeFile, StoppedConversionLeavesTheOldOutputOrTheWholeText) {
  const int sig = GetParam();
  for (int delay_ms : {0, 20}) {
    SCOPED_TRACE("stopped " + std::to_string(delay_ms) + " ms after output began");
    TempDir dir;
    dir.write("big.txt", *input_);
    dir.write("big.euc", kOldOutput);
    Program program({"-e", "big.txt"}, dir.path());
    // Output has begun once the temporary file holds something.
    for (int i = 0; i < 60000 && output_size(program.pid(), dir.path()) <= 0 && program.running(); ++i) sleep_ms(1);
    sleep_ms(delay_ms);
    kill(program.pid(), sig);
    ASSERT_TRUE(program.wait());
    const std::string got = read_file(dir.file("big.euc"));
    if (program.end_signal() == sig) {
      // A signal that comes just after the finished text took the name
      // still ends the program; the name holds the one or the other.
      EXPECT_TRUE(got == kOldOutput || got == *output_) << got.size() << " bytes stand under the name";
      EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
    } else {
      // The conversion was done before the signal came.
      EXPECT_EQ(program.exit_status(), 0);
      EXPECT_EQ(got.size(), output_->size());
      EXPECT_TRUE(got == *output_);
    }
    EXPECT_EQ(dir.names(), (Words{"big.euc", "big.txt"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, AtomicOutputLargeFile, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT    ? "Interrupt"
                                              : info.param == SIGTERM ? "Terminate"
                                                                      : "HangUp");
                         });
#else
constexpr const char* kSignals = "signals sent by kill, named pipes and /proc are POSIX's (Ctrl+C: windows_kotran_test)";
TEST(AtomicOutputSignal, OutputNameHoldsNothingNewAndNoTemporaryIsLeft) { GTEST_SKIP() << kSignals; }
TEST(AtomicOutputPipe, FinishedConversionReplacesTheOldOutputWhole) { GTEST_SKIP() << kSignals; }
TEST(AtomicOutputPipe, SignalIgnoredAtStartDoesNotStopTheConversion) { GTEST_SKIP() << kSignals; }
TEST(AtomicOutputLargeFile, StoppedConversionLeavesTheOldOutputOrTheWholeText) { GTEST_SKIP() << kSignals; }
#endif  // !defined(_WIN32)

// ---------------------------------------------------------------------------
// Modes of the output.

// A new output gets 0644 less the creation mask; an existing one keeps its
// permission bits, no more (never set-user-ID, set-group-ID or sticky); and
// neither is readable by group or others where the input is not.
TEST(AtomicOutputMode, OutputPermissionBits) {
#if defined(_WIN32)
  GTEST_SKIP() << "mode bits and the creation mask are POSIX's (an ACL taken from the input: windows_kotran_test)";
#else
  struct Case {
    mode_t existing;  // 0: no output before
    mode_t mask;
    mode_t input;
    mode_t expected;
  };
  const Case cases[] = {
      // New outputs.
      {0, 022, 0644, 0644}, {0, 027, 0644, 0640}, {0, 077, 0644, 0600}, {0, 0, 0644, 0644}, {0, 0222, 0644, 0444},
      {0, 0177, 0644, 0600}, {0, 022, 0600, 0600}, {0, 022, 0640, 0640}, {0, 022, 0604, 0604}, {0, 0, 0400, 0600},
      {0, 022, 0755, 0644}, {0, 022, 04755, 0644},
      // Existing outputs; the mask does not touch them.
      {0600, 077, 0644, 0600}, {0640, 077, 0644, 0640}, {0664, 077, 0644, 0664}, {0666, 077, 0644, 0666},
      {0700, 077, 0644, 0700}, {0755, 077, 0644, 0755}, {0604, 077, 0644, 0604}, {06755, 077, 0644, 0755},
      {04711, 077, 0644, 0711}, {01666, 077, 0644, 0666}, {0644, 077, 0600, 0600}, {0666, 077, 0640, 0662},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << "output " << c.existing << ", umask " << c.mask << ", input "
                                    << c.input);
    TempDir dir;
    dir.write("a.txt", kSjisText);
    ASSERT_EQ(chmod(dir.file("a.txt").c_str(), c.input), 0);
    if (c.existing != 0) {
      dir.write("a.euc", kOldOutput);
      ASSERT_EQ(chmod(dir.file("a.euc").c_str(), c.existing), 0);
    }
    Options options;
    options.creation_mask = c.mask;
    Program program({"-e", "a.txt"}, dir.path(), options);
    ASSERT_TRUE(program.wait());
    EXPECT_EQ(program.exit_status(), 0);
    EXPECT_EQ(mode_of(dir.file("a.euc")), c.expected) << std::oct << mode_of(dir.file("a.euc"));
    EXPECT_EQ(read_file(dir.file("a.euc")), kEucText);
    EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt"}));
  }
#endif
}

// The program as a user whom a file's permissions stop: the user nobody
// when the tests run as root (whom permission bits stop nothing), otherwise
// the test's own user; on Windows, whose read-only attribute stops every
// user, the test's own.
test::RunResult run_as_a_user(const Words& args, const std::string& dir) {
#if defined(_WIN32)
  return test::run_kotran(args, dir);
#else
  return test::permissions_apply() ? test::run_kotran(args, dir) : test::run_kotran_as_nobody(args, dir);
#endif
}

#if defined(_WIN32)
bool user_available() { return true; }
#else
bool user_available() { return test::permissions_apply() || test::can_run_as_nobody(); }
#endif

// An output that its owner made read-only is left alone, and the run goes on.
TEST(AtomicOutputMode, ExistingOutputThatMayNotBeWrittenIsRefused) {
  if (!user_available()) GTEST_SKIP() << "running as root and there is no user nobody";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kSjisText);
  dir.write("a.euc", kOldOutput);
  ASSERT_EQ(chmod(dir.file("a.euc").c_str(), 0444), 0);
  const test::RunResult r = run_as_a_user({"-e", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(CRLF + "a.euc: Permission denied" + CRLF + "b.txt: "), std::string::npos) << to_hex(r.err);
  EXPECT_EQ(read_file(dir.file("a.euc")), kOldOutput);
  EXPECT_EQ(mode_of(dir.file("a.euc")), 0444u);
  EXPECT_EQ(read_file(dir.file("b.euc")), kEucText);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt", "b.euc", "b.txt"}));
}

// In a shared folder (sticky, open to all), another user plants a symbolic
// link at the output name, pointing to a file of the user who converts. The
// link is refused: nothing is written through it, the file it points to and
// the link stay as they are, and the run goes on.
TEST(AtomicOutputMode, SymbolicLinkPlantedAtTheOutputNameIsRefused) {
#if defined(_WIN32)
  GTEST_SKIP() << "a sticky folder and the user nobody are POSIX's (reparse points planted: windows_kotran_test)";
#else
  if (!user_available()) GTEST_SKIP() << "running as root and there is no user nobody";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
  ASSERT_EQ(mkdir(dir.file("home").c_str(), 0755), 0);
  dir.write("home/precious.txt", kOldOutput);
  ASSERT_EQ(chmod(dir.file("home/precious.txt").c_str(), 0600), 0);
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kSjisText);
  if (!test::permissions_apply()) {
    // The victim's files are nobody's; the link is root's.
    const struct passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    for (const char* name : {"home", "home/precious.txt", "a.txt", "b.txt"})
      ASSERT_EQ(chown(dir.file(name).c_str(), nobody->pw_uid, nobody->pw_gid), 0) << name;
  }
  ASSERT_EQ(symlink(dir.file("home/precious.txt").c_str(), dir.file("a.euc").c_str()), 0);
  const test::RunResult r = run_as_a_user({"-e", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.euc"), std::string::npos) << to_hex(r.err);
  EXPECT_NE(r.err.find("(symbolic link)"), std::string::npos) << to_hex(r.err);
  struct stat st;
  ASSERT_EQ(lstat(dir.file("a.euc").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file(dir.file("home/precious.txt")), kOldOutput);
  EXPECT_EQ(mode_of(dir.file("home/precious.txt")), 0600u);
  EXPECT_EQ(read_file(dir.file("b.euc")), kEucText);
  EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
  EXPECT_EQ(temporaries(dir.file("home")), std::vector<std::string>{});
#endif
}

// ---- folders and inputs swapped by another user while the run goes on ----

#if !defined(_WIN32)
// How the shim names the creation of an output's file: one without a name,
// or where the build is for POSIX alone a named temporary.
#ifdef KOTRAN_PORTABLE
#define OUTPUT_CREATE(folder, nth) "mkostemp:PAUSE:" nth ":" folder "/.kotran-"
#else
#define OUTPUT_CREATE(folder, nth) "tmpfile:PAUSE:" nth ":" folder "/(unnamed)"
#endif

// The moment to swap at is made certain: the program is paused by the fault
// shim on a chosen call, another user (nobody) swaps a folder or a file with
// real commands, and the program goes on.
struct PausedRun {
  test::RunResult run;
  bool paused = false;
  test::RunResult swap;
};

// Runs the command line (sh -c, $KOTRAN the program that takes the shim)
// in dir as root, paused on the rule's call; the swap runs as nobody then.
PausedRun run_paused(const TempDir& dir, const std::string& command, const std::string& rule,
                     const std::string& swap) {
  const std::string pause = dir.file("paused");
  PausedRun result;
  std::thread program([&] {
    result.run = test::run_shell("KOTRAN=\"" KOTRAN_PRELOADABLE_EXE "\"; LD_PRELOAD=" KOTRAN_FAULT_SHIM
                                 " ASAN_OPTIONS=verify_asan_link_order=0 KOTRAN_FAULT='" +
                                     rule + "' KOTRAN_FAULT_PAUSE='" + pause + "' timeout 30 " + command,
                                 dir.path());
  });
  struct stat st;
  for (int i = 0; i < 1000 && stat(pause.c_str(), &st) != 0; ++i) sleep_ms(10);
  if (stat(pause.c_str(), &st) == 0) {
    result.paused = true;
    result.swap = test::run_shell_as_nobody(swap, dir.path());
    unlink(pause.c_str());
  }
  program.join();
  return result;
}

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void give_to_nobody(const TempDir& dir, const std::vector<std::string>& names) {
  const struct passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  for (const std::string& n : names)
    ASSERT_EQ(chown(dir.file(n).c_str(), nobody->pw_uid, nobody->pw_gid), 0) << n;
}
#endif

// Root converts a tree in a folder that nobody owns (outputs beside the
// inputs, or under an output tree nobody owns); nobody, at a certain moment,
// renames a folder the run uses and puts a link to root's own folder in
// its place. Nothing lands in root's folder: the outputs go on into the
// folder the run holds, and a folder that the run opens again after the
// swap is refused as not the one listed.
TEST(SwappedFolder, LinkPutInPlaceOfAFolderRedirectsNoOutput) {
#if defined(_WIN32)
  GTEST_SKIP() << "the preloaded fault library and the user nobody are POSIX's";
#else
  if (!test::can_run_as_nobody()) GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  struct Case {
    const char* label;
    std::string command;
    std::string rule;  // where the program pauses
    std::string swap;  // what nobody does then
    std::vector<std::string> moved;  // what the renamed folder holds after the run
    std::string message;  // a refusal the run says, or nothing
    int status;
  };
  const Case cases[] = {
      {"OutputTreeFolderSwappedBetweenTwoOutputs", "$KOTRAN -u -r --out-dir=shared big",
       OUTPUT_CREATE("shared/big", "2"), "mv shared/big shared/moved && ln -s ../root-only shared/big",
       {"a.utf8", "b.utf8", "c.utf8"}, "", 0},
      {"FolderBesideTheOutputsSwappedBetweenTwoOutputs", "$KOTRAN -u -r shared",
       OUTPUT_CREATE("shared/big", "2"), "mv shared/big shared/moved && ln -s ../root-only shared/big",
       {"a.txt", "a.utf8", "b.txt", "b.utf8", "c.txt", "c.utf8"}, "", 0},
      {"FolderSwappedBeforeItsFilesAreOpened", "$KOTRAN -u -r shared",
       OUTPUT_CREATE("shared", "1"), "mv shared/big shared/moved && ln -s ../root-only shared/big",
       {"a.txt", "b.txt", "c.txt"},
       "ERROR: shared/big/a.txt: 一覧を作った後で替わりました (its folder was replaced). 変換しません.",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("root-only").c_str(), 0700), 0);
    dir.write("root-only/a.txt", kSjisText);  // root's own text, which nobody may not have converted
    ASSERT_EQ(mkdir(dir.file("shared").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("big").c_str(), 0755), 0);
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) dir.write(std::string("big/") + n, kSjisText);
    dir.write("aa.txt", kSjisText);  // taken before the folder big
    if (c.command.find("--out-dir") == std::string::npos) {
      // The tree itself lies in nobody's folder.
      ASSERT_EQ(rename(dir.file("big").c_str(), dir.file("shared/big").c_str()), 0);
      ASSERT_EQ(rename(dir.file("aa.txt").c_str(), dir.file("shared/aa.txt").c_str()), 0);
      give_to_nobody(dir, {"shared", "shared/big", "shared/big/a.txt", "shared/big/b.txt", "shared/big/c.txt"});
    } else {
      give_to_nobody(dir, {"shared"});
    }
    const PausedRun r = run_paused(dir, c.command, c.rule, c.swap);
    ASSERT_TRUE(r.paused) << r.run.err;
    ASSERT_EQ(r.swap.status, 0) << r.swap.err;
    struct stat st;
    ASSERT_EQ(lstat(dir.file("shared/big").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));  // the swap was made
    EXPECT_EQ(r.run.status, c.status) << to_hex(r.run.err);
    EXPECT_EQ(names_in(dir.file("root-only")), Words{"a.txt"});
    EXPECT_EQ(names_in(dir.file("shared/moved")), c.moved);
    if (!c.message.empty()) {
      EXPECT_NE(readable(r.run.err).find(c.message), std::string::npos) << readable(r.run.err);
    }
  }
#endif
}

// A file of a tree that nobody owns is replaced, after the walk listed it
// and before the run opens it, by a FIFO, a link to an endless device, a
// link to root's own text, or another file: each is refused with what it
// became, nothing waits for ever, nothing is read through a link, and the
// run goes on with the next file.
TEST(SwappedInput, FileOfATreeReplacedAfterTheWalkIsRefused) {
#if defined(_WIN32)
  GTEST_SKIP() << "the preloaded fault library and the user nobody are POSIX's";
#else
  if (!test::can_run_as_nobody()) GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  struct Case {
    const char* label;
    std::string swap;
    std::string became;
  };
  const Case cases[] = {
      {"Fifo", "rm t/a.txt && mkfifo t/a.txt", "FIFO"},
      {"LinkToAnEndlessDevice", "rm t/a.txt && ln -s /dev/zero t/a.txt", "symbolic link"},
      {"LinkToAnotherUsersText", "rm t/a.txt && ln -s ../root-only/secret.txt t/a.txt", "symbolic link"},
      {"AnotherFile", "mv t/other.dat t/a.txt", "another file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("root-only").c_str(), 0700), 0);
    dir.write("root-only/secret.txt", kSjisText);
    ASSERT_EQ(mkdir(dir.file("t").c_str(), 0755), 0);
    dir.write("t/a.txt", kSjisText);
    dir.write("t/b.txt", kSjisText);
    dir.write("t/other.dat", hex("00 01"));
    give_to_nobody(dir, {"t", "t/a.txt", "t/b.txt", "t/other.dat"});
    const PausedRun r = run_paused(dir, "$KOTRAN -e -r t", "open:PAUSE:1:t/a.txt", c.swap);
    ASSERT_TRUE(r.paused) << r.run.err;
    ASSERT_EQ(r.swap.status, 0) << r.swap.err;
    EXPECT_EQ(r.run.status, 1) << to_hex(r.run.err);
    EXPECT_NE(r.run.err.find("ERROR: t/a.txt: "), std::string::npos) << to_hex(r.run.err);
    EXPECT_NE(r.run.err.find("(" + c.became + ")"), std::string::npos) << to_hex(r.run.err);
    EXPECT_FALSE(dir.exists("t/a.euc"));
    EXPECT_EQ(read_file(dir.file("t/b.euc")), kEucText);
  }
#endif
}

// A file named on the command line that becomes a FIFO before it is
// opened is refused at once, where a FIFO named as one waits for its
// writer as before (the FIFO tests).
TEST(SwappedInput, NamedFileReplacedByAFifoIsRefused) {
#if defined(_WIN32)
  GTEST_SKIP() << "the preloaded fault library and a FIFO are POSIX's";
#else
  if (!test::can_run_as_nobody()) GTEST_SKIP() << "needs to run as root with a user nobody (as CI does)";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("t").c_str(), 0755), 0);
  dir.write("t/a.txt", kSjisText);
  dir.write("t/b.txt", kSjisText);
  give_to_nobody(dir, {"t", "t/a.txt", "t/b.txt"});
  const PausedRun r = run_paused(dir, "$KOTRAN -e t/a.txt t/b.txt", "open:PAUSE:1:t/a.txt", "rm t/a.txt && mkfifo t/a.txt");
  ASSERT_TRUE(r.paused) << r.run.err;
  EXPECT_EQ(r.run.status, 1) << to_hex(r.run.err);
  EXPECT_NE(r.run.err.find("(FIFO)"), std::string::npos) << to_hex(r.run.err);
  EXPECT_EQ(read_file(dir.file("t/b.euc")), kEucText);
#endif
}

// An ACL that cannot be given to the new text (refused here by the fault
// shim, as a file system or a security module may refuse it) leaves the
// file as it was, says why, and the run goes on.
TEST(KeptAttributes, AclThatCannotBeSetLeavesTheFileAlone) {
#if defined(_WIN32)
  GTEST_SKIP() << "POSIX ACLs and the preloaded fault library";
#else
#ifdef KOTRAN_PORTABLE
  GTEST_SKIP() << "the build for POSIX alone keeps no extended attributes";
#endif
  if (std::system("command -v setfacl >/dev/null 2>&1") != 0) GTEST_SKIP() << "setfacl is missing (tools/setup.sh test)";
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("b.txt", kSjisText);
  if (test::run_shell("setfacl -m u:nobody:--- a.txt b.txt", dir.path()).status != 0)
    GTEST_SKIP() << "the file system of the temporary folders keeps no ACLs";
  const test::RunResult r = test::run_shell(
      "LD_PRELOAD=" KOTRAN_FAULT_SHIM " ASAN_OPTIONS=verify_asan_link_order=0 KOTRAN_FAULT=fsetxattr:ENOTSUP:1 "
      "\"" KOTRAN_PRELOADABLE_EXE "\" -e --in-place=.orig a.txt b.txt",
      dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(readable(r.err).find("ERROR: a.txt: 拡張属性 (ACL) を付けられません (Operation not supported). 書きません."),
            std::string::npos)
      << readable(r.err);
  EXPECT_EQ(read_file(dir.file("a.txt")), kSjisText);
  EXPECT_EQ(read_file(dir.file("b.txt")), kEucText);
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt", "b.txt.orig"}));
  // Under --json: a failed line with the cause and the host's errno name.
  TempDir json;
  json.write("a.txt", kSjisText);
  ASSERT_EQ(test::run_shell("setfacl -m u:nobody:--- a.txt", json.path()).status, 0);
  const test::RunResult j = test::run_shell(
      "LD_PRELOAD=" KOTRAN_FAULT_SHIM " ASAN_OPTIONS=verify_asan_link_order=0 KOTRAN_FAULT=fsetxattr:ENOTSUP:1 "
      "\"" KOTRAN_PRELOADABLE_EXE "\" -e --in-place=.orig --json a.txt",
      json.path());
  EXPECT_EQ(j.status, 1);
  EXPECT_EQ(j.out.substr(0, j.out.find('\n') + 1),
            R"({"type":"failed","file":"a.txt","source":"Shift-JIS","target":"EUC","output":"a.txt","backup":"a.txt.orig",)"
            R"("replaced":0,"cause":"attributes_not_kept","errno":"ENOTSUP",)"
            R"("message":"its extended attributes (ACL) cannot be set (Operation not supported). Not written."})" "\n");
  EXPECT_EQ(json.names(), Words{"a.txt"});
#endif
}

// A run killed outright while a replaced output has its temporary name
// (between naming the new text and renaming it over the old) leaves that
// temporary; a later run over the folder removes it, but never one that
// a running conversion still holds.
TEST(StaleTemporary, LeftByAKilledRunIsRemovedByTheNextWalk) {
#if defined(_WIN32)
  GTEST_SKIP() << "the preloaded fault library and a shell's kill -KILL are POSIX's";
#else
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("t").c_str(), 0755), 0);
  dir.write("t/a.txt", kSjisText);
  dir.write("t/b.txt", kSjisText);
  const std::string pause = dir.file("paused");
  const std::string env = "LD_PRELOAD=" KOTRAN_FAULT_SHIM " ASAN_OPTIONS=verify_asan_link_order=0 KOTRAN_FAULT_PAUSE=" +
                          pause + " KOTRAN_FAULT=rename:PAUSE:1:t/.kotran- ";
  const test::RunResult started = test::run_shell(
      env + "\"" KOTRAN_PRELOADABLE_EXE "\" -e --in-place t/a.txt >/dev/null 2>&1 & echo $! > pid; "
            "while [ ! -e paused ]; do sleep 0.01; done; "
            // A run over the folder while the temporary is held leaves it.
            "\"$KOTRAN\" -g -r t >/dev/null 2>&1; ls -a t | grep -c '^.kotran-' > held; "
            "kill -KILL $(cat pid); wait; rm -f paused; ls -a t | grep -c '^.kotran-' > left",
      dir.path());
  EXPECT_EQ(started.status, 0) << started.err;
  EXPECT_EQ(dir.read("held"), "1\n");
  EXPECT_EQ(dir.read("left"), "1\n");  // the kill left the temporary
  EXPECT_EQ(read_file(dir.file("t/a.txt")), kSjisText);
  const test::RunResult next = test::run_kotran({"-e", "-r", "t"}, dir.path());
  EXPECT_EQ(next.status, 0) << to_hex(next.err);
  EXPECT_EQ(temporaries(dir.file("t")), Words{});
  EXPECT_EQ(read_file(dir.file("t/a.euc")), kEucText);
#endif
}

}  // namespace
}  // namespace kotran
