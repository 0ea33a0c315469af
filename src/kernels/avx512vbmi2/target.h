// The AVX-512 VBMI2 kernels' target, opened here for every function of this
// folder. Its path is the AVX-512 BW path with the bytes it keeps packed by
// VBMI2's byte compress: its entry is compiled for AVX-512 BW with VBMI2
// (and BMI, BMI2) and flattened, the BW kernels inlined into it, and called
// only where the processor has VBMI2. The compress is written as the
// instruction itself, in kernels of the BW target: they are called from the
// BW kernels, into which a function of a wider target is never inlined.
#pragma once

#include "codes/hot.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>

#define KOTRAN_COMPRESS __attribute__((target("avx512bw,bmi,bmi2,pclmul"))) inline
#define KOTRAN_COMPRESS_ENTRY __attribute__((noinline, target("avx512bw,avx512vbmi2,bmi,bmi2,pclmul"), flatten))
#endif
