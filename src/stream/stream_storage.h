// What the files of the stream layer share: the constants of line ends,
// a stream's block storage, its failure mark, the standard streams. Not for
// callers (see text_stream.h).
#pragma once

#include <cstddef>

#include "kernels/byte_match.h"
#include "stream/text_stream.h"

namespace kotran::streams {

inline constexpr unsigned char CR = 0x0D;
inline constexpr unsigned char LF = 0x0A;
inline constexpr unsigned char SUB = 0x1A;  // stored end of text

// Bytes looked at together when line ends are translated.
inline constexpr size_t SCAN_WIDTH = MATCH_WIDTH;

// Sets stream_error, keeping the number of the first failure.
inline void mark_failed(TextStream* s) {
  if (!s->failed) s->error_code = last_error;
  s->failed = true;
}

// Bytes of storage a stream with blocks of block_size bytes needs.
size_t storage_for(bool input, size_t block_size);
// Lays a stream's block out over storage of storage_for bytes.
void set_storage(TextStream* s, bool input, size_t block_size, unsigned char* storage);
// A stream with its storage taken from the heap (std::bad_alloc when there is none).
TextStream* new_stream(bool input, size_t block_size);
void free_stream(TextStream* s);

// What kind of stream a descriptor is.
StreamKind kind_of_descriptor(int fd);
// A stream over an open descriptor.
TextStream* wrap_descriptor(int fd, bool input, bool owned, StreamKind kind, size_t block_size);
// Writes the first held bytes of an output block, translated; 0, or -1
// when they could not be written.
int write_held(TextStream* s, size_t held);

// Standard output and standard error once made (see std_out, std_err).
extern TextStream* g_std_out;
extern TextStream* g_std_err;

}  // namespace kotran::streams
