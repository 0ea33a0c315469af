#include "kernels/paths.h"

#include "kernels/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#if __has_include(<sys/platform/x86.h>)
// (The header is written in C: its functions return _Bool, which Clang's C++
// does not know.)
#if defined(__clang__)
#define _Bool bool
#endif
#include <sys/platform/x86.h>
#undef _Bool
#define KOTRAN_HOST_CPU_FEATURES 1
#else
#include <cpuid.h>
#endif
#endif

namespace kotran {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// The processor's features as the C library found them when the program
// started, where it tells them (glibc): asking the processor again costs a
// trap to the hypervisor on a virtual machine, some microseconds each, which
// a process for each small file pays. A feature counts only where the
// system saves its registers too (the AVX-512 state, say).
struct Features {
  bool movbe, pclmul, avx2, bmi, bmi2, avx512f, avx512bw, avx512vbmi, avx512vbmi2;
};

#if defined(KOTRAN_HOST_CPU_FEATURES)
Features host_features() {
  return {CPU_FEATURE_ACTIVE(MOVBE),    CPU_FEATURE_ACTIVE(PCLMULQDQ),   CPU_FEATURE_ACTIVE(AVX2),
          CPU_FEATURE_ACTIVE(BMI1),     CPU_FEATURE_ACTIVE(BMI2),        CPU_FEATURE_ACTIVE(AVX512F),
          CPU_FEATURE_ACTIVE(AVX512BW), CPU_FEATURE_ACTIVE(AVX512_VBMI), CPU_FEATURE_ACTIVE(AVX512_VBMI2)};
}
#else
// MOVBE, which the wider paths store UTF-8's codes with (CPUID leaf 1,
// ECX bit 22; not every compiler's __builtin_cpu_supports names it).
bool has_movbe() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_MOVBE) != 0;
}

Features host_features() {
  __builtin_cpu_init();
  return {has_movbe(),
          __builtin_cpu_supports("pclmul") != 0,
          __builtin_cpu_supports("avx2") != 0,
          __builtin_cpu_supports("bmi") != 0,
          __builtin_cpu_supports("bmi2") != 0,
          __builtin_cpu_supports("avx512f") != 0,
          __builtin_cpu_supports("avx512bw") != 0,
          __builtin_cpu_supports("avx512vbmi") != 0,
          __builtin_cpu_supports("avx512vbmi2") != 0};
}
#endif

}  // namespace
#endif

bool path_available(Path path) {
  switch (path) {
    case Path::scalar:
    case Path::words:
      return true;
    case Path::sse2:
      return SSE2_KERNELS;
    case Path::avx2:
    case Path::avx512bw:
    case Path::avx512vbmi2:
#if defined(__x86_64__) || defined(__i386__)
      if (!SSE2_KERNELS) return false;
      {
        static const Features f = host_features();
        if (!f.movbe || !f.pclmul) return false;
        if (path == Path::avx2) return f.avx2 && f.bmi;
        if (!(f.avx2 && f.avx512f && f.avx512bw && f.bmi && f.bmi2)) return false;
        // (Every processor with VBMI2 has VBMI, whose byte tables the path uses too.)
        return path == Path::avx512bw || (f.avx512vbmi2 && f.avx512vbmi);
      }
#else
      return false;
#endif
    case Path::neon:
      return NEON_KERNELS;  // every aarch64 processor has it
  }
  return false;
}

Path fastest_path() {
  for (const Path path : {Path::avx512vbmi2, Path::avx512bw, Path::avx2, Path::sse2, Path::neon})
    if (path_available(path)) return path;
  return Path::words;
}

const char* path_name(Path path) {
  switch (path) {
    case Path::scalar: return "scalar";
    case Path::words: return "words";
    case Path::sse2: return "sse2";
    case Path::avx2: return "avx2";
    case Path::avx512bw: return "avx512bw";
    case Path::avx512vbmi2: return "avx512vbmi2";
    case Path::neon: return "neon";
  }
  return "";
}

std::optional<Path> path_named(std::string_view name) {
  for (const Path path : PATHS)
    if (name == path_name(path)) return path;
  return std::nullopt;
}

}  // namespace kotran
