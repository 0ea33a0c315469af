// What every writer offers the readers, and what most writers do alike.
//
// A reader (one per source code) splits its input into units and hands each
// to the writer of the target:
//   single(b)     a one-byte character (ASCII, a control byte, a stray byte)
//   jis_char(j)   a double-byte character given by its JIS code
//   row_char(j)   the same, for a code known to lie in rows 1-94
//   halfkana(k)   a half-width katakana in its 8-bit form 0xA0-0xDF
//   supplement_char(j)  a character of JIS X 0212 given by its code
//   x0213_char(x) a character of JIS X 0213 given by its code (jisx0213_table.h)
//   unicode(u)    any Unicode character
//   raw_pair(a,b) two bytes that form no character, written as they are
//   put(b)        one byte as it is, with no change of shift state
//   ascii(p, n)   a run of bytes below 0x80, each a single byte
//   roman(b)      the JIS-Roman YEN SIGN (0x5C) or OVERLINE (0x7E)
//   substitute()  a character the target lacks, or input that is no character
//   dropped()     a first byte left waiting at the end, which is dropped (and counted)
//   finish()      the end of the text
// Where a target treats a unit of some source in its own way, the unit has
// an operation of its own, named after it (sjis_pair, euc_pair,
// refused_euc_pair, kana_as_read, designate); the defaults here serve the
// other targets.
// For the tight loops each writer also stores straight into the output
// block: store_ascii(o, b), store_ascii8(o, p, n) and store_row(o, hi, lo)
// (a code of rows 1-94 given by its two JIS bytes) write at o (at most
// STORE_MAX bytes) and return the new position; store_halfkana(o, k) does
// what halfkana(k) does, or returns null where the writer leaves it to
// halfkana.
#pragma once

#include <cstdint>
#include <cstring>

#include "codes/jis0212_table.h"
#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "codes/substitutes.h"
#include "codes/unicode_table.h"
#include "convert/converter.h"
#include "stream/cursors.h"

namespace kotran {

// How the JIS reader takes the few units whose reading differs by target.
struct JisReading {
  bool kana_in_one_byte_text;       // an 8-bit katakana in one-byte text is a katakana
  bool wide_kana_drops_pending;     // ... which, widened, drops a first byte left waiting
  bool so_pair_is_code;             // SO and a byte in kanji text are a code, not a katakana
  bool single_shift_keeps_pending;  // ESC N x, not widened, keeps a waiting first byte
};

template <class Self>
struct WriterBase {
  ByteWriter& out;
  ConversionResult& found;

  static constexpr JisReading jis_reading{false, false, false, false};

  Self& self() { return static_cast<Self&>(*this); }

  // One character replaced: counted.
  void count_replacement() { ++found.replaced; }

  // A Shift-JIS pair as read: the character of its code, or the two bytes
  // when they are none (a trail byte below 0x40, or 0xFF). Past row 94 (lead
  // bytes 0xF0-0xFE), which only Shift-JIS reaches, a code is written where
  // the other codes hold its character: a user-defined character in rows
  // 85-88 or 93-94 or in JIS X 0212, an IBM extension (0xFA-0xFC) as the
  // code of rows 1-94 that holds it (the NEC-selected rows 89-92, row 13 or
  // row 2, as Windows writes them in EUC); a code of no character is 〓.
  void sjis_pair(unsigned lead, unsigned trail) {
    const uint16_t j = sjis_to_jis_code(static_cast<uint16_t>((lead << 8) | trail));
    if (j == 0)
      self().raw_pair(lead, trail);
    else if (j < FAR_ROWS_FIRST) [[likely]]
      self().jis_char(j);
    else
      far_sjis_char(jis_to_unicode(j));
  }
  void far_sjis_char(char16_t u) {
    if (const uint16_t twin = unicode_to_jis(u); twin != 0)
      self().jis_char(twin);
    else if (const uint16_t k = unicode_to_jis0212(u); k != 0)
      self().supplement_char(k);
    else
      self().substitute();
  }
  // The first code past row 94.
  static constexpr uint16_t FAR_ROWS_FIRST = 0x7F00;
  // A JIS X 0213 character: JIS X 0208's own cells as they are, any other
  // as its character, where the target holds it; a base with its mark, and
  // a code of no character, are 〓.
  void x0213_char(uint16_t x) {
    if (is_jis0208_cell(x)) return self().jis_char(x);
    const X0213Chars c = x0213_to_unicode(x);
    if (c.first == 0 || c.second != 0)
      self().substitute();
    else
      self().unicode(c.first);
  }
  // A Shift-JIS pair of rows 1-94, whose JIS bytes are hi and lo.
  unsigned char* store_sjis_pair(unsigned char* o, unsigned, unsigned, unsigned hi, unsigned lo) {
    return self().store_row(o, hi, lo);
  }
  // An EUC pair of a valid code, jis.
  void euc_pair(unsigned, unsigned, uint16_t jis) { self().jis_char(jis); }
  // A pair that is no EUC character is written as what its first byte most
  // likely was; returns whether the second byte must be read again.
  bool refused_euc_pair(unsigned lead, unsigned second, bool widen) {
    if (lead >= 0xA0 && lead <= 0xDF) {
      // A half-width katakana written without SS2.
      uint16_t wide;
      if (widen && widen_kana(static_cast<uint16_t>(lead << 8), wide) != 0)
        self().jis_char(wide);
      else
        self().halfkana(lead);
      return true;
    }
    if (lead >= 0xE0) {
      // An ASCII character with a stray high bit.
      self().single(lead & 0x7F);
      return true;
    }
    self().raw_pair(lead, second);
    return false;
  }
  // Nothing is written for a byte the end of the text cut off; it counts as
  // a character replaced, so that the loss is told.
  void dropped() {
    count_replacement();
    found.cut_at_end = true;
  }
  // A byte of JIS katakana text (after ESC ( I, or SO) as read.
  void kana_as_read(unsigned x) { self().halfkana(x | 0x80); }
  // A designation read from JIS: only JIS output follows it.
  void designate(JisEscape) {}
  unsigned char* store_designate(unsigned char* o, JisEscape) { return o; }
  // A half-width katakana 0xA0-0xDF, as halfkana writes it; null where the
  // writer leaves it to halfkana.
  unsigned char* store_halfkana(unsigned char*, unsigned) { return nullptr; }
  // A character of two or three UTF-8 bytes at p, u, other than a half-width
  // katakana; null when the target lacks it (left to the byte loop).
  unsigned char* store_utf8(unsigned char* o, char32_t u, const unsigned char*, size_t) {
    const uint16_t j = unicode_to_jis(u);
    if (j == 0) return nullptr;
    return self().store_row(o, j >> 8, j & 0xFFu);
  }
};

// What the writers of the legacy codes share: ASCII as it is, Unicode
// through the JIS X 0208 table, 〓 for what it lacks.
template <class Self>
struct LegacyWriter : WriterBase<Self> {
  using WriterBase<Self>::self;

