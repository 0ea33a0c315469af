#include "test_windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <utility>

#include "platform/files.h"
#include "platform/windows/wide_names.h"
#include "test_util.h"

namespace kotran::test {
namespace {

using platform::windows::to_utf8;

// Whether `holds` comes true within ten seconds.
template <typename Holds>
bool comes_true(Holds holds) {
  for (int i = 0; i < 1000; ++i) {
    if (holds()) return true;
    Sleep(10);
  }
  return false;
}

// Starts, under Wine, a Linux program on Linux names of these Windows
// names (Wine starts Linux programs too). Wine does not tell when such a
// program ends: the caller waits for what it makes.
bool start_linux_program(const wchar_t* program, const std::wstring& words_before,
                         const std::vector<std::wstring>& names) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  // Through void (*)(), which any function pointer may be cast from and to.
  const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_name == nullptr) return false;
  std::wstring line = words_before;
  for (const std::wstring& name : names) {
    char* unix = unix_name(name.c_str());
    if (unix == nullptr) return false;
    line += L" \"" + wide(unix) + L"\"";
    HeapFree(GetProcessHeap(), 0, unix);
  }
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child))
    return false;
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  return true;
}

bool is_reparse_point(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A junction at the empty folder `link`, to the folder `target`.
bool make_junction(const std::wstring& link, const std::wstring& target) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(target.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return false;
  const std::wstring printed(full, n), substitute = L"\\??\\" + printed;
  // A mount point's reparse data: the tag, the sizes, then the names the
  // link stands for, each ending in a zero.
  struct MountPoint {
    DWORD tag;
    WORD size, reserved, substitute_at, substitute_size, printed_at, printed_size;
    wchar_t names[2 * MAX_PATH + 8];
  } data{};
  data.tag = IO_REPARSE_TAG_MOUNT_POINT;
  data.substitute_size = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  data.printed_at = static_cast<WORD>(data.substitute_size + sizeof(wchar_t));
  data.printed_size = static_cast<WORD>(printed.size() * sizeof(wchar_t));
  std::copy(substitute.begin(), substitute.end(), data.names);
  std::copy(printed.begin(), printed.end(), data.names + substitute.size() + 1);
  data.size = static_cast<WORD>(8 + data.printed_at + data.printed_size + sizeof(wchar_t));
  const HANDLE h = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  const bool made = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &data, 8 + data.size, nullptr, 0, &got, nullptr);
  CloseHandle(h);
  return made;
}

// Removes a link without going into what it leads to (under Wine, whose
// calls would remove the folder the link leads to, by Linux's rm).
void remove_link(const std::wstring& link) {
  if (!under_wine()) {
    if (!RemoveDirectoryW(link.c_str())) DeleteFileW(link.c_str());
    return;
  }
  if (start_linux_program(L"Z:\\bin\\rm", L"rm", {link}))
    comes_true([&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

void list(const std::wstring& folder, const std::string& prefix, std::vector<std::string>& found) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      found.push_back(prefix + to_utf8(name) + ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      found.push_back(prefix + to_utf8(name) + "\\");
      list(folder + L"\\" + name, prefix + to_utf8(name) + "\\", found);
    } else {
      found.push_back(prefix + to_utf8(name));
    }
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

void remove_all(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        remove_link(full);
        continue;
      }
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_all(full);
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

// Reads to the end, or until `at_most` bytes are read.
void read_all(HANDLE h, std::string& into, std::size_t at_most = SIZE_MAX) {
  char buffer[4096];
  DWORD got = 0;
  while (into.size() < at_most &&
         ReadFile(h, buffer, static_cast<DWORD>(std::min<std::size_t>(sizeof buffer, at_most - into.size())), &got,
                  nullptr) &&
         got > 0)
    into.append(buffer, got);
}

}  // namespace

bool under_wine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring kotran_exe() {
  wchar_t path[MAX_PATH];
  const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return self.substr(0, self.find_last_of(L"\\/") + 1) + L"kotran.exe";
}

std::wstring wide(const std::string& utf8) {
  std::wstring w;
  EXPECT_TRUE(platform::windows::to_wide(utf8, w)) << to_hex(utf8);
  return w;
}

Folder::Folder(const char* prefix) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  unsigned char random[6];
  platform::random_bytes(random, sizeof random);
  path_ = std::wstring(temp, n) + wide(prefix) + wide(to_hex(std::string(random, random + 6)));
  for (wchar_t& c : path_)
    if (c == L' ') c = L'-';
  EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
}

Folder::~Folder() { remove_all(path_); }

void Folder::make(const std::string& name, const std::string& bytes) const {
  const std::wstring full = path_ + L"\\" + wide(name);
  if (!name.empty() && name.back() == '\\') {
    EXPECT_TRUE(CreateDirectoryW(full.c_str(), nullptr)) << name;
    return;
  }
  const HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
  DWORD wrote = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
  CloseHandle(h);
}

std::vector<std::string> Folder::names() const {
  std::vector<std::string> found;
  list(path_, "", found);
  std::sort(found.begin(), found.end());
  return found;
}

std::string Folder::bytes(const std::string& name) const {
  const HANDLE h = CreateFileW((path_ + L"\\" + wide(name)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(none)";
  std::string text;
  read_all(h, text);
  CloseHandle(h);
  return text;
}

std::string plant_folder_link(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return "the link's name is taken";
  if (make_junction(link, target)) return "";
  RemoveDirectoryW(link.c_str());
  if (!under_wine()) return "no junction can be made here (the drive has no reparse points)";
  if (!start_linux_program(L"Z:\\bin\\ln", L"ln -s", {target, link}) ||
      !comes_true([&] { return is_reparse_point(link); }))
    return "Linux's ln made no link under Wine";
  return "";
}

bool start_process(std::wstring& line, bool inherit_handles, DWORD flags, void* environment, const wchar_t* folder,
                   STARTUPINFOW& start, PROCESS_INFORMATION& child) {
  for (int attempt = 0;; ++attempt) {
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit_handles, flags, environment, folder, &start,
                       &child))
      return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) return false;
    Sleep(200);
  }
}

