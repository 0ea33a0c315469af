// Recognising the code of a text: detect_code's first decisive sign, and the
// recognition by evidence that decides from it. Each case is the stored bytes
// and the result.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/converters.h"
#include "recognition/detect_code.h"
#include "recognition/recognise.h"
#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;

constexpr Recognised SJIS = Recognised::sjis;
constexpr Recognised JIS = Recognised::jis;
constexpr Recognised EUC = Recognised::euc;
constexpr Recognised ASCII = Recognised::ascii;
constexpr Recognised UTF8 = Recognised::utf8;
constexpr Recognised UTF16 = Recognised::utf16;

struct DetectCase {
  const char* name;
  const char* bytes;
  Recognised expected;
};

Recognised detect_bytes(const std::string& bytes, size_t chunk = BLOCK_SIZE, Path path = fastest_path()) {
  TextStream* s = open_memory_input(bytes.data(), bytes.size(), true, chunk);
  const Recognised code = detect_code(s, path);
  close_stream(s);
  return code;
}

const DetectCase cases[] = {
    {"empty", "", ASCII},
    {"letters and a line end", "61 62 63 0D 0A", ASCII},
    {"ESC ( B alone does not make JIS", "61 62 63 1B 28 42 64 65 66", ASCII},
    {"ESC ( J and ESC ( I alone neither", "1B 28 4A 1B 28 49 31", ASCII},
    {"kanji-in ESC $ B", "61 1B 24 42 34 41", JIS},
    {"kanji-in ESC $ @", "1B 24 40 34 41", JIS},
    {"ESC * I", "1B 2A 49", JIS},
    {"kanji-in before a byte of Shift-JIS decides JIS", "1B 24 42 82 A0", JIS},
    {"an ESC whose next two bytes are read again", "1B 1B 24 42", JIS},
    {"SS2 and a katakana byte alone", "8E B1", EUC},
    {"SS2 before a byte that is no katakana", "8E 41", ASCII},
    {"lead byte, then a trail byte below 0x80", "82 41", SJIS},
    {"EUC あ alone", "A4 A2", EUC},
    {"a pair valid in both, then one only Shift-JIS allows", "A4 A2 88 9F", SJIS},
    {"half-width katakana only count as EUC pairs", "B1 B2", EUC},
    {"ends after ESC", "61 1B", ASCII},
    {"ends after ESC and one byte", "61 1B 24", ASCII},
    {"ends after a lone high byte", "61 62 B0", ASCII},
    {"EUC text ending while tentative", "A4 A2 A4 A4 0A", EUC},
    {"a high byte before a control byte is passed over", "B0 0A 61", ASCII},
    {"Shift-JIS lead 0xFF counts", "FF 41", SJIS},
    {"0x1A ends the text before a decisive byte", "61 1A 82 41", ASCII},
    {"CR LF inside the text does not matter", "61 0D 0A 82 A0 82 A2", SJIS},
    // SS2 and a katakana byte is also a common Shift-JIS kanji (自 実 式 社
    // 者 ...): it only makes the result tentatively EUC.
    {"実行 in Shift-JIS", "8E C0 8D 73", SJIS},
    {"Shift-JIS 自 then ア", "8E A9 82 41", SJIS},
    {"Shift-JIS 社会 (a pair after SS2 that EUC allows)", "8E D0 89 EF 82 CC", SJIS},
    {"EUC half-width katakana then EUC kanji", "8E B1 8E B2 B4 C1 0A", EUC},
    {"EUC katakana, then a JIS escape", "8E B1 1B 24 42", JIS},
};

TEST(DetectCode, Cases) {
  for (const auto& c : cases) EXPECT_EQ(detect_bytes(hex(c.bytes)), c.expected) << c.name << ": " << c.bytes;
}

TEST(DetectCode, CasesWithEveryBlockEdge) {
  // The decision must not depend on where a block ends.
  for (size_t chunk = 1; chunk <= 5; ++chunk)
    for (const auto& c : cases)
      EXPECT_EQ(detect_bytes(hex(c.bytes), chunk), c.expected) << c.name << " chunk " << chunk;
}

TEST(DetectCode, NullStreamFails) { EXPECT_EQ(detect_code(nullptr), Recognised::unreadable); }

TEST(DetectCode, StreamIsBackWhereItWas) {
  const std::string bytes = hex("61 62 A4 A2 A4 A4 1B 28 42 63");
  for (size_t chunk : {1u, 3u, 4096u}) {
    TextStream* s = open_memory_input(bytes.data(), bytes.size(), true, chunk);
    ASSERT_EQ(read_byte(s), 0x61);
    ASSERT_EQ(read_byte(s), 0x62);
    const int64_t before = stream_tell(s);
    EXPECT_EQ(detect_code(s), EUC);
    EXPECT_EQ(stream_tell(s), before);
    std::string rest;
    for (int c; (c = read_byte(s)) != EOF;) rest += static_cast<char>(c);
    EXPECT_EQ(test::to_hex(rest), "A4 A2 A4 A4 1B 28 42 63") << "chunk " << chunk;
    close_stream(s);
  }
}

// The result with the vector step over plain EUC units, or without it.
Recognised detect_with(const std::string& bytes, size_t chunk, bool fast) {
  return detect_bytes(bytes, chunk, fast ? fastest_path() : Path::scalar);
}

void expect_same_with_vectors(const std::string& bytes, const std::string& what) {
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{33}, size_t{100}, BLOCK_SIZE})
    ASSERT_EQ(detect_with(bytes, chunk, true), detect_with(bytes, chunk, false))
        << what << " chunk " << chunk << ": " << test::to_hex(bytes.substr(0, 200));
}

TEST(DetectCode, VectorsDecideAsTheByteLoop) {
  // Each case after plain text of every length up to two vectors (so that
  // it falls at every place in a vector), with plain text after it.
  const char* const units[] = {"61", "B4 C1", "0D 0A", "A4 A2", "62 63", "BB FA", "20"};
  std::string after;
  for (int i = 0; i < 12; ++i) after += hex(units[i % std::size(units)]);
  for (const auto& c : cases) {
    std::string before;
    for (size_t k = 0; k < 40; ++k) {
      expect_same_with_vectors(before + hex(c.bytes) + after, c.name);
      expect_same_with_vectors(before + hex(c.bytes), c.name);
      before += hex(units[k % std::size(units)]);
    }
  }
}

