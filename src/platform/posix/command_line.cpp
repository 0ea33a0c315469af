#include "platform/command_line.h"

namespace kotran::platform {

std::vector<std::string> argument_words(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) words.emplace_back(argv[i]);
  return words;
}

}  // namespace kotran::platform
