#include "convert/line_end_setting.h"

namespace kotran {

void set_output_line_ends(TextStream* out, const LineEndSetting& setting) {
  out->lf_only = setting.lf_only;
  out->text = !setting.by_writer;
}

void carry_line_ends(TextStream* in, const LineEndSetting& setting) {
  if (setting.carried && in->kind != StreamKind::console) stream_keep_line_ends(in);
}

int follow_line_ends(TextStream* out, const TextStream* in) { return stream_keep_line_ends(out, in->line_ends_kept); }

}  // namespace kotran
