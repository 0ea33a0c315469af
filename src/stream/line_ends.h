// Line ends and the 0x1A end as a text stream reads them: stored CR LF is
// delivered as LF, and a stored 0x1A ends the text. (Output's LF becomes
// CR LF as a block is written: see write_held.)
#pragma once

#include <cstddef>

#include "stream/text_stream.h"

namespace kotran::streams {

// The end of the text among len stored bytes just read: at the first 0x1A,
// which ends a file or pipe (noted in the stream for the report) and only
// the rest of this read on a console; otherwise after them.
const unsigned char* text_end(TextStream* s, const unsigned char* from, size_t len);

// Translates stored bytes from `from` into `to`: CR LF becomes LF, a stored
// 0x1A ends the text. A CR at the very end is held back (s->held_cr) until
// the next stored byte settles it. Returns the count of bytes to deliver.
// `to` has SCAN_WIDTH bytes to spare past the result.
size_t fold_input(TextStream* s, const unsigned char* from, size_t len, unsigned char* to);

}  // namespace kotran::streams
