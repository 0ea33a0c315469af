// Tests of the JIS X 0208 <-> Unicode table (src/codes/unicode_table.cpp)
// and the JIS X 0212 one (src/codes/jis0212_table.cpp): round trips over every
// code, glibc's CP932 and EUC-JP converters and Python's euc_jp codec as
// independent oracles, and spot checks.
#include "codes/jis0212_table.h"
#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace kotran {
namespace {

constexpr unsigned JIS_FIRST = 0x21;
constexpr unsigned JIS_LAST = 0x7E;
// Past row 94 the table goes on to row 120 (row byte 0x98), where only
// Shift-JIS reaches: lead bytes 0xF0-0xF9 are user-defined (U+E000-U+E757),
// and 0xFA-0xFC hold the IBM extensions.
constexpr unsigned FORWARD_LAST = 0x98;
constexpr int IBM_EXTENSIONS = 388;
constexpr int USER_DEFINED = 1880;
// Rows 85-88 and 93-94 hold the user-defined characters of rows 95-98 and
// 103-104.
constexpr int USER_DEFINED_IN_ROWS = 6 * 94;

// JIS codes that are mapped; pinned so that a change of the generator's source
// shows up here.
constexpr int MAPPED_CODES = 7336;

// Characters with more than one JIS code: NEC row 13 and the NEC-selected IBM
// extensions (rows 89-92) repeat characters of rows 1-2. unicode_to_jis gives
// the lowest code, as the WHATWG EUC-JP encoder does.
struct Duplicate {
  char32_t u;
  uint16_t lowest;  // what unicode_to_jis gives
  uint16_t other;   // the other code that decodes to u
};
constexpr Duplicate DUPLICATES[] = {
    {0x2252, 0x2262, 0x2D70},  // APPROXIMATELY EQUAL TO OR THE IMAGE OF
    {0x2261, 0x2261, 0x2D71},  // IDENTICAL TO
    {0x222B, 0x2269, 0x2D72},  // INTEGRAL
    {0x221A, 0x2265, 0x2D75},  // SQUARE ROOT
    {0x22A5, 0x225D, 0x2D76},  // UP TACK
    {0x2220, 0x225C, 0x2D77},  // ANGLE
    {0x2235, 0x2268, 0x2D7A},  // BECAUSE
    {0x2229, 0x2241, 0x2D7B},  // INTERSECTION
    {0x222A, 0x2240, 0x2D7C},  // UNION
    {0xFFE2, 0x224C, 0x7C7B},  // FULLWIDTH NOT SIGN
};

const Duplicate* find_duplicate(char32_t u) {
  for (const Duplicate& d : DUPLICATES)
    if (d.u == u) return &d;
  return nullptr;
}

// Shift-JIS bytes of a JIS code, by the standard arithmetic.
std::string sjis_bytes(unsigned hi, unsigned lo) {
  unsigned lead = ((hi - 0x21) >> 1) + 0x81;
  if (lead > 0x9F) lead += 0x40;
  unsigned trail;
  if (hi & 1) {
    trail = lo + 0x1F;
    if (trail >= 0x7F) ++trail;
  } else {
    trail = lo + 0x7E;
  }
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", v);
  return buf;
}

TEST(UnicodeTable, MappedCount) {
  int mapped = 0;
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi)
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo)
      if (jis_to_unicode(static_cast<uint16_t>(hi << 8 | lo)) != 0) ++mapped;
  EXPECT_EQ(mapped, MAPPED_CODES + USER_DEFINED_IN_ROWS);
  int past = 0;
  for (unsigned hi = JIS_LAST + 1; hi <= FORWARD_LAST; ++hi)
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo)
      if (jis_to_unicode(static_cast<uint16_t>(hi << 8 | lo)) != 0) ++past;
  EXPECT_EQ(past, IBM_EXTENSIONS + USER_DEFINED);
}

