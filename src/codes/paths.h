// The ways through the bytes in hand that conversion and recognition take.
#pragma once

#include <cstdint>

namespace kotran {

// The byte loop is the reference; the word path adds the tight loops over
// the bytes in hand (eight bytes of ASCII at a time, characters stored
// straight into the output block); the vector path adds the vector steps
// over pairs where the machine has them. Each gives exactly what the byte
// loop gives.
enum class Path : uint8_t { byte_loop, words, vectors };

inline constexpr Path PATHS[] = {Path::byte_loop, Path::words, Path::vectors};

}  // namespace kotran
