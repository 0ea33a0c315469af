// One reading of a text in each code, fed a byte at a time: whether the whole
// text is valid in that code, and how much the characters it reads look like
// Japanese (the sum of their costs in the model; lower is likelier).
#pragma once

#include <cstdint>

#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "codes/user_defined.h"
#include "recognition/japanese_model.h"

namespace kotran {

// Cost of a text that ends inside a character: as dear as a rare character,
// so that an odd run of katakana bytes does not pass for EUC pairs.
inline constexpr unsigned CUT_COST = 32;

// Cost of a user-defined character: rarer than any listed one.
inline constexpr unsigned USER_DEFINED_COST = 40;

// Cost of a character that Japanese never writes where it stands: a lone
// half-width katakana against an ASCII letter, a user-defined character
// between two (see GluedCharacters). Latin text read as Shift-JIS or EUC is
// full of them: its letters inside words.
inline constexpr unsigned GLUED_COST = 24;

// Where a reading's characters beyond ASCII stand among ASCII letters.
// Japanese writes half-width katakana in words of several, never one
// alone against an ASCII letter (Latin-1's Ä before "LTESTE", Ö before
// "ffentlich" and µ before "s" read so in Shift-JIS); nor a user-defined
// character inside an ASCII word (öß in "Größe", ða in
// "Vopnafjarðarhreppur"). A kanji between ASCII letters is common
// ("argはNULL") and counts for nothing.
class GluedCharacters {
 public:
  enum class Kind : uint8_t { other, kana, user_defined };

  // A character beyond ASCII was read: a half-width katakana letter
  // (ｦ-ﾟ, not the punctuation ｡-･), a user-defined character, or another.
  void character(Kind kind) {
    const unsigned pending = state_ & HIGH_BEFORE ? 0u : static_cast<unsigned>(kind);
    state_ = static_cast<uint8_t>(pending | (state_ & LETTER ? LETTER_BEFORE : 0u) | HIGH_BEFORE);
  }
  // A run of ASCII from first to last (one byte: first == last) was read:
  // true where it ends a character glued to ASCII letters.
  bool ascii(unsigned first, unsigned last) {
    const unsigned pending = state_ & PENDING;
    const bool glued = pending != 0 && (pending == static_cast<unsigned>(Kind::kana)
                                            ? (state_ & LETTER_BEFORE) != 0 || is_letter(first)
                                            : (state_ & LETTER_BEFORE) != 0 && is_letter(first));
    state_ = is_letter(last) ? LETTER : 0;
    return glued;
  }
  // The text ended: true where its last character was glued.
  bool finish() const {
    return (state_ & PENDING) == static_cast<unsigned>(Kind::kana) && (state_ & LETTER_BEFORE) != 0;
  }

 private:
  static bool is_letter(unsigned b) { return (b | 0x20u) - 'a' < 26u; }

  // The kind of the last character, where ASCII or the start stands before
  // it (PENDING); whether an ASCII letter stands before it; whether the last
  // character was beyond ASCII; whether the last byte was an ASCII letter.
  static constexpr unsigned PENDING = 3, LETTER_BEFORE = 4, HIGH_BEFORE = 8, LETTER = 16;
  uint8_t state_ = 0;
};

// What every reading keeps of the characters it has read.
struct ReadingTally {
  bool valid = true;         // every byte so far belongs to a character of the code
  bool cut = false;          // the text ends inside a character (a cut text, still valid)
  bool plain = true;         // no user-defined character was read
  uint64_t cost = 0;         // model cost of the characters read, in half bits
  uint64_t characters = 0;   // characters of more than one byte, or 8-bit single bytes
  uint64_t glued = 0;        // characters Japanese never writes against ASCII letters (see GluedCharacters)
  CharClass last = CharClass::ascii;

  void take(CharClass c, unsigned char_cost) {
    cost += transition_cost(last, c) + char_cost;
    last = c;
    ++characters;
  }
  // A run of ASCII: only the change into it costs anything.
  void take_ascii() {
    cost += transition_cost(last, CharClass::ascii);
    last = CharClass::ascii;
  }
  void refuse() { valid = false; }
  // A user-defined character: valid, but no sign of the code.
  void take_user_defined() {
    plain = false;
    take(CharClass::symbol, USER_DEFINED_COST);
  }
  // A character read before was one Japanese never writes where it stands.
  void take_glued() {
    cost += GLUED_COST;
    ++glued;
  }
  // The text ended inside a character.
  void end_cut() {
    cut = true;
    cost += CUT_COST;
  }
};

// Cost of a character that JIS X 0208 rows 1-94 do not hold.
inline constexpr unsigned UNLISTED_SYMBOL_COST = 32;
inline constexpr unsigned CONTROL_COST = 80;  // C1 controls read from UTF-8

// Cost of a Unicode character: Latin-1 and Latin Extended as in latin text,
// the rest as their JIS X 0208 cell, or as a rare symbol.
inline unsigned unicode_cost(char32_t u) {
  if (u < 0xA0) return CONTROL_COST;
  if (u <= 0x24F) return japanese_model::LATIN_CHAR_COST;
  const uint16_t jis = unicode_to_jis(u);
  if (jis != 0 && jis_char_cost(jis) != 0) return jis_char_cost(jis);
  return UNLISTED_SYMBOL_COST;
}

// EUC: ASCII, pairs of 0xA1-0xFE that are assigned JIS X 0208 codes, SS2 and
// a katakana byte 0xA1-0xDF, SS3 and two bytes 0xA1-0xFE (JIS X 0212).
class EucReading {
 public:
  ReadingTally tally;

