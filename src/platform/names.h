// How the host writes a full name.
#pragma once

#include <cstddef>
#include <string_view>

namespace kotran::platform {

// The length of the root that a name (in the program's form, '/' between
// folders) starts from: 0 for a name relative to the working folder. On
// POSIX "/" (1). On Windows also a drive's root ("C:/", 3), a drive alone,
// its current folder ("C:", 2), and a share ("//server/share/").
size_t root_length(std::string_view name);

}  // namespace kotran::platform
