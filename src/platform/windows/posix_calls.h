// The POSIX calls on files, folders, descriptors and signals that the
// program makes, on Windows: names are UTF-8 and go to the wide API
// (CreateFileW and its kin); a folder is held open as a descriptor of its
// own, and names in it are opened relative to its handle (NtCreateFile's
// root folder), its path never walked again, while it can be neither
// renamed nor removed; a file's identity is its volume
// and file index. The standard headers of posix/ bring these in after the
// C library's own, so that code written for POSIX builds unchanged.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

// Flags the C library lacks. O_CLOEXEC is its O_NOINHERIT; the others are
// free bits of the open flags.
#ifndef O_CLOEXEC
#define O_CLOEXEC O_NOINHERIT
#endif
#define O_NOFOLLOW 0x01000000
#define O_DIRECTORY 0x02000000
#define O_NONBLOCK 0x04000000

#define AT_FDCWD (-100)
#define AT_SYMLINK_NOFOLLOW 0x100
#define AT_REMOVEDIR 0x200
#define AT_SYMLINK_FOLLOW 0x400
#define AT_EMPTY_PATH 0x1000

#define F_GETFD 1
#define F_SETFD 2
#define F_GETFL 3
#define F_SETFL 4
#define F_DUPFD_CLOEXEC 1030
#define FD_CLOEXEC 1

#define S_IFLNK 0xA000
#define S_ISLNK(m) (((m) & S_IFMT) == S_IFLNK)
#define S_IFSOCK 0xC000
#define S_ISSOCK(m) (((m) & S_IFMT) == S_IFSOCK)
#define S_ISUID 04000
#define S_ISGID 02000
#define S_ISVTX 01000

typedef unsigned uid_t;
typedef unsigned gid_t;

// A file's status as POSIX gives it: the C library's own keeps no file
// index (st_ino is 0 for every file) and no times finer than seconds.
struct kotran_stat {
  uint64_t st_dev;
  uint64_t st_ino;
  mode_t st_mode;
  unsigned st_nlink;
  uid_t st_uid;
  gid_t st_gid;
  int64_t st_size;
  struct timespec st_atim;
  struct timespec st_mtim;
  struct timespec st_ctim;
};
#undef stat
#define stat kotran_stat
#undef fstat
#define fstat kotran_fstat

// Seeking a pipe or a device fails with ESPIPE, as POSIX has it (Windows'
// C library says EINVAL).
#undef lseek
#define lseek kotran_lseek
int64_t kotran_lseek(int fd, int64_t offset, int origin);

// A terminal is a console: the C library also calls the NUL device one,
// and output to it would go out line by line.
#undef isatty
#define isatty kotran_isatty
int kotran_isatty(int fd);

int kotran_stat(const char* name, struct kotran_stat* st);
int kotran_fstat(int fd, struct kotran_stat* st);
int lstat(const char* name, struct kotran_stat* st);
int fstatat(int dirfd, const char* name, struct kotran_stat* st, int flags);
int openat(int dirfd, const char* name, int flags, ...);
int fcntl(int fd, int command, ...);
int mkdirat(int dirfd, const char* name, mode_t mode);
int unlinkat(int dirfd, const char* name, int flags);
int renameat(int from_dir, const char* from, int to_dir, const char* to);
int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags);
// The forms of the working folder (the C library's mkdir takes no mode).
inline int mkdir(const char* name, mode_t mode) { return mkdirat(AT_FDCWD, name, mode); }
inline int link(const char* from, const char* to) { return linkat(AT_FDCWD, from, AT_FDCWD, to, 0); }
int faccessat(int dirfd, const char* name, int how, int flags);
ssize_t pread(int fd, void* to, size_t size, int64_t at);
int fchmod(int fd, mode_t mode);
int fchown(int fd, uid_t owner, gid_t group);
int futimens(int fd, const struct timespec times[2]);
uid_t geteuid(void);

// Signals: the C library has signal() alone, and no process signals
// another (there is no kill, and no child is waited for: no worker process
// is ever started here).
#define SIGXFSZ 25
#define sigset_t _sigset_t
#define SIG_BLOCK 0
#define SIG_UNBLOCK 1
#define SIG_SETMASK 2
#define SA_RESTART 0x10000000
struct sigaction {
  void (*sa_handler)(int);
  sigset_t sa_mask;
  int sa_flags;
};
int sigaction(int sig, const struct sigaction* action, struct sigaction* old);
int sigprocmask(int how, const sigset_t* set, sigset_t* old);
int sigfillset(sigset_t* set);
int sigemptyset(sigset_t* set);
int kill(pid_t pid, int sig);
pid_t waitpid(pid_t pid, int* status, int options);
