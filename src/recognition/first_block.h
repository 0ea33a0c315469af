// What the first block of a file shows before any reading as text: NUL
// bytes, or the signature of a binary format, either of which makes the file
// no text at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/text_stream.h"

namespace kotran {

// The stored bytes looked at: the first block a named file reads, or what a
// pipe's first read delivered where that is less.
inline constexpr size_t FIRST_BLOCK = 64 * 1024;

// Whether stored bytes that begin a file mark it as binary: a NUL byte
// among them, or the signature of an executable, an image, a compressed or a
// PDF file at their start.
bool binary_start(const unsigned char* p, size_t n);

// Whether the first block of the stream, from start (the start of the
// file, where the stream stands, as stream_tell gave it before any block
// was read), is binary, looked at as stored: a 0x1A that ends the text does
// not hide what follows it. The stream is left where it was; on a read
// error it is marked failed and the answer is false.
bool first_block_binary(TextStream* s, int64_t start);

}  // namespace kotran
