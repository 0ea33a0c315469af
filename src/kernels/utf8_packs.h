// What the vector paths into and out of UTF-8 share, whatever their
// instruction set: the byte shuffles that pack the units of four bytes each
// that a vector holds by their lengths, and the bytes kept of eight; the
// form written for a pair with no character; and the table of each
// character's pair.
#pragma once

#include <cstdint>

#include "codes/unicode_table.h"
#include "kernels/units.h"

namespace kotran {

// The table that gives a character's pair in into, first byte first: JIS's
// (into EUC, with the high bits set after), or Shift-JIS's for rows 1-84;
// 0 where the vector paths leave the character to the byte loop.
template <RunPairs into>
inline constexpr const uint16_t* PAIR_CODES =
    into == RunPairs::sjis ? unicode_tables::UNICODE_TO_SJIS_ARITHMETIC : unicode_tables::UNICODE_TO_JIS;

// The byte shuffle that packs four units of four bytes, and how many bytes
// they come to. Entry e holds the lengths (0-3) of units 0-3 in its bit
// pairs, unit 0 in the lowest.
struct Utf8Packs {
  alignas(16) uint8_t take[256][16];
  uint8_t length[256];
};

constexpr Utf8Packs make_utf8_packs() {
  Utf8Packs packs{};
  for (unsigned e = 0; e < 256; ++e) {
    unsigned at = 0;
    for (unsigned q = 0; q < 4; ++q)
      for (unsigned b = 0; b < (e >> 2 * q & 3); ++b) packs.take[e][at++] = static_cast<uint8_t>(4 * q + b);
    packs.length[e] = static_cast<uint8_t>(at);
    while (at < 16) packs.take[e][at++] = 0x80;
  }
  return packs;
}

inline constexpr Utf8Packs UTF8_PACKS = make_utf8_packs();

// The byte shuffle that packs the bytes of eight whose bits are set in entry
// e, and how many they are: for paths with no bit extract of their own
// (take_high the same for the eight after, as a shuffle of sixteen takes
// them).
struct KeptBytes {
  alignas(8) uint8_t take[256][8];
  alignas(8) uint8_t take_high[256][8];
  uint8_t count[256];
};

constexpr KeptBytes make_kept_bytes() {
  KeptBytes kept{};
  for (unsigned e = 0; e < 256; ++e) {
    unsigned at = 0;
    for (unsigned b = 0; b < 8; ++b)
      if (e >> b & 1) kept.take[e][at++] = static_cast<uint8_t>(b);
    kept.count[e] = static_cast<uint8_t>(at);
    while (at < 8) kept.take[e][at++] = 0x80;
    for (unsigned b = 0; b < 8; ++b) kept.take_high[e][b] = static_cast<uint8_t>(kept.take[e][b] | 8);
  }
  return kept;
}

inline constexpr KeptBytes KEPT_BYTES = make_kept_bytes();

// The byte shuffle that packs the 16-bit words of eight whose bits are set
// in entry e (how many: KEPT_BYTES.count[e]).
struct KeptWords {
  alignas(16) uint8_t take[256][16];
};

constexpr KeptWords make_kept_words() {
  KeptWords kept{};
  for (unsigned e = 0; e < 256; ++e) {
    unsigned at = 0;
    for (unsigned b = 0; b < 8; ++b)
      if (e >> b & 1) {
        kept.take[e][at++] = static_cast<uint8_t>(2 * b);
        kept.take[e][at++] = static_cast<uint8_t>(2 * b + 1);
      }
    while (at < 16) kept.take[e][at++] = 0x80;
  }
  return kept;
}

inline constexpr KeptWords KEPT_WORDS = make_kept_words();

// U+FFFD's form, for a pair that has no character.
inline constexpr uint32_t REPLACEMENT_FORM = 0x03BDBFEF;

}  // namespace kotran
