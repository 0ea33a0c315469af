// POSIX expands wildcard words in the shell; this expansion (glob) is
// for a caller of its own.
#include "platform/wildcards.h"

#include <glob.h>

#include <string>

#include "codes/name_order.h"

namespace kotran::platform {

bool program_expands_wildcards() { return false; }

bool holds_wildcard(std::string_view word) { return word.find_first_of("*?") != std::string_view::npos; }

std::vector<std::string> expand_wildcard(std::string_view word) {
  std::vector<std::string> names;
  if (!holds_wildcard(word)) return names;
  glob_t found{};
  if (glob(std::string(word).c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      const std::string_view name = found.gl_pathv[i];
      const size_t slash = name.rfind('/');
      if (name.substr(slash == std::string_view::npos ? 0 : slash + 1).starts_with(".kotran-")) continue;
      names.emplace_back(name);
    }
  }
  globfree(&found);
  sort_names(names, CharSet::single_byte);
  return names;
}

}  // namespace kotran::platform
