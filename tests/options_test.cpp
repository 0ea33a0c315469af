// Option words folded into the settings word.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/file_plan.h"
#include "driver/settings.h"

namespace kotran {
namespace {

std::string word_hex(Settings s) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(s));
  return buf;
}

// The fields of the settings word by name.
constexpr Settings T_JIS = with_target(0, Code::jis);
constexpr Settings T_EUC = with_target(0, Code::euc);
constexpr Settings T_UTF8 = with_target(0, Code::utf8);
constexpr Settings T_UTF16 = with_target(0, Code::utf16);
constexpr Settings S_JIS = with_source(0, Code::jis);
constexpr Settings S_EUC = with_source(0, Code::euc);
constexpr Settings S_UTF8 = with_source(0, Code::utf8);
constexpr Settings T_SJIS2004 = with_target(0, Code::sjis2004);
constexpr Settings T_EUC2004 = with_target(0, Code::euc2004);
constexpr Settings S_SJIS2004 = with_source(0, Code::sjis2004);
constexpr Settings S_EUC2004 = with_source(0, Code::euc2004);
constexpr Settings V3 = with_jis_variant(0, 3);

struct OptionCase {
  const char* word;
  Settings before;
  Settings after;  // when accepted
};

// Every accepted form, from a cleared word and from one that already holds
// other fields (which must stay).
const OptionCase kAccepted[] = {
    // -c: to_console.
    {"-c", 0, TO_CONSOLE},
    {"-C", 0, TO_CONSOLE},
    {"-cxyz", 0, TO_CONSOLE},
    {"-c", T_EUC | V3 | TO_FULLWIDTH | SOURCE_FORCED, T_EUC | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED},
    // -f: to_fullwidth.
    {"-f", 0, TO_FULLWIDTH},
    {"-F", 0, TO_FULLWIDTH},
    {"-fq", 0, TO_FULLWIDTH},
    {"-f", T_JIS | V3 | TO_CONSOLE | SOURCE_FORCED, T_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED},
    // -s and anything after it: target Shift-JIS.
    {"-s", 0, 0},
    {"-s", T_EUC, 0},
    {"-S", T_JIS, 0},
    {"-sabc", T_EUC, 0},
    {"-s7", T_JIS | V3, V3},
    {"-se", T_EUC, 0},
    {"-s", T_EUC | S_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED, S_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED},  // source, variant and flags stay
    // -e: target EUC.
    {"-e", 0, T_EUC},
    {"-E", 0, T_EUC},
    {"-e", T_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH, T_EUC | V3 | TO_CONSOLE | TO_FULLWIDTH},
    {"-e", T_JIS | S_JIS | SOURCE_FORCED, T_EUC | S_JIS | SOURCE_FORCED},  // a forced source stays
    // -j: target JIS.
    {"-j", 0, T_JIS},
    {"-J", 0, T_JIS},
    {"-j", T_EUC | V3, T_JIS | V3},
    // -j7: variant 3, target unchanged.
    {"-j7", 0, V3},
    {"-J7", 0, V3},
    {"-j7x", 0, V3},
    {"-j7", T_EUC, T_EUC | V3},
    {"-j7", T_JIS | TO_CONSOLE | TO_FULLWIDTH, T_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH},
    // -j8: variant 0, target unchanged.
    {"-j8", T_JIS | V3, T_JIS},
    {"-J8", V3, 0},
    {"-j8abc", T_EUC | V3 | TO_CONSOLE | TO_FULLWIDTH, T_EUC | TO_CONSOLE | TO_FULLWIDTH},
    {"-j8", 0, 0},
    // -js, -je: source JIS forced.
    {"-js", 0, S_JIS | SOURCE_FORCED},
    {"-Js", 0, S_JIS | SOURCE_FORCED},
    {"-jS", 0, S_JIS | SOURCE_FORCED},
    {"-JS", 0, S_JIS | SOURCE_FORCED},
    {"-jsx", 0, S_JIS | SOURCE_FORCED},
    {"-js", T_EUC | V3 | TO_CONSOLE | TO_FULLWIDTH, S_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED},
    {"-je", 0, T_EUC | S_JIS | SOURCE_FORCED},
    {"-JE", 0, T_EUC | S_JIS | SOURCE_FORCED},
    {"-jex", 0, T_EUC | S_JIS | SOURCE_FORCED},
    {"-je", T_JIS | S_EUC | TO_CONSOLE, T_EUC | S_JIS | TO_CONSOLE | SOURCE_FORCED},
    // -es, -ej: source EUC forced.
    {"-es", 0, S_EUC | SOURCE_FORCED},
    {"-Es", 0, S_EUC | SOURCE_FORCED},
    {"-eS", 0, S_EUC | SOURCE_FORCED},
    {"-es7", 0, S_EUC | SOURCE_FORCED},
    {"-esx", 0, S_EUC | SOURCE_FORCED},
    {"-es", T_JIS | S_JIS | TO_FULLWIDTH, S_EUC | TO_FULLWIDTH | SOURCE_FORCED},
    {"-ej", 0, T_JIS | S_EUC | SOURCE_FORCED},
    {"-EJ", 0, T_JIS | S_EUC | SOURCE_FORCED},
    {"-ej7", 0, T_JIS | S_EUC | SOURCE_FORCED},
    {"-ejx", 0, T_JIS | S_EUC | SOURCE_FORCED},
    {"-ej", V3, T_JIS | S_EUC | V3 | SOURCE_FORCED},
    // Extensions, each the whole word. -u: target UTF-8 (code 3).
    {"-u", 0, T_UTF8},
    {"-U", T_JIS | V3, T_UTF8 | V3},
    // -us, -ue, -uj: source UTF-8 forced; -ju, -eu: target UTF-8 from a forced source.
    {"-us", 0, S_UTF8 | SOURCE_FORCED},
    {"-ue", 0, T_EUC | S_UTF8 | SOURCE_FORCED},
    {"-UJ", 0, T_JIS | S_UTF8 | SOURCE_FORCED},
    {"-uJ", 0, T_JIS | S_UTF8 | SOURCE_FORCED},
    {"-ju", 0, T_UTF8 | S_JIS | SOURCE_FORCED},
    {"-jU", 0, T_UTF8 | S_JIS | SOURCE_FORCED},
    {"-eu", 0, T_UTF8 | S_EUC | SOURCE_FORCED},
    {"-Eu", TO_FULLWIDTH, T_UTF8 | S_EUC | TO_FULLWIDTH | SOURCE_FORCED},
    // -l: LF line ends; -g: report codes only.
    {"-l", 0, LF_LINE_ENDS},
    {"-L", T_EUC, T_EUC | LF_LINE_ENDS},
    {"-g", 0, GUESS_ONLY},
    {"-G", T_JIS, T_JIS | GUESS_ONLY},
    // -w: target UTF-16.
    {"-w", 0, T_UTF16},
    {"-W", T_EUC | V3, T_UTF16 | V3},
    // --unicode=jis: Unicode output in the JIS forms; --unicode=windows takes it back.
    {"--unicode=jis", T_UTF8, T_UTF8 | JIS_FORMS},
    {"--unicode=windows", T_UTF8 | JIS_FORMS, T_UTF8},
    // --to=CODE and --from=CODE: a code by its short name or a name iconv and
    // Python give it, upper or lower case, with or without - and _.
    {"--to=sjis2004", 0, T_SJIS2004},
    {"--to=Shift_JIS-2004", T_EUC | V3 | TO_CONSOLE, T_SJIS2004 | V3 | TO_CONSOLE},
    {"--to=SHIFT_JISX0213", 0, T_SJIS2004},
    {"--to=shiftjisx0213", 0, T_SJIS2004},
    {"--to=euc2004", T_UTF8, T_EUC2004},
    {"--to=EUC-JIS-2004", 0, T_EUC2004},
    {"--to=euc-jisx0213", 0, T_EUC2004},
    {"--to=euc", T_UTF8, T_EUC},
    {"--to=UTF-16", 0, T_UTF16},
    {"--to=iso-2022-jp", 0, T_JIS},
    {"--to=ISO-2022-JP-2004", 0, with_target(0, Code::jis2004)},
    {"--to=jis2004", T_UTF8, with_target(0, Code::jis2004)},
    {"--from=iso2022jp2004", 0, with_source(0, Code::jis2004) | SOURCE_FORCED},
    {"--from=sjis2004", T_UTF8, T_UTF8 | S_SJIS2004 | SOURCE_FORCED},
    {"--from=EUC_JISX0213", 0, S_EUC2004 | SOURCE_FORCED},
    {"--from=utf-8", T_EUC2004 | TO_FULLWIDTH, T_EUC2004 | S_UTF8 | SOURCE_FORCED | TO_FULLWIDTH},
    {"--from=EUC-JP", 0, S_EUC | SOURCE_FORCED},
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
      "-gx", "-G1", "-u ", "-u7x", "--unicode", "--unicode=", "--unicode=JIS", "--unicode=jisx", "--unicode=cp932", "-wx", "-w8", "--strictly",
      "--to=", "--to", "--to=sjis2005", "--to=sjis 2004", "--to=cp932", "--from=", "--from=ascii", "--from=euc2004x",
      "--to=SHIFT_JIS-2004-SHIFT_JIS-2004",
  };
  for (const char* word : words) {
    Settings s = 0;
    EXPECT_EQ(parse_option(word, s), 0) << word << " accepted, settings " << word_hex(s);
  }
}

