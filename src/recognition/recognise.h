// Recognising a file's code from the evidence of the whole text, with
// detect_code's first decisive sign as the first opinion where the evidence
// leaves the choice open.
#pragma once

#include <algorithm>
#include <cstdint>

#include "kernels/paths.h"
#include "recognition/evidence.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// Readings whose costs differ by no more than this (in half bits) are a tie,
// which the first opinion breaks; a difference of LIKELY_MARGIN or more
// makes the cheaper reading likely.
inline constexpr uint64_t TIE_MARGIN = 4;
inline constexpr uint64_t LIKELY_MARGIN = 20;
// Where EUC and Shift-JIS read almost equally well (a name of two kanji
// against four half-width katakana, say), EUC is the likelier: the EUC
// reading is counted this much cheaper.
inline constexpr uint64_t EUC_PREFERENCE = 8;
// Half-width katakana of ﾀ-ﾟ, this many, and fewer than one of ｡-ｿ in this
// many of them, are Cyrillic in KOI8-R.
inline constexpr uint64_t CYRILLIC_KANA = 16;

// The language a text of another language seems to be: the cheapest of
// the foreign readings that are the evidence (see PairReading::decides and
// ByteReading::decides), by cost a character; none where no reading is.
inline Foreign foreign_language(const Evidence& e) {
  Foreign best = Foreign::none;
  uint64_t best_cost = 0, best_characters = 1;
  auto weigh = [&](const auto& r) {
    if (r.decides(e.japanese_window_cost, e.japanese_window_glued) && (best == Foreign::none || r.cost * best_characters < best_cost * r.characters)) {
      best = r.code().language;
      best_cost = r.cost;
      best_characters = r.characters;
    }
  };
  for (const PairReading& r : e.foreign) weigh(r);
  for (const ByteReading& r : e.alphabets) weigh(r);
  return best;
}

// The code of the text from the stream's position, which it returns to, and
// how sure that is; unreadable on a read error (the stream's error_code says
// which).
Recognition recognise_code(TextStream* in, Path path = Path::words);

// The answer the evidence gives; first_opinion is asked only where the
// evidence leaves the choice open.
template <class FirstOpinion>
Recognition decide(const Evidence& e, FirstOpinion first_opinion) {
  using enum Recognised;
  if (e.unreadable) return {unreadable, Certainty::certain};
  if (e.mark == ByteOrderMark::utf8) return {utf8, Certainty::certain};
  if (e.mark == ByteOrderMark::utf16) return {utf16, Certainty::certain};
  if (e.unmarked_utf16 != ByteOrder::marked)
    return {utf16, e.unmarked_certainty, Foreign::none, e.unmarked_utf16};
  if (e.binary) return {not_japanese, Certainty::certain, Foreign::binary};
  if (e.jis_first) return {jis, Certainty::certain};
  if (!e.eight_bit) return {ascii, Certainty::certain};

  // 8-bit bytes are never ASCII: where the first opinion saw no decisive
  // sign, the text is read as Shift-JIS, as a named source would be.
  // A JIS escape after an 8-bit byte is no sign of JIS: where the first
  // opinion met one, what it held before was tentatively EUC.
  auto opinion = [&] {
    const Recognised r = first_opinion();
    return r == ascii ? sjis : r == jis ? euc : r;
  };
  const ReadingTally& u = e.utf8.tally;
  const ReadingTally& euc_reading = e.euc.tally;
  const ReadingTally& sjis_reading = e.sjis.tally;
  const bool legacy_valid = euc_reading.valid || sjis_reading.valid;
  // A whole text of valid UTF-8: characters of three or four bytes seldom
  // form by chance in legacy text; two-byte ones must also read better than
  // any valid legacy reading.
  if (u.valid && u.characters > 0) {
    if (e.utf8.long_characters > 0 || !legacy_valid)
      return {utf8, legacy_valid ? Certainty::likely : Certainty::certain};
    const uint64_t legacy_cost = std::min(euc_reading.valid ? euc_reading.cost : UINT64_MAX,
                                          sjis_reading.valid ? sjis_reading.cost : UINT64_MAX);
    if (u.cost + TIE_MARGIN < legacy_cost)
      return {utf8, u.cost + LIKELY_MARGIN <= legacy_cost ? Certainty::likely : Certainty::guess};
  }
  // Text of another language: only on its own evidence, however the Japanese readings fare.
  // Russian in KOI8-R: its small letters read as Shift-JIS are half-width
  // katakana of ﾀ-ﾟ alone, which Japanese does not write for long.
  // (Its ё, 0xA3, reads as ｣, but seldom.) Its capitals in CP1251 read
  // it less badly than Japanese does, but KOI8-R is the likelier.
  const bool koi8_r = e.sjis.late_kana >= CYRILLIC_KANA && e.sjis.early_kana * CYRILLIC_KANA <= e.sjis.late_kana;
  if (const Foreign f = foreign_language(e); f != Foreign::none)
    return {not_japanese, Certainty::likely, koi8_r && f == Foreign::cp1251 ? Foreign::koi8_r : f};
  if (koi8_r) return {not_japanese, Certainty::likely, Foreign::koi8_r};
  if (euc_reading.valid != sjis_reading.valid) return {euc_reading.valid ? euc : sjis, Certainty::certain};
  // User-defined characters make many an EUC text valid Shift-JIS as well: a
  // reading that needs none is the one, where the other needs them.
  const bool euc_plain = euc_reading.valid && euc_reading.plain;
  const bool sjis_plain = sjis_reading.valid && sjis_reading.plain;
  if (euc_plain != sjis_plain) return {euc_plain ? euc : sjis, Certainty::certain};
  if (!euc_reading.valid) return {opinion(), Certainty::not_valid};
  // Both legacy readings are valid: the one far more Japanese, else the first opinion.
  const uint64_t sjis_cost = sjis_reading.cost + EUC_PREFERENCE;
  const uint64_t low = std::min(euc_reading.cost, sjis_cost);
  const uint64_t high = std::max(euc_reading.cost, sjis_cost);
  if (high - low <= TIE_MARGIN) return {opinion(), Certainty::guess};
  return {euc_reading.cost < sjis_cost ? euc : sjis, high - low >= LIKELY_MARGIN ? Certainty::likely : Certainty::guess};
}

}  // namespace kotran
