#include "recognition/invalid_places.h"

#include "recognition/readings.h"
#include "stream/cursors.h"
#include "stream/text_parts.h"

namespace kotran {
namespace {

// Feeds a reading a byte; a refused byte is counted and the reading goes on
// from the next one, between characters.
template <class Reading>
void feed_leniently(Reading& r, unsigned b, uint64_t& places) {
  r.feed(b);
  if (r.tally.valid) return;
  ++places;
  r.tally.valid = true;
}

}  // namespace

InvalidPlaces count_invalid_places(TextStream* s) {
  const int64_t start = stream_tell(s);
  InvalidPlaces found;
  EucReading euc;
  SjisReading sjis;
  uint64_t n = 0;
  read_in_parts(s, [&](TextStream* part, bool) {
    ByteReader in(part);
    for (; n < INVALID_PLACES_WINDOW; ++n) {
      const int c = in.get();
      if (c == EOF) return static_cast<size_t>(in.begin() - part->data);
      const auto b = static_cast<unsigned>(c);
      feed_leniently(euc, b, found.euc_places);
      feed_leniently(sjis, b, found.sjis_places);
    }
    return PARTS_ENOUGH;
  });
  euc.finish();
  sjis.finish();
  found.euc_cost = euc.tally.cost + found.euc_places * INVALID_PLACE_COST;
  found.sjis_cost = sjis.tally.cost + found.sjis_places * INVALID_PLACE_COST;
  found.euc_characters = euc.tally.characters;
  found.sjis_characters = sjis.tally.characters;
  stream_seek(s, start, 0);
  return found;
}

}  // namespace kotran
