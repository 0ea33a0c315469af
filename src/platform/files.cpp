#include "platform/files.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef KOTRAN_PORTABLE
#include <sys/random.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

namespace kotran::platform {

#ifndef KOTRAN_PORTABLE

int open_unnamed_file(int dirfd, const char* path, bool read_too) {
  const int fd = openat(dirfd, path, O_TMPFILE | (read_too ? O_RDWR : O_WRONLY) | O_CLOEXEC, 0600);
  // Older kernels and some file systems refuse the flag in their own ways.
  if (fd < 0 && (errno == EISDIR || errno == EINVAL)) errno = EOPNOTSUPP;
  return fd;
}

// Through /proc, or with the privilege that AT_EMPTY_PATH needs.
bool can_name_unnamed_files() {
  static const bool can = access("/proc/self/fd", X_OK) == 0 || geteuid() == 0;
  return can;
}

int name_unnamed_file(int fd, int dirfd, const char* name) {
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, proc, dirfd, name, AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  return linkat(fd, "", dirfd, name, AT_EMPTY_PATH);
}

void random_bytes(unsigned char* bytes, size_t size) {
  if (getrandom(bytes, size, GRND_NONBLOCK) == static_cast<ssize_t>(size)) return;
  // Each call its own count, whichever thread makes it.
  static std::atomic<unsigned> counter{0};
  const unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u + (counter.fetch_add(1) + 1) * 40503u;
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed >> ((i * 5) % 27));
}

// A lock of the open file itself (not of the process), so that closing
// another descriptor of the file keeps it.
bool mark_in_use(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool marked_in_use(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

int copy_attributes(int from, int to, bool acl_only) {
  static constexpr char ACL[] = "system.posix_acl_access";
  std::vector<char> names, value;
  if (acl_only) {
    names.assign(ACL, ACL + sizeof ACL);
  } else {
    ssize_t n;
    while ((n = flistxattr(from, nullptr, 0)) > 0) {
      names.resize(static_cast<size_t>(n));
      n = flistxattr(from, names.data(), names.size());
      if (n >= 0 || errno != ERANGE) break;
    }
    if (n <= 0) return 0;  // none, or a file system without them
    names.resize(static_cast<size_t>(n));
  }
  for (size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    ssize_t n;
    while ((n = fgetxattr(from, name, nullptr, 0)) >= 0) {
      value.resize(static_cast<size_t>(n));
      n = fgetxattr(from, name, value.data(), value.size());
      if (n >= 0 || errno != ERANGE) break;
    }
    if (n < 0) {
      if (errno == ENODATA || errno == EOPNOTSUPP) continue;  // gone meanwhile, or none at all
      return errno;
    }
    if (fsetxattr(to, name, value.data(), static_cast<size_t>(n), 0) != 0) return errno;
  }
  return 0;
}

// ext4 (whose number ext2 and ext3 share; their files without extents
// refuse the reservation). On tmpfs room set aside is memory cleared ahead
// of the writes, which makes them slower; other file systems are unmeasured.
bool room_pays(int fd) {
  constexpr decltype(statfs::f_type) EXT4 = 0xEF53;
  struct statfs fs;
  return fstatfs(fd, &fs) == 0 && fs.f_type == EXT4;
}

bool reserve_room(int fd, int64_t at, int64_t size) {
  return fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(at), static_cast<off_t>(size)) == 0;
}

bool give_back_room(int fd, int64_t size) {
  int r;
  do r = ftruncate(fd, static_cast<off_t>(size));
  while (r != 0 && errno == EINTR);
  return r == 0;
}

const int stopping_signals[] = {
    SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
    SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSYS,  SIGTRAP, SIGABRT,
#if !defined(__SANITIZE_ADDRESS__) && !defined(KOTRAN_SANITIZED)
    // The sanitizers report these themselves.
    SIGSEGV, SIGBUS,    SIGFPE,  SIGILL,
#endif
    0,
};

#else  // POSIX.1-2008 alone

int open_unnamed_file(int, const char*, bool) {
  errno = EOPNOTSUPP;
  return -1;
}

bool can_name_unnamed_files() { return false; }

int name_unnamed_file(int, int, const char*) {
  errno = EOPNOTSUPP;
  return -1;
}

void random_bytes(unsigned char* bytes, size_t size) {
  // One sequence for the process: each step taken whole, so that no two
  // threads are given the same bytes.
  static std::atomic<unsigned long> state{0};
  unsigned long s = state.load();
  if (s == 0) {
    struct timespec t {};
    clock_gettime(CLOCK_REALTIME, &t);
    unsigned long seeded = static_cast<unsigned long>(t.tv_nsec) ^ (static_cast<unsigned long>(getpid()) << 16) ^
                           static_cast<unsigned long>(t.tv_sec);
    if (seeded == 0) seeded = 1;
    if (!state.compare_exchange_strong(s, seeded)) seeded = s;
    s = seeded;
  }
  for (size_t i = 0; i < size; ++i) {
    unsigned long next = s * 6364136223846793005ul + 1442695040888963407ul;
    while (!state.compare_exchange_weak(s, next)) next = s * 6364136223846793005ul + 1442695040888963407ul;
    bytes[i] = static_cast<unsigned char>(next >> 33);
    s = next;
  }
}

// A lock of the process: closing any descriptor of the file drops it, so
// the caller marks the file again after such a close.
bool mark_in_use(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_SETLK, &lock) == 0;
}

bool marked_in_use(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

int copy_attributes(int, int, bool) { return 0; }

bool room_pays(int) { return false; }
bool reserve_room(int, int64_t, int64_t) { return false; }
bool give_back_room(int, int64_t) { return true; }

const int stopping_signals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
    SIGVTALRM, SIGPROF, SIGXCPU, SIGSYS, SIGTRAP, SIGABRT,
#if !defined(__SANITIZE_ADDRESS__) && !defined(KOTRAN_SANITIZED)
    SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,
#endif
    0,
};

#endif

// Both hosts: O_TMPFILE where there is one, or else a file removed as soon
// as it is made (with signals held off meanwhile, so that none is left).
int open_spill_file() {
  const char* base = std::getenv("TMPDIR");
  const std::string dir = base != nullptr && base[0] != '\0' ? base : "/tmp";
  int fd = open_unnamed_file(AT_FDCWD, dir.c_str(), true);
  if (fd >= 0 || errno != EOPNOTSUPP) return fd;
  std::string pattern = dir + "/.kotran-XXXXXX";
  sigset_t all, saved;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &saved);
  fd = mkstemp(pattern.data());
  const int saved_errno = errno;
  if (fd >= 0) {
    unlink(pattern.c_str());
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  sigprocmask(SIG_SETMASK, &saved, nullptr);
  errno = saved_errno;
  return fd;
}

ssize_t read_at(int fd, void* to, size_t size, int64_t at) { return ::pread(fd, to, size, static_cast<off_t>(at)); }

ssize_t write_some(int fd, const void* from, size_t size) { return ::write(fd, from, size); }

}  // namespace kotran::platform
