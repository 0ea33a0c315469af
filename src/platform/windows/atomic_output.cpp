#include "platform/atomic_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cwchar>

#include "platform/files.h"
#include "platform/windows/wide_names.h"

namespace kotran::platform {

namespace {

OutputError system_error(DWORD code) { return {OutputFault::system, code}; }

// The folder part of a name: up to its last '\' or '/', or a drive letter
// and its colon; empty for a name in the current folder.
std::wstring folder_of(const std::wstring& name) {
  const size_t separator = name.find_last_of(L"\\/");
  if (separator != std::wstring::npos) return name.substr(0, separator + 1);
  if (name.size() >= 2 && name[1] == L':') return name.substr(0, 2);
  return std::wstring();
}

// What stands at the name, seen through a handle of its own, the link
// itself and not what it leads to.
OutputError check_standing(const std::wstring& name, bool& exists) {
  exists = false;
  const HANDLE h = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return {};
    return system_error(code);
  }
  FILE_ATTRIBUTE_TAG_INFO info{};
  const bool known = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) != 0;
  const DWORD type = GetFileType(h);
  const DWORD code = GetLastError();
  CloseHandle(h);
  if (!known) return system_error(code);
  if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return {OutputFault::link, 0};
  if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || type != FILE_TYPE_DISK) return {OutputFault::not_a_file, 0};
  exists = true;
  return {};
}

}  // namespace

AtomicOutput::~AtomicOutput() { discard(); }

OutputError AtomicOutput::open(const std::string& name) {
  discard();
  if (!windows::to_wide(name, name_) || name_.empty()) return system_error(ERROR_INVALID_NAME);
  if (const OutputError refused = check_standing(name_, replaces_)) return refused;
  const std::wstring folder = folder_of(name_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    random_bytes(random, sizeof random);
    wchar_t base[32];
    std::swprintf(base, 32, L".kotran-%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2], random[3], random[4],
                  random[5]);
    const std::wstring temporary = folder + base;
    // No sharing: no other program opens the text before it is complete.
    const HANDLE h = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return system_error(GetLastError());
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0) {
      const DWORD code = GetLastError();
      CloseHandle(h);
      DeleteFileW(temporary.c_str());
      return system_error(code);
    }
    temporary_ = temporary;
    return {};
  }
  return system_error(ERROR_FILE_EXISTS);
}

OutputError AtomicOutput::commit() {
  if (fd_ < 0) return system_error(ERROR_INVALID_HANDLE);
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  const bool flushed = FlushFileBuffers(h) != 0;
  const DWORD flush_code = GetLastError();
  // Both calls open the temporary themselves: it is closed first.
  _close(fd_);
  fd_ = -1;
  OutputError result;
  if (!flushed) {
    result = system_error(flush_code);
  } else if (replaces_) {
    if (!ReplaceFileW(name_.c_str(), temporary_.c_str(), nullptr, 0, nullptr, nullptr))
      result = system_error(GetLastError());
  } else if (!MoveFileExW(temporary_.c_str(), name_.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    result = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? OutputError{OutputFault::taken, code}
                                                                       : system_error(code);
  }
  if (result) DeleteFileW(temporary_.c_str());
  temporary_.clear();
  return result;
}

void AtomicOutput::discard() {
  if (fd_ >= 0) {
    _close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    DeleteFileW(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace kotran::platform
