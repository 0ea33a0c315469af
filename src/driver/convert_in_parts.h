// A file's text converted, or searched for what it cannot convert, as the
// command line reads it: block by block from its input stream, each block
// handed to the converter as parts of bytes in memory, so that the
// converters never read a file themselves.
#pragma once

#include "codes/code.h"
#include "convert/converter.h"
#include "convert/first_problem.h"
#include "stream/text_stream.h"

namespace kotran {

// Reads in to its end and writes the converted text to out, as
// convert(in, out, options) would, in parts cut as part_cuts.h says.
ConversionResult convert_in_parts(TextStream* in, TextStream* out, Converter convert, Code source,
                                  ConvertOptions options);

// Reads in to its end as convert_in_parts does and returns the first place
// the conversion to target could not carry over exactly, as first_problem
// would.
TextPlace first_problem_in_parts(TextStream* in, Code source, Code target, ConvertOptions options);

}  // namespace kotran
