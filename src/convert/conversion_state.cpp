// What the converters share across calls: the switch of the bulk fast paths
// and the count of replaced characters, which the driver reads per file.
#include "convert/writers.h"

namespace kotran {

bool converter_fast_paths = true;
size_t replaced_characters = 0;

}  // namespace kotran
