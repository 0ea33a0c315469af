// Folder listings of the POSIX calls on Windows, with UTF-8 names.
#include <dirent.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/windows/errors.h"
#include "platform/windows/posix_calls.h"
#include "platform/windows/wide_names.h"

namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

using kotran::platform::windows::errno_of;

// A listing: the folder held open (dirfd), read through its handle
// (GetFileInformationByHandleEx's directory information), a block of
// entries at a time.
struct kotran_dir {
  static constexpr size_t NONE = static_cast<size_t>(-1);
  int fd = -1;
  bool first = true;
  size_t next = NONE;  // the next entry in the block; NONE: a block is to be read
  alignas(8) unsigned char block[64 * 1024];
  struct dirent out {};
};

DIR* opendir(const char* name) {
  const int fd = openat(AT_FDCWD, name, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return nullptr;
  auto* dir = new kotran_dir;
  dir->fd = fd;
  return dir;
}

struct dirent* readdir(DIR* dir) {
  if (dir->next == kotran_dir::NONE) {
    const FILE_INFO_BY_HANDLE_CLASS what = dir->first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
    if (!GetFileInformationByHandleEx(handle_of(dir->fd), what, dir->block, sizeof dir->block)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) errno = errno_of(GetLastError());
      return nullptr;
    }
    dir->first = false;
    dir->next = 0;
  }
  const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(dir->block + dir->next);
  dir->next = entry->NextEntryOffset == 0 ? kotran_dir::NONE : dir->next + entry->NextEntryOffset;
  const std::string name = kotran::platform::windows::to_utf8(
      std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
  const size_t size = name.size() < sizeof dir->out.d_name ? name.size() : sizeof dir->out.d_name - 1;
  std::memcpy(dir->out.d_name, name.data(), size);
  dir->out.d_name[size] = '\0';
  return &dir->out;
}

int closedir(DIR* dir) {
  _close(dir->fd);
  delete dir;
  return 0;
}

int dirfd(DIR* dir) { return dir->fd; }
