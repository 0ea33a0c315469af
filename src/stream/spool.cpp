#include "stream/spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

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
    sp->file = platform::open_spill_file();
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
    const ssize_t got = platform::read_at(sp->file, to, size, at);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

}  // namespace streams
}  // namespace kotran
