#include "codes/utf8_forms.h"

#include "codes/kana.h"
#include "codes/unicode_table.h"

namespace kotran {

namespace {

using namespace unicode_tables;
struct FormTable {
  Utf8Form forms[BYTE_FORMS + 256];
};
static_assert(BYTE_FORMS == JIS_CELLS * JIS_CELLS);

// A character's form (below U+10000; 0 for none).
constexpr Utf8Form form_of(char32_t u) {
  if (u == 0) return {{0, 0, 0}, 0};
  if (u < 0x80) return {{static_cast<uint8_t>(u), 0, 0}, 1};
  if (u < 0x800) return {{static_cast<uint8_t>(0xC0 | (u >> 6)), static_cast<uint8_t>(0x80 | (u & 0x3F)), 0}, 2};
  return {{static_cast<uint8_t>(0xE0 | (u >> 12)), static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F)),
           static_cast<uint8_t>(0x80 | (u & 0x3F))},
          3};
}

constexpr FormTable make_forms(bool jis_forms) {
  FormTable table{};
  for (unsigned row = 0; row < JIS_CELLS; ++row)
    for (unsigned cell = 0; cell < JIS_CELLS; ++cell) {
      const char32_t windows_form = JIS_TO_UNICODE[row * JIS_CELLS + cell];
      table.forms[row * JIS_CELLS + cell] = form_of(jis_forms ? jis_unicode_form(windows_form) : windows_form);
    }
  // (NUL alone is a byte of its own too.)
  table.forms[BYTE_FORMS] = {{0, 0, 0}, 1};
  for (unsigned b = 1; b < 0x80; ++b) table.forms[BYTE_FORMS + b] = form_of(b);
  for (unsigned b = 0xA1; b <= 0xDF; ++b) table.forms[BYTE_FORMS + b] = form_of(HALFWIDTH_KANA_FIRST + (b - 0xA1));
  return table;
}

// Made as the program is compiled: a process that converts one small file
// pays nothing for them but the pages it reads.
constexpr FormTable WINDOWS_FORMS = make_forms(false);
constexpr FormTable JIS_UNICODE_FORMS = make_forms(true);

}  // namespace

const Utf8Form* utf8_row_forms(bool jis_forms) {
  return jis_forms ? JIS_UNICODE_FORMS.forms : WINDOWS_FORMS.forms;
}

}  // namespace kotran
