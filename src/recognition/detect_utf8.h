// Recognising UTF-8 text.
#pragma once

#include "stream/text_stream.h"

namespace kotran {

// How much of a file must be valid UTF-8 when it is not read whole.
inline constexpr size_t UTF8_SCAN_BYTES = 64 * 1024;

// Whether the text is UTF-8: it begins with the byte-order mark, or it is
// valid UTF-8 (whole, or a prefix of at least 64 KiB cut at a character edge)
// and holds at least one character of three or four bytes, which no ASCII
// text has and legacy Japanese text seldom forms by chance. The stream is
// returned to where it was.
bool is_utf8_text(TextStream* s);

}  // namespace kotran
