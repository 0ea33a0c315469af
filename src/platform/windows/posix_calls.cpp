// The POSIX calls on files and folders, on Windows (see posix_calls.h).
#include "platform/windows/posix_calls.h"

#include <windows.h>
#include <winternl.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/windows/errors.h"
#include "platform/windows/wide_names.h"

namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

using kotran::platform::windows::errno_of;

int fail(DWORD code) {
  errno = errno_of(code);
  return -1;
}

bool is_absolute(const std::wstring& name) {
  if (!name.empty() && (name[0] == L'\\' || name[0] == L'/')) return true;
  return name.size() >= 2 && name[1] == L':';
}

// A name as long as a folder's name may be (248 units) or longer is given
// in its full "\\?\" form, in which Windows takes names up to 32,767 units
// whatever the system's MAX_PATH setting: a deep tree of an archive is
// found and written too. Shorter names go as they are.
bool long_form(std::wstring& wide) {
  if (wide.size() < 248 || wide.compare(0, 4, L"\\\\?\\") == 0) return true;
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) {
    errno = errno_of(GetLastError());
    return false;
  }
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) {
    errno = ENAMETOOLONG;
    return false;
  }
  full.resize(got);
  if (full.compare(0, 2, L"\\\\") == 0)
    wide = L"\\\\?\\UNC\\" + full.substr(2);
  else
    wide = L"\\\\?\\" + full;
  return true;
}

// The wide name of `name` relative to the folder open as dirfd: the
// folder as its handle names it, then the name. False, errno set, when
// there is none.
bool name_at(int dirfd, const char* name, std::wstring& wide) {
  if (!kotran::platform::windows::to_wide(name, wide)) {
    errno = EILSEQ;
    return false;
  }
  if (wide.empty()) {
    errno = ENOENT;
    return false;
  }
  if (dirfd == AT_FDCWD || is_absolute(wide)) return long_form(wide);
  const HANDLE folder = handle_of(dirfd);
  if (folder == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  // Too small a buffer gives the size needed, or (under Wine, whose own
  // buffer holds MAX_PATH units) an error: the longest name Windows has is
  // tried then, and a folder whose name is still refused is too deep.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()), 0);
    if (n > 0 && n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() > 32768) {
      errno = ENAMETOOLONG;
      return false;
    }
    path.resize(n > path.size() ? n + 1 : 32769);
  }
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide == L".") {
    wide = path;
    return true;
  }
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  wide = path + wide;
  return true;
}

// How a name is opened: the access, the sharing and the Win32 disposition
// (CREATE_NEW, OPEN_EXISTING, ...), whether only a folder or only a file
// will do, and whether a reparse point is opened itself.
struct How {
  ACCESS_MASK access;
  ULONG share;
  DWORD disposition;
  bool folder_only = false;
  bool file_only = false;
  bool no_follow = false;
};

// Whether a part of the name is "." or "..", which a name opened relative
// to a folder's handle may not hold.
bool dotted(const std::wstring& wide) {
  size_t start = 0;
  for (size_t i = 0; i <= wide.size(); ++i) {
    if (i < wide.size() && wide[i] != L'\\' && wide[i] != L'/') continue;
    const std::wstring_view part(wide.data() + start, i - start);
    if (part == L"." || part == L"..") return true;
    start = i + 1;
  }
  return false;
}

bool is_relative_to(int dirfd, const std::wstring& wide) {
  return dirfd != AT_FDCWD && !is_absolute(wide) && !dotted(wide);
}

// The full name of a name relative to a held folder that holds "." or
// "..": the folder's name as its handle gives it, the name after it, the
// dots resolved.
bool resolved_name_at(int dirfd, const char* name, std::wstring& wide) {
  if (!name_at(dirfd, name, wide)) return false;
  if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    wide = L"\\\\" + wide.substr(8);
  else if (wide.compare(0, 4, L"\\\\?\\") == 0)
    wide = wide.substr(4);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(n, L'\0');
  const DWORD got = n == 0 ? 0 : GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) {
    errno = n == 0 ? errno_of(GetLastError()) : ENAMETOOLONG;
    return false;
  }
  full.resize(got);
  wide = std::move(full);
  return long_form(wide);
}

// The full name, in its long form, of a name relative to dirfd, for the
// calls that take names (a name of the working folder, a full one, or one
// holding dots).
bool full_name_at(int dirfd, const char* name, std::wstring& wide) {
  if (!kotran::platform::windows::to_wide(name, wide)) {
    errno = EILSEQ;
    return false;
  }
  if (dirfd == AT_FDCWD || is_absolute(wide)) return long_form(wide);
  return resolved_name_at(dirfd, name, wide);
}

