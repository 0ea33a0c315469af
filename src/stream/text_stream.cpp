#include "stream/text_stream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "kernels/byte_match.h"
#include "platform/files.h"
#include "stream/error_report.h"

namespace kotran {

int last_error = ERR_NONE;

namespace {

constexpr unsigned char CR = 0x0D;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char SUB = 0x1A;  // stored end of text

// Bytes looked at together when line ends are translated.
constexpr size_t SCAN_WIDTH = MATCH_WIDTH;

// Sets stream_error, keeping the number of the first failure.
void mark_failed(TextStream* s) {
  if (!s->failed) s->error_code = last_error;
  s->failed = true;
}

}  // namespace

struct Spool {
  unsigned char* memory = nullptr;  // the first SPOOL_MEMORY bytes, until they are spilled
  int file = -1;                    // once spilled: every byte kept, from offset 0
  int64_t size = 0;                 // bytes kept
  bool recording = true;            // the program may still go back
};

namespace {

void release_spool(TextStream* s) {
  if (s->spool == nullptr) return;
  std::free(s->spool->memory);
  if (s->spool->file >= 0) ::close(s->spool->file);
  delete s->spool;
  s->spool = nullptr;
}

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

// Keeps bytes just read from a pipe; false, errno set, when the temporary
// file cannot take them.
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

// Input storage: push-back room, the block, as much room again after it (so
// that a push-back that finds no room below can move the data up), then the
// stored bytes as read, before translation.
// Output storage: the block, then room for its translation (every LF doubled).
// Both keep SCAN_WIDTH bytes spare for the translation's wide stores.
size_t storage_for(bool input, size_t block_size) {
  return input ? PUSHBACK_ROOM + block_size + PUSHBACK_ROOM + block_size + SCAN_WIDTH : 3 * block_size + SCAN_WIDTH;
}

void set_storage(TextStream* s, bool input, size_t block_size, unsigned char* storage) {
  s->input = input;
  s->block_size = block_size;
  s->storage_size = storage_for(input, block_size);
  s->storage = storage;
  if (input) {
    s->floor = s->storage;
    s->data = s->storage + PUSHBACK_ROOM;
    s->next = s->limit = s->data;
  } else {
    s->floor = s->data = s->next = s->storage;
    s->limit = s->data + block_size;
  }
}

TextStream* new_stream(bool input, size_t block_size) {
  auto* s = new TextStream;
  auto* storage = static_cast<unsigned char*>(std::malloc(storage_for(input, block_size)));
  if (storage == nullptr) {
    delete s;
    throw std::bad_alloc();
  }
  set_storage(s, input, block_size, storage);
  return s;
}

void free_stream(TextStream* s) {
  release_spool(s);
  std::free(s->storage);
  delete s;
}

StreamKind kind_of(int fd, const struct stat& st) {
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return StreamKind::pipe;
  if (S_ISCHR(st.st_mode) && isatty(fd)) return StreamKind::console;
  return StreamKind::file;
}

// A console writes every byte at once: its block has no room.
void make_write_through(TextStream* s) { s->limit = s->next = s->data; }

// Reads up to size stored bytes; the count, 0 at the end, -1 on failure.
ssize_t read_stored(TextStream* s, unsigned char* to, size_t size) {
  if (s->kind == StreamKind::memory) {
    size_t left = s->mem_size - static_cast<size_t>(s->raw_pos);
    size_t n = left < size ? left : size;
    if (n > s->mem_chunk) n = s->mem_chunk;
    std::memcpy(to, s->mem_in + s->raw_pos, n);
    return static_cast<ssize_t>(n);
  }
  Spool* const sp = s->spool;
  if (sp != nullptr && s->raw_pos < sp->size) {
    // Going over what a pipe delivered before.
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), sp->size - s->raw_pos));
    if (sp->file < 0) {
      std::memcpy(to, sp->memory + s->raw_pos, n);
      return static_cast<ssize_t>(n);
    }
    for (;;) {
      const ssize_t got = ::pread(sp->file, to, n, s->raw_pos);
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }
  if (sp != nullptr && !sp->recording) release_spool(s);
  // A pipe is read until the block is full or its writer has gone, unless
  // what it holds now is wanted now.
  size_t got = 0;
  for (;;) {
    ssize_t n = ::read(s->fd, to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && got == 0) return n;
    if (n > 0) got += static_cast<size_t>(n);
    if (n <= 0 || got == size || s->kind != StreamKind::pipe || s->as_it_comes) break;
  }
  if (s->spool != nullptr && got > 0 && !spool_append(s->spool, to, got)) return -1;
  return static_cast<ssize_t>(got);
}

