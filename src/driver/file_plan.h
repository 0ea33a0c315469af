// What becomes of a file once its code is known: a decision from the
// answer of recognition and the run's settings alone, which the driver then
// carries out.
#pragma once

#include <optional>

#include "codes/code.h"
#include "driver/report_event.h"
#include "recognition/recognised.h"

namespace kotran {

struct FilePlan {
  // The text is converted. A filter (standard input) converts what needs
  // no conversion too: it goes through with the line ends every output has.
  bool converts = false;
  // What is told of the file: why it is skipped, or, for a filter's text
  // that goes through, why it needed nothing.
  std::optional<SkipReason> told;
  const char* seems = nullptr;  // with SkipReason::not_japanese: what the text seems to be
  Code source = Code::sjis;     // the code the text is read as
  bool big_endian = false;      // UTF-16 without a mark, read big-endian
};

// The plan for a file recognised as answer, to be converted to target
// (widening half-width katakana where widen is set); in_tree for a file
// found by -r, filter for standard input.
FilePlan plan_file(const Recognition& answer, Code target, bool widen, bool in_tree, bool filter);

}  // namespace kotran
