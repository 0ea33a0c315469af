// Where one byte value stands among 16 bytes: the scan of the text streams'
// line-end folding. The vector form where the build has SSE2, the byte loop
// elsewhere, with the same answer.
#pragma once

#include "codes/hot.h"
#include "kernels/sse2/bytes.h"

namespace kotran {

inline constexpr unsigned MATCH_WIDTH = 16;

// Bit i of the result is set when p[i] is c, for the MATCH_WIDTH bytes at p.
KOTRAN_HOT unsigned match_mask(const unsigned char* p, unsigned char c) {
#if defined(__SSE2__)
  return equal_mask(p, c);
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < MATCH_WIDTH; ++i) mask |= (p[i] == c ? 1u : 0u) << i;
  return mask;
#endif
}

}  // namespace kotran