// The IBM extensions past row 94 map back into rows 1-94; of the
// user-defined characters, those the tables keep there.
TEST(UnicodeTable, CodesPastRow94MapBackIntoRows1To94) {
  for (unsigned hi = JIS_LAST + 1; hi <= FORWARD_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const uint16_t jis = static_cast<uint16_t>(hi << 8 | lo);
      const char16_t u = jis_to_unicode(jis);
      if (u == 0) continue;
      const unsigned sjis_row = hi - JIS_FIRST + 1;
      if (sjis_row <= 114) {
        EXPECT_EQ(u, 0xE000 + (sjis_row - 95) * 94 + (lo - JIS_FIRST)) << hex(jis);
        const bool main_set = sjis_row <= 98 || sjis_row == 103 || sjis_row == 104;
        EXPECT_EQ(unicode_to_jis(u), main_set ? jis - 0x0A00 : 0) << hex(jis);
        continue;
      }
      const uint16_t back = unicode_to_jis(u);
      EXPECT_LE(back >> 8, JIS_LAST) << hex(jis);
      EXPECT_EQ(jis_to_unicode(back), u) << hex(jis);
    }
  }
}

TEST(UnicodeTable, EveryJisCodeRoundTrips) {
  std::map<char32_t, std::vector<uint16_t>> codes_of;  // duplicates only
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const uint16_t jis = static_cast<uint16_t>(hi << 8 | lo);
      const char16_t u = jis_to_unicode(jis);
      if (u == 0) continue;
      const uint16_t back = unicode_to_jis(u);
      EXPECT_EQ(jis_to_unicode(back), u) << "JIS " << hex(jis) << " -> U+" << hex(u) << " -> " << hex(back);
      if (const Duplicate* d = find_duplicate(u)) {
        EXPECT_EQ(back, d->lowest) << "U+" << hex(u);
        codes_of[u].push_back(jis);
      } else {
        EXPECT_EQ(back, jis) << "U+" << hex(u) << " (not listed in DUPLICATES)";
      }
    }
  }
  // DUPLICATES lists each duplicate's codes exactly.
  for (const Duplicate& d : DUPLICATES)
    EXPECT_EQ(codes_of[d.u], (std::vector<uint16_t>{d.lowest, d.other})) << "U+" << hex(d.u);
}

TEST(UnicodeTable, EveryBmpCharacterMapsToACodeOfItself) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const uint16_t jis = unicode_to_jis(u);
    // Into Shift-JIS the vector paths look up the pair itself, for rows 1-84
    // alone (from row 85 on the lead bytes are the user-defined ones).
    EXPECT_EQ(unicode_tables::UNICODE_TO_SJIS_ARITHMETIC[u], jis != 0 && jis < 0x7521 ? jis_to_sjis_code(jis) : 0)
        << "U+" << hex(u) << " -> " << hex(jis);
    if (jis == 0) continue;
    // The JIS forms (U+301C WAVE DASH, ...) -> the codes of their Windows forms.
    if (jis_to_unicode(jis) != u) {
      const char16_t windows_form = jis_to_unicode(jis);
      EXPECT_TRUE(jis_unicode_form(windows_form) == u || (u == 0xA6 && windows_form == 0xFFE4))
          << "U+" << hex(u) << " -> " << hex(jis);
      continue;
    }
    EXPECT_EQ(jis_to_unicode(jis), u) << "U+" << hex(u) << " -> " << hex(jis);
  }
}

