// The ways through the bytes in hand that conversion and recognition take.
#pragma once

#include <cstdint>

namespace kotran {

// The byte loop is the reference; the word path adds the tight loops over
// the bytes in hand (eight bytes of ASCII at a time, characters stored
// straight into the output block); the vector path adds the vector steps
// over pairs where the machine has them (SSE2); the wide path takes the
// vector steps' bytes 32 at a time in one register where the processor has
// AVX2; the widest path takes the steps of Shift-JIS and EUC text 64 bytes at
// a time where it has AVX-512 BW, and the others as the wide path does. Each
// gives exactly what the byte loop gives.
enum class Path : uint8_t { byte_loop, words, vectors, wide_vectors, widest_vectors };

inline constexpr Path PATHS[] = {Path::byte_loop, Path::words, Path::vectors, Path::wide_vectors,
                                 Path::widest_vectors};

// Whether the path takes the vector steps.
constexpr bool takes_vector_steps(Path path) { return path >= Path::vectors; }
// Whether the path takes the wide path's steps of 32 bytes (where it has no wider one).
constexpr bool takes_wide_steps(Path path) { return path >= Path::wide_vectors; }

// Whether this processor can take the path (the wide path needs AVX2, the
// widest AVX-512 BW).
bool path_available(Path path);

// The path conversions take: the environment's KOTRAN_PATH (byte_loop,
// words, vectors, wide_vectors, widest_vectors) where it names one this
// processor can take, otherwise the fastest it can.
Path chosen_path();

// The name of a path, as KOTRAN_PATH takes it.
const char* path_name(Path path);

}  // namespace kotran
