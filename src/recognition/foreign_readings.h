// Readings of a text in the codes of other languages (the two-byte Korean
// EUC-KR, Chinese GBK and Big5; the one-byte Latin-1, CP1251 and
// ISO-8859-7), fed a byte at a time like the Japanese readings: whether the
// text is valid in the code, and what it costs under a model of that
// language (lower is likelier). They are the evidence that a text valid in
// a Japanese code is not Japanese.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "recognition/alphabet_model.h"
#include "recognition/chinese_model.h"
#include "recognition/korean_model.h"
#include "recognition/readings.h"
#include "recognition/recognised.h"

namespace kotran {

// A two-byte code and its model: the lead and trail bytes it allows, the
// rows of common characters that have costs of their own, and the cost of
// any other character and of each change of class (ascii, common, other).
struct PairCode {
  Foreign language;
  unsigned lead_first, lead_last;
  unsigned empty_first, empty_last;  // lead bytes of rows with no character (none: 0, 0)
  unsigned empty_lead;               // one more such lead byte (none: 0)
  bool low_trails;                   // trail bytes 0x40-0x7E
  bool middle_trails;                // trail bytes 0x80-0xA0
  unsigned common_first, common_last;  // lead bytes of the common rows
  bool common_low_trails;            // the common rows hold trail bytes 0x40-0x7E before 0xA1-0xFE
  size_t row_cells;
  const uint8_t* common_cost;
  const uint8_t& other_cost;
  const uint8_t (&transition)[3][3];
  // The decision: at least this many characters, each costing no more than
  // max_cost on average, cheaper than any Japanese reading by margin a
  // character, and frequent_percent of them frequent (a table of every
  // character of the code has a twentieth or less).
  uint64_t min_characters, max_cost, margin, frequent_percent;
};

// KS X 1001 (EUC-KR): leads 0xA1-0xFD but the empty rows 0xAD-0xAF and 0xC9;
// trails 0xA1-0xFE; hangul under leads 0xB0-0xC8.
inline constexpr PairCode EUC_KR = {
    Foreign::euc_kr, 0xA1, 0xFD, 0xAD, 0xAF, 0xC9, false, false, 0xB0, 0xC8, false, korean_model::ROW_CELLS,
    korean_model::HANGUL_COST, korean_model::OTHER_COST, korean_model::TRANSITION_COST, 3, 34, 13, 25};
// GBK: leads 0x81-0xFE; trails 0x40-0x7E and 0x80-0xFE; GB2312's hanzi under
// leads 0xB0-0xF7, trails 0xA1-0xFE.
inline constexpr PairCode GBK = {
    Foreign::gbk, 0x81, 0xFE, 0, 0, 0, true, true, 0xB0, 0xF7, false, chinese_model::GB_ROW_CELLS,
    chinese_model::GB_COST, chinese_model::GB_OTHER_COST, chinese_model::GB_TRANSITION_COST, 4, 35, 12, 10};
// Big5: leads 0xA1-0xF9; trails 0x40-0x7E and 0xA1-0xFE; the frequent hanzi
// under leads 0xA4-0xC6.
inline constexpr PairCode BIG5 = {
    Foreign::big5, 0xA1, 0xF9, 0, 0, 0, true, false, 0xA4, 0xC6, true, chinese_model::BIG5_ROW_CELLS,
    chinese_model::BIG5_COST, chinese_model::BIG5_OTHER_COST, chinese_model::BIG5_TRANSITION_COST, 4, 36, 14, 10};

inline constexpr const PairCode* FOREIGN_CODES[] = {&EUC_KR, &GBK, &BIG5};
inline constexpr size_t FOREIGN_COUNT = std::size(FOREIGN_CODES);

// A character this cheap (1 in 1,024 or likelier) is one of the few that
// make most of a language's text; a table of the code's characters, or
// Japanese read in the code, holds few of them.
inline constexpr unsigned FREQUENT_COST = 20;

class PairReading {
 public:
  bool valid = true;         // and still counted (see Gatherer::drop_hopeless)
  uint64_t cost = 0;        // in half bits, as the Japanese readings count
  uint64_t characters = 0;  // pairs read
  uint64_t frequent = 0;    // of them, those of FREQUENT_COST or less: text, not a table of the code

  explicit PairReading(const PairCode& code = EUC_KR) : code_(&code) {}

  const PairCode& code() const { return *code_; }
  bool at_rest() const { return lead_ == 0; }

  void feed(unsigned b) {
    const PairCode& c = *code_;
    if (lead_ != 0) {
      const unsigned lead = lead_;
      lead_ = 0;
      const bool trail = (b >= 0xA1 && b <= 0xFE) || (c.low_trails && b >= 0x40 && b <= 0x7E) ||
                         (c.middle_trails && b >= 0x80 && b <= 0xA0);
      if (!trail) {
        valid = false;
        return;
      }
      if (lead >= c.common_first && lead <= c.common_last) {
        const size_t row = (lead - c.common_first) * c.row_cells;
        if (b >= 0xA1) return take(Class::common, c.common_cost[row + (c.common_low_trails ? 0x3F : 0) + b - 0xA1]);
        if (c.common_low_trails && b <= 0x7E) return take(Class::common, c.common_cost[row + b - 0x40]);
      }
      return take(Class::other, c.other_cost);
    }
    if (b < 0x80) return take_ascii();
    if (b < c.lead_first || b > c.lead_last || (b >= c.empty_first && b <= c.empty_last) || b == c.empty_lead) {
      valid = false;
      return;
    }
    lead_ = b;
  }
  void take_ascii() { move(Class::ascii); }
  // The text ended: inside a character, as dear as the Japanese readings count it.
  void finish() {
    if (lead_ != 0) cost += CUT_COST;
  }

