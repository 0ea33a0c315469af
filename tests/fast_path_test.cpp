// The tight loops and the vector steps must write exactly what the plain
// byte loop writes, for every converter, on random input and on real text,
// wherever the blocks end.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/converters.h"
#include "convert/line_end_setting.h"
#include "driver/convert_in_parts.h"
#include "test_util.h"

using kotran::test::to_hex;

namespace kotran {
namespace {

// Who translates line ends: the streams (the reference), or the conversion
// itself, CR LF going through as it stands (as kotran converts a file).
enum class LineEnds { streams, kept };

// Runs the converter over text-mode memory streams fed chunk bytes at a time,
// with standard output's settings for the target: -l (with.lf_only) writes
// LF alone, and UTF-16 writes its own line ends. The count of characters
// replaced, where asked for, goes to replaced.
std::string run(Converter c, Code target, const std::string& input, ConvertOptions with, Path path, size_t chunk,
                LineEnds line_ends = LineEnds::streams, uint64_t* replaced = nullptr) {
  with.path = path;
  std::string output;
  TextStream* in = open_memory_input(input.data(), input.size(), true, chunk);
  TextStream* out = open_memory_output(&output, target != Code::utf16);
  out->lf_only = with.lf_only;
  if (line_ends == LineEnds::kept) {
    EXPECT_EQ(stream_keep_line_ends(in), 0);
    EXPECT_EQ(stream_keep_line_ends(out), 0);
  }
  const ConversionResult found = c(in, out, with);
  if (replaced != nullptr) *replaced = found.replaced;
  close_stream(in);
  close_stream(out);
  return output;
}

// As the command line converts a file: the line ends as the target and -l
// set them, and the text read in blocks of `block` bytes, chunk bytes a
// read, each block handed to the converter in parts.
std::string run_in_parts(Converter c, Code source, Code target, const std::string& input, ConvertOptions with,
                         Path path, size_t chunk, size_t block, uint64_t* replaced) {
  with.path = path;
  std::string output;
  TextStream* in = open_memory_stream(true, block);
  reset_memory_input(in, input.data(), input.size(), true);
  in->mem_chunk = chunk;
  TextStream* out = open_memory_output(&output, true);
  const LineEndSetting setting = line_end_setting(target, with.lf_only);
  carry_line_ends(in, setting);
  set_output_line_ends(out, setting);
  EXPECT_EQ(follow_line_ends(out, in), 0);
  *replaced = convert_in_parts(in, out, c, source, with).replaced;
  close_stream(in);
  close_stream(out);
  return output;
}

// Every converter, each path the processor can take (the byte loop too).
// To and from the JIS X 0213 codes every path is the byte loop itself: the
// byte loop alone is asked (still against the whole text, in parts).
template <class Check>
void for_each_converter_and_path(Check check) {
  for (size_t s = 0; s < CODE_COUNT; ++s)
    for (size_t t = 0; t < CODE_COUNT; ++t)
      for (const Path path : PATHS) {
        const bool one_loop = is_x0213(code_at(s)) || is_x0213(code_at(t));
        if (test::path_taken(path) && (path == Path::scalar || !one_loop)) check(code_at(s), code_at(t), path);
      }
}

// Text made of the pieces the fast paths look for (long ASCII runs, runs of
// pairs in every code, escapes) and the bytes that break them.
std::string random_text(std::mt19937& rng, size_t size) {
  const char* const pieces[] = {
      "The quick brown fox jumps\r\n", "abcdefghijklmnop", "\x1B$B4A;z\x1B(B", "\x1B(I1\x1B(J", "\x1B$@0!\x1B(B",
      "\x8A\xBF\x8E\x9A\x82\xA0", "\xB4\xC1\xBB\xFA\xA4\xA2", "\x8E\xB1\x8E\xDE", "\xE6\xBC\xA2\xE5\xAD\x97",
      "\xEF\xBD\xB6\xEF\xBE\x9E", "\r\n", "\n", "\r", "\x0E\x0F", "\xFF", "\x80", "\xA0",
      // Line ends where a first byte or an escape waits, and doubled CRs.
      "\x81\r\n", "\xA4\r\n", "\x8E\r\n", "\x1B$B\r\n", "\x1B$B4\r\n", "\r\r\n", "\n\r",
      // A CR and an LF apart, with an escape sequence between them that
      // goes out as nothing: the LF is lone.
      "\r\x1B(B\n",
      "abcdefg\r\nabcdefghijklmnopqrstuvwx\r\n", "abcdefghijklmnopqrstuvwxyz01234\r\n\n",
      // Pairs whose UTF-8 is not three bytes (Greek, a multiplication sign),
      // codes with no character, and a wave dash, which has two forms.
      "\x83\x9F\x81\x7E\x85\x40\x81\x60", "\xA6\xC1\xA1\xDF\xA9\xA1\xA1\xC1",
      // UTF-8 at the edges of its forms: overlong, the first and last of
      // three bytes, surrogates and the character before them.
      "\xE0\xA0\x80\xE0\x9F\xBF\xED\x9F\xBF\xED\xA0\x80\xEF\xBF\xBF", "\xC1\xBF\xC2\xA7\xC2\x80\xDF\xBF",
      // Mixed UTF-8 as real text has it: ASCII, two-byte forms that have a
      // code (Greek, a multiplication sign, Cyrillic) and ones that have none
      // (a yen sign, a C1 control), kanji, an overline, a user-defined
      // character (row 85).
      "\xCE\xB1\xC3\x97\xE6\xBC\xA2 ab\xC2\xA7\xE3\x81\x8B\xC2\xA5\xC2\x85\xD0\x96 \xE2\x80\xBE~\xEE\x80\x80x\r\n",
      // A run of three-byte UTF-8 longer than a vector takes, then what ends
      // such a run: a user-defined character (row 85), row 89, no code, an
      // overlong form of a character that has one, a half-width katakana,
      // row 92, a surrogate, four-byte forms (one beyond U+10FFFF).
      "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA\xE5\xA4\x89\xE6\x8F\x9B\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA\xE5\xA4\x89\xE6\x8F\x9B\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA\xE5\xA4\x89\xE6\x8F\x9B\xEE\x80\x80\xE2\x91\xA0\xE7\xBA\x8A\xE4\xB8\x82\xE0\x82\xA7\xEF\xBD\xB6\xE9\xBB\x91\xE6\xBC\xA2\xE5\xAD\x97\xED\xA0\x80\xE3\x81\x8B\xE3\x81\xAA\xF4\xB8\x80\x80\xF0\x9F\x98\x80",
      // JIS kanji text with a pair of row 85 (none in Shift-JIS's
      // arithmetic rows), and an escape sequence the whole blocks do not
      // take (JIS X 0212).
      "\x1B$B0!t&u!0\"\x1B(B", "\x1B$(D0!\x1B(B",
      // Runs of half-width katakana longer than the takes store at once.
      "\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8",
      "\x8E\xB1\x8E\xB2\x8E\xB3\x8E\xB4\x8E\xB5\x8E\xB6\x8E\xB7\x8E\xB8\x8E\xB9\x8E\xBA\x8E\xBB\x8E\xBC\x8E\xBD\x8E\xBE\x8E\xBF\x8E\xC0\x8E\xC1\x8E\xC2\x8E\xC3\x8E\xC4\x8E\xC5\x8E\xC6\x8E\xC7\x8E\xC8\x8E\xC9\x8E\xCA\x8E\xCB\x8E\xCC\x8E\xCD\x8E\xCE\x8E\xCF\x8E\xD0\x8E\xD1\x8E\xD2\x8E\xD3\x8E\xD4",
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) + 3);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text;
  while (text.size() < size) {
    const size_t p = pick(rng);
    if (p < std::size(pieces))
      text += pieces[p];
    else if (const char b = static_cast<char>(byte(rng)); b != 0x1A)  // which would end the text
      text += b;
  }
  return text;
}

// Each path, with the streams translating line ends and with the conversion
// keeping them, writes what the byte loop writes over translating streams.
TEST(FastPath, AgreesWithThePlainLoopOnRandomText) {
  std::mt19937 rng(20261207);
  const ConvertOptions variants[] = {{},
                                     {.widen = true},
                                     {.jis_variant = 3},
                                     {.widen = true, .jis_variant = 3, .lf_only = true},
                                     {.lf_only = true},
                                     {.jis_forms = true},
                                     {.jis_variant = 4}};  // designations of two bytes (ESC K, ESC H)
  // Under the sanitizers, which run every step twenty times slower, and on
  // an emulated processor, eight rounds: each place of the mark still
  // comes up twice, and eight chunk sizes (and half the option sets at the
  // block edges below).
#if defined(__SANITIZE_ADDRESS__) || defined(KOTRAN_TESTS_EMULATED)
  constexpr int rounds = 8;
#else
  constexpr int rounds = 28;
#endif
  for (int round = 0; round < rounds; ++round) {
    std::string text = random_text(rng, 3000 + static_cast<size_t>(round) * 50);
    if (round % 4 == 1) text += "\r\x1A\n";  // a CR before the mark that ends the text
    if (round % 4 == 3) text[text.size() / 2] = '\x1A';  // a mark amid the text
    const size_t chunk = static_cast<size_t>(1 + round % 13) * (round % 2 == 0 ? 1 : 97);
    // The byte loop's output for each option set, made once a converter and
    // asked of every path.
    std::string references[std::size(variants)];
    uint64_t references_replaced[std::size(variants)];
    std::pair<Code, Code> referenced{};
    bool any_referenced = false;
    for_each_converter_and_path([&](Code source, Code target, Path path) {
      const Converter c = converter(source, target);
      if (!any_referenced || referenced != std::pair(source, target)) {
        for (size_t v = 0; v < std::size(variants); ++v)
          references[v] = run(c, target, text, variants[v], Path::scalar, chunk, LineEnds::streams,
                              &references_replaced[v]);
        referenced = {source, target};
        any_referenced = true;
      }
      for (size_t v = 0; v < std::size(variants); ++v) {
        const ConvertOptions& o = variants[v];
        const uint64_t reference_replaced = references_replaced[v];
        const std::string& reference = references[v];
        for (const LineEnds line_ends : {LineEnds::streams, LineEnds::kept}) {
          if (path == Path::scalar && line_ends == LineEnds::streams) continue;  // the reference itself
          uint64_t replaced = 0;
          ASSERT_EQ(to_hex(run(c, target, text, o, path, chunk, line_ends, &replaced)), to_hex(reference))
              << converter_name(source, target) << " path " << path_name(path) << " widen " << o.widen
              << " variant " << int(o.jis_variant) << " -l " << o.lf_only << " forms " << o.jis_forms << " kept "
              << (line_ends == LineEnds::kept) << " round " << round;
          ASSERT_EQ(replaced, reference_replaced) << converter_name(source, target) << " path " << path_name(path);
        }
        // In parts cut from blocks of 64 to 264 bytes: lines longer than a
        // block, and random bytes where no character surely ends. The parts
        // are the same on every path: the byte loop and the widest path
        // read them (each path's kernels meet block ends above).
        if (path != Path::scalar && path != fastest_path()) continue;
        uint64_t replaced = 0;
        const size_t block = 64 + static_cast<size_t>(round % 3) * 100;
        ASSERT_EQ(to_hex(run_in_parts(c, source, target, text, o, path, chunk, block, &replaced)), to_hex(reference))
            << converter_name(source, target) << " path " << path_name(path) << " widen " << o.widen << " variant "
            << int(o.jis_variant) << " -l " << o.lf_only << " forms " << o.jis_forms << " in parts of blocks of "
            << block << " round " << round;
        ASSERT_EQ(replaced, reference_replaced) << converter_name(source, target) << " path " << path_name(path);
      }
    });
  }
}

// Lines of pairs whose CR, LF, first byte or katakana falls on every place
// of a vector, in chunks that end the input anywhere: what the widest path
// carries from one block of 64 to the next.
TEST(FastPath, AgreesWithThePlainLoopAtBlockEdges) {
  // A pair of an even row and one of an odd row (whose second byte goes
  // into Shift-JIS below 0x80), katakana (ｱﾟ, one of each half of their
  // forms in UTF-8) and a first byte of Shift-JIS, and of EUC; each kept
  // and widened (-f).
  // JIS kanji text runs between its escapes, with a pair that has no
  // character (row 2, cell 15) where the others have a cut first byte.
  // UTF-8 has an odd row's kanji whose second byte into Shift-JIS takes one
  // more (時, cell 0x7E), a space and a half-width katakana, and a two-byte
  // form (Ж): each form across each edge of the blocks.
  const char* const pair_of[] = {"\x8A\xBF", "\xB4\xC1", "\x34\x41", "\xE6\x99\x82 \xEF\xBD\xB1"};
  const char* const odd_row_pair_of[] = {"\x8B\x40", "\xB5\xA1", "\x35\x21", "\xD0\x96"};
  const char* const kana_of[] = {"\xB1\xDF", "\x8E\xB1\x8E\xDF", "\x1B(I\x31\x5F", "\xEF\xBD\xB1\xEF\xBE\x9F"};
  const char* const first_of[] = {"\x8A", "\xB4", "\x22\x2F", "\xE6\x99"};
  for (const Code source : {Code::sjis, Code::euc, Code::jis, Code::utf8}) {
    const size_t at = source == Code::sjis ? 0 : source == Code::euc ? 1 : source == Code::jis ? 2 : 3;
    const bool jis = source == Code::jis;
    std::string text;
    for (int line = 0; line < 90; ++line) {
      text += std::string(static_cast<size_t>(line % 3), 'x');
      if (jis) text += "\x1B$B";
      for (int pair = 0; pair < 28 + line % 7; ++pair) text += (pair % 3 == 2 ? odd_row_pair_of : pair_of)[at];
      if (line % 4 == 1) text += first_of[at];  // with a CR or an LF for its second byte
      // A katakana's form cut before a letter whose low bits read as its last byte's would.
      if (line % 8 == 7 && source == Code::utf8) text += "\xEF\xBDq";
      // The other half's form cut so (q reads below its last byte's range),
      // and the first half's cut by a kana's first byte (above it).
      if (line % 8 == 3 && source == Code::utf8) text += "\xEF\xBEq\xEF\xBD\xE3\x81\x8B";
      if (line % 4 == 3 && jis) text += "\x30";  // a first byte cut by the escape after it
      if (line % 6 == 2 && jis) text += "\x75\x21\x1B$(D\x30\x21";  // row 85, then JIS X 0212's escape
      if (line % 6 == 2 && source == Code::utf8) text += "\xE7\xBA\x8A";  // row 89: past Shift-JIS's arithmetic
      // Two-byte forms alone, 32 a block: more than a block's written-out lookups.
      if (line % 6 == 5 && source == Code::utf8)
        for (int k = 0; k < 40; ++k) text += "\xD0\x96";
      if (line % 5 == 0) text += kana_of[at];
      if (jis) text += "\x1B(B";
      if (jis && line % 7 == 4)
        text += "\r\x1B(B\n";  // an escape sequence between a CR and an LF, which is lone
      else
        text += line % 5 != 0 && line % 3 == 0 ? "\n" : "\r\n";  // lone LFs in a third of the lines
    }
    // JIS katakana text of 20 bytes (the first and last katakana among
    // them) after kanji text, with nothing that stops the blocks: its
    // escape and its bytes on every place of a block, and across its edge.
    for (int line = 0; jis && line < 32; ++line) {
      text += "\x1B$B";
      for (int pair = 0; pair < line; ++pair) text += pair_of[at];
      text += "\x1B(I\x21\x5F\x36\x5E\x21\x5F\x36\x5E\x21\x5F\x36\x5E\x21\x5F\x36\x5E\x21\x5F\x36\x5E\x1B(B";
      text += std::string(static_cast<size_t>(line % 2), 'x') + "\r\n";
    }
    for_each_converter_and_path([&](Code from, Code target, Path path) {
      if (from != source || path == Path::scalar) return;
      const Converter c = converter(source, target);
      for (size_t chunk = 60; chunk <= 160; ++chunk)
        for (const ConvertOptions& o :
             {ConvertOptions{}, ConvertOptions{.lf_only = true}, ConvertOptions{.widen = true}}) {
#if defined(__SANITIZE_ADDRESS__) || defined(KOTRAN_TESTS_EMULATED)
          // Under the sanitizers and emulated, each chunk size with one of the three.
          if (static_cast<size_t>(o.lf_only + 2 * o.widen) != chunk % 3) continue;
#endif
          const std::string reference = run(c, target, text, o, Path::scalar, chunk);
          EXPECT_EQ(to_hex(run(c, target, text, o, path, chunk, LineEnds::kept)), to_hex(reference))
              << converter_name(source, target) << " " << path_name(path) << " chunk " << chunk << " -l "
              << o.lf_only << " -f " << o.widen;
        }
    });
  }
}

TEST(FastPath, AgreesWithThePlainLoopOnRealText) {
  // Real Japanese text in each code, long enough to fill several blocks.
  std::string sjis, euc, jis, utf8, sjis2004, euc2004, jis2004;
  const std::string line_utf8 = "日本語の文書を変換します。The text mixes ASCII words, 漢字 and かな.\r\n";
  for (int i = 0; i < 300; ++i) {
    sjis += test::hex("93 FA 96 7B 8C EA 82 CC 95 B6 8F 91 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    euc += test::hex("C6 FC CB DC B8 EC A4 CE CA B8 BD F1 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    jis += test::hex("1B 24 42 46 7C 4B 5C 38 6C 24 4E 4A 38 3D 71 1B 28 42 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    utf8 += line_utf8;
    // 日本語のか゚と𠀋①𠂉を変換: a base and its mark in one cell, plane 1
    // beyond JIS X 0208, plane 2.
    sjis2004 += test::hex("93 FA 96 7B 8C EA 82 CC 82 F5 82 C6 87 A0 87 40 F0 40 82 F0 95 CF 8A B7 20 61 62 63 64 65 "
                          "66 67 68 69 6A 6B 0D 0A");
    euc2004 += test::hex("C6 FC CB DC B8 EC A4 CE A4 F7 A4 C8 AE A2 AD A1 8F A1 A1 A4 F2 CA D1 B4 B9 20 61 62 63 64 "
                         "65 66 67 68 69 6A 6B 0D 0A");
    jis2004 += test::hex("1B 24 42 46 7C 4B 5C 38 6C 24 4E 1B 24 28 51 24 77 1B 24 42 24 48 1B 24 28 51 2E 22 2D 21 "
                         "1B 24 28 50 21 21 1B 24 42 24 72 4A 51 34 39 1B 28 42 20 61 62 63 64 65 66 67 68 69 6A 6B "
                         "0D 0A");
  }
  // UTF-16 as the UTF-8 text's characters, little-endian after the mark.
  std::string utf16 = test::hex("FF FE");
  for (size_t i = 0; i < utf8.size();) {
    char32_t u = static_cast<unsigned char>(utf8[i]);
    const int extra = u >= 0xE0 ? 2 : u >= 0xC0 ? 1 : 0;
    u &= extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0x7F;
    for (int k = 1; k <= extra; ++k) u = (u << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += extra + 1;
    utf16 += static_cast<char>(u & 0xFF);
    utf16 += static_cast<char>(u >> 8);
  }
  const std::string* input_for[] = {&sjis, &jis, &euc, &utf8, &utf16, &sjis2004, &euc2004, &jis2004};
  static_assert(std::size(input_for) == CODE_COUNT);
  for_each_converter_and_path([&](Code source, Code target, Path path) {
    const std::string& text = *input_for[index_of(source)];
    const Converter c = converter(source, target);
    for (size_t chunk : {1u, 7u, 4096u}) {
      for (const bool widen : {false, true}) {
        const std::string reference = run(c, target, text, {.widen = widen}, Path::scalar, chunk);
        for (const LineEnds line_ends : {LineEnds::streams, LineEnds::kept}) {
          if (path == Path::scalar && line_ends == LineEnds::streams) continue;
          const std::string fast = run(c, target, text, {.widen = widen}, path, chunk, line_ends);
          EXPECT_EQ(fast, reference) << converter_name(source, target) << " " << path_name(path);
          EXPECT_GT(fast.size(), text.size() / 2) << converter_name(source, target);
        }
      }
    }
  });
}

}  // namespace
}  // namespace kotran
