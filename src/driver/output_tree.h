// Outputs in another tree (--out-dir=DIR): each at the input's path under
// DIR, with the folders on the way made as needed and never through a
// symbolic link. The tree's folder is held open from its first output on,
// and so is the folder of the latest output: each output is made relative to
// the folder it was found in, so that a folder renamed and replaced by a
// link meanwhile redirects nothing.
#pragma once

#include <sys/types.h>

#include <string>

namespace kotran {

// The input's path as it goes under the output tree: without a leading '/'
// or "./" parts; false when the path has a ".." part, which would climb out.
bool path_in_tree(const std::string& input, std::string& relative);

class OutputTree {
 public:
  explicit OutputTree(std::string dir) : dir_(std::move(dir)) {}
  ~OutputTree();
  OutputTree(const OutputTree&) = delete;
  OutputTree& operator=(const OutputTree&) = delete;

  const std::string& dir() const { return dir_; }

  // The folder of the output at relative (a path under the tree), with the
  // folders on the way made as needed: a descriptor the tree keeps open
  // until the next call. -1 when one cannot be made (last_error set,
  // failed_path() the folder) or something other than a folder stands at
  // one of their names, a symbolic link included (failed_path() that name,
  // blocker_mode() what it is).
  int folder_for(const std::string& relative);

  const std::string& failed_path() const { return failed_; }
  mode_t blocker_mode() const { return blocker_mode_; }

 private:
  // Opens the folder name under the folder at, making it when it is missing;
  // -1 when that fails.
  int open_folder(int at, const std::string& name, const std::string& path, bool follow);

  std::string dir_;
  int root_ = -1;            // the tree's own folder
  std::string held_;         // the folders below it of the folder in hand
  int held_fd_ = -1;
  std::string failed_;
  mode_t blocker_mode_ = 0;
};

}  // namespace kotran
