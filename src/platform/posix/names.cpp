#include "platform/names.h"

namespace kotran::platform {

size_t root_length(std::string_view name) { return !name.empty() && name[0] == '/' ? 1 : 0; }

}  // namespace kotran::platform
