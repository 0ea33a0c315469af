// Names and messages are UTF-8 inside the program on Windows.
#pragma once

#define CODESET 14
inline const char* nl_langinfo(int) { return "UTF-8"; }
