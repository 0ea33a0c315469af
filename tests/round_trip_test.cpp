// Every character of JIS X 0208 (all 94 x 94 codes) and every half-width
// katakana, stored in one code, converted by the program to each other code
// and back, gives back the stored bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_text.h"

namespace kotran {
namespace {

// The text in the form kotran writes it, CR LF line ends: one line per row,
// then one line of half-width katakana.
std::string all_characters(unsigned code) {
  std::string text;
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    std::vector<uint16_t> row;
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) row.push_back(static_cast<uint16_t>(hi << 8 | lo));
    text += test::double_bytes_in(code, row) + "\r\n";
  }
  return text + test::half_width_katakana_in(code) + "\r\n";
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
