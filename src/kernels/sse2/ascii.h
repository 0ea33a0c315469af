// The SSE2 kernels of ASCII runs: where the line ends lie among 32 bytes.
#pragma once

#include "kernels/sse2/target.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

KOTRAN_HOT LineEndBytes line_end_bytes(const unsigned char* p) {
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  auto bits = [&](char c) {
    const __m128i x = _mm_set1_epi8(c);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v0, x))) |
           static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v1, x))) << 16;
  };
  return {bits(0x0D), bits(0x0A)};
}

}  // namespace kotran

#endif
