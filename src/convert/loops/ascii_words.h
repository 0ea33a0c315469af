// Runs of ASCII found eight bytes at a time, for the tight loops.
#pragma once

#include "codes/hot.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kotran {

namespace ascii_words {
inline constexpr uint64_t HIGH = 0x8080808080808080ULL;
inline constexpr uint64_t ONES = 0x0101010101010101ULL;

// The bytes of the word that are ESC, as their high bits: a byte ESC becomes
// 0 and the lowest hit is exact.
KOTRAN_HOT uint64_t esc_bytes(uint64_t v) {
  const uint64_t x = v ^ (ONES * 0x1B);
  return (x - ONES) & ~x & HIGH;
}
}  // namespace ascii_words

// How many of the eight bytes at p, from the first, lie below 0x80 (and are
// not ESC when stop_at_esc is set): 0 to 8.
KOTRAN_HOT unsigned ascii_prefix(const unsigned char* p, bool stop_at_esc) {
  using namespace ascii_words;
  uint64_t v;
  std::memcpy(&v, p, 8);
  uint64_t stop = v & HIGH;
  if (stop_at_esc) stop |= esc_bytes(v);
  if (stop == 0) return 8;
  // The lowest byte in memory order is the first.
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<unsigned>(__builtin_ctzll(stop)) / 8;
  else
    return static_cast<unsigned>(__builtin_clzll(stop)) / 8;
}

// The length of the run of bytes below 0x80 at p (ESC too ends it when
// stop_at_esc is set), when at least its first eight bytes qualify; 0
// otherwise, so that short runs stay in the byte loop.
KOTRAN_HOT size_t ascii_run(const unsigned char* p, const unsigned char* end, bool stop_at_esc) {
  using namespace ascii_words;
  auto plain_word = [&](const unsigned char* at) {
    uint64_t v;
    std::memcpy(&v, at, 8);
    if ((v & HIGH) != 0) return false;
    return !stop_at_esc || esc_bytes(v) == 0;
  };
  if (end - p < 8 || !plain_word(p)) return 0;
  const unsigned char* q = p + 8;
  while (end - q >= 8 && plain_word(q)) q += 8;
  while (q < end && *q < 0x80 && !(stop_at_esc && *q == 0x1B)) ++q;
  return static_cast<size_t>(q - p);
}

}  // namespace kotran
