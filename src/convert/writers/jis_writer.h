// JIS output.
//
// JIS output returns to one-byte text before every one-byte character (so
// before every line end) and at the end; a sequence is written only when the
// next unit needs another set. Designations read from JIS are followed, not
// copied, so repeated ones vanish.
//
// One-byte text is JIS-Roman (ESC ( J, or the variant's kanji-out), as legacy
// text has it, where 0x5C and 0x7E are whatever the source meant by them.
// From a Unicode source, where \ ~ ¥ ‾ are four characters, it is ASCII
// (ESC ( B) and the YEN SIGN and OVERLINE go in JIS-Roman apart from it, so
// that every ISO-2022-JP decoder reads each as it was.
#pragma once

#include <cstring>

#include "codes/jis_escapes.h"
#include "convert/writers/shift_state.h"
#include "convert/writers/writer_base.h"

namespace kotran {

struct JisWriter : LegacyWriter<JisWriter> {
  // A sequence as the tight loops store it: all four bytes at once (every
  // sequence of the table has two or three).
  struct Sequence {
    unsigned char bytes[4];
    unsigned size;
  };

  JisWriter(ByteWriter& o, ConversionResult& f, const ConvertOptions& options)
      : LegacyWriter<JisWriter>{{o, f}},
        kanji_in(sequence(row(options).kanji_in)),
        kanji_out(sequence(options.ascii_one_byte ? ASCII_IN : row(options).kanji_out)),
        kana_in(sequence(KANA_IN)),
        roman_in(sequence(ROMAN_IN)),
        roman_apart(options.ascii_one_byte),
        state(options.jis_write_shift),
        continues(options.continues) {}

  Sequence kanji_in;
  Sequence kanji_out;
  Sequence kana_in;
  Sequence roman_in;
  bool roman_apart;  // one-byte text is ASCII, and JIS-Roman is a set of its own
  ShiftState state;
  bool continues;  // more text follows: the set is kept for it

  static const JisEscapeRow& row(const ConvertOptions& options) {
    const unsigned v = options.jis_variant;
    return jis_escape_table[v < JIS_VARIANT_COUNT ? v : JIS_VARIANT_83];
  }
  static Sequence sequence(const char* text) {
    Sequence seq{};
    while (text[seq.size] != '\0' && seq.size < sizeof seq.bytes) {
      seq.bytes[seq.size] = static_cast<unsigned char>(text[seq.size]);
      ++seq.size;
    }
    return seq;
  }
  void shift(ShiftState goal, const Sequence& seq) {
    if (state != goal) {
      out.put_bytes(seq.bytes, seq.size);
      state = goal;
    }
  }
  void to_kanji() { shift(SHIFT_KANJI, kanji_in); }
  void to_kana() {
    if (state != SHIFT_KANA) {
      out.put_string(KANA_IN);
      state = SHIFT_KANA;
    }
  }
  void to_none() { shift(SHIFT_NONE, kanji_out); }

  void put(unsigned b) { out.put(b); }
  void roman(unsigned b) {
    if (!roman_apart) return single(b);
    shift(SHIFT_ROMAN, roman_in);
    out.put(b);
  }
  void single(unsigned b) {
    to_none();
    out.put(b);
  }
  void ascii(const unsigned char* p, size_t n) {
    to_none();
    out.put_bytes(p, n);
  }
  void raw_pair(unsigned a, unsigned b) {
    to_none();
    out.put2(a, b);
  }
  void jis_char(uint16_t j) {
    to_kanji();
    out.put2(j >> 8, j & 0xFF);
  }
  void row_char(uint16_t j) { jis_char(j); }
  void supplement_char(uint16_t k) {
    if (state != SHIFT_SUPPLEMENT) {
      out.put_string(SUPPLEMENT_IN);
      state = SHIFT_SUPPLEMENT;
    }
    out.put2(k >> 8, k & 0xFF);
  }
  void halfkana(unsigned k) {
    to_kana();
    out.put(k & 0x7F);
  }
  void finish() {
    if (continues)
      found.jis_write_shift = state;
    else
      to_none();
  }

  // Every EUC pair, refused or not, goes out as its 7-bit bytes.
  bool refused_euc_pair(unsigned lead, unsigned second, bool) {
    jis_char(static_cast<uint16_t>(((lead & 0x7F) << 8) | (second & 0x7F)));
    return false;
  }
  // JIS katakana text is written as it was read.
  void kana_as_read(unsigned x) {
    to_kana();
    out.put(x);
  }
  void designate(JisEscape e) {
    switch (e) {
      case JisEscape::kanji_in: to_kanji(); break;
      case JisEscape::one_byte: to_none(); break;
      case JisEscape::kana_in: to_kana(); break;
      case JisEscape::kana_set: out.put_string(KANA_SET); break;
      default: break;
    }
  }

  unsigned char* store_ascii(unsigned char* o, unsigned b) {
    o = store_designate(o, JisEscape::one_byte);
    *o = static_cast<unsigned char>(b);
    return o + 1;
  }
  unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    o = store_designate(o, JisEscape::one_byte);
    std::memcpy(o, p, 8);
    return o + n;
  }
  unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    o = store_designate(o, JisEscape::kanji_in);
    o[0] = static_cast<unsigned char>(hi);
    o[1] = static_cast<unsigned char>(lo);
    return o + 2;
  }
  unsigned char* store_halfkana(unsigned char* o, unsigned k) {
    if (state != SHIFT_KANA) o = store_sequence(o, kana_in, SHIFT_KANA);
    *o = static_cast<unsigned char>(k & 0x7F);
    return o + 1;
  }
  // The tight loops designate kanji-in, katakana and kanji-out (for
  // one-byte text), as designate does.
  unsigned char* store_designate(unsigned char* o, JisEscape e) {
    if (e == JisEscape::kanji_in) return state != SHIFT_KANJI ? store_sequence(o, kanji_in, SHIFT_KANJI) : o;
    if (e == JisEscape::kana_in) return state != SHIFT_KANA ? store_sequence(o, kana_in, SHIFT_KANA) : o;
    return state != SHIFT_NONE ? store_sequence(o, kanji_out, SHIFT_NONE) : o;
  }
  // The designation of kanji text stored at o ahead of a run of pairs that
  // may not come: the shift moves on only with entered_kanji, once it has.
  unsigned char* store_kanji_in_ahead(unsigned char* o) const {
    std::memcpy(o, kanji_in.bytes, sizeof kanji_in.bytes);
    return o + kanji_in.size;
  }
  void entered_kanji() { state = SHIFT_KANJI; }
  // For runs designated in a block: whether a run of pairs (kanji) or of
  // one-byte text needs its designation first, and the shift after the
  // block's last run.
  bool designates(bool kanji) const { return kanji ? state != SHIFT_KANJI : state != SHIFT_NONE; }
  void designated(bool kanji) { state = kanji ? SHIFT_KANJI : SHIFT_NONE; }
  unsigned char* store_sequence(unsigned char* o, const Sequence& seq, ShiftState goal) {
    std::memcpy(o, seq.bytes, sizeof seq.bytes);
    state = goal;
    return o + seq.size;
  }
};

}  // namespace kotran