// The stored UTF-8 forms of rows 1-94 decode to the table's characters.
TEST(UnicodeTable, Utf8FormsOfEveryCode) {
  const Utf8Form* forms = utf8_row_forms();
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const uint16_t jis = static_cast<uint16_t>(hi << 8 | lo);
      const Utf8Form& f = forms[(hi - JIS_FIRST) * 94 + (lo - JIS_FIRST)];
      const char16_t u = jis_to_unicode(jis);
      char32_t decoded = 0;
      if (f.count == 2 && (f.bytes[0] & 0xE0) == 0xC0 && (f.bytes[1] & 0xC0) == 0x80)
        decoded = (f.bytes[0] & 0x1Fu) << 6 | (f.bytes[1] & 0x3Fu);
      else if (f.count == 3 && (f.bytes[0] & 0xF0) == 0xE0 && (f.bytes[1] & 0xC0) == 0x80 && (f.bytes[2] & 0xC0) == 0x80)
        decoded = (f.bytes[0] & 0x0Fu) << 12 | (f.bytes[1] & 0x3Fu) << 6 | (f.bytes[2] & 0x3Fu);
      EXPECT_EQ(decoded, char32_t{u}) << hex(jis) << " count " << int{f.count};
      // The shortest form: two bytes exactly below U+0800.
      if (u != 0) {
        EXPECT_EQ(f.count, u < 0x800 ? 2 : 3) << hex(jis);
      }
    }
  }
  struct Spot {
    uint16_t jis;
    uint8_t bytes[3];
    uint8_t count;
  };
  const Spot spots[] = {{0x2422, {0xE3, 0x81, 0x82}, 3},   // あ
                        {0x2621, {0xCE, 0x91, 0x00}, 2},   // Α
                        {0x215F, {0xC3, 0x97, 0x00}, 2},   // ×
                        {0x7E7E, {0xEE, 0x8E, 0xAB}, 3},   // the last code: user-defined U+E3AB
                        {0x2F21, {0x00, 0x00, 0x00}, 0}};  // row 15: unassigned
  for (const Spot& s : spots) {
    const Utf8Form& f = forms[((s.jis >> 8) - JIS_FIRST) * 94 + ((s.jis & 0xFF) - JIS_FIRST)];
    EXPECT_EQ(f.count, s.count) << hex(s.jis);
    for (unsigned i = 0; i < s.count; ++i) EXPECT_EQ(f.bytes[i], s.bytes[i]) << hex(s.jis) << " byte " << i;
  }
}

TEST(UnicodeTable, OutOfRangeInputsGiveZero) {
  for (unsigned jis = 0; jis <= 0xFFFF; ++jis) {
    const unsigned hi = jis >> 8, lo = jis & 0xFF;
    if (hi >= JIS_FIRST && hi <= FORWARD_LAST && lo >= JIS_FIRST && lo <= JIS_LAST) continue;
    EXPECT_EQ(jis_to_unicode(static_cast<uint16_t>(jis)), 0) << hex(jis);
  }
  for (char32_t u : {char32_t{0x10000}, char32_t{0x1F600}, char32_t{0x2F800}, char32_t{0x10FFFF},
                     char32_t{0x110000}, char32_t{0xFFFFFFFF}, char32_t{0x12212}, char32_t{0x13042}})
    EXPECT_EQ(unicode_to_jis(u), 0) << "U+" << hex(u);
}

TEST(UnicodeTable, SpotChecks) {
  struct Pair {
    uint16_t jis;
    char16_t u;
  };
  // Both directions.
  constexpr Pair PAIRS[] = {
      {0x2121, 0x3000},  // IDEOGRAPHIC SPACE
      {0x2140, 0xFF3C},  // FULLWIDTH REVERSE SOLIDUS (not U+005C)
      {0x2141, 0xFF5E},  // FULLWIDTH TILDE (not U+301C WAVE DASH)
      {0x215D, 0xFF0D},  // FULLWIDTH HYPHEN-MINUS
      {0x2422, 0x3042},  // HIRAGANA LETTER A
      {0x2D21, 0x2460},  // CIRCLED DIGIT ONE (NEC row 13)
      {0x3021, 0x4E9C},  // first kanji of level 1
      {0x7426, 0x7199},  // last kanji of level 2
      {0x7921, 0x7E8A},  // first NEC-selected IBM extension
      {0x7C7E, 0xFF02},  // last NEC-selected IBM extension
  };
  for (const Pair& p : PAIRS) {
    EXPECT_EQ(jis_to_unicode(p.jis), p.u) << hex(p.jis);
    EXPECT_EQ(unicode_to_jis(p.u), p.jis) << "U+" << hex(p.u);
  }
  // One direction only.
  EXPECT_EQ(unicode_to_jis(0x2212), 0x215D);  // MINUS SIGN, as the WHATWG encoders do
  EXPECT_EQ(unicode_to_jis(0x301C), 0x2141);  // WAVE DASH, as FULLWIDTH TILDE
  EXPECT_EQ(unicode_to_jis(0x00A6), 0x7C7C);  // BROKEN BAR, as the NEC-selected ￤
  EXPECT_EQ(jis_to_unicode(0x2D70), 0x2252);  // duplicate: back to the lowest code
  EXPECT_EQ(unicode_to_jis(0x2252), 0x2262);
  EXPECT_EQ(jis_to_unicode(0x7C7B), 0xFFE2);
  EXPECT_EQ(unicode_to_jis(0xFFE2), 0x224C);
  constexpr Pair UNMAPPED[] = {
      {0x2F21, 0},  // row 15 is empty
      {0x222F, 0},  // gap in row 2
      {0x7427, 0},  // after the last kanji of level 2
      {0x9921, 0},  // row byte out of range
      {0x2120, 0},  // cell byte out of range
      {0x217F, 0},
      {0x2021, 0},
      {0x0000, 0},
      {0xFFFF, 0},
  };
  for (const Pair& p : UNMAPPED) EXPECT_EQ(jis_to_unicode(p.jis), 0) << hex(p.jis);
  EXPECT_EQ(jis_to_unicode(0x9321), 0x2170);  // Shift-JIS FA 40, an IBM extension: ⅰ
  EXPECT_EQ(unicode_to_jis(0x2170), 0x7C71);  // back to its NEC-selected code (Shift-JIS EE EF)
  for (char32_t u : {0x0000, 0x0041, 0x005C, 0x007E, 0x00A5, 0x203E, 0xFF61, 0xE178, 0xE758, 0xFFFF})
    EXPECT_EQ(unicode_to_jis(u), 0) << "U+" << hex(u);
  // User-defined: Shift-JIS F0 40 in row 85, F2 40 in JIS X 0212 row 79.
  EXPECT_EQ(jis_to_unicode(0x7F21), 0xE000);
  EXPECT_EQ(unicode_to_jis(0xE000), 0x7521);
  EXPECT_EQ(unicode_to_jis0212(0xE178), 0x6F21);
}

