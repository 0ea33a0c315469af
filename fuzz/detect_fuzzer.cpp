// Recognition of the code (detect_code's first opinion, and recognise_code's
// decision by evidence) on arbitrary bytes, read through a text-mode memory
// stream.
//
// Input: one parameter byte, then the text.
//   byte 0: below 0xC0, (byte % 64) + 1 bytes per block fill (1-64); from
//           0xC0 up, blocks of 4096 bytes
//
// Checks, besides the sanitizers: detect_code never answers UTF-8, and unreadable only with a
// read error; both leave the stream where it was, so that reading on gives
// every byte a fresh stream gives; neither answer depends on where the blocks
// end, on which of the two ran first, or on the path (byte loop, words,
// vectors); the text-mode reading itself does not depend on where the blocks
// end; recognise_code answers UTF-8 for a text that begins with the
// byte-order mark, or is valid UTF-8 throughout (its last character may be
// cut), holds no escape and has a character of three or four bytes, and
// answers ASCII exactly for a text of 7-bit bytes and no escape; a text
// without a byte-order mark that holds a NUL among its first 64 KiB as
// stored (past a 0x1A too) is binary, and nothing else is called binary but
// one that begins with a binary format's signature; a text that is not
// Japanese has 8-bit bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "recognition/detect_code.h"
#include "recognition/first_block.h"
#include "recognition/recognise.h"
#include "fuzz_common.h"

using namespace kotran;
using namespace kotran::fuzz;

