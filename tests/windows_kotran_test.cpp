// kotran.exe as a Windows user runs it: started as a child process with a
// real command line (CreateProcessW), in a folder of real files, with its
// standard output in a pipe and its messages redirected to a file (no
// console, so in UTF-8). Each row gives the files made first, the line
// typed, and the status, files, output and message that must follow.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/windows/wide_names.h"
#include "test_util.h"
#include "test_windows.h"

namespace kotran {
namespace {

using platform::windows::to_utf8;
using test::hex;
using test::to_hex;

using test::Folder;
using test::wide;

using test::kotran_exe;
using test::under_wine;


using KotranRun = test::ChildRun;

// Starts kotran.exe in `folder` with the command line `"kotran.exe" typed`,
// `in` on its standard input, with no console, or sharing this test's; its
// messages go to a file.
KotranRun run_kotran(const Folder& folder, const std::string& typed, const std::string& in,
                     bool shares_console = false) {
  return test::run_child_process(L"\"" + kotran_exe() + L"\" " + wide(typed), in,
                                 shares_console ? test::Console::shared : test::Console::none, folder.path().c_str(),
                                 true);
}

// A file made before the run: its name (a name ending in '\' is a folder)
// and its bytes in hex.
struct Given {
  const char* name;
  const char* hex;
  DWORD attributes = 0;            // set on it (read-only, hidden)
  const char* links_to = nullptr;  // a link to this folder of the row, planted as another user would
};

struct Expected {
  const char* name;
  const char* hex;          // the bytes in hex; nullptr for a folder
  DWORD attributes = 0;     // attributes it must have
};

struct Row {
  const char* what;
  std::vector<Given> files;
  const char* typed;  // after the program's name; "%D" is the folder's drive ("C:")
  const char* in_hex;
  DWORD status;
  std::vector<Expected> after;  // every name in the folder afterwards
  const char* out_hex;          // standard output
  const char* message;          // a line the messages hold (UTF-8)
};

// Shift-JIS "あい", CR LF, "abc", LF; and its UTF-8 form with the line ends
// made CR LF, as the conversion writes them.
#define SJIS "82a082a2 0d0a 616263 0a"
#define UTF8 "e38182e38184 0d0a 616263 0d0a"
#define EUC "a4a2a4a4 0d0a 616263 0d0a"

// A name one of whose parts is longer than the file system takes (255
// UTF-16 units).
const std::string long_name_typed = "-u " + std::string(300, 'n') + ".txt";

const std::vector<Row> rows = {
    {"a Unicode name is converted beside itself under the right name",
     {{"資料①.txt", SJIS}},
     "-u 資料①.txt", "", 0,
     {{"資料①.txt", SJIS}, {"資料①.utf8", UTF8}},
     "", "出力ファイル: 資料①.utf8"},
    {"a Korean name, which code page 932 lacks",
     {{"자료.txt", SJIS}},
     "-u 자료.txt", "", 0,
     {{"자료.txt", SJIS}, {"자료.utf8", UTF8}},
     "", "出力ファイル: 자료.utf8"},
    {"a wildcard word of Unicode characters",
     {{"資料①.txt", SJIS}, {"資料②.dat", SJIS}},
     "-u 資料*.txt", "", 0,
     {{"資料①.txt", SJIS}, {"資料①.utf8", UTF8}, {"資料②.dat", SJIS}},
     "", "出力ファイル: 資料①.utf8"},
    {"the output name is cut at the first '.' of the name, not of its folder",
     {{"dir.v1\\", ""}, {"dir.v1\\b.old.txt", SJIS}},
     "-u dir.v1\\b.old.txt", "", 0,
     {{"dir.v1\\", nullptr}, {"dir.v1\\b.old.txt", SJIS}, {"dir.v1\\b.utf8", UTF8}},
     "", "出力ファイル: dir.v1/b.utf8"},
    {"a name with a space, quoted as Windows quotes",
     {{"my file.txt", SJIS}},
     "-u \"my file.txt\"", "", 0,
     {{"my file.txt", SJIS}, {"my file.utf8", UTF8}},
     "", "my file.txt: Shift-JIS -> UTF-8"},
    {"a wildcard word is expanded by the program, letter case folded",
     {{"a.txt", SJIS}, {"B.Txt", SJIS}, {"c.dat", SJIS}},
     "-u *.TXT", "", 0,
     {{"B.Txt", SJIS}, {"B.utf8", UTF8}, {"a.txt", SJIS}, {"a.utf8", UTF8}, {"c.dat", SJIS}},
     "", "出力ファイル: B.utf8"},
    {"a wildcard word in a folder, after '\\' (names are shown with '/')",
     {{"sub\\", ""}, {"sub\\d.txt", SJIS}},
     "-u sub\\*.txt", "", 0,
     {{"sub\\", nullptr}, {"sub\\d.txt", SJIS}, {"sub\\d.utf8", UTF8}},
     "", "出力ファイル: sub/d.utf8"},
    {"a wildcard word after a drive letter: that drive's current folder",
     {{"e.txt", SJIS}},
     "-e %D*.txt", "", 0,
     {{"e.euc", EUC}, {"e.txt", SJIS}},
     "", "出力ファイル: %De.euc"},
    {"a wildcard word that matches nothing stays as it is",
     {},
     "-u *.none", "", 1,
     {},
     "", "*.none"},
    {"-c writes the text to standard output byte for byte",
     {{"a.txt", SJIS}},
     "-u -c a.txt", "", 0,
     {{"a.txt", SJIS}},
     UTF8, nullptr},
    {"standard input to standard output in binary: the conversion's own line ends, 0x1A ends the text",
     {},
     "-e -", "82a0 0a 61 0d0a 62 0d 63 1a 0a", 0,
     {},
     "a4a2 0d0a 61 0d0a 62 0d 63", nullptr},
    {"-l keeps LF line ends through standard output",
     {},
     "-e -l -", "82a0 0a 61 0d0a 62 0d 63 1a 0a", 0,
     {},
     "a4a2 0a 61 0a 62 0d 63", nullptr},
    {"--in-place replaces the input with its conversion",
     {{"a.txt", SJIS}},
     "-u --in-place a.txt", "", 0,
     {{"a.txt", UTF8}},
     "", "出力ファイル: a.txt"},
    {"--in-place=.orig keeps the original under a second name",
     {{"a.txt", SJIS}},
     "-u --in-place=.orig a.txt", "", 0,
     {{"a.txt", UTF8}, {"a.txt.orig", SJIS}},
     "", "元のファイル: a.txt.orig"},
    {"an existing output is replaced",
     {{"a.txt", SJIS}, {"a.utf8", "6f6c64"}},
     "-u a.txt", "", 0,
     {{"a.txt", SJIS}, {"a.utf8", UTF8}},
     "", "出力ファイル: a.utf8"},
    {"a hidden output is replaced, and the new text is hidden too",
     {{"a.txt", SJIS}, {"a.utf8", "6f6c64", FILE_ATTRIBUTE_HIDDEN}},
     "-u a.txt", "", 0,
     {{"a.txt", SJIS}, {"a.utf8", UTF8, FILE_ATTRIBUTE_HIDDEN}},
     "", "出力ファイル: a.utf8"},
    {"a read-only output is not replaced",
     {{"a.txt", SJIS}, {"a.utf8", "6f6c64", FILE_ATTRIBUTE_READONLY}},
     "-u a.txt", "", 1,
     {{"a.txt", SJIS}, {"a.utf8", "6f6c64"}},
     "", "a.utf8: Permission denied"},
    {"in a folder, names are taken relative to the folder held open: an output replaced",
     {{"sub\\", ""}, {"sub\\a.txt", SJIS}, {"sub\\a.utf8", "6f6c64"}},
     "-u sub\\a.txt", "", 0,
     {{"sub\\", nullptr}, {"sub\\a.txt", SJIS}, {"sub\\a.utf8", UTF8}},
     "", "出力ファイル: sub/a.utf8"},
    {"in a folder: --in-place=.orig, the original linked and the text renamed over it",
     {{"sub\\", ""}, {"sub\\a.txt", SJIS}},
     "-u --in-place=.orig sub\\a.txt", "", 0,
     {{"sub\\", nullptr}, {"sub\\a.txt", UTF8}, {"sub\\a.txt.orig", SJIS}},
     "", "元のファイル: sub/a.txt.orig"},
    {"an output that is a folder is refused, and nothing is written",
     {{"a.txt", SJIS}, {"a.utf8\\", ""}},
     "-u a.txt", "", 1,
     {{"a.txt", SJIS}, {"a.utf8\\", nullptr}},
     "", "出力ファイル a.utf8 は通常のファイルではありません (directory)"},
    {"--out-dir makes the folders of the output",
     {{"sub\\", ""}, {"sub\\d.txt", SJIS}},
     "-u --out-dir=out sub\\d.txt", "", 0,
     {{"out\\", nullptr}, {"out\\sub\\", nullptr}, {"out\\sub\\d.utf8", UTF8}, {"sub\\", nullptr}, {"sub\\d.txt", SJIS}},
     "", "出力ファイル: out/sub/d.utf8"},
    {"--out-dir through \"..\": the dots resolved from the folder held open",
     {{"w\\", ""}, {"w\\a.txt", SJIS}},
     "-u --out-dir=w\\..\\o w\\a.txt", "", 0,
     {{"o\\", nullptr}, {"o\\w\\", nullptr}, {"o\\w\\a.utf8", UTF8}, {"w\\", nullptr}, {"w\\a.txt", SJIS}},
     "", "出力ファイル: w/../o/w/a.utf8"},
    {"--out-dir as a full name with its drive: from the drive's root, not its current folder",
     {{"w\\", ""}, {"w\\a.txt", SJIS}},
     "-u --out-dir=%F\\o w\\a.txt", "", 0,
     {{"o\\", nullptr}, {"o\\w\\", nullptr}, {"o\\w\\a.utf8", UTF8}, {"w\\", nullptr}, {"w\\a.txt", SJIS}},
     "", "出力ファイル: %F/o/w/a.utf8"},
    {"-r converts a tree; --jobs=2 converts its files at once",
     {{"t\\", ""}, {"t\\a.txt", SJIS}, {"t\\u\\", ""}, {"t\\u\\b.txt", SJIS}},
     "-u -r --jobs=2 t", "", 0,
     {{"t\\", nullptr}, {"t\\a.txt", SJIS}, {"t\\a.utf8", UTF8}, {"t\\u\\", nullptr}, {"t\\u\\b.txt", SJIS},
      {"t\\u\\b.utf8", UTF8}},
     "", "合計: 変換 2, スキップ 0, 置き換えた文字 0, 失敗 0."},
    {"-r lists a link to a folder (a junction; under Wine, a Linux link) and does not follow it",
     {{"t\\", ""}, {"t\\a.txt", SJIS}, {"v\\", ""}, {"v\\x.txt", SJIS}, {"t\\up", nullptr, 0, "v"}},
     "-u -r t", "", 0,
     {{"t\\", nullptr}, {"t\\a.txt", SJIS}, {"t\\a.utf8", UTF8}, {"t\\up\\", nullptr}, {"v\\", nullptr},
      {"v\\x.txt", SJIS}},
     "", "t/up: シンボリックリンクはたどりません"},
    {"--out-dir: a link planted where an output folder goes is refused, and nothing is written through it",
     {{"w\\", ""}, {"w\\a.txt", SJIS}, {"o\\", ""}, {"v\\", ""}, {"o\\w", nullptr, 0, "v"}},
     "-u --out-dir=o w\\a.txt", "", 1,
     {{"o\\", nullptr}, {"o\\w\\", nullptr}, {"v\\", nullptr}, {"w\\", nullptr}, {"w\\a.txt", SJIS}},
     "", "出力先のフォルダ o/w はフォルダではありません (symbolic link)"},
    {"an output name that is a link to a folder is refused, and nothing is written through it",
     {{"a.txt", SJIS}, {"v\\", ""}, {"a.utf8", nullptr, 0, "v"}},
     "-u a.txt", "", 1,
     {{"a.txt", SJIS}, {"a.utf8\\", nullptr}, {"v\\", nullptr}},
     "", "a.utf8 は通常のファイルではありません (symbolic link)"},
    {"-r removes a temporary that a run ended without removing, and converts no temporary",
     {{"t\\", ""}, {"t\\a.txt", SJIS}, {"t\\.kotran-AbCdEf", SJIS}},
     "-u -r t", "", 0,
     {{"t\\", nullptr}, {"t\\a.txt", SJIS}, {"t\\a.utf8", UTF8}},
     "", "出力ファイル: t/a.utf8"},
    {"-g names the code on standard output and writes no file",
     {{"a.txt", SJIS}},
     "-g a.txt", "", 0,
     {{"a.txt", SJIS}},
     "612e7478743a2053686966742d4a495320286365727461696e290a", nullptr},
    {"a bad option is named, with status 2",
     {},
     "--bogus", "", 2,
     {},
     "", "\"--bogus\" は間違ったオプションです"},
    {"a missing file is named, with status 1",
     {},
     "-u none.txt", "", 1,
     {},
     "", "none.txt"},
    {"a name with a part longer than the file system takes is named as too long, not as missing",
     {},
     long_name_typed.c_str(), "", 1,
     {},
     "", "Filename too long"},
};

// "%D" becomes the folder's drive ("C:"), "%F" the folder's full name.
std::string with_drive(std::string text, const std::string& drive, const std::string& folder = "") {
  for (size_t at; (at = text.find("%D")) != std::string::npos;) text.replace(at, 2, drive);
  for (size_t at; (at = text.find("%F")) != std::string::npos;) text.replace(at, 2, folder);
  return text;
}

TEST(KotranExe, RunsAsAWindowsUserRunsIt) {
  std::string not_run;  // the rows whose links could not be planted here, and why
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Folder folder;
    const std::string drive = to_utf8(folder.path().substr(0, 2));
    std::string no_link;
    for (const Given& given : row.files) {
      if (given.links_to != nullptr) {
        no_link = test::plant_folder_link(folder.path() + L"\\" + wide(given.name),
                                          folder.path() + L"\\" + wide(given.links_to));
        if (!no_link.empty()) break;
        continue;
      }
      folder.make(given.name, hex(given.hex));
      if (given.attributes != 0)
        SetFileAttributesW((folder.path() + L"\\" + wide(given.name)).c_str(), given.attributes);
    }
    if (!no_link.empty()) {
      not_run += std::string(row.what) + ": " + no_link + "\n";
      continue;
    }
    const std::string full = to_utf8(folder.path());
    const KotranRun run = run_kotran(folder, with_drive(row.typed, drive, full), hex(row.in_hex));
    EXPECT_EQ(run.status, row.status) << run.messages;
    std::vector<std::string> expected_names;
    for (const Expected& e : row.after) {
      expected_names.push_back(e.name);
      if (e.hex != nullptr) {
        EXPECT_EQ(to_hex(folder.bytes(e.name)), to_hex(hex(e.hex))) << e.name;
      }
      const DWORD attributes = GetFileAttributesW((folder.path() + L"\\" + wide(e.name)).c_str());
      EXPECT_EQ(attributes & e.attributes, e.attributes) << e.name << ": attributes " << attributes;
    }
    std::sort(expected_names.begin(), expected_names.end());
    // Nothing else: no temporary left behind, no output where none belongs.
    EXPECT_EQ(folder.names(), expected_names);
    EXPECT_EQ(to_hex(run.out), to_hex(hex(row.out_hex)));
    if (row.message != nullptr) {
      std::string shown = full;
      std::replace(shown.begin(), shown.end(), '\\', '/');
      const std::string message = with_drive(row.message, drive, shown);
      EXPECT_NE(run.messages.find(message), std::string::npos) << "wanted: " << message << "\ngot: " << run.messages;
    }
  }
  if (!not_run.empty() && !HasFailure()) GTEST_SKIP() << not_run;
}

// ------------------------------------------------------------ --jobs

// The same files converted by worker threads (--jobs=N) and one after
// another in the one thread: the same outputs byte for byte, the same
// messages in the order of the files, the same status, and no temporary
// left. Among the files: every code, one skipped (ASCII), one whose output
// is read-only (it fails), and one another program holds open with no
// sharing (it cannot be read).
struct JobsRow {
  const char* what;
  const char* typed;  // "%J" is --jobs=N
  unsigned jobs;
};

const std::vector<JobsRow> jobs_rows = {
    {"40 files of mixed codes named on the line", "-u %J f*.txt", 4},
    {"a tree, to EUC, with the output tree elsewhere", "-e -r %J --out-dir=o t", 3},
    {"in place, the originals kept", "-u %J --in-place=.orig f*.txt", 4},
    {"JSON lines on standard output", "-u --json %J f*.txt", 4},
};

// The n-th file of the set, in one of the codes by n.
std::string jobs_file_bytes(int n) {
  const std::string number = std::to_string(n);
  switch (n % 5) {
    case 0: return hex("82a082a2 0d0a") + number + "\r\n";                // Shift-JIS
    case 1: return hex("a4a2a4a4 0a") + number + "\n";                     // EUC
    case 2: return hex("e38182e38184 0a") + number + "\n";                 // UTF-8
    case 3: return hex("1b2442 2422 2424 1b2842 0d0a") + number + "\r\n"; // JIS
    default: {                                                           // UTF-16 with its mark
      std::string text = hex("fffe 4230 4430 0d00 0a00");
      for (const char c : number) text += std::string{c, '\0'};
      return text;
    }
  }
}

// Makes the set under folder: 40 files f00.txt..f39.txt, in t\ as well
// (a tree of two levels), with the exceptions above. The files held open
// are returned, to be closed by the caller.
std::vector<HANDLE> make_jobs_files(const Folder& folder) {
  folder.make("t\\");
  folder.make("t\\u\\");
  for (int n = 0; n < 40; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d.txt", n);
    const std::string bytes = n == 7 ? std::string("plain ASCII\r\n") : jobs_file_bytes(n);
    folder.make(name, bytes);
    folder.make((n < 20 ? "t\\" : "t\\u\\") + std::string(name), bytes);
  }
  // f20's output stands, read-only: it is not replaced.
  folder.make("f20.utf8", "old");
  SetFileAttributesW((folder.path() + L"\\f20.utf8").c_str(), FILE_ATTRIBUTE_READONLY);
  std::vector<HANDLE> held;
  for (const wchar_t* name : {L"\\f31.txt", L"\\t\\u\\f31.txt"})
    held.push_back(CreateFileW((folder.path() + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return held;
}

TEST(KotranExe, JobsGiveWhatOneAfterAnotherGives) {
  for (const JobsRow& row : jobs_rows) {
    SCOPED_TRACE(row.what);
    std::string typed[2] = {row.typed, row.typed};
    const std::string jobs[2] = {"--jobs=1", "--jobs=" + std::to_string(row.jobs)};
    Folder folders[2];
    KotranRun runs[2];
    for (int k = 0; k < 2; ++k) {
      typed[k].replace(typed[k].find("%J"), 2, jobs[k]);
      const std::vector<HANDLE> held = make_jobs_files(folders[k]);
      runs[k] = run_kotran(folders[k], typed[k], "");
      for (const HANDLE h : held) {
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
      }
    }
    SCOPED_TRACE(typed[1]);
    EXPECT_EQ(runs[1].status, runs[0].status);
    EXPECT_EQ(runs[1].messages, runs[0].messages);
    EXPECT_EQ(to_hex(runs[1].out), to_hex(runs[0].out));
    const std::vector<std::string> names = folders[0].names();
    EXPECT_EQ(folders[1].names(), names);
    for (const std::string& name : names) {
      if (name.back() == '\\') continue;
      EXPECT_EQ(to_hex(folders[1].bytes(name)), to_hex(folders[0].bytes(name))) << name;
      EXPECT_NE(name.rfind(".kotran-", 0), 0u) << name;
      EXPECT_EQ(name.find("\\.kotran-"), std::string::npos) << name;
    }
    // The run did what the set asks: the failures, and a report of each file.
    EXPECT_EQ(runs[0].status, 1u);
    const std::string told = runs[0].messages + runs[0].out;
    for (const char* name : {"f00.txt", "f07.txt", "f31.txt", "f39.txt"})
      EXPECT_NE(told.find(name), std::string::npos) << name << " in " << told;
  }
}

// A file at a drive's root ("C:\\a.txt") is converted there, not in the
// drive's current folder (the test's folder, on the same drive).
// Names are taken in the order the system's code page gives them, in a
// tree (-r) as in a wildcard word: on Japanese Windows (932) by their
// Shift-JIS form, "ア" (83 41) before "α" (83 BF) before "①" (87 40);
// elsewhere by their UTF-8 bytes, "α" (CE B1) before "①" (E2 91 A0)
// before "ア" (E3 82 A2). CTest runs this once more with Wine's code page
// 932 (its Japanese locale).
TEST(KotranExe, NamesAreTakenInTheOrderOfTheSystemsCodePage) {
  const std::vector<std::string> order =
      GetACP() == 932 ? std::vector<std::string>{"ア", "α", "①"} : std::vector<std::string>{"α", "①", "ア"};
  for (const char* typed : {"-u -r t", "-u t\\*.txt"}) {
    SCOPED_TRACE(typed);
    Folder folder;
    folder.make("t\\");
    for (const char* name : {"①", "ア", "α"}) folder.make(std::string("t\\") + name + ".txt", hex(SJIS));
    const KotranRun run = run_kotran(folder, typed, "");
    EXPECT_EQ(run.status, 0u) << run.messages;
    size_t last = 0;
    for (const std::string& name : order) {
      const size_t at = run.messages.find("t/" + name + ".txt: Shift-JIS");
      ASSERT_NE(at, std::string::npos) << name << "\n" << run.messages;
      EXPECT_GT(at, last) << name << " out of order (code page " << GetACP() << "):\n" << run.messages;
      last = at;
    }
  }
}

// Started with no standard handles at all, as a program with no console
// starts kotran (Task Scheduler, a service, a window's program): the files
// are converted as always, with nothing of the messages in them, and what
// has nowhere to go fails with status 1, never as a success.
struct NoHandlesRow {
  const char* typed;
  DWORD status;
  std::vector<Expected> after;  // every name in the folder afterwards
};

const std::vector<NoHandlesRow> no_handles_rows = {
    {"-u a.txt", 0, {{"a.txt", SJIS}, {"a.utf8", UTF8}, {"b.txt", EUC}}},
    {"-u --jobs=2 a.txt b.txt", 0, {{"a.txt", SJIS}, {"a.utf8", UTF8}, {"b.txt", EUC}, {"b.utf8", UTF8}}},
    {"-u -c a.txt", 1, {{"a.txt", SJIS}, {"b.txt", EUC}}},
    {"-g a.txt", 1, {{"a.txt", SJIS}, {"b.txt", EUC}}},
    {"--version", 1, {{"a.txt", SJIS}, {"b.txt", EUC}}},
    {"-u -", 1, {{"a.txt", SJIS}, {"b.txt", EUC}}},
};

TEST(KotranExe, StartedWithNoStandardHandles) {
  for (const NoHandlesRow& row : no_handles_rows) {
    SCOPED_TRACE(row.typed);
    Folder folder;
    folder.make("a.txt", hex(SJIS));
    folder.make("b.txt", hex(EUC));
    std::wstring line = L"\"" + kotran_exe() + L"\" " + wide(row.typed);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;  // and every handle null
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(test::start_process(line, false, DETACHED_PROCESS, nullptr, folder.path().c_str(), start, child));
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0xFFFFFFFF;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    EXPECT_EQ(status, row.status);
    std::vector<std::string> expected_names;
    for (const Expected& e : row.after) {
      expected_names.push_back(e.name);
      EXPECT_EQ(to_hex(folder.bytes(e.name)), to_hex(hex(e.hex))) << e.name;
    }
    EXPECT_EQ(folder.names(), expected_names);
  }
}

// A reader that quits before the end of the output (a pager the user
// quits, PowerShell's Select-Object -First) closes its end of the pipe, or
// a server of a named pipe disconnects it: the write into it fails, and
// kotran says so as on Linux, with status 1, never as a success; the files
// it converts beside themselves are not its output.
struct QuitReaderRow {
  const char* typed;
  bool named_pipe;              // else an anonymous pipe (CreatePipe), as cmd.exe makes for '|'
  std::vector<Expected> after;  // every name in the folder afterwards (big.txt's bytes are not checked)
};

const std::vector<QuitReaderRow> quit_reader_rows = {
    {"-c -e big.txt", false, {{"a.txt", SJIS}, {"big.txt", nullptr}}},
    {"-c -e big.txt a.txt", false, {{"a.txt", SJIS}, {"big.txt", nullptr}}},
    {"-c -e big.txt", true, {{"a.txt", SJIS}, {"big.txt", nullptr}}},
};

// kotran.exe with the words, its standard output the client end of a named
// pipe whose server takes `takes` bytes and disconnects; its messages to a
// file.
KotranRun run_into_disconnected_pipe(const Folder& folder, const std::string& typed, DWORD takes) {
  KotranRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::wstring name = L"\\\\.\\pipe\\kotran-test-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                         0, nullptr);
  const HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  wchar_t temp[MAX_PATH + 1];
  const std::wstring messages_name = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + name.substr(9) + L".err";
  const HANDLE messages = CreateFileW(messages_name.c_str(),
                                      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  // Nothing is left open to spoil the next row when a step fails.
  const auto close_all = [&] {
    for (HANDLE h : {server, client, messages})
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  };
  if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE || messages == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "no named pipe or no file for the messages: " << GetLastError();
    close_all();
    return run;
  }
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = client;
  start.hStdError = messages;
  PROCESS_INFORMATION child{};
  std::wstring line = L"\"" + kotran_exe() + L"\" " + wide(typed);
  if (!test::start_process(line, true, DETACHED_PROCESS, nullptr, folder.path().c_str(), start, child)) {
    ADD_FAILURE() << "kotran.exe did not start: " << GetLastError();
    close_all();
    return run;
  }
  CloseHandle(client);
  run.out.resize(takes);
  DWORD got = 0, all = 0;
  while (all < takes && ReadFile(server, run.out.data() + all, takes - all, &got, nullptr) && got > 0) all += got;
  run.out.resize(all);
  DisconnectNamedPipe(server);
  CloseHandle(server);
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &run.status);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  SetFilePointer(messages, 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  while (ReadFile(messages, buffer, sizeof buffer, &got, nullptr) && got > 0) run.messages.append(buffer, got);
  CloseHandle(messages);
  return run;
}

TEST(KotranExe, AReaderThatQuitsIsABrokenPipe) {
  const std::string euc_block = hex("a4a2a4a4 0d0a 616263 0d0a");
  for (const QuitReaderRow& row : quit_reader_rows) {
    SCOPED_TRACE(std::string(row.typed) + (row.named_pipe ? ", a named pipe" : ""));
    Folder folder;
    folder.make("a.txt", hex(SJIS));
    folder.make("big.txt", test::repeat(hex(SJIS), 200000));  // 2 MB: more than any pipe holds
    const KotranRun run =
        row.named_pipe ? run_into_disconnected_pipe(folder, row.typed, 10)
                       : test::run_child_process(L"\"" + kotran_exe() + L"\" " + wide(row.typed), "",
                                                 test::Console::none, folder.path().c_str(), true, 10);
    EXPECT_EQ(run.status, 1u) << run.messages;
    EXPECT_EQ(to_hex(run.out), to_hex(euc_block.substr(0, 10)));
    EXPECT_NE(run.messages.find("standard output: Broken pipe"), std::string::npos) << run.messages;
    std::vector<std::string> expected_names;
    for (const Expected& e : row.after) {
      expected_names.push_back(e.name);
      if (e.hex != nullptr) {
        EXPECT_EQ(to_hex(folder.bytes(e.name)), to_hex(hex(e.hex))) << e.name;
      }
    }
    EXPECT_EQ(folder.names(), expected_names);
  }
}

// The DACL of a file in SDDL ("D:P(A;;FA;;;S-1-5-...)"); empty where it
// has none that can be read.
std::wstring dacl_of(const std::wstring& name) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &sd) != ERROR_SUCCESS)
    return L"";
  wchar_t* text = nullptr;
  std::wstring sddl;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                           nullptr)) {
    sddl = text;
    LocalFree(text);
  }
  LocalFree(sd);
  return sddl;
}

