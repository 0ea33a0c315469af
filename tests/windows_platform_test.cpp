// The platform layer on Windows, under Wine here: the command line as a
// started process receives it, wildcard words over a real folder, the order
// of names, messages to a console, a file and a pipe, the standard streams'
// bytes, the files kept for pipe input, atomic outputs, and the worker
// threads of --jobs. Each case that depends on how
// the program was started starts this test program again as a child
// (--child=...), as a user's shell would start kotran.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "driver/report_event.h"
#include "driver/reporter.h"
#include "driver/workers.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/names.h"
#include "platform/standard_streams.h"
#include "platform/wildcards.h"
#include "platform/windows/wide_names.h"
#include "platform/windows/wildcards.h"
#include "stream/text_stream.h"
#include "test_util.h"
#include "test_windows.h"

namespace kotran {
namespace {

using test::hex;
using test::to_hex;
using platform::windows::to_utf8;

using test::ChildRun;
using test::Console;
using test::Folder;
using test::wide;

std::wstring this_program() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

// Starts this program with `--child=<mode> <rest>` as its command line,
// the bytes of `in` on its standard input and its standard output in a
// pipe, and waits for it.
ChildRun run_child(const std::string& mode, const std::string& rest, const std::string& in = "",
                   Console console = Console::none) {
  return test::run_child_process(L"\"" + this_program() + L"\" --child=" + wide(mode) + L" " + wide(rest), in, console,
                                 nullptr, false);
}


// Each word as hex, one a line.
std::string words_as_lines(const std::vector<std::string>& words) {
  std::string lines;
  for (const std::string& w : words) lines += to_hex(w) + "\n";
  return lines;
}

// ------------------------------------------------------------ full names

// Where a name's root ends: what a full name starts from before its
// folders (a drive's root, a drive's current folder, a share).
TEST(Names, RootOfAName) {
  struct Row {
    const char* name;
    size_t root;
  };
  const Row rows[] = {
      {"a/b.txt", 0},       {"b.txt", 0},           {"/a/b.txt", 1},          {"\\a\\b.txt", 1},
      {"C:/a/b.txt", 3},    {"c:\\b.txt", 3},       {"C:b.txt", 2},           {"C:", 2},
      {"1:/b.txt", 0},      {"//srv/share/a.txt", 12}, {"\\\\srv\\share\\a", 12}, {"//srv/share", 11},
      {"//srv", 5},
  };
  for (const Row& row : rows) EXPECT_EQ(platform::root_length(row.name), row.root) << row.name;
}

// ------------------------------------------------------------ command line

struct CommandLineRow {
  const char* typed;  // what follows the program's name and mode on the line (UTF-8)
  std::vector<std::string> words;
};

TEST(CommandLine, WordsAreSplitByWindowsRulesInUnicode) {
  const CommandLineRow rows[] = {
      {"a b", {"a", "b"}},
      {"  a\t b  ", {"a", "b"}},
      {"\"a b\" c", {"a b", "c"}},
      {"\"\"", {""}},
      // Backslashes are literal unless a quote follows them.
      {"C:\\data\\in.txt", {"C:\\data\\in.txt"}},
      {"a\\\"b", {"a\"b"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"\"a\\\\\" b", {"a\\", "b"}},
      // Wildcards reach the program as typed: expanding them is its job.
      {"*.txt sub\\?.txt", {"*.txt", "sub\\?.txt"}},
      // Names beyond any ANSI code page: 資料①.txt, and a Korean name.
      {"\xE8\xB3\x87\xE6\x96\x99\xE2\x91\xA0.txt \xED\x95\x9C\xEA\xB8\x80.txt",
       {"\xE8\xB3\x87\xE6\x96\x99\xE2\x91\xA0.txt", "\xED\x95\x9C\xEA\xB8\x80.txt"}},
  };
  for (const CommandLineRow& row : rows) {
    const ChildRun run = run_child("words", row.typed);
    EXPECT_EQ(run.status, 0u) << row.typed;
    EXPECT_EQ(run.out, words_as_lines(row.words)) << row.typed;
  }
}

// --------------------------------------------------------------- wildcards

TEST(Wildcards, ExpandedAsOnWindows) {
  Folder folder;
  for (const char* name : {"a.txt", "B.txt", "c.TXT", "d.txtx", "e.text", ".kotran-1a2b3c", "sub\\", "sub\\x.txt",
                           "sub\\y.doc", "\xED\x95\x9C\xEA\xB8\x80.dat", "\xE8\xB3\x87\xE6\x96\x99\xE2\x91\xA0.dat"})
    folder.make(name);
  // In the folder for the words without a folder part, and back after,
  // so that the folder can go.
  struct Back {
    wchar_t was[MAX_PATH];
    Back() { GetCurrentDirectoryW(MAX_PATH, was); }
    ~Back() { SetCurrentDirectoryW(was); }
  } back;
  ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
  const std::string drive = to_utf8(folder.path().substr(0, 2));  // "C:"
  const std::string absolute = to_utf8(folder.path());
  struct Row {
    std::string word;
    std::vector<std::string> names;
  };
  const std::string korean = "\xED\x95\x9C\xEA\xB8\x80.dat";
  const std::string japanese = "\xE8\xB3\x87\xE6\x96\x99\xE2\x91\xA0.dat";
  const Row rows[] = {
      // Letter case folded; a longer extension and short names not taken.
      {"*.txt", {"a.txt", "B.txt", "c.TXT"}},
      {"*.TXT", {"a.txt", "B.txt", "c.TXT"}},
      {"?.txt", {"a.txt", "B.txt", "c.TXT"}},
      {"*.tex?", {"e.text"}},
      {"?.*", {"a.txt", "B.txt", "c.TXT", "d.txtx", "e.text"}},
      // Either separator ends the folder part, which is kept as written.
      {"sub\\*.txt", {"sub\\x.txt"}},
      {"sub/*", {"sub/x.txt", "sub/y.doc"}},
      {"SUB\\*.DOC", {"SUB\\y.doc"}},
      // A drive letter alone is the current folder of that drive.
      {drive + "*.txt", {drive + "a.txt", drive + "B.txt", drive + "c.TXT"}},
      {drive + "sub\\?.txt", {drive + "sub\\x.txt"}},
      {absolute + "\\sub\\*.doc", {absolute + "\\sub\\y.doc"}},
      // Names beyond the ANSI code page.
      {"\xED\x95\x9C*", {korean}},
      {"?\xE6\x96\x99?.DAT", {japanese}},
      // No match, a wildcard in a folder's name, no wildcard: nothing.
      {"*.none", {}},
      {"s*\\*.txt", {}},
      {"a.txt", {}},
      {".kotran-*", {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::expand_wildcard(row.word), row.names) << row.word;
  }
}

TEST(Wildcards, HoldsWildcard) {
  EXPECT_TRUE(platform::holds_wildcard("*.txt"));
  EXPECT_TRUE(platform::holds_wildcard("a?.txt"));
  EXPECT_FALSE(platform::holds_wildcard("C:\\a.txt"));
  EXPECT_FALSE(platform::holds_wildcard(""));
}

TEST(Wildcards, SortedAsNamesAreSortedForTheCodePage) {
  struct Row {
    unsigned code_page;
    std::vector<std::string> in;
    std::vector<std::string> sorted;
  };
  // あ, ｱ (half-width), カ, 漢, 亜, 一, Ａ and ａ (full-width).
  const std::string a_hira = "\xE3\x81\x82", a_half = "\xEF\xBD\xB1", ka = "\xE3\x82\xAB", kan = "\xE6\xBC\xA2",
                    a_kanji = "\xE4\xBA\x9C", ichi = "\xE4\xB8\x80", full_A = "\xEF\xBC\xA1", full_a = "\xEF\xBD\x81";
  const Row rows[] = {
      // Shift-JIS: one-byte characters (half-width kana among them) first,
      // then JIS order: kana, then kanji by reading (亜 before 一).
      {932, {kan, ka, "B", a_half, ichi, "a", a_hira, a_kanji}, {"a", "B", a_half, a_hira, ka, a_kanji, ichi, kan}},
      // Full-width A and a compare equal there; their bytes then decide.
      {932, {full_a, full_A, "z"}, {"z", full_A, full_a}},
      // Any other code page: the UTF-8 bytes, ASCII letters folded.
      {1252, {kan, ka, "B", a_half, ichi, "a", a_hira, a_kanji}, {"a", "B", a_hira, ka, ichi, a_kanji, kan, a_half}},
      {1252, {full_a, full_A, "z"}, {"z", full_A, full_a}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> names = row.in;
    platform::windows::sort_names_for_code_page(names, row.code_page);
    EXPECT_EQ(words_as_lines(names), words_as_lines(row.sorted)) << "code page " << row.code_page;
  }
}

// ---------------------------------------------------------------- messages

// "変換 한" and a line end: 한 is in no Japanese code page.
const std::string kMessage = "\xE5\xA4\x89\xE6\x8F\x9B \xED\x95\x9C\r\n";

// The console this test was started in (ctest starts it on a terminal,
// which Wine makes its console), its output code page put back at the end.
class StartedConsole {
 public:
  StartedConsole() : code_page_(GetConsoleOutputCP()) {}
  ~StartedConsole() {
    if (code_page_ != 0) SetConsoleOutputCP(code_page_);
  }
  StartedConsole(const StartedConsole&) = delete;
  StartedConsole& operator=(const StartedConsole&) = delete;
  // Without a console the code page is 0.
  bool exists() const { return code_page_ != 0; }

 private:
  UINT code_page_;
};

#define SKIP_WITHOUT_CONSOLE(console) \
  if (!(console).exists()) GTEST_SKIP() << "started without a console (ctest starts this test on a terminal)"

TEST(Messages, RedirectedInTheConsoleCodePageWhenItIs932AndUtf8Otherwise) {
  // No console at all: a program started by a service or a scheduler.
  ChildRun run = run_child("message", "");
  EXPECT_EQ(run.status, 0u);
  EXPECT_EQ(to_hex(run.out), to_hex(kMessage)) << "no console";

  StartedConsole console;
  SKIP_WITHOUT_CONSOLE(console);
  struct Row {
    UINT code_page;
    std::string bytes;
  };
  const Row rows[] = {
      {932, hex("95 CF 8A B7 20 3F 0D 0A")},  // Japanese Windows, or chcp 932: Shift-JIS, 한 as '?'
      {65001, kMessage},                      // chcp 65001
      {437, kMessage},                        // an English console
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(SetConsoleOutputCP(row.code_page)) << row.code_page;
    run = run_child("message", "", "", Console::shared);
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(to_hex(run.out), to_hex(row.bytes)) << "code page " << row.code_page;
  }
}

TEST(Messages, OnAConsoleWrittenAsTextWhateverItsCodePage) {
  StartedConsole console;
  SKIP_WITHOUT_CONSOLE(console);
  ASSERT_TRUE(SetConsoleOutputCP(437));
  const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  CONSOLE_SCREEN_BUFFER_INFO before;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &before));
  const ChildRun run = run_child("message", "", "", Console::as_output);
  EXPECT_EQ(run.status, 0u);
  // The line the child wrote, read back from the screen as characters.
  wchar_t shown[4] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, shown, 4, before.dwCursorPosition, &read));
  CloseHandle(screen);
  EXPECT_EQ(to_utf8(std::wstring(shown, read)), "\xE5\xA4\x89\xE6\x8F\x9B \xED\x95\x9C");
}

// --------------------------------------------------------- standard streams

TEST(StandardStreams, BytesGoThroughAsTheyAre) {
  struct Row {
    const char* mode;
    std::string in;
    std::string out;
  };
  const std::string bytes = hex("61 0D 0A 62 0A 0A 0D 1A 63 0D");
  const Row rows[] = {
      {"echo-binary", bytes, bytes},
      // What the C library does to the same bytes unless told otherwise:
      // input CR LF folded and ended at 0x1A, output LF as CR LF.
      {"echo-text", bytes, hex("61 0D 0A 62 0D 0A 0D 0A 0D")},
  };
  for (const Row& row : rows) {
    const ChildRun run = run_child(row.mode, "", row.in);
    EXPECT_EQ(run.status, 0u) << row.mode;
    EXPECT_EQ(to_hex(run.out), to_hex(row.out)) << row.mode;
  }
}

// ------------------------------------------------------------------- files

// The temporary folder's entries made by the pipe spool.
std::vector<std::string> spill_files() {
  std::vector<std::string> found;
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((std::wstring(temp, n) + L".kotran-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return found;
  do found.push_back(to_utf8(entry.cFileName));
  while (FindNextFileW(find, &entry));
  FindClose(find);
  return found;
}

TEST(Files, SpillFileReadsAtAnOffsetAndLeavesNothingBehind) {
  const std::vector<std::string> before = spill_files();
  const int fd = platform::open_spill_file();
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_EQ(spill_files().size(), before.size() + 1);
  ASSERT_EQ(_write(fd, "0123456789", 10), 10);
  char got[8] = {};
  EXPECT_EQ(platform::read_at(fd, got, 4, 3), 4);
  EXPECT_EQ(std::string(got, 4), "3456");
  // The read left the position at the end, where the next bytes go.
  ASSERT_EQ(_write(fd, "ab\n", 3), 3);
  EXPECT_EQ(platform::read_at(fd, got, 8, 8), 5);
  EXPECT_EQ(std::string(got, 5), "89ab\n");
  EXPECT_EQ(platform::read_at(fd, got, 8, 13), 0);
  _close(fd);
  EXPECT_EQ(spill_files(), before);
}

TEST(Files, SpillFileOfAKilledProcessIsGone) {
  const std::vector<std::string> before = spill_files();
  // The child makes its spill file, says so, and waits to be killed.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write;
  ASSERT_TRUE(CreatePipe(&out_read, &out_write, &inherit, 0));
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = out_write;
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"\"" + this_program() + L"\" --child=spill";
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(test::start_process(line, true, DETACHED_PROCESS, nullptr, nullptr, start, child));
  CloseHandle(out_write);
  char said[8] = {};
  DWORD got = 0;
  ReadFile(out_read, said, sizeof said, &got, nullptr);
  EXPECT_EQ(std::string(said, got), "made\n");
  EXPECT_EQ(spill_files().size(), before.size() + 1);
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  CloseHandle(out_read);
  EXPECT_EQ(spill_files(), before);
}

TEST(Files, AFileOver2GiBIsReadFromAnOffsetBeyond) {
  Folder folder;
  const std::wstring name = folder.path() + L"\\big.txt";
  constexpr int64_t at = int64_t{3} << 30;
  const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // Sparse, where the file system can be asked (Wine's files are sparse
  // by themselves), so that the 3 GiB before the text take no room.
  DWORD returned = 0;
  DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER position;
  position.QuadPart = at;
  DWORD wrote = 0;
  const bool written = SetFilePointerEx(h, position, nullptr, FILE_BEGIN) && WriteFile(h, "tail", 4, &wrote, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(written);
  TextStream* s = open_stream(to_utf8(name).c_str(), "rt");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_seek(s, at, 0), 0);
  EXPECT_EQ(stream_tell(s), at);
  std::string text;
  for (int c; (c = read_byte(s)) != EOF;) text += static_cast<char>(c);
  EXPECT_EQ(text, "tail");
  close_stream(s);
}

TEST(Files, InUseMarkIsSeenThroughAnotherHandleUntilClosed) {
  Folder folder;
  folder.make("t.tmp", "text");
  const std::string name = to_utf8(folder.path()) + "\\t.tmp";
  const int marker = _open(name.c_str(), _O_RDWR | _O_BINARY);
  const int other = _open(name.c_str(), _O_RDWR | _O_BINARY);
  ASSERT_GE(marker, 0);
  ASSERT_GE(other, 0);
  EXPECT_FALSE(platform::marked_in_use(other));
  ASSERT_TRUE(platform::mark_in_use(marker));
  EXPECT_TRUE(platform::marked_in_use(other));
  // The mark hinders neither reading nor writing the text.
  char got[4];
  EXPECT_EQ(_read(other, got, 4), 4);
  EXPECT_EQ(_write(other, "more", 4), 4);
  _close(marker);
  EXPECT_FALSE(platform::marked_in_use(other));
  _close(other);
}

// ----------------------------------------------------------- outputs

// An output's temporary, made as each output's is (O_CREAT | O_EXCL), is
// open to no other program's reads and writes until it is closed; it may
// still be given its name, or be removed.
TEST(Files, AnOutputsTemporaryIsOpenToNoOtherProgramsReadsAndWrites) {
  Folder folder;
  const std::wstring temporary = folder.path() + L"\\.kotran-AbCdEf";
  const int fd = openat(AT_FDCWD, to_utf8(temporary).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  for (const DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
    const HANDLE h = CreateFileW(temporary.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "access " << access;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "access " << access;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  _close(fd);
  const HANDLE after = CreateFileW(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(after, INVALID_HANDLE_VALUE);
  if (after != INVALID_HANDLE_VALUE) CloseHandle(after);
}

// ------------------------------------------------------------------ workers

// --jobs on Windows: worker threads behind run_in_workers. Each row gives
// the files, the workers, and the file (by its place) whose work runs out
// of memory, if any; every file taken must be reported once, with its own
// events, through done on the calling thread; the workers must work at
// once; the files after memory ran out must come back untaken, in order.
struct WorkersRow {
  const char* what;
  size_t files;
  unsigned jobs;
  long no_memory_at;  // -1: none
};

const std::vector<WorkersRow> workers_rows = {
    {"more files than workers", 40, 4, -1},
    {"fewer files than workers asked for", 3, 8, -1},
    {"memory runs out on one file", 40, 4, 5},
};

TEST(Workers, EachFileIsReportedOnceOnTheCallingThreadWithItsOwnEvents) {
  for (const WorkersRow& row : workers_rows) {
    SCOPED_TRACE(row.what);
    std::vector<size_t> indices;
    for (size_t i = 0; i < row.files; ++i) indices.push_back(100 + i);
    const DWORD caller = GetCurrentThreadId();
    const unsigned at_once = std::min<unsigned>(row.jobs, static_cast<unsigned>(row.files));
    std::atomic<unsigned> working{0}, most{0};
    std::atomic<bool> on_caller{false}, worker_out_of_range{false}, memory_ran_out{false};
    std::mutex seen_lock;
    std::set<unsigned> workers_seen;
    auto work = [&](size_t index, Reporter& reporter) {
      if (GetCurrentThreadId() == caller) on_caller = true;
      const unsigned worker = this_worker();
      if (worker < 1 || worker > at_once) worker_out_of_range = true;
      {
        std::lock_guard<std::mutex> hold(seen_lock);
        workers_seen.insert(worker);
      }
      // Each of the first files waits (a while at most) for the others:
      // the workers are in their files at once.
      const unsigned now = ++working;
      for (unsigned m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
      }
      for (int wait = 0; wait < 2000 && index < 100 + at_once && most.load() < at_once; ++wait) Sleep(1);
      // A file taken after the one whose memory runs out ends once the run
      // has heard of it (a while at most): the other workers would
      // otherwise race through every file while its exception unwinds.
      for (int wait = 0; wait < 2000 && row.no_memory_at >= 0 && static_cast<long>(index) > 100 + row.no_memory_at &&
                         !memory_ran_out.load();
           ++wait)
        Sleep(1);
      Event e = failed_event("file " + std::to_string(index), FailCause::system);
      reporter.report(e);
      --working;
      if (static_cast<long>(index) == 100 + row.no_memory_at) throw std::bad_alloc();
      FileResult r;
      r.outcome = Outcome::converted;
      r.bytes = index;
      return r;
    };
    std::vector<int> reported(row.files, 0);
    bool done_elsewhere = false, events_wrong = false;
    auto done = [&](Report&& report) {
      if (GetCurrentThreadId() != caller) done_elsewhere = true;
      ASSERT_GE(report.index, 100u);
      ASSERT_LT(report.index, 100 + row.files);
      ++reported[report.index - 100];
      const bool no_memory = static_cast<long>(report.index) == 100 + row.no_memory_at;
      // Its own event, then (memory ran out) the one that says so.
      if (report.events.empty() || report.events[0].file != "file " + std::to_string(report.index) ||
          report.events.size() != (no_memory ? 2u : 1u))
        events_wrong = true;
      EXPECT_EQ(report.result.outcome, no_memory ? Outcome::failed : Outcome::converted) << report.index;
      if (!no_memory) {
        EXPECT_EQ(report.result.bytes, report.index);
      }
    };
    std::vector<size_t> lost_for;
    auto lost = [&](size_t index, Loss loss, int) {
      if (GetCurrentThreadId() != caller) done_elsewhere = true;
      EXPECT_EQ(loss, Loss::no_memory);
      lost_for.push_back(index);
      memory_ran_out = true;
      return failed_event("lost", FailCause::worker_no_memory);
    };
    const WorkersEnd end = run_in_workers(indices, row.jobs, work, done, lost);
    EXPECT_TRUE(end.started);
    EXPECT_FALSE(end.worker_lost);
    EXPECT_FALSE(on_caller.load());
    EXPECT_FALSE(done_elsewhere);
    EXPECT_FALSE(worker_out_of_range.load());
    EXPECT_FALSE(events_wrong);
    EXPECT_EQ(most.load(), at_once);
    EXPECT_EQ(workers_seen.size(), at_once);
    EXPECT_EQ(end.out_of_memory, row.no_memory_at >= 0);
    // Taken files are reported once; the untaken, none, and come back in order.
    size_t taken = 0;
    for (size_t i = 0; i < row.files; ++i) {
      EXPECT_LE(reported[i], 1) << i;
      taken += static_cast<size_t>(reported[i]);
    }
    std::vector<size_t> untaken;
    for (size_t i = 0; i < row.files; ++i)
      if (reported[i] == 0) untaken.push_back(100 + i);
    EXPECT_EQ(end.untaken, untaken);
    if (row.no_memory_at < 0) {
      EXPECT_EQ(taken, row.files);
      EXPECT_TRUE(lost_for.empty());
    } else {
      EXPECT_EQ(lost_for, std::vector<size_t>{100 + static_cast<size_t>(row.no_memory_at)});
      EXPECT_LT(taken, row.files);  // the workers stopped taking files
    }
    EXPECT_EQ(this_worker(), 0u);
  }
}

// ------------------------------------------------------------------ children

int child_main(const std::string& mode) {
  if (mode == "words") {
    const std::vector<std::string> words = platform::argument_words(0, nullptr);
    platform::binary_standard_streams();
    // The program's name and the mode come first.
    // (An empty word is an empty line.)
    for (size_t i = 2; i < words.size(); ++i) {
      const std::string line = to_hex(words[i]) + "\n";
      _write(1, line.data(), static_cast<unsigned>(line.size()));
    }
    return words.size() >= 2 ? 0 : 1;
  }
  if (mode == "message") return platform::write_message(1, kMessage) ? 0 : 1;
  if (mode == "echo-binary" || mode == "echo-text") {
    if (mode == "echo-binary") platform::binary_standard_streams();
    char buffer[256];
    int n;
    while ((n = _read(0, buffer, sizeof buffer)) > 0) _write(1, buffer, static_cast<unsigned>(n));
    return 0;
  }
  if (mode == "spill") {
    const int fd = platform::open_spill_file();
    if (fd < 0) return 1;
    platform::binary_standard_streams();
    _write(fd, "kept", 4);
    _write(1, "made\n", 5);
    Sleep(60000);
    return 2;
  }
  if (mode == "make-file") {
    // The name and the bytes, from the command line.
    const std::vector<std::string> words = platform::argument_words(0, nullptr);
    if (words.size() != 4) return 4;
    std::wstring name;
    platform::windows::to_wide(words[2], name);
    const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 5;
    DWORD wrote = 0;
    WriteFile(h, words[3].data(), static_cast<DWORD>(words[3].size()), &wrote, nullptr);
    CloseHandle(h);
    return 0;
  }
  return 3;
}

}  // namespace
}  // namespace kotran

int main(int argc, char** argv) {
  // A child's mode is its first word; the rest of its command line is
  // read by the child itself, as Windows hands it over.
  if (argc >= 2 && std::strncmp(argv[1], "--child=", 8) == 0) return kotran::child_main(argv[1] + 8);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
