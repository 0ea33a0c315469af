// How the host writes a full name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codes/name_order.h"

namespace kotran::platform {

// The length of the root that a name (in the program's form, '/' between
// folders) starts from: 0 for a name relative to the working folder. On
// POSIX "/" (1). On Windows also a drive's root ("C:/", 3), a drive alone,
// its current folder ("C:", 2), and a share ("//server/share/").
size_t root_length(std::string_view name);

// Sorts the names a folder lists (UTF-8) as the program sorts names
// (compare_names): on POSIX by their bytes in the host's character set
// `host`; on Windows by their form in the system's code page, Shift-JIS on
// Japanese Windows, as wildcard words are sorted there.
void sort_folder_names(std::vector<std::string>& names, CharSet host);

}  // namespace kotran::platform
