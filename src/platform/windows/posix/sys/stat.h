// The C library's <sys/stat.h>, and the POSIX calls it lacks on Windows.
#pragma once
// The next header of the same name is the C library's.
#pragma GCC system_header
#include_next <sys/stat.h>
#include "platform/windows/posix_calls.h"