ChildRun run_child_process(std::wstring line, const std::string& in, Console console, const wchar_t* folder,
                           bool messages_to_file, std::size_t reader_takes) {
  ChildRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in_read, in_write, out_read, out_write;
  if (!CreatePipe(&in_read, &in_write, &inherit, 0) || !CreatePipe(&out_read, &out_write, &inherit, 0)) {
    ADD_FAILURE() << "no pipe";
    return run;
  }
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE console_out = INVALID_HANDLE_VALUE;
  if (console == Console::as_output)
    console_out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
  HANDLE messages = INVALID_HANDLE_VALUE;
  if (messages_to_file) {
    wchar_t temp[MAX_PATH + 1];
    const std::wstring name = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + L"kotran-child-messages-" +
                              std::to_wstring(GetCurrentProcessId());
    messages = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = in_read;
  start.hStdOutput = console == Console::as_output ? console_out : out_write;
  start.hStdError = messages_to_file ? messages : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  const DWORD flags = console == Console::none ? DETACHED_PROCESS : 0;
  if (!start_process(line, true, flags, nullptr, folder, start, child)) {
    ADD_FAILURE() << "the child did not start: " << GetLastError();
    // Nothing is left open to spoil the next child's start.
    for (HANDLE h : {in_read, in_write, out_read, out_write, console_out, messages})
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return run;
  }
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (console_out != INVALID_HANDLE_VALUE) CloseHandle(console_out);
  DWORD wrote = 0;
  if (!in.empty()) WriteFile(in_write, in.data(), static_cast<DWORD>(in.size()), &wrote, nullptr);
  CloseHandle(in_write);
  read_all(out_read, run.out, reader_takes);
  CloseHandle(out_read);
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &run.status);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  if (messages != INVALID_HANDLE_VALUE) {
    SetFilePointer(messages, 0, nullptr, FILE_BEGIN);
    read_all(messages, run.messages);
    CloseHandle(messages);
  }
  return run;
}

// ------------------------------------- the tests' host helpers, on Windows

namespace {

// A name in the program's form ('/' between folders) as the wide calls take it.
std::wstring wide_name(const std::string& name) {
  std::wstring w = wide(name);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  return w;
}

std::string file_bytes(const std::wstring& name) {
  std::string text;
  const HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return text;
  read_all(h, text);
  CloseHandle(h);
  return text;
}

// A word of a command line, quoted so that CommandLineToArgvW gives it back.
std::wstring quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring q = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    q += c;
  }
  q.append(2 * backslashes, L'\\');
  return q + L"\"";
}

}  // namespace

std::string read_file(const std::string& path) { return file_bytes(wide_name(path)); }

std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> found;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((wide_name(dir) + L"\\.kotran-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return found;
  do found.push_back(to_utf8(entry.cFileName));
  while (FindNextFileW(find, &entry));
  FindClose(find);
  return found;
}

bool iconv_oracle_here() { return false; }

bool glibc_iconv(const char*, const char*, const std::string&, std::string&) { return false; }

TempDir::TempDir() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  unsigned char random[6];
  platform::random_bytes(random, sizeof random);
  std::wstring path = std::wstring(temp, n) + L"kotran-test-" + wide(to_hex(std::string(random, random + 6)));
  std::replace(path.begin(), path.end(), L' ', L'-');
  EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  path_ = to_utf8(path);
  std::replace(path_.begin(), path_.end(), '\\', '/');
}

