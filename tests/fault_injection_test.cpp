// The program as a process when the system fails it: writes that fail (a
// full disk, a failing medium, a file size limit, a full or broken standard
// output), closes and renames that fail, reads that fail before and during a
// conversion, outputs that cannot be created, inputs that are directories,
// missing or named pipes. Each case checks the report line, the exit status,
// that no incomplete output stands under the output name (an earlier output
// keeps its bytes), that no temporary file is left, and that the run goes on
// or ends as it must.
//
// Failures are made by a small library preloaded into the program
// (fault_shim.c), driven by KOTRAN_FAULT; it logs every failure it makes, so
// each case also checks that its fault was met.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "sample_text.h"
#include "test_util.h"

#if !defined(_WIN32)
extern char** environ;
#endif

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
using test::repeat;
using test::TempDir;
using test::temporaries;
using test::to_hex;
using test::after_banner;

using Words = std::vector<std::string>;

const std::string CRLF = "\r\n";

// "あ" and "い", one line each.
const std::string kSjisAI = hex("82 A0 0D 0A 82 A2 0D 0A");
const std::string kEucAI = hex("A4 A2 0D 0A A4 A4 0D 0A");

// " 変換." and "  出力ファイル: " of the conversion messages.
const std::string kConvertingTail = hex("20 95 CF 8A B7 2E");
const std::string kOutputFileHead = hex("20 20 8F 6F 97 CD 83 74 83 40 83 43 83 8B 3A 20");
const std::string kSjisToEuc = "Shift-JIS -> EUC";

std::string m4(const std::string& file) { return file + ": " + kSjisToEuc + kConvertingTail + CRLF; }
std::string m6(const std::string& output) { return kOutputFileHead + output + CRLF; }
std::string report(const std::string& name, const std::string& text) { return name + ": " + text + CRLF; }

// Enough text for several 64 KiB input blocks and many output blocks.
const size_t kBigRepeat = 12000;  // 576 000 bytes of Shift-JIS, more than two blocks of an output file

// The faults are made by a library preloaded into the program, as POSIX's
// loader does; Windows' loader takes none.
#if defined(_WIN32)
constexpr const char* kShim = "the faults are made by a library preloaded into the program, as POSIX's loader does";
#endif

#if !defined(_WIN32)
bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// ---------------------------------------------------------------------------
// Running the program with faults, limits and chosen standard streams.

struct Launch {
  Words args;
  std::string dir = ".";
  std::string fault;  // KOTRAN_FAULT; empty: the program runs without the shim
  std::string stdout_path;  // empty: captured
  int stdout_fd = -1;       // a descriptor to take as standard output instead
  std::string stderr_path;  // empty: captured
  bool stderr_to_stdout = false;  // standard error shares standard output's open file
  rlim_t file_size_limit = RLIM_INFINITY;
  std::vector<int> ignored_signals;
  std::vector<int> closed_descriptors;  // standard streams the program starts without
};

struct Outcome {
  int status = -1;  // exit status; -1 when a signal ended the program
  int signal = 0;
  std::string out;
  std::string err;
  std::string fault_log;  // the failures the shim made, one per line
};

// Environment entries of the process, with the given ones added or replacing.
std::vector<std::string> environment_with(const std::vector<std::string>& entries) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& x : entries)
      if (x.compare(0, name.size() + 1, name + "=") == 0) replaced = true;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), entries.begin(), entries.end());
  return env;
}

Outcome run(const Launch& launch) {
  TempDir capture;
  const std::string out_file = launch.stdout_path.empty() ? capture.file("stdout") : launch.stdout_path;
  const std::string err_file = launch.stderr_path.empty() ? capture.file("stderr") : launch.stderr_path;
  const std::string log_file = capture.file("fault.log");

  std::vector<std::string> extra;
  if (!launch.fault.empty()) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    extra.push_back(KOTRAN_PRELOAD_VARIABLE "=" KOTRAN_FAULT_SHIM);
    extra.push_back("KOTRAN_FAULT=" + launch.fault);
    extra.push_back("KOTRAN_FAULT_LOG=" + log_file);
    // The shim comes before the sanitizer runtime in the list of libraries.
    extra.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") +
                    "verify_asan_link_order=0");
  }
  std::vector<std::string> env_strings = environment_with(extra);
  std::vector<char*> env;
  for (auto& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);
  // With a fault to inject, the program linked against the shared C library,
  // which takes the preloaded shim; otherwise the program as installed.
  const char* exe = launch.fault.empty() ? KOTRAN_EXE : KOTRAN_PRELOADABLE_EXE;
  std::vector<std::string> argv_strings{exe};
  argv_strings.insert(argv_strings.end(), launch.args.begin(), launch.args.end());
  std::vector<char*> argv;
  for (auto& a : argv_strings) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return {};
  }
  if (pid == 0) {
    if (chdir(launch.dir.c_str()) != 0) _exit(120);
    const int in = open("/dev/null", O_RDONLY);
    const int out = launch.stdout_fd >= 0 ? launch.stdout_fd : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(launch.stderr_to_stdout ? 1 : err, 2);
    for (int fd : launch.closed_descriptors) close(fd);
    // The program starts with every signal at its default, unblocked,
    // whatever the test runner was given.
    for (int sig = 1; sig < NSIG; ++sig)
      if (sig != SIGKILL && sig != SIGSTOP) signal(sig, SIG_DFL);
    for (int sig : launch.ignored_signals) signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (launch.file_size_limit != RLIM_INFINITY) {
      const struct rlimit limit = {launch.file_size_limit, launch.file_size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(122);
    }
    execve(exe, argv.data(), env.data());
    _exit(127);
  }
  // A program that hangs fails the case instead of the whole test run.
  int wstatus = 0;
  bool ended = false;
  for (int waited_ms = 0; waited_ms < 120000; waited_ms += 5) {
    const pid_t r = waitpid(pid, &wstatus, WNOHANG);
    if (r == pid) {
      ended = true;
      break;
    }
    const struct timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
    ADD_FAILURE() << "the program did not end within two minutes";
  }
  Outcome o;
  if (WIFEXITED(wstatus)) {
    o.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    o.signal = WTERMSIG(wstatus);
  }
  if (launch.stdout_path.empty() && launch.stdout_fd < 0) o.out = read_file(out_file);
  if (launch.stderr_path.empty()) o.err = read_file(err_file);
  o.fault_log = read_file(log_file);
  return o;
}

