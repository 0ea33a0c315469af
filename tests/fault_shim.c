/* A library preloaded into the program by the fault tests: it makes chosen
 * system calls fail, so that the handling of a full disk, a failing medium
 * or a close that loses data can be seen from outside.
 *
 * KOTRAN_FAULT holds one or more rules separated by ';':
 *
 *     call:error:nth[:substring[:offset]]
 *
 *   call       read, write, close, open (also openat), tmpfile (an open
 *              with O_TMPFILE: a file without a name), mkostemp (also an
 *              exclusive create of a ".kotran-" name), rename (also
 *              renameat), link (linkat), fchmod, access (also faccessat),
 *              fsetxattr, fallocate or ftruncate
 *   error      an errno name (ENOSPC, EIO, EFBIG, EACCES, EROFS, ...), a
 *              number, SHORT: the call goes through for at most half the
 *              bytes asked (read and write only), or PAUSE: the call waits
 *              before it goes through, while the file KOTRAN_FAULT_PAUSE
 *              names exists (the shim makes it), so that a test can act at
 *              that certain moment and then remove the file
 *   nth        the rule acts on the nth call that matches it, counting from
 *              1; "nth+" acts on that call and every later one
 *   substring  only calls whose file contains it match: the name given to
 *              open, mkostemp or access, "DIR/(unnamed)" for a file opened
 *              without a name in DIR, "old -> new" for rename and link (the
 *              old name of a linked descriptor is its file's), and for the
 *              descriptor calls the name the descriptor was opened with
 *              ("<stdin>", "<stdout>", "<stderr>" for the standard ones
 *              when they were inherited); a name relative to a folder
 *              descriptor is shown after the folder's name
 *   offset     read and write only: only calls made at this file offset or
 *              beyond match (a descriptor that cannot seek never does)
 *
 * KOTRAN_FAULT_LOG names a file that gets a line "call error file" for
 * each failure made, so a test can tell that its fault was met.
 *
 * A failed close still closes the descriptor, as the system does; the other
 * failures leave everything as it was. The program under test runs on one
 * thread; the shim keeps no locks. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

enum call_kind {
  CALL_READ, CALL_WRITE, CALL_CLOSE, CALL_OPEN, CALL_TMPFILE, CALL_MKOSTEMP, CALL_RENAME, CALL_LINK, CALL_FCHMOD, CALL_ACCESS,
  CALL_SETXATTR, CALL_FALLOCATE, CALL_FTRUNCATE
};

static const struct {
  const char *name;
  enum call_kind kind;
} call_names[] = {
    {"read", CALL_READ},         {"write", CALL_WRITE},   {"close", CALL_CLOSE},   {"open", CALL_OPEN},
    {"openat", CALL_OPEN},       {"mkostemp", CALL_MKOSTEMP}, {"rename", CALL_RENAME}, {"fchmod", CALL_FCHMOD},
    {"access", CALL_ACCESS},     {"tmpfile", CALL_TMPFILE}, {"link", CALL_LINK},
    {"fsetxattr", CALL_SETXATTR}, {"fallocate", CALL_FALLOCATE}, {"ftruncate", CALL_FTRUNCATE},
};

#define SHORT_TRANSFER (-1)
#define PAUSE (-2)

static const struct {
  const char *name;
  int value;
} errno_names[] = {
    {"EPERM", EPERM},   {"ENOENT", ENOENT}, {"EINTR", EINTR},   {"EIO", EIO},       {"ENXIO", ENXIO},
    {"EBADF", EBADF},   {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}, {"EXDEV", EXDEV},
    {"ENOTDIR", ENOTDIR}, {"EISDIR", EISDIR}, {"EINVAL", EINVAL}, {"ENFILE", ENFILE}, {"EMFILE", EMFILE},
    {"EFBIG", EFBIG},   {"ENOSPC", ENOSPC}, {"ESPIPE", ESPIPE}, {"EROFS", EROFS},   {"EPIPE", EPIPE},
    {"ENAMETOOLONG", ENAMETOOLONG}, {"EDQUOT", EDQUOT}, {"EEXIST", EEXIST}, {"EOPNOTSUPP", EOPNOTSUPP},
    {"ELOOP", ELOOP}, {"ENODATA", ENODATA}, {"ENOTSUP", ENOTSUP}, {"SHORT", SHORT_TRANSFER}, {"PAUSE", PAUSE},
};

#define MAX_RULES 8
#define MAX_SUBSTRING 256

struct rule {
  enum call_kind kind;
  int error;
  unsigned long nth;
  int and_later;
  char substring[MAX_SUBSTRING];
  long long offset; /* -1: any */
  unsigned long seen;
};