// Gives a file the DACL of an SDDL string ("%U" is this user's SID),
// protected from its folder's inheritance where it says "D:P".
bool set_dacl(const std::wstring& name, std::wstring sddl) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(8) unsigned char user[256];
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  wchar_t* sid = nullptr;
  if (!known || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) return false;
  for (size_t at; (at = sddl.find(L"%U")) != std::wstring::npos;) sddl.replace(at, 2, sid);
  LocalFree(sid);
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) return false;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | (sddl.compare(0, 3, L"D:P") == 0
                                                                     ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const DWORD code = SetNamedSecurityInfoW(const_cast<wchar_t*>(name.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr,
                                           dacl, nullptr);
  LocalFree(sd);
  return code == ERROR_SUCCESS;
}

// An output takes its input's ACL as it stands, protected from its own
// folder's inheritance, so that no one the input keeps out reads it: a
// new output, and an old output that everyone could read, replaced.
TEST(KotranExe, AnOutputIsReadByNoOneItsInputKeepsOut) {
  struct Row {
    const char* what;
    const wchar_t* old_output;  // the old output's DACL; nullptr: none there
  };
  const Row rows[] = {
      {"a new output", nullptr},
      {"an output everyone could read, replaced", L"D:(A;;FR;;;WD)(A;;FA;;;%U)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Folder folder;
    folder.make("a.txt", hex(SJIS));
    const std::wstring input = folder.path() + L"\\a.txt", output = folder.path() + L"\\a.utf8";
    // The input is its owner's alone.
    const bool kept = set_dacl(input, L"D:P(A;;FA;;;%U)");
    const std::wstring wanted = dacl_of(input);
    if (!kept || wanted.compare(0, 3, L"D:P") != 0)
      GTEST_SKIP() << "this file system keeps no ACL (Wine keeps none)";
    if (row.old_output != nullptr) {
      folder.make("a.utf8", "old");
      ASSERT_TRUE(set_dacl(output, row.old_output));
    }
    const KotranRun run = run_kotran(folder, "-u a.txt", "");
    EXPECT_EQ(run.status, 0u) << run.messages;
    EXPECT_EQ(to_hex(folder.bytes("a.utf8")), to_hex(hex(UTF8)));
    EXPECT_EQ(to_utf8(dacl_of(output)), to_utf8(wanted));
  }
}

TEST(KotranExe, AFileAtADrivesRootIsConvertedThere) {
  Folder folder;
  const std::wstring drive = folder.path().substr(0, 2);
  const std::wstring base = L"kotran-root-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring input = drive + L"\\" + base + L".txt";
  const std::wstring output = drive + L"\\" + base + L".utf8";
  const HANDLE h = CreateFileW(input.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  const std::string text = hex(SJIS);
  DWORD wrote = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
  CloseHandle(h);
  const KotranRun run = run_kotran(folder, "-u " + to_utf8(input), "");
  EXPECT_EQ(run.status, 0u) << run.messages;
  std::string written = "(none)";
  const HANDLE out = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    char buffer[256];
    DWORD got = 0;
    written.clear();
    while (ReadFile(out, buffer, sizeof buffer, &got, nullptr) && got > 0) written.append(buffer, got);
    CloseHandle(out);
  }
  DeleteFileW(input.c_str());
  DeleteFileW(output.c_str());
  EXPECT_EQ(to_hex(written), to_hex(hex(UTF8)));
  EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

// ------------------------------------------------------------ messages

// The console's output code page for the test, put back afterwards; 0
// where there is no console.
class ConsoleCodePage {
 public:
  ConsoleCodePage() : code_page_(GetConsoleOutputCP()) {}
  ~ConsoleCodePage() {
    if (code_page_ != 0) SetConsoleOutputCP(code_page_);
  }
  ConsoleCodePage(const ConsoleCodePage&) = delete;
  ConsoleCodePage& operator=(const ConsoleCodePage&) = delete;
  bool exists() const { return code_page_ != 0; }

 private:
  UINT code_page_;
};

// Messages redirected to a file from a console, and -g's lines to a pipe:
// Shift-JIS where the console's code page is 932, UTF-8 otherwise.
TEST(KotranExe, RedirectedMessagesInShiftJisOnlyWhereTheConsoleIs932) {
  ConsoleCodePage console;
  if (!console.exists()) GTEST_SKIP() << "no console (the suite runs on a terminal)";
  struct Row {
    UINT code_page;
    const char* message_hex;  // "出力ファイル: 資料①.utf8" as written
    const char* guess_hex;    // "資料①.txt: Shift-JIS (certain)" and LF
  };
  const Row rows[] = {
      {932, "8f6f97cd837483408343838b3a20 8e9197bf8740 2e75746638",
       "8e9197bf8740 2e7478743a2053686966742d4a495320286365727461696e290a"},
      {65001, "e587bae58a9be38395e382a1e382a4e383ab3a20 e8b387e69699e291a0 2e75746638",
       "e8b387e69699e291a0 2e7478743a2053686966742d4a495320286365727461696e290a"},
      {437, "e587bae58a9be38395e382a1e382a4e383ab3a20 e8b387e69699e291a0 2e75746638",
       "e8b387e69699e291a0 2e7478743a2053686966742d4a495320286365727461696e290a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code_page);
    ASSERT_TRUE(SetConsoleOutputCP(row.code_page));
    Folder folder;
    folder.make("資料①.txt", hex(SJIS));
    const KotranRun run = run_kotran(folder, "-u 資料①.txt", "", true);
    EXPECT_EQ(run.status, 0u);
    EXPECT_NE(run.messages.find(hex(row.message_hex)), std::string::npos) << to_hex(run.messages);
    EXPECT_EQ(to_hex(folder.bytes("資料①.utf8")), to_hex(hex(UTF8)));
    const KotranRun guess = run_kotran(folder, "-g 資料①.txt", "", true);
    EXPECT_EQ(guess.status, 0u);
    EXPECT_EQ(to_hex(guess.out), to_hex(hex(row.guess_hex)));
  }
}

// Messages on the console itself are text: they read right whatever its
// code page, a Korean name on a console of code page 437 too.
TEST(KotranExe, MessagesOnAConsoleReadRightWhateverItsCodePage) {
  ConsoleCodePage console;
  if (!console.exists()) GTEST_SKIP() << "no console (the suite runs on a terminal)";
  ASSERT_TRUE(SetConsoleOutputCP(437));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  CONSOLE_SCREEN_BUFFER_INFO before;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &before));
  Folder folder;
  folder.make("자료.txt", hex(SJIS));
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = screen;
  start.hStdError = screen;
  std::wstring line = L"\"" + kotran_exe() + L"\" -u 자료.txt";
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(test::start_process(line, true, 0, nullptr, folder.path().c_str(), start, child));
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  EXPECT_EQ(status, 0u);
  // The lines kotran wrote, read back from the screen as characters.
  CONSOLE_SCREEN_BUFFER_INFO after;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &after));
  std::wstring shown;
  for (SHORT y = before.dwCursorPosition.Y; y <= after.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<size_t>(after.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
    shown += row.substr(0, read) + L"\n";
  }
  CloseHandle(screen);
  EXPECT_NE(to_utf8(shown).find("出力ファイル: 자료.utf8"), std::string::npos) << to_utf8(shown);
}

// ------------------------------------------------------------ console events

struct StopRow {
  const char* what;
  DWORD event;
  int files;          // big0.txt, big1.txt, ..., each converted at once with --jobs
  int megabytes;      // the size of each
  const char* typed;  // after the program's name
};

const std::vector<StopRow> stop_rows = {
    {"Ctrl+C", CTRL_C_EVENT, 1, 64, "-u big0.txt"},
    {"Ctrl+Break", CTRL_BREAK_EVENT, 1, 64, "-u big0.txt"},
    // Four temporaries at once, one of each worker thread: every one is
    // removed, and the run ends as the run of one file does.
    {"Ctrl+C during --jobs=4", CTRL_C_EVENT, 4, 64, "-u --jobs=4 big*.txt"},
};


// The test's own handling of the keys while it presses them: they reach
// every process of the console, as a user's keys do.
BOOL WINAPI let_pass(DWORD) { return TRUE; }

// Ctrl+C and Ctrl+Break pressed while kotran.exe writes an output: the
// temporary it writes, which no other program could open meanwhile, is
// removed, and no output appears.
TEST(KotranExe, CtrlCAndCtrlBreakLeaveNoTemporary) {
  if (GetConsoleOutputCP() == 0) GTEST_SKIP() << "no console: console events need one (the suite runs on a terminal)";
  std::string not_sent;
  DWORD one_file_status[2] = {0, 0};  // of one file, by the event
  for (const StopRow& row : stop_rows) {
    SCOPED_TRACE(row.what);
    Folder folder;
    // Texts long enough to take seconds to convert.
    std::vector<std::string> inputs;
    {
      const std::string line = hex("8abf8e9a82a982c88cf082b682e882cc93fa967b8cea 0d0a");
      std::string block;
      while (block.size() < (1u << 20)) block += line;
      for (int f = 0; f < row.files; ++f) {
        inputs.push_back("big" + std::to_string(f) + ".txt");
        const HANDLE h = CreateFileW((folder.path() + L"\\" + wide(inputs.back())).c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        for (int i = 0; i < row.megabytes; ++i) {
          DWORD wrote = 0;
          WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &wrote, nullptr);
        }
        CloseHandle(h);
      }
    }
    const HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(null, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = start.hStdOutput = start.hStdError = null;
    std::wstring line = L"\"" + kotran_exe() + L"\" " + wide(row.typed);
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(test::start_process(line, true, 0, nullptr, folder.path().c_str(), start, child));
    CloseHandle(null);
    // Sent once the temporaries are there (one a file), while the texts
    // are being written.
    int writing = 0;
    for (int wait = 0; wait < 4000 && writing < row.files; ++wait) {
      writing = 0;
      for (const std::string& name : folder.names()) writing += name.rfind(".kotran-", 0) == 0 ? 1 : 0;
      if (writing < row.files) Sleep(5);
    }
    EXPECT_EQ(writing, row.files) << "temporaries seen at once";
    // Meanwhile no other program reads the text before it is complete.
    for (const std::string& name : folder.names()) {
      if (name.rfind(".kotran-", 0) != 0) continue;
      const HANDLE h = CreateFileW((folder.path() + L"\\" + wide(name)).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
      const DWORD error = GetLastError();
      EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name << " was opened";
      if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
      else
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    // Pressed on the console: every process attached to it gets the event.
    // The test lets them pass for as long as it runs: the event may reach
    // it after kotran.exe has ended.
    SetConsoleCtrlHandler(let_pass, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(row.event, 0) != 0;
    const DWORD error = GetLastError();
    if (!sent && under_wine() && row.event == CTRL_BREAK_EVENT && error == ERROR_INVALID_HANDLE) {
      TerminateProcess(child.hProcess, 1);
      WaitForSingleObject(child.hProcess, INFINITE);
      CloseHandle(child.hProcess);
      CloseHandle(child.hThread);
      not_sent = std::string(row.what) + ": Wine sends none (GenerateConsoleCtrlEvent fails with "
                 "ERROR_INVALID_HANDLE); it takes the same handling as Ctrl+C";
      continue;
    }
    EXPECT_TRUE(sent) << error;
    const DWORD waited = WaitForSingleObject(child.hProcess, 20000);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    EXPECT_NE(status, 0u);
    DWORD& one_file = one_file_status[row.event == CTRL_C_EVENT ? 0 : 1];
    if (row.files == 1)
      one_file = status;
    else
      EXPECT_EQ(status, one_file);
    // The inputs alone: no temporary, no output.
    EXPECT_EQ(folder.names(), inputs);
  }
  // A failure of the other rows is not hidden by the skip.
  if (!not_sent.empty() && !HasFailure()) GTEST_SKIP() << not_sent;
  if (!not_sent.empty()) ADD_FAILURE() << "also not tested: " << not_sent;
}

// The version resource, as Explorer and installers read it.
TEST(KotranExe, CarriesItsProductNameAndVersion) {
  const std::wstring exe = kotran_exe();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::string info(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
  const auto value = [&](const wchar_t* key) {
    void* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key, &text, &length) || length == 0) return std::string("(none)");
    return to_utf8(std::wstring(static_cast<const wchar_t*>(text), length - 1));
  };
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\ProductName"), "kotran");
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\ProductVersion"), KOTRAN_PROJECT_VERSION);
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\OriginalFilename"), "kotran.exe");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS));
  EXPECT_EQ(version, KOTRAN_PROJECT_VERSION);
}

// The DLLs an image imports, lowercased, as its PE32+ headers name them;
// none when the headers are not those of a PE32+ image.
std::vector<std::string> imported_dlls(const std::string& image) {
  const auto byte = [&](size_t at) {
    return at < image.size() ? static_cast<uint32_t>(static_cast<uint8_t>(image[at])) : 0u;
  };
  const auto u16 = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
  const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  std::vector<std::string> dlls;
  const size_t pe = u32(0x3C);
  const size_t optional = pe + 24;
  if (image.compare(pe, 4, std::string("PE\0\0", 4)) != 0 || u16(optional) != 0x20B) return dlls;
  const size_t sections = u16(pe + 6);
  const size_t section_table = optional + u16(pe + 20);
  // Where an address of the loaded image stands in the file.
  const auto offset_of = [&](size_t address) {
    for (size_t i = 0; i < sections; ++i) {
      const size_t h = section_table + i * 40;
      const size_t start = u32(h + 12), stored = u32(h + 16), at = u32(h + 20);
      if (address >= start && address < start + stored) return at + (address - start);
    }
    return image.size();
  };
  // The import table is the second entry of the data directories; each of
  // its records names one DLL, and an empty record ends it.
  for (size_t record = offset_of(u32(optional + 112 + 8)); record + 20 <= image.size() && u32(record + 12) != 0;
       record += 20) {
    const size_t name = offset_of(u32(record + 12));
    const size_t end = image.find('\0', name);
    if (end == std::string::npos) break;
    std::string dll = image.substr(name, end - name);
    for (char& c : dll) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    dlls.push_back(dll);
  }
  std::sort(dlls.begin(), dlls.end());
  return dlls;
}

// One self-contained program: it imports Windows' own DLLs alone, none of
// MinGW's (its C++ library, libgcc, winpthread), so that kotran.exe runs
// copied to any folder of any machine. A new import is a decision: it is
// added here.
TEST(KotranExe, ImportsWindowsOwnDllsAlone) {
  const std::string image = test::read_file(to_utf8(kotran_exe()));
  EXPECT_EQ(imported_dlls(image), (std::vector<std::string>{"advapi32.dll", "kernel32.dll", "msvcrt.dll", "ntdll.dll",
                                                            "shell32.dll", "user32.dll"}));
}

}  // namespace
}  // namespace kotran
