// Which converter, extension and description serve each source and target.
#pragma once

#include "convert/converters.h"

namespace kotran {

inline constexpr unsigned CODE_COUNT = 4;

struct ConversionEntry {
  const char* extension;    // of the output file
  Converter converter;
  const char* description;  // shown when a file is converted
};

// Indexed by source code, then target code.
extern const ConversionEntry conversion_table[CODE_COUNT][CODE_COUNT];

}  // namespace kotran
