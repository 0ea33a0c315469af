#include "driver/input_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver/output_file.h"
#include "platform/names.h"
#include "stream/error_report.h"

namespace kotran {

// The folder is kept for the next file of the same folder. A folder found
// by the walk is opened again by its path, and taken only when it is the
// folder the walk listed (device and inode): whatever the path leads
// through now, the folder in hand is that one. One folder is held at a
// time, so a tree may hold more folders than the process may hold
// descriptors.
bool InputFolder::hold(const WorkItem& item, const char** became) {
  const size_t slash = item.path.rfind('/');
  if (slash == std::string::npos && !item.in_tree) {
    // The working folder is held by the process itself.
    name_ = item.path;
    release();
    fd_ = AT_FDCWD;
    return true;
  }
  name_ = slash == std::string::npos ? item.path : item.path.substr(slash + 1);
  if (name_.empty()) name_.assign(1, '.');
  // A folder at the host's root keeps the root whole ("/", "C:/").
  const std::string dir =
      slash == std::string::npos ? "." : item.path.substr(0, std::max(slash, platform::root_length(item.path)));
  if (fd_ >= 0 && (item.in_tree ? in_tree_ && id_ == item.folder : !in_tree_ && path_ == dir)) return true;
  release();
  path_ = dir;
  in_tree_ = item.in_tree;
  fd_ = openat(AT_FDCWD, dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    set_last_error_from_errno(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd_, &st) != 0) {
    set_last_error_from_errno(errno);
  } else if (item.in_tree && !(id_of(st) == item.folder)) {
    *became = "its folder was replaced";
  } else {
    id_ = id_of(st);
    return true;
  }
  release();
  return false;
}

void InputFolder::release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

TextStream* InputFolder::open(const WorkItem& item, const char** became) {
  *became = nullptr;
  if (!hold(item, became)) return nullptr;
  const bool named_fifo = !item.in_tree && item.known && S_ISFIFO(item.mode);
  int flags = O_RDONLY | O_CLOEXEC | (named_fifo ? 0 : O_NONBLOCK);
  if (item.in_tree) flags |= O_NOFOLLOW;
  int fd;
  while ((fd = openat(fd_, name_.c_str(), flags)) < 0 && errno == EINTR) {
  }
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd < 0 && item.in_tree && errno == ELOOP)
      *became = "symbolic link";
    else
      set_last_error_from_errno(errno);
    if (fd >= 0) close(fd);
    return nullptr;
  }
  if (item.in_tree || (item.known && S_ISREG(item.mode)))
    *became = kind_of_file(st.st_mode);
  else if (!named_fifo && S_ISFIFO(st.st_mode))
    *became = kind_of_file(st.st_mode);
  if (*became == nullptr && item.in_tree && !(id_of(st) == item.id)) *became = "another file";
  if (*became != nullptr) {
    close(fd);
    return nullptr;
  }
  // A terminal or device named as a file is read as it always was.
  if (!S_ISREG(st.st_mode) && !named_fifo) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return open_opened(fd, st, true);
}

bool same_bytes(int a, int b) {
  static constexpr size_t CHUNK = 64 * 1024;
  std::string x(CHUNK, '\0'), y(CHUNK, '\0');
  for (off_t at = 0;;) {
    const ssize_t n = pread(a, x.data(), CHUNK, at);
    if (n < 0) return false;
    if (n == 0) return pread(b, y.data(), 1, at) == 0;
    size_t got = 0;
    while (got < static_cast<size_t>(n)) {
      const ssize_t m = pread(b, y.data() + got, static_cast<size_t>(n) - got, at + static_cast<off_t>(got));
      if (m <= 0) return false;
      got += static_cast<size_t>(m);
    }
    if (std::memcmp(x.data(), y.data(), got) != 0) return false;
    at += n;
  }
}

}  // namespace kotran
