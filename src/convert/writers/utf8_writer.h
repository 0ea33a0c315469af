// UTF-8 output. A unit that has no Unicode character (an unassigned code, a
// pair that is no character, a stray byte) becomes U+FFFD; a byte below 0x80
// that came with it is kept, so that line ends survive.
#pragma once

#include <cstring>

#include "codes/jis0212_table.h"
#include "codes/kana.h"
#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "convert/writers/writer_base.h"

namespace kotran {

struct Utf8Writer : UnicodeWriter<Utf8Writer> {
  Utf8Writer(ByteWriter& o, ConversionResult& f, const ConvertOptions& options)
      : UnicodeWriter<Utf8Writer>(o, f, options), forms(utf8_row_forms(options.jis_forms)) {}

  const Utf8Form* forms;

  void unicode(char32_t u) {
    if (u < 0x80) {
      out.put(u);
    } else if (u < 0x800) {
      out.put2(0xC0 | (u >> 6), 0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out.put(0xE0 | (u >> 12));
      out.put2(0x80 | ((u >> 6) & 0x3F), 0x80 | (u & 0x3F));
    } else {
      out.put2(0xF0 | (u >> 18), 0x80 | ((u >> 12) & 0x3F));
      out.put2(0x80 | ((u >> 6) & 0x3F), 0x80 | (u & 0x3F));
    }
  }
  void put(unsigned b) {
    if (b < 0x80)
      out.put(b);
    else
      substitute();
  }
  void single(unsigned b) { put(b); }
  void ascii(const unsigned char* p, size_t n) { out.put_bytes(p, n); }

  static unsigned char* store_ascii(unsigned char* o, unsigned b) {
    *o = static_cast<unsigned char>(b);
    return o + 1;
  }
  static unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    std::memcpy(o, p, 8);
    return o + n;
  }
  [[gnu::always_inline]] unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    const Utf8Form& f = forms[(hi - 0x21) * 94 + (lo - 0x21)];
    // Nearly every character of the rows takes three bytes: moving on by a
    // constant keeps the output position free of the table load, so that
    // the next character need not wait for it.
    if (f.count == 3) [[likely]] {
      std::memcpy(o, &f, sizeof f);
      return o + 3;
    }
    if (f.count == 0) {
      count_replacement();
      return store_bmp(o, REPLACEMENT_CHARACTER);
    }
    std::memcpy(o, &f, sizeof f);
    return o + f.count;
  }
  static unsigned char* store_halfkana(unsigned char* o, unsigned k) {
    if (k < KANA_FIRST) return nullptr;  // 0xA0, which has no character
    return store_bmp(o, HALFWIDTH_KANA_FIRST + (k - KANA_FIRST));
  }
  static unsigned char* store_bmp(unsigned char* o, char32_t u) {
    o[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
    o[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return o + 3;
  }
  // UTF-8 read is copied as it is.
  static unsigned char* store_utf8(unsigned char* o, char32_t, const unsigned char* p, size_t length) {
    for (size_t k = 0; k < length; ++k) o[k] = p[k];
    return o + length;
  }
};

}  // namespace kotran