TEST(OptionsParse, RejectedWordsAfterOthers) {
  for (const char* word : {"-e7", "-jj", "-x", "-"}) {
    Settings s = T_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH;
    EXPECT_EQ(parse_option(word, s), 0) << word;
  }
}

struct Sequence {
  std::vector<const char*> words;
  Settings after;
};

TEST(OptionsParse, OptionsAccumulate) {
  const Sequence cases[] = {
      {{"-j7", "-j"}, T_JIS | V3},
      {{"-j", "-j7"}, T_JIS | V3},
      {{"-J7", "-J"}, T_JIS | V3},
      {{"-f", "-c"}, TO_CONSOLE | TO_FULLWIDTH},
      {{"-c", "-f"}, TO_CONSOLE | TO_FULLWIDTH},
      {{"-js", "-e"}, T_EUC | S_JIS | SOURCE_FORCED},
      {{"-e", "-js"}, S_JIS | SOURCE_FORCED},
      {{"-js", "-s"}, S_JIS | SOURCE_FORCED},
      {{"-js", "-es"}, S_EUC | SOURCE_FORCED},
      {{"-es", "-je"}, T_EUC | S_JIS | SOURCE_FORCED},
      {{"-j7", "-e"}, T_EUC | V3},
      {{"-j7", "-j8"}, 0},
      {{"-j", "-j7", "-j8"}, T_JIS},
      {{"-ej", "-j7"}, T_JIS | S_EUC | V3 | SOURCE_FORCED},
      {{"-c", "-f", "-j7", "-j"}, T_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH},
      {{"-e", "-s"}, 0},
      {{"-e", "-j"}, T_JIS},
      {{"-j", "-e"}, T_EUC},
      {{"-cxyz", "-fq", "-sabc", "-j7x", "-jsx"}, S_JIS | V3 | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED},
      {{"-c", "-c"}, TO_CONSOLE},
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

TEST(OptionsParse, NoBitsBeyondTheirFields) {
  // Every accepted word, applied to a full word of the code, variant, -c,
  // -f and forced fields, sets no other bit, but for -l and -g.
  constexpr Settings fields = TARGET_MASK | SOURCE_MASK | JIS_VARIANT_MASK | TO_CONSOLE | TO_FULLWIDTH | SOURCE_FORCED;
  for (const OptionCase& c : kAccepted) {
    Settings s = fields;
    parse_option(c.word, s);
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(c.word[1])));
    const Settings allowed = letter == 'l'                                  ? LF_LINE_ENDS
                             : letter == 'g'                                ? GUESS_ONLY
                             : std::string(c.word) == "--unicode=jis" ? JIS_FORMS
                                                                            : 0;
    EXPECT_EQ(s & ~fields, allowed) << c.word;
  }
}

