// Recognising a file's code: UTF-8 first and apart, then the legacy codes.
#pragma once

#include "codes/paths.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// The code of the text from the stream's position, which it returns to;
// unreadable on a read error (the stream's error_code says which).
Recognised recognise_code(TextStream* in, Path path = Path::vectors);

}  // namespace kotran
