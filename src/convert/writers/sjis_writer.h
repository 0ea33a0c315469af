// Shift-JIS output.
#pragma once

#include "codes/jis_sjis.h"
#include "codes/user_defined.h"
#include "convert/writers/writer_base.h"

namespace kotran {

struct SjisWriter : PlainWriter<SjisWriter> {
  SjisWriter(ByteWriter& o, ConversionResult& f, const ConvertOptions&) : PlainWriter<SjisWriter>{{{o, f}}} {}

  // A code that has no Shift-JIS form is written as its two bytes.
  void jis_char(uint16_t j) {
    const uint16_t s = jis_to_sjis_code(j);
    if (s == 0)
      out.put2(j >> 8, j & 0xFF);
    else
      out.put2(user_defined_lead(s >> 8), s & 0xFF);
  }
  void row_char(uint16_t j) {
    const uint16_t s = row_jis_to_sjis(j >> 8, j & 0xFF);
    out.put2(s >> 8, s & 0xFF);
  }
  static unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    o[0] = row_tables.sjis_lead[hi];
    o[1] = row_tables.sjis_trail[hi & 1][lo];
    return o + 2;
  }
  void halfkana(unsigned k) { out.put(k); }
  static unsigned char* store_halfkana(unsigned char* o, unsigned k) {
    *o = static_cast<unsigned char>(k);
    return o + 1;
  }
  // Shift-JIS holds of JIS X 0212 what the IBM extensions hold (and the few
  // characters JIS X 0208 has too), and the user-defined characters; the
  // rest become 〓. A character read as one of the NEC-selected rows 89-92
  // (BROKEN BAR as ￤) goes to the IBM extension of that character too.
  void supplement_char(uint16_t k) {
    const char32_t u = jis0212_to_unicode(k);
    if (is_user_defined(u)) {
      jis_char(user_defined_jis(u));
    } else if (const uint16_t ibm = ibm_extension_of(u); ibm != 0) {
      jis_char(ibm);
    } else if (const uint16_t j = unicode_to_jis(u); j != 0) {
      const uint16_t twin = ibm_extension_of(jis_to_unicode(j));
      jis_char(twin != 0 ? twin : j);
    } else {
      substitute();
    }
  }

  // Shift-JIS read is copied without a look.
  void sjis_pair(unsigned lead, unsigned trail) { out.put2(lead, trail); }
  static unsigned char* store_sjis_pair(unsigned char* o, unsigned lead, unsigned trail, unsigned, unsigned) {
    o[0] = static_cast<unsigned char>(lead);
    o[1] = static_cast<unsigned char>(trail);
    return o + 2;
  }
};

}  // namespace kotran