// A writer process that feeds a named pipe: it opens the pipe (waiting for
// its reader), writes the text in pieces with short pauses, and closes it.
class PipeFeeder {
 public:
  PipeFeeder(const std::string& fifo, const std::string& text, size_t piece, long pause_us) {
    pid_ = fork();
    if (pid_ != 0) return;
    signal(SIGPIPE, SIG_DFL);
    const int fd = open(fifo.c_str(), O_WRONLY);
    if (fd < 0) _exit(3);
    for (size_t at = 0; at < text.size();) {
      const size_t n = text.size() - at < piece ? text.size() - at : piece;
      const ssize_t w = write(fd, text.data() + at, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        _exit(4);
      }
      at += static_cast<size_t>(w);
      const struct timespec p = {0, pause_us * 1000};
      if (pause_us > 0) nanosleep(&p, nullptr);
    }
    close(fd);
    _exit(0);
  }
  ~PipeFeeder() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // The writer's exit status, waiting at most a few seconds.
  int finish() {
    int wstatus = 0;
    for (int i = 0; i < 2000; ++i) {
      if (waitpid(pid_, &wstatus, WNOHANG) == pid_) {
        done_ = true;
        return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
      }
      const struct timespec p = {0, 5 * 1000 * 1000};
      nanosleep(&p, nullptr);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
};

// ---------------------------------------------------------------------------
// Faults on a run of three files a/x.txt (large), b/x.txt and c/x.txt, each
// in its own directory so that a fault can aim at one file's output.
//
// Each case runs twice: with the output written to a file that has no name
// until it is complete, and as on a file system without such files, where
// it is written to a named temporary. In a fault rule "create" and "place"
// stand for the calls that make and name the output's file, and "@" for its
// name (see fault_shim.c).

enum class Effect {
  none,              // a passing fault: everything converts
  output_fails,      // M4, M6, report with the output name; the run goes on
  input_fails_late,  // M4, M6, report with the input name; the run goes on
  input_fails_early, // only the report with the input name; the run goes on
};

struct FaultRow {
  const char* label;
  std::string fault;
  Effect effect;
  int file;                  // 0 a, 1 b, 2 c: the file that fails; -1 none
  std::vector<int> also;     // more files that fail the same way
  const char* text;          // the report's text
  bool needs_existing = false;  // the fault is met only when outputs exist
};

struct FaultCase {
  FaultRow row;
  bool existing;  // outputs exist before the run, with known bytes
  bool named;     // the file system has no unnamed files
};

// The rule as the shim takes it, for an unnamed or a named output file; a
// named one takes a new name by a link and an existing one by a rename.
std::string expand_fault(const std::string& fault, bool named, bool existing) {
  std::string out;
  for (size_t i = 0; i < fault.size(); ++i) {
    const bool rule_start = i == 0 || fault[i - 1] == ';';
    if (rule_start && fault.compare(i, 7, "create:") == 0) {
      out += named ? "mkostemp" : "tmpfile";
      i += 5;
    } else if (rule_start && fault.compare(i, 6, "place:") == 0) {
      out += named && existing ? "rename" : "link";
      i += 4;
    } else if (fault[i] == '@') {
      out += named ? ".kotran-" : "(unnamed)";
    } else {
      out += fault[i];
    }
  }
  // A file system without unnamed files refuses them so.
  if (named && !out.empty()) out += ";tmpfile:EOPNOTSUPP:1+";
  return out;
}

const char* const kNames[3] = {"a", "b", "c"};

// Whether outputs in the folder set disk room aside ahead of their writes.
bool sets_room_aside(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool pays = fd >= 0 && kotran::platform::room_pays(fd);
  if (fd >= 0) close(fd);
  return pays;
}

std::string input_name(int i) { return std::string(kNames[i]) + "/x.txt"; }
std::string output_name(int i) { return std::string(kNames[i]) + "/x.euc"; }
std::string old_output(int i) { return std::string("old ") + kNames[i] + "\r\n"; }
std::string input_text(int i) { return i == 0 ? repeat(kSjisText, kBigRepeat) : i == 1 ? kSjisAI : kSjisText; }
std::string converted_text(int i) { return i == 0 ? repeat(kEucText, kBigRepeat) : i == 1 ? kEucAI : kEucText; }

std::vector<FaultRow> fault_rows() {
  const char* no_space = "No space left on device";
  const char* denied = "Permission denied";
  const char* io_error = "Input/output error";
  const char* read_only = "Read-only file system";
  return {
      // Writes of the output.
      {"FirstWriteNoSpace", "write:ENOSPC:1:a/@", Effect::output_fails, 0, {}, no_space},
      {"MiddleWriteNoSpace", "write:ENOSPC:2:a/@", Effect::output_fails, 0, {}, no_space},
      {"DiskStaysFull", "write:ENOSPC:2+:@", Effect::output_fails, 0, {1, 2}, no_space},
      {"QuotaExceeded", "write:EDQUOT:1:c/@", Effect::output_fails, 2, {}, no_space},
      {"WriteIoError", "write:EIO:3:a/@", Effect::output_fails, 0, {}, io_error},
      {"WriteTooLarge", "write:EFBIG:2:a/@", Effect::output_fails, 0, {}, "File too large"},
      // A small output is written once, when it is closed.
      {"OnlyWriteAtCloseNoSpace", "write:ENOSPC:1:b/@", Effect::output_fails, 1, {}, no_space},
      {"MediumFailsHalfway", "write:EIO:1+:a/@:65536", Effect::output_fails, 0, {}, io_error},
      // Closing the output and putting it under its name.
      {"CloseIoError", "close:EIO:1:a/@", Effect::output_fails, 0, {}, io_error},
      {"CloseNoSpace", "close:ENOSPC:1:b/@", Effect::output_fails, 1, {}, no_space},
      {"PlaceIoError", "place:EIO:1:a/@", Effect::output_fails, 0, {}, io_error},
      {"PlaceNoSpace", "place:ENOSPC:1:b/@", Effect::output_fails, 1, {}, no_space},
      {"PlaceOnAMediumTurnedReadOnly", "place:EROFS:1:c/@", Effect::output_fails, 2, {}, read_only},
      {"RenameAcrossDevices", "rename:EXDEV:1:b/.kotran-", Effect::output_fails, 1, {}, "Improper link", true},
      // Something took the free output name while the text was written.
      {"NameTakenMeanwhile", "link:EEXIST:1:b/(unnamed) -> b/x.euc", Effect::output_fails, 1, {}, "File exists"},
      // Reads of the input: during recognition, and past the first block.
      {"FirstReadIoError", "read:EIO:1:b/x.txt", Effect::input_fails_early, 1, {}, io_error},
      // Recognition reads the first block once and decides within it; the
      // second read is the conversion's first.
      {"SecondReadIoError", "read:EIO:2:a/x.txt", Effect::input_fails_late, 0, {}, io_error},
      {"ReadIoErrorPastFirstBlock", "read:EIO:1:a/x.txt:65536", Effect::input_fails_late, 0, {}, io_error},
      {"ReadIoErrorNearTheEnd", "read:EIO:1:a/x.txt:524288", Effect::input_fails_late, 0, {}, io_error},
      // Opening the input.
      {"InputRefused", "open:EACCES:1:b/x.txt", Effect::input_fails_early, 1, {}, denied},
      {"NoDescriptorForInput", "open:EMFILE:1:b/x.txt", Effect::input_fails_early, 1, {}, "Too many open files"},
      {"NoDescriptorInSystem", "open:ENFILE:1:a/x.txt", Effect::input_fails_early, 0, {}, "Too many open files"},
      {"InputIsALinkLoop", "open:ELOOP:1:b/x.txt", Effect::input_fails_early, 1, {},
       "Too many levels of symbolic links"},
      {"InputOnAFailingMedium", "open:EIO:1:c/x.txt", Effect::input_fails_early, 2, {}, io_error},
      // Creating the output: that file fails, the run goes on.
      {"DirectoryRefusesNewFile", "create:EACCES:1:b/@", Effect::output_fails, 1, {}, denied},
      {"ReadOnlyFileSystem", "create:EROFS:1:b/@", Effect::output_fails, 1, {}, read_only},
      {"NoRoomForNewFile", "create:ENOSPC:1:a/@", Effect::output_fails, 0, {}, no_space},
      {"NoDescriptorForOutput", "create:EMFILE:1:b/@", Effect::output_fails, 1, {}, "Too many open files"},
      {"ModeCannotBeSet", "fchmod:EPERM:1:b/@", Effect::output_fails, 1, {}, denied},
      {"ExistingOutputNotWritable", "access:EACCES:1:b/x.euc", Effect::output_fails, 1, {}, denied, true},
      {"ExistingOutputOnReadOnlyMedium", "access:EROFS:1:a/x.euc", Effect::output_fails, 0, {}, read_only, true},
      // Faults that a retry or a loop absorbs: everything converts.
      {"InterruptedWrite", "write:EINTR:2:a/@", Effect::none, -1, {}, ""},
      {"InterruptedRead", "read:EINTR:3:a/x.txt", Effect::none, -1, {}, ""},
      {"InterruptedOpen", "open:EINTR:1:b/x.txt", Effect::none, -1, {}, ""},
      {"ShortWrites", "write:SHORT:1+:@", Effect::none, -1, {}, ""},
      {"ShortReads", "read:SHORT:1+:x.txt", Effect::none, -1, {}, ""},
      // Disk room set aside ahead of the writes (ext4): none to be had is
      // no failure; room that cannot be given back fails the output.
      {"NoRoomToSetAside", "fallocate:ENOSPC:1+:a/@", Effect::none, -1, {}, ""},
      {"RoomNotGivenBack", "ftruncate:EIO:1:a/@", Effect::output_fails, 0, {}, io_error},
  };
}

std::vector<FaultCase> fault_cases() {
  std::vector<FaultCase> cases;
  for (const FaultRow& row : fault_rows()) {
    for (bool named : {false, true}) {
      if (!named && !kUnnamedFiles) continue;
      // A free name is taken at once only by an unnamed file.
      if (named && row.fault.find("(unnamed)") != std::string::npos) continue;
      // A name is taken meanwhile only where none stood before.
      const bool only_new = row.fault.find("EEXIST") != std::string::npos;
      if (!row.needs_existing) cases.push_back({row, false, named});
      if (!only_new) cases.push_back({row, true, named});
    }
  }
  return cases;
}

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.row.label << " (" << expand_fault(c.row.fault, c.named, c.existing)
      << (c.existing ? ", over old outputs)" : ", new outputs)");
}

class FaultInjectionRun : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjectionRun, ReportsKeepsOutputsWholeAndGoesOn) {
  const FaultRow& row = GetParam().row;
  const bool existing = GetParam().existing;
  TempDir dir;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(mkdir(dir.file(kNames[i]).c_str(), 0755), 0);
    dir.write(input_name(i), input_text(i));
    if (existing) dir.write(output_name(i), old_output(i));
  }
  Launch launch;
  launch.args = {"-e", input_name(0), input_name(1), input_name(2)};
  launch.dir = dir.path();
  launch.fault = expand_fault(row.fault, GetParam().named, GetParam().existing);
  const std::string call = launch.fault.substr(0, launch.fault.find(':'));
  if ((call == "fallocate" || call == "ftruncate") && !sets_room_aside(dir.path()))
    GTEST_SKIP() << "room is set aside ahead of the writes on ext4 alone";
  const Outcome o = run(launch);

  EXPECT_NE(o.fault_log.find(call + " "), std::string::npos) << "the fault " << launch.fault << " was never met";
  auto fails = [&](int i) {
    if (i == row.file) return true;
    for (int j : row.also)
      if (j == i) return true;
    return false;
  };
  std::string expected_err;
  for (int i = 0; i < 3; ++i) {
    if (!fails(i)) {
      expected_err += m4(input_name(i)) + m6(output_name(i));
      continue;
    }
    switch (row.effect) {
      case Effect::input_fails_early:
        expected_err += report(input_name(i), row.text);
        break;
      case Effect::input_fails_late:
        expected_err += m4(input_name(i)) + m6(output_name(i)) + report(input_name(i), row.text);
        break;
      case Effect::output_fails:
        expected_err += m4(input_name(i)) + m6(output_name(i)) + report(output_name(i), row.text);
        break;
      case Effect::none:
        break;
    }
  }
  EXPECT_EQ(after_banner(o.err), expected_err) << "as hex: " << to_hex(after_banner(o.err));
  EXPECT_EQ(o.status, row.effect == Effect::none ? 0 : 1);
  EXPECT_EQ(o.out, "");

  for (int i = 0; i < 3; ++i) {
    const std::string out = dir.file(output_name(i));
    EXPECT_EQ(temporaries(dir.file(kNames[i])), std::vector<std::string>{}) << kNames[i];
    EXPECT_EQ(read_file(dir.file(input_name(i))), input_text(i)) << "input " << i << " changed";
    if (fails(i)) {
      if (existing) {
        EXPECT_EQ(read_file(out), old_output(i)) << output_name(i) << " lost its old bytes";
      } else {
        EXPECT_FALSE(exists(out)) << output_name(i) << " stands, " << read_file(out).size() << " bytes";
      }
    } else {
      const std::string got = read_file(out);
      EXPECT_EQ(got.size(), converted_text(i).size()) << output_name(i);
      EXPECT_TRUE(got == converted_text(i)) << output_name(i) << " differs from its conversion";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultInjectionRun, ::testing::ValuesIn(fault_cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.row.label) + (info.param.named ? "_Named" : "_Unnamed") +
                                  (info.param.existing ? "_OverOldOutput" : "_NewOutput");
                         });
