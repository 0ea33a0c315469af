// The program's argument words, as the host hands them over.
#pragma once

#include <string>
#include <vector>

namespace kotran::platform {

// The argument words of this process, the program's name first, in the
// program's own form of names (UTF-8 on Windows, the bytes as given on
// POSIX). Windows hands a program one command line: it is read with
// GetCommandLineW and split by Windows' rules (CommandLineToArgvW's
// quoting), and argc and argv, which its C library made in the ANSI code
// page, are not used. A POSIX host's argv is already split by the shell.
std::vector<std::string> argument_words(int argc, char** argv);

}  // namespace kotran::platform
