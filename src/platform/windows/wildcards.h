// What the Windows wildcard expansion decides by itself, open to tests.
#pragma once

#include <string>
#include <vector>

namespace kotran::platform::windows {

// Sorts UTF-8 names as compare_names sorts them for a system whose ANSI
// code page is code_page: with 932 (Japanese Windows) the names are
// compared in their Shift-JIS form, as on a Shift-JIS host; otherwise as
// single-byte names. Names that compare equal are ordered by their bytes.
void sort_names_for_code_page(std::vector<std::string>& names, unsigned code_page);

}  // namespace kotran::platform::windows
