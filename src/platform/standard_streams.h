// The standard streams as the conversion needs them.
#pragma once

namespace kotran::platform {

// Puts standard input, output and error in binary mode, so that every byte
// goes through as the conversion writes it: Windows' C library otherwise
// folds CR LF to LF on input, writes LF as CR LF and ends input at 0x1A.
// Nothing to do on POSIX.
void binary_standard_streams();

}  // namespace kotran::platform
