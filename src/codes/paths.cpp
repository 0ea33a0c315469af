#include "codes/paths.h"

#include <cstdlib>
#include <cstring>

namespace kotran {

bool path_available(Path path) {
#if defined(__x86_64__) || defined(__i386__)
  if (path == Path::wide_vectors || path == Path::widest_vectors) {
    __builtin_cpu_init();
    if (path == Path::wide_vectors) return __builtin_cpu_supports("avx2");
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
  }
#else
  if (path == Path::wide_vectors || path == Path::widest_vectors) return false;
#endif
  return true;
}

const char* path_name(Path path) {
  switch (path) {
    case Path::byte_loop: return "byte_loop";
    case Path::words: return "words";
    case Path::vectors: return "vectors";
    case Path::wide_vectors: return "wide_vectors";
    case Path::widest_vectors: return "widest_vectors";
  }
  return "";
}

Path chosen_path() {
  if (const char* named = std::getenv("KOTRAN_PATH")) {
    for (const Path path : PATHS)
      if (std::strcmp(named, path_name(path)) == 0 && path_available(path)) return path;
  }
  if (path_available(Path::widest_vectors)) return Path::widest_vectors;
  return path_available(Path::wide_vectors) ? Path::wide_vectors : Path::vectors;
}

}  // namespace kotran