static struct rule rules[MAX_RULES];
static int rule_count = 0;
static int rules_read = 0;

#define MAX_FDS 4096
static char *fd_names[MAX_FDS];

/* The next definitions of the wrapped functions. */
static ssize_t (*real_read)(int, void *, size_t);
static ssize_t (*real_write)(int, const void *, size_t);
static int (*real_close)(int);
static int (*real_open)(const char *, int, ...);
static int (*real_open64)(const char *, int, ...);
static int (*real_openat)(int, const char *, int, ...);
static int (*real_openat64)(int, const char *, int, ...);
static int (*real_mkostemp)(char *, int);
static int (*real_mkostemp64)(char *, int);
static int (*real_rename)(const char *, const char *);
static int (*real_linkat)(int, const char *, int, const char *, int);
static int (*real_fcntl)(int, int, ...);
static int (*real_fchmod)(int, mode_t);
static int (*real_access)(const char *, int);
static int (*real_faccessat)(int, const char *, int, int);
static int (*real_renameat)(int, const char *, int, const char *);
static int (*real_fsetxattr)(int, const char *, const void *, size_t, int);
static int (*real_fallocate)(int, int, off_t, off_t);
static int (*real_ftruncate)(int, off_t);

static void *next_symbol(const char *name) {
  void *p = dlsym(RTLD_NEXT, name);
  if (p == NULL) {
    static const char message[] = "fault shim: a wrapped function has no next definition\n";
    /* Nothing sensible can go on. */
    (void)syscall(SYS_write, 2, message, sizeof message - 1);
    abort();
  }
  return p;
}

#define RESOLVE(var, name)                 \
  do {                                     \
    if ((var) == NULL) {                   \
      void *p_ = next_symbol(name);        \
      memcpy(&(var), &p_, sizeof p_);      \
    }                                      \
  } while (0)