  bool at_rest() const { return state_ == State::rest; }

  void feed(unsigned b) {
    switch (state_) {
      case State::rest:
        if (b < 0x80) {
          take_ascii_run(b, b);
        } else if (b == 0x8E) {
          state_ = State::kana;
        } else if (b == 0x8F) {
          state_ = State::supplement_row;
        } else if (b >= 0xA1 && b <= 0xFE) {
          first_ = b;
          state_ = State::pair;
        } else {
          tally.refuse();
        }
        return;
      case State::pair:
        state_ = State::rest;
        if (b >= 0xA1 && b <= 0xFE) return take_pair(static_cast<uint16_t>((first_ & 0x7F) << 8 | (b & 0x7F)));
        return tally.refuse();
      case State::kana:
        state_ = State::rest;
        if (b >= 0xA1 && b <= 0xDF) {
          glued_.character(GluedCharacters::Kind::other);
          return tally.take(CharClass::halfkana, halfkana_cost(0xFF61 + (b - 0xA1)));
        }
        return tally.refuse();
      case State::supplement_row:
        if (b < 0xA1 || b > 0xFE) {
          state_ = State::rest;
          return tally.refuse();
        }
        first_ = b;
        state_ = State::supplement_cell;
        return;
      case State::supplement_cell:
        state_ = State::rest;
        if (b >= 0xA1 && b <= 0xFE) return take_supplement(first_ & 0x7F);
        return tally.refuse();
    }
  }
  // A run of ASCII whose first and last bytes are these.
  void take_ascii_run(unsigned first, unsigned last) {
    tally.take_ascii();
    if (glued_.ascii(first, last)) tally.take_glued();
  }
  void finish() {
    if (state_ != State::rest) tally.end_cut();
    else if (glued_.finish()) tally.take_glued();
  }

 private:
  enum class State : uint8_t { rest, pair, kana, supplement_row, supplement_cell };

  void take_pair(uint16_t jis) {
    const char16_t u = jis_to_unicode(jis);
    if (u == 0) return tally.refuse();
    if (is_user_defined(u)) {
      glued_.character(GluedCharacters::Kind::user_defined);
      return tally.take_user_defined();
    }
    glued_.character(GluedCharacters::Kind::other);
    tally.take(jis_class(jis, u), jis_char_cost(jis));
  }
  // JIS X 0212 by row: accented Latin, Greek and Cyrillic letters, symbols,
  // and kanji rarer than any of JIS X 0208.
  void take_supplement(unsigned row) {
    glued_.character(GluedCharacters::Kind::other);
    if (row == 0x26 || row == 0x27 || (row >= 0x29 && row <= 0x2B))
      return tally.take(CharClass::latin, japanese_model::LATIN_CHAR_COST);
    if (row >= 0x30 && row <= 0x6D) return tally.take(CharClass::kanji, SUPPLEMENT_KANJI_COST);
    tally.take(CharClass::symbol, UNLISTED_SYMBOL_COST);
  }
  static constexpr unsigned SUPPLEMENT_KANJI_COST = 50;

  State state_ = State::rest;
  unsigned first_ = 0;
  GluedCharacters glued_;
};

// Shift-JIS as Windows writes it: ASCII, half-width katakana 0xA1-0xDF, and
// pairs whose JIS code is assigned (the IBM extensions of lead bytes 0xFA-0xFC
// and the user-defined characters 0xF040-0xF9FC included).
class SjisReading {
 public:
  ReadingTally tally;
  // Half-width katakana of 0xA1-0xBF (the punctuation, the small letters,
  // the long vowel mark and ｱ-ｿ) and of 0xC0-0xDF (ﾀ-ﾟ). Japanese never
  // writes the latter alone for long; KOI8-R's small Cyrillic letters are
  // just these bytes.
  uint64_t early_kana = 0, late_kana = 0;
  // Lead bytes 0x81-0x9F, which most Shift-JIS text is full of and EUC text
  // (read as Shift-JIS) lacks but for SS2, SS3 and stray bytes.
  uint64_t low_leads = 0;
  // Pairs of JIS X 0208 rows 4 and 5 (hiragana, katakana): 0x829F-0x82F1
  // and 0x8340-0x8396, which no Korean or Chinese code reads as a
  // character its text writes.
  uint64_t kana = 0;

