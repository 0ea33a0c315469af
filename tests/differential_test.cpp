// The kotran program against glibc's iconv(3) on a few MiB of real Japanese
// text: every pair of Shift-JIS, JIS, EUC and UTF-8, byte for byte, and every
// conversion there and back.
//
// The text is the real prose of tests/corpus, cut into sentences and put
// together again in a fixed pseudo-random order with ASCII words between the
// sentences and CR LF line ends; one version also holds half-width katakana.
// Its four forms come from iconv (CP932 for Shift-JIS). kotran writes CR LF
// line ends, so the text has CR LF throughout.
//
// Where the two are not meant to agree:
// - JIS output. iconv's ISO-2022-JP returns to one-byte text with ESC ( B;
//   kotran writes the kanji-out sequence of its default '83 row, ESC ( J. JIS
//   output of kotran is compared with iconv's after each ESC ( J is replaced
//   by ESC ( B (kotran writes no ESC ( B of its own, which is checked first).
// - Half-width katakana. ISO-2022-JP has none, so the text that goes to or
//   comes from JIS holds none; kotran's own ESC ( I katakana are covered by
//   the round trips. The Shift-JIS, EUC and UTF-8 comparisons include them.
// - Characters whose Unicode mapping differs between glibc's CP932 on one
//   side and its EUC-JP and ISO-2022-JP on the other (JIS 2141 2142 215D 2171
//   2172 224C), and the NEC row 13 and the NEC-selected IBM extensions of rows
//   89-92, which glibc's EUC-JP lacks: kotran maps every code through one
//   table, the CP932 one. They are kept out of the text (a check below proves
//   that iconv's own three forms agree) and tested apart in
//   DifferentialMapping, by round trips and against CP932 and EUC-JP-MS.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "codes/code.h"
#include "codes/jisx0213_table.h"
#include "codes/sjis2004.h"
#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::glibc_iconv;
using test::hex;
using test::run_kotran;
using test::TempDir;
using test::to_hex;

// ---- glibc's iconv ----

bool iconv_has(const char* charset) {
  std::string out;
  return glibc_iconv("UTF-8", charset, "A", out);
}

// glibc's EUC-JP, ISO-2022-JP-2, CP932..., or the reason the tests skip.
std::string iconv_lacks(std::initializer_list<const char*> charsets) {
  if (!test::iconv_oracle_here()) return "glibc's iconv, the oracle, is not on this host";
  for (const char* c : charsets)
    if (!iconv_has(c)) return std::string("glibc iconv lacks ") + c;
  return "";
}

// ---- comparing large byte strings ----

// Empty when the two are equal; otherwise their sizes and the first offset
// where they differ, with the bytes around it.
std::string difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  const size_t n = std::min(actual.size(), expected.size());
  size_t at = 0;
  while (at < n && actual[at] == expected[at]) ++at;
  const size_t from = at >= 24 ? at - 24 : 0;
  std::ostringstream s;
  s << "actual " << actual.size() << " bytes, expected " << expected.size() << " bytes; first difference at offset "
    << at << "\n  actual   [" << from << "..]: " << to_hex(actual.substr(from, 48))
    << "\n  expected [" << from << "..]: " << to_hex(expected.substr(from, 48));
  return s.str();
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

const std::string KANJI_OUT_83 = "\x1B(J";  // kotran's default kanji-out sequence
const std::string TO_ASCII = "\x1B(B";      // iconv's return to ASCII

// ---- the text ----

// The sentences of the real texts in tests/corpus, in file name order: each
// line cut after 。, ！ and ？.
std::vector<std::string> real_sentences() {
  const std::string ends[] = {"。", "！", "？"};
  std::vector<std::string> sentences;
  for (const auto& line : test::corpus_lines()) {
    size_t start = 0;
    while (start < line.size()) {
      size_t cut = line.size();
      for (const auto& e : ends) {
        const size_t at = line.find(e, start);
        if (at != std::string::npos) cut = std::min(cut, at + e.size());
      }
      sentences.push_back(line.substr(start, cut - start));
      start = cut;
    }
  }
  return sentences;
}

// ASCII words as they stand in Japanese text: names, versions, paths, code.
const char* const ASCII_WORDS[] = {
    "kotran", "Version 3.2", "EUC-JP", "Shift_JIS", "ISO-2022-JP", "README.md", "OK", "(p.12)",
    "100%", "TODO:", "[memo]", "{x: 1, y: 2}", "a+b=c", "$HOME", "info@example.jp", "'quoted'",
    "\"double\"", "`tick`", "^_^", "#include <stdio.h>", "C:\\Users\\yamada", "http://example.jp/~sato/",
    "|", "A&B",
};

// Half-width katakana words (every byte 0xA1-0xDF occurs in them).
const char* const HALFWIDTH_WORDS[] = {
    "ﾃﾞｰﾀ", "ｶﾀｶﾅ", "ﾊﾟｿｺﾝ", "ｺﾝﾋﾟｭｰﾀｰ", "｢ﾒﾓ｣", "ﾎﾟｲﾝﾄ､", "ｿﾌﾄｳｪｱ｡", "ﾌｧｲﾙ･ｻｰﾊﾞｰ",
    "｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ",
};

struct Lcg {
  uint64_t state;
  unsigned below(unsigned n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<unsigned>(state >> 33) % n;
  }
};

// The UTF-8 text, at least min_size bytes: lines of one to four pieces, most
// of them sentences, some ASCII words (and half-width katakana words when
// asked for, but not in the first lines, so that recognition sees ordinary
// kanji first); CR LF line ends and now and then an empty line.
std::string build_text(const std::vector<std::string>& sentences, size_t min_size, bool halfwidth) {
  Lcg random{halfwidth ? 0x6B6F7472616E31u : 0x6B6F7472616E32u};
  std::string text;
  text.reserve(min_size + 4096);
  for (unsigned line = 0; text.size() < min_size; ++line) {
    const unsigned pieces = 1 + random.below(4);
    for (unsigned p = 0; p < pieces; ++p) {
      const unsigned kind = random.below(20);
      if (kind < 3) {
        if (p > 0) text += ' ';
        text += ASCII_WORDS[random.below(static_cast<unsigned>(std::size(ASCII_WORDS)))];
        text += ' ';
      } else if (kind == 3 && halfwidth && line >= 20) {
        text += HALFWIDTH_WORDS[random.below(static_cast<unsigned>(std::size(HALFWIDTH_WORDS)))];
      } else {
        text += sentences[random.below(static_cast<unsigned>(sentences.size()))];
      }
    }
    text += "\r\n";
    if (random.below(16) == 0) text += "\r\n";
  }
  return text;
}

constexpr size_t TEXT_SIZE = 2u << 20;  // bytes of UTF-8

const char* const CODE_NAME[] = {"Shift-JIS", "JIS", "EUC", "UTF-8"};
const char* const ICONV_NAME[] = {"CP932", "ISO-2022-JP", "EUC-JP", "UTF-8"};
const char CODE_LETTER[] = {'s', 'j', 'e', 'u'};

// The option that converts from one code to the other: a forced source where
// there is one; Shift-JIS is recognised.
std::string option(unsigned from, unsigned to) {
  std::string o = "-";
  if (from != index_of(Code::sjis)) o += CODE_LETTER[from];
  return o + CODE_LETTER[to];
}

// ---- the two texts in every code, built once ----

class Differential : public ::testing::Test {
 protected:
  // texts[k][code]: k = 0 with half-width katakana (no JIS form), k = 1
  // without (all four forms, JIS as iconv writes it).
  static inline std::string texts[2][4];
  static inline std::unique_ptr<TempDir> dir;
  static inline std::string setup_failure;
  static inline std::string skip_reason;

  static std::string file_name(int k, unsigned code) {
    return std::string(k == 0 ? "kana-" : "plain-") + CODE_LETTER[code] + ".txt";
  }

