#include "codes/utf8_forms.h"

#include "codes/kana.h"
#include "codes/unicode_table.h"

namespace kotran {

namespace {

using namespace unicode_tables;
using FormTable = Utf8Form[BYTE_FORMS + 256];
static_assert(BYTE_FORMS == JIS_CELLS * JIS_CELLS);

// A character's form (below U+10000; 0 for none).
Utf8Form form_of(char32_t u) {
  if (u == 0) return {{0, 0, 0}, 0};
  if (u < 0x80) return {{static_cast<uint8_t>(u), 0, 0}, 1};
  if (u < 0x800) return {{static_cast<uint8_t>(0xC0 | (u >> 6)), static_cast<uint8_t>(0x80 | (u & 0x3F)), 0}, 2};
  return {{static_cast<uint8_t>(0xE0 | (u >> 12)), static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F)),
           static_cast<uint8_t>(0x80 | (u & 0x3F))},
          3};
}

void make_forms(FormTable& table, bool jis_forms) {
  for (unsigned row = 0; row < JIS_CELLS; ++row)
    for (unsigned cell = 0; cell < JIS_CELLS; ++cell) {
      const char32_t windows_form = JIS_TO_UNICODE[row * JIS_CELLS + cell];
      table[row * JIS_CELLS + cell] = form_of(jis_forms ? jis_unicode_form(windows_form) : windows_form);
    }
  // (NUL alone is a byte of its own too.)
  table[BYTE_FORMS] = {{0, 0, 0}, 1};
  for (unsigned b = 1; b < 0x80; ++b) table[BYTE_FORMS + b] = form_of(b);
  for (unsigned b = 0xA1; b <= 0xDF; ++b) table[BYTE_FORMS + b] = form_of(HALFWIDTH_KANA_FIRST + (b - 0xA1));
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
