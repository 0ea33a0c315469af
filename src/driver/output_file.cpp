#include "driver/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "driver/output_name.h"
#include "stream/error_report.h"

namespace kotran {
namespace {

// The named temporary file in hand, for the signal handler.
char g_temp_path[PATH_MAX + 32];
volatile sig_atomic_t g_have_temp = 0;

// Worker processes to pass a stopping signal on to.
constexpr int MAX_WORKERS = 256;
pid_t g_workers[MAX_WORKERS];
volatile sig_atomic_t g_worker_count = 0;

void remove_temp_and_stop(int sig) {
  if (g_have_temp) unlink(g_temp_path);
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

// Whether an unnamed file can be given a name: through /proc, or with the
// privilege that AT_EMPTY_PATH needs.
bool can_name_unnamed_files() {
  static const bool can = access("/proc/self/fd", X_OK) == 0 || geteuid() == 0;
  return can;
}

// Gives the open file `fd` the name `path`; fails with EEXIST when the name
// is taken.
int link_descriptor(int fd, const char* path) {
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  return linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH);
}

// A fresh temporary name beside the output: dir/.kotran-XXXXXX.
std::string temporary_name(const std::string& dir) {
  static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6];
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    static unsigned counter = 0;
    const unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u + ++counter * 40503u;
    for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(seed >> (i * 5));
  }
  std::string name = dir + "/.kotran-";
  for (unsigned char r : random) name += letters[r % (sizeof letters - 1)];
  return name;
}

// Gives a file a name that may be taken: link(temp) makes it under a fresh
// temporary name beside target (false, errno set, when that fails), which
// is then renamed over target. Signals are blocked meanwhile, so that no
// temporary name survives one. False with last_error set on failure.
template <class Link>
bool link_over(const std::string& target, Link link) {
  SignalBlock block;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = temporary_name(directory_of(target));
    if (temp.size() >= sizeof g_temp_path) {
      last_error = ERR_NAME_TOO_LONG;
      return false;
    }
    if (!link(temp.c_str())) {
      if (errno == EEXIST) continue;
      set_last_error_from_errno(errno);
      return false;
    }
    if (rename(temp.c_str(), target.c_str()) == 0) return true;
    set_last_error_from_errno(errno);
    unlink(temp.c_str());
    return false;
  }
  last_error = ERR_FILE_EXISTS;
  return false;
}

}  // namespace

void install_output_cleanup() {
  creation_mask();
  // A file-size limit makes the write fail with EFBIG instead of ending the
  // program, so that it is reported as "File too large" and the run goes on.
  signal(SIGXFSZ, SIG_IGN);
  static constexpr int stopping[] = {
      SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
      SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSYS,  SIGTRAP, SIGABRT,
#if !defined(__SANITIZE_ADDRESS__) && !defined(KOTRAN_SANITIZED)
      // The sanitizers report these themselves.
      SIGSEGV, SIGBUS,    SIGFPE,  SIGILL,
#endif
  };
  for (int sig : stopping) {
    struct sigaction old;
    // A signal ignored when the program started (under nohup, say) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = remove_temp_and_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

void forward_signals_to(pid_t worker) {
  if (g_worker_count < MAX_WORKERS) {
    g_workers[g_worker_count] = worker;
    g_worker_count = g_worker_count + 1;
  }
}

void forget_workers() { g_worker_count = 0; }

bool keep_backup(const std::string& name, const std::string& backup) {
  return link_over(backup, [&](const char* temp) { return link(name.c_str(), temp) == 0; });
}

void remove_temporary_output() {
  if (g_have_temp) unlink(g_temp_path);
  g_have_temp = 0;
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

TextStream* OutputFile::open(const std::string& name, mode_t mode, bool replaces) {
  discard();
  name_ = name;
  replaces_ = replaces;
  if (replaces && access(name.c_str(), W_OK) != 0) {
    // An output that its owner made read-only is left alone.
    set_last_error_from_errno(errno);
    return nullptr;
  }
  const std::string dir = directory_of(name);
  int fd = -1;
  if (can_name_unnamed_files()) {
    fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      set_last_error_from_errno(errno);
      return nullptr;
    }
  }
  if (fd < 0) {
    if (!open_named(dir, mode)) return nullptr;
    return stream_;
  }
  if (fchmod(fd, mode) != 0 || fstat(fd, &identity_) != 0) {
    set_last_error_from_errno(errno);
    ::close(fd);
    return nullptr;
  }
  stream_ = open_file_descriptor(fd, false);
  return stream_;
}

bool OutputFile::open_named(const std::string& dir, mode_t mode) {
  const std::string pattern = dir + "/.kotran-XXXXXX";
  if (pattern.size() >= sizeof g_temp_path) {
    last_error = ERR_NAME_TOO_LONG;
    return false;
  }
  int fd;
  {
    SignalBlock block;
    std::memcpy(g_temp_path, pattern.c_str(), pattern.size() + 1);
    fd = mkostemp(g_temp_path, O_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno(errno);
      return false;
    }
    g_have_temp = 1;
    temp_ = g_temp_path;
  }
  if (fchmod(fd, mode) != 0 || fstat(fd, &identity_) != 0) {
    set_last_error_from_errno(errno);
    ::close(fd);
    discard();
    return false;
  }
  stream_ = open_file_descriptor(fd, false);
  return true;
}

// Puts the unnamed file under its name: at once when the name is free (and
// fails if anything took it meanwhile), otherwise under a temporary name
// that is then renamed over the old output.
bool OutputFile::place_unnamed(int fd) {
  if (!replaces_) {
    if (link_descriptor(fd, name_.c_str()) == 0) return true;
    set_last_error_from_errno(errno);
    return false;
  }
  return link_over(name_, [fd](const char* temp) { return link_descriptor(fd, temp) == 0; });
}

bool OutputFile::apply_kept(int fd) {
  if (!keeps_) return true;
  // The owner only where this user may give it (root, or the group alone
  // where the user belongs to it); otherwise the file stays this user's.
  if (fchown(fd, keep_.st_uid, keep_.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), keep_.st_gid) != 0) {
    // Neither was permitted: nothing to report.
  }
  const struct timespec times[2] = {keep_.st_atim, keep_.st_mtim};
  if (futimens(fd, times) == 0) return true;
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
  if (!apply_kept(stream_->fd)) {
    discard();
    return false;
  }
  if (temp_.empty()) {
    // Unnamed: closed first, so that a close that loses data is seen before
    // the file takes the name, then named through a second descriptor.
    const int keep = fcntl(stream_->fd, F_DUPFD_CLOEXEC, 0);
    if (keep < 0) {
      set_last_error_from_errno(errno);
      discard();
      return false;
    }
    const bool written = close_stream(stream_) == 0;
    stream_ = nullptr;
    const bool placed = written && place_unnamed(keep);
    ::close(keep);
    return placed;
  }
  const bool written = close_stream(stream_) == 0;
  stream_ = nullptr;
  if (!written) {
    discard();
    return false;
  }
  SignalBlock block;
  const bool renamed = rename(temp_.c_str(), name_.c_str()) == 0;
  if (!renamed) {
    set_last_error_from_errno(errno);
    unlink(temp_.c_str());
  }
  temp_.clear();
  g_have_temp = 0;
  return renamed;
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
    unlink(temp_.c_str());
    temp_.clear();
    g_have_temp = 0;
  }
}

}  // namespace kotran
