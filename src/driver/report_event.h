// What a run tells of each file and of itself, as events: a small record
// each, with the fields its kind needs. The driver makes them where things
// happen and hands them to the run's reporter (see reporter.h), which gives
// them their form: the messages on standard error, or JSON lines.
#pragma once

#include <cstdint>
#include <string>

namespace kotran {

enum class EventKind : uint8_t {
  guessed,           // -g: file; code, certainty, foreign, order (Recognition); for text not valid in
                     // the code, line, column and offset + 1 of the first invalid place (0: not known)
  converting,        // file; source, target, text (the conversion "Shift-JIS -> EUC"), name (the output),
                     // other (the backup, or empty), widened
  replaced,          // count; line, column of the first (line 0: not known)
  cut_at_end,        // the text ended inside a character
  text_ended_early,  // offset of the 0x1A that ended the text; bytes after it
  set_id_dropped,    // the set-user-ID and set-group-ID bits were removed
  skipped,           // file; skip (why), text (what it is, or what it seems to be)
  failed,            // file; cause (why), and the fields of that cause
  summary,           // the run's counts
};

// Why a file was not converted, and no failure.
enum class SkipReason : uint8_t {
  ascii,          // 7-bit text
  no_need,        // already in the target
  link,           // a symbolic link in a tree
  special,        // not a regular file (text: what it is)
  binary,         // a NUL byte or a binary format's mark
  not_japanese,   // text of another language (text: what it seems to be)
  not_text,       // valid in no code, found in a tree
};

// Why a file failed.
enum class FailCause : uint8_t {
  system,                 // error: the cause (ErrorCause); name: the path it befell, where not the file
  output_is_input,        // name: the output
  output_is_later_input,  // name: the output
  output_is_earlier_input,  // name: the output
  output_written_twice,   // name: the output
  output_not_regular,     // name: the output; text: what stands there
  not_exact,              // --strict: line, column of the first place
  text_after_end,         // --strict: offset of the 0x1A, bytes after it
  outside_tree,           // the name's .. leads out of the output folder
  output_folder_blocked,  // name: the folder; text: what stands there
  input_changed,          // text: what it became
  backup_exists,          // name: the backup, which holds something else
  attributes_not_kept,    // name: the output; error: the host's errno; text: the host's reason
  worker_killed,          // signal
  worker_exited,          // status
  worker_no_memory,       // memory ran out in the worker with the file in hand
  messages_lost,          // the worker finished the file, then ended: signal, or status where signal is 0
  not_taken_no_memory,    // the run ended when memory ran out, before the file was taken
};

struct Event {
  EventKind kind = EventKind::failed;
  uint8_t why = 0;        // SkipReason or FailCause
  uint8_t code = 0;       // guessed: Recognised; converting: the source Code
  uint8_t target = 0;     // converting: the target Code
  uint8_t certainty = 0;  // guessed: Certainty
  uint8_t foreign = 0;    // guessed: Foreign
  uint8_t order = 0;      // guessed: ByteOrder
  bool widened = false;   // converting: half-width katakana become full-width
  int error = 0;          // failed: the cause's error number (see the cause)
  std::string file;       // the file as it was named (empty for the summary)
  std::string name;       // another path the event names (see the kinds)
  std::string other;      // a second path
  std::string text;       // a word or phrase the event carries (see the kinds)
  // Numbers: replaced (count, line, column); guessed (line, column, offset + 1);
  // text_ended_early and text_after_end (offset, bytes after); not_exact
  // (line, column); worker_* and messages_lost (signal, status); summary
  // (files, converted, skipped, not Japanese, replaced, failed, status,
  // guess_only).
  uint64_t n[8] = {};

  bool skip_is(SkipReason r) const { return kind == EventKind::skipped && why == static_cast<uint8_t>(r); }
  bool cause_is(FailCause c) const { return kind == EventKind::failed && why == static_cast<uint8_t>(c); }
};

// The events the driver makes, by what they say.
Event skipped_event(const std::string& file, SkipReason reason, std::string text = "");
Event failed_event(const std::string& file, FailCause cause, std::string name = "", std::string text = "");
// A failure the system named: error is an ErrorCause, path the name that
// failed (the file itself, an output, standard output ...).
Event system_failure(const std::string& file, int error, const std::string& path);

}  // namespace kotran
