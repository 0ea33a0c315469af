#include "recognition/recognise.h"

#include "recognition/detect_code.h"
#include "recognition/first_block.h"
#include "recognition/invalid_places.h"
#include "recognition/x0213_evidence.h"

namespace kotran {

// EUC text read as Shift-JIS has fewer than one lead byte below 0xA0 in this
// many characters.
inline constexpr uint64_t EUC_LIKE_SHARE = 8;

Recognition recognise_code(TextStream* in, Path path) {
  if (in == nullptr) return {Recognised::unreadable, Certainty::certain};
  const int64_t start = stream_tell(in);
  const Evidence e = gather_evidence(in, path);
  auto first_opinion = [&] {
    stream_seek(in, start, 0);
    return detect_code(in, path);
  };
  Recognition r = decide(e, first_opinion);
  const bool legacy = r.code == Recognised::euc || r.code == Recognised::sjis;
  bool foreign = r.code == Recognised::not_japanese && r.foreign != Foreign::binary && r.foreign != Foreign::koi8_r;
  // Valid in no code, and no NUL: UTF-16 of kana and kanji alone, where
  // the first block reads as Japanese text in one order. (So too where a
  // one-byte code of another language reads it: UTF-16's bytes are valid in
  // those, but other text seldom reads as UTF-16 of Japanese.)
  // So too where Shift-JIS alone reads it, as what Japanese never writes:
  // a half-width katakana alone against an ASCII letter (UTF-16's 0x30
  // after a katakana byte reads as 0, its 0x65 as e).
  const bool no_reading = !e.utf8.tally.valid && !e.euc.tally.valid && !e.sjis.tally.valid;
  const bool glued_sjis = !e.utf8.tally.valid && !e.euc.tally.valid && e.sjis.tally.valid && e.japanese_window_glued > 0;
  if ((no_reading && ((r.certainty == Certainty::not_valid && legacy) || foreign)) ||
      (glued_sjis && (r.code == Recognised::sjis || foreign))) {
    stream_seek(in, start, 0);
    const FirstBlock block = first_block(in, start, true);
    stream_seek(in, start, 0);
    if (block.utf16 != ByteOrder::marked)
      return {Recognised::utf16,
              block.utf16_certainty == Certainty::certain ? Certainty::likely : block.utf16_certainty, Foreign::none,
              block.utf16};
  }
  // Valid in no code: the legacy reading with far fewer invalid places,
  // the rest scored by the model, rather than the first decisive sign. So
  // too where EUC is invalid and Shift-JIS (EUC's bytes read as half-width
  // katakana and rare pairs) won: one stray byte in EUC text is still EUC,
  // though not valid text.
  // (Shift-JIS text, with its many lead bytes below 0xA0, is not read again.)
  const bool euc_like = e.sjis.low_leads * EUC_LIKE_SHARE <= e.sjis.tally.characters;
  const bool euc_lost = (r.code == Recognised::sjis || foreign) && !e.euc.tally.valid && euc_like;
  if ((r.certainty == Certainty::not_valid && legacy) || euc_lost) {
    stream_seek(in, start, 0);
    const InvalidPlaces places = count_invalid_places(in);
    // Text of another language only where it reads far better so than EUC
    // with its invalid places too, where that reads any character at all;
    // else it is Japanese after all, as the Japanese readings tell.
    if (foreign) {
      Evidence with_places = e;
      if (places.euc_characters > 0 && places.euc_cost < e.japanese_window_cost) {
        with_places.japanese_window_cost = places.euc_cost;
        with_places.japanese_window_glued = 0;
      }
      if (foreign_language(with_places) != Foreign::none) return r;
      Evidence japanese = e;
      for (PairReading& f : japanese.foreign) f.valid = false;
      for (ByteReading& f : japanese.alphabets) f.valid = false;
      r = decide(japanese, first_opinion);
      foreign = r.code == Recognised::not_japanese;
    }
    switch (places.favours(LIKELY_MARGIN)) {
      case InvalidPlaces::Favours::euc: r = {Recognised::euc, Certainty::not_valid}; break;
      case InvalidPlaces::Favours::sjis:
        // Text of another language stays so: it was weighed against a
        // valid Shift-JIS reading already.
        if (!foreign) r.code = Recognised::sjis;
        break;
      case InvalidPlaces::Favours::none: break;
    }
  }
  return with_x0213_evidence(in, e, r);
}

}  // namespace kotran
