#include "platform/names.h"

#include <windows.h>

#include "platform/windows/wildcards.h"

namespace kotran::platform {

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

size_t root_length(std::string_view name) {
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (drive) return name.size() >= 3 && is_separator(name[2]) ? 3 : 2;
  if (name.size() >= 2 && is_separator(name[0]) && is_separator(name[1])) {
    // "//server/share/": the server's name, then the share's.
    size_t at = 2;
    for (int part = 0; part < 2 && at < name.size(); ++part) {
      while (at < name.size() && !is_separator(name[at])) ++at;
      if (at < name.size()) ++at;
    }
    return at;
  }
  return !name.empty() && is_separator(name[0]) ? 1 : 0;
}

// The names are UTF-8 inside the program whatever `host` says there.
void sort_folder_names(std::vector<std::string>& names, CharSet) { windows::sort_names_for_code_page(names, GetACP()); }

}  // namespace kotran::platform
