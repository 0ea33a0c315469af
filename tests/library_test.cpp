// The library: a text converted in memory gives the bytes the command line
// writes to a file, and a text handed over in parts (of any size, into
// rooms of any size) gives the bytes of the whole text at once.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kotran.h"
#include "sample_text.h"
#include "test_util.h"

namespace kotran::test {
namespace {

constexpr int CODES[] = {KOTRAN_SJIS, KOTRAN_EUC, KOTRAN_JIS, KOTRAN_UTF8, KOTRAN_UTF16};
// With the JIS X 0213 codes, which recognition answers only on evidence.
constexpr int ALL_CODES[] = {KOTRAN_SJIS,  KOTRAN_EUC,      KOTRAN_JIS,     KOTRAN_UTF8,
                             KOTRAN_UTF16, KOTRAN_SJIS2004, KOTRAN_EUC2004, KOTRAN_JIS2004};
const char* letter(int code) { return code == KOTRAN_SJIS ? "s" : code == KOTRAN_EUC ? "e" : code == KOTRAN_JIS ? "j" : code == KOTRAN_UTF8 ? "u" : "w"; }
const char* extension(int code) {
  return code == KOTRAN_SJIS ? ".sjs" : code == KOTRAN_EUC ? ".euc" : code == KOTRAN_JIS ? ".jis" : code == KOTRAN_UTF8 ? ".utf8" : ".utf16";
}

kotran_options options_for(int source, int target) {
  kotran_options o;
  kotran_options_init(&o);
  o.source = source;
  o.target = target;
  return o;
}

// The whole text at once; the status, with the output in out.
int convert_all(const kotran_options& o, const std::string& in, std::string& out, kotran_report* report = nullptr) {
  out.assign(kotran_max_output(&o, in.size()), '\0');
  size_t written = 0;
  const int status = kotran_convert_all(&o, in.data(), in.size(), out.data(), out.size(), &written, report);
  out.resize(written);
  return status;
}

// The text in parts of `part` bytes into rooms of `room` bytes.
int convert_in_parts(const kotran_options& o, const std::string& in, size_t part, size_t room, std::string& out,
                     kotran_report* report = nullptr) {
  kotran_converter* c = nullptr;
  int status = kotran_open(&o, &c);
  if (status != KOTRAN_OK) return status;
  out.clear();
  std::string buffer(room, '\0');
  size_t at = 0;
  while (at < in.size()) {
    const size_t n = std::min(part, in.size() - at);
    size_t taken = 0;
    do {
      size_t read = 0, written = 0;
      status = kotran_convert(c, in.data() + at + taken, n - taken, &read, buffer.data(), buffer.size(), &written);
      out.append(buffer, 0, written);
      taken += read;
    } while (status == KOTRAN_NEED_ROOM);
    if (status != KOTRAN_OK) break;
    EXPECT_EQ(taken, n);
    at += n;
  }
  if (status == KOTRAN_OK) {
    do {
      size_t written = 0;
      status = kotran_finish(c, buffer.data(), buffer.size(), &written);
      out.append(buffer, 0, written);
    } while (status == KOTRAN_NEED_ROOM);
  }
  if (report != nullptr) kotran_get_report(c, report);
  kotran_close(c);
  return status;
}

// Japanese prose of every kind in the code: the corpus, half-width
// katakana, CR LF and LF line ends, a line longer than a part (65 KiB), a
// byte that is no character.
std::string sample_in(int code) {
  std::string utf8;
  for (const auto& f : corpus_files()) utf8 += f.utf8;
  utf8 += "ｶﾀｶﾅ ﾊﾟﾋﾟﾌﾟ\r\nabc\\~¥‾\r\n한\nか\u309a𠂉①\n";
  utf8 += std::string(70000, 'x') + "漢字\n";
  std::string text;
  EXPECT_EQ(convert_all(options_for(KOTRAN_UTF8, code), utf8, text), KOTRAN_OK);
  return text;
}

// Bytes a fault or a foreign text might hold: mostly text, but line ends
// anywhere (a CR alone too), escape sequences, bytes of every class.
std::string random_text(std::mt19937& rng, size_t size) {
  static const char* const pieces[] = {"\x1B$B", "\x1B(J", "\x1B(I", "\x1B$(D", "\x1B$(Q", "\x1B$(P",
                                       "\r\n",    "\n",     "\r",     "\x0E",    "\x0F"};
  std::string s;
  while (s.size() < size) {
    const unsigned r = rng() % 100;
    if (r < 10)
      s += pieces[rng() % std::size(pieces)];
    else if (r < 50)
      s += static_cast<char>(0x21 + rng() % 0x5E);
    else
      s += static_cast<char>(0x80 + rng() % 0x80);
  }
  return s;
}

TEST(Library, WholeTextGivesTheBytesTheCommandLineWrites) {
  TempDir dir;
  for (const int source : CODES) {
    const std::string text = sample_in(source);
    dir.write("in.txt", text);
    for (const int target : CODES) {
      if (source == target) continue;
      SCOPED_TRACE(std::string(letter(source)) + letter(target));
      const RunResult run = run_kotran({std::string("-") + letter(target), "in.txt"}, dir.path());
      ASSERT_EQ(run.status, 0) << run.err;
      std::string out;
      kotran_report report;
      ASSERT_EQ(convert_all(options_for(KOTRAN_RECOGNISE, target), text, out, &report), KOTRAN_OK);
      EXPECT_EQ(report.source, source);
      EXPECT_TRUE(out == dir.read(std::string("in") + extension(target)));
    }
  }
}

TEST(Library, PartsGiveTheBytesOfTheWholeText) {
  struct Variant {
    const char* label;
    int widen, lf, jis_variant;
  };
  const Variant variants[] = {{"plain", 0, 0, KOTRAN_JIS_1983}, {"widened", 1, 0, KOTRAN_JIS_1978}, {"LF", 0, 1, KOTRAN_JIS_ASCII}};
  // part bytes, room bytes
  const std::pair<size_t, size_t> splits[] = {{1, 4096}, {3, 7}, {4093, 1}, {70001, 100000}, {1 << 20, 5}};
  std::mt19937 rng(7);
  for (const int source : ALL_CODES) {
    std::vector<std::string> texts = {sample_in(source), random_text(rng, 5000), random_text(rng, 70000)};
    for (const int target : ALL_CODES) {
      for (const Variant& v : variants) {
        // Random bytes in every code once; the prose with each option set.
        kotran_options o = options_for(source, target);
        o.widen = v.widen;
        o.lf = v.lf;
        o.jis_variant = v.jis_variant;
        for (size_t t = 0; t < texts.size(); ++t) {
          if (t > 0 && &v != &variants[0]) continue;
          std::string whole;
          kotran_report whole_report;
          ASSERT_EQ(convert_all(o, texts[t], whole, &whole_report), KOTRAN_OK);
          for (const auto& [part, room] : splits) {
            // The long text is there for the edges of the converter's own
            // blocks (64 KiB): it is given in large parts; small parts and
            // little room are the short texts'.
            if (texts[t].size() > 10000 && part < 4096) continue;
            SCOPED_TRACE(std::string(letter(source)) + letter(target) + " " + v.label + " text " + std::to_string(t) +
                         " parts of " + std::to_string(part) + " into " + std::to_string(room));
            std::string parts;
            kotran_report report;
            ASSERT_EQ(convert_in_parts(o, texts[t], part, room, parts, &report), KOTRAN_OK);
            ASSERT_EQ(parts.size(), whole.size());
            ASSERT_TRUE(parts == whole) << "first difference at " << std::mismatch(parts.begin(), parts.end(), whole.begin()).first - parts.begin();
            EXPECT_EQ(report.replaced, whole_report.replaced);
            EXPECT_EQ(report.cut_at_end, whole_report.cut_at_end);
            // In parts the first place is sought in the first part that
            // replaced a character; in the whole text, over the whole
            // text: of the random texts, a pair passed on as it stands
            // before it may come first.
            if (t == 0) {
              EXPECT_EQ(report.first_line, whole_report.first_line);
              EXPECT_EQ(report.first_column, whole_report.first_column);
            }
          }
        }
      }
    }
  }
}

// Rows: the input (hex), source and target, strict; the status, the output
// (hex), what the report says.
struct ReportRow {
  const char* label;
  const char* input;
  int source, target, strict;
  int status;
  const char* output;
  uint64_t replaced;
  int64_t line, column;
  int cut_at_end;
  int64_t ended_at;
  int text_after_end;
};

const ReportRow report_rows[] = {
    {"recognised EUC", "C6 FC CB DC 0A", KOTRAN_RECOGNISE, KOTRAN_SJIS, 0, KOTRAN_OK, "93 FA 96 7B 0D 0A", 0, 0, 0, 0, -1, 0},
    {"a byte that is no character, its place", "41 0A 42 80 43", KOTRAN_SJIS, KOTRAN_UTF8, 0, KOTRAN_OK, "41 0D 0A 42 EF BF BD 43", 1, 2, 2, 0, -1, 0},
    {"strict refuses it, nothing written", "41 0A 42 80 43", KOTRAN_SJIS, KOTRAN_UTF8, 1, KOTRAN_E_NOT_EXACT, "", 0, 2, 2, 0, -1, 0},
    {"a lead byte at the end is dropped and counted", "41 93", KOTRAN_SJIS, KOTRAN_UTF8, 0, KOTRAN_OK, "41", 1, 1, 2, 1, -1, 0},
    {"0x1A ends the text; what follows is told", "41 1A 42", KOTRAN_SJIS, KOTRAN_EUC, 0, KOTRAN_OK, "41", 0, 0, 0, 0, 1, 1},
    {"0x1A marks after it are no text", "41 1A 1A", KOTRAN_SJIS, KOTRAN_EUC, 1, KOTRAN_OK, "41", 0, 0, 0, 0, 1, 0},
    {"strict refuses text after 0x1A", "41 1A 42", KOTRAN_SJIS, KOTRAN_EUC, 1, KOTRAN_E_NOT_EXACT, "", 0, 0, 0, 0, 1, 1},
    {"Korean is not converted", "C7 D1 B1 B9 BE EE 20 C5 D8 BD BA C6 AE 20 C7 D1 B1 B9 BE EE 20 C5 D8 BD BA C6 AE 0A",
     KOTRAN_RECOGNISE, KOTRAN_UTF8, 0, KOTRAN_E_NOT_JAPANESE, "", 0, 0, 0, 0, -1, 0},
    {"a named source converts it", "C7 D1 0A", KOTRAN_EUC, KOTRAN_SJIS, 0, KOTRAN_OK, "94 70 0D 0A", 0, 0, 0, 0, -1, 0},
};

TEST(Library, ReportsWhatTheConversionFound) {
  for (const ReportRow& row : report_rows) {
    SCOPED_TRACE(row.label);
    kotran_options o = options_for(row.source, row.target);
    o.strict = row.strict;
    const std::string in = hex(row.input);
    for (const bool parts : {false, true}) {
      SCOPED_TRACE(parts ? "in parts of one byte" : "whole");
      std::string out;
      kotran_report r{};
      const int status = parts ? convert_in_parts(o, in, 1, 3, out, &r) : convert_all(o, in, out, &r);
      EXPECT_EQ(status, row.status) << kotran_status_name(status);
      if (status == KOTRAN_OK) {
        EXPECT_EQ(to_hex(out), to_hex(hex(row.output)));
      }
      if (status == KOTRAN_E_NOT_JAPANESE) continue;
      EXPECT_EQ(r.replaced, row.replaced);
      EXPECT_EQ(r.first_line, row.line);
      EXPECT_EQ(r.first_column, row.column);
      EXPECT_EQ(r.cut_at_end, row.cut_at_end);
      EXPECT_EQ(r.ended_at, row.ended_at);
      EXPECT_EQ(r.text_after_end, row.text_after_end);
    }
  }
}

TEST(Library, RecognitionAnswersAsTheCommandLineDoes) {
  struct Row {
    const char* input;
    const char* answer;  // what -g prints after the name
  };
  const Row rows[] = {
      {"93 FA 96 7B 8C EA 82 CC 95 B6 8F CD 0A", "Shift-JIS (certain)"},
      {"1B 24 42 46 7C 4B 5C 1B 28 4A 0A", "JIS (certain)"},
      {"61 62 63 0A", "ASCII (certain)"},
      {"FF FE 41 00 0A 00", "UTF-16 (certain)"},
      {"89 50 4E 47 0D 0A 1A 0A 00 00 00 0D", "not Japanese (binary)"},
      {"C7 D1 B1 B9 BE EE 20 C5 D8 BD BA C6 AE 20 C7 D1 B1 B9 BE EE 20 C5 D8 BD BA C6 AE 0A", "not Japanese (EUC-KR?)"},
  };
  TempDir dir;
  for (const Row& row : rows) {
    const std::string in = hex(row.input);
    kotran_recognition a{};
    ASSERT_EQ(kotran_recognise(in.data(), in.size(), &a), KOTRAN_OK);
    EXPECT_EQ(std::string(a.name) + " (" + a.detail + ")", row.answer) << row.input;
    dir.write("t.txt", in);
    EXPECT_EQ(run_kotran({"-g", "t.txt"}, dir.path()).out, std::string("t.txt: ") + row.answer + "\n") << row.input;
  }
}

TEST(Library, RefusesWhatItCannotDo) {
  kotran_options o = options_for(KOTRAN_SJIS, KOTRAN_JIS2004 + 1);  // past the codes
  kotran_converter* c = nullptr;
  EXPECT_EQ(kotran_open(&o, &c), KOTRAN_E_INVALID);
  EXPECT_EQ(c, nullptr);
  o = options_for(KOTRAN_SJIS, KOTRAN_UTF8);
  o.jis_variant = 7;
  EXPECT_EQ(kotran_open(&o, &c), KOTRAN_E_INVALID);
  o.jis_variant = KOTRAN_JIS_1983;
  ASSERT_EQ(kotran_open(&o, &c), KOTRAN_OK);
  // No room: nothing is taken, nothing lost.
  const char text[] = "\x82\xA0\n";
  size_t read = 9, written = 9;
  EXPECT_EQ(kotran_convert(c, text, 3, &read, nullptr, 0, &written), KOTRAN_NEED_ROOM);
  EXPECT_EQ(written, 0u);
  char room[16];
  size_t more = 0;
  EXPECT_EQ(kotran_convert(c, &text[read], 3 - read, &more, room, sizeof room, &written), KOTRAN_OK);
  EXPECT_EQ(read + more, 3u);
  EXPECT_EQ(to_hex(std::string(room, written)), "E3 81 82 0D 0A");
  EXPECT_EQ(kotran_finish(c, room, sizeof room, &written), KOTRAN_OK);
  EXPECT_EQ(kotran_convert(c, "a", 1, &read, room, sizeof room, &written), KOTRAN_E_FINISHED);
  kotran_close(c);
  EXPECT_STREQ(kotran_status_name(KOTRAN_E_NOT_JAPANESE), "KOTRAN_E_NOT_JAPANESE");
  EXPECT_EQ(kotran_version(), KOTRAN_VERSION);
}

}  // namespace
}  // namespace kotran::test
