#include "driver/output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

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

bool OutputTree::make_folders(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  const std::string folders = slash == std::string::npos ? "" : relative.substr(0, slash);
  if (made_.count(folders) != 0) return true;
  blocker_mode_ = 0;
  // The tree's own folder: the path as given, made with its parents; only
  // its last part may not be a link.
  const bool absolute = !dir_.empty() && dir_[0] == '/';
  int fd = absolute ? open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
  std::string path(absolute ? 1 : 0, '/');
  auto step = [&](const std::string& name, bool follow) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    const int next = open_folder(fd, name, path, follow);
    if (fd != AT_FDCWD) close(fd);
    fd = next;
    return fd >= 0;
  };
  auto parts = [](const std::string& text, size_t from, std::vector<std::string>& out) {
    while (from <= text.size()) {
      size_t end = text.find('/', from);
      if (end == std::string::npos) end = text.size();
      if (end > from && text.compare(from, end - from, ".") != 0) out.emplace_back(text, from, end - from);
      from = end + 1;
    }
  };
  std::vector<std::string> dir_parts, below;
  parts(dir_, 0, dir_parts);
  if (!folders.empty()) parts(folders, 0, below);
  bool ok = true;
  for (size_t i = 0; ok && i < dir_parts.size(); ++i) ok = step(dir_parts[i], i + 1 < dir_parts.size());
  for (size_t i = 0; ok && i < below.size(); ++i) ok = step(below[i], false);
  if (fd >= 0 && fd != AT_FDCWD) close(fd);
  if (ok) made_.insert(folders);
  return ok;
}

}  // namespace kotran
