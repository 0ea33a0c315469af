#include "driver/work_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/arg_words.h"
#include "driver/output_file.h"
#include "platform/names.h"
#include "stream/error_report.h"

namespace kotran {
namespace {

constexpr const char TEMPORARY_PREFIX[] = ".kotran-";

class TreeWalk {
 public:
  TreeWalk(std::vector<WorkItem>& items, const FileId* skip) : items_(items), skip_(skip) {}

  // The entries under the directory path, sorted, each at its place.
  void walk(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
      unreadable(path, errno);
      return;
    }
    std::vector<std::string> names;
    const int fd = dirfd(dir);
    struct stat folder_st;
    const FileId folder = fstat(fd, &folder_st) == 0 ? id_of(folder_st) : FileId{};
    errno = 0;
    while (const dirent* e = readdir(dir)) {
      const char* n = e->d_name;
      if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
      if (std::strncmp(n, TEMPORARY_PREFIX, sizeof TEMPORARY_PREFIX - 1) == 0) {
        const int saved = errno;
        remove_stale_temporary(fd, n);
        errno = saved;
        continue;
      }
      names.emplace_back(n);
    }
    const int read_error = errno;
    platform::sort_folder_names(names, host_charset());
    // Each entry's kind and identity while the directory is open.
    struct Entry {
      std::string name;
      struct stat st;
      int error;
    };
    std::vector<Entry> entries;
    entries.reserve(names.size());
    for (auto& n : names) {
      Entry e{std::move(n), {}, 0};
      if (fstatat(fd, e.name.c_str(), &e.st, AT_SYMLINK_NOFOLLOW) != 0) e.error = errno;
      entries.push_back(std::move(e));
    }
    closedir(dir);
    if (read_error != 0) {
      unreadable(path, read_error);
      return;
    }
    const std::string prefix = path.back() == '/' ? path : path + "/";
    for (const Entry& e : entries) {
      const std::string full = prefix + e.name;
      if (e.error != 0) {
        unreadable(full, e.error);
        continue;
      }
      WorkItem item{full, ItemKind::file, true, true, id_of(e.st), folder, e.st.st_mode, 0};
      if (S_ISDIR(e.st.st_mode)) {
        if (skip_ == nullptr || !(item.id == *skip_)) walk(full);
        continue;
      }
      if (S_ISLNK(e.st.st_mode))
        item.kind = ItemKind::link;
      else if (!S_ISREG(e.st.st_mode))
        item.kind = ItemKind::special;
      items_.push_back(std::move(item));
    }
  }

 private:
  void unreadable(const std::string& path, int errnum) {
    WorkItem item{path, ItemKind::unreadable, true, false, {}, {}, 0, 0};
    item.error = error_number_from_errno(errnum);
    items_.push_back(std::move(item));
  }

  std::vector<WorkItem>& items_;
  const FileId* skip_;
};

}  // namespace

std::vector<WorkItem> list_work(const std::vector<std::string>& words, bool recursive, const FileId* skip) {
  std::vector<WorkItem> items;
  items.reserve(words.size());
  TreeWalk tree(items, skip);
  for (const std::string& word : words) {
    WorkItem item{word, word == "-" ? ItemKind::standard_input : ItemKind::file, false, false, {}, {}, 0, 0};
    struct stat st;
    if (item.kind == ItemKind::file && stat(word.c_str(), &st) == 0) {
      item.known = true;
      item.id = id_of(st);
      item.mode = st.st_mode;
      // A directory named on the command line is walked, through a link too.
      if (recursive && S_ISDIR(st.st_mode)) {
        tree.walk(word);
        continue;
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace kotran
