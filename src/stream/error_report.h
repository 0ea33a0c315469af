// Error numbers, their fixed English texts, and the report line.
#pragma once

namespace kotran {

inline constexpr int ERROR_MESSAGE_COUNT = 43;
// Texts of the error numbers 0-42.
extern const char* const error_messages[ERROR_MESSAGE_COUNT];

// Text of an error number; "Unknown error" outside 0-42.
const char* error_text(int number);

// Error number for a host errno value.
int error_number_from_errno(int errnum);

// Sets last_error from a host errno value.
void set_last_error_from_errno(int errnum);

// Writes "name: text of last_error" and a line end straight to standard
// error, after what standard error still holds; the name and ": " are left out
// when the name is empty.
void report_error(const char* name);

}  // namespace kotran
