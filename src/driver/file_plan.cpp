#include "driver/file_plan.h"

namespace kotran {

FilePlan plan_file(const Recognition& answer, Code target, bool widen, bool in_tree, bool filter) {
  FilePlan plan;
  if (answer.code == Recognised::not_japanese) {
    // Never converted unless its source is named; text of another language
    // is counted apart in the summary. A binary file is no text.
    plan.told = answer.foreign == Foreign::binary ? SkipReason::binary : SkipReason::not_japanese;
    if (answer.foreign != Foreign::binary) plan.seems = foreign_name(answer.foreign);
    return plan;
  }
  // A file of a tree that is valid in no code is skipped; one named, or
  // standard input, is converted as the first opinion reads it.
  if (in_tree && answer.code != Recognised::utf16 && answer.certainty == Certainty::not_valid) {
    plan.told = SkipReason::not_text;
    return plan;
  }
  if (answer.code == Recognised::ascii) {
    // ASCII is Shift-JIS (and EUC) as it is.
    plan.told = SkipReason::ascii;
    plan.converts = filter;
    return plan;
  }
  plan.source = code_of(answer.code);
  plan.big_endian = answer.order == ByteOrder::big;
  // UTF-16 without a mark is written with one: it needs converting.
  if (plan.source == target && !widen && answer.order == ByteOrder::marked) {
    plan.told = SkipReason::no_need;
    plan.converts = filter;
    return plan;
  }
  plan.converts = true;
  return plan;
}

}  // namespace kotran
