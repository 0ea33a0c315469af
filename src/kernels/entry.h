// The entry into each path: a function of its own for each path and each
// caller, so that each path's loops are inlined into it alone, compiled for
// the path's instruction set and taken only where the processor has it.
#pragma once

#include "kernels/kernels.h"
#include "kernels/paths.h"

namespace kotran {
namespace entry {

// The paths the build's own target compiles.
template <Path path, class Run>
[[gnu::noinline]] void plain(Run& run) {
  run.template operator()<path>();
}

// The paths compiled for another target. Flattened: their kernels, compiled
// for the target but not forced inline, are inlined into them rather than
// called once a vector.
template <class Run>
KOTRAN_WIDE_ENTRY void wide(Run& run) {
  run.template operator()<Path::avx2>();
}

template <class Run>
KOTRAN_WIDEST_ENTRY void widest(Run& run) {
  run.template operator()<Path::avx512bw>();
}

template <class Run>
KOTRAN_COMPRESS_ENTRY void compressing(Run& run) {
  run.template operator()<Path::avx512vbmi2>();
}

}  // namespace entry

// Calls run.operator()<path>() for the path, through the path's entry.
// Where the run takes no vector step on it (steps false), a path compiled
// for the build's own target runs the word loop's entry instead: the same
// work in the very same code, so never slower than the word loop. A run
// whose steps pack no bytes (packs false) takes the AVX-512 BW entry on the
// VBMI2 path: the same code, compiled once.
template <bool packs = true, class Run>
void run_on_path(Path path, Run& run, bool steps = true) {
  switch (path) {
    case Path::scalar: return entry::plain<Path::scalar>(run);
    case Path::words: return entry::plain<Path::words>(run);
    // A path this build has no kernels for is never available, nor compiled.
    case Path::sse2:
      if (!steps) return entry::plain<Path::words>(run);
      if constexpr (SSE2_KERNELS) entry::plain<Path::sse2>(run);
      return;
    case Path::avx2:
      if constexpr (SSE2_KERNELS) entry::wide(run);
      return;
    case Path::avx512bw:
      if constexpr (SSE2_KERNELS) entry::widest(run);
      return;
    case Path::avx512vbmi2:
      if constexpr (SSE2_KERNELS && packs)
        entry::compressing(run);
      else if constexpr (SSE2_KERNELS)
        entry::widest(run);
      return;
    case Path::neon:
      if (!steps) return entry::plain<Path::words>(run);
      if constexpr (NEON_KERNELS) entry::plain<Path::neon>(run);
      return;
  }
}

}  // namespace kotran
