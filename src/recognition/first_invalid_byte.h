// Where a text stops being valid in a code: the offset, as stored, of the
// first sequence that is no character of it.
#pragma once

#include <cstdint>

#include "codes/code.h"
#include "stream/text_stream.h"

namespace kotran {

// Reads the text from its start, as stored (no line-end folding), up to
// the 0x1A that ends it, with the strict reading of the code (Shift-JIS, EUC
// or UTF-8, as recognition reads them), and returns the offset of the first
// byte of the first sequence the reading refuses: a byte that begins no
// character, or the start of a character a later byte breaks or the end of
// the text cuts. -1 where the text is valid, the code is another, or the
// text cannot be read. The stream is left reading text from its start.
int64_t first_invalid_byte(TextStream* in, Code code);

}  // namespace kotran
