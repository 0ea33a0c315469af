// What the Windows suites share: names as the wide calls take them, a
// folder of real files, and a child started with a real command line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kotran::test {

// A name in UTF-8 as the wide calls take it.
std::wstring wide(const std::string& utf8);

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
  // Every name under the folder, a folder's with '\' at its end, sorted.
  std::vector<std::string> names() const;
  // The bytes of a file; "(none)" where there is none.
  std::string bytes(const std::string& name) const;

 private:
  std::wstring path_;
};

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
// program's.
ChildRun run_child_process(std::wstring line, const std::string& in, Console console, const wchar_t* folder,
                           bool messages_to_file);

}  // namespace kotran::test
