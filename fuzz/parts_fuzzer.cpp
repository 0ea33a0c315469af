// Converts arbitrary bytes whole and in parts, and checks that the parts
// give the bytes of the whole.
//
// Input: four parameter bytes, then the text.
//   byte 0:        source * 5 + target, modulo 25 (0 Shift-JIS, 1 JIS,
//                  2 EUC, 3 UTF-8, 4 UTF-16)
//   byte 1, bit 0: -f (only where no line is longer than a part: a line
//                  cut in two may part a katakana from its voiced mark)
//           bit 1: -l
//           bit 2: JIS escape variant 3 (kanji-in ESC $ @)
//           bit 3: strict
//   byte 2:        bytes of a part at most, 16 + byte 2 (lines longer are
//                  cut where they can be)
//   byte 3:        bytes handed over a call, 1 + byte 3 % 64; rooms of
//                  1 + byte 3 / 4 bytes
//
// Checks, besides the sanitizers: the same status, the same bytes, the
// same count of replaced characters and a character cut at the end, where
// no part had to be cut blind (see PartConverter::blind_cuts).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "library/memory_conversion.h"

using namespace kotran;
using namespace kotran::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  MemoryOptions options;
  options.recognise = false;
  options.source = code_at((data[0] % 25) / CODE_COUNT);
  options.target = code_at(data[0] % CODE_COUNT);
  options.convert.widen = (data[1] & 1) != 0;
  options.convert.lf_only = (data[1] & 2) != 0;
  options.convert.jis_variant = (data[1] & 4) != 0 ? 3 : 0;
  options.strict = (data[1] & 8) != 0;
  options.part_size = 16 + data[2];
  const size_t step = 1 + data[3] % 64;
  const size_t room_size = 1 + data[3] / 4;
  const uint8_t* text = data + 4;
  const size_t length = size - 4;
  // A widened katakana may part from its mark where a line is cut.
  if (options.convert.widen) {
    if (options.source == Code::utf16 && length + 4 >= options.part_size) return 0;
    size_t line = 0;
    for (size_t i = 0; i < length; ++i) {
      line = text[i] == '\n' ? 0 : line + 1;
      if (line + 4 >= options.part_size) return 0;
    }
  }

  std::string whole(worst_output(options.source, options.target, length), '\0');
  size_t written = 0;
  MemoryReport whole_report;
  const MemoryStatus whole_status =
      convert_memory(options, text, length, whole.data(), whole.size(), written, whole_report);
  whole.resize(written);

  PartConverter parts(options);
  std::string out, room(room_size, '\0');
  MemoryStatus status = MemoryStatus::done;
  size_t at = 0;
  while (at < length && status == MemoryStatus::done) {
    const size_t n = std::min(step, length - at);
    size_t taken = 0;
    do {
      size_t read = 0;
      status = parts.convert(text + at + taken, n - taken, read, room.data(), room.size(), written);
      out.append(room, 0, written);
      taken += read;
    } while (status == MemoryStatus::need_room);
    at += taken;
  }
  if (status == MemoryStatus::done) {
    do {
      status = parts.finish(room.data(), room.size(), written);
      out.append(room, 0, written);
    } while (status == MemoryStatus::need_room);
  }
  // Malformed text all through a line longer than a part is cut where the
  // part is full: the parts promise nothing there.
  if (parts.blind_cuts() > 0) return 0;
  KOTRAN_FUZZ_CHECK(status == whole_status, "in parts the conversion ended otherwise than whole");
  if (status != MemoryStatus::done) return 0;
  if (out != whole) {
    print_difference("  parts", out, "  whole", whole);
    fail("the parts gave other bytes than the whole text");
  }
  KOTRAN_FUZZ_CHECK(parts.report().replaced == whole_report.replaced, "the parts counted other replacements");
  KOTRAN_FUZZ_CHECK(parts.report().cut_at_end == whole_report.cut_at_end, "the parts ended otherwise");
  return 0;
}
