// Error numbers, their fixed English texts, and the report line.
#pragma once

#include <string>
#include <string_view>

namespace kotran {

inline constexpr int ERROR_MESSAGE_COUNT = 44;
// Texts of the error numbers 0-43.
extern const char* const error_messages[ERROR_MESSAGE_COUNT];

// Text of an error number; "Unknown error" outside 0-43.
const char* error_text(int number);

// Error number for a host errno value.
int error_number_from_errno(int errnum);

// Sets last_error from a host errno value.
void set_last_error_from_errno(int errnum);

// A file name as messages and reports show it: each control byte (0x00-0x1F
// and 0x7F) becomes "\x" and two upper-case hex digits, so that a name can
// neither send the terminal a sequence nor start a line of its own. Every
// other byte is shown as it is: a Shift-JIS name (lead bytes 0x81-0x9F,
// trail byte 0x5C) stays readable.
std::string shown_name(std::string_view name);

// Writes "name: text of last_error" and a line end straight to standard
// error, after what standard error still holds; the name (as shown_name gives
// it) and ": " are left out when the name is empty.
void report_error(const char* name);

}  // namespace kotran
