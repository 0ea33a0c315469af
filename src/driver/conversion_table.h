// Which converter, extension and description serve each source and target.
#pragma once

#include "codes/code.h"
#include "convert/converter.h"

namespace kotran {

struct ConversionEntry {
  const char* extension;    // of the output file
  Converter converter;
  const char* description;  // shown when a file is converted: "Shift-JIS -> JIS"
};

const ConversionEntry& conversion_table(Code source, Code target);

}  // namespace kotran
