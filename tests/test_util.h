// Helpers shared by the tests: hex bytes, memory streams, processes.
#pragma once

#include <string>
#include <vector>

#include "convert/converter.h"
#include "stream/text_stream.h"

namespace kotran::test {

// "61 62 0A" -> the bytes; spaces are ignored.
std::string hex(const std::string& text);
// The bytes as "61 62 0A".
std::string to_hex(const std::string& bytes);

// Runs a converter over the bytes as it reads them (no line-end folding)
// with the given options, and returns the bytes it writes (before CR LF);
// what it found goes to *found when given.
std::string convert_bytes(Converter converter, const std::string& input, const ConvertOptions& with = {},
                          ConversionResult* found = nullptr);

// The messages' text as a person reads them, in UTF-8 (the program writes
// Shift-JIS), line ends kept.
std::string readable(const std::string& sjis);

// Checks the three banner lines at the start of standard error and returns
// what follows them, less the summary line that ends a run of several files
// (which the archive tests check on their own).
std::string after_banner(const std::string& err);

// The summary line of a run, as written to a pipe (Shift-JIS, CR LF).
std::string summary_line(unsigned converted, unsigned skipped, unsigned replaced, unsigned failed);

// The whole file's bytes; empty when it cannot be opened.
std::string read_file(const std::string& path);

// The block times over.
std::string repeat(const std::string& block, size_t times);

// Names of the temporary outputs (.kotran-*) left in the directory.
std::vector<std::string> temporaries(const std::string& dir);

// Converts the whole text with glibc's iconv(3); false when iconv refuses
// any of it, or where there is no glibc (Windows).
bool glibc_iconv(const char* to, const char* from, const std::string& in, std::string& out);
// Whether glibc's iconv, the oracle of some tests, is on this host; a test
// that needs it is skipped where it is not, and says so.
bool iconv_oracle_here();
#define SKIP_WITHOUT_THE_ICONV_ORACLE() \
  if (!::kotran::test::iconv_oracle_here()) GTEST_SKIP() << "glibc's iconv, the oracle, is not on this host"

// A temporary directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  std::vector<std::string> names() const;  // sorted, hidden ones included

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the kotran executable with the arguments in the directory, standard
// input from /dev/null; stdout and stderr captured as bytes. extra_env holds
// "NAME=value" entries added to the environment.
RunResult run_kotran(const std::vector<std::string>& args, const std::string& dir = ".",
                     const std::vector<std::string>& extra_env = {}, const std::string& stdout_path = "");
// As run_kotran, with standard output appended to the file at stdout_path.
RunResult run_kotran_appending(const std::vector<std::string>& args, const std::string& dir,
                               const std::string& stdout_path);
// The host's start of kotran behind the two above: standard output to
// stdout_path (appended where asked) or captured.
RunResult run_kotran_on_host(const std::vector<std::string>& args, const std::string& dir,
                             const std::vector<std::string>& extra_env, const std::string& stdout_path, bool append);

// Whether this process can be stopped by permission bits (not root).
bool permissions_apply();

// In a cross build every kotran a test starts runs inside an emulator, which
// needs more memory, descriptors and threads than kotran itself: a shell's
// limit on them holds the emulator, and a resident size is the emulator's.
// The tests of such limits say so and are skipped there.
#if defined(KOTRAN_EMULATED)
#define SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR() \
  GTEST_SKIP() << "kotran runs inside an emulator here: the limit or the size would be the emulator's"
#else
#define SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR() static_cast<void>(0)
#endif

// Whether the program can be run as another user than the owner of the
// test's files: the tests run as root (as in CI) and the user nobody exists.
bool can_run_as_nobody();
// As run_kotran, as the user nobody; the directory and what the program
// needs in it must be open to that user.
RunResult run_kotran_as_nobody(const std::vector<std::string>& args, const std::string& dir);
// Runs a shell command line (sh -c) in the directory, as a user types it,
// with $KOTRAN naming the executable; standard input from /dev/null, the
// output and the messages captured. The status of a command ended by a
// signal is 128 + the signal.
RunResult run_shell(const std::string& command, const std::string& dir);
// As run_shell, as the user nobody.
RunResult run_shell_as_nobody(const std::string& command, const std::string& dir);
// Whether run_shell has a POSIX shell to run (not on Windows).
bool shell_here();
// Messages as the program writes them on standard output to a file or
// pipe (--help, --version), given in Shift-JIS as the suites write them:
// the same bytes on POSIX; on Windows, with no console, UTF-8.
std::string messages_on_standard_output(const std::string& sjis);

// A test whose scenario is POSIX's alone (a shell's limits, the file mode
// mask, names of any bytes): skipped on Windows, saying why.
#if defined(_WIN32)
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << (why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

// Whether this processor can take the path; where it cannot, says once on
// standard output that the path's checks are skipped, so that a run on a
// processor without it shows what it did not test.
bool path_taken(Path path);

}  // namespace kotran::test