namespace {

// Whether the len bytes at q (fewer than a whole character) can begin one.
bool begins_character(const unsigned char* q, size_t len) {
  const unsigned b = q[0];
  if (b < 0xC2 || b > 0xF4) return false;
  unsigned low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
  unsigned high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
  for (size_t k = 1; k < len; ++k) {
    if (q[k] < low || q[k] > high) return false;
    low = 0x80;
    high = 0xBF;
  }
  return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF; the
// last character may be cut. Sets long_seen when a character of three or
// four bytes was met.
bool valid_utf8(const std::string& text, bool& long_seen) {
  long_seen = false;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    size_t more;
    char32_t u, min;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      more = 1, u = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      more = 2, u = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      more = 3, u = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (n - i <= more) return begins_character(p + i, n - i);
    for (size_t k = 1; k <= more; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      u = (u << 6) | (p[i + k] & 0x3F);
    }
    if (u < min || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
    if (more >= 2) long_seen = true;
    i += more + 1;
  }
  return true;
}

std::string read_all(const uint8_t* bytes, size_t size, size_t chunk) {
  TextStream* s = open_memory_input(bytes, size, true, chunk);
  KOTRAN_FUZZ_CHECK(s != nullptr, "a memory stream could not be opened");
  std::string all = read_rest(s);
  close_stream(s);
  return all;
}

struct Answers {
  Recognised code;
  Recognition recognition;
  std::string rest;  // what reading on from the start gave afterwards
};

// Asks both questions of one fresh stream, in the order given, checking that
// each leaves the stream where it was, then reads the rest.
Answers ask(const uint8_t* bytes, size_t size, size_t chunk, bool code_first, Path path = fastest_path()) {
  TextStream* s = open_memory_input(bytes, size, true, chunk);
  KOTRAN_FUZZ_CHECK(s != nullptr, "a memory stream could not be opened");
  const int64_t start = stream_tell(s);
  Answers a{};
  for (int step = 0; step < 2; ++step) {
    if ((step == 0) == code_first) {
      a.code = detect_code(s, path);
      KOTRAN_FUZZ_CHECK(a.code != Recognised::utf8, "detect_code answered UTF-8, which it never decides");
      KOTRAN_FUZZ_CHECK(a.code != Recognised::unreadable || stream_error(s), "detect_code failed on a stream that did not");
      KOTRAN_FUZZ_CHECK(stream_tell(s) == start, "detect_code did not return the stream to its position");
    } else {
      a.recognition = recognise_code(s, path);
      KOTRAN_FUZZ_CHECK(a.recognition.code != Recognised::unreadable || stream_error(s),
                        "recognise_code failed on a stream that did not");
      KOTRAN_FUZZ_CHECK(stream_tell(s) == start, "recognise_code did not return the stream to its position");
    }
  }
  a.rest = read_rest(s);
  close_stream(s);
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = data[0] >= 0xC0 ? BLOCK_SIZE : data[0] % 64 + 1u;
  const uint8_t* body = data + 1;
  const size_t length = size - 1;

  const std::string text = read_all(body, length, chunk);
  KOTRAN_FUZZ_CHECK(text == read_all(body, length, BLOCK_SIZE),
                    "text-mode reading depends on where the blocks end");

  const Answers first = ask(body, length, chunk, true);
  KOTRAN_FUZZ_CHECK(first.rest == text, "after detection the stream did not give back every byte");
  const Answers second = ask(body, length, BLOCK_SIZE, false);
  KOTRAN_FUZZ_CHECK(second.rest == text, "after detection the stream did not give back every byte");
  KOTRAN_FUZZ_CHECK(first.code == second.code, "detect_code depends on block edges or on the order of the questions");
  KOTRAN_FUZZ_CHECK(first.recognition == second.recognition,
                    "recognise_code depends on block edges or on the order of the questions");
  for (Path path : PATHS) {
    if (!path_available(path)) continue;
    const Answers other = ask(body, length, chunk, true, path);
    KOTRAN_FUZZ_CHECK(other.code == first.code, "detect_code decides otherwise on another path");
    KOTRAN_FUZZ_CHECK(other.recognition == first.recognition, "recognise_code decides otherwise on another path");
  }

  // Binary by the stored bytes: the text-mode reading ends at a 0x1A.
  const bool mark = text.compare(0, 3, "\xEF\xBB\xBF") == 0 || text.compare(0, 2, "\xFF\xFE") == 0 ||
                    text.compare(0, 2, "\xFE\xFF") == 0;
  const size_t first_block = std::min(length, FIRST_BLOCK);
  const bool nul = std::find(body, body + first_block, 0) != body + first_block;
  const bool binary = first.recognition.foreign == Foreign::binary;
  const bool unmarked_utf16 = first.recognition.code == Recognised::utf16 && first.recognition.order != ByteOrder::marked;
  if (!mark && nul) KOTRAN_FUZZ_CHECK(binary || unmarked_utf16, "a NUL in the first block was not called binary");
  if (unmarked_utf16) {
    KOTRAN_FUZZ_CHECK(!mark, "UTF-16 without a mark recognised in a text with a mark");
    // Without a NUL, only where no code reads the text (or Shift-JIS alone, as
    // katakana alone against ASCII letters), and never as certain.
    if (!nul)
      KOTRAN_FUZZ_CHECK(first.recognition.certainty != Certainty::certain,
                        "UTF-16 without a mark or a NUL called certain");
    return 0;
  }
  if (binary) {
    KOTRAN_FUZZ_CHECK(!mark && (nul || binary_start(body, first_block)), "called binary without a NUL or a signature");
    return 0;
  }
  const bool seven_bit_stored = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (first.recognition.code == Recognised::not_japanese)
    KOTRAN_FUZZ_CHECK(!seven_bit_stored, "a text of 7-bit bytes called not Japanese");

  bool long_seen = false;
  const bool escape = text.find('\x1B') != std::string::npos;
  const bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (bom || (!escape && valid_utf8(text, long_seen) && long_seen))
    KOTRAN_FUZZ_CHECK(first.recognition.code == Recognised::utf8, "valid UTF-8 text was not recognised as UTF-8");
  const bool seven_bit = seven_bit_stored;
  if (!escape)
    KOTRAN_FUZZ_CHECK((first.recognition.code == Recognised::ascii) == seven_bit,
                      "ASCII answered for a text with 8-bit bytes, or not for one without");
  return 0;
}
