// What the first block of a file shows before any reading as text: NUL
// bytes, or the signature of a binary format, either of which makes the file
// no text at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recognition/readings.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// The stored bytes looked at: the first block a named file reads, or what a
// pipe's first read delivered where that is less.
inline constexpr size_t FIRST_BLOCK = 64 * 1024;

// Whether stored bytes that begin a file mark it as binary: a NUL byte
// among them, or the signature of an executable, an image, a compressed or a
// PDF file at their start.
bool binary_start(const unsigned char* p, size_t n);

// UTF-16 without a byte-order mark, whose ASCII holds a NUL in every
// character: the stored bytes read in both orders at once, each order valid
// while every unit is a character that text holds (no NUL unit, no C1
// control, no lone surrogate) and scored by the model. ASCII text with a
// stray NUL reads in either order as characters that Japanese text never
// writes.
class UnmarkedUtf16 {
 public:
  // Fewer units than this are too few to tell text from binary bytes.
  static constexpr uint64_t LEAST_UNITS = 4;
  // Japanese text writes a character beyond ASCII, Latin letters and JIS
  // X 0208, or a control but tab, line ends and form feed, in fewer than
  // one unit of this many.
  static constexpr uint64_t UNLISTED_SHARE = 16;

  // Text without a NUL (kana and kanji alone, no ASCII) needs this many
  // units to be told from 8-bit text.
  static constexpr uint64_t LEAST_UNITS_WITHOUT_NUL = 8;

  void feed(const unsigned char* p, size_t n);
  // The order the bytes read as text in, and how sure that is: the only
  // valid one, or the cheaper of two; marked where they read as no text,
  // or where they are fewer than least units.
  ByteOrder order(uint64_t least = LEAST_UNITS) const;
  Certainty certainty() const;

 private:
  struct Reading {
    ReadingTally tally;
    unsigned high_surrogate = 0;
    uint64_t unlisted = 0;  // characters that Japanese text does not write: rare controls, unlisted symbols
    void take(unsigned unit);
  };
  // The order reads as text: valid, and almost every character one that
  // Japanese text writes.
  bool text(const Reading& r) const;
  Reading little_, big_;
  uint64_t units_ = 0;
  int held_ = -1;  // the first byte of a unit, where a block ended after it
};

// What the first block of a file shows as stored.
struct FirstBlock {
  bool binary = false;                 // a NUL in it, or a binary format's signature at its start
  ByteOrder utf16 = ByteOrder::marked;  // a NUL in it, no signature, and text in UTF-16 of this order
  Certainty utf16_certainty = Certainty::certain;
};

// The first block of the stream, from start (the start of the file, where
// the stream stands, as stream_tell gave it before any block was read),
// looked at as stored: a 0x1A that ends the text does not hide what follows
// it. The stream is left where it was; on a read error it is marked failed
// and the block is taken for no binary.
// With without_nul, the block is read as UTF-16 even where it holds no NUL
// (it then needs LEAST_UNITS_WITHOUT_NUL units).
FirstBlock first_block(TextStream* s, int64_t start, bool without_nul = false);

}  // namespace kotran