  void substitute() {
    this->count_replacement();
    self().jis_char(JIS_SUBSTITUTE);
  }
  // A JIS-Roman byte (0x5C YEN SIGN, 0x7E OVERLINE): the byte itself, as
  // Windows' table writes them, where one-byte text does not tell it from ASCII.
  void roman(unsigned b) { self().single(b); }
  void unicode(char32_t u) {
    if (u == 0xA5 || u == 0x203E) {
      self().roman(u == 0xA5 ? 0x5C : 0x7E);  // YEN SIGN and OVERLINE, as one-byte JIS-Roman
    } else if (const uint16_t j = unicode_to_jis(u); j != 0) {
      self().jis_char(j);
    } else if (const uint16_t k = unicode_to_jis0212(u); k != 0) {
      self().supplement_char(k);
    } else {
      substitute();
    }
  }
};

// What the writers of Unicode share: the character of a code table's code
// (in the JIS forms where the options ask), U+FFFD for a unit that has none,
// counted; a byte below 0x80 that came with a bad katakana is kept.
template <class Self>
struct UnicodeWriter : WriterBase<Self> {
  UnicodeWriter(ByteWriter& o, ConversionResult& f, const ConvertOptions& options)
      : WriterBase<Self>{o, f}, jis_forms(options.jis_forms) {}

  // From JIS, a bare 8-bit katakana is a katakana.
  static constexpr JisReading jis_reading{true, false, false, false};

  bool jis_forms;

  void substitute() {
    this->count_replacement();
    this->self().unicode(REPLACEMENT_CHARACTER);
  }
  void raw_pair(unsigned a, unsigned b) {
    this->self().put(a);
    this->self().put(b);
  }
  // The character of a code table, u; 0 where the code has none.
  void table_char(char16_t u) {
    if (u != 0)
      this->self().unicode(jis_forms ? jis_unicode_form(u) : u);
    else
      substitute();
  }
  void jis_char(uint16_t j) { table_char(jis_to_unicode(j)); }
  void row_char(uint16_t j) { jis_char(j); }
  void supplement_char(uint16_t k) { table_char(jis0212_to_unicode(k)); }
  // JIS X 0213 is read as its own mapping gives it, whatever the forms asked
  // for: a base and its mark are two characters.
  void x0213_char(uint16_t x) {
    const X0213Chars c = x0213_to_unicode(x);
    if (c.first == 0) return substitute();
    this->self().unicode(c.first);
    if (c.second != 0) this->self().unicode(c.second);
  }
  void halfkana(unsigned k) {
    if (k >= KANA_FIRST && k <= KANA_LAST) {
      this->self().unicode(HALFWIDTH_KANA_FIRST + (k - KANA_FIRST));
    } else {
      substitute();
      if (k < 0x80) this->self().put(k);
    }
  }
  void finish() {}
};

// What the writers of codes without shift states share.
template <class Self>
struct PlainWriter : LegacyWriter<Self> {
  void put(unsigned b) { this->out.put(b); }
  void single(unsigned b) { this->out.put(b); }
  void raw_pair(unsigned a, unsigned b) { this->out.put2(a, b); }
  void ascii(const unsigned char* p, size_t n) { this->out.put_bytes(p, n); }
  static unsigned char* store_ascii(unsigned char* o, unsigned b) {
    *o = static_cast<unsigned char>(b);
    return o + 1;
  }
  // The first n of the eight bytes at p, all below 0x80; eight are stored.
  static unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    std::memcpy(o, p, 8);
    return o + n;
  }
  void finish() {}
};

}  // namespace kotran
