// Error codes of the Windows calls as the POSIX calls give them.
#pragma once

namespace kotran::platform::windows {

// The errno for a host error code (GetLastError).
int errno_of(unsigned long code);

}  // namespace kotran::platform::windows
