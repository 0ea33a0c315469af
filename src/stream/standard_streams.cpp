// Standard output and standard error for the whole run, and how the two
// interleave when they share one file.
#include <sys/stat.h>

#include <cstring>

#include "stream/stream_storage.h"

namespace kotran {

using namespace streams;

namespace streams {
TextStream* g_std_out = nullptr;
TextStream* g_std_err = nullptr;
}  // namespace streams

void settle_standard_output() {
  TextStream* s = g_std_out;
  if (s == nullptr || s->visible_block == 0) return;
  const size_t held = static_cast<size_t>(s->next - s->data);
  const size_t whole = held / s->visible_block * s->visible_block;
  if (whole == 0) return;
  write_held(s, whole);
  std::memmove(s->data, s->data + whole, held - whole);
  s->next = s->data + (held - whole);
}

TextStream* std_out() {
  static TextStream* s = [] {
    // A console takes every byte at once; otherwise output is held in
    // whole blocks until standard error writes.
    const StreamKind kind = kind_of_descriptor(1);
    TextStream* out = wrap_descriptor(1, false, false, kind, kind == StreamKind::console ? BLOCK_SIZE : STDOUT_HOLD);
    if (out != nullptr && kind != StreamKind::console) out->visible_block = BLOCK_SIZE;
    g_std_out = out;
    return out;
  }();
  return s;
}

TextStream* std_err() {
  static TextStream* s = g_std_err = open_descriptor(2, false);
  return s;
}

}  // namespace kotran
