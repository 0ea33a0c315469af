// Option words.
#pragma once

#include "driver/settings.h"

namespace kotran {

// Folds one option word (it begins with '-') into the settings word. Letters
// match in either case. Characters after those an original option names are
// ignored ("-cxyz" is "-c"); an extension option (-u, -us, -ue, -uj, -ju,
// -eu, -l, -g) must be the whole word.
// Returns 0 when the word is rejected (the settings are then unchanged).
int parse_option(const char* word, Settings& s);

}  // namespace kotran