#else
TEST(FaultInjectionRun, ReportsKeepsOutputsWholeAndGoesOn) { GTEST_SKIP() << kShim; }
#endif  // !defined(_WIN32)

// ---------------------------------------------------------------------------
// Standard output under -c.

TEST(FaultInjectionStdout, FullDeviceIsReportedForEachFileAndTheRunGoesOn) {
#if defined(_WIN32)
  GTEST_SKIP() << "/dev/full is POSIX's";
#else
  TempDir dir;
  dir.write("a.txt", repeat(kSjisText, kBigRepeat));
  dir.write("b.txt", kSjisText);
  Launch launch;
  launch.args = {"-c", "-e", "a.txt", "missing.txt", "b.txt"};
  launch.dir = dir.path();
  launch.stdout_path = "/dev/full";
  const Outcome o = run(launch);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), report("standard output", "No space left on device") +
                                     report("missing.txt", "No such file or directory") +
                                     report("standard output", "No space left on device"));
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.txt"}));
#endif
}

TEST(FaultInjectionStdout, ClosedPipeIsABrokenPipe) {
#if defined(_WIN32)
  GTEST_SKIP() << "a pipe's SIGPIPE is POSIX's (a pipe whose reader quits: windows_kotran_test)";
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);  // nobody reads
  Launch launch;
  launch.args = {"-c", "-e", "a.txt"};
  launch.dir = dir.path();
  launch.stdout_fd = fds[1];
  launch.ignored_signals = {SIGPIPE};
  const Outcome o = run(launch);
  close(fds[1]);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), report("standard output", "Broken pipe"));
