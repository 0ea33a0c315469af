// Finding the code a text is written in.
#pragma once

#include "stream/text_stream.h"

namespace kotran {

// Results of detect_code besides the code numbers 0-2.
inline constexpr int DETECT_ASCII = 3;    // only 7-bit bytes and no kanji-in escape
inline constexpr int DETECT_FAILED = -1;  // no stream, or a read error

// Reads from the stream's position until the first decisive sign and returns
// the stream to that position: 0 Shift-JIS, 1 JIS, 2 EUC, 3 7-bit only, -1 on
// failure. A null stream gives -1 at once.
int detect_code(TextStream* s);

}  // namespace kotran
