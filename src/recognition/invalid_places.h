// Where no reading of a text is valid, or only Shift-JIS: each legacy
// reading read again,
// taken up after every byte it refuses, so that the evidence of the whole
// text (how many places are invalid, how Japanese the rest reads) decides,
// not the first decisive sign. One stray byte typed into an EUC file ("é"
// in Latin-1, say) must not make the whole file Shift-JIS.
#pragma once

#include <cstdint>

#include "stream/text_stream.h"

namespace kotran {

// Cost of an invalid place, in half bits: dearer than any character.
inline constexpr uint64_t INVALID_PLACE_COST = 64;

// The bytes read again: enough to tell, however long the text.
inline constexpr uint64_t INVALID_PLACES_WINDOW = 4096;

struct InvalidPlaces {
  uint64_t euc_places = 0, sjis_places = 0;  // bytes refused
  uint64_t euc_cost = 0, sjis_cost = 0;      // the characters' cost, and INVALID_PLACE_COST a place
  uint64_t euc_characters = 0, sjis_characters = 0;

  // A reading with more than one invalid place in this many characters is
  // no text of its code with a few stray bytes (a table of characters the
  // code lacks, say).
  static constexpr uint64_t STRAY_SHARE = 8;

  // The reading the evidence favours: with few invalid places, and cheaper
  // by at least margin (half bits); none where they are closer.
  enum class Favours : uint8_t { none, euc, sjis };
  Favours favours(uint64_t margin) const {
    if (euc_places * STRAY_SHARE <= euc_characters && euc_cost + margin <= sjis_cost) return Favours::euc;
    if (sjis_places * STRAY_SHARE <= sjis_characters && sjis_cost + margin <= euc_cost) return Favours::sjis;
    return Favours::none;
  }
};

// Reads the text from the stream's position, which it returns to, up to
// INVALID_PLACES_WINDOW bytes.
InvalidPlaces count_invalid_places(TextStream* s);

}  // namespace kotran
