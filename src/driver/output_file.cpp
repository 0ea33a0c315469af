#include "driver/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "stream/error_report.h"

namespace kotran {
namespace {

// The temporary file in hand, for the signal handler.
char g_temp_path[PATH_MAX + 32];
volatile sig_atomic_t g_have_temp = 0;

void remove_temp_and_stop(int sig) {
  if (g_have_temp) unlink(g_temp_path);
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

}  // namespace

void install_output_cleanup() {
  creation_mask();
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = remove_temp_and_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

TextStream* OutputFile::open(const std::string& name) {
  discard();
  name_ = name;
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // The output goes where the link points, as a plain write would.
    if (char* real = realpath(name.c_str(), nullptr)) {
      name_ = real;
      std::free(real);
    }
  }
  mode_t mode = 0644 & ~creation_mask();
  if (stat(name_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      last_error = 13;
      return nullptr;
    }
    if (access(name_.c_str(), W_OK) != 0) {
      set_last_error_from_errno(errno);
      return nullptr;
    }
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    set_last_error_from_errno(errno);
    return nullptr;
  }
  const size_t slash = name_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : name_.substr(0, slash == 0 ? 1 : slash);
  const std::string pattern = dir + "/.kotran-XXXXXX";
  if (pattern.size() >= sizeof g_temp_path) {
    last_error = 38;
    return nullptr;
  }
  int fd;
  {
    SignalBlock block;
    std::memcpy(g_temp_path, pattern.c_str(), pattern.size() + 1);
    fd = mkostemp(g_temp_path, O_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno(errno);
      return nullptr;
    }
    g_have_temp = 1;
    temp_ = g_temp_path;
  }
  if (fchmod(fd, mode) != 0) {
    set_last_error_from_errno(errno);
    ::close(fd);
    discard();
    return nullptr;
  }
  stream_ = open_descriptor(fd, false, true);
  if (stream_ == nullptr) {
    ::close(fd);
    last_error = 12;
    discard();
    return nullptr;
  }
  return stream_;
}

bool OutputFile::commit() {
  if (stream_error(stream_)) {
    // A write failed on the way: the text is incomplete.
    last_error = stream_->error_code;
    discard();
    return false;
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
