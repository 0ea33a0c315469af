#include "driver/reporter.h"

#include "driver/event_wire.h"
#include "stream/text_stream.h"

namespace kotran {

Reporter::Reporter(ReportForm form) : form_(form) {
  // Standard output holds nothing but the JSON lines, which end with LF
  // alone whatever -l says.
  if (form_ == ReportForm::json) std_out()->lf_only = true;
}

void Reporter::report(const Event& event) {
  switch (form_) {
    case ReportForm::text: return report_text(event);
    case ReportForm::json:
      if (event.kind == EventKind::summary) return write_json_summary(event);
      file_events_.push_back(event);
      return;
    case ReportForm::kept:
      file_events_.push_back(event);
      return;
    case ReportForm::sent:
      frame_.clear();
      encode_event(event, frame_);
      write_bytes(std_err(), frame_.data(), frame_.size());
      return;
  }
}

void Reporter::file_done(const std::string& file, const FileResult& result) {
  // A worker's record after the file's frames gives its result.
  if (form_ != ReportForm::json) return;
  write_json_line(file, result, file_events_);
  file_events_.clear();
}

}  // namespace kotran
