// The program's banner, usage text and messages.
//
// They are written here in UTF-8 and stored and written as Shift-JIS, which
// is what a pipe or file receives. A terminal whose locale is UTF-8 is shown
// the same text in UTF-8, so that a person can read it. File names are
// written as given but for their control bytes (see shown_name).
//
// Each text is in Japanese and in English. Japanese is the program's own
// language and the default everywhere, the C and POSIX locales included;
// English is chosen as gettext chooses a catalogue, by the first of
// LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set (see english_messages).
#pragma once

#include <string>
#include <string_view>

#include "stream/text_stream.h"

namespace kotran {

inline constexpr const char* VERSION_TEXT = "Ver.3.2";

// A text in both languages.
struct Message {
  const char* japanese;
  const char* english;
};

inline constexpr int USAGE_LINE_COUNT = 11;
extern const Message usage_lines[USAGE_LINE_COUNT];
// Lines that --help adds after the usage text, for the extensions.
inline constexpr int HELP_EXTENSION_LINE_COUNT = 26;
extern const Message help_extension_lines[HELP_EXTENSION_LINE_COUNT];

// Whether messages are in English: the first of LANGUAGE (its first
// entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty names an
// English locale ("en", "en_US.UTF-8", "en@..."). Read once.
bool english_messages();

// Message formats; each %s is filled in order.
extern const Message MSG_BAD_OPTION;      // M1: the option word
extern const Message MSG_ASCII_FILE;      // M2: the file
extern const Message MSG_NO_NEED;         // M3: the file
extern const Message MSG_CONVERTING;      // M4: the file, the description
extern const Message MSG_WIDENING;        // M5
extern const Message MSG_OUTPUT_FILE;     // M6: the output file
extern const Message MSG_OUTPUT_IS_INPUT;        // the file, the output file
extern const Message MSG_OUTPUT_IS_LATER_INPUT;  // the file, the output file
extern const Message MSG_OUTPUT_IS_EARLIER_INPUT;  // the file, the output file
extern const Message MSG_OUTPUT_WRITTEN_TWICE;   // the file, the output file
extern const Message MSG_OUTPUT_NOT_REGULAR;     // the file, the output file, what stands there
extern const Message MSG_TEXT_ENDED_EARLY;       // the offset of the 0x1A, the bytes after it
extern const Message MSG_REPLACED;               // the count of replaced characters
extern const Message MSG_REPLACED_AT;            // the count, the line and column of the first
extern const Message MSG_CUT_AT_END;
extern const Message MSG_STRICT_REFUSED;         // the file, the line and column of the first problem
extern const Message MSG_STRICT_TEXT_ENDED;      // the file, the offset of the 0x1A, the bytes after it
extern const Message MSG_OPTIONS_CONFLICT;       // two option words
extern const Message MSG_STANDARD_INPUT_TWICE;
extern const Message MSG_BAD_PATH;               // KOTRAN_PATH's value, the paths this processor has
extern const Message MSG_LINK_SKIPPED;           // the link
extern const Message MSG_SPECIAL_SKIPPED;        // the entry, what it is
extern const Message MSG_NOT_TEXT_BINARY;        // the file
extern const Message MSG_NOT_TEXT_INVALID;       // the file
extern const Message MSG_NOT_JAPANESE;           // the file, what it seems to be ("EUC-KR?")
extern const Message MSG_OUTSIDE_TREE;           // the file
extern const Message MSG_OUTPUT_FOLDER_BLOCKED;  // the file, the folder's name, what stands there
extern const Message MSG_BACKUP_FILE;            // the name the original is kept under
extern const Message MSG_WORKER_DIED;            // the file, the signal number
extern const Message MSG_INPUT_CHANGED;          // the file, what it became
extern const Message MSG_BACKUP_EXISTS;          // the file, the backup's name
extern const Message MSG_ATTRIBUTES_NOT_KEPT;    // the output file, the system's reason
extern const Message MSG_SET_ID_DROPPED;
extern const Message MSG_WORKER_EXITED;          // the file, the worker's exit status
extern const Message MSG_WORKER_NO_MEMORY;       // the file
extern const Message MSG_MESSAGES_LOST;          // the file, the signal number
extern const Message MSG_MESSAGES_LOST_EXITED;   // the file, the worker's exit status
extern const Message MSG_NOT_CONVERTED_NO_MEMORY;  // the file
extern const Message MSG_SUMMARY;                // converted, skipped, replaced characters, failed
extern const Message MSG_SUMMARY_NOT_JAPANESE;  // as MSG_SUMMARY, with the skipped that were not Japanese
extern const Message MSG_PROGRESS;  // files done, all files, megabytes read, megabytes a second

// Program text in the form it is stored: Shift-JIS, or UTF-8 for display.
std::string program_text(std::string_view utf8, bool display_utf8);

// Fills a format: its text as program_text, each %s by the next argument as
// shown_name shows it, so that no file name or option word carries a control
// byte into a message.
std::string format_message(const Message& format, std::initializer_list<std::string_view> args,
                           bool display_utf8);

// The same, with the arguments in an array.
std::string format_message(const Message& format, const std::string_view* args, size_t count, bool display_utf8);
// The English form of a message, in UTF-8, whatever the locale: the form
// that stays the same for a program that reads it.
std::string english_message(const Message& format, const std::string_view* args, size_t count);

// Whether messages to the stream are made in UTF-8: where the host puts
// messages in their form itself (platform::converts_messages), always;
// otherwise on a terminal whose locale shows UTF-8.
bool shows_utf8(const TextStream* to);

// Writes a message made for the stream (shows_utf8 said in which form):
// where the host puts messages in their form, through it, after what the
// stream holds; otherwise as it is, into the stream.
void write_message_text(TextStream* to, std::string_view text);

// Writes "memory ran out, the program ends" straight to standard error,
// needing no memory to do so.
void print_out_of_memory();

// Writes a message to standard error.
void print_message(const Message& format, std::initializer_list<std::string_view> args = {});
void print_banner(TextStream* to);
void print_usage(TextStream* to);
void print_help(TextStream* to);

}  // namespace kotran
