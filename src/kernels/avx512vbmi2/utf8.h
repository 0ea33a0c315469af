// VBMI2's packing of UTF-8 forms: sixteen units of four bytes, each as long
// as its length, in one compress.
#pragma once

#include <cstdint>

#include "kernels/avx512vbmi2/bytes.h"

#if defined(__SSE2__)

namespace kotran {

// Writes at o the sixteen units of a group (each dword a unit of up to
// three bytes, its length 0-3 in its last byte), and moves o past them.
// The store is 64 bytes at o.
KOTRAN_COMPRESS void store_utf8_group_compressed(unsigned char*& o, __m512i units) {
  // Each byte kept where its place in its unit (0-3) is below the unit's
  // length, which one byte shuffle copies into each of the unit's four
  // bytes.
  const __m512i each_byte = _mm512_shuffle_epi8(
      units, _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303));
  const __mmask64 keep = _mm512_cmplt_epu8_mask(_mm512_set1_epi32(0x03020100), each_byte);
  const __m512i packed = compress_bytes(units, keep);
  const unsigned n = static_cast<unsigned>(__builtin_popcountll(keep));
  _mm512_storeu_si512(o, packed);
  o += n;
}

}  // namespace kotran

#endif
