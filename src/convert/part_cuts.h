// Where a text may be cut into parts that convert, one after another, to
// the bytes of the whole text at once.
//
// A part ends after a line end, where every reader and writer stands between
// characters (a JIS reader and writer in sets that the next part starts in).
// A line longer than the room for a part is cut where a character ends for
// certain: after a 7-bit byte in JIS and UTF-16, before a byte that begins a
// character in UTF-8, after a whole character read from the part's start in
// Shift-JIS and EUC (and their JIS X 0213 forms); never between a CR and
// its LF, nor between a widened katakana and its voiced mark, nor in UTF-8
// before a combining mark that a JIS X 0213 target writes in one cell with
// its base. Only text malformed all through such a line
// leaves no such place: a cut there is blind, and what the line converts to
// may differ there from the whole text's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/code.h"

namespace kotran {

class PartCuts {
 public:
  PartCuts(Code source, bool widen) : source_(source), widen_(widen) {}

  // UTF-16 whose order was found (by its mark) after the cuts were made.
  void set_big_endian(bool big_endian) { big_endian_ = big_endian; }

  // The last place in text[0, size) where a part may end after a line end;
  // where none is and must is set, the last where it may end at all (blind
  // set where no place ends a character for certain and the part ends where
  // it is full), else 0. offset is the place of text[0] in the whole text
  // (UTF-16's units stand at its even offsets).
  size_t last_cut(const unsigned char* text, size_t size, int64_t offset, bool must, bool& blind) const;
  // The first place in (from, to] of text where a part may end after a line end; 0 where none is.
  size_t first_cut(const unsigned char* text, size_t from, size_t to, int64_t offset) const;

 private:
  bool can_cut_after(const unsigned char* text, size_t at, int64_t offset, bool line_end_only) const;
  size_t last_character_end(const unsigned char* text, size_t size) const;

  Code source_;
  bool widen_;
  bool big_endian_ = false;
};

}  // namespace kotran