TEST(DetectCode, VectorsDecideAsTheByteLoopOnRandomText) {
  const char* const pieces[] = {"B4 C1 BB FA A4 A2", "61 62 63 64 65 66 67 68", "0D 0A", "8E B1", "1B 24 42",
                                "1B 28 42", "82 A0", "88 9F", "FF", "A0", "80", "E0 41", "1A", "B0 0A"};
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> plain_len(0, 40);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    // Mostly plain EUC, with one or two pieces that may decide.
    const bool ascii_only = round % 4 == 0;
    for (int part = 0; part < 3; ++part) {
      for (int n = plain_len(rng); n > 0; --n) text += hex(n % 3 == 0 || ascii_only ? "61" : "C6 FC");
      text += hex(pieces[pick(rng)]);
    }
    expect_same_with_vectors(text, "random");
  }
}

TEST(DetectCode, VectorsOnRealText) {
  // Real text in EUC is tentatively EUC to its end; a decisive sign far
  // into it still decides.
  std::string utf8;
  for (const auto& f : test::corpus_files()) utf8 += f.utf8;
  const std::string euc = test::convert_bytes(converter(Code::utf8, Code::euc), utf8 + utf8);
  ASSERT_GT(euc.size(), 5000u);
  for (bool fast : {true, false}) EXPECT_EQ(detect_with(euc, BLOCK_SIZE, fast), EUC);
  for (size_t at : {size_t{1000}, size_t{4095}, size_t{4100}, euc.size() - 3}) {
    size_t cut = 0;  // a unit edge at or before at
    for (size_t i = 0; i < at;) {
      cut = i;
      const unsigned b = static_cast<unsigned char>(euc[i]);
      i += b == 0x8E || b >= 0xA1 ? 2 : 1;
    }
    for (const char* sign : {"82 A0", "1B 24 42"}) {
      const std::string text = euc.substr(0, cut) + hex(sign) + euc.substr(cut);
      for (bool fast : {true, false}) EXPECT_EQ(detect_with(text, BLOCK_SIZE, fast), sign[0] == '8' ? SJIS : JIS) << at;
    }
  }
}

TEST(DetectCode, RealFilesOnDisk) {
  test::TempDir dir;
  // "日本語のテキスト" in each code.
  dir.write("sjis", hex("93 FA 96 7B 8C EA 82 CC 83 65 83 4C 83 58 83 67 0D 0A"));
  dir.write("euc", hex("C6 FC CB DC B8 EC A4 CE A5 C6 A5 AD A5 B9 A5 C8 0D 0A"));
  dir.write("jis", hex("1B 24 42 46 7C 4B 5C 38 6C 24 4E 25 46 25 2D 25 39 25 48 1B 28 42 0D 0A"));
  dir.write("ascii", "plain text\r\n");
  const struct {
    const char* name;
    Recognised code;
  } files[] = {{"sjis", SJIS}, {"jis", JIS}, {"euc", EUC}, {"ascii", ASCII}};
  for (const auto& f : files) {
    TextStream* s = open_stream(dir.file(f.name).c_str(), "rt");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(detect_code(s), f.code) << f.name;
    EXPECT_EQ(stream_tell(s), 0) << f.name;
    close_stream(s);
  }
}

// Recognition by evidence, on every path and with every block edge.
struct RecognitionCase {
  const char* name;
  std::string bytes;
  Recognised code;
  Certainty certainty;
  Foreign foreign = Foreign::none;  // what a text that is not Japanese seems to be
  ByteOrder order = ByteOrder::marked;  // UTF-16 without a mark: its order
};

Recognition recognise_bytes(const std::string& bytes, size_t chunk, Path path) {
  TextStream* s = open_memory_input(bytes.data(), bytes.size(), true, chunk);
  const Recognition r = recognise_code(s, path);
  EXPECT_EQ(stream_tell(s), 0);
  close_stream(s);
  return r;
}

void expect_recognised(const RecognitionCase& c) {
  for (Path path : PATHS)
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, BLOCK_SIZE}) {
      const Recognition r = recognise_bytes(c.bytes, chunk, path);
      EXPECT_EQ(answer_name(r), std::string(answer_name({c.code, c.certainty, c.foreign, c.order}))) << c.name << " chunk " << chunk;
      EXPECT_EQ(certainty_name(r.certainty), std::string(certainty_name(c.certainty))) << c.name << " chunk " << chunk;
      EXPECT_EQ(foreign_name(r.foreign), std::string(foreign_name(c.foreign))) << c.name << " chunk " << chunk;
    }
}

constexpr Certainty CERTAIN = Certainty::certain;
constexpr Certainty LIKELY = Certainty::likely;
constexpr Certainty GUESS = Certainty::guess;
constexpr Certainty NOT_VALID = Certainty::not_valid;
constexpr Recognised FOREIGN = Recognised::not_japanese;
constexpr Foreign BINARY = Foreign::binary;
constexpr ByteOrder LITTLE = ByteOrder::little;
constexpr ByteOrder BIG = ByteOrder::big;
constexpr Foreign KOREAN = Foreign::euc_kr;
constexpr Foreign SIMPLIFIED = Foreign::gbk;
constexpr Foreign TRADITIONAL = Foreign::big5;

