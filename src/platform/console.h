// Messages to the user, written so that they read right where they go.
#pragma once

#include <string_view>

namespace kotran::platform {

// The form in which a message reaches the user.
enum class MessageForm {
  console,    // a console, written as text (WriteConsoleW): any code page reads it
  shift_jis,  // bytes in Shift-JIS (Windows' code page 932)
  utf8,       // bytes in UTF-8
};

// The form for messages written to descriptor fd (1 or 2). On Windows: a
// console takes text; a file or pipe takes the console's output code page
// when that is 932 (Japanese Windows, and "chcp 932"), and UTF-8 otherwise
// ("chcp 65001", no console at all, any other code page).
MessageForm message_form(int fd);

// Whether messages are made in UTF-8 and handed to write_message, which
// puts them in their form (Windows). Where false (POSIX), messages are
// made in the form they are shown in (Shift-JIS, the system's original
// form, or UTF-8 on a terminal whose locale is UTF-8) and written as they
// are; write_message then writes its bytes unchanged.
bool converts_messages();

// The codeset of the user's locale (LC_CTYPE: nl_langinfo(CODESET), "UTF-8"
// on Windows), read when first asked for: a run that needs none (no wildcard
// word left by the shell, no folder walked, no message to a terminal) does
// not spend its time reading the locale's files.
const char* host_codeset();

// Writes a message, given in UTF-8, to fd in its form (message_form);
// false, with errno set, when it could not all be written.
bool write_message(int fd, std::string_view utf8);

}  // namespace kotran::platform
