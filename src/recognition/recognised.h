// What recognition can answer: one of the codes, text of 7-bit bytes only,
// or a text that could not be read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/code.h"

namespace kotran {

enum class Recognised : uint8_t {
#define KOTRAN_RECOGNISED_CODE(id, Stem, name, extension) id,
  KOTRAN_CODES(KOTRAN_RECOGNISED_CODE)
#undef KOTRAN_RECOGNISED_CODE
  ascii,       // only 7-bit bytes and no kanji-in escape
  unreadable,  // no stream, or a read error
};

constexpr bool names_code(Recognised r) { return static_cast<size_t>(r) < CODE_COUNT; }
constexpr Code code_of(Recognised r) { return static_cast<Code>(r); }
constexpr Recognised recognised(Code c) { return static_cast<Recognised>(c); }

// "Shift-JIS", ..., "ASCII", as -g reports them.
constexpr const char* recognised_name(Recognised r) {
  if (names_code(r)) return info_of(code_of(r)).name;
  return r == Recognised::ascii ? "ASCII" : "unreadable";
}

}  // namespace kotran
