#include "stream/spool.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/files.h"

namespace kotran {
namespace streams {

void release_spool(TextStream* s) {
  if (s->spool == nullptr) return;
  std::free(s->spool->memory);
  if (s->spool->file >= 0) ::close(s->spool->file);
  delete s->spool;
  s->spool = nullptr;
}

}  // namespace streams

namespace {

// An unnamed file for kept pipe input: O_TMPFILE, or a file removed as soon
// as it is made (with signals held off meanwhile, so that none is left).
int open_spill_file() {
  const char* base = std::getenv("TMPDIR");
  const std::string dir = base != nullptr && base[0] != '\0' ? base : "/tmp";
  int fd = platform::open_unnamed_file(AT_FDCWD, dir.c_str(), true);
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

}  // namespace

namespace streams {

bool spool_append(Spool* sp, const unsigned char* from, size_t size) {
  if (sp->file < 0 && static_cast<size_t>(sp->size) + size <= SPOOL_MEMORY) {
    if (sp->memory == nullptr) {
      sp->memory = static_cast<unsigned char*>(std::malloc(SPOOL_MEMORY));
      if (sp->memory == nullptr) throw std::bad_alloc();
    }
    std::memcpy(sp->memory + sp->size, from, size);
    sp->size += static_cast<int64_t>(size);
    return true;
  }
  if (sp->file < 0) {
    sp->file = open_spill_file();
    if (sp->file < 0) return false;
    if (!write_all(sp->file, sp->memory, static_cast<size_t>(sp->size))) return false;
    std::free(sp->memory);
    sp->memory = nullptr;
  }
  if (!write_all(sp->file, from, size)) return false;
  sp->size += static_cast<int64_t>(size);
  return true;
}

ssize_t spool_read(const Spool* sp, int64_t at, unsigned char* to, size_t size) {
  if (sp->file < 0) {
    std::memcpy(to, sp->memory + at, size);
    return static_cast<ssize_t>(size);
  }
  for (;;) {
    const ssize_t got = ::pread(sp->file, to, size, at);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

}  // namespace streams
}  // namespace kotran
