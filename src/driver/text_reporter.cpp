// The messages as they have always read: each event is one or more lines on
// standard error, in Japanese or English, Shift-JIS or (on a UTF-8
// terminal) UTF-8; -g's answer is a line on standard output.
#include <charconv>
#include <iterator>
#include <string>

#include "codes/code.h"
#include "driver/reporter.h"
#include "recognition/recognised.h"
#include "stream/error_report.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

void set(TextLine& line, const Message& format, std::initializer_list<std::string_view> args) {
  line.format = &format;
  line.count = 0;
  for (const std::string_view arg : args)
    if (line.count < std::size(line.args)) line.args[line.count++] = arg;
}

// A number of the line as text, kept in the line's slot.
std::string_view number(TextLine& line, size_t slot, uint64_t value) {
  char* const text = line.numbers[slot];
  const auto end = std::to_chars(text, text + sizeof line.numbers[slot], value).ptr;
  return {text, static_cast<size_t>(end - text)};
}

size_t skipped_lines(const Event& e, TextLine (&lines)[4]) {
  switch (static_cast<SkipReason>(e.why)) {
    case SkipReason::ascii: set(lines[0], MSG_ASCII_FILE, {e.file}); break;
    case SkipReason::no_need: set(lines[0], MSG_NO_NEED, {e.file}); break;
    case SkipReason::link: set(lines[0], MSG_LINK_SKIPPED, {e.file}); break;
    case SkipReason::special: set(lines[0], MSG_SPECIAL_SKIPPED, {e.file, e.text}); break;
    case SkipReason::binary: set(lines[0], MSG_NOT_TEXT_BINARY, {e.file}); break;
    case SkipReason::not_japanese: set(lines[0], MSG_NOT_JAPANESE, {e.file, e.text}); break;
    case SkipReason::not_text: set(lines[0], MSG_NOT_TEXT_INVALID, {e.file}); break;
  }
  return 1;
}

size_t failed_lines(const Event& e, TextLine (&lines)[4]) {
  TextLine& line = lines[0];
  const std::string_view first = number(line, 0, e.n[0]), second = number(line, 1, e.n[1]);
  switch (static_cast<FailCause>(e.why)) {
    case FailCause::system:
      line.system = true;
      line.count = 1;
      line.args[0] = e.name;
      break;
    case FailCause::output_is_input: set(line, MSG_OUTPUT_IS_INPUT, {e.file, e.name}); break;
    case FailCause::output_is_later_input: set(line, MSG_OUTPUT_IS_LATER_INPUT, {e.file, e.name}); break;
    case FailCause::output_is_earlier_input: set(line, MSG_OUTPUT_IS_EARLIER_INPUT, {e.file, e.name}); break;
    case FailCause::output_written_twice: set(line, MSG_OUTPUT_WRITTEN_TWICE, {e.file, e.name}); break;
    case FailCause::output_not_regular: set(line, MSG_OUTPUT_NOT_REGULAR, {e.file, e.name, e.text}); break;
    case FailCause::not_exact: set(line, MSG_STRICT_REFUSED, {e.file, first, second}); break;
    case FailCause::text_after_end: set(line, MSG_STRICT_TEXT_ENDED, {e.file, first, second}); break;
    case FailCause::outside_tree: set(line, MSG_OUTSIDE_TREE, {e.file}); break;
    case FailCause::output_folder_blocked: set(line, MSG_OUTPUT_FOLDER_BLOCKED, {e.file, e.name, e.text}); break;
    case FailCause::input_changed: set(line, MSG_INPUT_CHANGED, {e.file, e.text}); break;
    case FailCause::backup_exists: set(line, MSG_BACKUP_EXISTS, {e.file, e.name}); break;
    // Named by the output, whose attributes they are.
    case FailCause::attributes_not_kept: set(line, MSG_ATTRIBUTES_NOT_KEPT, {e.name, e.text}); break;
    case FailCause::worker_killed: set(line, MSG_WORKER_DIED, {e.file, first}); break;
    case FailCause::worker_exited: set(line, MSG_WORKER_EXITED, {e.file, second}); break;
    case FailCause::worker_no_memory: set(line, MSG_WORKER_NO_MEMORY, {e.file}); break;
    case FailCause::messages_lost:
      if (e.n[0] != 0)
        set(line, MSG_MESSAGES_LOST, {e.file, first});
      else
        set(line, MSG_MESSAGES_LOST_EXITED, {e.file, second});
      break;
    case FailCause::not_taken_no_memory: set(line, MSG_NOT_CONVERTED_NO_MEMORY, {e.file}); break;
  }
  return 1;
}

