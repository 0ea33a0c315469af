#include "kernels/paths.h"

#include "kernels/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace kotran {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// MOVBE, which the wider paths store UTF-8's codes with (CPUID leaf 1,
// ECX bit 22; not every compiler's __builtin_cpu_supports names it).
bool has_movbe() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_MOVBE) != 0;
}

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
      __builtin_cpu_init();
      if (!has_movbe() || !__builtin_cpu_supports("pclmul")) return false;
      if (path == Path::avx2) return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
      if (!(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
            __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")))
        return false;
      // (Every processor with VBMI2 has VBMI, whose byte tables the path uses too.)
      return path == Path::avx512bw ||
             (__builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vbmi"));
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
