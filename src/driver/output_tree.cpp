#include "driver/output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/names.h"
#include "stream/error_report.h"
#include "stream/text_stream.h"

namespace kotran {

bool path_in_tree(const std::string& input, std::string& relative) {
  relative.clear();
  size_t at = 0;
  while (at < input.size()) {
    size_t end = input.find('/', at);
    if (end == std::string::npos) end = input.size();
    const std::string_view part(input.data() + at, end - at);
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      if (!relative.empty()) relative += '/';
      relative += part;
    }
    at = end + 1;
  }
  return !relative.empty();
}

int OutputTree::open_folder(int at, const std::string& name, const std::string& path, bool follow) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  int fd = openat(at, name.c_str(), flags);
  // A folder another user can write to may be swapped meanwhile: what is
  // opened is what is used from then on.
  if (fd < 0 && errno == ENOENT) {
    if (mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) {
      set_last_error_from_errno(errno);
      failed_ = path;
      return -1;
    }
    fd = openat(at, name.c_str(), flags);
  }
  if (fd >= 0) return fd;
  const int err = errno;
  struct stat st;
  if ((err == ENOTDIR || err == ELOOP) && fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISDIR(st.st_mode)) {
    failed_ = path;
    blocker_mode_ = st.st_mode;
    last_error = ERR_NONE;
    return -1;
  }
  set_last_error_from_errno(err);
  failed_ = path;
  return -1;
}

OutputTree::~OutputTree() {
  if (held_fd_ >= 0) close(held_fd_);
  if (root_ >= 0) close(root_);
}

int OutputTree::folder_for(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  const std::string folders = slash == std::string::npos ? "" : relative.substr(0, slash);
  if (held_fd_ >= 0 && folders == held_) return held_fd_;
  if (held_fd_ >= 0) close(held_fd_);
  held_fd_ = -1;
  blocker_mode_ = 0;
  auto parts = [](const std::string& text, std::vector<std::string>& out) {
    size_t from = 0;
    while (from <= text.size()) {
      size_t end = text.find('/', from);
      if (end == std::string::npos) end = text.size();
      if (end > from && text.compare(from, end - from, ".") != 0) out.emplace_back(text, from, end - from);
      from = end + 1;
    }
  };
  int fd = -1;
  std::string path;
  auto step = [&](const std::string& name, bool follow) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    const int next = open_folder(fd, name, path, follow);
    if (fd >= 0 && fd != root_) close(fd);
    fd = next;
    return fd >= 0;
  };
  if (root_ < 0) {
    // The tree's own folder: the path as given, made with its parents; only
    // its last part may not be a link. A full path starts at the host's
    // root ("/", on Windows also "C:/").
    const size_t root = platform::root_length(dir_);
    const std::string start = root > 0 ? dir_.substr(0, root) : ".";
    fd = openat(AT_FDCWD, start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno(errno);
      failed_ = start;
      return -1;
    }
    path = dir_.substr(0, root);
    std::vector<std::string> dir_parts;
    parts(dir_.substr(root), dir_parts);
    for (size_t i = 0; i < dir_parts.size(); ++i)
      if (!step(dir_parts[i], i + 1 < dir_parts.size())) return -1;
    root_ = fd;
  }
  // Below it, never through a link.
  fd = root_;
  path = dir_;
  std::vector<std::string> below;
  parts(folders, below);
  for (const std::string& name : below)
    if (!step(name, false)) return -1;
  if (fd == root_) {
    fd = dup(root_);
    if (fd < 0) {
      set_last_error_from_errno(errno);
      failed_ = dir_;
      return -1;
    }
  }
  held_ = folders;
  held_fd_ = fd;
  return fd;
}

}  // namespace kotran