TEST(Recognition, Cases) {
  // \u8fd9\u662f\u4e00\u4e2a\u6d4b\u8bd5\u7a0b\u5e8f\u7684\u8bf4\u660e\u6587\u6863 twice in GBK, and a space: valid Shift-JIS too.
  const std::string GBK_AS_SJIS = hex(
      "D5 E2 CA C7 D2 BB B8 F6 B2 E2 CA D4 B3 CC D0 F2 B5 C4 CB B5 C3 F7 CE C4 B5 B5 "
      "D5 E2 CA C7 D2 BB B8 F6 B2 E2 CA D4 B3 CC D0 F2 B5 C4 CB B5 C3 F7 CE C4 B5 B5 20");
  // A table of the code: every kanji of JIS row 16 in EUC, in order, is a
  // row of Korean hangul and of Chinese hanzi too, but no text of theirs.
  std::string row16;
  for (unsigned cell = 0xA1; cell <= 0xFE; ++cell) row16 += {'\xB0', static_cast<char>(cell)};
  const RecognitionCase rows[] = {
      {"empty", "", ASCII, CERTAIN},
      {"ASCII and CR LF", hex("61 62 0D 0A"), ASCII, CERTAIN},
      {"ESC ( B alone is ASCII", hex("61 1B 28 42 62"), ASCII, CERTAIN},
      {"ESC ( I alone makes JIS (half-width katakana)", hex("61 1B 28 49 31 32 1B 28 42"), JIS, CERTAIN},
      {"ESC ( J alone makes JIS", hex("1B 28 4A 61 0D 0A"), JIS, CERTAIN},
      {"kanji-in, then 8-bit bytes", hex("1B 24 42 30 21 1B 28 42 B1"), JIS, CERTAIN},
      // A JIS sign counts only before any 8-bit byte: after one, the valid reading decides.
      {"a JIS sign after a Shift-JIS pair", hex("82 A0 1B 24 42 30 21 1B 28 42"), SJIS, CERTAIN},
      {"\uff7e, then ESC $ @: valid Shift-JIS only", hex("BE 1B 24 40"), SJIS, CERTAIN},
      {"\uff66, ESC ( J, \uff9c\uff97: A6 1B is no EUC", hex("A6 1B 28 4A DC D7"), SJIS, CERTAIN},
      {"an EUC pair, then ESC $ B: EUC, not JIS", hex("B0 A1 1B 24 42 30 21 1B 28 42"), EUC, LIKELY},
      // Only a whole, known designation is a sign.
      {"ESC $ ( D designates JIS X 0212", hex("61 1B 24 28 44 30 21 1B 28 42"), JIS, CERTAIN},
      {"ESC $ ( cut at the end", hex("61 1B 24 28"), ASCII, CERTAIN},
      {"ESC $ ( A is no designation of ours", hex("1B 24 28 41 30 21"), ASCII, CERTAIN},
      {"ESC $ ( ESC $ B: the second escape counts", hex("1B 24 28 1B 24 42 30 21"), JIS, CERTAIN},
      // JIS X 0212 in EUC: SS3 and two bytes 0xA1-0xFE.
      {"Nicol\u00e1s in EUC (SS3)", hex("4E 69 63 6F 6C 8F AB A1 73"), EUC, LIKELY},
      {"Gr\u00fc\u00df in EUC (SS3)", hex("47 72 8F AB E4 8F A9 CF"), EUC, LIKELY},
      {"SS3 before a byte below 0xA1 is not EUC", hex("8F A1 41"), SJIS, CERTAIN},
      // Shift-JIS half-width katakana.
      {"\uff7c\uff9e\uff6c\uff70: AC B0 is no assigned EUC code", hex("BC DE AC B0"), SJIS, CERTAIN},
      {"an odd run of katakana is not EUC pairs", hex("CC DF DB BE BD"), SJIS, LIKELY},
      {"a trail byte 0x80-0xA0 is Shift-JIS only", hex("B1 88 9F"), SJIS, CERTAIN},
      // No Windows table assigns a trail byte 0x7F, under any lead byte.
      {"FA 7F is no IBM extension", hex("81 40 FA 7F"), SJIS, NOT_VALID},
      {"FB 7F neither", hex("81 40 FB 7F"), SJIS, NOT_VALID},
      {"FA 7E is one", hex("81 40 FA 7E"), SJIS, CERTAIN},
      {"F0 7F is no user-defined character", hex("F0 40 F0 7F"), SJIS, NOT_VALID},
      {"8E and a trail below 0x80 (\u793a) in ASCII", hex("53 65 65 20 8E 40 20 70"), SJIS, CERTAIN},
      {"\u6b21 (8E 9F) in ASCII", hex("53 65 65 20 8E 9F 20 70"), SJIS, CERTAIN},
      {"a katakana byte before a line end", hex("B0 0A 61"), SJIS, CERTAIN},
      {"\u3053\u3093\u306b\u3061\u306f in EUC", hex("A4 B3 A4 F3 A4 CB A4 C1 A4 CF"), EUC, CERTAIN},
      {"\u3053\u3093\u306b\u3061\u306f in Shift-JIS", hex("82 B1 82 F1 82 C9 82 BF 82 CD"), SJIS, CERTAIN},
      // UTF-8.
      {"byte-order mark alone", hex("EF BB BF"), UTF8, CERTAIN},
      {"byte-order mark before Shift-JIS bytes", hex("EF BB BF 82 A0"), UTF8, CERTAIN},
      {"three-byte character", hex("61 E3 81 82 0A"), UTF8, CERTAIN},
      {"four-byte character", hex("F0 9F 98 80"), UTF8, CERTAIN},
      {"cut inside its last character", hex("E6 BC A2 E5 AD"), UTF8, LIKELY},
      {"R\u00e9sum\u00e9 \u00a9: two-byte characters only", hex("52 C3 A9 73 75 6D C3 A9 20 C2 A9"), UTF8, LIKELY},
      {"\u00bb in a French message", hex("25 73 20 C2 BB 20 3A 20 25 6D"), UTF8, LIKELY},
      {"valid, then a byte no code has", hex("E3 81 82 FF"), SJIS, NOT_VALID},
      {"a surrogate", hex("ED A0 80 E3 81 82"), SJIS, NOT_VALID},
      {"two-byte UTF-8 \u012e or EUC \u5893: UTF-8", hex("C4 AE 61"), UTF8, LIKELY},
      {"the same bytes before EUC \u306e", hex("C4 AE A4 CE"), EUC, LIKELY},
      // UTF-16, known by its byte-order mark.
      {"UTF-16LE", hex("FF FE 61 00 42 30"), UTF16, CERTAIN},
      {"UTF-16BE", hex("FE FF 30 42"), UTF16, CERTAIN},
      {"FE before another byte is no mark", hex("FE 41"), SJIS, NOT_VALID},
      // Valid in neither code: detect_code decides, never ASCII.
      {"EUC pair, then 0xFF", hex("A4 A2 FF"), EUC, NOT_VALID},
      {"Shift-JIS pair, then 0xFF", hex("82 A0 FF"), SJIS, NOT_VALID},
      // The evidence decides, not the first decisive sign: one stray byte
      // (an \u00e9 in Latin-1) in EUC text leaves the rest EUC, though the
      // bytes read as Shift-JIS are valid or invalid later.
      {"\u8a2d\u5b9a\u30d5\u30a1\u30a4\u30eb\u00e9 LF \u3092\u8aad\u307f\u8fbc\u307f\u307e\u3059 in EUC",
       hex("C0 DF C4 EA A5 D5 A5 A1 A5 A4 A5 EB E9 0A A4 F2 C6 C9 A4 DF B9 FE A4 DF A4 DE A4 B9"), EUC, NOT_VALID},
      {"\u65e5\u672c\u8a9e\u306e\u8aac\u660e\u00e9 LF in EUC", hex("C6 FC CB DC B8 EC A4 CE C0 E2 CC C0 E9 0A"), EUC, NOT_VALID},
      // Before an even run of EUC bytes the stray byte pairs up: valid EUC.
      {"\u65e5\u672c\u8a9e \u00e9 \u306e\u8aac\u660e in EUC", hex("C6 FC CB DC B8 EC E9 A4 CE C0 E2 CC C0"), EUC, CERTAIN},
      {"caf\u00e9 \u306e\u8a2d\u5b9a\u3092\u8aad\u307f\u8fbc\u307f\u307e\u3059 in EUC",
       hex("63 61 66 E9 20 A4 CE C0 DF C4 EA A4 F2 C6 C9 A4 DF B9 FE A4 DF A4 DE A4 B9"), EUC, NOT_VALID},
      // Latin-1 reads this (an \u00e9 and two EUC characters) far better than
      // the valid Shift-JIS reading, but not than EUC with its invalid place:
      // it is no text of another language, and the Japanese readings decide.
      {"implementatio\u00e9n of the traditional \u300cgroff",
       hex("6C 65 20 2E 2E 2E 0D 0A 6C 65 78 67 72 6F 67 20 69 73 20 61 6E 20 69 6D 70 6C 65 6D 65 6E 74 61 74 69 6F E9 6E 20 "
           "6F 66 20 74 68 65 20 74 72 61 64 69 74 69 6F 6E 61 6C 20 A1 C8 67 72 6F 66 66"),
       SJIS, CERTAIN},
      {"a stray 0x80 in Shift-JIS text stays Shift-JIS",
       hex("90 DD 92 E8 83 74 83 40 83 43 83 8B 80 82 F0 93 C7 82 DD 8D 9E 82 DD 82 DC 82 B7"), SJIS, NOT_VALID},
      // Binary: a NUL byte in the first block, seen past a 0x1A too, or a
      // binary format's signature, whatever follows.
      {"a NUL byte", hex("61 62 00 63"), FOREIGN, CERTAIN, BINARY},
      {"a NUL after a 0x1A", hex("82 A0 1A 00"), FOREIGN, CERTAIN, BINARY},
      {"a NUL after a 0x1A that ends the text at once", hex("1A 1A 01 00"), FOREIGN, CERTAIN, BINARY},
      {"a 0x1A with no NUL after it", hex("82 A0 1A 41"), SJIS, CERTAIN},
      {"ELF", hex("7F 45 4C 46 02 01 01"), FOREIGN, CERTAIN, BINARY},
      {"ELF's signature cut", hex("7F 45 4C"), ASCII, CERTAIN},
      {"PNG (its 0x1A hides nothing)", hex("89 50 4E 47 0D 0A 1A 0A"), FOREIGN, CERTAIN, BINARY},
      {"gzip", hex("1F 8B 08 08 41 42"), FOREIGN, CERTAIN, BINARY},
      {"ZIP", hex("50 4B 03 04 14"), FOREIGN, CERTAIN, BINARY},
      {"an empty ZIP", hex("50 4B 05 06"), FOREIGN, CERTAIN, BINARY},
      {"PK and a line end is text", hex("50 4B 0A"), ASCII, CERTAIN},
      {"PDF", hex("25 50 44 46 2D 31 2E 34 0A"), FOREIGN, CERTAIN, BINARY},
      {"JPEG", hex("FF D8 FF E0"), FOREIGN, CERTAIN, BINARY},
      {"a signature past the first byte is none", hex("20 25 50 44 46 2D"), ASCII, CERTAIN},
      {"a byte-order mark decides before the NULs of UTF-16", hex("FF FE 61 00"), UTF16, CERTAIN},
      // UTF-16 without a mark: NULs where its ASCII holds them, each order
      // read as text and the cheaper taken; NUL units or controls are binary.
      {"\u30d5\u30a1\u30a4\u30eb name.txt CR LF, little-endian",
       hex("D5 30 A1 30 A4 30 EB 30 20 00 6E 00 61 00 6D 00 65 00 2E 00 74 00 78 00 74 00 0D 00 0A 00"), UTF16, CERTAIN,
       Foreign::none, LITTLE},
      {"\u30d5\u30a1\u30a4\u30eb name.txt CR LF, big-endian",
       hex("30 D5 30 A1 30 A4 30 EB 00 20 00 6E 00 61 00 6D 00 65 00 2E 00 74 00 78 00 74 00 0D 00 0A"), UTF16, CERTAIN,
       Foreign::none, BIG},
      {"\u4e00\u4e8c\u4e09\u56db\u4e94, little-endian", hex("00 4E 8C 4E 09 4E DB 56 94 4E"), UTF16, CERTAIN, Foreign::none, LITTLE},
      {"\u4e00\u4e8c\u4e09\u56db\u4e94, big-endian", hex("4E 00 4E 8C 4E 09 56 DB 4E 94"), UTF16, CERTAIN, Foreign::none, BIG},
      {"\u65e5\u672c\u8a9e LF, little-endian", hex("E5 65 2C 67 9E 8A 0A 00"), UTF16, CERTAIN, Foreign::none, LITTLE},
      {"\uff76\uff80\uff76\uff85 LF, big-endian", hex("FF 76 FF 80 FF 76 FF 85 00 0A"), UTF16, CERTAIN, Foreign::none, BIG},
      {"three units are too few", hex("E5 65 2C 67 0A 00"), FOREIGN, CERTAIN, BINARY},
      {"a NUL unit is no text", hex("61 00 62 00 00 00 63 00"), FOREIGN, CERTAIN, BINARY},
      {"a lone surrogate is no text", hex("3D D8 61 00 62 00 0A 00"), FOREIGN, CERTAIN, BINARY},
      // Controls other than tab, line ends and form feed are text, but
      // count as characters Japanese text does not write: one in 16 at most.
      {"BEL \u5165\u529b\u5f85\u3061\u304c\u30bf\u30a4\u30e0\u30a2\u30a6\u30c8\u3057\u307e\u3057\u305f LF, little-endian",
       hex("07 00 65 51 9B 52 85 5F 61 30 4C 30 BF 30 A4 30 E0 30 A2 30 A6 30 C8 30 57 30 7E 30 57 30 5F 30 0A 00"), UTF16,
       CERTAIN, Foreign::none, LITTLE},
      {"the same, big-endian",
       hex("00 07 51 65 52 9B 5F 85 30 61 30 4C 30 BF 30 A4 30 E0 30 A2 30 A6 30 C8 30 57 30 7E 30 57 30 5F 00 0A"), UTF16,
       CERTAIN, Foreign::none, BIG},
      {"the same cut to 15 units: one control is too many",
       hex("07 00 65 51 9B 52 85 5F 61 30 4C 30 BF 30 A4 30 E0 30 A2 30 A6 30 C8 30 57 30 7E 30 57 30"), FOREIGN, CERTAIN,
       BINARY},
      {"\u756a\u53f7 US : ESC [ 1 m, twice: controls of 16 units beyond one", hex("6A 75 F7 53 1F 00 3A 00 1B 00 5B 00 31 00 6D 00 "
       "6A 75 F7 53 1F 00 3A 00 1B 00 5B 00 31 00 6D 00"), FOREIGN, CERTAIN, BINARY},
      {"a C1 control (NEL) is no text", hex("85 00 6A 75 F7 53 3A 00 20 00 25 00 73 00 0A 00"), FOREIGN, CERTAIN, BINARY},
      {"ASCII with a stray NUL reads as no Japanese either way", hex("74 65 78 74 00 20 66 69 6C 65 0A"), FOREIGN, CERTAIN, BINARY},
      {"a NUL past a 0x1A in UTF-16 (\u4f1a)", hex("1A 4F 61 00 62 00 0A 00"), UTF16, CERTAIN, Foreign::none, LITTLE},
      // No NUL at all (kana and kanji alone): read as UTF-16 only where no
      // other code is valid, on 8 units or more.
      {"\u3068\u3057\u3066\u306f\u3001\u30c7\u30a3\u30b9\u30c8\u30ea\u30d3\u30e5\u30fc\u30b7\u30e7\u30f3, little-endian, no NUL",
       hex("68 30 57 30 66 30 6F 30 01 30 C7 30 A3 30 B9 30 C8 30 EA 30 D3 30 E5 30 FC 30 B7 30 E7 30 F3 30"), UTF16, LIKELY,
       Foreign::none, LITTLE},
      {"the same, big-endian",
       hex("30 68 30 57 30 66 30 6F 30 01 30 C7 30 A3 30 B9 30 C8 30 EA 30 D3 30 E5 30 FC 30 B7 30 E7 30 F3"), UTF16, LIKELY,
       Foreign::none, BIG},
      {"\u30c7\u30a3\u30ec\u30af\u30c8\u30ea\u3067\u3059: eight units", hex("C7 30 A3 30 EC 30 AF 30 C8 30 EA 30 67 30 59 30"),
       UTF16, LIKELY, Foreign::none, LITTLE},
      {"seven units are too few", hex("C7 30 A3 30 EC 30 AF 30 C8 30 EA 30 67 30"), SJIS, NOT_VALID},
      {"\u30e7\u30f3\u60c5\u5831\u3092\u8868\u793a\u3057\u307e\u3059\u3002: its bytes read as Latin-1 too",
       hex("E7 30 F3 30 C5 60 31 58 92 30 68 88 3A 79 57 30 7E 30 59 30 02 30"), UTF16, LIKELY, Foreign::none, LITTLE},
      // Nor where Shift-JIS alone reads it, with a half-width katakana alone against a letter.
      {"\u65b0\u306b\u5931\u6557\u3057\u307e\u3057\u305f, little-endian: Shift-JIS reads \uff70 before e",
       hex("B0 65 6B 30 31 59 57 65 57 30 7E 30 57 30 5F 30"), UTF16, LIKELY, Foreign::none, LITTLE},
      {"\u30c3\u30af\u306e\u6642\u523b\u304c\u9006\u884c, little-endian: Shift-JIS reads \uff83 before 0, a digit",
       hex("C3 30 AF 30 6E 30 42 66 3B 52 4C 30 06 90 4C 88"), SJIS, CERTAIN},
      {"valid Shift-JIS is no UTF-16 (\u3068\u3057\u3066\u306f\u3001\u30c7\u30a3\u30b9)",
       hex("68 30 57 30 66 30 6F 30 01 30 C7 30 A3 30 B9 30"), SJIS, CERTAIN},
      {"a signature stays binary", hex("7F 45 4C 46 02 01 01 00 61 00 62 00"), FOREIGN, CERTAIN, BINARY},
      // Korean in EUC-KR: valid EUC, but it reads as Korean, on enough characters.
      {"\ud30c\uc77c\uc744 \uc5f4 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4 in EUC-KR",
       hex("C6 C4 C0 CF C0 BB 20 BF AD 20 BC F6 20 BE F8 BD C0 B4 CF B4 D9"), FOREIGN, LIKELY, KOREAN},
      {"\uba54\ubaa8\ub9ac\uac00 \ubd80\uc871\ud569\ub2c8\ub2e4 in EUC-KR",
       hex("B8 DE B8 F0 B8 AE B0 A1 20 BA CE C1 B7 C7 D5 B4 CF B4 D9"), FOREIGN, LIKELY, KOREAN},
      {"five hangul are evidence enough", hex("C6 C4 C0 CF C0 BB 20 BF AD 20 BC F6"), FOREIGN, LIKELY, KOREAN},
      {"three hangul are too", hex("C6 C4 C0 CF 20 BF AD"), FOREIGN, LIKELY, KOREAN},
      {"two hangul are too few", hex("C6 C4 C0 CF"), EUC, GUESS},
      // Cheaper than the Japanese reading by 13 half bits a character:
      // \ubc14\ub2e5\ub0a8 by 41 on three, \uc2f1\ud134 LF \uc790\uc774\ub808 by 65 on five.
      {"\ubc14\ub2e5\ub0a8 in EUC-KR", hex("B9 D9 B4 DA B3 B2"), FOREIGN, LIKELY, KOREAN},
      {"\uc2f1\ud134 LF \uc790\uc774\ub808 in EUC-KR", hex("BD CC C5 CF 0A C0 DA C0 CC B7 B9"), FOREIGN, LIKELY, KOREAN},
      // Chinese: GB2312 is valid EUC, Big5 often valid Shift-JIS.
      {"\u6ca1\u6709\u90a3\u4e2a\u6587\u4ef6\u6216\u76ee\u5f55 in GBK",
       hex("C3 BB D3 D0 C4 C7 B8 F6 CE C4 BC FE BB F2 C4 BF C2 BC"), FOREIGN, LIKELY, SIMPLIFIED},
      {"\u6c92\u6709\u6b64\u4e00\u6a94\u6848\u6216\u76ee\u9304 in Big5",
       hex("A8 53 A6 B3 A6 B9 A4 40 C0 C9 AE D7 A9 CE A5 D8 BF FD"), FOREIGN, LIKELY, TRADITIONAL},
      {"six hanzi are evidence enough", hex("CE DE B7 A8 B4 F2 BF AA CE C4 BC FE"), FOREIGN, LIKELY, SIMPLIFIED},
      {"four hanzi are too", hex("CE DE B7 A8 B4 F2 BF AA"), FOREIGN, LIKELY, SIMPLIFIED},
      {"three hanzi are too few", hex("CE DE B7 A8 B4 F2"), SJIS, GUESS},
      {"\u6c92\u6709\u6b64\u4e00: four hanzi in Big5", hex("A8 53 A6 B3 A6 B9 A4 40"), FOREIGN, LIKELY, TRADITIONAL},
      {"three are too few", hex("A8 53 A6 B3 A6 B9"), SJIS, CERTAIN},
      // Four Shift-JIS kana pairs (GBK reads them as rare hanzi) make the
      // text Japanese, however Chinese the rest reads.
      {"Chinese valid as Shift-JIS, then three \u3042 in Shift-JIS",
       std::string(GBK_AS_SJIS) + hex("82 A0 82 A0 82 A0"), FOREIGN, LIKELY, SIMPLIFIED},
      {"the same, then four \u3042", std::string(GBK_AS_SJIS) + hex("82 A0 82 A0 82 A0 82 A0"), SJIS, CERTAIN},
      // Russian in KOI8-R: its small letters read as half-width ﾀ-ﾟ alone.
      {"\u0424\u0430\u0439\u043b \u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d, \u043f\u0440\u043e\u0432\u0435\u0440\u044c\u0442\u0435 ... in KOI8-R",
       hex("E6 C1 CA CC 20 CE C5 20 CE C1 CA C4 C5 CE 2C 20 D0 D2 CF D7 C5 D2 D8 D4 C5 20 C9 CD D1 20 C6 C1 CA CC C1"), FOREIGN,
       LIKELY, Foreign::koi8_r},
      {"\u0451 (A3) reads as \uff63, seldom enough",
       hex("DC D4 CF 20 C5 DD A3 20 CF C4 C9 CE 20 C6 C1 CA CC 20 C4 CC D1 20 D0 D2 CF D7 C5 D2 CB C9 20 D4 C5 CB D3 D4 C1"),
       FOREIGN, LIKELY, Foreign::koi8_r},
      {"fifteen such katakana are too few", hex("CE C5 20 CE C1 CA C4 C5 CE 20 D0 D2 CF D7 C5 D2 D8"), SJIS, CERTAIN},
      {"\uff76\uff80\uff76\uff85 of \uff71-\uff7f too: Japanese",
       hex("B6 C0 B6 C5 20 C3 DE B0 C0 20 CD DF B0 BC DE 20 C4 DE D7 B2 CA DE 20 CC A7 B2 D9 20 D2 C6 AD B0"), SJIS, CERTAIN},
      // Latin-1, CP1251 and Greek: valid Shift-JIS or EUC, but they read as
      // letters of their own alphabets, cheaply and far better.
      {"Param\u00e8tres in Latin-1", hex("50 61 72 61 6D E8 74 72 65 73"), FOREIGN, LIKELY, Foreign::latin1},
      {"Le fichier a \u00e9t\u00e9 cr\u00e9\u00e9: its \u00e9 is Greek \u03b9 too, but the Latin-1 reading is cheaper",
       hex("4C 65 20 66 69 63 68 69 65 72 20 61 20 E9 74 E9 20 63 72 E9 E9"), FOREIGN, LIKELY, Foreign::latin1},
      {"\u2170\uffe4\ufa11\u9ad9 in EUC: letters, but no Cyrillic word",
       hex("FC F1 FC FC F9 F5 FC E2 0A"), EUC, CERTAIN},
      // A lone half-width katakana against an ASCII letter, or a user-defined
      // character between two, is no Japanese: Latin letters inside words.
      {"\u00d6ffentlich: \uff96 alone before a letter", hex("D6 66 66 65 6E 74 6C 69 63 68"), FOREIGN, LIKELY, Foreign::latin1},
      {"Fehler beim \u00c4ndern: \uff84 alone before a letter", hex("46 65 68 6C 65 72 20 62 65 69 6D 20 C4 6E 64 65 72 6E"),
       FOREIGN, LIKELY, Foreign::latin1},
      {"Gr\u00f6\u00dfe: a user-defined character in EUC and Shift-JIS, between letters", hex("47 72 F6 DF 65"), FOREIGN, LIKELY,
       Foreign::latin1},
      {"Wei\u00df, 180\u00ba drehen: \uff9f glued, three \uff7a after digits; Latin-1 by 10 half bits a letter",
       hex("53 63 68 77 61 72 7A 2D 57 65 69 DF 0A 31 38 30 BA 20 64 72 65 68 65 6E 0A 39 30 BA 20 67 65 67 65 6E 0A 39 30 BA 20 69 6D"),
       FOREIGN, LIKELY, Foreign::latin1},
      {"\u00f6\u00df between a space and a letter is no sign", hex("47 72 20 F6 DF 65"), EUC, GUESS},
      {"\uff96 alone between spaces is no sign", hex("61 20 D6 20 66"), SJIS, CERTAIN},
      {"\uff62 alone before a letter: punctuation", hex("A2 66 69 6C 65 A3"), SJIS, CERTAIN},
      {"\uff74\uff97\uff70 before a letter: a word of three", hex("B4 D7 B0 66 69 6C 65"), SJIS, CERTAIN},
      {"arg\u306fNULL: a kanji between letters is common", hex("61 72 67 82 CD 4E 55 4C 4C"), SJIS, CERTAIN},
      {"PC\uff66 \uff77\uff84\uff9e\uff73 \uff7c\uff83\uff78\uff80\uff9e\uff7b\uff72: one such place among Japanese words",
       hex("50 43 A6 20 B7 C4 DE B3 20 BC C3 B8 C0 DE BB B2"), SJIS, CERTAIN},
      {"\u0424\u0430\u0439\u043b \u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d in CP1251",
       hex("D4 E0 E9 EB 20 ED E5 20 ED E0 E9 E4 E5 ED"), FOREIGN, LIKELY, Foreign::cp1251},
      {"three Cyrillic letters are too few", hex("4E 65 74 20 CD E5 F2"), EUC, GUESS},
      {"\u0386\u03ba\u03c5\u03c1\u03bf \u03cc\u03c1\u03b9\u03c3\u03bc\u03b1 in ISO-8859-7",
       hex("B6 EA F5 F1 EF 20 FC F1 E9 F3 EC E1"), FOREIGN, LIKELY, Foreign::greek},
      {"a table of JIS row 16 is Japanese", row16, EUC, CERTAIN},
      {"Japanese names of kanji alone", hex("C5 C4 C3 E6 C2 C0 CF BA 20 BB B3 CB DC B2 D6 BB D2 20 BA B4 C6 A3 B7 F2 B0 EC 20 CE EB CC DA B0 EC CF BA"), EUC, CERTAIN},
      {"\u79c0\u61b2 \u5200\u6839 \u6d69\u662d ...: a list of names whose GBK reading costs 35.95 half bits a hanzi",
       hex("0D 0A BD A8 B7 FB 0D 0A C5 E1 BA AC 0D 0A B9 C0 BE BC 0D 0A C5 DF CD D5 0D 0A BF B9 C3 E6 0D 0A C3 DE CA E6 "
           "0D 0A C1 A7 BE A1 0D 0A C2 E7 B8 D5 0D 0A C6 A3 B8 B6 B0 CB BC FE 0D 0A CB F4 C7 B7"),
       EUC, CERTAIN},
      {"a Japanese address", hex("C5 EC B5 FE C5 D4 C0 E9 C2 E5 C5 C4 B6 E8 B2 E2 A4 AC B4 D8"), EUC, CERTAIN},
      // JIS X 0213 only on evidence: a character the Windows reading and
      // EUC-JP's lack, in a text its own code reads whole.
      {"\u3053\u308c\u306f\u304b\u309a\u3067\u3059 in Shift_JIS-2004: 82 F5 is none of Windows'",
       hex("82 B1 82 EA 82 CD 82 F5 82 C5 82 B7"), Recognised::sjis2004, CERTAIN},
      {"the same, cut inside its last character", hex("82 B1 82 EA 82 CD 82 F5 82 C5 82"), SJIS, NOT_VALID},
      {"1-4-92, which JIS X 0213 leaves empty too", hex("82 B1 82 EA 82 CD 82 FA 82 C5 82 B7"), SJIS, NOT_VALID},
      {"plane 2 past the IBM extensions (FC F4)", hex("82 B1 82 EA 82 CD FC F4 82 C5 82 B7"), Recognised::sjis2004,
       CERTAIN},
      {"plane 2 under a user-defined lead byte reads as Windows writes it", hex("82 B1 82 EA 82 CD F0 40 82 C5 82 B7"),
       SJIS, CERTAIN},
      {"a base and its mark among stray bytes", hex("82 B1 82 EA 82 CD 86 63 82 C5 82 B7 80"), SJIS, NOT_VALID},
      {"plane 2 after SS3 where JIS X 0212 has nothing", hex("A4 B3 A4 EC A4 CF 8F A1 A1 A4 C7 A4 B9"),
       Recognised::euc2004, CERTAIN},
      {"the same, cut inside its last character", hex("A4 B3 A4 EC A4 CF 8F A1 A1 A4 C7 A4"), EUC, CERTAIN},
      {"JIS X 0212 after SS3 stays EUC", hex("A4 B3 A4 EC A4 CF 8F B0 A1 A4 C7 A4 B9"), EUC, CERTAIN},
      {"SS3 in a user-defined row of JIS X 0212 stays EUC", hex("A4 B3 A4 EC A4 CF 8F FE F6 A4 C7 A4 B9"), EUC,
       CERTAIN},
      {"\u3053\u308c\u306f\u304b\u309a\u3067\u3059 in EUC-JIS-2004: read as Shift_JIS-2004, no kana of two bytes",
       hex("A4 B3 A4 EC A4 CF A4 F7 A4 C7 A4 B9"), Recognised::euc2004, CERTAIN},
      {"\u6587\u4ef6 \u5c01 in Big5, two kana and an IPA letter in EUC-JIS-2004: three characters are too few",
       hex("79 58 20 A4 E5 A5 F3 0A 4C 7A 69 70 20 AB CA"), EUC, NOT_VALID},
      {"plane 2 and plane 1 beyond JIS X 0208 in EUC-JIS-2004", hex("A4 B3 A4 EC A4 CF 8F A1 A1 A9 A1"),
       Recognised::euc2004, CERTAIN},
      // EUC-JP's user-defined rows 85-88 and 93-94, where JIS X 0213 has
      // kanji, keep EUC's reading (converted to Shift-JIS, they stay the
      // user's own characters); rows 89-92 hold the IBM extensions
      // (1-92-89 is \u2178).
      {"\u9830\u3092\u8d64\u3089\u3081\u3066\u7b11\u3063\u305f: 1-93-90 is a user-defined character to EUC-JP",
       hex("FD FA A4 F2 C0 D6 A4 E9 A4 E1 A4 C6 BE D0 A4 C3 A4 BF"), EUC, CERTAIN},
      {"\u91ac\u6cb9\u3092\u5165\u308c\u308b reads as \u2178\u6cb9\u3092\u5165\u308c\u308b, as Windows writes EUC",
       hex("FC F9 CC FD A4 F2 C6 FE A4 EC A4 EB"), EUC, CERTAIN},
      // Words among letters that the Windows reading cannot take:
      // Shift_JIS-2004, less surely; not one character alone (Latin-1's
      // "Gro\xEBnland"), nor with half-width katakana, as EUC and other
      // codes read.
      {"by \u68ee\u9dd7\u5916, 1890 in Shift_JIS-2004", hex("62 79 20 90 58 EF E3 8A 4F 2C 20 31 38 39 30"),
       Recognised::sjis2004, LIKELY},
      {"Gro\u00ebnland in CP1252", hex("47 72 6F EB 6E 6C 61 6E 64 0A 47 75 61 6D 0A"), SJIS, NOT_VALID},
      {"the name with \uff71 after it", hex("62 79 20 90 58 EF E3 8A 4F 2C 20 31 38 39 30 20 B1"), SJIS, NOT_VALID},
      {"the name with \u9ad9, an IBM extension, after it",
       hex("62 79 20 90 58 EF E3 8A 4F 20 FB FC 2C 20 31 38 39 30"), SJIS, NOT_VALID},
      {"ESC $ ( Q in 7-bit text: ISO-2022-JP-2004", hex("61 1B 24 28 51 2D 21 1B 28 42 0A"), Recognised::jis2004, CERTAIN},
      {"ESC $ ( P after ESC $ B", hex("1B 24 42 34 41 1B 28 42 20 1B 24 28 50 21 21 1B 28 42"), Recognised::jis2004,
       CERTAIN},
      {"the 2000 edition's ESC $ ( O", hex("1B 24 28 4F 2D 21 1B 28 42"), Recognised::jis2004, CERTAIN},
      {"ESC $ ( D stays JIS", hex("61 1B 24 28 44 30 21 1B 28 42"), JIS, CERTAIN},
      {"ESC $ ( and another letter is no sign", hex("61 1B 24 28 5A"), ASCII, CERTAIN},
      // No kana, so no Japanese: GBK that EUC-JIS-2004 reads whole.
      {"RGB \u56fe\u50cf in GBK is no EUC-JIS-2004", hex("0A 52 47 42 20 CD BC CF F1 0A 52 49 46 46 20"), EUC,
       NOT_VALID},
  };
  for (const auto& c : rows) expect_recognised(c);
}