  static void SetUpTestSuite() {
    skip_reason = iconv_lacks({"CP932", "EUC-JP", "ISO-2022-JP"});
    if (!skip_reason.empty()) return;
    const auto sentences = real_sentences();
    if (sentences.size() < 50) {
      setup_failure = "too few sentences in tests/corpus: " + std::to_string(sentences.size());
      return;
    }
    dir = std::make_unique<TempDir>();
    for (int k = 0; k < 2; ++k) {
      std::string* t = texts[k];
      t[index_of(Code::utf8)] = build_text(sentences, TEXT_SIZE, k == 0);
      for (unsigned code : {index_of(Code::sjis), index_of(Code::euc), index_of(Code::jis)}) {
        if (k == 0 && code == index_of(Code::jis)) continue;
        if (!glibc_iconv(ICONV_NAME[code], "UTF-8", t[index_of(Code::utf8)], t[code])) {
          setup_failure = std::string("iconv cannot write the text in ") + ICONV_NAME[code];
          return;
        }
      }
      // Only characters on which iconv's three legacy converters agree.
      std::string euc, jis;
      if (!glibc_iconv("EUC-JP", "CP932", t[index_of(Code::sjis)], euc) || euc != t[index_of(Code::euc)] ||
          (k == 1 && (!glibc_iconv("ISO-2022-JP", "CP932", t[index_of(Code::sjis)], jis) || jis != t[index_of(Code::jis)]))) {
        setup_failure = "the text holds a character that iconv's CP932, EUC-JP and ISO-2022-JP map apart";
        return;
      }
      for (unsigned code = 0; code < 4; ++code)
        if (!t[code].empty()) dir->write(file_name(k, code), t[code]);
    }
  }

  static void TearDownTestSuite() {
    dir.reset();
    for (auto& k : texts)
      for (auto& t : k) std::string().swap(t);
  }

  void SetUp() override {
    if (!skip_reason.empty()) GTEST_SKIP() << skip_reason;
    if (!setup_failure.empty()) FAIL() << setup_failure;
  }

  // kotran -c with the option on the file; its standard output.
  static std::string convert(const std::string& opt, const std::string& file) {
    const auto r = run_kotran({"-c", opt, file}, dir->path());
    EXPECT_EQ(r.status, 0) << opt << " " << file << "\n" << r.err;
    return r.out;
  }
};

TEST_F(Differential, TheTextIsLargeAndReal) {
  for (int k = 0; k < 2; ++k) {
    EXPECT_GE(texts[k][index_of(Code::utf8)].size(), TEXT_SIZE);
    EXPECT_GE(texts[k][index_of(Code::sjis)].size(), TEXT_SIZE / 2);
    EXPECT_GE(count_of(texts[k][index_of(Code::utf8)], "\r\n"), 10000u);
  }
  EXPECT_GE(count_of(texts[0][index_of(Code::utf8)], "ﾟ"), 100u);
  EXPECT_EQ(count_of(texts[1][index_of(Code::utf8)], "ﾟ"), 0u);
  EXPECT_GE(count_of(texts[1][index_of(Code::jis)], "\x1B$B"), 10000u);
}

// kotran's conversion of iconv's form in one code is iconv's form in the
// other, for all twelve ordered pairs; also with the source recognised where
// a forced one was used.
TEST_F(Differential, EveryPairAgreesWithIconv) {
  struct Case {
    unsigned from, to;
    std::string opt;
  };
  std::vector<Case> cases;
  for (unsigned from = 0; from < 4; ++from)
    for (unsigned to = 0; to < 4; ++to)
      if (from != to) cases.push_back({from, to, option(from, to)});
  // Recognised rather than forced.
  cases.push_back({index_of(Code::jis), index_of(Code::sjis), "-s"});
  cases.push_back({index_of(Code::euc), index_of(Code::utf8), "-u"});
  cases.push_back({index_of(Code::utf8), index_of(Code::euc), "-e"});
  cases.push_back({index_of(Code::jis), index_of(Code::euc), "-e"});
  for (const auto& c : cases) {
    const int k = (c.from == index_of(Code::jis) || c.to == index_of(Code::jis)) ? 1 : 0;
    SCOPED_TRACE(std::string(CODE_NAME[c.from]) + " -> " + CODE_NAME[c.to] + " with " + c.opt +
                 (k == 0 ? ", half-width katakana included" : ""));
    std::string out = convert(c.opt, file_name(k, c.from));
    if (c.to == index_of(Code::jis) && c.from == index_of(Code::utf8)) {
      // From Unicode, JIS output returns to ASCII as iconv's does.
      ASSERT_EQ(count_of(out, KANJI_OUT_83), 0u);
    } else if (c.to == index_of(Code::jis)) {
      ASSERT_EQ(count_of(out, TO_ASCII), 0u);
      out = replace_all(out, KANJI_OUT_83, TO_ASCII);
    }
    EXPECT_EQ(difference(out, texts[k][c.to]), "");
  }
}

// From each code to each other and back with kotran gives back the bytes.
// The JIS text is kotran's own form of it (iconv's with ESC ( J); the texts
// in the other codes hold half-width katakana, which JIS carries after
// ESC ( I.
TEST_F(Differential, ThereAndBackGivesTheSameBytes) {
  for (unsigned from = 0; from < 4; ++from) {
    const int k = from == index_of(Code::jis) ? 1 : 0;
    std::string original = texts[k][from];
    std::string name = file_name(k, from);
    if (from == index_of(Code::jis)) {
      original = replace_all(original, TO_ASCII, KANJI_OUT_83);
      name = "kotran-j.txt";
      dir->write(name, original);
    }
    for (unsigned via = 0; via < 4; ++via) {
      if (via == from) continue;
      SCOPED_TRACE(std::string(CODE_NAME[from]) + " -> " + CODE_NAME[via] + " -> " + CODE_NAME[from]);
      auto there = run_kotran({"-c", option(from, via), name}, dir->path(), {}, dir->file("there.txt"));
      ASSERT_EQ(there.status, 0) << there.err;
      auto back = run_kotran({"-c", option(via, from), "there.txt"}, dir->path(), {}, dir->file("back.txt"));
      ASSERT_EQ(back.status, 0) << back.err;
      // Back into JIS from UTF-8, one-byte text is ASCII (iconv's form).
      const bool ascii = from == index_of(Code::jis) && via == index_of(Code::utf8);
      EXPECT_EQ(difference(dir->read("back.txt"), ascii ? texts[k][from] : original), "");
    }
  }
}

// ---- characters on which kotran and iconv are not meant to agree ----

// kotran maps JIS X 0208 to Unicode with one table for every code, the one
// CP932 uses. On glibc 2.36 iconv differs for these:
// - JIS 2141 2142 215D 2171 2172 224C: EUC-JP and ISO-2022-JP decode them as
//   U+301C U+2016 U+2212 U+00A2 U+00A3 U+00AC, CP932 (and kotran) as U+FF5E
//   U+2225 U+FF0D U+FFE0 U+FFE1 U+FFE2; so iconv's CP932 -> EUC-JP turns
//   81 60 into the JIS X 0212 code 8F A2 B7, or refuses the others.
// - NEC row 13 (①, №, ㈱): not in glibc's EUC-JP, which refuses it;
//   EUC-JP-MS has it as CP932 does.
// - The NEC-selected IBM extensions, rows 89-92 (纊, 髙, ⅰ, ￤): not in
//   glibc's EUC-JP (iconv writes the kanji as JIS X 0212 codes with SS3);
//   EUC-JP-MS decodes them to private-use characters. From UTF-8, kotran
//   writes these Shift-JIS codes (ED 40 ...); iconv's CP932 writes the IBM
//   extension duplicates (FA 5C ...), which name the same character.
// kotran converts these codes between the legacy codes by the code
// arithmetic alone, and to and from UTF-8 as CP932 does.
struct MappedCharacter {
  const char* what;
  std::string sjis, euc, jis;  // the two bytes of the code in each
  bool in_euc_jp_ms;           // glibc's EUC-JP-MS decodes it as CP932 does
};

