// Option words.
#pragma once

#include "driver/settings.h"

namespace kotran {

// Folds one option word (it begins with '-') into the settings word. Letters
// match in either case; characters after those a rule names are ignored.
// Returns 0 when the word is rejected (the settings are then unchanged).
int parse_option(const char* word, Settings& s);

}  // namespace kotran