static int parse_errno(const char *text, size_t len, int *value) {
  size_t i;
  if (len > 0 && text[0] >= '0' && text[0] <= '9') {
    int v = 0;
    for (i = 0; i < len; ++i) {
      if (text[i] < '0' || text[i] > '9') return 0;
      v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return 1;
  }
  for (i = 0; i < sizeof errno_names / sizeof errno_names[0]; ++i) {
    if (strlen(errno_names[i].name) == len && memcmp(errno_names[i].name, text, len) == 0) {
      *value = errno_names[i].value;
      return 1;
    }
  }
  return 0;
}

/* Parses one rule of text[0, len); 0 when it is malformed. */
static int parse_rule(const char *text, size_t len, struct rule *r) {
  const char *fields[5];
  size_t lengths[5];
  int count = 0;
  size_t start = 0, i, k;
  memset(r, 0, sizeof *r);
  r->offset = -1;
  for (i = 0; i <= len; ++i) {
    if (i == len || (text[i] == ':' && count < 4)) {
      fields[count] = text + start;
      lengths[count] = i - start;
      ++count;
      start = i + 1;
    }
  }
  if (count < 3) return 0;
  for (k = 0; k < sizeof call_names / sizeof call_names[0]; ++k) {
    if (strlen(call_names[k].name) == lengths[0] && memcmp(call_names[k].name, fields[0], lengths[0]) == 0) break;
  }
  if (k == sizeof call_names / sizeof call_names[0]) return 0;
  r->kind = call_names[k].kind;
  if (!parse_errno(fields[1], lengths[1], &r->error)) return 0;
  if (r->error == SHORT_TRANSFER && r->kind != CALL_READ && r->kind != CALL_WRITE) return 0;
  for (i = 0; i < lengths[2]; ++i) {
    const char c = fields[2][i];
    if (c == '+' && i + 1 == lengths[2] && i > 0) {
      r->and_later = 1;
    } else if (c >= '0' && c <= '9') {
      r->nth = r->nth * 10 + (unsigned long)(c - '0');
    } else {
      return 0;
    }
  }
  if (r->nth == 0) return 0;
  if (count >= 4) {
    if (lengths[3] >= MAX_SUBSTRING) return 0;
    memcpy(r->substring, fields[3], lengths[3]);
    r->substring[lengths[3]] = '\0';
  }
  if (count == 5 && lengths[4] > 0) {
    r->offset = 0;
    for (i = 0; i < lengths[4]; ++i) {
      if (fields[4][i] < '0' || fields[4][i] > '9') return 0;
      r->offset = r->offset * 10 + (fields[4][i] - '0');
    }
  }
  return 1;
}

static void read_rules(void) {
  const char *text;
  if (rules_read) return;
  rules_read = 1;
  text = getenv("KOTRAN_FAULT");
  while (text != NULL && *text != '\0' && rule_count < MAX_RULES) {
    const char *end = strchr(text, ';');
    const size_t len = end != NULL ? (size_t)(end - text) : strlen(text);
    if (len > 0) {
      if (!parse_rule(text, len, &rules[rule_count])) {
        static const char message[] = "fault shim: malformed KOTRAN_FAULT rule\n";
        (void)syscall(SYS_write, 2, message, sizeof message - 1);
        abort();
      }
      ++rule_count;
    }
    text = end != NULL ? end + 1 : NULL;
  }
}

static const char *fd_name(int fd) {
  if (fd >= 0 && fd < MAX_FDS && fd_names[fd] != NULL) return fd_names[fd];
  switch (fd) {
    case 0:
      return "<stdin>";
    case 1:
      return "<stdout>";
    case 2:
      return "<stderr>";
    default:
      return "";
  }
}

static void remember_fd(int fd, const char *name) {
  if (fd < 0 || fd >= MAX_FDS) return;
  free(fd_names[fd]);
  fd_names[fd] = name != NULL ? strdup(name) : NULL;
}

static void log_failure(enum call_kind kind, int error, const char *name) {
  const char *path = getenv("KOTRAN_FAULT_LOG");
  char line[1024];
  size_t n = 0;
  size_t k;
  const char *call = "?", *err = "?";
  int fd;
  if (path == NULL || *path == '\0') return;
  for (k = 0; k < sizeof call_names / sizeof call_names[0]; ++k)
    if (call_names[k].kind == kind) {
      call = call_names[k].name;
      break;
    }
  for (k = 0; k < sizeof errno_names / sizeof errno_names[0]; ++k)
    if (errno_names[k].value == error) {
      err = errno_names[k].name;
      break;
    }
#define APPEND(s)                                              \
  do {                                                         \
    const char *s_ = (s);                                      \
    size_t l_ = strlen(s_);                                    \
    if (l_ > sizeof line - 2 - n) l_ = sizeof line - 2 - n;    \
    memcpy(line + n, s_, l_);                                  \
    n += l_;                                                   \
  } while (0)
  APPEND(call);
  APPEND(" ");
  APPEND(err);
  APPEND(" ");
  APPEND(name);
#undef APPEND
  line[n++] = '\n';
  RESOLVE(real_open, "open");
  RESOLVE(real_write, "write");
  RESOLVE(real_close, "close");
  fd = real_open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!real_write(fd, line, n);
  real_close(fd);
}

/* Makes the file KOTRAN_FAULT_PAUSE names and waits while it exists. */
static void wait_while_paused(void) {
  const char *path = getenv("KOTRAN_FAULT_PAUSE");
  const struct timespec tick = {0, 5 * 1000 * 1000};
  struct stat st;
  int fd;
  if (path == NULL || *path == '\0') return;
  RESOLVE(real_open, "open");
  RESOLVE(real_close, "close");
  fd = real_open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  real_close(fd);
  while (stat(path, &st) == 0) nanosleep(&tick, NULL);
}

/* The error the call must fail with, SHORT_TRANSFER, or 0 to let it go
 * through (after a pause, for PAUSE). Every rule the call matches counts it. */
static int fault_for(enum call_kind kind, const char *name, int fd) {
  int error = 0;
  int i;
  long long offset = -2; /* not looked up yet */
  read_rules();
  for (i = 0; i < rule_count; ++i) {
    struct rule *r = &rules[i];
    if (r->kind != kind) continue;
    if (r->substring[0] != '\0' && strstr(name, r->substring) == NULL) continue;
    if (r->offset >= 0) {
      if (offset == -2) offset = fd >= 0 ? (long long)lseek(fd, 0, SEEK_CUR) : -1;
      if (offset < r->offset) continue;
    }
    ++r->seen;
    if (error == 0 && (r->seen == r->nth || (r->and_later && r->seen > r->nth))) error = r->error;
  }
  if (error == PAUSE) {
    log_failure(kind, error, name);
    wait_while_paused();
    return 0;
  }
  if (error != 0) log_failure(kind, error, name);
  return error;
}

ssize_t read(int fd, void *buf, size_t count) {
  const int error = fault_for(CALL_READ, fd_name(fd), fd);
  RESOLVE(real_read, "read");
  if (error == SHORT_TRANSFER) return real_read(fd, buf, count > 1 ? count / 2 : count);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return real_read(fd, buf, count);
}

ssize_t write(int fd, const void *buf, size_t count) {
  const int error = fault_for(CALL_WRITE, fd_name(fd), fd);
  RESOLVE(real_write, "write");
  if (error == SHORT_TRANSFER) return real_write(fd, buf, count > 1 ? count / 2 : count);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return real_write(fd, buf, count);
}

int close(int fd) {
  const int error = fault_for(CALL_CLOSE, fd_name(fd), fd);
  int result;
  RESOLVE(real_close, "close");
  remember_fd(fd, NULL);
  result = real_close(fd);
  if (error != 0 && result == 0) {
    errno = error;
    return -1;
  }
  return result;
}

static int needs_mode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

/* A file opened without a name in DIR is known as "DIR/(unnamed)". */
static char unnamed_name[4096 + 16];
static const char *opened_name(const char *path, int flags) {
  size_t n;
  if ((flags & O_TMPFILE) != O_TMPFILE) return path;
  n = strlen(path) < 4096 ? strlen(path) : 4096;
  memcpy(unnamed_name, path, n);
  memcpy(unnamed_name + n, "/(unnamed)", 11);
  return unnamed_name;
}
#define OPENED_NAME(path, flags) opened_name((path), (flags))

/* A name relative to the folder open as dirfd, after the folder's name:
 * "DIR/name", or "DIR" for "." or "". */
static const char *at_name(char *buf, size_t size, int dirfd, const char *path) {
  const char *dir;
  size_t a, b;
  if (dirfd == AT_FDCWD || path[0] == '/') return path;
  dir = fd_name(dirfd);
  if (dir[0] == '\0') return path;
  a = strlen(dir) < size / 2 ? strlen(dir) : size / 2;
  memcpy(buf, dir, a);
  buf[a] = '\0';
  if (path[0] == '\0' || strcmp(path, ".") == 0) return buf;
  b = strlen(path) < size / 2 - 2 ? strlen(path) : size / 2 - 2;
  buf[a] = '/';
  memcpy(buf + a + 1, path, b);
  buf[a + 1 + b] = '\0';
  return buf;
}

/* An exclusive create of a ".kotran-" name: a temporary made as mkostemp makes one. */
static int is_temporary_create(const char *path, int flags) {
  const char *base = strrchr(path, '/');
  base = base != NULL ? base + 1 : path;
  return (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && strncmp(base, ".kotran-", 8) == 0;
}
#define OPEN_FAULT(path, flags)                                                                          \
  do {                                                                                                   \
    error = (flags & O_TMPFILE) == O_TMPFILE ? fault_for(CALL_TMPFILE, opened_name((path), (flags)), -1) \
                                             : fault_for(CALL_OPEN, (path), -1);                         \
    if (error != 0) {                                                                                    \
      errno = error;                                                                                     \
      return -1;                                                                                         \
    }                                                                                                    \
  } while (0)

/* An exclusive create of a .kotran- name relative to a folder is the
 * temporary an output is written to, as mkostemp makes one; any other open
 * relative to a folder is an open of the file name names. */
#define OPENAT_FAULT(name, path, flags)                 \
  do {                                                  \
    if (is_temporary_create((path), (flags))) {         \
      error = fault_for(CALL_MKOSTEMP, (name), -1);     \
      if (error != 0) {                                 \
        errno = error;                                  \
        return -1;                                      \
      }                                                 \
    } else {                                            \
      OPEN_FAULT((name), (flags));                      \
    }                                                   \
  } while (0)

static int opened(int fd, const char *path) {
  if (fd >= 0) remember_fd(fd, path);
  return fd;
}

int open(const char *path, int flags, ...) {
  mode_t mode = 0;
  int error;
  if (needs_mode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  OPEN_FAULT(path, flags);
  RESOLVE(real_open, "open");
  return opened(real_open(path, flags, mode), OPENED_NAME(path, flags));
}

int open64(const char *path, int flags, ...) {
  mode_t mode = 0;
  int error;
  if (needs_mode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  OPEN_FAULT(path, flags);
  RESOLVE(real_open64, "open64");
  return opened(real_open64(path, flags, mode), OPENED_NAME(path, flags));
}

int openat(int dirfd, const char *path, int flags, ...) {
  mode_t mode = 0;
  int error;
  if (needs_mode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  {
    char full[8192 + 16];
    const char *name = at_name(full, 8192, dirfd, path);
    OPENAT_FAULT(name, path, flags);
    RESOLVE(real_openat, "openat");
    return opened(real_openat(dirfd, path, flags, mode), OPENED_NAME(name, flags));
  }
}

int openat64(int dirfd, const char *path, int flags, ...) {
  mode_t mode = 0;
  int error;
  if (needs_mode(flags)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  {
    char full[8192 + 16];
    const char *name = at_name(full, 8192, dirfd, path);
    OPENAT_FAULT(name, path, flags);
    RESOLVE(real_openat64, "openat64");
    return opened(real_openat64(dirfd, path, flags, mode), OPENED_NAME(name, flags));
  }
}

int mkostemp(char *pattern, int flags) {
  const int error = fault_for(CALL_MKOSTEMP, pattern, -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_mkostemp, "mkostemp");
  return opened(real_mkostemp(pattern, flags), pattern);
}

int mkostemp64(char *pattern, int flags) {
  const int error = fault_for(CALL_MKOSTEMP, pattern, -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_mkostemp64, "mkostemp64");
  return opened(real_mkostemp64(pattern, flags), pattern);
}

/* "old -> new", each cut to 4096 bytes. */
static const char *both_names(char *both, const char *from, const char *to) {
  const size_t a = strlen(from) < 4096 ? strlen(from) : 4096;
  const size_t b = strlen(to) < 4096 ? strlen(to) : 4096;
  memcpy(both, from, a);
  memcpy(both + a, " -> ", 4);
  memcpy(both + a + 4, to, b);
  both[a + 4 + b] = '\0';
  return both;
}

int rename(const char *from, const char *to) {
  char both[2 * 4096 + 8];
  const int error = fault_for(CALL_RENAME, both_names(both, from, to), -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_rename, "rename");
  return real_rename(from, to);
}

int linkat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, int flags) {
  char both[2 * 4096 + 8];
  const char *old = oldpath;
  int error;
  /* A descriptor linked through /proc, or by AT_EMPTY_PATH, goes by its file's name. */
  if (strncmp(oldpath, "/proc/self/fd/", 14) == 0) {
    old = fd_name(atoi(oldpath + 14));
  } else if ((flags & AT_EMPTY_PATH) != 0 && oldpath[0] == '\0') {
    old = fd_name(olddirfd);
  }
  {
    char full_old[8192], full_new[8192];
    if (old == oldpath) old = at_name(full_old, sizeof full_old, olddirfd, oldpath);
    error = fault_for(CALL_LINK, both_names(both, old, at_name(full_new, sizeof full_new, newdirfd, newpath)), -1);
  }
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_linkat, "linkat");
  return real_linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}

/* A duplicate descriptor keeps its file's name. */
int fcntl(int fd, int cmd, ...) {
  va_list ap;
  long arg;
  int result;
  va_start(ap, cmd);
  arg = va_arg(ap, long);
  va_end(ap);
  RESOLVE(real_fcntl, "fcntl");
  result = real_fcntl(fd, cmd, arg);
  if (result >= 0 && (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)) remember_fd(result, fd_name(fd));
  return result;
}

int fchmod(int fd, mode_t mode) {
  const int error = fault_for(CALL_FCHMOD, fd_name(fd), fd);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_fchmod, "fchmod");
  return real_fchmod(fd, mode);
}

int access(const char *path, int how) {
  const int error = fault_for(CALL_ACCESS, path, -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_access, "access");
  return real_access(path, how);
}

int renameat(int olddirfd, const char *from, int newdirfd, const char *to) {
  char both[2 * 4096 + 8], full_old[8192], full_new[8192];
  const int error = fault_for(CALL_RENAME,
                              both_names(both, at_name(full_old, sizeof full_old, olddirfd, from),
                                         at_name(full_new, sizeof full_new, newdirfd, to)),
                              -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_renameat, "renameat");
  return real_renameat(olddirfd, from, newdirfd, to);
}

int faccessat(int dirfd, const char *path, int how, int flags) {
  char full[8192];
  const int error = fault_for(CALL_ACCESS, at_name(full, sizeof full, dirfd, path), -1);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_faccessat, "faccessat");
  return real_faccessat(dirfd, path, how, flags);
}

int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) {
  const int error = fault_for(CALL_SETXATTR, fd_name(fd), fd);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_fsetxattr, "fsetxattr");
  return real_fsetxattr(fd, name, value, size, flags);
}

/* off_t is 64 bits wherever the tests preload the shim, so the 64 names are
 * the same calls. */
int fallocate(int fd, int mode, off_t offset, off_t len) {
  const int error = fault_for(CALL_FALLOCATE, fd_name(fd), fd);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_fallocate, "fallocate");
  return real_fallocate(fd, mode, offset, len);
}
int fallocate64(int fd, int mode, off_t offset, off_t len) { return fallocate(fd, mode, offset, len); }

int ftruncate(int fd, off_t length) {
  const int error = fault_for(CALL_FTRUNCATE, fd_name(fd), fd);
  if (error != 0) {
    errno = error;
    return -1;
  }
  RESOLVE(real_ftruncate, "ftruncate");
  return real_ftruncate(fd, length);
}
int ftruncate64(int fd, off_t length) { return ftruncate(fd, length); }
