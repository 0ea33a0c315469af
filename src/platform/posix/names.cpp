#include "platform/names.h"

namespace kotran::platform {

size_t root_length(std::string_view name) { return !name.empty() && name[0] == '/' ? 1 : 0; }

void sort_folder_names(std::vector<std::string>& names, CharSet host) { sort_names(names, host); }

}  // namespace kotran::platform
