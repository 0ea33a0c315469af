#include "driver/output_name.h"

#include <algorithm>
#include <cstring>

#include "platform/names.h"

namespace kotran {

bool build_output_name(const std::string& input, const char* extension, std::string& output) {
  if (input.size() >= NAME_BUFFER_SIZE) return false;
  const size_t slash = input.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = input.find('.', base);
  const size_t keep = dot == std::string::npos ? input.size() : dot;
  if (keep + std::strlen(extension) >= NAME_BUFFER_SIZE) return false;
  output.assign(input, 0, keep);
  output += extension;
  return true;
}

std::string directory_of(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return name.substr(0, std::max(slash, platform::root_length(name)));
}

}  // namespace kotran