TEST(Recognition, WholeTextsAndEarlyDecisions) {
  const std::string ascii(70000, 'a');
  const std::string euc = test::repeat(test::kEucText, 200);  // valid only as EUC, past the early check
  const std::string sjis = test::repeat(test::kSjisText, 200);
  const RecognitionCase rows[] = {
      {"UTF-8 whose first non-ASCII character is past 64 KiB", ascii + "\xE3\x81\x82\n", UTF8, CERTAIN},
      {"EUC whose first 8-bit byte is past 64 KiB", ascii + test::kEucText, EUC, CERTAIN},
      {"Shift-JIS past 64 KiB", ascii + test::kSjisText, SJIS, CERTAIN},
      {"JIS X 0212 far into EUC text", euc.substr(0, 3000) + "\x8F\xAB\xA1" + euc, EUC, CERTAIN},
      {"a Shift-JIS pair after the early decision for EUC", euc + "\x82\xA0", EUC, CERTAIN},
      {"an EUC pair after the early decision for Shift-JIS", sjis + "\xA4\xA2", SJIS, CERTAIN},
      {"long UTF-8 text cut inside its last character", test::repeat("\xE6\xBC\xA2", 3000) + "\xE5\xAD", UTF8, LIKELY},
      {"UTF-8 lines that no legacy reading allows, cut", test::repeat("\xE3\x81\x82\n", 3000) + "\xE5\xAD", UTF8, CERTAIN},
      // The first block is 64 KiB.
      {"a NUL at the last byte of the first block", ascii.substr(0, 65535) + '\0', FOREIGN, CERTAIN, BINARY},
      {"a NUL past the first block", ascii.substr(0, 65536) + '\0', ASCII, CERTAIN},
      // A designation of JIS X 0213 in the first 64 KiB makes ISO-2022-JP-2004.
      {"ESC $ ( Q at the last bytes of the window", ascii.substr(0, 65532) + "\x1B$(Q-!\x1B(B", Recognised::jis2004,
       CERTAIN},
      {"ESC $ ( Q past the window", ascii.substr(0, 65536) + "\x1B$(Q-!\x1B(B", ASCII, CERTAIN},
  };
  for (const auto& c : rows) expect_recognised(c);
}

TEST(Recognition, ReadErrorIsUnreadable) { EXPECT_EQ(recognise_code(nullptr).code, Recognised::unreadable); }

}  // namespace
}  // namespace kotran
