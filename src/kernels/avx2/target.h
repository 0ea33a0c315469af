// The AVX2 kernels' target, opened here for every function of this folder:
// compiled for AVX2, BMI (tzcnt and blsr) and PCLMUL (the carry-less
// multiply), which every AVX2 processor has (Intel's from Haswell, AMD's
// from Excavator), whatever the build's target, and called only where the
// processor has them. A kernel is not
// forced inline (a function of another target may not be), but small
// enough to be inlined into the path's own entry, which is compiled for
// AVX2 and flattened.
#pragma once

#include "codes/hot.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>

#define KOTRAN_WIDE __attribute__((target("avx2,bmi,pclmul"))) inline
#define KOTRAN_WIDE_ENTRY __attribute__((noinline, target("avx2,bmi,pclmul"), flatten))
#endif