// ---- glibc's CP932 converter as an oracle ----

// Where glibc's CP932 and the WHATWG index disagree. With glibc 2.36 they
// agree on every code of rows 1-94, so the list is empty; a disagreement found
// on another glibc must be listed here with the reason, or the test fails.
struct IconvException {
  uint16_t jis;
  char16_t table;  // what jis_to_unicode gives
  char16_t iconv;  // what iconv gives (0 = cannot convert)
};
const std::vector<IconvException> ICONV_EXCEPTIONS = {};

// Whether the shell finds the program (an oracle that runs as a program).
bool on_path(const char* name) { return test::run_shell(std::string("command -v ") + name, ".").status == 0; }

// Runs `iconv -c -f CP932 -t UTF-32BE` on bytes; returns the code points, or
// fails the test.
std::u32string run_iconv(const std::string& input) {
  const test::TempDir dir;
  dir.write("table", input);
  const test::RunResult run = test::run_shell("iconv -c -f CP932 -t UTF-32BE table", dir.path());
  // iconv -c exits with 0, or with 1 on versions that report the characters
  // it omitted; anything else is a failure of the run.
  EXPECT_LE(static_cast<unsigned>(run.status), 1u) << "iconv: status " << run.status << ": " << run.err;
  const std::string& bytes = run.out;
  EXPECT_EQ(bytes.size() % 4, 0u);
  std::u32string out;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const auto b = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i + k])); };
    out.push_back(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
  }
  return out;
}

std::vector<std::u32string> split_lines(const std::u32string& text) {
  std::vector<std::u32string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  EXPECT_EQ(start, text.size()) << "iconv output does not end with a newline";
  return lines;
}

