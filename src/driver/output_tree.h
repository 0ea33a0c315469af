// Outputs in another tree (--out-dir=DIR): each at the input's path under
// DIR, with the folders on the way made as needed and never through a
// symbolic link.
#pragma once

#include <sys/types.h>

#include <string>
#include <unordered_set>

namespace kotran {

// The input's path as it goes under the output tree: without a leading '/'
// or "./" parts; false when the path has a ".." part, which would climb out.
bool path_in_tree(const std::string& input, std::string& relative);

class OutputTree {
 public:
  explicit OutputTree(std::string dir) : dir_(std::move(dir)) {}

  const std::string& dir() const { return dir_; }

  // Makes the folders that the output at relative (a path under the tree)
  // needs. False when one cannot be made (last_error set, path_ the folder) or
  // something other than a folder stands at one of their names, a symbolic
  // link included (blocker_ that name, blocker_mode_ what it is).
  bool make_folders(const std::string& relative);

  const std::string& failed_path() const { return failed_; }
  mode_t blocker_mode() const { return blocker_mode_; }

 private:
  // Opens the folder name under the folder at, making it when it is missing;
  // -1 when that fails.
  int open_folder(int at, const std::string& name, const std::string& path, bool follow);

  std::string dir_;
  std::unordered_set<std::string> made_;  // folders known to be in place
  std::string failed_;
  mode_t blocker_mode_ = 0;
};

}  // namespace kotran
