// The main routine: options, then each file in turn.
#pragma once

#include <string>
#include <vector>

namespace kotran {

// Exit statuses.
inline constexpr int EXIT_OK = 0;          // every file converted or rightly skipped
inline constexpr int EXIT_FILE_FAILED = 1; // a file could not be read, converted or written
inline constexpr int EXIT_BAD_OPTION = 2;
inline constexpr int EXIT_NO_MEMORY = 255;   // memory ran out (also for the argument words)

// Runs the program on its argument words (the program's name first).
int run_driver(const std::vector<std::string>& words);

}  // namespace kotran