  bool at_rest() const { return first_ == 0; }
  // From here on the characters are counted but not scored: where this
  // reading alone is valid and no foreign reading counts, nothing weighs
  // its cost any more (it only has to stay valid).
  void stop_scoring() { scored_ = false; }

  void feed(unsigned b) {
    if (first_ != 0) {
      const unsigned lead = first_;
      first_ = 0;
      return take_pair(static_cast<uint16_t>(lead << 8 | b));
    }
    if (b < 0x80) return take_ascii_run(b, b);
    if (b >= 0xA1 && b <= 0xDF) {
      ++(b >= 0xC0 ? late_kana : early_kana);
      if (!scored_) {
        ++tally.characters;
        return;
      }
      glued_.character(b >= 0xA6 ? GluedCharacters::Kind::kana : GluedCharacters::Kind::other);
      return tally.take(CharClass::halfkana, halfkana_cost(0xFF61 + (b - 0xA1)));
    }
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      low_leads += b <= 0x9F;
      first_ = b;
      return;
    }
    tally.refuse();
  }
  // A run of ASCII whose first and last bytes are these. (Where the
  // reading is no longer scored, where its characters stand is not kept.)
  void take_ascii_run(unsigned first, unsigned last) {
    if (!scored_) return;
    tally.take_ascii();
    if (glued_.ascii(first, last)) tally.take_glued();
  }
  void finish() {
    if (first_ != 0) tally.end_cut();
    else if (glued_.finish() && scored_) tally.take_glued();
  }

 private:
  void take_pair(uint16_t code) {
    const unsigned lead = code >> 8;
    if (lead <= 0xEF) {
      // Rows 1-94, by the converters' tables.
      const unsigned row = row_tables.jis_row[lead];
      const unsigned low = row_tables.jis_low[code & 0xFF];
      const auto jis = static_cast<uint16_t>((row + (low >> 8)) << 8 | (low & 0xFF));
      const char16_t u = row == 0 || low == 0 ? 0 : jis_to_unicode(jis);
      if (u == 0 || is_user_defined(u)) return tally.refuse();  // 0xEB, 0xEC, 0xEF: empty under Windows
      kana += (jis >> 8) - 0x24u < 2u;
      if (!scored_) {
        ++tally.characters;
        return;
      }
      glued_.character(GluedCharacters::Kind::other);
      return tally.take(jis_class(jis, u), jis_char_cost(jis));
    }
    // A trail byte 0x7F is in no Windows table, under any lead byte.
    const uint16_t jis = (code & 0xFF) == 0x7F ? 0 : sjis_to_jis_code(code);
    const char16_t u = jis == 0 ? 0 : jis_to_unicode(jis);
    if (u == 0) return tally.refuse();
    if (is_user_defined(u)) {
      // Only under their own lead bytes 0xF0-0xF9: Windows leaves 0xEB, 0xEC
      // and 0xEF empty.
      if (jis < 0x7F00) return tally.refuse();
      if (scored_) glued_.character(GluedCharacters::Kind::user_defined);
      return tally.take_user_defined();
    }
    // The IBM extensions past row 94 cost what their rows 1-94 twins do.
    if (!scored_) {
      ++tally.characters;
      return;
    }
    glued_.character(GluedCharacters::Kind::other);
    tally.take(char_class(u), jis_char_cost(jis >= 0x7F00 ? unicode_to_jis(u) : jis));
  }

  unsigned first_ = 0;
  bool scored_ = true;
  GluedCharacters glued_;
};

// UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
class Utf8Reading {
 public:
  ReadingTally tally;
  uint64_t long_characters = 0;  // characters of three or four bytes

  // A run of ASCII.
  void take_ascii_run(unsigned, unsigned) { tally.take_ascii(); }
  bool at_rest() const { return more_ == 0; }

  void feed(unsigned b) {
    if (more_ > 0) {
      if (b < low_ || b > high_) {
        more_ = 0;
        return tally.refuse();
      }
      u_ = (u_ << 6) | (b & 0x3F);
      low_ = 0x80;
      high_ = 0xBF;
      if (--more_ == 0) take(u_);
      return;
    }
    if (b < 0x80) return tally.take_ascii();
    low_ = 0x80;
    high_ = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      more_ = 1;
      u_ = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more_ = 2;
      u_ = b & 0x0F;
      if (b == 0xE0) low_ = 0xA0;
      if (b == 0xED) high_ = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more_ = 3;
      u_ = b & 0x07;
      if (b == 0xF0) low_ = 0x90;
      if (b == 0xF4) high_ = 0x8F;
    } else {
      tally.refuse();
    }
  }
  void finish() {
    if (more_ != 0) tally.end_cut();
  }

 private:
  void take(char32_t u) {
    if (u >= 0x800) ++long_characters;
    tally.take(char_class(u), unicode_cost(u));
  }

  unsigned more_ = 0;
  unsigned low_ = 0x80, high_ = 0xBF;
  char32_t u_ = 0;
};

}  // namespace kotran
