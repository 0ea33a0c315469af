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
#include <iconv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codes/code.h"
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
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
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
    for (const char* c : {"CP932", "EUC-JP", "ISO-2022-JP"})
      if (!iconv_has(c)) skip_reason = std::string("glibc iconv lacks ") + c;
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
    if (c.to == index_of(Code::jis)) {
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
      EXPECT_EQ(difference(dir->read("back.txt"), original), "");
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
  if (!iconv_has("CP932")) GTEST_SKIP() << "glibc iconv lacks CP932";
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
      EXPECT_EQ(to_hex(r.out), to_hex(forms[to]));
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
  const std::string input = hex("E3 80 9C E2 80 96 C2 A2 C2 A3 C2 AC E2 80 94 E2 88 92 0D 0A");
  std::string cp932;
  ASSERT_TRUE(glibc_iconv("CP932", "UTF-8", input, cp932));
  const struct {
    const char* opt;
    std::string expected;
  } cases[] = {
      {"-us", cp932},
      {"-ue", hex("A1 C1 A1 C2 A1 F1 A1 F2 A2 CC A1 BD A1 DD 0D 0A")},
      {"-uj", hex("1B 24 42 21 41 21 42 21 71 21 72 22 4C 21 3D 21 5D 1B 28 4A 0D 0A")},
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

// YEN SIGN and OVERLINE are written as the one-byte 5C and 7E, as iconv's
// CP932 and EUC-JP write them. (iconv's ISO-2022-JP writes them after
// ESC ( J and returns with ESC ( B; kotran's JIS output has one one-byte set,
// so there they are plain 5C and 7E and are not compared.)
TEST(DifferentialMapping, YenSignAndOverlineAsIconvWritesThem) {
  if (!iconv_has("CP932") || !iconv_has("EUC-JP")) GTEST_SKIP() << "glibc iconv lacks CP932 or EUC-JP";
  const std::string input = "a" + hex("C2 A5") + "1000 " + hex("E2 80 BE") + "\r\n";
  TempDir dir;
  dir.write("u.txt", input);
  for (unsigned to : {index_of(Code::sjis), index_of(Code::euc)}) {
    std::string expected;
    ASSERT_TRUE(glibc_iconv(ICONV_NAME[to], "UTF-8", input, expected));
    auto r = run_kotran({"-c", option(index_of(Code::utf8), to), "u.txt"}, dir.path());
    EXPECT_EQ(to_hex(r.out), to_hex(expected)) << CODE_NAME[to];
  }
}

// Shift-JIS text written by Windows holds the IBM extension codes FA 40 -
// FC 4B (髙 FB FC and 﨑 FA B1 in names, ⅰ FA 40); glibc's CP932 writes
// them so. Every one of them names a character that kotran's table holds
// under another code (髙 is also EE E0, 﨑 ED 95, ⅰ EE EF), and CP932 and the
// WHATWG Shift_JIS decoder both decode them, so converting them to UTF-8
// must give the characters.
TEST(DifferentialMapping, IbmExtensionCodesOfShiftJisDecodeAsCp932) {
  if (!iconv_has("CP932")) GTEST_SKIP() << "glibc iconv lacks CP932";
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

// The user-defined codes of Shift-JIS (F0 40 - F9 FC) name no character:
// glibc's CP932 decodes them to private-use characters (F0 40 as U+E000,
// F9 FC as U+E757); kotran replaces each with U+FFFD and counts it.
TEST(DifferentialMapping, UserDefinedCodesAreReplacedAndCounted) {
  TempDir dir;
  dir.write("s.txt", hex("88 9F F0 40 F9 FC 0D 0A"));  // 亜 and two user-defined codes
  auto r = run_kotran({"-c", "-u", "s.txt"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(to_hex(r.out), "E4 BA 9C EF BF BD EF BF BD 0D 0A");
  const std::string replaced_two = hex("95 CF 8A B7 82 C5 82 AB 82 C8 82 A2 95 B6 8E 9A 82 F0") + " 2 ";
  EXPECT_NE(r.err.find(replaced_two), std::string::npos) << to_hex(r.err);
}

}  // namespace
}  // namespace kotran
