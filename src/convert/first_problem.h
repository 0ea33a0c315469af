// Where a text first holds what its conversion cannot carry over exactly: a
// byte or sequence that is no character of its code, a character of no
// table, or a character the target lacks.
#pragma once

#include <cstdint>

#include "codes/code.h"
#include "convert/converter.h"
#include "stream/text_stream.h"

namespace kotran {

// A place in a text: line 1 is the first, column 1 the first character of a
// line, counted in the units the source's reader reads (a pair, a katakana,
// a UTF-8 character, a byte). Line 0 is no place.
struct TextPlace {
  int64_t line = 0;
  int64_t column = 0;

  explicit operator bool() const { return line != 0; }
  friend bool operator==(const TextPlace&, const TextPlace&) = default;
};

// Where the search for the first problem stands, carried from one part of
// a text to the next: the place read up to, and the first problem found.
struct ProblemSearch {
  TextPlace here{1, 0};
  TextPlace first;
};

// Reads in from its position to its end with the source's reader, as the
// converter to target would with these options, and returns the first place
// it could not convert exactly; no place when the conversion is exact.
TextPlace first_problem(TextStream* in, Code source, Code target, const ConvertOptions& options);

// The same over one part of a text (see ConvertOptions::continues), going
// on from search: the reader's state where the part ends, as the
// conversion's result gives it for the next part.
ConversionResult search_problem(TextStream* in, Code source, Code target, const ConvertOptions& options,
                                ProblemSearch& search);

}  // namespace kotran
