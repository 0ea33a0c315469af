// A stream's text handed on in parts of bytes in memory, for readers that
// work on a caller's bytes and keep what crosses a part's edge themselves:
// the stream does the reading, the reader never refills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/text_stream.h"

namespace kotran {

// What take returns to have no more parts.
inline constexpr size_t PARTS_ENOUGH = SIZE_MAX;

// Hands the text of s, from where it stands to its end, to take(part, last)
// part by part: each part a view over the bytes of s's block (see
// view_input), last where nothing follows it. take returns how many of the
// part's bytes it took; the rest come again at the start of the next part,
// with more after them (a reader waiting for the bytes that settle a
// character or an escape sequence takes none of it). A last part is taken
// whole. Where the reader folds CR LF (the stream keeps line ends as
// stored), a part other than the last never ends in a CR, whose LF may
// follow. After PARTS_ENOUGH the stream stands where the part began.
// False on a read error (stream_error says which).
template <class Take>
bool read_in_parts(TextStream* s, Take&& take) {
  bool last = s->next == s->limit && stream_read_more(s) <= 0;
  for (;;) {
    if (stream_error(s)) return false;
    unsigned char* const text = s->next;
    size_t size = static_cast<size_t>(s->limit - s->next);
    if (!last && s->text && s->line_ends_kept && size > 0 && text[size - 1] == '\r') --size;
    TextStream part;
    view_input(&part, text, size, s);
    const size_t took = take(&part, last);
    if (took == PARTS_ENOUGH) return true;
    s->next = text + took;
    if (last) return true;
    last = stream_read_more(s) <= 0;
  }
}

}  // namespace kotran
