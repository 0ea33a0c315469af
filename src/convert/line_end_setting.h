// The line ends of a conversion's output, decided once from the target and
// -l (for a run, when its options are resolved) and handed to the streams
// and the converter: each obeys its part and decides nothing of its own.
#pragma once

#include "codes/code.h"
#include "stream/text_stream.h"

namespace kotran {

struct LineEndSetting {
  // Lines end with LF alone (-l); otherwise with CR LF. The UTF-16 writer
  // takes it through ConvertOptions::lf_only.
  bool lf_only = false;
  // The writer makes the line ends itself (UTF-16, where a byte 0x0A may be
  // half of a character): the output stream stores the bytes as they come.
  bool by_writer = false;
  // The conversion, not the streams, carries the line ends
  // (stream_keep_line_ends), so that a CR LF goes through as it stands: for
  // every output but LF alone and UTF-16, where the folding input stream
  // turns each line end into one LF first and no CR LF is a copy.
  bool carried = false;
};

constexpr LineEndSetting line_end_setting(Code target, bool lf_only) {
  return {lf_only, target == Code::utf16, !lf_only && target != Code::utf16};
}

// Whether a text in source is read as text: its stored CR LF delivered as
// LF and a stored 0x1A ending it. UTF-16 is read as stored: a byte 0x0A or
// 0x1A may be half of a character, and its writer makes the line ends.
constexpr bool read_as_text(Code source) { return source != Code::utf16; }

// Sets an output stream to end lines as the setting says.
void set_output_line_ends(TextStream* out, const LineEndSetting& setting);
// An input about to be converted hands its line ends over as stored where
// the setting carries them, but from a terminal, which gives line ends as
// they come. The input holds no block yet.
void carry_line_ends(TextStream* in, const LineEndSetting& setting);
// The output writes line ends as the conversion made them where its input
// hands them over as stored, and translates them where it does not; 0, or
// -1 when what it held could not be written first.
int follow_line_ends(TextStream* out, const TextStream* in);

}  // namespace kotran
