// The bytes read from an input that cannot seek (a pipe, a terminal), kept so
// that the input can go back to its start after recognition has read ahead:
// in memory up to SPOOL_MEMORY bytes, then in an unnamed temporary file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "stream/text_stream.h"

namespace kotran {

struct Spool {
  unsigned char* memory = nullptr;  // the first SPOOL_MEMORY bytes, until they are spilled
  int file = -1;                    // once spilled: every byte kept, from offset 0
  int64_t size = 0;                 // bytes kept
  bool recording = true;            // the program may still go back
};

namespace streams {

// Lets the stream's spool go, its temporary file too.
void release_spool(TextStream* s);
// Keeps bytes just read from a pipe; false, errno set, when the temporary
// file cannot take them.
bool spool_append(Spool* sp, const unsigned char* from, size_t size);
// Reads up to size kept bytes from offset at (below sp->size); the count, or -1.
ssize_t spool_read(const Spool* sp, int64_t at, unsigned char* to, size_t size);

}  // namespace streams
}  // namespace kotran
