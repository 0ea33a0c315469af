// The switch of the bulk fast paths that the converters and recognition take
// over the bytes in hand (runs of ASCII, vectors of pairs).
#pragma once

namespace kotran {

// The fast paths are taken unless this is cleared; the plain byte loops are
// the reference they are tested against.
extern bool converter_fast_paths;

}  // namespace kotran
