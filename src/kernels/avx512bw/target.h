// The AVX-512 BW kernels' target, opened here for every function of this
// folder: compiled for AVX-512 BW (with BMI, BMI2 and PCLMUL) whatever the build's
// target, and called only where the processor has them; inlined into the
// path's own entry, which is compiled for them and flattened.
#pragma once

#include "codes/hot.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>

#define KOTRAN_WIDEST __attribute__((target("avx512bw,bmi,bmi2,pclmul"))) inline
#define KOTRAN_WIDEST_ENTRY __attribute__((noinline, target("avx512bw,bmi,bmi2,pclmul"), flatten))
#endif
