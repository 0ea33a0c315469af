// The codes kotran reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kotran {

// The list of codes, one line each: the name in code, the stem of its reader
// and writer (SjisReader, SjisWriter), its name in messages and the
// extension of its output files. Everything that goes by code (this
// enumeration, the converters, the conversion table) is made from it.
#define KOTRAN_CODES(X)                    \
  X(sjis, Sjis, "Shift-JIS", ".sjs")       \
  X(jis, Jis, "JIS", ".jis")               \
  X(euc, Euc, "EUC", ".euc")               \
  X(utf8, Utf8, "UTF-8", ".utf8")          \
  X(utf16, Utf16, "UTF-16", ".utf16")      \
  X(sjis2004, Sjis2004, "Shift_JIS-2004", ".sjs2004") \
  X(euc2004, Euc2004, "EUC-JIS-2004", ".euc2004") \
  X(jis2004, Jis2004, "ISO-2022-JP-2004", ".jis2004")

enum class Code : uint8_t {
#define KOTRAN_CODE_ENUM(id, Stem, name, extension) id,
  KOTRAN_CODES(KOTRAN_CODE_ENUM)
#undef KOTRAN_CODE_ENUM
};

inline constexpr size_t CODE_COUNT = 0
#define KOTRAN_CODE_COUNT(id, Stem, name, extension) +1
    KOTRAN_CODES(KOTRAN_CODE_COUNT)
#undef KOTRAN_CODE_COUNT
    ;

struct CodeInfo {
  const char* id;         // "sjis"
  const char* name;       // "Shift-JIS"
  const char* extension;  // ".sjs"
};

inline constexpr CodeInfo code_info[CODE_COUNT] = {
#define KOTRAN_CODE_INFO(id, Stem, name, extension) {#id, name, extension},
    KOTRAN_CODES(KOTRAN_CODE_INFO)
#undef KOTRAN_CODE_INFO
};

constexpr size_t index_of(Code c) { return static_cast<size_t>(c); }
constexpr const CodeInfo& info_of(Code c) { return code_info[index_of(c)]; }
constexpr Code code_at(size_t index) { return static_cast<Code>(index); }
// Whether the code is a form of Unicode, where every character is itself.
constexpr bool is_unicode(Code c) { return c == Code::utf8 || c == Code::utf16; }
// Whether the code writes JIS X 0213 (its 2004 forms).
constexpr bool is_x0213(Code c) { return c == Code::sjis2004 || c == Code::euc2004 || c == Code::jis2004; }

}  // namespace kotran