#endif
}

TEST(FaultInjectionStdout, ClosedPipeWithoutIgnoringTheSignalEndsTheProgram) {
#if defined(_WIN32)
  GTEST_SKIP() << "a pipe's SIGPIPE is POSIX's (a pipe whose reader quits: windows_kotran_test)";
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  Launch launch;
  launch.args = {"-c", "-e", "a.txt"};
  launch.dir = dir.path();
  launch.stdout_fd = fds[1];
  const Outcome o = run(launch);
  close(fds[1]);
  EXPECT_EQ(o.signal, SIGPIPE);
#endif
}

TEST(FaultInjectionStdout, WriteErrorOnARedirectedStdout) {
#if defined(_WIN32)
  GTEST_SKIP() << kShim;
#else
  struct Case {
    std::string fault;
    std::string text;
  };
  for (const Case& c : {Case{"write:EIO:2:<stdout>", "Input/output error"},
                        Case{"write:ENOSPC:1:<stdout>", "No space left on device"},
                        Case{"write:EFBIG:3:<stdout>", "File too large"}}) {
    SCOPED_TRACE(c.fault);
    TempDir dir;
    dir.write("a.txt", repeat(kSjisText, kBigRepeat));
    dir.write("b.txt", kSjisText);
    Launch launch;
    launch.args = {"-c", "-e", "a.txt", "b.txt"};
    launch.dir = dir.path();
    launch.fault = c.fault;
    const Outcome o = run(launch);
    EXPECT_NE(o.fault_log, "");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(after_banner(o.err), report("standard output", c.text));
    // The second file still goes out whole after the first one's text.
    const std::string b = kEucText;
    ASSERT_GE(o.out.size(), b.size());
    EXPECT_EQ(to_hex(o.out.substr(o.out.size() - b.size())), to_hex(b));
  }
#endif
}

TEST(FaultInjectionStdout, ReadErrorUnderConsoleOutputNamesTheInput) {
#if defined(_WIN32)
  GTEST_SKIP() << kShim;
#else
  TempDir dir;
  dir.write("a.txt", repeat(kSjisText, kBigRepeat));
  dir.write("b.txt", kSjisText);
  Launch launch;
  launch.args = {"-c", "-e", "a.txt", "b.txt"};
  launch.dir = dir.path();
  launch.fault = "read:EIO:1:a.txt:65536";
  const Outcome o = run(launch);
  EXPECT_NE(o.fault_log, "");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), report("a.txt", "Input/output error"));
  // What a's first block gave, then b whole.
  const std::string full_a = repeat(kEucText, kBigRepeat);
  ASSERT_GT(o.out.size(), kEucText.size());
  const std::string a_part = o.out.substr(0, o.out.size() - kEucText.size());
  EXPECT_LT(a_part.size(), full_a.size());
  EXPECT_TRUE(full_a.compare(0, a_part.size(), a_part) == 0) << "the first file's text is not a prefix";
  EXPECT_EQ(to_hex(o.out.substr(a_part.size())), to_hex(kEucText));
#endif
}

TEST(FaultInjectionStdout, ReadErrorReportFallsAfterTheWholeBlocksOfStandardOutput) {
#if defined(_WIN32)
  GTEST_SKIP() << kShim;
#else
  // Standard output and standard error in one file: the report comes after
  // the whole 4096-byte blocks of the text written before it, and before
  // the part of a block that was still held, however much output is held.
  TempDir dir;
  dir.write("a.txt", repeat(kSjisText, kBigRepeat));
  Launch launch;
  launch.args = {"-c", "-j", "-l", "a.txt"};
  launch.dir = dir.path();
  launch.fault = "read:EIO:1:a.txt:131072";
  const Outcome apart = run(launch);
  EXPECT_NE(apart.fault_log, "");
  EXPECT_EQ(apart.status, 1);
  EXPECT_EQ(after_banner(apart.err), report("a.txt", "Input/output error"));
  const size_t whole = apart.out.size() / 4096 * 4096;
  // More than a hold of standard output is written before the report.
  ASSERT_GE(apart.out.size() % 65536, 4096u) << apart.out.size();

  launch.stderr_to_stdout = true;
  const Outcome together = run(launch);
  EXPECT_EQ(together.status, 1);
  const std::string expected = apart.out.substr(0, whole) + apart.err + apart.out.substr(whole);
  ASSERT_EQ(together.out.size(), expected.size());
  EXPECT_TRUE(together.out == expected) << "report at " << together.out.find("Yomikae") << ", expected at " << whole;
#endif
}

