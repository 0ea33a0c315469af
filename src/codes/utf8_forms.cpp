#include "codes/utf8_forms.h"

#include "codes/unicode_table.h"

namespace kotran {

const Utf8Form* utf8_row_forms() {
  using namespace unicode_tables;
  static const Utf8Form* const forms = [] {
    static Utf8Form table[JIS_CELLS * JIS_CELLS];
    for (unsigned row = 0; row < JIS_CELLS; ++row)
      for (unsigned cell = 0; cell < JIS_CELLS; ++cell) {
        const char16_t u = JIS_TO_UNICODE[row * JIS_CELLS + cell];
        Utf8Form& f = table[row * JIS_CELLS + cell];
        if (u == 0) {
          f = {{0, 0, 0}, 0};
        } else if (u < 0x800) {
          f = {{static_cast<uint8_t>(0xC0 | (u >> 6)), static_cast<uint8_t>(0x80 | (u & 0x3F)), 0}, 2};
        } else {
          f = {{static_cast<uint8_t>(0xE0 | (u >> 12)), static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F)),
                static_cast<uint8_t>(0x80 | (u & 0x3F))},
               3};
        }
      }
    return table;
  }();
  return forms;
}

}  // namespace kotran
