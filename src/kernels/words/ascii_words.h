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
// The bytes of the word that are c, as their high bits, every hit exact.
KOTRAN_HOT uint64_t bytes_equal(uint64_t v, unsigned char c) {
  const uint64_t x = v ^ (ONES * c);
  return ~(((x & ~HIGH) + ~HIGH) | x) & HIGH;
}
}  // namespace ascii_words

// The line ends that a loop taking many bytes at once must leave to the
// byte loop, whose reader folds CR LF and whose writer translates LF (see
// ByteReader and ByteWriter). Where the writer makes every LF CR LF, a
// stored CR LF may be copied as it stands, and only a lone LF is left;
// otherwise a CR LF is left, and a lone LF is copied. Either way a take
// never ends just after a CR, whose LF may be next.
enum class LineEndStops : uint8_t {
  none,     // the stream translates line ends (or reads for recognition)
  lone_lf,  // a lone LF
  cr_lf,    // a CR LF
};

// The stops among the eight bytes of v, as their high bits, where the bytes
// are taken from the first: the lowest is exact.
KOTRAN_HOT uint64_t line_end_stops(uint64_t v, LineEndStops stops) {
  using namespace ascii_words;
  if (stops == LineEndStops::none) return 0;
  const uint64_t lf = bytes_equal(v, 0x0A);
  const uint64_t cr = bytes_equal(v, 0x0D);
  const uint64_t last = std::endian::native == std::endian::little ? 0x80ULL << 56 : 0x80;
  // The byte after each byte, in memory order.
  const uint64_t cr_before = std::endian::native == std::endian::little ? cr << 8 : cr >> 8;
  const uint64_t lf_after = std::endian::native == std::endian::little ? lf >> 8 : lf << 8;
  if (stops == LineEndStops::lone_lf) return (lf & ~cr_before) | (cr & last);
  return cr & (lf_after | last);
}

// How many of the eight bytes at p, from the first, lie below 0x80 (and are
// not ESC when stop_at_esc is set) before the first line-end stop: 0 to 8.
KOTRAN_HOT unsigned ascii_prefix(const unsigned char* p, bool stop_at_esc,
                                 LineEndStops stops = LineEndStops::none) {
  using namespace ascii_words;
  uint64_t v;
  std::memcpy(&v, p, 8);
  uint64_t stop = v & HIGH;
  if (stop_at_esc) stop |= esc_bytes(v);
  stop |= line_end_stops(v, stops);
  if (stop == 0) return 8;
  // The lowest byte in memory order is the first.
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<unsigned>(__builtin_ctzll(stop)) / 8;
  else
    return static_cast<unsigned>(__builtin_clzll(stop)) / 8;
}

// The length of the run of bytes below 0x80 at p (ESC too ends it when
// stop_at_esc is set, and so do the line-end stops), when at least its
// first eight bytes qualify; 0 otherwise, so that short runs stay in the
// byte loop.
KOTRAN_HOT size_t ascii_run(const unsigned char* p, const unsigned char* end, bool stop_at_esc,
                            LineEndStops stops = LineEndStops::none) {
  using namespace ascii_words;
  auto plain_word = [&](const unsigned char* at) {
    uint64_t v;
    std::memcpy(&v, at, 8);
    if ((v & HIGH) != 0) return false;
    if (stop_at_esc && esc_bytes(v) != 0) return false;
    return line_end_stops(v, stops) == 0;
  };
  if (end - p < 8 || !plain_word(p)) return 0;
  const unsigned char* q = p + 8;
  while (end - q >= 8 && plain_word(q)) q += 8;
  // The last few bytes one at a time, stopping at any line end.
  while (q < end && *q < 0x80 && !(stop_at_esc && *q == 0x1B) &&
         !(stops != LineEndStops::none && (*q == 0x0A || *q == 0x0D)))
    ++q;
  return static_cast<size_t>(q - p);
}

}  // namespace kotran
