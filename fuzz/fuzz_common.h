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
#include "stream/text_stream.h"

namespace kotran::fuzz {

// Converter number source * CODE_COUNT + target, from the list of codes.
inline constexpr unsigned CONVERTER_COUNT = CODE_COUNT * CODE_COUNT;
inline Converter converter_number(unsigned n) { return converter(code_at(n / CODE_COUNT), code_at(n % CODE_COUNT)); }
inline const char* converter_number_name(unsigned n) {
  return converter_name(code_at(n / CODE_COUNT), code_at(n % CODE_COUNT));
}

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
  ConversionResult found;
};

// Runs converter number n over a memory input fed chunk bytes per fill,
// with the given options, the output as kotran's for the target (LF alone
// where they say -l). With kept set, the conversion handles line ends itself
// (stream_keep_line_ends).
inline RunResult run_converter(unsigned n, const void* bytes, size_t size, const ConvertOptions& with, bool text,
                               size_t chunk, bool kept = false) {
  RunResult r;
  TextStream* in = open_memory_input(bytes, size, text, chunk);
  // As kotran writes it: UTF-16 output writes its own line ends.
  TextStream* out = open_memory_output(&r.output, text && code_at(n % CODE_COUNT) != Code::utf16);
  KOTRAN_FUZZ_CHECK(in != nullptr && out != nullptr, "a memory stream could not be opened");
  out->lf_only = with.lf_only;
  if (kept)
    KOTRAN_FUZZ_CHECK(stream_keep_line_ends(in) == 0 && stream_keep_line_ends(out) == 0,
                      "a new memory stream would not keep line ends");
  r.found = converter_number(n)(in, out, with);
  KOTRAN_FUZZ_CHECK(close_stream(in) == 0, "closing the memory input failed");
  KOTRAN_FUZZ_CHECK(close_stream(out) == 0, "closing the memory output failed");
  return r;
}

// The bytes left in the stream, read one at a time to the end.
inline std::string read_rest(TextStream* s) {
  std::string rest;
  for (int c; (c = read_byte(s)) != EOF;) rest += static_cast<char>(c);
  return rest;
}

}  // namespace kotran::fuzz
