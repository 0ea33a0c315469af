// Runs one of the converters over arbitrary bytes.
//
// Input: two parameter bytes, then the text.
//   byte 0, bits 0-3, with byte 1 bit 6 as bit 4: converter number (modulo
//                     their count), source * 5 + target (0 Shift-JIS, 1 JIS,
//                     2 EUC, 3 UTF-8, 4 UTF-16)
//           bit 4:    half-width katakana become full-width (-f)
//           bit 5:    JIS escape variant 3 (kanji-in ESC $ @) instead of 0
//           bit 6:    text mode (CR LF folded and 0x1A ends the input on the
//                     way in, LF written as CR LF) instead of raw bytes
//           bit 7:    in text mode, the conversion handles line ends itself
//                     for every path (CR LF going through as it stands)
//   byte 1, bit 5:    -l: line ends written as LF alone
//           bit 6:    bit 4 of the converter number
//           bit 7:    blocks of 4096 bytes; otherwise bits 0-4 + 1 bytes per
//                     block fill (1-32), so that block edges fall anywhere
//
// Checks, besides the sanitizers: each path (and with line ends kept, the
// byte loop too) writes exactly what the byte loop over translating streams
// writes and counts the same replacements; where the blocks end makes no
// difference to the output; the output stays within 8 bytes per input byte
// (plus 16 for a closing escape sequence); first_problem, which --strict
// asks, finds a place wherever the converter replaced a character.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "convert/first_problem.h"
#include "fuzz_common.h"

using namespace kotran;
using namespace kotran::fuzz;

namespace {

void report(unsigned n, const ConvertOptions& with, bool text, size_t chunk, const char* what, const std::string& a,
            const std::string& b) {
  std::fprintf(stderr, "%s path %d widen %d variant %u -l %d text %d chunk %zu: %s\n", converter_number_name(n),
               static_cast<int>(with.path), with.widen ? 1 : 0, unsigned{with.jis_variant}, with.lf_only ? 1 : 0,
               text ? 1 : 0, chunk, what);
  print_difference("  first ", a, "  second", b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned n = ((data[0] & 0x0F) | (data[1] & 0x40) >> 2) % CONVERTER_COUNT;
  ConvertOptions with;
  with.widen = (data[0] & 0x10) != 0;
  with.jis_variant = (data[0] & 0x20) != 0 ? 3 : 0;
  with.lf_only = (data[1] & 0x20) != 0;
  const bool text = (data[0] & 0x40) != 0;
  const bool kept = text && (data[0] & 0x80) != 0;
  const size_t chunk = (data[1] & 0x80) != 0 ? BLOCK_SIZE : (data[1] & 0x1F) + 1u;
  const uint8_t* body = data + 2;
  const size_t length = size - 2;

  with.path = Path::scalar;
  const RunResult plain = run_converter(n, body, length, with, text, chunk);
  RunResult fast;
  for (const Path path : PATHS) {
    if ((path == Path::scalar && !kept) || !path_available(path)) continue;
    with.path = path;
    fast = run_converter(n, body, length, with, text, chunk, kept);
    if (fast.output != plain.output) {
      report(n, with, text, chunk, "a fast path and the byte loop differ", fast.output, plain.output);
      fail("a fast path and the byte loop wrote different bytes");
    }
    KOTRAN_FUZZ_CHECK(fast.found.replaced == plain.found.replaced,
                      "a fast path and the byte loop counted different replacements");
  }
  KOTRAN_FUZZ_CHECK(fast.output.size() <= 8 * length + 16, "the output grew past 8 bytes per input byte");
  {
    TextStream* in = open_memory_input(body, length, text, chunk);
    if (kept) stream_keep_line_ends(in);
    const TextPlace place = first_problem(in, code_at(n / CODE_COUNT), code_at(n % CODE_COUNT), with);
    close_stream(in);
    KOTRAN_FUZZ_CHECK(place || plain.found.replaced == 0, "the converter replaced a character where --strict finds none");
  }

  if (chunk != BLOCK_SIZE) {
    with.path = Path::scalar;
    const RunResult whole = run_converter(n, body, length, with, text, BLOCK_SIZE);
    if (whole.output != plain.output) {
      report(n, with, text, chunk, "small blocks and whole blocks differ", plain.output, whole.output);
      fail("the output depends on where the input blocks end");
    }
  }
  return 0;
}
