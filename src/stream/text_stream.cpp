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
#include "stream/line_ends.h"
#include "stream/spool.h"
#include "stream/stream_storage.h"

namespace kotran {

thread_local int last_error = ERR_NONE;

using namespace streams;

namespace {

StreamKind kind_of(int fd, const struct stat& st) {
  if (platform::is_pipe(st)) return StreamKind::pipe;
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
    return spool_read(sp, s->raw_pos, to, n);
  }
  if (sp != nullptr && !sp->recording) release_spool(s);
  // A terminal whose input ended (Ctrl+D) before the program went back to
  // its start is not asked for more: the text was what came before.
  if (s->ended) return 0;
  // A pipe is read until the block is full or its writer has gone, unless
  // what it holds now is wanted now.
  size_t got = 0;
  for (;;) {
    ssize_t n = ::read(s->fd, to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && got == 0) return n;
    if (n > 0) got += static_cast<size_t>(n);
    if (n == 0 && s->spool != nullptr) s->ended = true;
    if (n <= 0 || got == size || s->kind != StreamKind::pipe || s->as_it_comes) break;
  }
  if (s->spool != nullptr && got > 0 && !spool_append(s->spool, to, got)) return -1;
  return static_cast<ssize_t>(got);
}

// Sets aside room for the next size bytes and as much again as was written,
// within the steps' bounds; where it cannot be had, the writes go on
// without.
void reserve_more(TextStream* s, size_t size) {
  const int64_t from = std::max(s->room_end, s->raw_pos);
  const int64_t step = std::clamp(s->raw_pos, ROOM_STEP_MIN, ROOM_STEP_MAX);
  const int64_t end = std::max(s->raw_pos + static_cast<int64_t>(size), from + step);
  if (platform::reserve_room(s->fd, from, end - from))
    s->room_end = end;
  else
    s->reserving = false;
}

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
  // Not before the second write: an output of one block takes none.
  if (s->reserving && s->raw_pos > 0 && s->raw_pos + static_cast<int64_t>(size) > s->room_end) reserve_more(s, size);
  while (size > 0) {
    ssize_t n = platform::write_some(s->fd, from, size);
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


}  // namespace

bool write_all(int fd, const void* bytes, size_t size) {
  const auto* from = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    const ssize_t n = platform::write_some(fd, from, size);
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
  // Through the host's openat, as every name the program opens: on Windows
  // that takes the name as UTF-8 through the wide calls, and opens a folder
  // to say what it is (the C library's open says only "access denied").
  for (;;) {
    fd = input ? ::openat(AT_FDCWD, name, O_RDONLY | platform::OPEN_FLAGS)
               : ::openat(AT_FDCWD, name, O_RDWR | O_CREAT | O_TRUNC | platform::OPEN_FLAGS, 0644);
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
  const size_t block = kind == StreamKind::file ? (input ? FILE_BLOCK_SIZE : OUTPUT_FILE_BLOCK_SIZE)
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

namespace streams {

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

}  // namespace streams

TextStream* open_file_descriptor(int fd, bool input) {
  return wrap_descriptor(fd, input, true, StreamKind::file, input ? FILE_BLOCK_SIZE : OUTPUT_FILE_BLOCK_SIZE);
}

void reserve_room_ahead(TextStream* s) { s->reserving = platform::room_pays(s->fd); }

int give_back_room(TextStream* s) {
  s->reserving = false;
  if (s->room_end <= s->raw_pos) return 0;
  if (!platform::give_back_room(s->fd, s->raw_pos)) {
    set_last_error_from_errno(errno);
    return -1;
  }
  s->room_end = s->raw_pos;
  return 0;
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

namespace streams {

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

}  // namespace streams

int flush_stream(TextStream* s) {
  if (s->input) return 0;
  const size_t held = static_cast<size_t>(s->next - s->data);
  s->next = s->data;
  if (held == 0) return 0;
  return write_held(s, held);
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

namespace {

// Reads the next stored bytes into the block after its first kept bytes,
// translated: the count delivered, 0 at the end of the input (stream_eof),
// -1 on a read error (stream_error). A read that delivers nothing (a CR
// held back until the next byte settles it) is followed by another.
ssize_t fill_block(TextStream* s, size_t kept) {
  for (;;) {
    if (kept == 0) s->tell_exact = true;
    if (s->sub_met) {
      s->at_eof = true;
      return 0;
    }
    // Text is read into the stored-bytes area and translated into the block;
    // other input, and text whose line ends are kept, goes straight into the block.
    const bool folds = s->text && !s->line_ends_kept;
    unsigned char* const to = s->data + kept;
    unsigned char* const stored = folds ? s->data + s->block_size + PUSHBACK_ROOM : to;
    size_t start = 0;
    if (s->held_cr) {
      stored[0] = CR;
      start = 1;
    }
    const ssize_t n = read_stored(s, stored + start, s->block_size - kept - start);
    if (n < 0) {
      set_last_error_from_errno(errno);
      mark_failed(s);
      return -1;
    }
    s->raw_pos += n;
    if (n == 0) {
      if (s->held_cr) {
        // A CR that ends the file is delivered as it is.
        s->held_cr = false;
        *to = CR;
        s->limit = to + 1;
        return 1;
      }
      s->at_eof = true;
      return 0;
    }
    s->held_cr = false;
    size_t len = start + static_cast<size_t>(n);
    if (folds)
      len = fold_input(s, stored, len, to);
    else if (s->text)
      len = static_cast<size_t>(text_end(s, stored, len) - stored);
    s->limit = to + len;
    if (len > 0) return static_cast<ssize_t>(len);
  }
}

}  // namespace

int read_byte_refill(TextStream* s) {
  if (s->input == false) return EOF;
  if (s->view) {
    // The caller's bytes are all the text there is.
    s->at_eof = true;
    return EOF;
  }
  s->next = s->limit = s->data;
  if (fill_block(s, 0) <= 0) return EOF;
  return *s->next++;
}

ssize_t stream_read_more(TextStream* s) {
  const size_t kept = static_cast<size_t>(s->limit - s->next);
  if (kept > 0 && s->next != s->data) std::memmove(s->data, s->next, kept);
  s->next = s->data;
  s->limit = s->data + kept;
  return fill_block(s, kept);
}

void view_input(TextStream* view, unsigned char* bytes, size_t size, const TextStream* like) {
  *view = TextStream{};
  view->view = true;
  view->kind = StreamKind::memory;
  view->owns_fd = false;
  view->next = view->data = view->floor = bytes;
  view->limit = bytes + size;
  view->text = like->text;
  view->line_ends_kept = like->line_ends_kept;
}

int unread_byte_slow(int ch, TextStream* s) {
  if (!s->input) return EOF;
  if (s->view) {
    // No byte goes back before the caller's first.
    last_error = ERR_NOT_ENOUGH_SPACE;
    mark_failed(s);
    return EOF;
  }
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

}  // namespace kotran
