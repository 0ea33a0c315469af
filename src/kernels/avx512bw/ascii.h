// The AVX-512 BW kernels of ASCII runs: where the line ends lie among 64 bytes.
#pragma once

#include "kernels/avx512bw/bytes.h"
#include "kernels/units.h"

#if defined(__SSE2__)

namespace kotran {

KOTRAN_WIDEST LineEndBytes64 line_end_bytes_widest(const unsigned char* p) {
  const __m512i v = widest_load(p);
  return {_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0x0D)), _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0x0A))};
}

}  // namespace kotran

#endif
