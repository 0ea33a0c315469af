// The calls of platform/files.h on Windows. The outputs there are made by
// their own layer (a temporary opened without sharing and put in place by
// a hard link or MoveFileExW), so the unnamed files of Linux are refused
// here as on a host without them.
#include "platform/files.h"

#define _CRT_RAND_S
#include <stdlib.h>

#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <windows.h>
#include <aclapi.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/windows/errors.h"

namespace kotran::platform {

int open_unnamed_file(int, const char*, bool) {
  errno = EOPNOTSUPP;
  return -1;
}

bool can_name_unnamed_files() { return false; }

int name_unnamed_file(int, int, const char*) {
  errno = EOPNOTSUPP;
  return -1;
}

void random_bytes(unsigned char* bytes, size_t size) {
  // rand_s draws from the system's generator (RtlGenRandom).
  for (size_t i = 0; i < size; i += 4) {
    unsigned value = 0;
    if (rand_s(&value) != 0) value = static_cast<unsigned>(GetCurrentProcessId()) * 2654435761u + static_cast<unsigned>(i);
    for (size_t k = 0; k < 4 && i + k < size; ++k) bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
  }
}

namespace {

// The mark is a lock of one byte far beyond any file's end: it hinders no
// read or write, and the system drops it when the handle closes, however
// the process ends.
constexpr DWORD MARK_LOW = 0xFFFFFFFEu;
constexpr DWORD MARK_HIGH = 0x7FFFFFFFu;

bool lock_mark(HANDLE h) {
  OVERLAPPED at{};
  at.Offset = MARK_LOW;
  at.OffsetHigh = MARK_HIGH;
  return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

bool unlock_mark(HANDLE h) {
  OVERLAPPED at{};
  at.Offset = MARK_LOW;
  at.OffsetHigh = MARK_HIGH;
  return UnlockFileEx(h, 0, 1, 0, &at) != 0;
}

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

bool mark_in_use(int fd) {
  const HANDLE h = handle_of(fd);
  return h != INVALID_HANDLE_VALUE && lock_mark(h);
}

// A lock is the handle's: taking it through this descriptor fails as well
// when another handle (of this process or another) holds it.
bool marked_in_use(int fd) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (!lock_mark(h)) return GetLastError() == ERROR_LOCK_VIOLATION;
  unlock_mark(h);
  return false;
}

// The output takes the input's DACL as it stands (the entries it inherits
// from its folder included), protected from the inheritance of its own
// folder, so that no one the input keeps out reads the output. In place,
// the input is the file replaced: it keeps its own. A file system without
// ACLs (FAT32, exFAT) has none to keep.
int copy_attributes(int from, int to, bool) {
  const HANDLE in = handle_of(from);
  const HANDLE out = handle_of(to);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) return EBADF;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD code = GetSecurityInfo(in, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                               &descriptor);
  if (code == ERROR_SUCCESS) {
    code = SetSecurityInfo(out, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
  }
  switch (code) {
    case ERROR_SUCCESS:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return 0;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

// What Windows' C library can raise; Ctrl+C and Ctrl+Break arrive as
// SIGINT and SIGBREAK.
const int stopping_signals[] = {SIGINT, SIGBREAK, SIGTERM, SIGABRT, 0};

// A file in the user's temporary folder that the system deletes when its
// handle closes, whether the program closes it or ends in any way.
int open_spill_file() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    errno = ENOENT;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[8];
    random_bytes(random, sizeof random);
    wchar_t name[32];
    std::swprintf(name, 32, L".kotran-%02x%02x%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2],
                  random[3], random[4], random[5], random[6], random[7]);
    const std::wstring path = std::wstring(folder, length) + name;
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) CloseHandle(h);
    return fd;
  }
  errno = EEXIST;
  return -1;
}

// Unmeasured on NTFS: nothing is set aside.
bool room_pays(int) { return false; }
bool reserve_room(int, int64_t, int64_t) { return false; }
bool give_back_room(int, int64_t) { return true; }

// A read at an offset moves a synchronous handle's position: it is put
// back, since the spool appends at the position.
ssize_t read_at(int fd, void* to, size_t size, int64_t at) {
  const HANDLE h = handle_of(fd);
  LARGE_INTEGER was{}, none{};
  if (h == INVALID_HANDLE_VALUE || !SetFilePointerEx(h, none, &was, FILE_CURRENT)) {
    errno = EBADF;
    return -1;
  }
  OVERLAPPED from{};
  from.Offset = static_cast<DWORD>(at);
  from.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(at) >> 32);
  DWORD got = 0;
  const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  const bool read = ReadFile(h, to, wanted, &got, &from) != 0 || GetLastError() == ERROR_HANDLE_EOF;
  SetFilePointerEx(h, was, nullptr, FILE_BEGIN);
  if (!read) {
    errno = EIO;
    return -1;
  }
  return static_cast<ssize_t>(got);
}

// The descriptors the program writes are binary and never appending, so
// the C library's write would be WriteFile alone, less the cause.
ssize_t write_some(int fd, const void* from, size_t size) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE || h == reinterpret_cast<HANDLE>(-2) || h == nullptr) {
    errno = EBADF;
    return -1;
  }
  DWORD wrote = 0;
  const DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!WriteFile(h, from, part, &wrote, nullptr)) {
    errno = windows::errno_of(GetLastError());
    return -1;
  }
  return static_cast<ssize_t>(wrote);
}

}  // namespace kotran::platform
