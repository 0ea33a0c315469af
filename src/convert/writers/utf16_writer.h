// UTF-16 output, little-endian after a byte-order mark, as Windows writes
// it. Its stream is not translated (a byte 0x0A may be half of a character),
// so the writer writes line ends itself: CR LF, or LF alone with -l. A unit
// that has no Unicode character becomes U+FFFD, as in UTF-8 output.
#pragma once

#include "codes/jis0212_table.h"
#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "convert/writers/writer_base.h"

namespace kotran {

struct Utf16Writer : UnicodeWriter<Utf16Writer> {
  Utf16Writer(ByteWriter& o, ConversionResult& f, const ConvertOptions& options)
      : UnicodeWriter<Utf16Writer>(o, f, options), crlf(!options.lf_only) {
    if (!options.continued) out.put2(0xFF, 0xFE);
  }

  bool crlf;

  void unit(char32_t c) { out.put2(c & 0xFF, c >> 8); }
  void unicode(char32_t u) {
    if (u < 0x10000) return unit(u);
    unit(0xD800 + ((u - 0x10000) >> 10));
    unit(0xDC00 + ((u - 0x10000) & 0x3FF));
  }
  void single(unsigned b) {
    if (b >= 0x80) return substitute();
    if (b == 0x0A && crlf) unit(0x0D);
    unit(b);
  }
  void put(unsigned b) { single(b); }
  void ascii(const unsigned char* p, size_t n) {
    for (size_t k = 0; k < n; ++k) single(p[k]);
  }
  unsigned char* store_unit(unsigned char* o, char32_t c) {
    o[0] = static_cast<unsigned char>(c & 0xFF);
    o[1] = static_cast<unsigned char>(c >> 8);
    return o + 2;
  }
  unsigned char* store_ascii(unsigned char* o, unsigned b) {
    if (b == 0x0A && crlf) o = store_unit(o, 0x0D);
    return store_unit(o, b);
  }
  unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    for (unsigned k = 0; k < n; ++k) o = store_ascii(o, p[k]);
    return o;
  }
  [[gnu::always_inline]] unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    const char16_t u = jis_to_unicode(static_cast<uint16_t>(hi << 8 | lo));
    if (u == 0) {
      count_replacement();
      return store_unit(o, REPLACEMENT_CHARACTER);
    }
    return store_unit(o, jis_forms ? jis_unicode_form(u) : u);
  }
  // A UTF-8 character of two or three bytes is one unit.
  unsigned char* store_utf8(unsigned char* o, char32_t u, const unsigned char*, size_t) { return store_unit(o, u); }
};

}  // namespace kotran