TEST(FaultInjectionStderr, UnwritableStandardErrorStopsNoConversion) {
#if defined(_WIN32)
  GTEST_SKIP() << kShim;
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  Launch launch;
  launch.args = {"-e", "a.txt"};
  launch.dir = dir.path();
  launch.stderr_path = "/dev/full";
  const Outcome o = run(launch);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(dir.read("a.euc"), kEucText);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt"}));
#endif
}

// ---------------------------------------------------------------------------
// A file size limit: the write fails with EFBIG once the limit is reached
// (the signal it would raise is ignored).

TEST(FaultInjectionFileSize, OutputOverTheLimitIsDroppedAndTheRunGoesOn) {
#if defined(_WIN32)
  GTEST_SKIP() << "a file size limit (RLIMIT_FSIZE) is POSIX's";
#else
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "over an old output" : "new output");
    TempDir dir;
    dir.write("a.txt", repeat(kSjisText, kBigRepeat));  // its output passes the limit
    dir.write("b.txt", kSjisText);                       // its output does not
    if (existing) dir.write("a.euc", "old a\r\n");
    Launch launch;
    launch.args = {"-e", "a.txt", "b.txt"};
    launch.dir = dir.path();
    launch.file_size_limit = 20000;  // as a shell's ulimit sets it, the signal at its default
    const Outcome o = run(launch);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(after_banner(o.err), m4("a.txt") + m6("a.euc") + report("a.euc", "File too large") + m4("b.txt") +
                                       m6("b.euc"));
    if (existing) {
      EXPECT_EQ(dir.read("a.euc"), "old a\r\n");
    } else {
      EXPECT_FALSE(dir.exists("a.euc"));
    }
    EXPECT_EQ(dir.read("b.euc"), kEucText);
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
  }
#endif
}

// ---------------------------------------------------------------------------
// Limits and closed streams as a user meets them: through a shell.

// A shell's ulimit -f: the output over the limit is reported as too large,
// leaves nothing behind, and the run goes on; the same for standard output.
TEST(FaultInjectionShell, FileSizeLimitOfTheShell) {
#if defined(_WIN32)
  GTEST_SKIP() << "a shell's ulimit -f is POSIX's";
#else
  TempDir dir;
  dir.write("a.txt", repeat(kSjisText, kBigRepeat));  // 576 000 bytes out, over 32 KiB
  dir.write("b.txt", kSjisText);
  test::RunResult r = test::run_shell("ulimit -f 64 && exec \"$KOTRAN\" -e a.txt b.txt", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), m4("a.txt") + m6("a.euc") + report("a.euc", "File too large") + m4("b.txt") +
                                     m6("b.euc"));
  EXPECT_EQ(dir.read("b.euc"), kEucText);
  EXPECT_EQ(dir.names(), (Words{"a.txt", "b.euc", "b.txt"}));
  r = test::run_shell("ulimit -f 64 && exec \"$KOTRAN\" -c -e a.txt > out.euc", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after_banner(r.err), report("standard output", "File too large"));
  // Under a limit of 1 MiB the output fits, though the disk room it sets
  // aside ahead of its writes would reach past the limit.
  r = test::run_shell("ulimit -f 2048 && exec \"$KOTRAN\" -e a.txt", dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(dir.read("a.euc") == repeat(kEucText, kBigRepeat));
#endif
}

// Output that cannot reach standard output is never success: closed (>&-)
// or a full device, for -c, -g, --help and --version. A closed standard
// input is no empty text: it is reported as cat reports it.
TEST(FaultInjectionShell, LostStandardOutputIsReported) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX shell's redirections";
#else
  struct Case {
    const char* command;
    const char* name;  // the stream reported
    const char* text;
    bool banner;  // the run's banner stands first on standard error
  };
  const Case cases[] = {
      {"-g a.txt >&-", "standard output", "Bad file descriptor", true},
      {"-g a.txt >/dev/full", "standard output", "No space left on device", true},
      {"-c -e a.txt >&-", "standard output", "Bad file descriptor", true},
      {"--help >&-", "standard output", "Bad file descriptor", false},
      {"--version >&-", "standard output", "Bad file descriptor", false},
      {"--help >/dev/full", "standard output", "No space left on device", false},
      {"-u - <&-", "standard input", "Bad file descriptor", true},
      {"-c -e - <&-", "standard input", "Bad file descriptor", true},
      {"-g - <&-", "standard input", "Bad file descriptor", true},
  };
  TempDir dir;
  dir.write("a.txt", kSjisText);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const test::RunResult r = test::run_shell(std::string("exec \"$KOTRAN\" ") + c.command, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string line = report(c.name, c.text);
    EXPECT_EQ(c.banner ? after_banner(r.err) : r.err, line);
  }
  EXPECT_EQ(dir.names(), (Words{"a.txt"}));
#endif
}

// A closed standard error keeps no messages, but takes nothing else with it:
// no message goes into an output file that took its place, and the status
// still tells a failure.
TEST(FaultInjectionShell, ClosedStandardErrorKeepsOutputsAndStatus) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX shell's 2>&- (started with no standard handles: windows_kotran_test)";
#else
  struct Case {
    const char* command;
    int status;
    const char* output;  // the file written, if any
  };
  const Case cases[] = {
      {"-e a.txt 2>&-", 0, "a.euc"},
      {"-e missing.txt 2>&-", 1, nullptr},
      {"-e missing.txt a.txt 2>&-", 1, "a.euc"},
      {"-c -e a.txt 2>&- >out.euc", 0, "out.euc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    TempDir dir;
    dir.write("a.txt", kSjisText);
    const test::RunResult r = test::run_shell(std::string("exec \"$KOTRAN\" ") + c.command, dir.path());
    EXPECT_EQ(r.status, c.status);
    if (c.output != nullptr) {
      EXPECT_EQ(to_hex(dir.read(c.output)), to_hex(kEucText));
    }
  }
#endif
}

