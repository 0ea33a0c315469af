// Shift_JIS-2004 output.
#pragma once

#include "codes/sjis2004.h"
#include "convert/writers/x0213_writer.h"

namespace kotran {

struct Sjis2004Writer : X0213Writer<Sjis2004Writer> {
  Sjis2004Writer(ByteWriter& o, ConversionResult& f, const ConvertOptions&) : X0213Writer<Sjis2004Writer>{{{{o, f}}}} {}

  void put_code(uint16_t x) {
    const uint16_t s = x0213_to_sjis2004(x);
    out.put2(s >> 8, s & 0xFF);
  }
  void put_halfkana(unsigned k) { out.put(k); }
  // Shift_JIS-2004 has no JIS X 0212.
  static bool supplement_kept(uint16_t) { return false; }
};

}  // namespace kotran