// Opens `name` relative to the folder held as dirfd: the folder's handle is
// NtCreateFile's root, so that its name is never walked again (a folder
// renamed or replaced meanwhile changes nothing). A name of the working
// folder, or a full one, is opened by name (CreateFileW). INVALID_HANDLE_VALUE
// with errno set on failure.
HANDLE open_at(int dirfd, const char* name, const How& how) {
  std::wstring wide;
  if (!kotran::platform::windows::to_wide(name, wide)) {
    errno = EILSEQ;
    return INVALID_HANDLE_VALUE;
  }
  if (wide.empty()) {
    errno = ENOENT;
    return INVALID_HANDLE_VALUE;
  }
  if (!is_relative_to(dirfd, wide)) {
    if (dirfd != AT_FDCWD && !is_absolute(wide) ? !resolved_name_at(dirfd, name, wide) : !long_form(wide))
      return INVALID_HANDLE_VALUE;
    const HANDLE h = CreateFileW(wide.c_str(), how.access, how.share, nullptr, how.disposition,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS |
                                     (how.no_follow ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) errno = errno_of(GetLastError());
    return h;
  }
  const HANDLE root = handle_of(dirfd);
  if (root == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return INVALID_HANDLE_VALUE;
  }
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.size() > 32767) {
    errno = ENAMETOOLONG;
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING object_name;
  object_name.Buffer = wide.data();
  object_name.Length = object_name.MaximumLength = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, root, nullptr);
  ULONG disposition = FILE_OPEN;
  switch (how.disposition) {
    case CREATE_NEW: disposition = FILE_CREATE; break;
    case CREATE_ALWAYS: disposition = FILE_OVERWRITE_IF; break;
    case OPEN_ALWAYS: disposition = FILE_OPEN_IF; break;
    case TRUNCATE_EXISTING: disposition = FILE_OVERWRITE; break;
    default: break;
  }
  const ULONG options = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT |
                        (how.no_follow ? FILE_OPEN_REPARSE_POINT : 0) | (how.folder_only ? FILE_DIRECTORY_FILE : 0) |
                        (how.file_only ? FILE_NON_DIRECTORY_FILE : 0);
  HANDLE h = INVALID_HANDLE_VALUE;
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = NtCreateFile(&h, how.access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                       how.share, disposition, options, nullptr, 0);
  if (!NT_SUCCESS(status)) {
    errno = errno_of(RtlNtStatusToDosError(status));
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

// Renames or links the file `from` (relative to from_dir) to `to`
// (relative to to_dir) through a handle of its own, the names taken from
// the folders' handles; `what` is FileRenameInformation or
// FileLinkInformation, whose structures are alike.
int rename_or_link(int from_dir, const char* from, int to_dir, const char* to, FILE_INFORMATION_CLASS what,
                   bool replace) {
  std::wstring target;
  if (!kotran::platform::windows::to_wide(to, target)) {
    errno = EILSEQ;
    return -1;
  }
  for (wchar_t& c : target) {
    if (c == L'/') c = L'\\';
  }
  const HANDLE file = open_at(from_dir, from, How{DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                   OPEN_EXISTING, false, true, true});
  if (file == INVALID_HANDLE_VALUE) return -1;
  const size_t size = sizeof(FILE_LINK_INFORMATION) + target.size() * sizeof(wchar_t);
  std::string buffer(size, '\0');
  auto* info = reinterpret_cast<FILE_LINK_INFORMATION*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = handle_of(to_dir);
  info->FileNameLength = static_cast<ULONG>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.data(), info->FileNameLength);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = NtSetInformationFile(file, &io, info, static_cast<ULONG>(size), what);
  CloseHandle(file);
  if (!NT_SUCCESS(status)) {
    errno = errno_of(RtlNtStatusToDosError(status));
    return -1;
  }
  return 0;
}

int64_t nanoseconds_since_1601(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// 100-ns units since 1601 to a time since 1970.
struct timespec time_of(const FILETIME& t) {
  constexpr int64_t EPOCH_1970 = 116444736000000000LL;
  const int64_t units = nanoseconds_since_1601(t) - EPOCH_1970;
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(units / 10000000);
  ts.tv_nsec = static_cast<long>((units % 10000000) * 100);
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1000000000L;
    --ts.tv_sec;
  }
  return ts;
}

FILETIME filetime_of(const struct timespec& ts) {
  constexpr int64_t EPOCH_1970 = 116444736000000000LL;
  const uint64_t units = static_cast<uint64_t>(static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + EPOCH_1970);
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(units);
  t.dwHighDateTime = static_cast<DWORD>(units >> 32);
  return t;
}

// The status of what the handle is open on. A reparse point is seen as a
// symbolic link only when the handle was opened on the point itself.
int status_of(HANDLE h, struct kotran_stat* st) {
  std::memset(st, 0, sizeof *st);
  const DWORD type = GetFileType(h);
  if (type == FILE_TYPE_CHAR) {
    st->st_mode = S_IFCHR | 0666;
    st->st_nlink = 1;
    return 0;
  }
  if (type == FILE_TYPE_PIPE) {
    st->st_mode = S_IFIFO | 0666;
    st->st_nlink = 1;
    return 0;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return fail(GetLastError());
  st->st_dev = info.dwVolumeSerialNumber;
  st->st_ino = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  st->st_nlink = info.nNumberOfLinks;
  st->st_size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  st->st_atim = time_of(info.ftLastAccessTime);
  st->st_mtim = time_of(info.ftLastWriteTime);
  st->st_ctim = time_of(info.ftLastWriteTime);
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
    FILETIME changed;
    changed.dwLowDateTime = static_cast<DWORD>(basic.ChangeTime.QuadPart);
    changed.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(basic.ChangeTime.QuadPart) >> 32);
    if (basic.ChangeTime.QuadPart != 0) st->st_ctim = time_of(changed);
  }
  // Windows keeps no mode bits: a read-only file is read by all and
  // written by none; the rest is readable and writable.
  const unsigned permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  // A reparse point that stands for another name (a symbolic link, a
  // junction, a mount point) is a link; the others (a OneDrive file, a
  // deduplicated file) are the file or folder they hold.
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
                     IsReparseTagNameSurrogate(tag.ReparseTag));
  if (link)
    st->st_mode = S_IFLNK | 0777;
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    st->st_mode = S_IFDIR | 0777;
  else
    st->st_mode = S_IFREG | permissions;
  return 0;
}