const MappedCharacter MAPPED[] = {
    {"FULLWIDTH TILDE", hex("81 60"), hex("A1 C1"), hex("21 41"), true},
    {"PARALLEL TO", hex("81 61"), hex("A1 C2"), hex("21 42"), true},
    {"FULLWIDTH HYPHEN-MINUS", hex("81 7C"), hex("A1 DD"), hex("21 5D"), true},
    {"FULLWIDTH CENT SIGN", hex("81 91"), hex("A1 F1"), hex("21 71"), true},
    {"FULLWIDTH POUND SIGN", hex("81 92"), hex("A1 F2"), hex("21 72"), true},
    {"FULLWIDTH NOT SIGN", hex("81 CA"), hex("A2 CC"), hex("22 4C"), true},
    {"CIRCLED DIGIT ONE (row 13)", hex("87 40"), hex("AD A1"), hex("2D 21"), true},
    {"NUMERO SIGN (row 13)", hex("87 82"), hex("AD E2"), hex("2D 62"), true},
    {"PARENTHESIZED IDEOGRAPH STOCK (row 13)", hex("87 8A"), hex("AD EA"), hex("2D 6A"), true},
    {"纊 (row 89)", hex("ED 40"), hex("F9 A1"), hex("79 21"), false},
    {"髙 (row 92)", hex("EE E0"), hex("FC E2"), hex("7C 62"), false},
    {"SMALL ROMAN NUMERAL ONE (row 92)", hex("EE EF"), hex("FC F1"), hex("7C 71"), false},
    {"FULLWIDTH BROKEN BAR (row 92)", hex("EE FA"), hex("FC FC"), hex("7C 7C"), false},
};

TEST(DifferentialMapping, CodesIconvMapsApartConvertByArithmeticAndAsCp932) {
  if (const auto lack = iconv_lacks({"CP932"}); !lack.empty()) GTEST_SKIP() << lack;
  // One line per character, in each code as kotran writes it.
  std::string forms[4];
  for (const auto& m : MAPPED) {
    forms[index_of(Code::sjis)] += m.sjis + "\r\n";
    forms[index_of(Code::euc)] += m.euc + "\r\n";
    forms[index_of(Code::jis)] += "\x1B$B" + m.jis + KANJI_OUT_83 + "\r\n";
  }
  ASSERT_TRUE(glibc_iconv("UTF-8", "CP932", forms[index_of(Code::sjis)], forms[index_of(Code::utf8)]));
  TempDir dir;
  for (unsigned code = 0; code < 4; ++code) dir.write(std::string(1, CODE_LETTER[code]) + ".txt", forms[code]);
  for (unsigned from = 0; from < 4; ++from) {
    for (unsigned to = 0; to < 4; ++to) {
      if (from == to) continue;
      SCOPED_TRACE(std::string(CODE_NAME[from]) + " -> " + CODE_NAME[to]);
      auto r = run_kotran({"-c", option(from, to), std::string(1, CODE_LETTER[from]) + ".txt"}, dir.path());
      EXPECT_EQ(r.status, 0) << r.err;
      // From UTF-8, JIS output returns to ASCII.
      const bool ascii = from == index_of(Code::utf8) && to == index_of(Code::jis);
      EXPECT_EQ(to_hex(r.out), to_hex(ascii ? replace_all(forms[to], KANJI_OUT_83, TO_ASCII) : forms[to]));
    }
  }
  // The EUC side of the same choice: glibc's EUC-JP-MS reads kotran's EUC
  // as kotran's UTF-8, up to row 88.
  if (!iconv_has("EUC-JP-MS")) return;
  for (const auto& m : MAPPED) {
    if (!m.in_euc_jp_ms) continue;
    std::string via_ms, via_cp932;
    ASSERT_TRUE(glibc_iconv("UTF-8", "EUC-JP-MS", m.euc, via_ms)) << m.what;
    ASSERT_TRUE(glibc_iconv("UTF-8", "CP932", m.sjis, via_cp932)) << m.what;
    EXPECT_EQ(to_hex(via_ms), to_hex(via_cp932)) << m.what;
  }
}

