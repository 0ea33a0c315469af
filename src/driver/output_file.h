// An output file that appears under its name only when it is complete.
//
// The text is written to a file that has no name yet, or where the file
// system has no such files to a temporary `.kotran-XXXXXX` beside the
// output, and is put under the output's name only on success: an
// interrupted or failed run never leaves a truncated file under the output's
// name, and after a crash no temporary is left where the file system allows
// an unnamed one. Only a regular file, or nothing, is ever replaced, and
// never through a symbolic link. Every name is taken relative to the
// output's folder held open, never by walking a path again.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "stream/text_stream.h"

namespace kotran {

// What stands at an output name that may not be replaced, in words ("symbolic
// link", "directory", ...); null for a regular file.
const char* kind_of_file(mode_t mode);

// The permission bits of an output: those of the file it replaces, or for a
// new file 0644 less the creation mask; either way never more readable by
// group or others than the input, and never set-user-ID, set-group-ID or
// sticky.
mode_t output_mode(const struct stat* replaced, mode_t input_mode);

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Opens the file that will become `name` in the folder open as dirfd
  // (which stays open until the output is committed or discarded), with the
  // permission bits `mode`; `replaces` says that a regular file stands at
  // the name now. Null with last_error set when the output cannot be
  // written (an existing output that is not writable, a directory that
  // refuses new files, no descriptor left).
  TextStream* open(int dirfd, const std::string& name, mode_t mode, bool replaces);
  // Gives the open output the extended attributes of the file open as
  // from (all of them, or with acl_only its access ACL alone); 0, or the
  // errno of the one that could not be set (the output is then discarded).
  int copy_attributes(int from, bool acl_only);
  // Before commit: the output takes the owner (where this user may give
  // it), the access and modification times of the file st describes, and
  // its set-user-ID and set-group-ID bits where this user owns that file
  // and the output keeps its owner and group.
  void keep_owner_and_times(const struct stat& st) {
    keep_ = st;
    keeps_ = true;
  }
  // After commit: set-user-ID or set-group-ID bits that keep_owner_and_times
  // asked for and that were dropped.
  bool dropped_set_id() const { return dropped_set_id_; }
  // Writes out the text and puts the file under its name; false with
  // last_error set when any of that failed (nothing is then left behind).
  bool commit();
  // The identity the file has under its name after commit.
  // On 64 bits whatever the host's dev_t and ino_t (MinGW's ino_t has 16,
  // where a Windows file index has 64).
  uint64_t device() const { return static_cast<uint64_t>(identity_.st_dev); }
  uint64_t inode() const { return static_cast<uint64_t>(identity_.st_ino); }
  // Closes the stream and removes what was written.
  void discard();

 private:
  bool place_unnamed(int fd);
  bool open_named(mode_t mode);

  std::string name_;
  // The owner and times that keep_owner_and_times asked for, given to the
  // open file fd once all is written; false, last_error set, when the times
  // cannot be set.
  bool apply_kept(int fd);

  std::string temp_;  // the named temporary, when the file system has no unnamed ones
  int dirfd_ = -1;
  bool replaces_ = false;
  bool dropped_set_id_ = false;
  bool keeps_ = false;
  struct stat keep_ {};
  struct stat identity_ {};
  TextStream* stream_ = nullptr;
};

// Gives the regular file `name` in the folder dirfd the second name
// `backup` there, which must be free, and checks that it is the file `kept`
// describes; false with last_error set when that fails, ERR_NONE when the
// name was given to another file meanwhile (nothing is then left at backup).
bool keep_backup(int dirfd, const std::string& name, const std::string& backup, const struct stat& kept);

// Whether the temporary `name` (a ".kotran-" name) in the folder dirfd was
// left by a run that ended without removing it, and then removes it: it
// changed before this run started and no running process marks it in use.
void remove_stale_temporary(int dirfd, const char* name);

// Turns the file-size limit's signal into a failed write ("File too large"),
// and where the run writes files (writes_files: not -c, not -g), removes a
// temporary output when the program is stopped by a signal.
void install_output_cleanup(bool writes_files);

// A worker process the stopping signals are passed on to, and waited for,
// so that it removes its own temporary before this process ends.
// forget_workers, in a worker, clears the list it inherited.
void forward_signals_to(pid_t worker);
void forget_workers();

// Removes the temporary output in hand, if any (the program is ending).
void remove_temporary_output();

}  // namespace kotran
