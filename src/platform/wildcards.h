// Wildcard words expanded by the program itself, where the shell does not
// expand them (cmd.exe and PowerShell pass "*.txt" as it is).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kotran::platform {

// Whether the program expands every wildcard word itself, with
// expand_wildcard (Windows, whose shells pass them as they are). Where
// false (POSIX), the shell has expanded them, and the driver expands the
// words it left by its own rules.
bool program_expands_wildcards();

// Whether the word holds '*' or '?'.
bool holds_wildcard(std::string_view word);

// The names that a wildcard word matches, sorted as the program sorts
// names (compare_names), each with the word's folder part in front as
// written; empty when it matches nothing (the caller keeps the word), and
// for a word without a wildcard. Only the last part of the word may hold
// '*' and '?'. On Windows '\' and '/' both end a folder part, a drive
// letter alone ("C:*.txt") is one, letter case is folded as the file
// system folds it, and short (8.3) names are never matched. "." and "..",
// and the program's own temporary files (".kotran-..."), are left out.
std::vector<std::string> expand_wildcard(std::string_view word);

}  // namespace kotran::platform
