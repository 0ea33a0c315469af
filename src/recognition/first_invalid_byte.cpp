#include "recognition/first_invalid_byte.h"

#include "recognition/readings.h"
#include "stream/text_parts.h"

namespace kotran {
namespace {

constexpr int END_OF_TEXT = 0x1A;

template <class Reading>
int64_t first_refused(TextStream* in) {
  Reading reading;
  int64_t offset = 0, character = 0;  // of the byte in hand, and of the character it belongs to
  bool found = false, ended = false;
  const bool read = read_in_parts(in, [&](TextStream* part, bool) {
    for (const unsigned char* p = part->next; p < part->limit; ++p, ++offset) {
      // No trail byte of these codes is 0x1A: one is the end of the text.
      if (*p == END_OF_TEXT) {
        ended = true;
        return PARTS_ENOUGH;
      }
      if (reading.at_rest()) character = offset;
      reading.feed(*p);
      if (!reading.tally.valid) {
        found = true;
        return PARTS_ENOUGH;
      }
    }
    return static_cast<size_t>(part->limit - part->next);
  });
  if (found) return character;
  if (!read && !ended) return -1;
  reading.finish();
  return reading.tally.valid ? -1 : character;
}

}  // namespace

int64_t first_invalid_byte(TextStream* in, Code code) {
  if (code != Code::sjis && code != Code::euc && code != Code::utf8) return -1;
  const bool text = in->text;
  in->text = false;
  int64_t found = -1;
  if (stream_seek(in, 0, 0) == 0) {
    switch (code) {
      case Code::sjis: found = first_refused<SjisReading>(in); break;
      case Code::euc: found = first_refused<EucReading>(in); break;
      default: found = first_refused<Utf8Reading>(in); break;
    }
  }
  in->text = text;
  if (stream_seek(in, 0, 0) != 0) return -1;
  return found;
}

}  // namespace kotran
