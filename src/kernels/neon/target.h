// The NEON kernels' target: NEON (Advanced SIMD) is part of every aarch64
// processor, so they are compiled for the build's own target and forced
// inline into the loops. Elsewhere nothing of this folder is compiled.
#pragma once

#include "codes/hot.h"

#if defined(__aarch64__) && defined(__ARM_NEON) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define KOTRAN_NEON_KERNELS 1
#include <arm_neon.h>
#endif