size_t summary_lines(const Event& e, TextLine (&lines)[4]) {
  // files, converted, skipped, not Japanese, replaced, failed, status, guess_only
  if (e.n[7] != 0 || e.n[0] < 2) return 0;
  TextLine& line = lines[0];
  std::string_view text[6];
  for (size_t i = 1; i < std::size(text); ++i) text[i] = number(line, i - 1, e.n[i]);
  if (e.n[3] > 0)  // how many of the skipped were not Japanese, where any were
    set(line, MSG_SUMMARY_NOT_JAPANESE, {text[1], text[2], text[3], text[4], text[5]});
  else
    set(line, MSG_SUMMARY, {text[1], text[2], text[4], text[5]});
  return 1;
}

// -g: one line on standard output, "name: code (certainty)"; for text
// that is not Japanese, what it seems to be in place of how sure.
void write_guess(const Event& e) {
  const Recognition answer{static_cast<Recognised>(e.code), static_cast<Certainty>(e.certainty),
                           static_cast<Foreign>(e.foreign), static_cast<ByteOrder>(e.order)};
  const char* after = answer.code == Recognised::not_japanese ? foreign_name(answer.foreign)
                                                              : certainty_name(answer.certainty);
  const std::string line = shown_name(e.file) + ": " + answer_name(answer) + " (" + after + ")\n";
  // A report for scripts: LF alone, whatever -l says. The stream stores
  // its line ends as it writes its block out: the line goes out now.
  TextStream* out = std_out();
  const bool lf_only = out->lf_only;
  out->lf_only = true;
  flush_stream(out);
  write_message_text(out, line);
  flush_stream(out);
  out->lf_only = lf_only;
}

}  // namespace

size_t text_lines(const Event& e, TextLine (&lines)[4]) {
  for (TextLine& line : lines) {
    line.format = nullptr;
    line.count = 0;
    line.system = false;
  }
  switch (e.kind) {
    case EventKind::guessed: return 0;
    case EventKind::converting: {
      size_t n = 0;
      set(lines[n++], MSG_CONVERTING, {e.file, e.text});
      if (e.widened) set(lines[n++], MSG_WIDENING, {});
      set(lines[n++], MSG_OUTPUT_FILE, {e.name});
      if (!e.other.empty()) set(lines[n++], MSG_BACKUP_FILE, {e.other});
      return n;
    }
    case EventKind::replaced:
      if (e.n[1] != 0)
        set(lines[0], MSG_REPLACED_AT,
            {number(lines[0], 0, e.n[0]), number(lines[0], 1, e.n[1]), number(lines[0], 2, e.n[2])});
      else
        set(lines[0], MSG_REPLACED, {number(lines[0], 0, e.n[0])});
      return 1;
    case EventKind::cut_at_end: set(lines[0], MSG_CUT_AT_END, {}); return 1;
    case EventKind::text_ended_early:
      set(lines[0], MSG_TEXT_ENDED_EARLY, {number(lines[0], 0, e.n[0]), number(lines[0], 1, e.n[1])});
      return 1;
    case EventKind::set_id_dropped: set(lines[0], MSG_SET_ID_DROPPED, {}); return 1;
    case EventKind::skipped: return skipped_lines(e, lines);
    case EventKind::failed: return failed_lines(e, lines);
    case EventKind::summary: return summary_lines(e, lines);
  }
  return 0;
}

std::string english_reason(const Event& e) {
  if (e.cause_is(FailCause::system)) return error_text(e.error);
  TextLine lines[4];
  if (text_lines(e, lines) == 0 || lines[0].format == nullptr) return "";
  const TextLine& line = lines[0];
  std::string text = english_message(*line.format, line.args, line.count);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.rfind("ERROR: ", 0) == 0) text.erase(0, 7);
  const std::string prefix = shown_name(e.file) + ": ";
  if (!e.file.empty() && text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  return text;
}

void report_text(const Event& event) {
  if (event.kind == EventKind::guessed) return write_guess(event);
  TextLine lines[4];
  const size_t count = text_lines(event, lines);
  for (size_t i = 0; i < count; ++i) {
    const TextLine& line = lines[i];
    if (line.system) {
      last_error = event.error;
      report_error(event.name.c_str());  // the path the line names
      continue;
    }
    const std::string text = format_message(*line.format, line.args, line.count, shows_utf8(std_err()));
    write_message_text(std_err(), text);
  }
}

}  // namespace kotran