TextStream* g_std_out = nullptr;
TextStream* g_std_err = nullptr;

// Writes size bytes whole; false on failure, with last_error set.
bool write_stored(TextStream* s, const unsigned char* from, size_t size) {
  if (s == g_std_err) settle_standard_output();
  if (s->before_write != nullptr) s->before_write(s->before_write_arg);
  if (s->kind == StreamKind::memory) {
    if (s->mem_out == nullptr) {
      // A caller's room: what does not fit is not written.
      if (size > s->mem_size - static_cast<size_t>(s->raw_pos)) {
        s->error_code = ERR_NO_SPACE;
        s->failed = true;
        return false;
      }
      std::memcpy(s->mem_room + s->raw_pos, from, size);
    } else {
      s->mem_out->append(reinterpret_cast<const char*>(from), size);
    }
    s->raw_pos += static_cast<int64_t>(size);
    return true;
  }
  while (size > 0) {
    ssize_t n = ::write(s->fd, from, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      set_last_error_from_errno(errno);
      return false;
    }
    from += n;
    size -= static_cast<size_t>(n);
    s->raw_pos += n;
  }
  return true;
}


// Translates stored bytes from `from` into `to`: CR LF becomes LF, a stored
// 0x1A ends the text. A CR at the very end is held back until the next
// stored byte settles it. Returns the count of bytes to deliver. `to` has
// SCAN_WIDTH bytes to spare past the result.
// The end of the text among len stored bytes just read: at the first 0x1A,
// which ends a file or pipe (noted for the report) and only the rest of this
// read on a console; otherwise after them.
const unsigned char* text_end(TextStream* s, const unsigned char* from, size_t len) {
  const void* sub = std::memchr(from, SUB, len);
  if (sub == nullptr) return from + len;
  const auto* end = static_cast<const unsigned char*>(sub);
  if (s->kind != StreamKind::console) {
    s->sub_met = true;
    // Where the text ended, and what was read after it, for the report.
    s->mark_offset = s->raw_pos - static_cast<int64_t>(len) + (end - from);
    s->tail_read = static_cast<int64_t>(from + len - end - 1);
    s->tail_marks_only = true;
    for (const unsigned char* p = end + 1; p < from + len; ++p)
      if (*p != SUB) s->tail_marks_only = false;
  }
  return end;
}

size_t fold_input(TextStream* s, const unsigned char* from, size_t len, unsigned char* to) {
  const unsigned char* const end = text_end(s, from, len);
  const bool at_end = end != from + len;  // what stood after the 0x1A does not settle a CR
  const unsigned char* r = from;
  unsigned char* w = to;
  for (;;) {
    // Copy a stretch at a time up to the next CR.
    while (end - r >= static_cast<ptrdiff_t>(SCAN_WIDTH)) {
      std::memcpy(w, r, SCAN_WIDTH);
      const unsigned m = match_mask(r, CR);
      if (m == 0) {
        r += SCAN_WIDTH;
        w += SCAN_WIDTH;
        continue;
      }
      const unsigned k = static_cast<unsigned>(__builtin_ctz(m));
      r += k;
      w += k;
      break;
    }
    if (end - r < static_cast<ptrdiff_t>(SCAN_WIDTH)) {
      while (r < end && *r != CR) *w++ = *r++;
    }
    if (r == end) break;
    // r is at a CR.
    if (r + 1 == end) {
      ++r;
      if (!at_end) {
        s->held_cr = true;
        break;
      }
      *w++ = CR;
      break;
    }
    if (r[1] != LF) *w++ = CR;  // a CR without LF is kept
    ++r;
  }
  if (static_cast<size_t>(w - to) + (s->held_cr ? 1 : 0) != static_cast<size_t>(end - from)) s->tell_exact = false;
  return static_cast<size_t>(w - to);
}

}  // namespace

