#include "driver/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "driver/workers.h"
#include "platform/files.h"
#include "stream/error_report.h"

namespace kotran {
namespace {

constexpr char TEMPORARY_PREFIX[] = ".kotran-";
constexpr size_t TEMPORARY_NAME_SIZE = sizeof TEMPORARY_PREFIX - 1 + 6;

// The named temporary file in hand, by its folder and name, for the signal
// handler: one for each thread that writes outputs, found by its worker
// number (this_worker(): the run's own thread, or a worker process, 0).
struct Temporary {
  int dir = -1;
  char name[TEMPORARY_NAME_SIZE + 1];
  volatile sig_atomic_t have = 0;
};
Temporary g_temps[MAX_WORKERS + 1];

Temporary& my_temporary() { return g_temps[this_worker()]; }

// When the run started: a temporary that changed before then and that no
// running process marks in use was left by a run that ended without
// removing it.
struct timespec g_run_start {};

// Worker processes to pass a stopping signal on to.
pid_t g_workers[MAX_WORKERS];
volatile sig_atomic_t g_worker_count = 0;

void remove_temp_and_stop(int sig) {
  // Where the workers are threads, each has signals blocked (see
  // SignalBlock) while it makes or gives up a temporary, and the handler
  // runs only when none has: every temporary there is is here.
  for (const Temporary& t : g_temps)
    if (t.have) unlinkat(t.dir, t.name, 0);
  // Each worker removes its own temporary; this process ends after them.
  const int workers = g_worker_count;
  for (int i = 0; i < workers; ++i) kill(g_workers[i], sig);
  for (int i = 0; i < workers; ++i) {
    while (waitpid(g_workers[i], nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

mode_t creation_mask() {
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

class SignalBlock {
 public:
  SignalBlock() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &saved_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

// A fresh temporary name: .kotran-XXXXXX.
std::string temporary_name() {
  static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6];
  platform::random_bytes(random, sizeof random);
  std::string name = TEMPORARY_PREFIX;
  for (unsigned char r : random) name += letters[r % (sizeof letters - 1)];
  return name;
}

// Gives a file a name that may be taken: link(temp) makes it under a fresh
// temporary name in the folder dirfd (false, errno set, when that fails),
// which is then renamed over target. Signals are blocked meanwhile, so that
// no temporary name survives one; the file is marked in use, so that a
// later run leaves the name alone while this one lives. False with
// last_error set on failure.
template <class Link>
bool link_over(int dirfd, const std::string& target, Link link) {
  SignalBlock block;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = temporary_name();
    if (!link(temp.c_str())) {
      if (errno == EEXIST) continue;
      set_last_error_from_errno(errno);
      return false;
    }
    if (renameat(dirfd, temp.c_str(), dirfd, target.c_str()) == 0) return true;
    set_last_error_from_errno(errno);
    unlinkat(dirfd, temp.c_str(), 0);
    return false;
  }
  last_error = ERR_FILE_EXISTS;
  return false;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

void install_output_cleanup(bool writes_files) {
  // A file-size limit makes the write fail with EFBIG instead of ending the
  // program, so that it is reported as "File too large" and the run goes on.
  signal(SIGXFSZ, SIG_IGN);
  clock_gettime(CLOCK_REALTIME, &g_run_start);
  // A run that only writes to standard output makes no temporary: a signal
  // ends it as it would end any program, and it spends no calls on catching
  // them (a process for each small file pays for every call it makes).
  if (!writes_files) return;
  creation_mask();
  for (const int* sig = platform::stopping_signals; *sig != 0; ++sig) {
    struct sigaction old;
    // A signal ignored when the program started (under nohup, say) stays ignored.
    if (sigaction(*sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = remove_temp_and_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(*sig, &sa, nullptr);
  }
}

void forward_signals_to(pid_t worker) {
  if (g_worker_count < static_cast<int>(MAX_WORKERS)) {
    g_workers[g_worker_count] = worker;
    g_worker_count = g_worker_count + 1;
  }
}

void forget_workers() { g_worker_count = 0; }

bool keep_backup(int dirfd, const std::string& name, const std::string& backup, const struct stat& kept) {
  if (linkat(dirfd, name.c_str(), dirfd, backup.c_str(), 0) != 0) {
    set_last_error_from_errno(errno);
    return false;
  }
  // The name may have been given to another file since the input was read.
  struct stat st;
  if (fstatat(dirfd, backup.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && same_file(st, kept)) return true;
  unlinkat(dirfd, backup.c_str(), 0);
  last_error = ERR_NONE;
  return false;
}

void remove_stale_temporary(int dirfd, const char* name) {
  if (std::strlen(name) != TEMPORARY_NAME_SIZE) return;
  const int fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  // Changed since this run started: a temporary of a run now going on.
  const bool stale = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && before(st.st_ctim, g_run_start) &&
                     !platform::marked_in_use(fd);
  ::close(fd);
  if (stale) unlinkat(dirfd, name, 0);
}

void remove_temporary_output() {
  SignalBlock block;
  Temporary& t = my_temporary();
  if (t.have) unlinkat(t.dir, t.name, 0);
  t.have = 0;
}

const char* kind_of_file(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  if (S_ISLNK(mode)) return "symbolic link";
  if (S_ISDIR(mode)) return "directory";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISSOCK(mode)) return "socket";
  return "special file";
}

mode_t output_mode(const struct stat* replaced, mode_t input_mode) {
  const mode_t mode = replaced != nullptr ? (replaced->st_mode & 0777) : (0644 & ~creation_mask());
  // Group and others may read the output only where they may read the input.
  const mode_t unreadable = ~input_mode & (S_IRGRP | S_IROTH);
  return mode & ~unreadable;
}

TextStream* OutputFile::open(int dirfd, const std::string& name, mode_t mode, bool replaces) {
  discard();
  dirfd_ = dirfd;
  name_ = name;
  replaces_ = replaces;
  if (replaces && faccessat(dirfd, name.c_str(), W_OK, 0) != 0) {
    // An output that its owner made read-only is left alone.
    set_last_error_from_errno(errno);
    return nullptr;
  }
  int fd = -1;
  if (platform::can_name_unnamed_files()) {
    fd = platform::open_unnamed_file(dirfd, ".", false);
    if (fd < 0 && errno != EOPNOTSUPP) {
      set_last_error_from_errno(errno);
      return nullptr;
    }
  }
  if (fd < 0) {
    if (!open_named(mode)) return nullptr;
    return stream_;
  }
  // An output that replaces another goes through a temporary name.
  if (fchmod(fd, mode) != 0 || fstat(fd, &identity_) != 0 || (replaces && !platform::mark_in_use(fd))) {
    set_last_error_from_errno(errno);
    ::close(fd);
    return nullptr;
  }
  stream_ = open_file_descriptor(fd, false);
  reserve_room_ahead(stream_);
  return stream_;
}

bool OutputFile::open_named(mode_t mode) {
  int fd = -1;
  {
    SignalBlock block;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      const std::string temp = temporary_name();
      fd = openat(dirfd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) break;
      if (fd >= 0) {
        Temporary& t = my_temporary();
        std::memcpy(t.name, temp.c_str(), temp.size() + 1);
        t.dir = dirfd_;
        t.have = 1;
        temp_ = temp;
      }
    }
    if (fd < 0) {
      set_last_error_from_errno(errno == EEXIST ? EEXIST : errno);
      return false;
    }
  }
  if (fchmod(fd, mode) != 0 || fstat(fd, &identity_) != 0 || !platform::mark_in_use(fd)) {
    set_last_error_from_errno(errno);
    ::close(fd);
    discard();
    return false;
  }
  stream_ = open_file_descriptor(fd, false);
  reserve_room_ahead(stream_);
  return true;
}

int OutputFile::copy_attributes(int from, bool acl_only) {
  const int err = platform::copy_attributes(from, stream_->fd, acl_only);
  if (err != 0) discard();
  return err;
}

// Puts the unnamed file under its name: at once when the name is free (and
// fails if anything took it meanwhile), otherwise under a temporary name
// that is then renamed over the old output.
bool OutputFile::place_unnamed(int fd) {
  if (!replaces_) {
    if (platform::name_unnamed_file(fd, dirfd_, name_.c_str()) == 0) return true;
    set_last_error_from_errno(errno);
    return false;
  }
  return link_over(dirfd_, name_,
                   [fd, this](const char* temp) { return platform::name_unnamed_file(fd, dirfd_, temp) == 0; });
}

bool OutputFile::apply_kept(int fd) {
  if (!keeps_) return true;
  // The owner only where this user may give it (root, or the group alone
  // where the user belongs to it); otherwise the file stays this user's.
  bool group_kept = fchown(fd, keep_.st_uid, keep_.st_gid) == 0;
  if (!group_kept) group_kept = fchown(fd, static_cast<uid_t>(-1), keep_.st_gid) == 0;
  const struct timespec times[2] = {keep_.st_atim, keep_.st_mtim};
  if (futimens(fd, times) != 0) {
    set_last_error_from_errno(errno);
    return false;
  }
  // Set-user-ID and set-group-ID stay only on a file of this user's that
  // keeps its owner and group: no one gains a program that runs as another.
  mode_t set_id = keep_.st_mode & (S_ISUID | S_ISGID);
  if (set_id == 0) return true;
  if (geteuid() != keep_.st_uid) set_id = 0;
  if (!group_kept) set_id &= ~S_ISGID;
  dropped_set_id_ = set_id != (keep_.st_mode & (S_ISUID | S_ISGID));
  struct stat now;
  if (set_id == 0) return true;
  if (fstat(fd, &now) == 0 && fchmod(fd, (now.st_mode & 0777) | set_id) == 0) return true;
  set_last_error_from_errno(errno);
  return false;
}

bool OutputFile::commit() {
  if (flush_stream(stream_) != 0 || stream_error(stream_)) {
    // A write failed on the way: the text is incomplete.
    last_error = stream_->error_code;
    discard();
    return false;
  }
  if (give_back_room(stream_) != 0 || !apply_kept(stream_->fd)) {
    discard();
    return false;
  }
  // Closed first, so that a close that loses data is seen before the file
  // takes the name, then named through a second descriptor.
  const int keep = fcntl(stream_->fd, F_DUPFD_CLOEXEC, 0);
  if (keep < 0) {
    set_last_error_from_errno(errno);
    discard();
    return false;
  }
  const bool written = close_stream(stream_) == 0;
  stream_ = nullptr;
  if (temp_.empty()) {
    const bool placed = written && place_unnamed(keep);
    ::close(keep);
    return placed;
  }
  if (!written) {
    ::close(keep);
    discard();
    return false;
  }
  SignalBlock block;
  // Where the mark belongs to the process, the close dropped it.
  platform::mark_in_use(keep);
  // A new name is linked, so that a file that took the name meanwhile is
  // never replaced; an old output is renamed over.
  const bool placed = replaces_ ? renameat(dirfd_, temp_.c_str(), dirfd_, name_.c_str()) == 0
                                : linkat(dirfd_, temp_.c_str(), dirfd_, name_.c_str(), 0) == 0;
  if (!placed) set_last_error_from_errno(errno);
  if (!placed || !replaces_) unlinkat(dirfd_, temp_.c_str(), 0);
  ::close(keep);
  temp_.clear();
  my_temporary().have = 0;
  return placed;
}

void OutputFile::discard() {
  if (stream_ != nullptr) {
    const int saved = last_error;  // a close that fails here adds nothing to report
    close_stream(stream_);
    last_error = saved;
    stream_ = nullptr;
  }
  if (!temp_.empty()) {
    SignalBlock block;
    unlinkat(dirfd_, temp_.c_str(), 0);
    temp_.clear();
    my_temporary().have = 0;
  }
}

}  // namespace kotran
