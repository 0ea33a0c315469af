// Option words folded into the settings word.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/settings.h"

namespace kotran {
namespace {

std::string word_hex(Settings s) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(s));
  return buf;
}

struct OptionCase {
  const char* word;
  Settings before;
  Settings after;  // when accepted
};

// Every accepted form, from a cleared word and from one that already holds
// other fields (which must stay).
const OptionCase kAccepted[] = {
    // -c: to_console.
    {"-c", 0x0000, 0x0100},
    {"-C", 0x0000, 0x0100},
    {"-cxyz", 0x0000, 0x0100},
    {"-c", 0x0632, 0x0732},
    // -f: to_fullwidth.
    {"-f", 0x0000, 0x0200},
    {"-F", 0x0000, 0x0200},
    {"-fq", 0x0000, 0x0200},
    {"-f", 0x0531, 0x0731},
    // -s and anything after it: target Shift-JIS.
    {"-s", 0x0000, 0x0000},
    {"-s", 0x0002, 0x0000},
    {"-S", 0x0001, 0x0000},
    {"-sabc", 0x0002, 0x0000},
    {"-s7", 0x0031, 0x0030},
    {"-se", 0x0002, 0x0000},
    {"-s", 0x0736, 0x0734},  // source, variant and flags stay
    // -e: target EUC.
    {"-e", 0x0000, 0x0002},
    {"-E", 0x0000, 0x0002},
    {"-e", 0x0331, 0x0332},
    {"-e", 0x0405, 0x0406},  // a forced source stays
    // -j: target JIS.
    {"-j", 0x0000, 0x0001},
    {"-J", 0x0000, 0x0001},
    {"-j", 0x0032, 0x0031},
    // -j7: variant 3, target unchanged.
    {"-j7", 0x0000, 0x0030},
    {"-J7", 0x0000, 0x0030},
    {"-j7x", 0x0000, 0x0030},
    {"-j7", 0x0002, 0x0032},
    {"-j7", 0x0301, 0x0331},
    // -j8: variant 0, target unchanged.
    {"-j8", 0x0031, 0x0001},
    {"-J8", 0x0030, 0x0000},
    {"-j8abc", 0x0332, 0x0302},
    {"-j8", 0x0000, 0x0000},
    // -js, -je: source JIS forced.
    {"-js", 0x0000, 0x0404},
    {"-Js", 0x0000, 0x0404},
    {"-jS", 0x0000, 0x0404},
    {"-JS", 0x0000, 0x0404},
    {"-jsx", 0x0000, 0x0404},
    {"-js", 0x0332, 0x0734},
    {"-je", 0x0000, 0x0406},
    {"-JE", 0x0000, 0x0406},
    {"-jex", 0x0000, 0x0406},
    {"-je", 0x0109, 0x0506},
    // -es, -ej: source EUC forced.
    {"-es", 0x0000, 0x0408},
    {"-Es", 0x0000, 0x0408},
    {"-eS", 0x0000, 0x0408},
    {"-es7", 0x0000, 0x0408},
    {"-esx", 0x0000, 0x0408},
    {"-es", 0x0205, 0x0608},
    {"-ej", 0x0000, 0x0409},
    {"-EJ", 0x0000, 0x0409},
    {"-ej7", 0x0000, 0x0409},
    {"-ejx", 0x0000, 0x0409},
    {"-ej", 0x0030, 0x0439},
    // Extensions, each the whole word. -u: target UTF-8 (code 3).
    {"-u", 0x0000, 0x0003},
    {"-U", 0x0031, 0x0033},
    // -us, -ue, -uj: source UTF-8 forced; -ju, -eu: target UTF-8 from a forced source.
    {"-us", 0x0000, 0x040C},
    {"-ue", 0x0000, 0x040E},
    {"-UJ", 0x0000, 0x040D},
    {"-uJ", 0x0000, 0x040D},
    {"-ju", 0x0000, 0x0407},
    {"-jU", 0x0000, 0x0407},
    {"-eu", 0x0000, 0x040B},
    {"-Eu", 0x0200, 0x060B},
    // -l: LF line ends; -g: report codes only.
    {"-l", 0x0000, 0x0800},
    {"-L", 0x0002, 0x0802},
    {"-g", 0x0000, 0x1000},
    {"-G", 0x0001, 0x1001},
};