// Each file's plan, from recognition's answer and the run's settings alone.
TEST(FilePlan, Rows) {
  using enum Recognised;
  using C = Certainty;
  constexpr auto marked = ByteOrder::marked, big = ByteOrder::big;
  struct Row {
    const char* label;
    Recognition answer;
    Code target;
    bool widen, in_tree, filter;
    bool converts;
    std::optional<SkipReason> told;
    const char* seems;
    Code source;
    bool big_endian;
  };
  const Row rows[] = {
      {"Shift-JIS to UTF-8", {sjis, C::likely}, Code::utf8, false, false, false, true, {}, nullptr, Code::sjis, false},
      {"already in the target", {euc, C::certain}, Code::euc, false, false, false, false, SkipReason::no_need, nullptr, Code::euc, false},
      {"already in the target, widened", {euc, C::certain}, Code::euc, true, false, false, true, {}, nullptr, Code::euc, false},
      {"already in the target, a filter", {euc, C::certain}, Code::euc, false, false, true, true, SkipReason::no_need, nullptr, Code::euc, false},
      {"UTF-16 without a mark gets one", {utf16, C::likely, Foreign::none, big}, Code::utf16, false, false, false, true, {}, nullptr, Code::utf16, true},
      {"UTF-16 with a mark", {utf16, C::certain, Foreign::none, marked}, Code::utf16, false, false, false, false, SkipReason::no_need, nullptr, Code::utf16, false},
      {"ASCII is skipped", {ascii, C::certain}, Code::utf8, false, false, false, false, SkipReason::ascii, nullptr, Code::sjis, false},
      {"ASCII through a filter", {ascii, C::certain}, Code::utf8, false, false, true, true, SkipReason::ascii, nullptr, Code::sjis, false},
      {"Korean", {not_japanese, C::likely, Foreign::euc_kr}, Code::utf8, false, false, true, false, SkipReason::not_japanese, "EUC-KR?", Code::sjis, false},
      {"binary", {not_japanese, C::certain, Foreign::binary}, Code::utf8, false, true, false, false, SkipReason::binary, nullptr, Code::sjis, false},
      {"not valid, in a tree", {sjis, C::not_valid}, Code::utf8, false, true, false, false, SkipReason::not_text, nullptr, Code::sjis, false},
      {"not valid, named", {sjis, C::not_valid}, Code::utf8, false, false, false, true, {}, nullptr, Code::sjis, false},
      {"UTF-16 not valid, in a tree", {utf16, C::not_valid, Foreign::none, marked}, Code::utf8, false, true, false, true, {}, nullptr, Code::utf16, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const FilePlan plan = plan_file(row.answer, row.target, row.widen, row.in_tree, row.filter);
    EXPECT_EQ(plan.converts, row.converts);
    EXPECT_EQ(plan.told, row.told);
    EXPECT_STREQ(plan.seems == nullptr ? "" : plan.seems, row.seems == nullptr ? "" : row.seems);
    if (plan.converts) {
      EXPECT_EQ(plan.source, row.source);
      EXPECT_EQ(plan.big_endian, row.big_endian);
    }
  }
}

}  // namespace
}  // namespace kotran
