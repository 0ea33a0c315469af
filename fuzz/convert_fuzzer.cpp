// Runs one of the 16 converters over arbitrary bytes.
//
// Input: two parameter bytes, then the text.
//   byte 0, bits 0-3: converter number, source * 4 + target (0 Shift-JIS,
//                     1 JIS, 2 EUC, 3 UTF-8)
//           bit 4:    half-width katakana become full-width (-f)
//           bit 5:    JIS escape variant 3 (kanji-in ESC $ @) instead of 0
//           bit 6:    text mode (CR LF folded and 0x1A ends the input on the
//                     way in, LF written as CR LF) instead of raw bytes
//   byte 1, bit 7:    blocks of 4096 bytes; otherwise bits 0-5 + 1 bytes per
//                     block fill (1-64), so that block edges fall anywhere
//
// Checks, besides the sanitizers: the converter returns 1 and leaves the
// settings word alone; the bulk fast paths write exactly what the plain byte
// loop writes and count the same replacements; where the blocks end makes no
// difference to the output; the output stays within 8 bytes per input byte
// (plus 16 for a closing escape sequence).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz_common.h"

using namespace kotran;
using namespace kotran::fuzz;

namespace {

void report(unsigned n, Settings with, bool text, size_t chunk, const char* what, const std::string& a,
            const std::string& b) {
  std::fprintf(stderr, "convert_%s settings 0x%03X text %d chunk %zu: %s\n", converter_names[n],
               static_cast<unsigned>(with), text ? 1 : 0, chunk, what);
  print_difference("  first ", a, "  second", b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned n = data[0] & 0x0F;
  Settings with = 0;
  if ((data[0] & 0x10) != 0) with |= TO_FULLWIDTH;
  if ((data[0] & 0x20) != 0) with |= 0x30;
  const bool text = (data[0] & 0x40) != 0;
  const size_t chunk = (data[1] & 0x80) != 0 ? BLOCK_SIZE : (data[1] & 0x3F) + 1u;
  const uint8_t* body = data + 2;
  const size_t length = size - 2;

  const RunResult fast = run_converter(n, body, length, with, text, chunk, true);
  const RunResult plain = run_converter(n, body, length, with, text, chunk, false);

  KOTRAN_FUZZ_CHECK(fast.status == 1 && plain.status == 1, "the converter did not return 1");
  KOTRAN_FUZZ_CHECK(fast.settings_kept && plain.settings_kept, "the converter changed the settings word");
  if (fast.output != plain.output) {
    report(n, with, text, chunk, "fast paths and the plain loop differ", fast.output, plain.output);
    fail("fast paths and the plain byte loop wrote different bytes");
  }
  KOTRAN_FUZZ_CHECK(fast.replaced == plain.replaced,
                    "fast paths and the plain byte loop counted different replacements");
  KOTRAN_FUZZ_CHECK(fast.output.size() <= 8 * length + 16, "the output grew past 8 bytes per input byte");

  if (chunk != BLOCK_SIZE) {
    const RunResult whole = run_converter(n, body, length, with, text, BLOCK_SIZE, false);
    if (whole.output != plain.output) {
      report(n, with, text, chunk, "small blocks and whole blocks differ", plain.output, whole.output);
      fail("the output depends on where the input blocks end");
    }
  }
  return 0;
}
