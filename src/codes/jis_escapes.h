// The escape sequences of JIS text: the one table that reading, writing and
// recognition share.
#pragma once

#include <cstdint>

namespace kotran {

inline constexpr unsigned ESC = 0x1B;

// What an escape sequence does to the text after it.
enum class JisEscape : uint8_t {
  unknown,       // not one of ours: ESC stands for itself
  kanji_in,      // two-byte JIS X 0208 codes follow
  one_byte,      // one-byte text follows (kanji-out)
  kana_in,       // half-width katakana as 7-bit bytes follow
  kana_set,      // names the katakana set for a later shift; changes nothing here
  single_shift,  // ESC N x: x alone is a half-width katakana
};

struct JisEscapeSequence {
  char bytes[4];  // up to three bytes and a NUL
  JisEscape meaning;
};

// Every sequence a JIS reader knows, the most frequent first (lookups try
// them in order). Recognition takes a kanji-in sequence, and ESC * I, for a
// sign of JIS.
inline constexpr JisEscapeSequence jis_escape_sequences[] = {
    {"\x1B$B", JisEscape::kanji_in},  {"\x1B(J", JisEscape::one_byte}, {"\x1B(B", JisEscape::one_byte},
    {"\x1B$@", JisEscape::kanji_in},  {"\x1B*B", JisEscape::one_byte}, {"\x1B(I", JisEscape::kana_in},
    {"\x1B*I", JisEscape::kana_set},  {"\x1BN", JisEscape::single_shift},
};

// The meaning of ESC followed by second and third. The single shift takes
// any third byte: the katakana it shifts. The search over the few sequences
// unrolls into compares of the two bytes at once.
constexpr JisEscape jis_escape_meaning(unsigned second, unsigned third) {
  const unsigned key = second << 8 | third;
  for (const JisEscapeSequence& seq : jis_escape_sequences) {
    const auto s2 = static_cast<unsigned char>(seq.bytes[1]);
    const auto s3 = static_cast<unsigned char>(seq.bytes[2]);
    if (seq.meaning == JisEscape::single_shift ? second == s2 : key == static_cast<unsigned>(s2 << 8 | s3))
      return seq.meaning;
  }
  return JisEscape::unknown;
}

// The sequences JIS output uses, by variant. Row 0 ('83 kanji, the default)
// and row 3 ('78 kanji) are chosen by options; the others are kept for
// completeness.
struct JisEscapeRow {
  const char* kanji_in;
  const char* kanji_out;
};

inline constexpr unsigned JIS_VARIANT_COUNT = 5;
inline constexpr unsigned JIS_VARIANT_83 = 0;
inline constexpr unsigned JIS_VARIANT_78 = 3;

inline constexpr JisEscapeRow jis_escape_table[JIS_VARIANT_COUNT] = {
    {"\x1B$B", "\x1B(J"},  // ESC $ B, ESC ( J
    {"\x1B$B", "\x1B(B"},  // ESC $ B, ESC ( B
    {"\x1B*I", "\x1B*B"},  // ESC * I, ESC * B
    {"\x1B$@", "\x1B(J"},  // ESC $ @, ESC ( J
    {"\x1BK", "\x1BH"},    // ESC K, ESC H
};

constexpr bool sequences_are_short() {
  auto length = [](const char* text) {
    unsigned n = 0;
    while (text[n] != '\0') ++n;
    return n;
  };
  for (const JisEscapeRow& row : jis_escape_table)
    if (length(row.kanji_in) > 3 || length(row.kanji_out) > 3) return false;
  return true;
}
// The writer's tight loops store a sequence as four bytes.
static_assert(sequences_are_short(), "an escape sequence of more than three bytes");

// Half-width katakana are introduced by this sequence whatever the variant.
inline constexpr const char* KANA_IN = "\x1B(I";
// One-byte text is ASCII after this sequence, and JIS-Roman after the other
// (where the two are told apart: the YEN SIGN and OVERLINE at 0x5C and 0x7E).
inline constexpr const char* ASCII_IN = "\x1B(B";
inline constexpr const char* ROMAN_IN = "\x1B(J";
// JIS X 0212 codes are introduced by this sequence whatever the variant.
inline constexpr const char* SUPPLEMENT_IN = "\x1B$(D";
// ISO-2022-JP-2004: JIS X 0213 plane 1 after the first (the 2000 edition's
// ESC $ ( O is read alike), plane 2 after the second; JIS X 0208's own
// cells after ESC $ B, as JIS has them.
inline constexpr const char* X0213_PLANE1_IN = "\x1B$(Q";
inline constexpr const char* X0213_PLANE2_IN = "\x1B$(P";

// The sequence that names the katakana set, which JIS output passes on.
inline constexpr const char* KANA_SET = "\x1B*I";

}  // namespace kotran
