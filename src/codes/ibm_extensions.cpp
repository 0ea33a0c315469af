#include "codes/unicode_table.h"

namespace kotran {

uint16_t ibm_extension_of(char32_t u) {
  using namespace unicode_tables;
  if (u == 0) return 0;
  const unsigned first_row = (IBM_EXTENSION_FIRST >> 8) - JIS_FIRST;
  for (unsigned index = first_row * JIS_CELLS; index < FORWARD_ROWS * JIS_CELLS; ++index)
    if (JIS_TO_UNICODE[index] == u)
      return static_cast<uint16_t>((index / JIS_CELLS + JIS_FIRST) << 8 | (index % JIS_CELLS + JIS_FIRST));
  return 0;
}

}  // namespace kotran
