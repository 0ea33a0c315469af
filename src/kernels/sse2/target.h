// The SSE2 kernels' target: SSE2 is part of every x86-64 processor, so they
// are compiled for the build's own target and forced inline into the loops.
// Where the build's target lacks SSE2 (a 32-bit x86 build without it, or
// another processor) nothing of this folder is compiled.
#pragma once

#include "codes/hot.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
