// The run's reporter: every event of a file and of the run goes to one, which
// gives them their form. The text form writes the messages on standard error
// (and -g's lines on standard output) as they have always read; the JSON
// form writes one JSON object a file, and the summary, on standard output
// (--json); a worker process's reporter sends the events to the run's
// process, and a worker thread's keeps them for the run's thread, whose
// reporter gives them their form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/messages.h"
#include "driver/report_event.h"
#include "driver/workers.h"

namespace kotran {

// The form the reports take.
enum class ReportForm : uint8_t {
  text,  // the messages
  json,  // JSON lines on standard output
  sent,  // frames on standard error, a worker's pipe to the run's process (see event_wire.h)
  kept,  // held in memory until taken: a worker thread's, which writes nothing
};

// One class, not a hierarchy: the sanitizers check every virtual call
// against the object's type, which they cannot do with the descriptor table
// full, where a report must still be made.
class Reporter {
 public:
  explicit Reporter(ReportForm form);
  // One event of the file in hand, or the summary.
  void report(const Event& event);
  // The file named so is done, with this result: its last word.
  void file_done(const std::string& file, const FileResult& result);
  // kept: the events held, which the reporter holds no more.
  std::vector<Event> take_events() { return std::exchange(file_events_, {}); }

 private:
  ReportForm form_;
  std::vector<Event> file_events_;  // json, kept: the events of the file in hand (json: gathered into its line)
  std::string frame_;               // sent: the frame in the making
};

// The forms, each in its file: the text (text_reporter.cpp), a file's JSON
// line and the summary's (json_reporter.cpp).
void report_text(const Event& event);
void write_json_line(const std::string& file, const FileResult& result, const std::vector<Event>& events);
void write_json_summary(const Event& summary);

// A message line of an event, as the text reporter writes it: its format and
// arguments, or (system set) "path: the system's reason", written at once
// after what standard output holds.
// The arguments view the event's strings, and the numbers the line holds.
struct TextLine {
  const Message* format = nullptr;
  std::string_view args[5];
  size_t count = 0;
  bool system = false;
  char numbers[5][24];  // the numbers among the arguments, as text

  TextLine() = default;
  TextLine(const TextLine&) = delete;
  TextLine& operator=(const TextLine&) = delete;
};

// The lines of an event in the order they are written; how many (up to 4).
// The guessed event's line is not among them: it goes to standard output.
// The lines view the event: they are good while it is.
size_t text_lines(const Event& event, TextLine (&lines)[4]);

// The English message of a skip or failure, without "ERROR: " and the
// file's name before it: the human text beside a JSON reason or cause.
std::string english_reason(const Event& event);

}  // namespace kotran
