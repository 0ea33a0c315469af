// VBMI2's byte compress, and the store of the bytes a mask keeps by it.
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
