// EUC-JIS-2004 output: plane 1 as EUC's pairs, plane 2 after SS3. SS3 in the
// rows plane 2 leaves empty still holds JIS X 0212, as EUC-JP has it: a
// character JIS X 0213 lacks goes there.
#pragma once

#include "codes/kana.h"
#include "convert/writers/x0213_writer.h"

namespace kotran {

struct Euc2004Writer : X0213Writer<Euc2004Writer> {
  Euc2004Writer(ByteWriter& o, ConversionResult& f, const ConvertOptions&) : X0213Writer<Euc2004Writer>{{{{o, f}}}} {}

  void put_code(uint16_t x) {
    if (x >= X0213_PLANE2) out.put(SS3);
    out.put2((x >> 8) | 0x80, (x & 0xFF) | 0x80);
  }
  void put_halfkana(unsigned k) { out.put2(SS2, k); }
  // A JIS X 0212 code in a row that plane 2 leaves empty is written after
  // SS3; true where it was.
  bool supplement_kept(uint16_t k) {
    if (is_x0213_plane2_row(k >> 8)) return false;
    out.put(SS3);
    out.put2((k >> 8) | 0x80, (k & 0xFF) | 0x80);
    return true;
  }
};

}  // namespace kotran