// Whether a name opened on its own reparse point (no_follow), whose handle
// shows a folder and no point (a OneDrive folder is a point, and a
// folder), is listed as a reparse point: the open went on to what the
// point leads to. Windows opens the point itself, and its handle says
// so; Wine opens what a Linux link to a folder leads to, and only the
// name's attributes show the point. The name is looked up by its full name
// (Wine takes no folder handle as the root of this look), which may walk a
// path again: the answer is only ever a refusal, and a name swapped for a
// link meanwhile is refused as the link it became. Folders alone are
// looked up: a file's open costs nothing more.
bool went_through_a_link(HANDLE h, int dirfd, const char* name) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  const int saved = errno;
  std::wstring full;
  const DWORD attributes = name_at(dirfd, name, full) ? GetFileAttributesW(full.c_str()) : INVALID_FILE_ATTRIBUTES;
  errno = saved;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

int kotran_isatty(int fd) {
  const HANDLE h = handle_of(fd);
  DWORD mode = 0;
  if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) return 1;
  errno = ENOTTY;
  return 0;
}

int64_t kotran_lseek(int fd, int64_t offset, int origin) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    errno = ESPIPE;
    return -1;
  }
  return _lseeki64(fd, offset, origin);
}

int fstatat(int dirfd, const char* name, struct kotran_stat* st, int flags) {
  const bool no_follow = (flags & AT_SYMLINK_NOFOLLOW) != 0;
  const HANDLE h = open_at(dirfd, name, How{FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             OPEN_EXISTING, false, false, no_follow});
  if (h == INVALID_HANDLE_VALUE) return -1;
  const int result = status_of(h, st);
  const int saved = errno;
  if (result == 0 && no_follow && S_ISDIR(st->st_mode) && went_through_a_link(h, dirfd, name)) {
    // The link the open went through: its status is a link's.
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFLNK | 0777;
    st->st_nlink = 1;
  }
  CloseHandle(h);
  errno = saved;
  return result;
}

int kotran_stat(const char* name, struct kotran_stat* st) { return fstatat(AT_FDCWD, name, st, 0); }

int lstat(const char* name, struct kotran_stat* st) { return fstatat(AT_FDCWD, name, st, AT_SYMLINK_NOFOLLOW); }

int kotran_fstat(int fd, struct kotran_stat* st) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  return status_of(h, st);
}

