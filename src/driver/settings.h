// The settings word: what the options asked for, read by the converters.
#pragma once

#include <cstdint>

namespace kotran {

// Code numbers, used for target, source, the rows and columns of the
// conversion table and the results of detect_code.
enum Code : unsigned {
  CODE_SJIS = 0,
  CODE_JIS = 1,
  CODE_EUC = 2,
  CODE_UTF8 = 3,
};

using Settings = uint16_t;

// Bits of the settings word.
inline constexpr Settings TARGET_MASK = 0x0003;        // code to convert to
inline constexpr Settings SOURCE_MASK = 0x000C;        // code to convert from
inline constexpr unsigned SOURCE_SHIFT = 2;
inline constexpr Settings JIS_VARIANT_MASK = 0x00F0;   // row of jis_escape_table
inline constexpr unsigned JIS_VARIANT_SHIFT = 4;
inline constexpr Settings TO_CONSOLE = 0x0100;         // -c: converted text to standard output
inline constexpr Settings TO_FULLWIDTH = 0x0200;       // -f: half-width katakana become full-width
inline constexpr Settings SOURCE_FORCED = 0x0400;      // the source was fixed by an option
inline constexpr Settings LF_LINE_ENDS = 0x0800;       // -l: outputs end lines with LF alone
inline constexpr Settings GUESS_ONLY = 0x1000;         // -g: report each file's code, convert nothing

// The one settings word of the run, zero at the start.
extern Settings settings;

constexpr unsigned target_of(Settings s) { return s & TARGET_MASK; }
constexpr unsigned source_of(Settings s) { return (s & SOURCE_MASK) >> SOURCE_SHIFT; }
constexpr unsigned jis_variant_of(Settings s) { return (s & JIS_VARIANT_MASK) >> JIS_VARIANT_SHIFT; }
constexpr bool to_fullwidth(Settings s) { return (s & TO_FULLWIDTH) != 0; }

constexpr Settings with_target(Settings s, unsigned code) {
  return static_cast<Settings>((s & ~TARGET_MASK) | (code & 3));
}
constexpr Settings with_source(Settings s, unsigned code) {
  return static_cast<Settings>((s & ~SOURCE_MASK) | ((code & 3) << SOURCE_SHIFT));
}

}  // namespace kotran