// A reader that stops early (head): the program ends by SIGPIPE as a filter
// does, and leaves no temporary file, whether standard output or standard
// error was the closed pipe, and also where outputs go through named
// temporaries.
TEST(FaultInjectionShell, ReaderClosesThePipe) {
#if defined(_WIN32)
  GTEST_SKIP() << "head closing a pipe, and SIGPIPE, are POSIX's";
#else
  TempDir dir;
  dir.write("big.txt", repeat(kSjisText, 20000));
  // Each file's messages include the count of replaced characters, written
  // while its output is open.
  const std::string utf8 = hex("61 F0 9F 98 80 0D 0A");
  std::string files;
  for (int i = 0; i < 300; ++i) {
    std::string name = std::to_string(i);
    name.insert(0, 1, 'u');
    name += ".txt";
    dir.write(name, utf8);
    files += " " + name;
  }
  const std::string named = KOTRAN_PRELOAD_VARIABLE "=" KOTRAN_FAULT_SHIM " KOTRAN_FAULT=tmpfile:EOPNOTSUPP:1+ "
                            "ASAN_OPTIONS=verify_asan_link_order=0 ";
  const std::string commands[] = {
      "(\"$KOTRAN\" -c -e big.txt; echo $? >status) | head -c 10 >/dev/null",
      "(\"$KOTRAN\" -us" + files + " 2>&1 >/dev/null; echo $? >status) | head -c 1 >/dev/null",
      "(" + named + "\"" KOTRAN_PRELOADABLE_EXE "\" -us" + files + " 2>&1 >/dev/null; echo $? >status) | head -c 1 >/dev/null",
  };
  for (const std::string& command : commands) {
    SCOPED_TRACE(command.substr(0, 60));
    const test::RunResult r = test::run_shell(command, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("status"), "141\n");  // 128 + SIGPIPE
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
    for (const std::string& name : dir.names()) {
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".sjs") == 0) unlink(dir.file(name).c_str());
    }
  }
#endif
}

// Low memory (a shell's ulimit -v) never crashes: the run converts, or ends
// with a message and status 255, leaving no temporary file and no part of an
// output. Limits too low for the program to start at all are passed over;
// from the floor the README gives, every run starts.
// The address space below which the README says kotran may not start.
constexpr int kStartFloorKiB = 4096;

TEST(FaultInjectionShell, LowMemoryIsReportedNotACrash) {
#if defined(_WIN32)
  GTEST_SKIP() << "a shell's ulimit -v is POSIX's";
#else
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot start under a small ulimit -v";
#endif
  // "ERROR: メモリが足りません. 終了します."
  const std::string message =
      hex("45 52 52 4F 52 3A 20 83 81 83 82 83 8A 82 AA 91 AB 82 E8 82 DC 82 B9 82 F1 2E 20 8F 49 97 B9 82 B5 82 DC "
          "82 B7 2E") + CRLF;
  TempDir dir;
  dir.write("a.txt", repeat(kSjisText, kBigRepeat));
  dir.write("b.txt", kSjisText);  // converted before a.txt under --json
  const std::string b_line =
      R"({"type":"converted","file":"b.txt","source":"Shift-JIS","target":"EUC","output":"b.euc","replaced":0})" "\n";
  int ran_out = 0;
  int converted = 0;
  int lines_then_ran_out = 0;  // runs whose JSON gave b.txt's line, then ran out of memory
  for (const char* options : {"-e", "-g", "-c -e", "-e --json b.txt"}) {
    // Under --json, finely: memory runs out between the two files in a
    // window of a few tens of KiB.
    const bool json = std::string(options).find("--json") != std::string::npos;
    for (int limit = json ? 3000 : 2000; limit <= (json ? 6000 : 8000); limit += json ? 20 : 250) {
      SCOPED_TRACE(std::string(options) + ", ulimit -v " + std::to_string(limit));
      const test::RunResult r = test::run_shell(
          "ulimit -v " + std::to_string(limit) + " && exec \"$KOTRAN\" " + options + " a.txt", dir.path());
      if (r.err.rfind("Yomikae", 0) != 0 && r.status != 255) {
        // It could not start: C library start-up, before the program's own code.
        EXPECT_LT(limit, kStartFloorKiB) << r.status;
        continue;
      }
      EXPECT_TRUE(r.status == 0 || r.status == 255) << r.status << ": " << to_hex(r.err);
      EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
      if (r.status == 255) {
        ++ran_out;
        EXPECT_GE(r.err.size(), message.size());
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), message.size())), message);
        EXPECT_FALSE(dir.exists("a.euc"));
        // The lines of the files done, whole, and no summary.
        if (json) {
          EXPECT_TRUE(r.out.empty() || (r.out == b_line && dir.exists("b.euc"))) << r.out;
          lines_then_ran_out += r.out == b_line;
        }
      } else if (r.status == 0) {
        ++converted;
        const std::string o = options;
        if (o == "-e") {
          EXPECT_TRUE(dir.read("a.euc") == repeat(kEucText, kBigRepeat));
        } else if (o == "-c -e") {
          EXPECT_TRUE(r.out == repeat(kEucText, kBigRepeat));
        } else if (o == "-e --json b.txt") {
          EXPECT_TRUE(dir.read("a.euc") == repeat(kEucText, kBigRepeat));
          EXPECT_EQ(r.out, b_line +
                               R"({"type":"converted","file":"a.txt","source":"Shift-JIS","target":"EUC","output":"a.euc","replaced":0})"
                               "\n"
                               R"({"type":"summary","files":2,"converted":2,"skipped":0,"not_japanese":0,"replaced":0,"failed":0,"status":0})"
                               "\n");
        } else {
          EXPECT_EQ(r.out, "a.txt: Shift-JIS (certain)\n");
        }
      }
      unlink(dir.file("a.euc").c_str());
      unlink(dir.file("b.euc").c_str());
    }
  }
  EXPECT_GT(ran_out, 0) << "no limit made memory run out";
  EXPECT_GT(lines_then_ran_out, 0) << "--json: no limit let the first file's line out before memory ran out";
  EXPECT_GT(converted, 0) << "no limit let the conversion through";
#endif
}