// UTF-8 characters that CP932 decodes nowhere, written by glibc's EUC-JP and
// by nkf (U+301C U+2016 U+00A2 U+00A3 U+00AC U+2014, and U+2212): kotran reads
// them as the JIS X 0208 codes of their Windows forms, as glibc's CP932
// writes them, with nothing replaced.
TEST(DifferentialMapping, JisFormsReadAsTheirWindowsForms) {
  if (const auto lack = iconv_lacks({"CP932"}); !lack.empty()) GTEST_SKIP() << lack;
  const std::string input = hex("E3 80 9C E2 80 96 C2 A2 C2 A3 C2 AC E2 80 94 E2 88 92 0D 0A");
  std::string cp932;
  ASSERT_TRUE(glibc_iconv("CP932", "UTF-8", input, cp932));
  const struct {
    const char* opt;
    std::string expected;
  } cases[] = {
      {"-us", cp932},
      {"-ue", hex("A1 C1 A1 C2 A1 F1 A1 F2 A2 CC A1 BD A1 DD 0D 0A")},
      {"-uj", hex("1B 24 42 21 41 21 42 21 71 21 72 22 4C 21 3D 21 5D 1B 28 42 0D 0A")},
  };
  TempDir dir;
  dir.write("u.txt", input);
  for (const auto& c : cases) {
    auto r = run_kotran({"-c", c.opt, "u.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << c.opt;
    EXPECT_EQ(to_hex(r.out), to_hex(c.expected)) << c.opt;
    EXPECT_EQ(r.err.find(hex("95 CF 8A B7 82 C5 82 AB 82 C8 82 A2")), std::string::npos) << c.opt << ": nothing replaced";
  }
  // --unicode=jis writes them back in the JIS forms (U+2015 HORIZONTAL BAR as U+2014).
  dir.write("s.txt", cp932);
  auto r = run_kotran({"-c", "-u", "--unicode=jis", "s.txt"}, dir.path());
  EXPECT_EQ(to_hex(r.out), to_hex(input));
}

// YEN SIGN and OVERLINE are written as the one-byte 5C and 7E into
// Shift-JIS and EUC, as iconv's CP932 and EUC-JP write them. Into JIS they
// go after ESC ( J, apart from ASCII's \ and ~, each designation written just
// before the characters that need it, as Python's iso2022_jp writes them
// (iconv's ISO-2022-JP stays in JIS-Roman over the characters both sets
// share); iconv reads that JIS back as the text it came from.
TEST(DifferentialMapping, YenSignAndOverlineAsIconvWritesThem) {
  if (const auto lack = iconv_lacks({"CP932", "EUC-JP", "ISO-2022-JP"}); !lack.empty()) GTEST_SKIP() << lack;
  const std::string input = "a" + hex("C2 A5") + "1000 " + hex("E2 80 BE") + "\r\n" + hex("E6 BC A2") +
                            " C:\\dir ~user " + hex("C2 A5 E2 80 BE E5 AD 97") + "\r\n";
  TempDir dir;
  dir.write("u.txt", input);
  for (unsigned to : {index_of(Code::sjis), index_of(Code::euc)}) {
    std::string expected;
    ASSERT_TRUE(glibc_iconv(ICONV_NAME[to], "UTF-8", input, expected));
    auto r = run_kotran({"-c", option(index_of(Code::utf8), to), "u.txt"}, dir.path());
    EXPECT_EQ(to_hex(r.out), to_hex(expected)) << CODE_NAME[to];
  }
  auto r = run_kotran({"-c", "-uj", "u.txt"}, dir.path());
  EXPECT_EQ(to_hex(r.out), "61 1B 28 4A 5C 1B 28 42 31 30 30 30 20 1B 28 4A 7E 1B 28 42 0D 0A 1B 24 42 34 41 1B 28 42 "
                           "20 43 3A 5C 64 69 72 20 7E 75 73 65 72 20 1B 28 4A 5C 7E 1B 24 42 3B 7A 1B 28 42 0D 0A");
  std::string back;
  ASSERT_TRUE(glibc_iconv("UTF-8", "ISO-2022-JP", r.out, back));
  EXPECT_EQ(to_hex(back), to_hex(input)) << "iconv reads kotran's JIS back";
}

// CPython's own test vectors for its Japanese codecs (Debian's
// libpython3.11-testsuite), written by no one here: each file converted to
// its pair byte for byte, both ways, line ends kept as LF.
TEST(DifferentialMapping, CPythonVectorsConvertByteForByte) {
  const std::string folder = "/usr/lib/python3.11/test/cjkencodings/";
  std::ifstream probe(folder + "iso2022_jp.txt");
  if (!probe) GTEST_SKIP() << "CPython's vectors are not installed (tools/setup.sh test installs libpython3.11-testsuite)";
  const struct {
    const char* input;
    const char* option;
    const char* expected;
    const char* source = nullptr;  // a source named apart (--from=)
  } rows[] = {
      {"iso2022_jp-utf8.txt", "-uj", "iso2022_jp.txt"}, {"iso2022_jp.txt", "-ju", "iso2022_jp-utf8.txt"},
      {"shift_jis-utf8.txt", "-us", "shift_jis.txt"},   {"shift_jis.txt", "-u", "shift_jis-utf8.txt"},
      {"euc_jp-utf8.txt", "-ue", "euc_jp.txt"},         {"euc_jp.txt", "-eu", "euc_jp-utf8.txt"},
      {"shift_jisx0213-utf8.txt", "--to=sjis2004", "shift_jisx0213.txt", "--from=utf8"},
      {"shift_jisx0213.txt", "--to=utf8", "shift_jisx0213-utf8.txt", "--from=SHIFT_JIS-2004"},
      {"euc_jisx0213-utf8.txt", "--to=EUC-JIS-2004", "euc_jisx0213.txt", "--from=UTF-8"},
      {"euc_jisx0213.txt", "-u", "euc_jisx0213-utf8.txt", "--from=euc-jisx0213"},
  };
  TempDir dir;
  for (const auto& row : rows) {
    std::vector<std::string> args{"-c", "-l", row.option, folder + row.input};
    if (row.source != nullptr) args.insert(args.begin(), row.source);
    auto r = run_kotran(args, dir.path());
    EXPECT_EQ(r.status, 0) << row.input << ": " << r.err;
    std::ifstream want(folder + row.expected, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(want)), std::istreambuf_iterator<char>());
    EXPECT_EQ(difference(r.out, expected), "") << row.input << " " << row.option;
  }
}

// Shift-JIS text written by Windows holds the IBM extension codes FA 40 -
// FC 4B (髙 FB FC and 﨑 FA B1 in names, ⅰ FA 40); glibc's CP932 writes
// them so. Every one of them names a character that kotran's table holds
// under another code (髙 is also EE E0, 﨑 ED 95, ⅰ EE EF), and CP932 and the
// WHATWG Shift_JIS decoder both decode them, so converting them to UTF-8
// must give the characters.
TEST(DifferentialMapping, IbmExtensionCodesOfShiftJisDecodeAsCp932) {
  if (const auto lack = iconv_lacks({"CP932"}); !lack.empty()) GTEST_SKIP() << lack;
  const std::string utf8 =
      "髙橋さんは﨑山さんの隣に住んでいる。\r\n"
      "ⅰ 準備、ⅱ 実行。雨が降った∵試合は中止。\r\n";
  std::string sjis;
  ASSERT_TRUE(glibc_iconv("CP932", "UTF-8", utf8, sjis));
  ASSERT_NE(sjis.find(hex("FB FC")), std::string::npos) << "glibc's CP932 no longer writes 髙 as FB FC";
  TempDir dir;
  dir.write("s.txt", sjis);
  auto r = run_kotran({"-c", "-u", "s.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(to_hex(r.out), to_hex(utf8));
}

// ---- every character of every table ----
//
// Each table goes through kotran in one file, one character a line (CR LF),
// and is compared line by line: kotran runs a few times per table, not once
// per character. Where kotran and an oracle are meant to differ, the
// difference is a row of a list (the code, what kotran's side gives, what
// the oracle gives, why); a line that differs and is not listed fails, and
// so does a row that no longer differs.

// One direction of the oracle, for many short conversions (the host keeps
// its descriptor): the bytes converted as a whole, with the shift back at
// the end; false when iconv refuses or leaves any of them.
struct ShortIconv {
  const char* to;
  const char* from;
  bool operator()(const std::string& in, std::string& out) const { return glibc_iconv(to, from, in, out); }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string one_per_line(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += item + "\r\n";
  return text;
}

std::string two(unsigned a, unsigned b) {
  return std::string{static_cast<char>(a), static_cast<char>(b)};
}

// Shift-JIS <-> JIS X 0208 row and cell bytes, by the usual arithmetic (the
// test's own, so that it does not lean on kotran's).
std::string sjis_to_jis(const std::string& s) {
  unsigned hi = static_cast<unsigned char>(s[0]), lo = static_cast<unsigned char>(s[1]);
  unsigned row = (hi <= 0x9F ? hi - 0x70 : hi - 0xB0) * 2;
  if (lo < 0x9F) {
    --row;
    lo -= lo >= 0x80 ? 0x20 : 0x1F;
  } else {
    lo -= 0x7E;
  }
  return two(row, lo);
}
std::string jis_to_euc(const std::string& j) { return two(j[0] | 0x80, j[1] | 0x80); }

bool have_nkf() { return test::shell_here() && test::run_shell("command -v nkf >/dev/null 2>&1", ".").status == 0; }

// nkf with the options on a file of the directory; its output.
std::string nkf(const TempDir& dir, const std::string& options, const std::string& name) {
  const auto r = test::run_shell("nkf " + options + " " + name, dir.path());
  EXPECT_EQ(r.status, 0) << "nkf " << options << "\n" << r.err;
  return r.out;
}

// kotran -c with the option on the input written as the file; its output,
// checked to be a success.
test::RunResult kotran_on(const TempDir& dir, const std::string& name, const std::string& input,
                          const std::vector<std::string>& options) {
  dir.write(name, input);
  std::vector<std::string> args{"-c"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(name);
  auto r = run_kotran(args, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  return r;
}

// A line on which kotran and an oracle are meant to differ. For oracles that
// read kotran's output (nkf), "kotran" is what the oracle reads it as.
struct Difference {
  std::string code;    // the input code, hex
  std::string kotran;  // kotran's side, hex
  std::string oracle;  // the oracle's side, hex; "refused" when it writes nothing
  const char* why;
};

constexpr const char* REFUSED = "refused";

// kotran's lines against the oracle's, line by line: every line that differs
// must be a row, and every row must differ as listed. Returns how many lines
// agree.
size_t expect_only_listed(const std::string& what, const std::vector<std::string>& codes,
                          const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
                          const std::vector<Difference>& rows) {
  SCOPED_TRACE(what);
  EXPECT_EQ(ours.size(), codes.size());
  EXPECT_EQ(theirs.size(), codes.size());
  std::set<std::string> met;
  size_t agree = 0;
  for (size_t i = 0; i < codes.size() && i < ours.size() && i < theirs.size(); ++i) {
    const std::string code = to_hex(codes[i]), mine = to_hex(ours[i]), other = theirs[i];
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const Difference& d) { return d.code == code; });
    if (row == rows.end()) {
      if (mine == other) ++agree;
      else ADD_FAILURE() << code << ": kotran " << mine << ", oracle " << other << " (not a listed difference)";
      continue;
    }
    met.insert(code);
    EXPECT_EQ(mine, row->kotran) << code << " (" << row->why << ")";
    EXPECT_EQ(other, row->oracle) << code << " (" << row->why << ")";
    EXPECT_NE(mine, other) << code << " is listed as a difference but agrees";
  }
  for (const auto& row : rows) EXPECT_EQ(met.count(row.code), 1u) << row.code << " is listed but was not met";
  return agree;
}

// The oracle's conversion of each code, hex, or REFUSED.
std::vector<std::string> each_through(ShortIconv& oracle, const std::vector<std::string>& codes) {
  std::vector<std::string> out;
  for (const auto& c : codes) {
    std::string o;
    out.push_back(oracle(c, o) ? to_hex(o) : REFUSED);
  }
  return out;
}

std::vector<std::string> as_hex(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(to_hex(l));
  return out;
}

// The IBM extensions of Shift-JIS, FA 40 - FC 4B: 388 codes, all assigned.
std::vector<std::string> ibm_extension_codes() {
  std::vector<std::string> codes;
  for (unsigned hi = 0xFA; hi <= 0xFC; ++hi)
    for (unsigned lo = 0x40; lo <= 0xFC; ++lo) {
      if (lo == 0x7F) continue;
      if (hi == 0xFC && lo > 0x4B) break;
      codes.push_back(two(hi, lo));
    }
  return codes;
}

// The JIS X 0212 codes glibc's EUC-JP decodes (8F hi lo), with what it
// decodes them to.
void jis0212_codes(std::vector<std::string>& codes, std::vector<std::string>& utf8) {
  ShortIconv decode("UTF-8", "EUC-JP");
  for (unsigned hi = 0xA1; hi <= 0xFE; ++hi)
    for (unsigned lo = 0xA1; lo <= 0xFE; ++lo) {
      const std::string code{'\x8F', static_cast<char>(hi), static_cast<char>(lo)};
      std::string u;
      if (decode(code, u)) {
        codes.push_back(code);
        utf8.push_back(u);
      }
    }
}

// The replacement message's count, as kotran writes it in Shift-JIS.
std::string replaced(size_t n) {
  return hex("95 CF 8A B7 82 C5 82 AB 82 C8 82 A2 95 B6 8E 9A 82 F0") + " " + std::to_string(n) + " ";
}

// Every IBM extension becomes in EUC and JIS the code of rows 89-92, 13 or 2
// that holds the same character. nkf reads both outputs: as CP51932 and
// CP50221 (Microsoft's EUC and JIS) it must read every line as glibc's CP932
// reads the input; as plain EUC-JP and ISO-2022-JP it reads two codes of row
// 2 and 92 in their JIS forms, listed below.
TEST(DifferentialTables, IbmExtensionsBecomeTheirTwinsInEucAndJis) {
  if (const auto lack = iconv_lacks({"CP932"}); !lack.empty()) GTEST_SKIP() << lack;
  const auto codes = ibm_extension_codes();
  ASSERT_EQ(codes.size(), 388u);
  const std::string sjis = one_per_line(codes);
  std::string expected;
  ASSERT_TRUE(glibc_iconv("UTF-8", "CP932", sjis, expected));
  TempDir dir;
  const auto euc = kotran_on(dir, "s.txt", sjis, {"-e"}).out;
  const auto jis = run_kotran({"-c", "-j", "s.txt"}, dir.path()).out;
  dir.write("e.txt", euc);
  dir.write("j.txt", jis);

  // The form of the codes: two bytes of rows 89-92, 13 or 2, and in JIS the
  // same row and cell between ESC $ B and ESC ( J.
  const auto e = lines_of(euc), j = lines_of(jis);
  ASSERT_EQ(e.size(), codes.size());
  ASSERT_EQ(j.size(), codes.size());
  std::map<unsigned, size_t> rows;
  for (size_t i = 0; i < codes.size(); ++i) {
    ASSERT_EQ(e[i].size(), 2u) << to_hex(codes[i]) << " -> " << to_hex(e[i]);
    const unsigned row = static_cast<unsigned char>(e[i][0]) - 0xA0;
    EXPECT_TRUE((row >= 89 && row <= 92) || row == 13 || row == 2) << to_hex(codes[i]) << " -> " << to_hex(e[i]);
    ++rows[row];
    EXPECT_EQ(to_hex(j[i]), to_hex("\x1B$B" + two(e[i][0] & 0x7F, e[i][1] & 0x7F) + KANJI_OUT_83))
        << to_hex(codes[i]);
  }
  // Counted in Python: the lowest cp932 code of each IBM extension's
  // character lies in rows 89-92 for 373, row 13 for 13 (Ⅰ-Ⅹ № ℡ ㈱) and
  // row 2 for 2 (￢ ∵).
  EXPECT_EQ(rows[89] + rows[90] + rows[91] + rows[92], 373u);
  EXPECT_EQ(rows[13], 13u);
  EXPECT_EQ(rows[2], 2u);
  std::cout << "IBM extensions to EUC and JIS: " << rows[89] + rows[90] + rows[91] + rows[92]
            << " to rows 89-92, " << rows[13] << " to row 13, " << rows[2] << " to row 2\n";

  if (!have_nkf()) GTEST_SKIP() << "nkf is not installed (apt-get install nkf): kotran's EUC and JIS are not read back";
  EXPECT_EQ(difference(nkf(dir, "--ic=CP51932 --oc=UTF-8", "e.txt"), expected), "");
  EXPECT_EQ(difference(nkf(dir, "--ic=CP50221 --oc=UTF-8", "j.txt"), expected), "");
  const std::vector<Difference> jis_forms = {
      {"FA 54", "C2 AC", "EF BF A2", "kotran writes ￢ as 2-44 (A2 CC); nkf's EUC-JP reads it as NOT SIGN U+00AC"},
      {"FA 55", "C2 A6", "EF BF A4", "kotran writes ￤ as 92-92 (FC FC); nkf's EUC-JP reads it as BROKEN BAR U+00A6"},
  };
  const auto want = as_hex(lines_of(expected));
  for (const auto& [options, file] : {std::pair{"-E -w", "e.txt"}, std::pair{"-J -w", "j.txt"}}) {
    const size_t agree = expect_only_listed(std::string("nkf ") + options, codes,
                                            lines_of(nkf(dir, options, file)), want, jis_forms);
    EXPECT_EQ(agree, 386u);
  }
}

// Every JIS X 0212 code, 8F hi lo in EUC: to UTF-8 as glibc's EUC-JP, to JIS
// as ESC $ ( D and back, to Shift-JIS as its IBM extension or 〓, counted.
TEST(DifferentialTables, EveryJisX0212Code) {
  if (const auto lack = iconv_lacks({"CP932", "EUC-JP", "ISO-2022-JP-2"}); !lack.empty()) GTEST_SKIP() << lack;
  std::vector<std::string> codes, utf8;
  jis0212_codes(codes, utf8);
  ASSERT_EQ(codes.size(), 6067u);  // Python's euc_jp decodes the same codes
  const std::string euc = one_per_line(codes);
  TempDir dir;

  // To UTF-8: as glibc's EUC-JP, every one.
  const auto to_utf8 = kotran_on(dir, "e.txt", euc, {"-eu"}).out;
  EXPECT_EQ(expect_only_listed("EUC -> UTF-8 against glibc EUC-JP", codes, lines_of(to_utf8), as_hex(utf8), {}),
            6067u);

  // To JIS: ESC $ ( D, the row and cell, then ESC ( J, as glibc's
  // ISO-2022-JP-2 reads it (Python's iso2022_jp_2 and euc_jp read 2-23 as
  // U+007E, not U+FF5E as glibc and the WHATWG index do, so glibc is the
  // oracle here).
  const auto jis = run_kotran({"-c", "-ej", "e.txt"}, dir.path()).out;
  const auto j = lines_of(jis);
  ASSERT_EQ(j.size(), codes.size());
  for (size_t i = 0; i < codes.size(); ++i)
    EXPECT_EQ(to_hex(j[i]), to_hex("\x1B$(D" + two(codes[i][1] & 0x7F, codes[i][2] & 0x7F) + KANJI_OUT_83));
  std::string jis_read;
  ASSERT_TRUE(glibc_iconv("UTF-8", "ISO-2022-JP-2", replace_all(jis, KANJI_OUT_83, TO_ASCII), jis_read));
  EXPECT_EQ(difference(jis_read, to_utf8), "");

  // To Shift-JIS: the IBM extension whose glibc CP932 reading is the same
  // character, or 〓 (81 AC), replaced and counted. Which characters the IBM
  // extensions hold comes from glibc's CP932, not from kotran's table.
  std::set<std::string> ibm_characters;
  {
    ShortIconv cp932("UTF-8", "CP932");
    for (const auto& c : ibm_extension_codes()) {
      std::string u;
      ASSERT_TRUE(cp932(c, u)) << to_hex(c);
      ibm_characters.insert(u);
    }
  }
  size_t held = 0;
  for (const auto& u : utf8) held += ibm_characters.count(u);
  EXPECT_EQ(held, 280u);  // Python: 280 of the 6,067 are among cp932's decodings of FA 40 - FC 4B
  const auto to_sjis = run_kotran({"-c", "-es", "e.txt"}, dir.path());
  const auto s = lines_of(to_sjis.out);
  ASSERT_EQ(s.size(), codes.size());
  // A character that JIS X 0208 itself holds (as kotran reads UTF-8) goes to
  // its JIS X 0208 code, not to an IBM extension; BROKEN BAR, read as its
  // Windows form ￤, goes to the IBM extension of ￤ (FA 55), not to the
  // NEC-selected 92-92 (EE FA).
  const std::map<std::string, std::string> own_code = {
      {"8F A2 B7", "81 60"},  // FULLWIDTH TILDE, 1-33
  };
  const std::vector<Difference> broken_bar = {
      {"8F A2 C3", "EF BF A4", "C2 A6", "kotran writes BROKEN BAR as ￤ (FA 55), which CP932 reads as U+FFE4"}};
  size_t as_ibm = 0, as_geta = 0;
  std::vector<std::string> kept, read_back, theirs;
  ShortIconv cp932("UTF-8", "CP932");
  for (size_t i = 0; i < codes.size(); ++i) {
    if (s[i] == hex("81 AC")) {
      ++as_geta;
      EXPECT_EQ(ibm_characters.count(utf8[i]), 0u) << to_hex(codes[i]) << " has an IBM extension but became 〓";
      continue;
    }
    const unsigned hi = static_cast<unsigned char>(s[i][0]);
    const auto own = own_code.find(to_hex(codes[i]));
    if (own != own_code.end()) {
      EXPECT_EQ(to_hex(s[i]), own->second) << to_hex(codes[i]);
    } else {
      EXPECT_TRUE(s[i].size() == 2 && hi >= 0xFA && hi <= 0xFC && (hi < 0xFC || static_cast<unsigned char>(s[i][1]) <= 0x4B))
          << to_hex(codes[i]) << " -> " << to_hex(s[i]) << " is no IBM extension";
      ++as_ibm;
    }
    std::string read;
    kept.push_back(codes[i]);
    read_back.push_back(cp932(s[i], read) ? read : "");
    theirs.push_back(to_hex(utf8[i]));
  }
  EXPECT_EQ(expect_only_listed("EUC -> Shift-JIS read by glibc CP932", kept, read_back, theirs, broken_bar),
            281u + own_code.size() - broken_bar.size());
  EXPECT_EQ(as_ibm, 281u);  // the 280 and BROKEN BAR
  EXPECT_EQ(as_geta, 6067u - 281u - own_code.size());
  EXPECT_NE(to_sjis.err.find(replaced(as_geta)), std::string::npos) << to_sjis.err;
  std::cout << "JIS X 0212 to Shift-JIS: " << as_ibm << " IBM extensions, " << as_geta << " 〓, "
            << own_code.size() << " JIS X 0208 codes\n";
}

// The JIS forms of UTF-8 (U+301C U+2016 U+2212 U+00A2 U+00A3 U+00AC U+2014
// U+00A6) to Shift-JIS as glibc's CP932 writes them, and --unicode=jis back
// to them as nkf reads Shift-JIS.
TEST(DifferentialTables, JisFormsBothWays) {
  if (const auto lack = iconv_lacks({"CP932", "EUC-JP"}); !lack.empty()) GTEST_SKIP() << lack;
  const std::vector<std::string> jis_forms = {hex("E3 80 9C"), hex("E2 80 96"), hex("E2 88 92"), hex("C2 A2"),
                                              hex("C2 A3"),    hex("C2 AC"),    hex("E2 80 94"), hex("C2 A6")};
  TempDir dir;
  const auto sjis = lines_of(kotran_on(dir, "u.txt", one_per_line(jis_forms), {"-us"}).out);
  ShortIconv to_cp932("CP932", "UTF-8");
  const std::vector<Difference> no_broken_bar = {
      {"C2 A6", "EE FA", REFUSED, "glibc's CP932 has no BROKEN BAR; kotran reads it as ￤ (92-92)"}};
  EXPECT_EQ(expect_only_listed("UTF-8 -> Shift-JIS against glibc CP932", jis_forms, sjis,
                               each_through(to_cp932, jis_forms), no_broken_bar),
            7u);

  // Back with --unicode=jis, from the Shift-JIS kotran wrote: the seven
  // characters of JIS X 0208 proper come back in their JIS forms; ￤ of row
  // 92, an NEC-selected extension, keeps its Windows form U+FFE4 (nkf writes
  // BROKEN BAR for it).
  dir.write("s.txt", one_per_line(sjis));
  const auto back = lines_of(run_kotran({"-c", "-u", "--unicode=jis", "s.txt"}, dir.path()).out);
  const std::vector<Difference> row_92 = {
      {"EE FA", "EF BF A4", "C2 A6", "--unicode=jis changes the seven of JIS X 0208; row 92's ￤ stays U+FFE4"}};
  EXPECT_EQ(expect_only_listed("--unicode=jis against the UTF-8 it came from", sjis, back, as_hex(jis_forms), row_92),
            7u);
  if (have_nkf()) {
    EXPECT_EQ(expect_only_listed("--unicode=jis against nkf -S -w", sjis, back, as_hex(lines_of(nkf(dir, "-S -w", "s.txt"))),
                                 row_92),
              7u);
  }
  // glibc's EUC-JP reads the same codes in the JIS forms but two.
  std::vector<std::string> euc;
  for (const auto& c : sjis) euc.push_back(jis_to_euc(sjis_to_jis(c)));
  ShortIconv from_euc("UTF-8", "EUC-JP");
  const std::vector<Difference> glibc_euc = {
      {"A1 BD", "E2 80 94", "E2 80 95", "glibc's EUC-JP reads 1-29 as HORIZONTAL BAR U+2015; nkf and kotran as EM DASH"},
      {"FC FC", "EF BF A4", REFUSED, "glibc's EUC-JP has no row 92"},
  };
  EXPECT_EQ(expect_only_listed("--unicode=jis against glibc EUC-JP", euc, back, each_through(from_euc, euc), glibc_euc),
            6u);
}

// Every user-defined code of Shift-JIS (F0 40 - F9 FC): to UTF-8 as glibc's
// CP932 decodes it (U+E000-U+E757); to EUC as glibc's EUC-JP-MS writes it,
// but for Shift-JIS F2 and F3, which EUC-JP-MS puts in rows 89-92 where
// kotran keeps the NEC-selected IBM extensions; and back from every code
// byte for byte. kotran -g names each output's code.
TEST(DifferentialTables, UserDefinedCharacters) {
  if (const auto lack = iconv_lacks({"CP932", "EUC-JP-MS"}); !lack.empty()) GTEST_SKIP() << lack;
  std::vector<std::string> codes;
  for (unsigned hi = 0xF0; hi <= 0xF9; ++hi)
    for (unsigned lo = 0x40; lo <= 0xFC; ++lo)
      if (lo != 0x7F) codes.push_back(two(hi, lo));
  ASSERT_EQ(codes.size(), 1880u);
  const std::string sjis = one_per_line(codes);
  TempDir dir;
  ShortIconv to_utf8("UTF-8", "CP932"), to_euc("EUC-JP-MS", "CP932");
  const auto utf8 = lines_of(kotran_on(dir, "s.txt", sjis, {"-u"}).out);
  EXPECT_EQ(expect_only_listed("Shift-JIS -> UTF-8 against glibc CP932", codes, utf8, each_through(to_utf8, codes), {}),
            1880u);
  std::vector<Difference> rows_89_to_92;
  for (const auto& c : codes) {
    const unsigned lead = static_cast<unsigned char>(c[0]);
    if (lead != 0xF2 && lead != 0xF3) continue;
    // Row 99 is JIS X 0212 row 79 in kotran, row 89 of the main set in EUC-JP-MS.
    const std::string row_cell = sjis_to_jis(c);
    const std::string ours = "\x8F" + two((row_cell[0] - 20) | 0x80, row_cell[1] | 0x80);
    const std::string theirs = two((row_cell[0] - 10) | 0x80, row_cell[1] | 0x80);
    rows_89_to_92.push_back({to_hex(c), to_hex(ours), to_hex(theirs), "rows 89-92 hold the NEC-selected extensions"});
  }
  ASSERT_EQ(rows_89_to_92.size(), 376u);
  const auto euc = kotran_on(dir, "s.txt", sjis, {"-e"}).out;
  EXPECT_EQ(expect_only_listed("Shift-JIS -> EUC against glibc EUC-JP-MS", codes, lines_of(euc),
                               each_through(to_euc, codes), rows_89_to_92),
            1880u - 376u);

  // Round trips, and what -g calls each output.
  for (const auto& [there, name, back] : {std::tuple{"-e", "EUC", "-es"}, std::tuple{"-j", "JIS", "-js"},
                                          std::tuple{"-u", "UTF-8", "-us"}, std::tuple{"-w", "UTF-16", "-s"}}) {
    auto r = run_kotran({"-c", there, "s.txt"}, dir.path(), {}, dir.file("there.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(replaced(0).substr(0, 18)), std::string::npos) << there << ": replaced";
    const auto guessed = run_kotran({"-g", "there.txt"}, dir.path());
    EXPECT_EQ(guessed.out.substr(0, guessed.out.find(" (")), std::string("there.txt: ") + name) << there;
    r = run_kotran({"-c", back, "there.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(difference(r.out, sjis), "") << "Shift-JIS " << there << " and back";
  }
  const auto guessed = run_kotran({"-g", "s.txt"}, dir.path());
  EXPECT_EQ(guessed.out.substr(0, guessed.out.find(" (")), "s.txt: Shift-JIS");
  std::cout << "user-defined: 1880 codes; through EUC, JIS, UTF-8 and UTF-16 and back to Shift-JIS, every one\n";
}

// Every character of each table through every code that holds it and back.
// The counts go to the test's output.
// Every assigned cell of both planes of JIS X 0213, as kotran's table lists
// them, in Shift_JIS-2004, EUC-JIS-2004 and ISO-2022-JP-2004 (each cell
// after ESC $ ( Q or ESC $ ( P): read to UTF-8 as Python's shift_jis_2004,
// euc_jis_2004 and iso2022_jp_2004 read them, and written back from UTF-8 as
// Python writes what it read. Python is asked for every code of the ranges,
// so that a cell the table lacks fails too. Where they are meant to differ:
// single bytes are ASCII in every code kotran reads, and Python's
// shift_jis_2004 reads 0x5C and 0x7E as YEN SIGN and OVERLINE, so gives
// 1-1-32 and 1-2-18 \ and ~ where kotran, as euc_jis_2004 does, gives the
// full-width forms; iso2022_jp_2004 reads 1-2-18 as ~ too.
TEST(DifferentialTables, EveryJisX0213CellBothWaysAsPython) {
  if (!test::shell_here()) GTEST_SKIP() << "Python, the oracle, is run through a POSIX shell";
  if (test::run_shell("python3 -c 'import codecs; codecs.lookup(\"iso2022_jp_2004\")'", ".").status != 0)
    GTEST_SKIP() << "python3 with its CJK codecs is not installed";
  TempDir dir;
  for (const Code code : {Code::sjis2004, Code::euc2004, Code::jis2004}) {
    const std::string codec = code == Code::sjis2004  ? "shift_jis_2004"
                              : code == Code::euc2004 ? "euc_jis_2004"
                                                      : "iso2022_jp_2004";
    std::vector<std::string> cells, all;
    for (unsigned plane = 0; plane < 2; ++plane)
      for (unsigned row = 1; row <= 94; ++row) {
        // EUC-JIS-2004 keeps JIS X 0212 after SS3 in the rows plane 2 leaves empty.
        if (code != Code::sjis2004 && plane == 1 && !is_x0213_plane2_row(row + 0x20)) continue;
        for (unsigned cell = 1; cell <= 94; ++cell) {
          const uint16_t x = static_cast<uint16_t>((plane != 0 ? X0213_PLANE2 : 0) | (row + 0x20) << 8 | (cell + 0x20));
          const uint16_t s = x0213_to_sjis2004(x);
          if (code == Code::sjis2004 && s == 0) continue;
          const std::string bytes =
              code == Code::sjis2004  ? two(s >> 8, s & 0xFF)
              : code == Code::euc2004 ? (plane != 0 ? "\x8F" : "") + two(row + 0xA0, cell + 0xA0)
                                      : (plane != 0 ? "\x1B$(P" : "\x1B$(Q") + two(row + 0x20, cell + 0x20) + "\x1B(B";
          all.push_back(bytes);
          if (x0213_to_unicode(x).first != 0) cells.push_back(bytes);
        }
      }
    SCOPED_TRACE(codec);
    dir.write("all.txt", one_per_line(all));
    // Python's reading of each code as UTF-8 hex, and its writing of that
    // again as hex, or "refused".
    const auto py = test::run_shell(
        "python3 -c 'import sys\nfor line in open(\"all.txt\", \"rb\").read().split(b\"\\r\\n\")[:-1]:\n"
        "    try: text = line.decode(\"" + codec + "\")\n"
        "    except UnicodeDecodeError: print(\"" + std::string(REFUSED) + "\"); continue\n"
        "    try: back = text.encode(\"" + codec + "\").hex(\" \").upper()\n"
        "    except UnicodeEncodeError: back = \"" + std::string(REFUSED) + "\"\n"
        "    print(text.encode().hex(\" \").upper() + \"|\" + back)'",
        dir.path());
    ASSERT_EQ(py.status, 0) << py.err;
    std::vector<std::string> python_cells, python_utf8, python_back;
    std::istringstream lines(py.out);
    size_t i = 0;
    for (std::string line; std::getline(lines, line); ++i) {
      ASSERT_LT(i, all.size());
      if (line == REFUSED) continue;
      python_cells.push_back(all[i]);
      python_utf8.push_back(line.substr(0, line.find('|')));
      python_back.push_back(line.substr(line.find('|') + 1));
    }
    ASSERT_EQ(i, all.size());
    EXPECT_EQ(python_cells, cells) << "the table's cells are Python's";
    if (python_cells != cells) continue;
    dir.write("c.txt", one_per_line(cells));
    auto r = run_kotran({"-c", std::string("--from=") + info_of(code).id, "--to=utf8", "c.txt"}, dir.path(), {},
                        dir.file("u.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Difference> read_apart, written_apart;
    if (code == Code::sjis2004) {
      read_apart = {{"81 5F", "EF BC BC", "5C", "1-1-32: full-width, where 0x5C is ASCII"},
                    {"81 B0", "EF BD 9E", "7E", "1-2-18: full-width, where 0x7E is ASCII"}};
    }
    if (code == Code::jis2004) {
      read_apart = {{"1B 24 28 51 22 32 1B 28 42", "EF BD 9E", "7E", "1-2-18: full-width, as euc_jis_2004 reads it"}};
      written_apart = {{"1B 24 28 51 22 32 1B 28 42", "1B 24 28 51 22 32 1B 28 42", "7E", "the same, back"}};
    }
    std::ifstream u(dir.file("u.txt"), std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(u)), std::istreambuf_iterator<char>());
    const size_t agree = expect_only_listed(codec + " -> UTF-8", cells, lines_of(utf8), python_utf8, read_apart);
    r = run_kotran({"-c", "--from=utf8", std::string("--to=") + info_of(code).id, "u.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t back = expect_only_listed("UTF-8 -> " + codec, cells, lines_of(r.out), python_back, written_apart);
    std::cout << codec << ": " << cells.size() << " cells, " << agree << " read and " << back
              << " written back as Python does\n";
  }
}

TEST(DifferentialTables, RoundTripsOfEveryCharacter) {
  if (const auto lack = iconv_lacks({"CP932"}); !lack.empty()) GTEST_SKIP() << lack;
  TempDir dir;
  const auto there_and_back = [&](const std::string& name, const std::string& input, const std::string& there,
                                  const std::string& back) {
    dir.write(name, input);
    auto r = run_kotran({"-c", there, name}, dir.path(), {}, dir.file("there.txt"));
    EXPECT_EQ(r.status, 0) << r.err;
    r = run_kotran({"-c", back, "there.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(replaced(0).substr(0, 18)), std::string::npos) << there << " " << back << ": replaced";
    return r.out;
  };

  // JIS X 0208 rows 1-94: the codes glibc's CP932 decodes (rows 1-92 of
  // Shift-JIS 81 40 - EE FC; rows 93 and 94 are empty), in EUC.
  std::vector<std::string> jis0208, jis0208_utf8;
  {
    ShortIconv cp932("UTF-8", "CP932");
    for (unsigned hi : {0x81u, 0xE0u})
      for (unsigned h = hi; h <= (hi == 0x81 ? 0x9Fu : 0xEFu); ++h)
        for (unsigned lo = 0x40; lo <= 0xFC; ++lo) {
          std::string u;
          if (lo == 0x7F || !cp932(two(h, lo), u)) continue;
          jis0208.push_back(jis_to_euc(sjis_to_jis(two(h, lo))));
          jis0208_utf8.push_back(u);
        }
  }
  const std::string euc = one_per_line(jis0208);
  EXPECT_EQ(difference(there_and_back("e.txt", euc, "-es", "-e"), euc), "") << "EUC -> Shift-JIS -> EUC";
  EXPECT_EQ(difference(there_and_back("e.txt", euc, "-ej", "-je"), euc), "") << "EUC -> JIS -> EUC";
  // Through UTF-8 a code comes back as the lowest code that holds its
  // character (as glibc's CP932 reads them): NEC row 13's ≒ ≡ ∫ ... go to
  // row 2, and rows 89-92's ￢ to row 2 as well.
  std::map<std::string, std::string> lowest;
  for (size_t i = 0; i < jis0208.size(); ++i) lowest.emplace(jis0208_utf8[i], jis0208[i]);
  std::vector<std::string> expected_back;
  std::vector<Difference> duplicates;
  for (size_t i = 0; i < jis0208.size(); ++i) {
    expected_back.push_back(to_hex(lowest[jis0208_utf8[i]]));
    if (lowest[jis0208_utf8[i]] != jis0208[i])
      duplicates.push_back({to_hex(jis0208[i]), to_hex(lowest[jis0208_utf8[i]]), to_hex(jis0208[i]),
                            "a lower code holds the same character"});
  }
  const auto via_utf8 = lines_of(there_and_back("e.txt", euc, "-eu", "-ue"));
  const size_t same = expect_only_listed("EUC -> UTF-8 -> EUC", jis0208, via_utf8, as_hex(jis0208), duplicates);
  EXPECT_EQ(expect_only_listed("EUC -> UTF-8 -> EUC, the lowest code", jis0208, via_utf8, expected_back, {}),
            jis0208.size());
  EXPECT_EQ(duplicates.size(), 10u);  // Python's cp932 finds the same 10 among 7,336
  std::cout << "JIS X 0208: " << jis0208.size() << " codes; EUC -> Shift-JIS -> EUC and EUC -> JIS -> EUC give "
            << "every one back; EUC -> UTF-8 -> EUC " << same << ", and " << duplicates.size()
            << " as the lower code of their character\n";

  // JIS X 0212: byte for byte through JIS; through UTF-8 the characters JIS
  // X 0208 also holds come back as their JIS X 0208 code, the others as
  // they were.
  if (!iconv_has("EUC-JP")) return;
  std::vector<std::string> codes, utf8;
  jis0212_codes(codes, utf8);
  const std::string euc0212 = one_per_line(codes);
  EXPECT_EQ(difference(there_and_back("x.txt", euc0212, "-ej", "-je"), euc0212), "") << "JIS X 0212 via JIS";
  const auto back = lines_of(there_and_back("x.txt", euc0212, "-eu", "-ue"));
  ASSERT_EQ(back.size(), codes.size());
  size_t same0212 = 0, to0208 = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (back[i] == codes[i]) {
      ++same0212;
      continue;
    }
    ++to0208;
    // One of the JIS X 0208 codes (rows 1-94) whose character this is, as
    // glibc's CP932 reads them, or (BROKEN BAR) the one of its Windows form.
    const auto at = std::find(jis0208.begin(), jis0208.end(), back[i]);
    ASSERT_NE(at, jis0208.end()) << to_hex(codes[i]) << " -> " << to_hex(back[i]);
    const auto& read = jis0208_utf8[at - jis0208.begin()];
    if (utf8[i] == hex("C2 A6")) EXPECT_EQ(to_hex(read), "EF BF A4");
    else EXPECT_EQ(to_hex(read), to_hex(utf8[i])) << to_hex(codes[i]) << " -> " << to_hex(back[i]);
  }
  EXPECT_EQ(to0208, 282u);  // Python: 281 of the characters are in cp932, and BROKEN BAR
  std::cout << "JIS X 0212: " << codes.size() << " codes; EUC -> JIS -> EUC gives every one back; EUC -> UTF-8 -> EUC "
            << same0212 << ", and " << to0208 << " as the JIS X 0208 code of their character\n";

  // IBM extensions: Shift-JIS -> UTF-8 -> Shift-JIS writes the lowest code
  // of the character (ED/EE, row 13 or row 2), so the test is that glibc's
  // CP932 reads the same character on both sides, not the same bytes.
  const auto ibm = ibm_extension_codes();
  const std::string sjis = one_per_line(ibm);
  const std::string ibm_back = there_and_back("s.txt", sjis, "-u", "-us");
  std::string read_in, read_back;
  ASSERT_TRUE(glibc_iconv("UTF-8", "CP932", sjis, read_in));
  ASSERT_TRUE(glibc_iconv("UTF-8", "CP932", ibm_back, read_back));
  EXPECT_EQ(difference(read_back, read_in), "");
  size_t ibm_same_bytes = 0;
  for (const auto& l : lines_of(ibm_back)) ibm_same_bytes += static_cast<unsigned char>(l[0]) >= 0xFA;
  EXPECT_EQ(ibm_same_bytes, 0u);
  std::cout << "IBM extensions: " << ibm.size() << " codes; Shift-JIS -> UTF-8 -> Shift-JIS gives the same character "
            << "for every one, as the lowest code of it\n";
}

}  // namespace
}  // namespace kotran