namespace {
// What a failed open of a file is told as, where Windows' code says less
// than the cause: a folder at the name ("access denied", or under Wine
// "exists") is EISDIR, and a name with a part longer than the file system
// takes ("invalid name") is ENAMETOOLONG. The name is only looked at, never
// acted on.
int cause_of_failed_open(int dirfd, const char* name, int error) {
  if (error == EACCES || error == EEXIST) {
    struct kotran_stat st;
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
  }
  if (error == ENOENT) {
    std::wstring wide;
    if (kotran::platform::windows::to_wide(name, wide)) {
      size_t part = 0;
      for (const wchar_t c : wide) {
        part = c == L'/' || c == L'\\' ? 0 : part + 1;
        if (part > 255) return ENAMETOOLONG;
      }
    }
  }
  return error;
}
}  // namespace

int openat(int dirfd, const char* name, int flags, ...) {
  const int access_mode = flags & (O_RDONLY | O_WRONLY | O_RDWR);
  DWORD access = access_mode == O_WRONLY ? GENERIC_WRITE : access_mode == O_RDWR ? GENERIC_READ | GENERIC_WRITE
                                                                                 : GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & O_CREAT) && (flags & O_EXCL))
    disposition = CREATE_NEW;
  else if ((flags & O_CREAT) && (flags & O_TRUNC))
    disposition = CREATE_ALWAYS;
  else if (flags & O_CREAT)
    disposition = OPEN_ALWAYS;
  else if (flags & O_TRUNC)
    disposition = TRUNCATE_EXISTING;
  // A folder is held without delete sharing, so that it is neither renamed
  // nor removed while names are taken relative to it. A file made new
  // (O_EXCL: the temporary an output is written to) is open to no other
  // program's reads and writes until it is closed; it may still be given
  // its name and be removed. Other files are shared as POSIX shares them.
  const bool folder = (flags & O_DIRECTORY) != 0;
  if (folder) access = FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE;
  // A file made new takes its ACL through this handle (copy_attributes).
  if (disposition == CREATE_NEW) access |= READ_CONTROL | WRITE_DAC;
  const DWORD share = folder ? FILE_SHARE_READ | FILE_SHARE_WRITE
                      : disposition == CREATE_NEW ? FILE_SHARE_DELETE
                                                  : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE h = open_at(dirfd, name, How{access, share, disposition, false, false, (flags & O_NOFOLLOW) != 0});
  if (h == INVALID_HANDLE_VALUE) {
    if (!folder && disposition != CREATE_NEW) errno = cause_of_failed_open(dirfd, name, errno);
    return -1;
  }
  struct kotran_stat st;
  if (status_of(h, &st) != 0) {
    const int saved = errno;
    CloseHandle(h);
    errno = saved;
    return -1;
  }
  int refused = 0;
  if ((flags & O_NOFOLLOW) &&
      (S_ISLNK(st.st_mode) || (S_ISDIR(st.st_mode) && went_through_a_link(h, dirfd, name))))
    refused = ELOOP;
  else if (folder && !S_ISDIR(st.st_mode))
    refused = ENOTDIR;
  else if (!folder && S_ISDIR(st.st_mode) && access_mode != O_RDONLY)
    refused = EISDIR;
  if (refused != 0) {
    CloseHandle(h);
    errno = refused;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), access_mode | O_BINARY | O_NOINHERIT);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

