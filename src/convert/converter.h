// What every converter takes and gives: a text stream in, a text stream out,
// the target's options in, what it found out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/code.h"
#include "convert/writers/shift_state.h"
#include "kernels/paths.h"
#include "stream/text_stream.h"

namespace kotran {

struct ConvertOptions {
  bool widen = false;        // half-width katakana become full-width
  uint8_t jis_variant = 0;   // the row of jis_escape_table that JIS output uses
  bool jis_forms = false;    // Unicode output writes 〜 ‖ − ¢ £ ¬ — in their JIS forms
  bool lf_only = false;      // UTF-16 output, whose stream is not translated, ends lines with LF alone
                             // (LineEndSetting::lf_only: see line_end_setting.h)
  // JIS output's one-byte text is ASCII (ESC ( B), with YEN SIGN and OVERLINE
  // in JIS-Roman (ESC ( J) apart from it; the converters set it for a
  // Unicode source, where \ and ~ are unambiguous.
  bool ascii_one_byte = false;
  bool big_endian = false;   // UTF-16 input without a byte-order mark is big-endian
  Path path = Path::words;

  // A text converted in parts (see PartConverter): each part but the first
  // goes on from the one before, so no byte-order mark is looked for or
  // written, and a JIS reader and writer start in the sets the part before
  // ended in, with the first byte of a pair it left waiting. Each part but
  // the last is followed by more: a byte left waiting is kept, not dropped,
  // and JIS output stays in its set.
  bool continued = false;
  bool continues = false;
  ShiftState jis_read_shift = SHIFT_NONE;
  ShiftState jis_write_shift = SHIFT_NONE;
  uint8_t jis_waiting = 0;
};

struct ConversionResult {
  // Characters written as 〓 (or U+FFFD) because the target lacks them or the
  // input was no character, and a character the end of the text cut off
  // (which is written as nothing).
  size_t replaced = 0;
  bool cut_at_end = false;  // the text ended inside a character
  // Where a part that more text follows ended (see ConvertOptions::continues).
  ShiftState jis_read_shift = SHIFT_NONE;
  ShiftState jis_write_shift = SHIFT_NONE;
  uint8_t jis_waiting = 0;
};

// Reads in to its end and writes the converted text to out. A converter sees
// and writes a line end as LF; where the streams keep line ends as stored
// (as the line-end setting says: see line_end_setting.h), the cursors
// translate them, and the loops that take many bytes at once leave each
// line end that needs it to them.
using Converter = ConversionResult (*)(TextStream* in, TextStream* out, const ConvertOptions& options);

}  // namespace kotran