TEST(OptionsParse, AcceptedWordsSetTheirFields) {
  for (const OptionCase& c : kAccepted) {
    Settings s = c.before;
    const int result = parse_option(c.word, s);
    EXPECT_NE(result, 0) << c.word << " rejected";
    EXPECT_EQ(word_hex(s), word_hex(c.after)) << c.word << " from " << word_hex(c.before);
  }
}

TEST(OptionsParse, RejectedWords) {
  const char* const words[] = {
      "-e7", "-e8", "-ee", "-E7", "-EE", "-eE", "-jj", "-JJ", "-jJ", "-ex", "-jx", "-e-", "-j-", "-e ",
      "-j ", "-j9", "-j0", "-ja", "-ea", "--", "-", "--help", "-x", "-X", "-a", "-b", "-d",
      "-z", "-1", "-7", "-8", "- ", "-?", "-h", "-uu", "-u7", "-ux", "-u-",
      // An extension option with anything after it: "-euc" is no "-eu".
      "-euc", "-EUC", "-eux", "-eu ", "-usx", "-USX", "-ue7", "-ujj", "-jux", "-JUX", "-lx", "-Lx", "-l-",
      "-gx", "-G1", "-u ", "-u7x",
  };
  for (const char* word : words) {
    Settings s = 0;
    EXPECT_EQ(parse_option(word, s), 0) << word << " accepted, settings " << word_hex(s);
  }
}

TEST(OptionsParse, RejectedWordsAfterOthers) {
  for (const char* word : {"-e7", "-jj", "-x", "-"}) {
    Settings s = 0x0331;
    EXPECT_EQ(parse_option(word, s), 0) << word;
  }
}

struct Sequence {
  std::vector<const char*> words;
  Settings after;
};

TEST(OptionsParse, OptionsAccumulate) {
  const Sequence cases[] = {
      {{"-j7", "-j"}, 0x0031},
      {{"-j", "-j7"}, 0x0031},
      {{"-J7", "-J"}, 0x0031},
      {{"-f", "-c"}, 0x0300},
      {{"-c", "-f"}, 0x0300},
      {{"-js", "-e"}, 0x0406},
      {{"-e", "-js"}, 0x0404},
      {{"-js", "-s"}, 0x0404},
      {{"-js", "-es"}, 0x0408},
      {{"-es", "-je"}, 0x0406},
      {{"-j7", "-e"}, 0x0032},
      {{"-j7", "-j8"}, 0x0000},
      {{"-j", "-j7", "-j8"}, 0x0001},
      {{"-ej", "-j7"}, 0x0439},
      {{"-c", "-f", "-j7", "-j"}, 0x0331},
      {{"-e", "-s"}, 0x0000},
      {{"-e", "-j"}, 0x0001},
      {{"-j", "-e"}, 0x0002},
      {{"-cxyz", "-fq", "-sabc", "-j7x", "-jsx"}, 0x0734},
      {{"-c", "-c"}, 0x0100},
  };
  for (const Sequence& c : cases) {
    Settings s = 0;
    std::string text;
    for (const char* w : c.words) {
      text += std::string(text.empty() ? "" : " ") + w;
      EXPECT_NE(parse_option(w, s), 0) << w << " in " << text;
    }
    EXPECT_EQ(word_hex(s), word_hex(c.after)) << text;
  }
}

TEST(OptionsParse, NoBitsAboveTheSourceForcedFlag) {
  // Every accepted word, applied to a full word of its own fields, leaves
  // bits 11-15 clear, but for -l (bit 11) and -g (bit 12).
  for (const OptionCase& c : kAccepted) {
    Settings s = 0x07FF;
    parse_option(c.word, s);
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(c.word[1])));
    const Settings allowed = letter == 'l' ? LF_LINE_ENDS : letter == 'g' ? GUESS_ONLY : 0;
    EXPECT_EQ(s & 0xF800, allowed) << c.word;
  }
}

}  // namespace
}  // namespace kotran
