// Cursors that a converter keeps over its two streams for one call.
//
// They are read_byte, unread_byte and write_byte with the block position held
// in the converter's own variables, so that the compiler keeps it in
// registers across the loop instead of reloading it from the stream after
// every byte stored. The position goes back to the stream whenever the
// stream itself is called (to fill or write out a block) and when the cursor
// ends.
#pragma once

#include "codes/hot.h"

#include <cstring>

#include "stream/text_stream.h"

namespace kotran {

// Where the stream keeps line ends as stored, get folds CR LF into LF as the
// stream would have: the readers see the same bytes either way. The bytes
// in hand (begin, end) are as stored; a loop that takes many at once leaves
// every line end that needs translating to get (see line_end_stops).
// A CR that get has handed over was a CR alone; pushed back, it stays one
// even where an LF pushed back after it now follows it, so the bytes in
// hand end before it.
class ByteReader {
 public:
  explicit ByteReader(TextStream* s)
      : s_(s), next_(s->next), limit_(s->limit), floor_(s->floor), folds_(s->line_ends_kept && s->text) {}
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;
  ~ByteReader() { s_->next = next_; }

  // As read_byte.
  KOTRAN_HOT int get() {
    if (next_ < limit_) [[likely]] {
      const int c = *next_++;
      if (c == '\r' && folds_) [[unlikely]]
        return after_cr();
      return c;
    }
    return refill();
  }
  // As unread_byte.
  void unget(int ch) {
    push_back(ch);
    if (ch == '\r' && folds_) lone_cr_ = next_;
  }
  // The bytes in hand, for a loop that takes many at once.
  const unsigned char* begin() const { return next_; }
  const unsigned char* end() const { return lone_cr_ != nullptr ? lone_cr_ : limit_; }
  void skip(size_t n) { next_ += n; }
  // Moves the read position to p, within [begin(), end()].
  void skip_to(const unsigned char* p) { next_ += p - next_; }
  TextStream* stream() const { return s_; }
  // Whether get folds CR LF: the bytes in hand are as stored, line ends too.
  bool folds() const { return folds_; }

 private:
  int refill() {
    s_->next = next_;
    const int c = read_byte_refill(s_);
    load();
    if (c == '\r' && folds_) return after_cr();
    return c;
  }
  // A CR was taken: with the LF after it, the two are one LF.
  int after_cr() {
    if (next_ - 1 == lone_cr_) {
      lone_cr_ = nullptr;
      return '\r';
    }
    int c;
    if (next_ < limit_) [[likely]] {
      c = *next_++;
    } else {
      s_->next = next_;
      c = read_byte_refill(s_);
      load();
    }
    if (c == '\n') return c;
    push_back(c);
    return '\r';
  }
  void push_back(int ch) {
    if (ch == EOF) return;
    if (next_ > floor_) [[likely]] {
      *--next_ = static_cast<unsigned char>(ch);
      s_->at_eof = false;
      return;
    }
    // The bytes in hand move up to make room.
    const ptrdiff_t lone_cr_from_limit = lone_cr_ != nullptr ? limit_ - lone_cr_ : 0;
    s_->next = next_;
    unread_byte_slow(ch, s_);
    load();
    if (lone_cr_ != nullptr) lone_cr_ = limit_ - lone_cr_from_limit;
  }
  void load() {
    next_ = s_->next;
    limit_ = s_->limit;
  }

  TextStream* s_;
  unsigned char* next_;
  unsigned char* limit_;
  unsigned char* const floor_;
  const bool folds_;
  unsigned char* lone_cr_ = nullptr;  // a CR alone pushed back, until it is read again
};

// Where the stream keeps line ends as stored and writes CR LF, put and put2
// store a CR before each LF, as the stream would have. The direct stores
// into the room (room_begin, commit) are as they stand.
class ByteWriter {
 public:
  explicit ByteWriter(TextStream* s)
      : s_(s), next_(s->next), limit_(s->limit), adds_cr_(s->line_ends_kept && s->text && !s->lf_only) {}
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  ~ByteWriter() { s_->next = next_; }

  // As write_byte.
  KOTRAN_HOT void put(unsigned ch) {
    if (adds_cr_ && ch == '\n') [[unlikely]]
      put_byte('\r');
    put_byte(ch);
  }
  // Two bytes at once when there is room for both.
  KOTRAN_HOT void put2(unsigned first, unsigned second) {
    if (adds_cr_ && (first == '\n' || second == '\n')) [[unlikely]] {
      put(first);
      put(second);
      return;
    }
    if (limit_ - next_ >= 2) [[likely]] {
      next_[0] = static_cast<unsigned char>(first);
      next_[1] = static_cast<unsigned char>(second);
      next_ += 2;
      return;
    }
    put_byte(first);
    put_byte(second);
  }
  // Whether a line end the fast loops would copy as it stands must instead
  // go to put: a lone LF, which put makes CR LF. Otherwise a CR LF is what
  // must not be copied (it goes out as LF alone, or as the writer makes it).
  bool adds_cr() const { return adds_cr_; }
  // As write_string.
  void put_string(const char* str) {
    s_->next = next_;
    write_string(s_, str);
    load();
  }
  // Many bytes as they are, copied a block at a time.
  void put_bytes(const unsigned char* bytes, size_t size) {
    while (size > 0) {
      const size_t room = static_cast<size_t>(limit_ - next_);
      if (room == 0) {
        put_byte(*bytes++);
        --size;
        continue;
      }
      const size_t n = size < room ? size : room;
      std::memcpy(next_, bytes, n);
      next_ += n;
      bytes += n;
      size -= n;
    }
  }
  // The free room of the block, for a loop that stores many bytes at once
  // and then hands the new position back with commit. A console has none.
  unsigned char* room_begin() const { return next_; }
  unsigned char* room_end() const { return limit_; }
  void commit(unsigned char* p) { next_ = p; }
  TextStream* stream() const { return s_; }

 private:
  KOTRAN_HOT void put_byte(unsigned ch) {
    if (next_ < limit_) [[likely]] {
      *next_++ = static_cast<unsigned char>(ch);
      return;
    }
    s_->next = next_;
    write_byte_slow(static_cast<int>(ch), s_);
    load();
  }
  void load() {
    next_ = s_->next;
    limit_ = s_->limit;
  }

  TextStream* s_;
  unsigned char* next_;
  unsigned char* limit_;
  const bool adds_cr_;
};

}  // namespace kotran