// Converts one sequence from the code with glibc's iconv(3): the character,
// or 0 when the converter rejects the sequence. Same converter as the iconv
// program, used only to settle sequences whose `iconv -c` output is ambiguous.
char32_t iconv_one(const char* from, const std::string& seq) {
  std::string out;
  if (!test::glibc_iconv("UTF-32BE", from, seq, out)) return 0;
  if (out.size() != 4) return 0xFFFFFFFF;  // not one character: flagged by the caller
  const auto b = [&](int k) { return static_cast<char32_t>(static_cast<unsigned char>(out[k])); };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

TEST(UnicodeTable, AgreesWithIconvCp932) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  if (!on_path("iconv")) GTEST_SKIP() << "iconv is not on PATH: no oracle to compare with";
  if (iconv_one("CP932", "A") == 0) GTEST_SKIP() << "glibc has no CP932 converter";

  // One iconv run: every two-byte Shift-JIS sequence of rows 1-120, then every
  // possible trail byte alone, each on a line of its own. `iconv -c` drops a
  // sequence it cannot convert; glibc drops only the lead byte and decodes the
  // trail byte by itself, so such a line reads as the trail byte's own line.
  std::vector<uint16_t> codes;
  std::string input;
  for (unsigned hi = JIS_FIRST; hi <= FORWARD_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      codes.push_back(static_cast<uint16_t>(hi << 8 | lo));
      input += sjis_bytes(hi, lo) + "\n";
    }
  }
  constexpr unsigned TRAIL_FIRST = 0x40, TRAIL_LAST = 0xFC;
  for (unsigned t = TRAIL_FIRST; t <= TRAIL_LAST; ++t) input += std::string(1, static_cast<char>(t)) + "\n";

  const std::vector<std::u32string> lines = split_lines(run_iconv(input));
  ASSERT_EQ(lines.size(), codes.size() + (TRAIL_LAST - TRAIL_FIRST + 1));

  std::vector<IconvException> found;
  int iconv_mapped = 0, settled_by_iconv3 = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    const uint16_t jis = codes[i];
    const std::string seq = sjis_bytes(jis >> 8, jis & 0xFF);
    const std::u32string& line = lines[i];
    const std::u32string& trail_alone = lines[codes.size() + static_cast<unsigned char>(seq[1]) - TRAIL_FIRST];
    char32_t oracle;
    if (line.empty()) {
      oracle = 0;  // dropped whole
    } else if (line != trail_alone) {
      ASSERT_EQ(line.size(), 1u) << hex(jis) << ": iconv gives more than one character";
      oracle = line[0];
    } else {
      // Either dropped, or a real mapping to what the trail byte gives alone.
      oracle = iconv_one("CP932", seq);
      ASSERT_NE(oracle, 0xFFFFFFFFu) << hex(jis) << ": iconv(3) gives more than one character";
      ++settled_by_iconv3;
    }
    // glibc's CP932 leaves rows 85-88 and 93-94 (Shift-JIS EB, EC, EF)
    // empty; they hold user-defined characters here.
    const unsigned row = (jis >> 8) - JIS_FIRST + 1;
    if (oracle == 0 && ((row >= 85 && row <= 88) || row == 93 || row == 94))
      oracle = 0xE000 + (row - 85) * 94 + (jis & 0xFF) - JIS_FIRST;  // those of rows 95-98 and 103-104
    if (oracle != 0) ++iconv_mapped;
    const char16_t table = jis_to_unicode(jis);
    if (oracle != table) found.push_back({jis, table, static_cast<char16_t>(oracle)});
  }

  std::string diffs;
  for (const IconvException& e : found) {
    bool listed = false;
    for (const IconvException& x : ICONV_EXCEPTIONS)
      listed = listed || (x.jis == e.jis && x.table == e.table && x.iconv == e.iconv);
    if (!listed) diffs += "  {" + hex(e.jis) + ", " + hex(e.table) + ", " + hex(e.iconv) + "},\n";
  }
  EXPECT_TRUE(diffs.empty()) << "table and iconv disagree (jis, table, iconv):\n" << diffs;
  for (const IconvException& x : ICONV_EXCEPTIONS) {
    bool seen = false;
    for (const IconvException& e : found) seen = seen || (x.jis == e.jis && x.table == e.table && x.iconv == e.iconv);
    EXPECT_TRUE(seen) << "listed exception " << hex(x.jis) << " no longer occurs";
  }
  int expected_mapped = MAPPED_CODES + IBM_EXTENSIONS + USER_DEFINED + USER_DEFINED_IN_ROWS;
  for (const IconvException& x : ICONV_EXCEPTIONS) expected_mapped += (x.iconv != 0) - (x.table != 0);
  EXPECT_EQ(iconv_mapped, expected_mapped);
  RecordProperty("settled_by_iconv3", settled_by_iconv3);
}

// ---- JIS X 0212 ----

// JIS X 0212 codes that are mapped, and how many of their characters JIS X
// 0208 holds too (U+2116 NUMERO SIGN of NEC row 13, U+FF5E FULLWIDTH TILDE,
// and the kanji among the IBM extensions); pinned so that a change of the
// index or of the JIS X 0208 table shows up here.
constexpr int JIS0212_MAPPED = 6067;
constexpr int JIS0212_HELD_BY_JIS0208 = 282;
// User-defined characters in rows 79-82 and 85-94.
constexpr int JIS0212_USER_DEFINED = 14 * 94;

