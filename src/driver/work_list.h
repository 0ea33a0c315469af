// The files a run takes, in order: the file words, with "-" for standard
// input and, with -r, each directory word replaced by the files under it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kotran {

// A file as the file system knows it: two names of one file compare equal.
struct FileId {
  uint64_t dev = 0;
  uint64_t ino = 0;
  bool operator==(const FileId&) const = default;
};

struct FileIdHash {
  size_t operator()(const FileId& id) const { return std::hash<uint64_t>()(id.ino * 31 + id.dev); }
};

inline FileId id_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

enum class ItemKind : uint8_t {
  file,            // a file to convert (or to name, with -g)
  standard_input,  // "-": standard input, written to standard output
  link,            // a symbolic link found in a tree: not followed
  special,         // a directory entry that is no regular file nor directory
  unreadable,      // a directory of the tree that could not be read (error holds why)
};

struct WorkItem {
  std::string path;  // as named: the word, or the word and the path below it
  ItemKind kind = ItemKind::file;
  bool in_tree = false;  // found under a directory word
  bool known = false;    // id holds the file's identity
  FileId id;
  FileId folder;    // in_tree: the folder the walk found it in
  mode_t mode = 0;  // as listed; special: what the entry is
  int error = 0;    // unreadable: the error number (as last_error holds them)
};

// The work of the file words. With recursive, a directory word (or a link
// to one) is replaced by the entries under it, each directory's sorted by
// name, a directory's entries at its place; symbolic links below it are not
// followed but listed as links, kotran's own temporaries (".kotran-") are
// left out (and removed when a run that ended without removing them left
// them), and so is the directory skip (an output tree inside the input).
// Without recursive, every word is a file.
std::vector<WorkItem> list_work(const std::vector<std::string>& words, bool recursive, const FileId* skip);

}  // namespace kotran
