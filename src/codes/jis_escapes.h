// Escape sequences of JIS text.
#pragma once

namespace kotran {

struct JisEscapeRow {
  const char* kanji_in;
  const char* kanji_out;
};

// Kanji-in and kanji-out sequences by variant. Row 0 ('83 kanji, the
// default) and row 3 ('78 kanji) are chosen by options; the others are kept
// for completeness.
inline constexpr JisEscapeRow jis_escape_table[5] = {
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
// The converters' tight loops store a sequence as four bytes.
static_assert(sequences_are_short(), "an escape sequence of more than three bytes");

// Half-width katakana are introduced by this sequence whatever the variant.
inline constexpr const char* KANA_IN = "\x1B(I";

}  // namespace kotran
