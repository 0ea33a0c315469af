#include "driver/report_event.h"

#include <utility>

namespace kotran {

Event skipped_event(const std::string& file, SkipReason reason, std::string text) {
  Event e;
  e.kind = EventKind::skipped;
  e.why = static_cast<uint8_t>(reason);
  e.file = file;
  e.text = std::move(text);
  return e;
}

Event failed_event(const std::string& file, FailCause cause, std::string name, std::string text) {
  Event e;
  e.kind = EventKind::failed;
  e.why = static_cast<uint8_t>(cause);
  e.file = file;
  e.name = std::move(name);
  e.text = std::move(text);
  return e;
}

Event system_failure(const std::string& file, int error, const std::string& path) {
  Event e = failed_event(file, FailCause::system, path);
  e.error = error;
  return e;
}

}  // namespace kotran
