// Large files: stream positions beyond 4 GiB, and the memory of the program,
// which stays small and does not grow with the size of the text it converts.
#include <fcntl.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "stream/text_stream.h"
#include "sample_text.h"
#include "test_util.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace kotran {
namespace {

using test::hex;
using test::TempDir;
using test::to_hex;

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = KiB * 1024;
constexpr int64_t GiB = MiB * 1024;

// ---- positions beyond 4 GiB ----

// The next n bytes that the stream delivers.
std::string read_bytes(TextStream* s, size_t n) {
  std::string bytes;
  for (size_t i = 0; i < n; ++i) {
    const int c = read_byte(s);
    if (c == EOF) break;
    bytes += static_cast<char>(c);
  }
  return bytes;
}

TEST(LargeFile, PositionsBeyondFourGiB) {
  TempDir dir;
  const std::string name = dir.file("sparse.txt");
  const int64_t size = 5 * GiB + 3 * KiB + 7;
  const int64_t far = 4 * GiB + 10;
  // Text at the start, just past 4 GiB and at the end; the rest is a hole
  // (zero bytes). "low" stands where a position cut to 32 bits would land.
  const struct {
    int64_t offset;
    std::string bytes;
  } pieces[] = {
      {10, "low\r\n"},
      {far, hex("8A BF 8E 9A 0D 0A 41")},  // 漢字, CR LF, A
      {size - 5, "end\r\n"},
  };
  // Made through the host's own calls (on Windows, its 64-bit positions),
  // its bytes as they are.
  const int fd = openat(AT_FDCWD, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  bool made = ftruncate(fd, size) == 0;
  for (const auto& p : pieces) {
    if (!made) break;
    made = lseek(fd, p.offset, SEEK_SET) == p.offset &&
           write(fd, p.bytes.data(), static_cast<unsigned>(p.bytes.size())) == static_cast<ssize_t>(p.bytes.size());
  }
  const int error = made ? 0 : errno;
  close(fd);
#if !defined(EDQUOT)  // a host without disk quotas has no such number
  constexpr int EDQUOT = ENOSPC;
#endif
  if (!made && (error == EFBIG || error == ENOSPC || error == EDQUOT))
    GTEST_SKIP() << "the file system refuses a sparse file of 5 GiB: " << std::strerror(error);
  ASSERT_TRUE(made) << std::strerror(error);

  TextStream* s = open_stream(name.c_str(), "rt");
  ASSERT_NE(s, nullptr);
  const struct {
    const char* what;
    int64_t before;  // a seek from the start made first, or -1
    int64_t offset;
    int origin;
    int64_t position;   // where the seek lands
    std::string bytes;  // what is read there
    bool then_eof;
  } seeks[] = {
      {"past 4 GiB from the start", -1, far, 0, far, hex("8A BF 8E 9A 0A 41 00"), false},
      {"at 4 GiB exactly", -1, 4 * GiB, 0, 4 * GiB, std::string(10, '\0') + hex("8A BF"), false},
      {"the start", -1, 0, 0, 0, std::string(10, '\0') + "low\n", false},
      {"back 4 GiB from the position", far, -4 * GiB, 1, 10, "low\n", false},
      {"on 4 GiB from the position", 10, 4 * GiB, 1, far, hex("8A BF 8E"), false},
      {"5 bytes before the end", -1, -5, 2, size - 5, "end\n", true},
      {"past 4 GiB back from the end", -1, far - size, 2, far, hex("8A BF"), false},
      {"at the end", -1, 0, 2, size, "", true},
  };
  for (const auto& k : seeks) {
    SCOPED_TRACE(k.what);
    if (k.before >= 0) {
      ASSERT_EQ(stream_seek(s, k.before, 0), 0);
    }
    ASSERT_EQ(stream_seek(s, k.offset, k.origin), 0) << last_error;
    EXPECT_EQ(stream_tell(s), k.position);
    EXPECT_EQ(to_hex(read_bytes(s, k.bytes.size())), to_hex(k.bytes));
    if (k.then_eof) {
      EXPECT_EQ(read_byte(s), EOF);
      EXPECT_TRUE(stream_eof(s));
    }
    EXPECT_FALSE(stream_error(s));
  }
  EXPECT_EQ(close_stream(s), 0);
}

// ---- memory ----

// Measured as POSIX measures a child's memory: not on Windows.
#if !defined(_WIN32)

// The real texts of tests/corpus, one after the other, with CR LF line ends.
std::string real_text() {
  std::string text;
  for (const auto& line : test::corpus_lines()) text += line + "\r\n";
  return text;
}

// The text in another code by glibc's iconv(3); empty when it refuses.
std::string from_utf8(const char* to, const std::string& utf8) {
  std::string out;
  return test::glibc_iconv(to, "UTF-8", utf8, out) ? out : "";
}

// Writes the block count times over into the file, a MiB or so at a time.
void write_repeated(const std::string& path, const std::string& block, int64_t count) {
  const int64_t per_chunk = std::max<int64_t>(1, MiB / static_cast<int64_t>(block.size()));
  std::string chunk;
  for (int64_t i = 0; i < per_chunk; ++i) chunk += block;
  std::ofstream f(path, std::ios::binary);
  for (int64_t done = 0; done < count; done += per_chunk)
    f.write(chunk.data(), static_cast<std::streamsize>(block.size() * std::min(per_chunk, count - done)));
  ASSERT_TRUE(f.good()) << path;
}

// Whether the file holds the block count times over and nothing else.
bool holds_repeated(const std::string& path, const std::string& block, int64_t count) {
  std::ifstream f(path, std::ios::binary);
  std::string got(block.size(), '\0');
  for (int64_t i = 0; i < count; ++i) {
    if (!f.read(got.data(), static_cast<std::streamsize>(got.size())) || got != block) return false;
  }
  return f.peek() == std::char_traits<char>::eof();
}

struct Measured {
  int status = -1;
  long peak_kib = -1;  // peak resident size
};

// Whether /usr/bin/time is GNU time, which can write the peak resident size
// of the program it runs to a file.
bool gnu_time_works(const TempDir& dir) {
  static const int works = [&] {
    const std::string out = dir.file("time-probe");
    const std::string command = "/usr/bin/time -f %M -o '" + out + "' /bin/true 2>/dev/null";
    if (access("/usr/bin/time", X_OK) != 0 || std::system(command.c_str()) != 0) return 0;
    std::ifstream f(out);
    long kib = -1;
    f >> kib;
    return kib > 0 ? 1 : 0;
  }();
  return works == 1;
}

// Runs kotran with the arguments in dir, standard output to stdout_path, and
// measures its peak resident size. A child forked from this test process
// starts with this process's resident pages, and the peak that wait4 reports
// counts them; so kotran is started by GNU time where there is one, a small
// process of its own. Without it, wait4's peak of a direct child is an upper
// bound of kotran's.
Measured run_measured(const std::vector<std::string>& args, const TempDir& dir, const std::string& stdout_path) {
  const std::string peak_file = dir.file("peak");
  const bool by_time = gnu_time_works(dir);
  std::vector<std::string> words;
  if (by_time) words = {"/usr/bin/time", "-f", "%M", "-o", peak_file};
  words.push_back(KOTRAN_EXE);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("/dev/null", O_WRONLY);
    if (chdir(dir.path().c_str()) != 0 || in < 0 || out < 0 || err < 0) _exit(120);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  int wstatus = 0;
  struct rusage usage {};
  if (wait4(pid, &wstatus, 0, &usage) != pid) return {};
  Measured m;
  m.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (by_time) {
    std::ifstream f(peak_file);
    f >> m.peak_kib;
  } else {
    m.peak_kib = usage.ru_maxrss;
  }
  return m;
}
#endif

// kotran converts a text of 64 MiB in under 8 MiB of memory, and needs less
// than 1 MiB more for it than for a text of 8 MiB: to a file, and with -c.
TEST(LargeFile, MemoryStaysSmallAndDoesNotGrowWithTheText) {
#if defined(_WIN32)
  GTEST_SKIP() << "a peak resident size as POSIX's wait4 reports it (Wine's working sets are its own)";
#else
  SKIP_WHERE_LIMITS_HOLD_THE_EMULATOR();
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under AddressSanitizer the shadow memory and the quarantine of freed blocks make resident sizes meaningless";
#endif
  const std::string utf8_block = real_text();
  const std::string sjis_block = from_utf8("CP932", utf8_block);
  const std::string euc_block = from_utf8("EUC-JP", utf8_block);
  if (sjis_block.empty() || euc_block.empty()) GTEST_SKIP() << "glibc iconv lacks CP932 or EUC-JP";
  ASSERT_GT(utf8_block.size(), 3000u);

  TempDir dir;
  const struct {
    const char* what;
    std::vector<std::string> args;  // the input file is added
    const std::string* block;       // of the input
    const char* output;             // the output file, or null for -c to /dev/null
  } runs[] = {
      {"Shift-JIS to EUC, to a file", {"-e"}, &sjis_block, "in.euc"},
      {"Shift-JIS to JIS with -c", {"-c", "-j"}, &sjis_block, nullptr},
      {"UTF-8 to Shift-JIS with -c", {"-c", "-s"}, &utf8_block, nullptr},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.what);
    long peak[2] = {-1, -1};
    const int64_t sizes[2] = {8 * MiB, 64 * MiB};
    for (int i = 0; i < 2; ++i) {
      const int64_t count = (sizes[i] + static_cast<int64_t>(r.block->size()) - 1) / static_cast<int64_t>(r.block->size());
      write_repeated(dir.file("in.txt"), *r.block, count);
      std::vector<std::string> args = r.args;
      args.push_back("in.txt");
      const Measured m = run_measured(args, dir, "/dev/null");
      ASSERT_EQ(m.status, 0) << sizes[i] / MiB << " MiB";
      peak[i] = m.peak_kib;
      EXPECT_GT(peak[i], 0);
      EXPECT_LT(peak[i], 8 * KiB) << "peak resident size in KiB for " << sizes[i] / MiB << " MiB";
      if (r.output != nullptr) {
        EXPECT_TRUE(holds_repeated(dir.file(r.output), euc_block, count)) << sizes[i] / MiB << " MiB";
        unlink(dir.file(r.output).c_str());
      }
      unlink(dir.file("in.txt").c_str());
    }
    EXPECT_LT(peak[1] - peak[0], 1 * KiB) << "KiB: " << peak[0] << " for 8 MiB, " << peak[1] << " for 64 MiB";
  }
#endif
}

}  // namespace
}  // namespace kotran
