#include "stream/line_ends.h"

#include <cstring>

#include "kernels/byte_match.h"
#include "stream/stream_storage.h"

namespace kotran::streams {

const unsigned char* text_end(TextStream* s, const unsigned char* from, size_t len) {
  const void* sub = std::memchr(from, SUB, len);
  if (sub == nullptr) return from + len;
  const auto* end = static_cast<const unsigned char*>(sub);
  if (s->kind != StreamKind::console) {
    s->sub_met = true;
    // Where the text ended, and what was read after it, for the report.
    s->mark_offset = s->raw_pos - static_cast<int64_t>(len) + (end - from);
    s->tail_read = static_cast<int64_t>(from + len - end - 1);
    s->tail_marks_only = true;
    for (const unsigned char* p = end + 1; p < from + len; ++p)
      if (*p != SUB) s->tail_marks_only = false;
  }
  return end;
}

size_t fold_input(TextStream* s, const unsigned char* from, size_t len, unsigned char* to) {
  const unsigned char* const end = text_end(s, from, len);
  const bool at_end = end != from + len;  // what stood after the 0x1A does not settle a CR
  const unsigned char* r = from;
  unsigned char* w = to;
  for (;;) {
    // Copy a stretch at a time up to the next CR.
    while (end - r >= static_cast<ptrdiff_t>(SCAN_WIDTH)) {
      std::memcpy(w, r, SCAN_WIDTH);
      const unsigned m = match_mask(r, CR);
      if (m == 0) {
        r += SCAN_WIDTH;
        w += SCAN_WIDTH;
        continue;
      }
      const unsigned k = static_cast<unsigned>(__builtin_ctz(m));
      r += k;
      w += k;
      break;
    }
    if (end - r < static_cast<ptrdiff_t>(SCAN_WIDTH)) {
      while (r < end && *r != CR) *w++ = *r++;
    }
    if (r == end) break;
    // r is at a CR.
    if (r + 1 == end) {
      ++r;
      if (!at_end) {
        s->held_cr = true;
        break;
      }
      *w++ = CR;
      break;
    }
    if (r[1] != LF) *w++ = CR;  // a CR without LF is kept
    ++r;
  }
  if (static_cast<size_t>(w - to) + (s->held_cr ? 1 : 0) != static_cast<size_t>(end - from)) s->tell_exact = false;
  return static_cast<size_t>(w - to);
}

}  // namespace kotran::streams
