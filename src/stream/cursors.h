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

class ByteReader {
 public:
  explicit ByteReader(TextStream* s) : s_(s), next_(s->next), limit_(s->limit), floor_(s->floor) {}
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;
  ~ByteReader() { s_->next = next_; }

  // As read_byte.
  KOTRAN_HOT int get() {
    if (next_ < limit_) [[likely]]
      return *next_++;
    return refill();
  }
  // As unread_byte.
  void unget(int ch) {
    if (ch == EOF) return;
    if (next_ > floor_) [[likely]] {
      *--next_ = static_cast<unsigned char>(ch);
      s_->at_eof = false;
      return;
    }
    s_->next = next_;
    unread_byte_slow(ch, s_);
    load();
  }
  // The bytes in hand, for a loop that takes many at once.
  const unsigned char* begin() const { return next_; }
  const unsigned char* end() const { return limit_; }
  void skip(size_t n) { next_ += n; }
  // Moves the read position to p, within [begin(), end()].
  void skip_to(const unsigned char* p) { next_ += p - next_; }
  TextStream* stream() const { return s_; }

 private:
  int refill() {
    s_->next = next_;
    const int c = read_byte_refill(s_);
    load();
    return c;
  }
  void load() {
    next_ = s_->next;
    limit_ = s_->limit;
  }

  TextStream* s_;
  unsigned char* next_;
  unsigned char* limit_;
  unsigned char* const floor_;
};

class ByteWriter {
 public:
  explicit ByteWriter(TextStream* s) : s_(s), next_(s->next), limit_(s->limit) {}
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  ~ByteWriter() { s_->next = next_; }

  // As write_byte.
  KOTRAN_HOT void put(unsigned ch) {
    if (next_ < limit_) [[likely]] {
      *next_++ = static_cast<unsigned char>(ch);
      return;
    }
    s_->next = next_;
    write_byte_slow(static_cast<int>(ch), s_);
    load();
  }
  // Two bytes at once when there is room for both.
  KOTRAN_HOT void put2(unsigned first, unsigned second) {
    if (limit_ - next_ >= 2) [[likely]] {
      next_[0] = static_cast<unsigned char>(first);
      next_[1] = static_cast<unsigned char>(second);
      next_ += 2;
      return;
    }
    put(first);
    put(second);
  }
  // As write_string.
  void put_string(const char* str) {
    s_->next = next_;
    write_string(s_, str);
    load();
  }
  // Many bytes, copied a block at a time.
  void put_bytes(const unsigned char* bytes, size_t size) {
    while (size > 0) {
      const size_t room = static_cast<size_t>(limit_ - next_);
      if (room == 0) {
        put(*bytes++);
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
  // The offset in the text written so far (before line-end translation) of
  // a byte stored at at, within the free room of the block.
  int64_t text_offset(const unsigned char* at) const { return s_->text_written + (at - s_->data); }

 private:
  void load() {
    next_ = s_->next;
    limit_ = s_->limit;
  }

  TextStream* s_;
  unsigned char* next_;
  unsigned char* limit_;
};

}  // namespace kotran