TempDir::~TempDir() { remove_all(wide_name(path_)); }

void TempDir::write(const std::string& name, const std::string& bytes) const {
  const HANDLE h = CreateFileW(wide_name(file(name)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
  DWORD wrote = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
  CloseHandle(h);
}

std::string TempDir::read(const std::string& name) const { return file_bytes(wide_name(file(name))); }

bool TempDir::exists(const std::string& name) const {
  return GetFileAttributesW(wide_name(file(name)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> found;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((wide_name(path_) + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") found.push_back(to_utf8(name));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  std::sort(found.begin(), found.end());
  return found;
}

namespace {

// A file of the user's temporary folder that holds what a child writes
// to one of its standard streams, this process's own.
std::wstring capture_name(const wchar_t* stream) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp, n) + L"kotran-test-" + stream + L"-" + std::to_wstring(GetCurrentProcessId());
}

}  // namespace

// kotran.exe with the words, in the folder, standard input from NUL, its
// output to stdout_path (appended where asked) or read back, its messages
// read back; the variables that would choose its language are passed only
// where the test sets them.
RunResult run_kotran_on_host(const std::vector<std::string>& args, const std::string& dir,
                             const std::vector<std::string>& extra_env, const std::string& stdout_path, bool append) {
  RunResult r;
  std::wstring line = quoted(kotran_exe());
  for (const std::string& a : args) line += L" " + quoted(wide(a));
  std::wstring environment;
  const auto set_by_test = [&extra_env](const std::wstring& e) {
    for (const std::string& x : extra_env)
      if (e.compare(0, x.find('=') + 1, wide(x.substr(0, x.find('=') + 1))) == 0) return true;
    return false;
  };
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* e = block; *e != L'\0'; e += std::wcslen(e) + 1) {
      const std::wstring entry = e;
      bool language = false;
      for (const wchar_t* v : {L"LANGUAGE=", L"LC_ALL=", L"LC_MESSAGES=", L"LANG="})
        language = language || entry.compare(0, std::wcslen(v), v) == 0;
      if (!language && !set_by_test(entry)) environment += entry + L'\0';
    }
    FreeEnvironmentStringsW(block);
  }
  for (const std::string& x : extra_env) environment += wide(x) + L'\0';
  environment += L'\0';
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                nullptr);
  const HANDLE out = stdout_path.empty()
                         ? CreateFileW(capture_name(L"stdout").c_str(),
                                       GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                         : CreateFileW(wide_name(stdout_path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                       append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
  const HANDLE err = CreateFileW(
      capture_name(L"stderr").c_str(),
      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = in;
  start.hStdOutput = out;
  start.hStdError = err;
  PROCESS_INFORMATION child{};
  const std::wstring folder = wide_name(dir);
  if (start_process(line, true, CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment.data(), folder.c_str(),
                    start, child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    r.status = static_cast<int>(status);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
  } else {
    ADD_FAILURE() << "kotran.exe did not start: " << GetLastError();
  }
  for (const auto& [h, text] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
    if (h == INVALID_HANDLE_VALUE) continue;
    if (h == out && !stdout_path.empty()) {
      CloseHandle(h);
      continue;
    }
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    read_all(h, *text);
    CloseHandle(h);
  }
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  // The suites write the messages they expect as a POSIX host writes them
  // to a file, in Shift-JIS; kotran.exe with no console writes UTF-8 (its
  // own suite checks that form), which is compared in Shift-JIS here.
  std::wstring text;
  if (!r.err.empty() && platform::windows::to_wide(r.err, text)) {
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(932, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    r.err.assign(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(932, 0, text.data(), size, r.err.data(), n, nullptr, nullptr);
  }
  return r;
}

namespace {

RunResult no_posix_here(const char* what) {
  ADD_FAILURE() << what << " is POSIX's: a test that needs it is skipped on Windows";
  return {};
}

}  // namespace

// Windows keeps no permission bits, and has no user nobody or POSIX shell.
bool permissions_apply() { return false; }
bool can_run_as_nobody() { return false; }
RunResult run_kotran_as_nobody(const std::vector<std::string>&, const std::string&) {
  return no_posix_here("running as nobody");
}
bool shell_here() { return false; }

std::string messages_on_standard_output(const std::string& sjis) {
  std::wstring text(sjis.size(), L'\0');
  text.resize(static_cast<size_t>(
      MultiByteToWideChar(932, 0, sjis.data(), static_cast<int>(sjis.size()), text.data(), static_cast<int>(text.size()))));
  return to_utf8(text);
}
RunResult run_shell(const std::string&, const std::string&) { return no_posix_here("sh -c"); }
RunResult run_shell_as_nobody(const std::string&, const std::string&) { return no_posix_here("sh -c"); }

}  // namespace kotran::test