uint16_t jis_code(unsigned hi, unsigned lo) { return static_cast<uint16_t>(hi << 8 | lo); }

// The EUC-JP bytes of a JIS X 0212 code: SS3, then both bytes with the high
// bit set.
std::string euc_jis0212_bytes(uint16_t jis) {
  return {'\x8F', static_cast<char>((jis >> 8) | 0x80), static_cast<char>((jis & 0xFF) | 0x80)};
}

TEST(Jis0212Table, MappedCount) {
  int mapped = 0, held = 0;
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const char16_t u = jis0212_to_unicode(jis_code(hi, lo));
      if (u == 0) continue;
      ++mapped;
      if (unicode_to_jis(u) != 0) ++held;
    }
  }
  EXPECT_EQ(mapped, JIS0212_MAPPED + JIS0212_USER_DEFINED);
  EXPECT_EQ(held, JIS0212_HELD_BY_JIS0208);
}

// Every mapped code comes back from unicode_to_jis0212 (the lowest one of a
// character with several), unless JIS X 0208 holds the character: then
// unicode_to_jis0212 gives 0 and unicode_to_jis a code of the same character.
TEST(Jis0212Table, EveryCodeRoundTripsUnlessJisX0208HoldsIt) {
  std::map<char32_t, uint16_t> lowest;
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const uint16_t jis = jis_code(hi, lo);
      const char16_t u = jis0212_to_unicode(jis);
      if (u == 0) continue;
      lowest.emplace(u, jis);  // ascending order: the first is the lowest
      const uint16_t jis0208 = unicode_to_jis(u);
      if (jis0208 != 0) {
        EXPECT_EQ(unicode_to_jis0212(u), 0) << hex(jis) << " -> U+" << hex(u) << ", which JIS X 0208 holds";
        // U+00A6 BROKEN BAR reads as the NEC-selected ￤, its Windows form.
        EXPECT_EQ(jis_to_unicode(jis0208), u == 0xA6 ? 0xFFE4 : u) << hex(jis) << " -> U+" << hex(u);
      } else {
        EXPECT_EQ(unicode_to_jis0212(u), lowest.at(u)) << hex(jis) << " -> U+" << hex(u);
      }
    }
  }
}

TEST(Jis0212Table, EveryBmpCharacterMapsToACodeOfItself) {
  int inverse = 0;
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const uint16_t jis = unicode_to_jis0212(u);
    if (jis == 0) continue;
    ++inverse;
    EXPECT_EQ(jis0212_to_unicode(jis), u) << "U+" << hex(u) << " -> " << hex(jis);
    EXPECT_EQ(unicode_to_jis(u), 0) << "U+" << hex(u) << " has a JIS X 0208 code too";
  }
  EXPECT_EQ(inverse, JIS0212_MAPPED - JIS0212_HELD_BY_JIS0208 + JIS0212_USER_DEFINED);
}

TEST(Jis0212Table, OutOfRangeInputsGiveZero) {
  for (unsigned jis = 0; jis <= 0xFFFF; ++jis) {
    const unsigned hi = jis >> 8, lo = jis & 0xFF;
    if (hi >= JIS_FIRST && hi <= JIS_LAST && lo >= JIS_FIRST && lo <= JIS_LAST) continue;
    EXPECT_EQ(jis0212_to_unicode(static_cast<uint16_t>(jis)), 0) << hex(jis);
  }
  for (char32_t u : {char32_t{0x10000}, char32_t{0x1F600}, char32_t{0x2F800}, char32_t{0x10FFFF},
                     char32_t{0x110000}, char32_t{0xFFFFFFFF}, char32_t{0x100E1}, char32_t{0x14E02}})
    EXPECT_EQ(unicode_to_jis0212(u), 0) << "U+" << hex(u);
}

