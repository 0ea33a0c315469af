#include "driver/convert_in_parts.h"

#include "convert/part_cuts.h"

namespace kotran {

namespace {

// Reads in to its end and hands it to step(text, options) block by block in
// parts cut as part_cuts.h says, each part's reader state carried into the
// next; a block with no certain cut goes to step as the rest of the stream
// itself. The results' counts added up.
template <class Step>
ConversionResult in_parts(TextStream* in, Code source, ConvertOptions options, Step step) {
  PartCuts cuts(source, options.widen);
  ConversionResult total;
  int64_t offset = 0;  // of the next part's first byte in the text as read
  bool at_end = in->next == in->limit && stream_read_more(in) <= 0;
  for (;;) {
    unsigned char* const text = in->next;
    const size_t size = static_cast<size_t>(in->limit - in->next);
    if (offset == 0 && source == Code::utf16 && size >= 2) {
      // UTF-16 is read in the order its mark gives; every part after the first too.
      if (text[0] == 0xFE && text[1] == 0xFF) options.big_endian = true;
      if (text[0] == 0xFF && text[1] == 0xFE) options.big_endian = false;
      cuts.set_big_endian(options.big_endian);
    }
    size_t cut = size;
    if (!at_end) {
      bool blind = false;
      // A read needs room for two bytes: a CR held back and the byte after it.
      const bool full = size + 2 > in->block_size;
      cut = cuts.last_cut(text, size, offset, full, blind);
      if (blind) {
        // Text malformed all through a line longer than a block holds no
        // place where a character surely ends: the rest is read by the
        // converter itself, so that it converts as the whole text would.
        options.continues = false;
        const ConversionResult rest = step(in, options);
        total.replaced += rest.replaced;
        total.cut_at_end = rest.cut_at_end;
        return total;
      }
      if (cut == 0) {
        // No line end yet: more of the line.
        at_end = stream_read_more(in) <= 0;
        continue;
      }
    }
    options.continues = !at_end;
    TextStream part;
    view_input(&part, text, cut, in);
    const ConversionResult found = step(&part, options);
    in->next = text + cut;
    total.replaced += found.replaced;
    if (at_end) {
      total.cut_at_end = found.cut_at_end;
      return total;
    }
    options.continued = true;
    options.jis_read_shift = found.jis_read_shift;
    options.jis_write_shift = found.jis_write_shift;
    options.jis_waiting = found.jis_waiting;
    offset += static_cast<int64_t>(cut);
    if (in->next == in->limit) at_end = stream_read_more(in) <= 0;
  }
}

}  // namespace

ConversionResult convert_in_parts(TextStream* in, TextStream* out, Converter convert, Code source,
                                  ConvertOptions options) {
  return in_parts(in, source, options,
                  [&](TextStream* text, const ConvertOptions& o) { return convert(text, out, o); });
}

TextPlace first_problem_in_parts(TextStream* in, Code source, Code target, ConvertOptions options) {
  ProblemSearch search;
  in_parts(in, source, options, [&](TextStream* text, const ConvertOptions& o) {
    return search_problem(text, source, target, o, search);
  });
  return search.first;
}

}  // namespace kotran
