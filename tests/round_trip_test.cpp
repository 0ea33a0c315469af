// Every character of JIS X 0208 (all 94 x 94 codes) and every half-width
// katakana, stored in one code, converted by the program to each other code
// and back, gives back the stored bytes.
#include <gtest/gtest.h>

#include <string>

#include "codes/jis_sjis.h"
#include "codes/code.h"
#include "test_util.h"

namespace kotran {
namespace {

constexpr unsigned KANA_PER_LINE = 63;

// The text in the form kotran writes it, CR LF line ends: one line per row,
// then one line of half-width katakana.
std::string all_characters(unsigned code) {
  std::string text;
  auto add = [&](unsigned b) { text += static_cast<char>(b); };
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    if (code == index_of(Code::jis)) text += "\x1B$B";
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      const unsigned jis = hi << 8 | lo;
      const unsigned c = code == index_of(Code::sjis) ? jis_to_sjis_code(static_cast<uint16_t>(jis))
                         : code == index_of(Code::euc) ? (jis | 0x8080)
                                            : jis;
      add(c >> 8);
      add(c & 0xFF);
    }
    if (code == index_of(Code::jis)) text += "\x1B(J";
    text += "\r\n";
  }
  if (code == index_of(Code::jis)) text += "\x1B(I";
  for (unsigned k = 0xA1; k < 0xA1 + KANA_PER_LINE; ++k) {
    if (code == index_of(Code::euc)) add(0x8E);
    add(code == index_of(Code::jis) ? k & 0x7F : k);
  }
  if (code == index_of(Code::jis)) text += "\x1B(J";
  text += "\r\n";
  return text;
}

const char* const option_to[] = {"-s", "-j", "-e"};
const char* const extension[] = {".sjs", ".jis", ".euc"};

TEST(RoundTrip, EveryCharacterThroughEveryOtherCode) {
  for (unsigned from = 0; from < 3; ++from) {
    for (unsigned via = 0; via < 3; ++via) {
      if (via == from) continue;
      test::TempDir dir;
      const std::string original = all_characters(from);
      dir.write("text.orig", original);
      auto there = test::run_kotran({option_to[via], "text.orig"}, dir.path());
      ASSERT_EQ(there.status, 0) << from << "->" << via << "\n" << there.err;
      const std::string middle = std::string("text") + extension[via];
      EXPECT_EQ(dir.read(middle), all_characters(via)) << from << "->" << via;
      // Back again, into a name of its own.
      dir.write("back.mid", dir.read(middle));
      auto back = test::run_kotran({option_to[from], "back.mid"}, dir.path());
      ASSERT_EQ(back.status, 0) << via << "->" << from << "\n" << back.err;
      const std::string result = dir.read(std::string("back") + extension[from]);
      EXPECT_EQ(result.size(), original.size());
      EXPECT_TRUE(result == original) << from << "->" << via << "->" << from;
    }
  }
}

}  // namespace
}  // namespace kotran
