// What the fuzz targets share: the converters by number, a converter run over
// memory streams, reading a stream to its end, and a check that stops the run
// (so that libFuzzer keeps the input) with a message saying what broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/converters.h"
#include "convert/writers.h"
#include "driver/settings.h"
#include "stream/text_stream.h"

namespace kotran::fuzz {

// Converter number source * 4 + target, codes 0 Shift-JIS, 1 JIS, 2 EUC, 3 UTF-8.
inline constexpr Converter converters[16] = {
    convert_sjis_sjis, convert_sjis_jis, convert_sjis_euc, convert_sjis_utf8,
    convert_jis_sjis,  convert_jis_jis,  convert_jis_euc,  convert_jis_utf8,
    convert_euc_sjis,  convert_euc_jis,  convert_euc_euc,  convert_euc_utf8,
    convert_utf8_sjis, convert_utf8_jis, convert_utf8_euc, convert_utf8_utf8,
};

inline constexpr const char* converter_names[16] = {
    "sjis_sjis", "sjis_jis", "sjis_euc", "sjis_utf8", "jis_sjis",  "jis_jis",  "jis_euc",  "jis_utf8",
    "euc_sjis",  "euc_jis",  "euc_euc",  "euc_utf8",  "utf8_sjis", "utf8_jis", "utf8_euc", "utf8_utf8",
};

// Prints up to 48 bytes of bytes from offset from on one line, in hex.
inline void print_hex(const char* label, const std::string& bytes, size_t from = 0) {
  const size_t to = bytes.size() - from > 48 ? from + 48 : bytes.size();
  std::fprintf(stderr, "%s (%zu bytes) at %zu:%s", label, bytes.size(), from, from > 0 ? " ..." : "");
  for (size_t i = from; i < to; ++i) std::fprintf(stderr, " %02X", static_cast<unsigned char>(bytes[i]));
  std::fprintf(stderr, "%s\n", to < bytes.size() ? " ..." : "");
}

// Prints two byte strings that should be equal from a little before where
// they first differ.
inline void print_difference(const char* label_a, const std::string& a, const char* label_b,
                             const std::string& b) {
  size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  std::fprintf(stderr, "  first difference at byte %zu\n", at);
  const size_t from = at > 16 ? at - 16 : 0;
  print_hex(label_a, a, from);
  print_hex(label_b, b, from);
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "\n*** kotran fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

#define KOTRAN_FUZZ_CHECK(cond, what) \
  do {                                \
    if (!(cond)) ::kotran::fuzz::fail(what); \
  } while (0)

struct RunResult {
  std::string output;
  int status = 0;
  size_t replaced = 0;        // characters the run had to replace
  bool settings_kept = true;  // the settings word was the same afterwards
};

// Runs converter number n over a memory input fed chunk bytes per fill,
// with the given settings word and choice of fast paths.
inline RunResult run_converter(unsigned n, const void* bytes, size_t size, Settings with, bool text,
                               size_t chunk, bool fast) {
  RunResult r;
  settings = with;
  converter_fast_paths = fast;
  const size_t replaced_before = replaced_characters;
  TextStream* in = open_memory_input(bytes, size, text, chunk);
  TextStream* out = open_memory_output(&r.output, text);
  KOTRAN_FUZZ_CHECK(in != nullptr && out != nullptr, "a memory stream could not be opened");
  r.status = converters[n](in, out);
  r.settings_kept = settings == with;
  r.replaced = replaced_characters - replaced_before;
  KOTRAN_FUZZ_CHECK(close_stream(in) == 0, "closing the memory input failed");
  KOTRAN_FUZZ_CHECK(close_stream(out) == 0, "closing the memory output failed");
  settings = 0;
  converter_fast_paths = true;
  return r;
}

// The bytes left in the stream, read one at a time to the end.
inline std::string read_rest(TextStream* s) {
  std::string rest;
  for (int c; (c = read_byte(s)) != EOF;) rest += static_cast<char>(c);
  return rest;
}

}  // namespace kotran::fuzz
