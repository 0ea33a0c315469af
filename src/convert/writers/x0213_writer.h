// What the writers of the JIS X 0213 codes (Shift_JIS-2004, EUC-JIS-2004,
// ISO-2022-JP-2004) share: every character through the JIS X 0213 table,
// JIS X 0208's own cells as they are, and a base followed by its combining
// mark as the one cell that holds both (か and U+309A as か゚).
//
// A character that begins such a pair is held until the next unit shows
// whether its mark follows; every other unit, and the end, writes it first.
// Only a Unicode source hands over characters one by one: from the other
// codes nothing is ever held. These writers run on the byte loop alone (see
// converters.cpp): they store nothing straight into the output block.
#pragma once

#include <cstdint>

#include "codes/jis0212_table.h"
#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "convert/writers/writer_base.h"

namespace kotran {

template <class Self>
struct X0213Writer : PlainWriter<Self> {
  using PlainWriter<Self>::self;

  char32_t held = 0;  // a base whose mark may follow

  // The held base, written as itself.
  void write_held() {
    if (held == 0) return;
    const uint16_t x = unicode_to_x0213(held);
    held = 0;
    self().put_code(x);
  }
  // The code of a JIS X 0208 (or extension) code read from another code:
  // JIS X 0208's own cell, or the JIS X 0213 cell of its character; 0 for none.
  static uint16_t code_of_jis(uint16_t j) {
    if (is_jis0208_cell(j)) return j;
    const char16_t u = jis_to_unicode(j);
    return u != 0 ? unicode_to_x0213(u) : 0;
  }

  // One-byte text as it is: a byte, a run, a pair that is no character. A
  // writer with shift states (ISO-2022-JP-2004) returns to one-byte text
  // first.
  void put_single(unsigned b) { this->out.put(b); }
  void put_run(const unsigned char* p, size_t n) { this->out.put_bytes(p, n); }
  void put_raw_pair(unsigned a, unsigned b) { this->out.put2(a, b); }

  void put(unsigned b) {
    write_held();
    this->out.put(b);
  }
  void single(unsigned b) {
    write_held();
    self().put_single(b);
  }
  void raw_pair(unsigned a, unsigned b) {
    write_held();
    self().put_raw_pair(a, b);
  }
  void ascii(const unsigned char* p, size_t n) {
    write_held();
    self().put_run(p, n);
  }
  void jis_char(uint16_t j) {
    write_held();
    if (const uint16_t x = code_of_jis(j); x != 0)
      self().put_code(x);
    else
      this->substitute();
  }
  void row_char(uint16_t j) { jis_char(j); }
  void x0213_char(uint16_t x) {
    write_held();
    if (x0213_to_unicode(x).first != 0)
      self().put_code(x);
    else
      this->substitute();
  }
  void supplement_char(uint16_t k) {
    write_held();
    const char16_t u = jis0212_to_unicode(k);
    if (const uint16_t x = u != 0 ? unicode_to_x0213(u) : 0; x != 0)
      self().put_code(x);
    else if (!self().supplement_kept(k))
      this->substitute();
  }
  void unicode(char32_t u) {
    if (held != 0) {
      if (const uint16_t pair = x0213_pair(held, u); pair != 0) {
        held = 0;
        self().put_code(pair);
        return;
      }
      write_held();
    }
    const uint16_t entry = unicode_to_x0213_entry(u);
    if ((entry & jisx0213_tables::BASE_FLAG) != 0) {
      held = u;
      return;
    }
    if (const uint16_t x = entry != 0 ? entry : unicode_to_x0213(u); x != 0) {
      self().put_code(x);
    } else if (u == 0xA5 || u == 0x203E) {
      self().roman(u == 0xA5 ? 0x5C : 0x7E);  // YEN SIGN and OVERLINE, as the one-byte 0x5C and 0x7E
    } else if (const uint16_t k = unicode_to_jis0212(u); k == 0 || !self().supplement_kept(k)) {
      this->substitute();
    }
  }
  void halfkana(unsigned k) {
    write_held();
    self().put_halfkana(k);
  }
  void finish() { write_held(); }
};

}  // namespace kotran
