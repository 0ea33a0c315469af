// The ways through the bytes in hand that conversion and recognition take,
// each named after what it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kotran {

// The byte loop (scalar) is the reference; the word path adds the tight
// loops over the bytes in hand (eight bytes of ASCII at a time, characters
// stored straight into the output block); each instruction set's path adds
// its kernels over pairs: SSE2 32 bytes at a time in two registers, AVX2 in
// one (with blocks of 64 in two between Shift-JIS and EUC, and UTF-8 into
// and out of them), AVX-512 BW 64 at a time (Shift-JIS and EUC text, into
// UTF-8 and out of it), AVX-512 VBMI2 the same with the bytes it keeps
// (into UTF-8, out of it and out of JIS) packed by one compress, and the
// Shift-JIS bytes of pairs from VBMI's byte tables, NEON 32 at a time in two
// registers. Each gives exactly what the byte loop gives.
enum class Path : uint8_t { scalar, words, sse2, avx2, avx512bw, avx512vbmi2, neon };

inline constexpr Path PATHS[] = {Path::scalar,   Path::words,       Path::sse2, Path::avx2,
                                 Path::avx512bw, Path::avx512vbmi2, Path::neon};

// Whether the path takes vector kernels.
constexpr bool takes_vector_steps(Path path) { return path >= Path::sse2; }
// Whether the path takes the 32 bytes of a step in one register, and
// UTF-8 too.
constexpr bool takes_wide_steps(Path path) {
  return path == Path::avx2 || path == Path::avx512bw || path == Path::avx512vbmi2;
}
// Whether the path takes Shift-JIS and EUC text 64 bytes at a time, and
// UTF-8 too.
constexpr bool takes_widest_steps(Path path) { return path == Path::avx512bw || path == Path::avx512vbmi2; }
// Whether the path packs the bytes its 64-byte steps keep by one compress.
constexpr bool compresses_bytes(Path path) { return path == Path::avx512vbmi2; }

// Whether this build and this processor can take the path.
bool path_available(Path path);

// The fastest path this processor can take.
Path fastest_path();

// The path of a name as KOTRAN_PATH gives it; none for a name of no path.
std::optional<Path> path_named(std::string_view name);

// The name of a path, as KOTRAN_PATH takes it.
const char* path_name(Path path);

}  // namespace kotran
