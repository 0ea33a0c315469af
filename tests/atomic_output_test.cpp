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
#include <pwd.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::kEucText;
using test::kSjisText;
using test::read_file;
using test::repeat;
using test::TempDir;
using test::temporaries;
using test::to_hex;

using Words = std::vector<std::string>;

const std::string CRLF = "\r\n";

const std::string kOldOutput = "an earlier output\r\n";

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

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : static_cast<mode_t>(-1);
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
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 5000)));
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
    ASSERT_TRUE(writer.write_all(repeat(kSjisText, 5000)));
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
    EXPECT_EQ(got.size(), kEucText.size() * 6000);
    EXPECT_TRUE(got == repeat(kEucText, 6000));
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
  ASSERT_TRUE(writer.write_all(repeat(kSjisText, 5000)));
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
  EXPECT_TRUE(read_file(dir.file("p.euc")) == repeat(kEucText, 6000));
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

// ---------------------------------------------------------------------------
// Modes of the output.

// A new output gets 0644 less the creation mask; an existing one keeps its
// permission bits, no more (never set-user-ID, set-group-ID or sticky); and
// neither is readable by group or others where the input is not.
TEST(AtomicOutputMode, OutputPermissionBits) {
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
}

// The program as the user nobody when the tests run as root (whom permission
// bits stop nothing), otherwise as the test's own user.
test::RunResult run_as_a_user(const Words& args, const std::string& dir) {
  return test::permissions_apply() ? test::run_kotran(args, dir) : test::run_kotran_as_nobody(args, dir);
}

bool user_available() { return test::permissions_apply() || test::can_run_as_nobody(); }

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
}

}  // namespace
}  // namespace kotran
