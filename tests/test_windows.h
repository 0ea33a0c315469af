// What the Windows suites share: names as the wide calls take them, a
// folder of real files, and a child started with a real command line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kotran::test {

// A name in UTF-8 as the wide calls take it.
std::wstring wide(const std::string& utf8);

// kotran.exe, built beside the test programs.
std::wstring kotran_exe();

// Whether the tests run under Wine (its ntdll names its version).
bool under_wine();

// A folder in the user's temporary folder, removed with what it holds
// (read-only files too).
class Folder {
 public:
  explicit Folder(const char* prefix = "kotran-test-");
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::wstring& path() const { return path_; }
  // A file of these bytes, or with a name ending in '\' a folder.
  void make(const std::string& name, const std::string& bytes = "") const;
  // Every name under the folder, a folder's with '\' at its end, sorted; a
  // link to a folder is named as a folder and not gone into.
  std::vector<std::string> names() const;
  // The bytes of a file; "(none)" where there is none.
  std::string bytes(const std::string& name) const;

 private:
  std::wstring path_;
};

// Plants at `link`, as another user's program would, a link to the folder
// `target`: a junction (which Windows lets any user make); under Wine,
// which makes none, a Linux symbolic link made by Linux's own ln, which
// Wine's calls show as a reparse point. Empty when the link is there,
// else why it could not be made.
std::string plant_folder_link(const std::wstring& link, const std::wstring& target);

// CreateProcessW, tried again (up to three times) where Wine, under load,
// now and then refuses a start with ERROR_INTERNAL_ERROR: the start is
// tried again, never the child's behaviour. False, GetLastError() saying
// why, where it did not start.
bool start_process(std::wstring& line, bool inherit_handles, DWORD flags, void* environment, const wchar_t* folder,
                   STARTUPINFOW& start, PROCESS_INFORMATION& child);

// How a child is started: with no console at all, sharing this program's
// console, or writing its standard output to that console itself.
enum class Console { none, shared, as_output };

struct ChildRun {
  DWORD status = 0xFFFFFFFF;
  std::string out;       // standard output, through a pipe (none with Console::as_output)
  std::string messages;  // standard error, where it went to a file
};

// Starts the command line `line` in `folder` (null: this program's), with
// `in` on its standard input, and waits for it. Its standard error goes to
// a file that is read back where messages_to_file is set, else to this
// program's. Of its standard output the reader takes `reader_takes` bytes
// at most and then closes its end of the pipe, as a pager the user quits.
ChildRun run_child_process(std::wstring line, const std::string& in, Console console, const wchar_t* folder,
                           bool messages_to_file, std::size_t reader_takes = SIZE_MAX);

}  // namespace kotran::test
