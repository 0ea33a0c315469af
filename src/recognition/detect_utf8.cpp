#include "recognition/detect_utf8.h"

#include "codes/utf8_decode.h"
#include "stream/cursors.h"

namespace kotran {

namespace {

bool scan(TextStream* s) {
  bool utf8 = false;
  bool long_seen = false;
  bool first = true;
  size_t scanned = 0;
  ByteReader in(s);
  for (;;) {
    const char32_t u = decode_utf8(in);
    if (u == UTF8_END) {
      utf8 = long_seen && !stream_error(s);
      break;
    }
    if (u == UTF8_INVALID) break;
    if (first && u == 0xFEFF) {
      utf8 = true;
      break;
    }
    first = false;
    if (u >= 0x800) long_seen = true;
    scanned += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    if (scanned >= UTF8_SCAN_BYTES) {
      utf8 = long_seen;
      break;
    }
  }
  return utf8;
}

}  // namespace

bool is_utf8_text(TextStream* s) {
  if (s == nullptr) return false;
  const int64_t start = stream_tell(s);
  const bool utf8 = scan(s);
  stream_seek(s, start, 0);
  return utf8;
}

}  // namespace kotran
