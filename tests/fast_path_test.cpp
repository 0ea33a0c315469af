// The converters' bulk copies of ASCII runs and plain pairs must write
// exactly what the plain byte loop writes, for every converter, on random
// input and on real text, wherever the blocks end.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/converters.h"
#include "convert/writers.h"
#include "test_util.h"

namespace kotran {
namespace {

struct Named {
  const char* name;
  Converter converter;
};

const Named all_converters[] = {
    {"sjis_sjis", convert_sjis_sjis}, {"sjis_jis", convert_sjis_jis}, {"sjis_euc", convert_sjis_euc},
    {"sjis_utf8", convert_sjis_utf8}, {"jis_sjis", convert_jis_sjis}, {"jis_jis", convert_jis_jis},
    {"jis_euc", convert_jis_euc},     {"jis_utf8", convert_jis_utf8}, {"euc_sjis", convert_euc_sjis},
    {"euc_jis", convert_euc_jis},     {"euc_euc", convert_euc_euc},   {"euc_utf8", convert_euc_utf8},
    {"utf8_sjis", convert_utf8_sjis}, {"utf8_jis", convert_utf8_jis}, {"utf8_euc", convert_utf8_euc},
    {"utf8_utf8", convert_utf8_utf8},
};

// Runs the converter over text-mode memory streams fed chunk bytes at a time.
std::string run(Converter c, const std::string& input, Settings with, bool fast, size_t chunk) {
  const Settings saved_settings = settings;
  const bool saved_fast = converter_fast_paths;
  settings = with;
  converter_fast_paths = fast;
  std::string output;
  TextStream* in = open_memory_input(input.data(), input.size(), true, chunk);
  TextStream* out = open_memory_output(&output, true);
  c(in, out);
  close_stream(in);
  close_stream(out);
  settings = saved_settings;
  converter_fast_paths = saved_fast;
  return output;
}

// Text made of the pieces the fast paths look for (long ASCII runs, runs of
// pairs in every code, escapes) and the bytes that break them.
std::string random_text(std::mt19937& rng, size_t size) {
  const char* const pieces[] = {
      "The quick brown fox jumps\r\n", "abcdefghijklmnop", "\x1B$B4A;z\x1B(B", "\x1B(I1\x1B(J", "\x1B$@0!\x1B(B",
      "\x8A\xBF\x8E\x9A\x82\xA0", "\xB4\xC1\xBB\xFA\xA4\xA2", "\x8E\xB1\x8E\xDE", "\xE6\xBC\xA2\xE5\xAD\x97",
      "\xEF\xBD\xB6\xEF\xBE\x9E", "\r\n", "\n", "\r", "\x1A", "\x0E\x0F", "\xFF", "\x80", "\xA0",
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) + 3);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text;
  while (text.size() < size) {
    const size_t p = pick(rng);
    if (p < std::size(pieces))
      text += pieces[p];
    else
      text += static_cast<char>(byte(rng));
  }
  return text;
}

TEST(FastPath, AgreesWithThePlainLoopOnRandomText) {
  std::mt19937 rng(20261207);
  const Settings variants[] = {0, TO_FULLWIDTH, 0x30, 0x30 | TO_FULLWIDTH};
  for (int round = 0; round < 40; ++round) {
    const std::string text = random_text(rng, 3000 + static_cast<size_t>(round) * 50);
    const size_t chunk = static_cast<size_t>(1 + round % 13) * (round % 2 == 0 ? 1 : 97);
    for (const auto& c : all_converters) {
      for (Settings s : variants) {
        ASSERT_EQ(run(c.converter, text, s, true, chunk), run(c.converter, text, s, false, chunk))
            << c.name << " settings " << s << " round " << round;
      }
    }
  }
}

TEST(FastPath, AgreesWithThePlainLoopOnRealText) {
  // Real Japanese text in each code, long enough to fill several blocks.
  std::string sjis, euc, jis, utf8;
  const std::string line_utf8 = "日本語の文書を変換します。The text mixes ASCII words, 漢字 and かな.\r\n";
  for (int i = 0; i < 300; ++i) {
    sjis += test::hex("93 FA 96 7B 8C EA 82 CC 95 B6 8F 91 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    euc += test::hex("C6 FC CB DC B8 EC A4 CE CA B8 BD F1 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    jis += test::hex("1B 24 42 46 7C 4B 5C 38 6C 24 4E 4A 38 3D 71 1B 28 42 20 61 62 63 64 65 66 67 68 69 6A 6B 0D 0A");
    utf8 += line_utf8;
  }
  const std::string* input_for[] = {&sjis, &jis, &euc, &utf8};
  for (size_t i = 0; i < std::size(all_converters); ++i) {
    const std::string& text = *input_for[i / 4];
    for (size_t chunk : {1u, 7u, 4096u}) {
      for (Settings s : {Settings{0}, TO_FULLWIDTH}) {
        const std::string fast = run(all_converters[i].converter, text, s, true, chunk);
        EXPECT_EQ(fast, run(all_converters[i].converter, text, s, false, chunk)) << all_converters[i].name;
        EXPECT_GT(fast.size(), text.size() / 2) << all_converters[i].name;
      }
    }
  }
}

}  // namespace
}  // namespace kotran
