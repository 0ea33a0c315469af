// VBMI2's byte compress, the store of the bytes a mask keeps by it, and
// VBMI's lookup of bytes in a table of 128.
#pragma once

#include <cstdint>

#include "kernels/avx512vbmi2/target.h"

#if defined(__SSE2__)

namespace kotran {

// The bytes of v whose bits are set in keep, packed at the start, the rest
// zero (vpcompressb).
KOTRAN_COMPRESS __m512i compress_bytes(__m512i v, __mmask64 keep) {
  __m512i packed;
  asm("vpcompressb %1, %0%{%2%}%{z%}" : "=v"(packed) : "v"(v), "Yk"(keep));
  return packed;
}

// Each byte of index as the byte of the 128 in low and high (low's first)
// that its low seven bits choose (VBMI's vpermi2b).
KOTRAN_COMPRESS __m512i look_up_bytes_128(__m512i index, __m512i low, __m512i high) {
  asm("vpermi2b %2, %1, %0" : "+v"(index) : "v"(low), "v"(high));
  return index;
}

// Stores at o the bytes of v whose bits are set in kept, packed, and moves
// o past them; the store is 64 bytes at o, as far as the 64 bytes of v
// reach whatever they keep. (A store straight from the compress would be
// exact, but on some processors it is microcoded and many times slower.)
KOTRAN_COMPRESS void store_kept_compressed(unsigned char*& o, __m512i v, uint64_t kept) {
  _mm512_storeu_si512(o, compress_bytes(v, kept));
  o += __builtin_popcountll(kept);
}

}  // namespace kotran

#endif
