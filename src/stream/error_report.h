// Error numbers, their fixed English texts, and the report line.
#pragma once

#include <string>
#include <string_view>

namespace kotran {

// Error numbers by cause: the index of each cause's text in error_messages.
enum ErrorCause : int {
  ERR_NONE = 0,
  ERR_NOT_PERMITTED = 1,
  ERR_NO_SUCH_FILE = 2,
  ERR_NO_SUCH_PROCESS = 3,
  ERR_INTERRUPTED = 4,
  ERR_IO_ERROR = 5,
  ERR_NO_SUCH_DEVICE_OR_ADDRESS = 6,
  ERR_ARG_LIST_TOO_LONG = 7,
  ERR_EXEC_FORMAT = 8,
  ERR_BAD_DESCRIPTOR = 9,
  ERR_NO_CHILD = 10,
  ERR_TRY_AGAIN = 11,
  ERR_NOT_ENOUGH_SPACE = 12,
  ERR_PERMISSION_DENIED = 13,
  ERR_BAD_ADDRESS = 14,
  ERR_UNKNOWN_15 = 15,
  ERR_BUSY = 16,
  ERR_FILE_EXISTS = 17,
  ERR_IMPROPER_LINK = 18,
  ERR_NO_SUCH_DEVICE = 19,
  ERR_NOT_A_DIRECTORY = 20,
  ERR_IS_A_DIRECTORY = 21,
  ERR_INVALID_ARGUMENT = 22,
  ERR_TOO_MANY_OPEN_FILES_IN_SYSTEM = 23,
  ERR_TOO_MANY_OPEN_FILES = 24,
  ERR_NOT_A_TERMINAL = 25,
  ERR_UNKNOWN_26 = 26,
  ERR_FILE_TOO_LARGE = 27,
  ERR_NO_SPACE = 28,
  ERR_INVALID_SEEK = 29,
  ERR_READ_ONLY_FILE_SYSTEM = 30,
  ERR_TOO_MANY_LINKS = 31,
  ERR_BROKEN_PIPE = 32,
  ERR_DOMAIN_ERROR = 33,
  ERR_RESULT_TOO_LARGE = 34,
  ERR_UNKNOWN_35 = 35,
  ERR_DEADLOCK = 36,
  ERR_UNKNOWN_37 = 37,
  ERR_NAME_TOO_LONG = 38,
  ERR_NO_LOCKS = 39,
  ERR_NOT_IMPLEMENTED = 40,
  ERR_DIRECTORY_NOT_EMPTY = 41,
  ERR_ILLEGAL_BYTE_SEQUENCE = 42,
  ERR_SYMLINK_LOOP = 43,
};

inline constexpr int ERROR_MESSAGE_COUNT = ERR_SYMLINK_LOOP + 1;
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