bool write_all(int fd, const void* bytes, size_t size) {
  const auto* from = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    const ssize_t n = ::write(fd, from, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    from += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

TextStream* open_stream(const char* name, const char* mode) {
  const bool input = mode[0] == 'r';
  int fd;
  for (;;) {
    fd = input ? ::open(name, O_RDONLY | O_CLOEXEC)
               : ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EINTR) break;
  }
  if (fd < 0) {
    set_last_error_from_errno(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    set_last_error_from_errno(errno);
    ::close(fd);
    return nullptr;
  }
  return open_opened(fd, st, input);
}

TextStream* open_opened(int fd, const struct stat& st, bool input) {
  if (S_ISDIR(st.st_mode)) {
    // Opening a directory for reading succeeds here; it is no text file.
    ::close(fd);
    last_error = ERR_IS_A_DIRECTORY;
    return nullptr;
  }
  const StreamKind kind = kind_of(fd, st);
  const size_t block = kind == StreamKind::file ? FILE_BLOCK_SIZE
                       : kind == StreamKind::pipe && input ? PIPE_BLOCK_SIZE
                                                           : BLOCK_SIZE;
  TextStream* s;
  try {
    s = new_stream(input, block);
    // An input that cannot seek keeps what it delivers, so that it can go
    // back to its start after recognition has read ahead.
    if (input && kind != StreamKind::file) s->spool = new Spool;
  } catch (...) {
    ::close(fd);
    throw;
  }
  s->fd = fd;
  s->kind = kind;
  if (s->kind == StreamKind::console && !input) make_write_through(s);
  return s;
}

TextStream* open_memory_input(const void* bytes, size_t size, bool text, size_t chunk) {
  TextStream* s = new_stream(true, BLOCK_SIZE);
  s->kind = StreamKind::memory;
  s->mem_in = static_cast<const unsigned char*>(bytes);
  s->mem_size = size;
  s->mem_chunk = chunk == 0 ? 1 : chunk;
  s->text = text;
  return s;
}

TextStream* open_memory_output(std::string* sink, bool text) {
  TextStream* s = new_stream(false, BLOCK_SIZE);
  s->kind = StreamKind::memory;
  s->mem_out = sink;
  s->text = text;
  return s;
}

size_t memory_stream_space(bool input, size_t block) {
  return (sizeof(TextStream) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t) +
         storage_for(input, block);
}

TextStream* place_memory_stream(void* space, bool input, size_t block) {
  auto* s = new (space) TextStream;
  set_storage(s, input, block, static_cast<unsigned char*>(space) + memory_stream_space(input, block) - storage_for(input, block));
  s->kind = StreamKind::memory;
  s->mem_chunk = block;
  return s;
}

TextStream* open_memory_stream(bool input, size_t block) {
  TextStream* s = new_stream(input, block);
  s->kind = StreamKind::memory;
  s->mem_chunk = block;
  return s;
}

void reset_memory_input(TextStream* s, const void* bytes, size_t size, bool text) {
  s->mem_in = static_cast<const unsigned char*>(bytes);
  s->mem_size = size;
  s->text = text;
  s->next = s->limit = s->data;
  s->raw_pos = 0;
  s->at_eof = s->failed = s->sub_met = s->held_cr = false;
  s->tell_exact = s->tail_marks_only = true;
  s->error_code = 0;
  s->mark_offset = -1;
  s->tail_read = 0;
}

void reset_memory_output(TextStream* s, void* room, size_t size, bool text) {
  s->mem_out = nullptr;
  s->mem_room = static_cast<unsigned char*>(room);
  s->mem_size = size;
  s->text = text;
  s->next = s->data;
  s->raw_pos = s->text_written = 0;
  s->failed = false;
  s->error_code = 0;
}

namespace {

StreamKind kind_of_descriptor(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? kind_of(fd, st) : StreamKind::file;
}

TextStream* wrap_descriptor(int fd, bool input, bool owned, StreamKind kind, size_t block_size) {
  TextStream* s = new_stream(input, block_size);
  s->fd = fd;
  s->owns_fd = owned;
  s->kind = kind;
  if (s->kind == StreamKind::console && !input) make_write_through(s);
  return s;
}

}  // namespace

TextStream* open_file_descriptor(int fd, bool input) {
  return wrap_descriptor(fd, input, true, StreamKind::file, FILE_BLOCK_SIZE);
}

TextStream* open_standard_input() {
  const StreamKind kind = kind_of_descriptor(0);
  TextStream* s = wrap_descriptor(0, true, false, kind, kind == StreamKind::file   ? FILE_BLOCK_SIZE
                                                       : kind == StreamKind::pipe ? PIPE_BLOCK_SIZE
                                                                                  : BLOCK_SIZE);
  // As a named pipe: what it delivers is kept, for going back to its start.
  if (kind != StreamKind::file) s->spool = new Spool;
  return s;
}

TextStream* open_descriptor(int fd, bool input, bool owned) {
  const StreamKind kind = kind_of_descriptor(fd);
  return wrap_descriptor(fd, input, owned, kind, owned && kind == StreamKind::file ? FILE_BLOCK_SIZE : BLOCK_SIZE);
}

namespace {

// Writes the first held bytes of the output block, translated; 0, or -1
// when they could not be written.
int write_held(TextStream* s, size_t held) {
  s->text_written += static_cast<int64_t>(held);
  const unsigned char* out = s->data;
  size_t size = held;
  if (s->text && !s->lf_only && !s->line_ends_kept) {
    // Each LF goes out as CR LF.
    unsigned char* w = s->data + s->block_size;
    const unsigned char* r = s->data;
    const unsigned char* const end = s->data + held;
    while (end - r >= static_cast<ptrdiff_t>(SCAN_WIDTH)) {
      std::memcpy(w, r, SCAN_WIDTH);
      const unsigned m = match_mask(r, LF);
      if (m == 0) {
        r += SCAN_WIDTH;
        w += SCAN_WIDTH;
        continue;
      }
      const unsigned k = static_cast<unsigned>(__builtin_ctz(m));
      w += k;
      r += k + 1;
      *w++ = CR;
      *w++ = LF;
    }
    while (r < end) {
      if (*r == LF) *w++ = CR;
      *w++ = *r++;
    }
    out = s->data + s->block_size;
    size = static_cast<size_t>(w - out);
  }
  if (!write_stored(s, out, size)) {
    mark_failed(s);
    return -1;
  }
  return 0;
}

}  // namespace

int flush_stream(TextStream* s) {
  if (s->input) return 0;
  const size_t held = static_cast<size_t>(s->next - s->data);
  s->next = s->data;
  if (held == 0) return 0;
  return write_held(s, held);
}

void settle_standard_output() {
  TextStream* s = g_std_out;
  if (s == nullptr || s->visible_block == 0) return;
  const size_t held = static_cast<size_t>(s->next - s->data);
  const size_t whole = held / s->visible_block * s->visible_block;
  if (whole == 0) return;
  write_held(s, whole);
  std::memmove(s->data, s->data + whole, held - whole);
  s->next = s->data + (held - whole);
}

int close_stream(TextStream* s) {
  if (s == nullptr) return -1;
  int result = flush_stream(s);
  if (s->fd >= 0 && s->owns_fd && ::close(s->fd) != 0 && result == 0) {
    set_last_error_from_errno(errno);
    result = -1;
  }
  free_stream(s);
  return result;
}

int read_byte_refill(TextStream* s) {
  if (s->input == false) return EOF;
  for (;;) {
    s->next = s->limit = s->data;
    s->tell_exact = true;
    if (s->sub_met) {
      s->at_eof = true;
      return EOF;
    }
    // Text is read into the stored-bytes area and translated into the block;
    // other input, and text whose line ends are kept, goes straight into the block.
    const bool folds = s->text && !s->line_ends_kept;
    unsigned char* const stored = folds ? s->data + s->block_size + PUSHBACK_ROOM : s->data;
    size_t start = 0;
    if (s->held_cr) {
      stored[0] = CR;
      start = 1;
    }
    ssize_t n = read_stored(s, stored + start, s->block_size - start);
    if (n < 0) {
      set_last_error_from_errno(errno);
      mark_failed(s);
      return EOF;
    }
    s->raw_pos += n;
    if (n == 0) {
      if (s->held_cr) {
        // A CR that ends the file is delivered as it is.
        s->held_cr = false;
        s->data[0] = CR;
        s->limit = s->data + 1;
        return *s->next++;
      }
      s->at_eof = true;
      return EOF;
    }
    s->held_cr = false;
    size_t len = start + static_cast<size_t>(n);
    if (folds)
      len = fold_input(s, stored, len, s->data);
    else if (s->text)
      len = static_cast<size_t>(text_end(s, stored, len) - stored);
    s->limit = s->data + len;
    if (len > 0) return *s->next++;
  }
}

int unread_byte_slow(int ch, TextStream* s) {
  if (!s->input) return EOF;
  // No room below the read position: move the undelivered bytes up.
  unsigned char* top = s->storage + s->storage_size;
  const size_t shift = PUSHBACK_ROOM;
  if (s->limit + shift > top) {
    last_error = ERR_NOT_ENOUGH_SPACE;
    mark_failed(s);
    return EOF;
  }
  std::memmove(s->next + shift, s->next, static_cast<size_t>(s->limit - s->next));
  s->next += shift;
  s->limit += shift;
  *--s->next = static_cast<unsigned char>(ch);
  s->at_eof = false;
  return ch & 0xFF;
}

namespace {

// A console takes each write whole, with its line ends translated.
int write_through(TextStream* s, const unsigned char* bytes, size_t size) {
  s->text_written += static_cast<int64_t>(size);
  unsigned char buf[512];
  size_t fill = 0;
  bool ok = true;
  for (size_t i = 0; i < size; ++i) {
    if (fill + 2 > sizeof buf) {
      ok = write_stored(s, buf, fill) && ok;
      fill = 0;
    }
    if (bytes[i] == LF && s->text && !s->lf_only && !s->line_ends_kept) buf[fill++] = CR;
    buf[fill++] = bytes[i];
  }
  if (fill > 0) ok = write_stored(s, buf, fill) && ok;
  if (!ok) {
    mark_failed(s);
    return EOF;
  }
  return 0;
}

}  // namespace

int write_byte_slow(int ch, TextStream* s) {
  if (s->input) return EOF;
  const unsigned char c = static_cast<unsigned char>(ch);
  if (s->limit == s->data) return write_through(s, &c, 1) == EOF ? EOF : c;
  const int flushed = flush_stream(s);
  *s->next++ = c;
  return flushed == 0 ? c : EOF;
}

int write_bytes(TextStream* s, const void* bytes, size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  if (!s->input && s->limit == s->data) return write_through(s, p, size);
  int result = 0;
  for (size_t i = 0; i < size; ++i)
    if (write_byte(p[i], s) == EOF) return EOF;
  return result;
}

int write_string(TextStream* s, const char* str) { return write_bytes(s, str, std::strlen(str)); }

int stream_keep_line_ends(TextStream* s, bool keep) {
  if (s->line_ends_kept == keep) return 0;
  if (s->input) {
    if (s->next != s->limit || s->held_cr || !keep) {
      last_error = ERR_INVALID_ARGUMENT;
      return -1;
    }
  } else if (flush_stream(s) != 0) {
    return -1;
  }
  s->line_ends_kept = keep;
  return 0;
}

int64_t stream_tell(TextStream* s) {
  if (s->input) {
    // Exact while no CR LF was folded in the block in hand; the program asks
    // only before it reads.
    return s->raw_pos - (s->limit - s->next) - (s->held_cr ? 1 : 0);
  }
  return s->raw_pos + (s->next - s->data);
}

int stream_seek(TextStream* s, int64_t offset, int origin) {
  if (origin < 0 || origin > 2) {
    last_error = ERR_INVALID_ARGUMENT;
    return -1;
  }
  if (!s->input && flush_stream(s) != 0) return -1;
  int64_t target;
  if (s->kind == StreamKind::memory) {
    const int64_t size = s->input             ? static_cast<int64_t>(s->mem_size)
                         : s->mem_out != nullptr ? static_cast<int64_t>(s->mem_out->size())
                                                 : s->raw_pos;
    target = origin == 0 ? offset : origin == 1 ? stream_tell(s) + offset : size + offset;
    if (target < 0) {
      last_error = ERR_INVALID_ARGUMENT;
      return -1;
    }
    if (s->input && target > size) target = size;
    if (!s->input && target != size) {
      last_error = ERR_INVALID_SEEK;  // memory output only appends
      return -1;
    }
  } else if (s->input && s->kind == StreamKind::file && origin == 0 && s->next == s->limit && !s->held_cr &&
             s->next == s->data && offset == s->raw_pos) {
    // Already there, with nothing held: the descriptor stands at raw_pos.
    target = offset;
  } else {
    const int64_t from = origin == 1 ? stream_tell(s) + offset : offset;
    const off_t r = ::lseek(s->fd, static_cast<off_t>(from), origin == 2 ? SEEK_END : SEEK_SET);
    if (r < 0) {
      if (errno != ESPIPE || s->spool == nullptr || origin == 2 || from < 0 || from > s->spool->size) {
        set_last_error_from_errno(errno);
        return -1;
      }
      // A pipe goes back over what it kept.
      target = from;
    } else {
      target = r;
    }
  }
  s->raw_pos = target;
  if (s->input) {
    s->next = s->limit = s->data;
    s->held_cr = false;
    s->sub_met = false;
    s->mark_offset = -1;
    s->at_eof = false;
    s->tell_exact = true;
  }
  return 0;
}

void stream_forget_history(TextStream* s) {
  if (s->spool == nullptr) return;
  s->spool->recording = false;
  if (s->raw_pos >= s->spool->size) release_spool(s);
}

int64_t stream_bytes_after_end(TextStream* s, bool& only_marks) {
  only_marks = true;
  if (!s->input || !s->sub_met) return 0;
  int64_t count = s->tail_read;
  only_marks = s->tail_marks_only;
  unsigned char* const buffer = s->data + s->block_size + PUSHBACK_ROOM;
  for (;;) {
    const ssize_t n = read_stored(s, buffer, s->block_size);
    if (n < 0) {
      set_last_error_from_errno(errno);
      mark_failed(s);
      return -1;
    }
    if (n == 0) return count;
    s->raw_pos += n;
    count += n;
    for (ssize_t i = 0; only_marks && i < n; ++i)
      if (buffer[i] != SUB) only_marks = false;
  }
}

TextStream* std_out() {
  static TextStream* s = [] {
    // A console takes every byte at once; otherwise output is held in
    // whole blocks until standard error writes.
    const StreamKind kind = kind_of_descriptor(1);
    TextStream* out = wrap_descriptor(1, false, false, kind, kind == StreamKind::console ? BLOCK_SIZE : STDOUT_HOLD);
    if (out != nullptr && kind != StreamKind::console) out->visible_block = BLOCK_SIZE;
    g_std_out = out;
    return out;
  }();
  return s;
}

TextStream* std_err() {
  static TextStream* s = g_std_err = open_descriptor(2, false);
  return s;
}

}  // namespace kotran
