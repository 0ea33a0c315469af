// EUC output.
#pragma once

#include "codes/kana.h"
#include "convert/writers/writer_base.h"

namespace kotran {

struct EucWriter : PlainWriter<EucWriter> {
  EucWriter(ByteWriter& o, ConversionResult& f, const ConvertOptions&) : PlainWriter<EucWriter>{{{o, f}}} {}

  // From JIS, EUC keeps SO pairs and bare 8-bit katakana as its own.
  static constexpr JisReading jis_reading{true, true, true, true};

  void jis_char(uint16_t j) { out.put2((j >> 8) | 0x80, (j & 0xFF) | 0x80); }
  void row_char(uint16_t j) { jis_char(j); }
  static unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    o[0] = static_cast<unsigned char>(hi | 0x80);
    o[1] = static_cast<unsigned char>(lo | 0x80);
    return o + 2;
  }
  void halfkana(unsigned k) { out.put2(SS2, k); }
  static unsigned char* store_halfkana(unsigned char* o, unsigned k) {
    o[0] = SS2;
    o[1] = static_cast<unsigned char>(k);
    return o + 2;
  }
  void supplement_char(uint16_t k) {
    out.put(SS3);
    out.put2((k >> 8) | 0x80, (k & 0xFF) | 0x80);
  }

  // An EUC pair read is copied as it is.
  void euc_pair(unsigned first, unsigned second, uint16_t) { out.put2(first, second); }
};

}  // namespace kotran