  // Whether the reading is the evidence that the text is not Japanese, where
  // the cheapest Japanese reading costs japanese (UINT64_MAX: none is
  // valid) and holds glued characters that Japanese never writes where
  // they stand. The bound on this reading's own cost keeps off Japanese
  // whose every reading is dear (kanji alone); such places are no sign of
  // that Japanese, and each raises the bound by what it cost.
  bool decides(uint64_t japanese, uint64_t glued) const {
    const PairCode& c = *code_;
    if (!valid || characters < c.min_characters || cost > c.max_cost * characters + GLUED_COST * glued) return false;
    if (frequent * 100 < c.frequent_percent * characters) return false;
    return japanese == UINT64_MAX || japanese >= cost + c.margin * characters;
  }

 private:
  enum class Class : uint8_t { ascii, common, other };

  void move(Class to) {
    cost += code_->transition[static_cast<size_t>(last_)][static_cast<size_t>(to)];
    last_ = to;
  }
  void take(Class c, unsigned char_cost) {
    move(c);
    cost += char_cost;
    ++characters;
    frequent += char_cost <= FREQUENT_COST ? 1 : 0;
  }

  const PairCode* code_;
  unsigned lead_ = 0;
  Class last_ = Class::ascii;
};

// A one-byte code of an alphabet and its model: the cost and class of each
// byte 0x80-0xFF (cost 0: the code has no such character), the cost of a
// byte 0xC0-0xFF after another, and of each change of class (ascii,
// letter, other).
struct ByteCode {
  Foreign language;
  const uint8_t* byte_cost;
  const uint8_t* byte_class;
  const uint8_t* pair_cost;
  const uint8_t (&transition)[3][3];
  // The decision: at least this many characters beyond ASCII, costing no
  // more than max_cost each on average, and cheaper than any Japanese
  // reading by margin a character.
  uint64_t min_characters, max_cost, margin;
};

inline constexpr ByteCode LATIN_1 = {Foreign::latin1, alphabet_model::LATIN1_COST, alphabet_model::LATIN1_CLASS, alphabet_model::LATIN1_PAIR_COST,
                                     alphabet_model::LATIN1_TRANSITION_COST, 1, 32, 10};
inline constexpr ByteCode CP1251 = {Foreign::cp1251, alphabet_model::CP1251_COST, alphabet_model::CP1251_CLASS, alphabet_model::CP1251_PAIR_COST,
                                    alphabet_model::CP1251_TRANSITION_COST, 4, 16, 6};
inline constexpr ByteCode ISO_8859_7 = {Foreign::greek, alphabet_model::GREEK_COST, alphabet_model::GREEK_CLASS, alphabet_model::GREEK_PAIR_COST,
                                        alphabet_model::GREEK_TRANSITION_COST, 4, 16, 6};

inline constexpr const ByteCode* ALPHABET_CODES[] = {&LATIN_1, &CP1251, &ISO_8859_7};
inline constexpr size_t ALPHABET_COUNT = std::size(ALPHABET_CODES);

class ByteReading {
 public:
  bool valid = true;        // and still counted (see Gatherer::drop_hopeless)
  uint64_t cost = 0;        // in half bits, as the Japanese readings count
  uint64_t characters = 0;  // bytes 0x80-0xFF read

  explicit ByteReading(const ByteCode& code = LATIN_1) : code_(&code) {}

  const ByteCode& code() const { return *code_; }
  bool at_rest() const { return true; }

  void feed(unsigned b) {
    if (b < 0x80) return take_ascii();
    const unsigned c = code_->byte_cost[b - 0x80];
    if (c == 0) {
      valid = false;
      return;
    }
    move(code_->byte_class[b - 0x80]);
    using alphabet_model::PAIR_FIRST;
    cost += previous_ >= PAIR_FIRST && b >= PAIR_FIRST
                ? code_->pair_cost[(previous_ - PAIR_FIRST) * alphabet_model::PAIR_BYTES + b - PAIR_FIRST]
                : c;
    previous_ = b;
    ++characters;
  }
  void take_ascii() {
    move(0);
    previous_ = 0;
  }
  void finish() {}

  // Whether the reading is the evidence that the text is not Japanese (see
  // PairReading::decides).
  bool decides(uint64_t japanese, uint64_t glued) const {
    const ByteCode& c = *code_;
    if (!valid || characters < c.min_characters || cost > c.max_cost * characters + GLUED_COST * glued) return false;
    return japanese == UINT64_MAX || japanese >= cost + c.margin * characters;
  }

 private:
  void move(unsigned to) {
    cost += code_->transition[last_][to];
    last_ = to;
  }

  const ByteCode* code_;
  unsigned last_ = 0;  // the class of the last character: 0 ascii, 1 letter, 2 other
  unsigned previous_ = 0;  // the last byte, where it was 0x80-0xFF
};

}  // namespace kotran
