// Finding the code a legacy Japanese text is written in.
#pragma once

#include <cstddef>

#include "kernels/paths.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// The first decisive sign of a text read part by part (see read_in_parts):
// Shift-JIS, JIS, EUC, or ASCII (7-bit only).
class FirstSign {
 public:
  explicit FirstSign(Path path) : path_(path) {}
  // Reads a part of the text: the bytes taken (a byte whose look-ahead the
  // part cuts off is left for the next), or PARTS_ENOUGH once the sign is
  // found or the text has ended.
  size_t take(TextStream* part, bool last);
  Recognised result() const { return result_; }

 private:
  Path path_;
  Recognised result_ = Recognised::ascii;
  bool done_ = false;
};

// Reads from the stream's position until the first decisive sign and returns
// the stream to that position: Shift-JIS, JIS, EUC, ASCII (7-bit only), or
// unreadable on a read error. A null stream is unreadable at once.
Recognised detect_code(TextStream* s, Path path = Path::words);

}  // namespace kotran
