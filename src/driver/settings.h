// The settings word: what the options asked for, as the command line gives
// it. The driver reads it and hands each converter the options it needs.
#pragma once

#include <cstdint>

#include "codes/code.h"

namespace kotran {

using Settings = uint32_t;

// Bits of the settings word. A code takes four bits: room for sixteen.
inline constexpr Settings TARGET_MASK = 0x0000000F;       // code to convert to
inline constexpr Settings SOURCE_MASK = 0x000000F0;       // code to convert from
inline constexpr unsigned SOURCE_SHIFT = 4;
inline constexpr Settings JIS_VARIANT_MASK = 0x00000F00;  // row of jis_escape_table
inline constexpr unsigned JIS_VARIANT_SHIFT = 8;
inline constexpr Settings TO_CONSOLE = 0x00001000;        // -c: converted text to standard output
inline constexpr Settings TO_FULLWIDTH = 0x00002000;      // -f: half-width katakana become full-width
inline constexpr Settings SOURCE_FORCED = 0x00004000;     // the source was fixed by an option
inline constexpr Settings LF_LINE_ENDS = 0x00008000;      // -l: outputs end lines with LF alone
inline constexpr Settings GUESS_ONLY = 0x00010000;        // -g: report each file's code, convert nothing
inline constexpr Settings JIS_FORMS = 0x00020000;         // --unicode=jis: 〜 ‖ − ¢ £ ¬ — in their JIS forms
inline constexpr Settings STRICT = 0x00040000;            // --strict: convert a file only if nothing is replaced

constexpr Code target_of(Settings s) { return static_cast<Code>(s & TARGET_MASK); }
constexpr Code source_of(Settings s) { return static_cast<Code>((s & SOURCE_MASK) >> SOURCE_SHIFT); }
constexpr unsigned jis_variant_of(Settings s) { return (s & JIS_VARIANT_MASK) >> JIS_VARIANT_SHIFT; }
constexpr bool to_fullwidth(Settings s) { return (s & TO_FULLWIDTH) != 0; }

constexpr Settings with_target(Settings s, Code code) { return (s & ~TARGET_MASK) | static_cast<Settings>(code); }
constexpr Settings with_source(Settings s, Code code) {
  return (s & ~SOURCE_MASK) | (static_cast<Settings>(code) << SOURCE_SHIFT);
}
constexpr Settings with_jis_variant(Settings s, unsigned variant) {
  return (s & ~JIS_VARIANT_MASK) | (variant << JIS_VARIANT_SHIFT);
}

static_assert(CODE_COUNT <= (TARGET_MASK + 1), "more codes than the settings word has room for");

}  // namespace kotran
