// What recognition can answer: one of the codes, text of 7-bit bytes only,
// or a text that could not be read; and how sure the answer is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codes/code.h"

namespace kotran {

enum class Recognised : uint8_t {
#define KOTRAN_RECOGNISED_CODE(id, Stem, name, extension) id,
  KOTRAN_CODES(KOTRAN_RECOGNISED_CODE)
#undef KOTRAN_RECOGNISED_CODE
  ascii,         // only 7-bit bytes and no JIS escape sequence
  not_japanese,  // no Japanese text: binary, or text of another language
  unreadable,    // no stream, or a read error
};

constexpr bool names_code(Recognised r) { return static_cast<size_t>(r) < CODE_COUNT; }
constexpr Code code_of(Recognised r) { return static_cast<Code>(r); }
constexpr Recognised recognised(Code c) { return static_cast<Recognised>(c); }

// "Shift-JIS", ..., "ASCII", as -g reports them.
constexpr const char* recognised_name(Recognised r) {
  if (names_code(r)) return info_of(code_of(r)).name;
  switch (r) {
    case Recognised::ascii: return "ASCII";
    case Recognised::not_japanese: return "not Japanese";
    default: return "unreadable";
  }
}

// What a text that is not Japanese seems to be.
enum class Foreign : uint8_t {
  none,    // the text is Japanese (or ASCII)
  binary,  // a NUL byte in the first block, or a binary format's signature
  euc_kr,  // Korean in EUC-KR
  gbk,     // Simplified Chinese in GBK (GB2312)
  big5,    // Traditional Chinese in Big5
  koi8_r,  // Russian in KOI8-R
  latin1,  // French, German, ... in Latin-1 (CP1252)
  cp1251,  // Russian (or another Cyrillic language) in CP1251
  greek,   // Greek in ISO-8859-7
};

// "binary", ..., as -g reports it after "not Japanese".
constexpr const char* foreign_name(Foreign f) {
  switch (f) {
    case Foreign::binary: return "binary";
    case Foreign::euc_kr: return "EUC-KR?";
    case Foreign::gbk: return "GBK?";
    case Foreign::big5: return "Big5?";
    case Foreign::koi8_r: return "KOI8-R?";
    case Foreign::latin1: return "Latin-1?";
    case Foreign::cp1251: return "CP1251?";
    case Foreign::greek: return "ISO-8859-7?";
    default: return "";
  }
}

// The order of UTF-16 text: as its byte-order mark gives, or, without one,
// as the text reads best.
enum class ByteOrder : uint8_t { marked, little, big };

// How sure an answer is.
enum class Certainty : uint8_t {
  certain,    // a mark, a sign only one code has, or the only valid reading
  likely,     // more than one reading is valid, and one is far more Japanese
  guess,      // the readings are close: the first opinion decided
  not_valid,  // no reading is valid: the first opinion decided
};

// "certain", ..., as -g reports them after the answer.
constexpr const char* certainty_name(Certainty c) {
  switch (c) {
    case Certainty::certain: return "certain";
    case Certainty::likely: return "likely";
    case Certainty::guess: return "guess";
    default: return "not valid text";
  }
}

struct Recognition {
  Recognised code = Recognised::unreadable;
  Certainty certainty = Certainty::certain;
  Foreign foreign = Foreign::none;  // with not_japanese: what the text seems to be
  ByteOrder order = ByteOrder::marked;  // with utf16: the order of a text without a mark

  friend bool operator==(const Recognition&, const Recognition&) = default;
};

// The code of an answer as -g reports it: UTF-16 without a mark by its order.
constexpr const char* answer_name(const Recognition& r) {
  if (r.code == Recognised::utf16 && r.order != ByteOrder::marked)
    return r.order == ByteOrder::big ? "UTF-16BE" : "UTF-16LE";
  return recognised_name(r.code);
}

}  // namespace kotran
