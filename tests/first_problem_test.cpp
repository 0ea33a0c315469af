// The first place a conversion cannot carry over exactly: each row is the
// source, the target, the stored bytes and the place (line, column), or none.
#include <gtest/gtest.h>

#include <string>

#include "convert/first_problem.h"
#include "driver/convert_in_parts.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;

struct ProblemRow {
  const char* what;
  Code source, target;
  const char* bytes;
  int64_t line, column;  // 0, 0: none
};

constexpr Code SJIS = Code::sjis;
constexpr Code EUC = Code::euc;
constexpr Code JIS = Code::jis;
constexpr Code UTF8 = Code::utf8;
constexpr Code UTF16 = Code::utf16;
constexpr Code SJIS2004 = Code::sjis2004;
constexpr Code EUC2004 = Code::euc2004;

const ProblemRow ROWS[] = {
    {"plain text", SJIS, EUC, "82 A0 0A 61 8A BF B1 DE", 0, 0},
    {"an unassigned code on line 2", SJIS, EUC, "82 A0 0A 61 85 40", 2, 2},
    {"CR LF is one line end", SJIS, UTF8, "61 0D 0A 0D 0A 80", 3, 1},
    {"a lone CR is a character", SJIS, UTF8, "61 0D 80", 1, 3},
    {"a user-defined code", SJIS, EUC, "61 F0 40", 0, 0},
    {"a code past the IBM extensions", SJIS, EUC, "61 FC 4C", 1, 2},
    {"an IBM extension goes to EUC", SJIS, EUC, "FA 40 FB FC", 0, 0},
    {"a stray byte 0x80", SJIS, JIS, "61 80", 1, 2},
    {"a lead byte cut off at the end", SJIS, EUC, "61 62 82", 1, 3},
    {"a trail byte below 0x40", SJIS, UTF8, "81 21", 1, 1},
    {"Shift-JIS to itself, an unassigned code", SJIS, SJIS, "85 40", 1, 1},
    {"JIS X 0212 to Shift-JIS", EUC, SJIS, "A4 A2 8F B0 A1", 1, 2},
    {"JIS X 0212 that an IBM extension holds", EUC, SJIS, "8F B0 A9", 0, 0},
    {"JIS X 0212 to UTF-8 and JIS", EUC, UTF8, "8F B0 A1 8F AB A1", 0, 0},
    {"JIS X 0212 to JIS", EUC, JIS, "8F B0 A1", 0, 0},
    {"an unmapped JIS X 0212 code", EUC, UTF8, "8F A1 A1", 1, 1},
    {"SS2 before no katakana", EUC, SJIS, "8E 41", 1, 1},
    {"an EUC pair cut off", EUC, UTF8, "61 A4", 1, 2},
    {"a character Shift-JIS lacks", UTF8, SJIS, "61 E4 B8 82", 1, 2},
    {"the same in EUC, after SS3", UTF8, EUC, "61 E4 B8 82", 0, 0},
    {"an emoji in EUC", UTF8, EUC, "0A F0 9F 98 80", 2, 1},
    {"the JIS forms read", UTF8, SJIS, "E3 80 9C E2 80 94 C2 A5", 0, 0},
    {"invalid UTF-8", UTF8, UTF8, "61 FF 62", 1, 2},
    {"UTF-8 cut inside its last character", UTF8, EUC, "E3 81 82 E3 81", 1, 2},
    {"JIS X 0212 in JIS, to Shift-JIS", JIS, SJIS, "1B 24 42 30 21 0A 1B 24 28 44 30 21 1B 28 42", 2, 1},
    {"an escape of no set", JIS, EUC, "61 1B 4B 61", 1, 2},
    {"a first byte cut off in kanji text", JIS, SJIS, "1B 24 42 30", 1, 1},
    {"katakana in JIS", JIS, UTF8, "1B 28 49 31 32 1B 28 42", 0, 0},
    {"UTF-16: CR LF a line end, an emoji Shift-JIS lacks", UTF16, SJIS, "FF FE 61 00 0D 00 0A 00 3D D8 00 DE", 2, 1},
    {"UTF-16: a lone surrogate", UTF16, UTF8, "FF FE 61 00 00 DC", 1, 2},
    {"UTF-16: a byte alone at the end", UTF16, UTF8, "FF FE 61 00 62", 1, 2},
    {"to UTF-16: everything UTF-16 holds", UTF8, UTF16, "F0 9F 98 80", 0, 0},
    {"JIS X 0213 plane 2 and a base with its mark to UTF-8", SJIS2004, UTF8, "F0 40 82 F5", 0, 0},
    {"JIS X 0213 plane 2 that Shift-JIS lacks", SJIS2004, SJIS, "82 A0 F0 40", 1, 2},
    {"JIS X 0213 plane 2 that EUC holds in JIS X 0212", SJIS2004, EUC, "F0 41", 0, 0},
    {"a base with its mark that EUC lacks", EUC2004, EUC, "61 A4 F7", 1, 2},
    {"an unassigned JIS X 0213 cell", EUC2004, SJIS2004, "A4 FC", 1, 1},
    {"JIS X 0212 in EUC-JIS-2004 that Shift_JIS-2004 lacks", EUC2004, SJIS2004, "8F A1 A1 8F B0 A2", 1, 2},
    {"a base and its mark from UTF-8", UTF8, SJIS2004, "E3 81 8B E3 82 9A", 0, 0},
    {"a mark after no base", UTF8, SJIS2004, "E3 81 82 E3 82 9A", 1, 2},
    {"a mark after a line end", UTF8, EUC2004, "E3 81 8B 0A E3 82 9A", 2, 1},
    {"NEC row 13 and an IBM extension into JIS X 0213", SJIS, SJIS2004, "87 40 FA 40", 0, 0},
    {"ISO-2022-JP-2004 plane 2 that JIS lacks", Code::jis2004, JIS, "1B 24 28 51 2D 21 1B 24 28 50 21 21 1B 28 42", 1, 2},
    {"JIS X 0212 that ISO-2022-JP-2004 lacks", EUC, Code::jis2004, "8F B0 A1 8F B0 A2", 1, 2},
    {"a base and its mark into ISO-2022-JP-2004", UTF8, Code::jis2004, "E3 81 8B E3 82 9A C2 A5", 0, 0},
    {"a user-defined character JIS X 0213 lacks", EUC, EUC2004, "F5 A1", 1, 1},
    {"JIS X 0212 kept in EUC-JIS-2004, lacked in Shift_JIS-2004", EUC, EUC2004, "8F B0 A2", 0, 0},
};

TEST(FirstProblem, Rows) {
  for (const ProblemRow& r : ROWS) {
    const std::string bytes = hex(r.bytes);
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, BLOCK_SIZE}) {
      TextStream* in = open_memory_input(bytes.data(), bytes.size(), true, chunk);
      const TextPlace place = first_problem(in, r.source, r.target, ConvertOptions{});
      close_stream(in);
      EXPECT_EQ(place.line, r.line) << r.what << " chunk " << chunk;
      EXPECT_EQ(place.column, r.column) << r.what << " chunk " << chunk;
    }
    // As the command line searches: in parts of blocks this small, cut
    // inside lines, pairs and escape sequences.
    for (size_t block : {size_t{4}, size_t{5}, size_t{8}, BLOCK_SIZE}) {
      TextStream* in = open_memory_stream(true, block);
      reset_memory_input(in, bytes.data(), bytes.size(), true);
      const TextPlace place = first_problem_in_parts(in, r.source, r.target, ConvertOptions{});
      close_stream(in);
      EXPECT_EQ(place, (TextPlace{r.line, r.column})) << r.what << " in blocks of " << block;
    }
  }
}

}  // namespace
}  // namespace kotran
