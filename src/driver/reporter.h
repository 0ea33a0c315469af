// The run's reporter: every event of a file and of the run goes to one, which
// gives them their form. The text reporter writes the messages on standard
// error (and -g's lines on standard output) as they have always read; the
// JSON reporter writes one JSON object a file, and the summary, on standard
// output (--json).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "driver/messages.h"
#include "driver/report_event.h"
#include "driver/workers.h"

namespace kotran {

class Reporter {
 public:
  virtual ~Reporter() = default;
  // One event of the file in hand, or the summary.
  virtual void report(const Event& event) = 0;
  // The file named so is done, with this result: its last word.
  virtual void file_done(const std::string& file, const FileResult& result) = 0;
};

std::unique_ptr<Reporter> make_text_reporter();
std::unique_ptr<Reporter> make_json_reporter();

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