// Pipes of any size and code: a text read through a pipe (recognised, so
// read ahead and gone back over) converts exactly as the same text in a
// named file, from a few bytes to more than the pipe keeps in memory.
TEST(FaultInjectionShell, PipesOfAnySizeConvertAsFiles) {
#if defined(_WIN32)
  GTEST_SKIP() << "a POSIX shell's pipes";
#else
  struct Case {
    const char* label;
    std::string input;
    std::string output;  // Shift-JIS; empty: a 7-bit file, skipped
  };
  const std::string euc_ai = hex("A4 A2 A4 A4 0D 0A 41 42 43 44 0D 0A");  // 12 bytes
  const std::string sjis_ai = hex("82 A0 82 A2 0D 0A 41 42 43 44 0D 0A");
  const Case cases[] = {
      {"SmallEuc", euc_ai, sjis_ai},
      {"SmallJis", hex("1B 24 42 24 22 24 24 1B 28 42 0D 0A 41 0D 0A"), hex("82 A0 82 A2 0D 0A 41 0D 0A")},
      {"SmallUtf8", hex("E3 81 82 E3 81 84 0D 0A 41 42 0D 0A"), hex("82 A0 82 A2 0D 0A 41 42 0D 0A")},
      {"SmallAscii", "ABCDEFGHIJ\r\n", ""},
      {"LargeEuc", repeat(kEucText, 20000), repeat(kSjisText, 20000)},  // 960 000 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.write("a.txt", c.input);
    ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
    const test::RunResult piped = test::run_shell("cat a.txt | \"$KOTRAN\" -c /dev/stdin", dir.path());
    const test::RunResult named = test::run_shell("\"$KOTRAN\" -c a.txt", dir.path());
    const test::RunResult fifo = test::run_shell("cat a.txt >p.txt & \"$KOTRAN\" p.txt; wait", dir.path());
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(fifo.status, 0) << fifo.err;
    EXPECT_TRUE(piped.out == c.output) << to_hex(piped.out.substr(0, 40));
    EXPECT_TRUE(named.out == c.output);
    if (c.output.empty()) {
      EXPECT_FALSE(dir.exists("p.sjs"));
    } else {
      EXPECT_TRUE(dir.read("p.sjs") == c.output);
    }
  }
#endif
}

// ---------------------------------------------------------------------------
// Inputs that are no plain file.

TEST(FaultInjectionInput, DirectoryIsRefusedAndTheRunGoesOn) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("sub.txt").c_str(), 0755), 0);
  dir.write("b.txt", kSjisText);
  for (const std::string& name : {std::string("sub.txt"), std::string("sub.txt/"), std::string("./sub.txt")}) {
    SCOPED_TRACE(name);
    const auto o = test::run_kotran({"-e", name, "b.txt"}, dir.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(after_banner(o.err), report(name, "Is a directory") + m4("b.txt") + m6("b.euc"));
    EXPECT_EQ(dir.read("b.euc"), kEucText);
    EXPECT_FALSE(dir.exists("sub.euc"));
    ASSERT_EQ(unlink(dir.file("b.euc").c_str()), 0);
  }
}

TEST(FaultInjectionInput, MissingFileBetweenTwoGoodOnes) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("c.txt", kSjisAI);
  const auto o = test::run_kotran({"-e", "a.txt", "b.txt", "c.txt"}, dir.path());
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), m4("a.txt") + m6("a.euc") + report("b.txt", "No such file or directory") +
                                     m4("c.txt") + m6("c.euc"));
  EXPECT_EQ(dir.read("a.euc"), kEucText);
  EXPECT_EQ(dir.read("c.euc"), kEucAI);
  EXPECT_EQ(dir.names(), (Words{"a.euc", "a.txt", "c.euc", "c.txt"}));
}

TEST(FaultInjectionInput, MissingDirectoryOnThePath) {
  TempDir dir;
  dir.write("a.txt", kSjisText);
  dir.write("plain", "x");
  const auto o = test::run_kotran({"-e", "none/b.txt", "plain/b.txt", "a.txt"}, dir.path());
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), report("none/b.txt", "No such file or directory") +
                                     report("plain/b.txt", "No such file or directory") + m4("a.txt") +
                                     m6("a.euc"));
  EXPECT_EQ(dir.read("a.euc"), kEucText);
}

#if !defined(_WIN32)
struct FifoCase {
  const char* label;
  size_t repeat;     // blocks of text fed
  std::string tail;  // ASCII after them, the same in the output
  size_t piece;      // bytes per write of the feeder
  long pause_us;     // pause after each write
  std::string input() const { return repeat_text(kSjisText) + tail; }
  std::string output() const { return repeat_text(kEucText) + tail; }
  std::string repeat_text(const std::string& block) const { return kotran::repeat(block, repeat); }
};

void PrintTo(const FifoCase& c, std::ostream* os) { *os << c.label; }

class FaultInjectionFifo : public ::testing::TestWithParam<FifoCase> {};

TEST_P(FaultInjectionFifo, ConvertsToAFile) {
  const FifoCase& c = GetParam();
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
  PipeFeeder feeder(dir.file("p.txt"), c.input(), c.piece, c.pause_us);
  Launch launch;
  launch.args = {"-e", "p.txt"};
  launch.dir = dir.path();
  const Outcome o = run(launch);
  EXPECT_EQ(feeder.finish(), 0);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(after_banner(o.err), m4("p.txt") + m6("p.euc"));
  const std::string got = dir.read("p.euc");
  EXPECT_EQ(got.size(), c.output().size());
  EXPECT_TRUE(got == c.output());
  EXPECT_EQ(dir.names(), (Words{"p.euc", "p.txt"}));
}

