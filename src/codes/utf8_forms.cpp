#include "codes/utf8_forms.h"

#include "codes/unicode_table.h"

namespace kotran {

namespace {

using namespace unicode_tables;
using FormTable = Utf8Form[JIS_CELLS * JIS_CELLS];

void make_forms(FormTable& table, bool jis_forms) {
    for (unsigned row = 0; row < JIS_CELLS; ++row)
      for (unsigned cell = 0; cell < JIS_CELLS; ++cell) {
        const char32_t windows_form = JIS_TO_UNICODE[row * JIS_CELLS + cell];
        const char32_t u = jis_forms ? jis_unicode_form(windows_form) : windows_form;
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
}

}  // namespace

const Utf8Form* utf8_row_forms(bool jis_forms) {
  static const Utf8Form* const windows = [] {
    static FormTable table;
    make_forms(table, false);
    return table;
  }();
  static const Utf8Form* const jis = [] {
    static FormTable table;
    make_forms(table, true);
    return table;
  }();
  return jis_forms ? jis : windows;
}

}  // namespace kotran
