// Files and atomic outputs: the host calls beyond POSIX.1-2008 that the
// outputs rely on, each with a plain POSIX stand-in chosen when
// KOTRAN_PORTABLE is defined.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace kotran::platform {

// Opens a file without a name in the folder path (relative to dirfd), for
// writing or, with read_too, reading and writing, mode 0600; -1 with errno
// set when that fails, EOPNOTSUPP where the host or the file system has no
// such files.
int open_unnamed_file(int dirfd, const char* path, bool read_too);

// Whether a file without a name can be given one here.
bool can_name_unnamed_files();

// Gives the unnamed file fd the name `name` in the folder dirfd; -1, errno
// set (EEXIST when the name is taken), when that fails.
int name_unnamed_file(int fd, int dirfd, const char* name);

// Fills the buffer with unpredictable bytes (a weaker mix of the process id
// and a counter where the host has no source).
void random_bytes(unsigned char* bytes, size_t size);

// Marks the temporary file open as fd as in use by this process until it
// is closed (a lock that the system drops when the process ends, however it
// ends); false when the file system keeps no such marks.
bool mark_in_use(int fd);
// Whether the file open as fd is marked in use by a running process.
bool marked_in_use(int fd);

// Copies the extended attributes of the file from to the file to (the
// POSIX ACL among them), or with acl_only the access ACL alone; 0, or the
// errno of the attribute that could not be set. Nothing to copy, or a host
// without them, is 0.
int copy_attributes(int from, int to, bool acl_only);

// An unnamed file for keeping pipe input, read and written, gone when it
// is closed or the process ends (in the folder TMPDIR names, or /tmp; on
// Windows the user's temporary folder); -1 with errno set.
int open_spill_file();

// Disk room set aside ahead of an output's writes. On some file systems
// (ext4) a page written into room the file already has costs less than one
// for which room must be found as it is written: room_pays says whether the
// file open as fd is on one of them. reserve_room sets aside size bytes from
// at, past the file's end, without changing its size; false, with nothing
// changed, when that cannot be had (a full disk, a quota). give_back_room
// frees what lies past the file's first size bytes: true, or false with
// errno set.
bool room_pays(int fd);
bool reserve_room(int fd, int64_t at, int64_t size);
bool give_back_room(int fd, int64_t size);

// Reads up to size bytes of the file at offset at, leaving the descriptor's
// position where it was; the count, or -1 with errno set.
ssize_t read_at(int fd, void* to, size_t size, int64_t at);

// Writes up to size bytes at the descriptor, as write(2) does: the count,
// or -1 with errno set to the host's own cause (Windows' C library names
// a pipe whose reader has gone "Invalid argument"; this names it EPIPE).
ssize_t write_some(int fd, const void* from, size_t size);

// The open(2) flags of every file the program opens by name: kept from the
// programs it starts, and on Windows read and written as stored (its C
// library would otherwise fold CR LF itself).
#if defined(_WIN32)
inline constexpr int OPEN_FLAGS = O_NOINHERIT | O_BINARY;
#else
inline constexpr int OPEN_FLAGS = O_CLOEXEC;
#endif

// Whether a file of this status is a pipe or a socket (Windows' C library
// shows a socket as no descriptor at all).
inline bool is_pipe(const struct stat& st) {
#if defined(S_ISSOCK)
  if (S_ISSOCK(st.st_mode)) return true;
#endif
  return S_ISFIFO(st.st_mode);
}

// The signals that stop the program and that it can catch, ended by 0.
extern const int stopping_signals[];

}  // namespace kotran::platform