TEST(Jis0212Table, SpotChecks) {
  struct Row {
    uint16_t jis;
    char16_t u;        // what jis0212_to_unicode gives
    uint16_t back;     // what unicode_to_jis0212(u) gives
    uint16_t jis0208;  // what unicode_to_jis(u) gives
  };
  constexpr Row ROWS[] = {
      {0x222F, 0x02D8, 0x222F, 0},  // BREVE, the first mapped code
      {0x2237, 0xFF5E, 0, 0x2141},  // FULLWIDTH TILDE: JIS X 0208 has it
      {0x2243, 0x00A6, 0, 0x7C7C},  // BROKEN BAR: read as the NEC-selected ￤
      {0x226F, 0x2122, 0x226F, 0},  // TRADE MARK SIGN
      {0x2271, 0x2116, 0, 0x2D62},  // NUMERO SIGN: in NEC row 13
      {0x2921, 0x00C6, 0x2921, 0},  // LATIN CAPITAL LETTER AE (row 9)
      {0x2A21, 0x00C1, 0x2A21, 0},  // LATIN CAPITAL LETTER A WITH ACUTE (row 10)
      {0x2B21, 0x00E1, 0x2B21, 0},  // LATIN SMALL LETTER A WITH ACUTE (row 11)
      {0x3021, 0x4E02, 0x3021, 0},  // 丂, the first kanji
      {0x3029, 0x4E28, 0, 0x792D},  // 丨: a NEC-selected IBM extension
      {0x5463, 0x7E8A, 0, 0x7921},  // 纊: the first of them
      {0x6D63, 0x9FA5, 0x6D63, 0},  // 龥, the last mapped code
  };
  for (const Row& r : ROWS) {
    EXPECT_EQ(jis0212_to_unicode(r.jis), r.u) << hex(r.jis);
    EXPECT_EQ(unicode_to_jis0212(r.u), r.back) << "U+" << hex(r.u);
    EXPECT_EQ(unicode_to_jis(r.u), r.jis0208) << "U+" << hex(r.u);
  }
  constexpr uint16_t UNMAPPED[] = {
      0x2121,  // row 1 is empty
      0x222E,  // just before the first mapped code
      0x223A,  // gap in row 2
      0x6D64,  // just after the last mapped code
      0x6E7E,  // row 78, before the user-defined rows
      0x7321,  // rows 83-84 are empty
      0x2120, 0x217F, 0x2021, 0x7F21,  // a byte out of range
      0xA1A1, 0xB0A1,                  // EUC bytes, high bits set
      0x0000, 0xFFFF,
  };
  for (uint16_t jis : UNMAPPED) EXPECT_EQ(jis0212_to_unicode(jis), 0) << hex(jis);
  EXPECT_EQ(jis0212_to_unicode(0x7E7E), 0xE757);  // the last code: user-defined, Shift-JIS F9 FC
  // ASCII, characters of JIS X 0208, and ones neither table holds.
  for (char32_t u : {0x0000, 0x0041, 0x007E, 0x00A5, 0x203E, 0x3000, 0x3042, 0x4E9C, 0xFF0D, 0x2212, 0x0180,
                     0xE000, 0xFFFD, 0xFFFF})
    EXPECT_EQ(unicode_to_jis0212(u), 0) << "U+" << hex(u);
}

// Where an oracle and the table disagree on a JIS X 0212 code.
struct Jis0212Difference {
  uint16_t jis;
  char16_t table;   // what jis0212_to_unicode gives (the WHATWG index)
  char32_t oracle;  // what the oracle gives (0 = cannot convert)
  bool operator<(const Jis0212Difference& o) const {
    return std::tie(jis, table, oracle) < std::tie(o.jis, o.table, o.oracle);
  }
  bool operator==(const Jis0212Difference& o) const = default;
};

std::string describe(const std::vector<Jis0212Difference>& list) {
  std::string text;
  for (const Jis0212Difference& d : list)
    text += "  {" + hex(d.jis) + ", " + hex(d.table) + ", " + hex(d.oracle) + "},\n";
  return text;
}

