// Finding the code a legacy Japanese text is written in.
#pragma once

#include "kernels/paths.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// Reads from the stream's position until the first decisive sign and returns
// the stream to that position: Shift-JIS, JIS, EUC, ASCII (7-bit only), or
// unreadable on a read error. A null stream is unreadable at once.
Recognised detect_code(TextStream* s, Path path = Path::words);

}  // namespace kotran