int fcntl(int fd, int command, ...) {
  if (handle_of(fd) == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  switch (command) {
    case F_GETFD:
      return FD_CLOEXEC;
    case F_GETFL:
    case F_SETFD:
    case F_SETFL:
      return 0;
    case F_DUPFD_CLOEXEC:
      return _dup(fd);
    default:
      errno = EINVAL;
      return -1;
  }
}

int mkdirat(int dirfd, const char* name, mode_t) {
  std::wstring wide;
  if (!kotran::platform::windows::to_wide(name, wide)) {
    errno = EILSEQ;
    return -1;
  }
  if (!is_relative_to(dirfd, wide)) {
    if (dirfd != AT_FDCWD && !is_absolute(wide) ? !resolved_name_at(dirfd, name, wide) : !long_form(wide)) return -1;
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : fail(GetLastError());
  }
  const HANDLE h = open_at(dirfd, name, How{FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW, true});
  if (h == INVALID_HANDLE_VALUE) return -1;
  CloseHandle(h);
  return 0;
}

// The name is removed once every handle on it is closed (at once where
// none is open).
int unlinkat(int dirfd, const char* name, int flags) {
  const bool folder = (flags & AT_REMOVEDIR) != 0;
  const HANDLE h = open_at(dirfd, name, How{DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                            folder, !folder, true});
  if (h == INVALID_HANDLE_VALUE) return -1;
  FILE_DISPOSITION_INFO remove{};
  remove.DeleteFile = TRUE;
  const bool removed = SetFileInformationByHandle(h, FileDispositionInfo, &remove, sizeof remove) != 0;
  const DWORD code = GetLastError();
  CloseHandle(h);
  return removed ? 0 : fail(code);
}

// Over an existing file: the replacement takes the replaced file's hidden,
// system and archive attributes, then its name (its ACL it took from the
// input, as on POSIX: ReplaceFileW, which would keep the replaced file's,
// opens the replacement without sharing, and the caller holds it open until
// it has its name). Names are taken relative to the folders' handles, or
// given by name (MoveFileExW, written through) in the working folder.
int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  struct kotran_stat target;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (fstatat(to_dir, to, &target, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(target.st_mode)) {
    const HANDLE h = open_at(to_dir, to, How{FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             OPEN_EXISTING, false, false, true});
    FILE_BASIC_INFO basic{};
    if (h != INVALID_HANDLE_VALUE && GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
      attributes = basic.FileAttributes;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  std::wstring old_name, new_name;
  if (!kotran::platform::windows::to_wide(from, old_name) || !kotran::platform::windows::to_wide(to, new_name)) {
    errno = EILSEQ;
    return -1;
  }
  if (is_relative_to(to_dir, new_name)) {
    if (rename_or_link(from_dir, from, to_dir, to, FileRenameInformation, true) != 0) return -1;
  } else {
    if (!full_name_at(from_dir, from, old_name) || !full_name_at(to_dir, to, new_name)) return -1;
    if (!MoveFileExW(old_name.c_str(), new_name.c_str(), MOVEFILE_WRITE_THROUGH | MOVEFILE_REPLACE_EXISTING))
      return fail(GetLastError());
  }
  constexpr DWORD KEPT = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & KEPT) != FILE_ATTRIBUTE_ARCHIVE) {
    const HANDLE h = open_at(to_dir, to, How{FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             OPEN_EXISTING, false, true, true});
    FILE_BASIC_INFO basic{};
    if (h != INVALID_HANDLE_VALUE && GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
      basic.FileAttributes = (attributes & KEPT) ? attributes & KEPT : FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  return 0;
}

// A second name for a file (NTFS's hard links); it fails when the new
// name is taken. Where the file system has no hard links (FAT32 and
// exFAT, as on most USB sticks), the file takes the new name instead,
// which fails as well when the name is taken; the old name is gone then.
int linkat(int from_dir, const char* from, int to_dir, const char* to, int) {
  std::wstring new_name;
  if (!kotran::platform::windows::to_wide(to, new_name)) {
    errno = EILSEQ;
    return -1;
  }
  if (is_relative_to(to_dir, new_name)) {
    if (rename_or_link(from_dir, from, to_dir, to, FileLinkInformation, false) == 0) return 0;
    if (errno != EOPNOTSUPP) return -1;
    return rename_or_link(from_dir, from, to_dir, to, FileRenameInformation, false);
  }
  std::wstring old_name;
  if (!full_name_at(from_dir, from, old_name) || !full_name_at(to_dir, to, new_name)) return -1;
  if (CreateHardLinkW(new_name.c_str(), old_name.c_str(), nullptr)) return 0;
  const DWORD code = GetLastError();
  if (code != ERROR_INVALID_FUNCTION && code != ERROR_NOT_SUPPORTED) return fail(code);
  return MoveFileExW(old_name.c_str(), new_name.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : fail(GetLastError());
}

int faccessat(int dirfd, const char* name, int how, int) {
  struct kotran_stat st;
  if (fstatat(dirfd, name, &st, 0) != 0) return -1;
  if ((how & W_OK) && S_ISREG(st.st_mode) && !(st.st_mode & 0200)) {
    errno = EACCES;
    return -1;
  }
  return 0;
}

ssize_t pread(int fd, void* to, size_t size, int64_t at) { return kotran::platform::read_at(fd, to, size, at); }

// Windows keeps no mode bits and no POSIX owner: an output takes the
// input's ACL instead (copy_attributes), and these change nothing.
int fchmod(int fd, mode_t) {
  if (handle_of(fd) == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  return 0;
}

int fchown(int fd, uid_t, gid_t) { return fchmod(fd, 0); }

int futimens(int fd, const struct timespec times[2]) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  const FILETIME accessed = filetime_of(times[0]);
  const FILETIME written = filetime_of(times[1]);
  return SetFileTime(h, nullptr, &accessed, &written) ? 0 : fail(GetLastError());
}

uid_t geteuid(void) { return 0; }

