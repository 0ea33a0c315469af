// Naming the output file after the input.
#pragma once

#include <climits>
#include <string>

namespace kotran {

// Room for a name, the terminating NUL included.
inline constexpr size_t NAME_BUFFER_SIZE = PATH_MAX;

// The input's name with the extension in place of everything from the first
// '.' of its base name (the part after the last '/'), or with the extension
// appended when the base name has no '.'. False when the result does not fit
// the name buffer.
bool build_output_name(const std::string& input, const char* extension, std::string& output);

// The folder a name lies in: everything before its last '/', "/" for a name
// just under the root, "." for a name without '/'.
std::string directory_of(const std::string& name);

}  // namespace kotran