// Compares every code of rows 1-94 with the oracle: the differences must be
// exactly the listed ones, besides the user-defined characters of rows 79-82
// and 85-94, which the oracles leave unmapped. Returns how many mapped codes
// agree.
int compare_with_oracle(const std::vector<char32_t>& oracle, const std::vector<Jis0212Difference>& listed) {
  std::vector<Jis0212Difference> found;
  int agree = 0;
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const uint16_t jis = jis_code(hi, lo);
      const char32_t o = oracle[(hi - JIS_FIRST) * 94 + (lo - JIS_FIRST)];
      const char16_t table = jis0212_to_unicode(jis);
      const unsigned row = hi - JIS_FIRST + 1;
      if (o == 0 && table == 0xE000 + (row - 75) * 94 + (lo - JIS_FIRST)) continue;  // Shift-JIS row + 20
      if (o == table) {
        agree += table != 0;
      } else {
        found.push_back({jis, table, o});
      }
    }
  }
  std::vector<Jis0212Difference> expected = listed;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected) << "found (jis, table, oracle):\n" << describe(found) << "listed:\n" << describe(expected);
  return agree;
}

// glibc 2.36's EUC-JP agrees with the WHATWG index on every code, 0x2237 (U+FF5E)
// included; a difference found on another glibc must be listed here with the
// reason, or the test fails.
const std::vector<Jis0212Difference> GLIBC_EUC_JP_DIFFERENCES = {};

TEST(Jis0212Table, AgreesWithIconvEucJp) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  if (iconv_one("EUC-JP", "A") == 0) GTEST_SKIP() << "glibc has no EUC-JP converter";

  std::vector<char32_t> oracle;
  for (unsigned hi = JIS_FIRST; hi <= JIS_LAST; ++hi) {
    for (unsigned lo = JIS_FIRST; lo <= JIS_LAST; ++lo) {
      const char32_t u = iconv_one("EUC-JP", euc_jis0212_bytes(jis_code(hi, lo)));
      ASSERT_NE(u, 0xFFFFFFFFu) << hex(jis_code(hi, lo)) << ": iconv(3) gives more than one character";
      oracle.push_back(u);
    }
  }
  const int agree = compare_with_oracle(oracle, GLIBC_EUC_JP_DIFFERENCES);
  int expected = JIS0212_MAPPED;
  for (const Jis0212Difference& d : GLIBC_EUC_JP_DIFFERENCES) expected -= d.table != 0;
  EXPECT_EQ(agree, expected);
  RecordProperty("agree", agree);
}

// Python's euc_jp codec follows the Unicode Consortium's old JIS0212.TXT,
// where 0x2237 is the ASCII tilde; the WHATWG index (and glibc) give
// FULLWIDTH TILDE.
const std::vector<Jis0212Difference> PYTHON_EUC_JP_DIFFERENCES = {
    {0x2237, 0xFF5E, 0x007E},  // TILDE
};

TEST(Jis0212Table, AgreesWithPythonEucJp) {
  if (!test::shell_here()) GTEST_SKIP() << "no POSIX shell here to run python3, the oracle";
  if (!on_path("python3")) GTEST_SKIP() << "python3 is not on PATH: no oracle to compare with";
  // One line a code, rows 1-94 in order: the hex code points the codec
  // decodes the three EUC-JP bytes to, or nothing when it rejects them.
  const char* command = R"(python3 -c '
for p in range(94 * 94):
    b = bytes((0x8F, p // 94 + 0xA1, p % 94 + 0xA1))
    try:
        s = b.decode("euc_jp")
    except UnicodeDecodeError:
        s = ""
    print(" ".join("%X" % ord(c) for c in s))
')";
  const test::RunResult run = test::run_shell(command, ".");
  ASSERT_EQ(run.status, 0) << "python3: " << run.err;
  const std::string& text = run.out;

  std::vector<char32_t> oracle;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "python3's output does not end with a newline";
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.find(' '), std::string::npos) << "line " << oracle.size() << ": more than one character";
    oracle.push_back(line.empty() ? 0 : static_cast<char32_t>(std::stoul(line, nullptr, 16)));
    start = end + 1;
  }
  ASSERT_EQ(oracle.size(), 94u * 94u);
  const int agree = compare_with_oracle(oracle, PYTHON_EUC_JP_DIFFERENCES);
  int expected = JIS0212_MAPPED;
  for (const Jis0212Difference& d : PYTHON_EUC_JP_DIFFERENCES) expected -= d.table != 0;
  EXPECT_EQ(agree, expected);
  RecordProperty("agree", agree);
}

}  // namespace
}  // namespace kotran
