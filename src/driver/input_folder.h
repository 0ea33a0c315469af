// The input in hand, opened relative to its folder held open: the folder
// that its outputs beside it and its backup are made in too, so that no
// path is walked twice.
#pragma once

#include <string>

#include "driver/work_list.h"
#include "stream/text_stream.h"

namespace kotran {

class InputFolder {
 public:
  InputFolder() = default;
  ~InputFolder() { release(); }
  InputFolder(const InputFolder&) = delete;
  InputFolder& operator=(const InputFolder&) = delete;

  // Opens the listed file item for reading, relative to its folder, without
  // waiting on a FIFO and, for a file found in a tree, without following a
  // link. Null when it cannot be opened (last_error set, *became null) or
  // is not what was listed (*became says what it is now): a file of a
  // tree must be the regular file the walk saw, in the folder the walk
  // listed; a file named as a regular file must still be one. A FIFO named
  // as one is read as it always was: its opening waits for a writer.
  TextStream* open(const WorkItem& item, const char** became);

  // The folder of the file last opened (AT_FDCWD for the working folder)
  // and the file's name in it.
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

 private:
  bool hold(const WorkItem& item, const char** became);
  void release();

  int fd_ = -1;
  std::string path_;  // the folder's path, as the file's name gives it
  bool in_tree_ = false;
  FileId id_;
  std::string name_;
};

// Whether the two open files hold the same bytes (read with pread: their
// offsets stay).
bool same_bytes(int a, int b);

}  // namespace kotran
