#include "platform/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/windows/wide_names.h"

namespace kotran::platform {

std::vector<std::string> argument_words(int, char**) {
  std::vector<std::string> words;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return words;
  words.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) words.push_back(windows::to_utf8(wide[i]));
  LocalFree(wide);
  return words;
}

}  // namespace kotran::platform
