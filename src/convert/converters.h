// The converters: a reader of each source code and a writer of each target
// code, one converter for every pair, all made from the list of codes.
#pragma once

#include "codes/code.h"
#include "convert/converter.h"

namespace kotran {

// The converter from source to target.
Converter converter(Code source, Code target);

// "sjis_jis" for the converter from Shift-JIS to JIS.
const char* converter_name(Code source, Code target);

}  // namespace kotran