TEST_P(FaultInjectionFifo, ConvertsToStandardOutput) {
  const FifoCase& c = GetParam();
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("p.txt").c_str(), 0644), 0);
  PipeFeeder feeder(dir.file("p.txt"), c.input(), c.piece, c.pause_us);
  Launch launch;
  launch.args = {"-c", "-e", "p.txt"};
  launch.dir = dir.path();
  const Outcome o = run(launch);
  EXPECT_EQ(feeder.finish(), 0);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(after_banner(o.err), "");
  EXPECT_EQ(o.out.size(), c.output().size());
  EXPECT_TRUE(o.out == c.output());
  EXPECT_EQ(dir.names(), (Words{"p.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Feeds, FaultInjectionFifo,
                         ::testing::Values(FifoCase{"OneLine", 1, "", 4096, 0},
                                           FifoCase{"InSmallPiecesWithPauses", 40, "", 7, 200},
                                           FifoCase{"LargerThanTheFirstBlock", 5000, "", 65536, 1000},
                                           // 2730 * 48 + 32 = 131072 bytes, the first block exactly
                                           FifoCase{"ExactlyTheFirstBlock", 2730, "abcdefghijklmnopqrstuvwxyz0123\r\n",
                                                    65536, 0},
                                           FifoCase{"OneByteMoreThanTheFirstBlock", 2730,
                                                    "abcdefghijklmnopqrstuvwxyz01234\r\n", 65536, 0}),
                         [](const ::testing::TestParamInfo<FifoCase>& info) { return info.param.label; });
#else
TEST(FaultInjectionFifo, ConvertsToAFile) { GTEST_SKIP() << "a FIFO fed by the test is POSIX's"; }
TEST(FaultInjectionFifo, ConvertsToStandardOutput) { GTEST_SKIP() << "a FIFO fed by the test is POSIX's"; }
#endif  // !defined(_WIN32)

// ---------------------------------------------------------------------------
// Output directories that refuse new files.

#if !defined(_WIN32)
// A read-only file system, as a user meets it: a tmpfs that holds the input
// and is then mounted read-only (mounting needs root, as CI has; the shim
// cases above give the same error everywhere).
class ReadOnlyMount {
 public:
  explicit ReadOnlyMount(std::string path) : path_(std::move(path)) {
    mounted_ = std::system(("mount -t tmpfs -o size=1m tmpfs '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~ReadOnlyMount() {
    if (mounted_) (void)std::system(("umount '" + path_ + "'").c_str());
  }
  ReadOnlyMount(const ReadOnlyMount&) = delete;
  ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;
  bool mounted() const { return mounted_; }
  // No file can be made on it after this.
  bool make_read_only() { return std::system(("mount -o remount,ro '" + path_ + "'").c_str()) == 0; }

 private:
  std::string path_;
  bool mounted_ = false;
};
#endif

TEST(FaultInjectionOutputDirectory, ReadOnlyFileSystemFailsItsFileAndTheRunGoesOn) {
#if defined(_WIN32)
  GTEST_SKIP() << "a tmpfs mounted read-only is POSIX's";
#else
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0755), 0);
  dir.write("a.txt", kSjisText);
  dir.write("c.txt", kSjisText);
  ReadOnlyMount ro(dir.file("ro"));
  if (!ro.mounted()) GTEST_SKIP() << "mount -t tmpfs is not permitted here (it needs root and a mount namespace)";
  dir.write("ro/b.txt", kSjisText);
  ASSERT_TRUE(ro.make_read_only());
  // The file system refuses new files now.
  const int probe = ::open(dir.file("ro/probe").c_str(), O_WRONLY | O_CREAT, 0644);
  const int probe_errno = errno;
  if (probe >= 0) close(probe);
  ASSERT_EQ(probe, -1);
  ASSERT_EQ(probe_errno, EROFS);
  Launch launch;
  launch.args = {"-e", "a.txt", "ro/b.txt", "c.txt"};
  launch.dir = dir.path();
  const Outcome o = run(launch);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(after_banner(o.err), m4("a.txt") + m6("a.euc") + m4("ro/b.txt") + m6("ro/b.euc") +
                                     report("ro/b.euc", "Read-only file system") + m4("c.txt") + m6("c.euc"));
  EXPECT_EQ(dir.read("a.euc"), kEucText);
  EXPECT_FALSE(dir.exists("ro/b.euc"));
  EXPECT_EQ(dir.read("c.euc"), kEucText);
  EXPECT_EQ(dir.read("ro/b.txt"), kSjisText);
  EXPECT_EQ(temporaries(dir.file("ro")), std::vector<std::string>{});
#endif
}

// A program started without standard input and standard error gets their
// descriptors for its files: the temporary output can be descriptor 2. The
// messages held for standard error must not go into an output (here the
// count of replaced characters, printed while the output is still open, is
// what fills the message block now and then).
TEST(FaultInjectionClosedStreams, MessagesNeverGoIntoAnOutput) {
#if defined(_WIN32)
  GTEST_SKIP() << "descriptors closed before the program starts are POSIX's "
                  "(started with no standard handles: windows_kotran_test)";
#else
  // "abc", a character with no JIS X 0208 code, "日本", in UTF-8.
  const std::string text = hex("61 62 63 20 F0 9F 98 80 20 E6 97 A5 E6 9C AC 0D 0A");
  Words args;
  for (int i = 100; i < 500; ++i) {
    std::string name = std::to_string(i);
    name.insert(0, 1, 'f');
    name += ".txt";
    args.push_back(name);
  }
  TempDir reference_dir;
  TempDir dir;
  for (const std::string& name : args) {
    reference_dir.write(name, text);
    dir.write(name, text);
  }
  Launch reference;
  reference.args = args;
  reference.dir = reference_dir.path();
  ASSERT_EQ(run(reference).status, 0);
  Launch launch;
  launch.args = args;
  launch.dir = dir.path();
  launch.closed_descriptors = {0, 2};
  const Outcome o = run(launch);
  EXPECT_EQ(o.status, 0);
  int differing = 0;
  for (const std::string& name : args) {
    const std::string output = name.substr(0, name.find('.')) + ".sjs";
    const std::string expected = reference_dir.read(output);
    const std::string got = dir.exists(output) ? dir.read(output) : std::string();
    if (got != expected && ++differing <= 3) {
      ADD_FAILURE() << output << ": " << got.size() << " bytes instead of " << expected.size()
                    << "; starts " << to_hex(got.substr(0, 24)) << ", expected " << to_hex(expected);
    }
  }
  EXPECT_EQ(differing, 0) << "outputs that hold other bytes than their conversion";
  EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
#endif
}

// A fault that names nothing the program does is never met: the log stays
// empty, which shows the cases above are not passing by accident.
TEST(FaultInjectionShim, FaultThatIsNeverMetLeavesTheRunAlone) {
#if defined(_WIN32)
  GTEST_SKIP() << kShim;
#else
  TempDir dir;
  dir.write("a.txt", kSjisText);
  Launch launch;
  launch.args = {"-e", "a.txt"};
  launch.dir = dir.path();
  launch.fault = "write:EIO:1:no-such-file";
  const Outcome o = run(launch);
  EXPECT_EQ(o.fault_log, "");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(dir.read("a.euc"), kEucText);
#endif
}

}  // namespace
}  // namespace kotran
