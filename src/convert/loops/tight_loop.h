// The readers' tight loop over the bytes in hand: units stored straight into
// the output block, with no call per byte.
#pragma once

#include "codes/hot.h"

#include <cstddef>

#include "kernels/words/ascii_words.h"
#include "stream/cursors.h"

namespace kotran {

// The most bytes one store of the tight loops writes: store_ascii,
// store_ascii8 and store_row write at most 12, a vector of pairs 64 (on the
// widest path), into UTF-8 136, a run of half-width katakana 96 (32 into
// UTF-8), a run of UTF-8 characters 64; into JIS its runs (at most 43 in 64
// bytes: a byte of one-byte text between pairs makes two runs of three
// bytes) take a designation of 3 each, and the last run's copy writes a
// whole vector (where the compress keeps the designations, the last
// sixteen bytes' store does).
inline constexpr size_t STORE_MAX = 64 + 43 * 3 + 64;

// A long run of ASCII is copied whole; otherwise ASCII (eight bytes at a
// time) and the units that take recognises are stored straight into the
// output block. take(p, end, o) stores the unit at p and returns its length,
// or returns 0 (storing nothing) for a unit it leaves to the byte loop.
// Returns whether anything was taken.
// With take_ascii set, take sees every unit first, ASCII included, and the
// loop stores ASCII itself only where take returns 0. lone_lf says how it
// takes the store of a lone LF (LoneLfStore, below).
// The line ends that the tight loops over in into this writer leave to the
// byte loop: none where the streams translate them.
template <class Writer>
LineEndStops line_end_stops(const ByteReader& in, const Writer& w) {
  if (!in.folds()) return LineEndStops::none;
  return w.out.adds_cr() ? LineEndStops::lone_lf : LineEndStops::cr_lf;
}

// Where the writer makes each lone LF CR LF (LineEndStops::lone_lf), the
// tight loops store a lone LF at p as put would, CR LF, rather than leave
// it to the byte loop, which would end the loop at every line of a text
// with LF line ends. Only where the byte before it is in hand (from begin)
// and is no CR; returns where the output goes on, o itself where it stored
// nothing. o goes in and out by value: an output pointer whose address a
// call takes lives in memory, read again after every store, since any byte
// stored could be part of it.
template <class Writer>
KOTRAN_HOT unsigned char* store_lone_lf(Writer& w, const unsigned char* p, const unsigned char* begin,
                                        LineEndStops stops, unsigned char* o) {
  if (stops != LineEndStops::lone_lf || p[0] != 0x0A || p == begin || p[-1] == 0x0D) return o;
  o = w.store_ascii(o, 0x0D);
  return w.store_ascii(o, 0x0A);
}

// The same, out of line.
template <class Writer>
[[gnu::noinline, gnu::cold]] unsigned char* store_lone_lf_apart(Writer& w, const unsigned char* p,
                                                                const unsigned char* begin, LineEndStops stops,
                                                                unsigned char* o) {
  return store_lone_lf(w, p, begin, stops, o);
}

// How a loop takes the store of a lone LF: inlined in the loops of vector
// steps, whose vector constants a call in the loop would send to the stack
// (on POSIX systems a call may overwrite every vector register); out of
// line in the others, the rare case it is, where inlined it made the word
// loop's conversions a tenth slower.
enum class LoneLfStore { apart, inlined };

// store_lone_lf, moving o past what it stored; false where it stored nothing.
template <LoneLfStore how, class Writer>
KOTRAN_HOT bool lone_lf_stored(Writer& w, const unsigned char* p, const unsigned char* begin, LineEndStops stops,
                               unsigned char*& o) {
  unsigned char* const after = how == LoneLfStore::apart ? store_lone_lf_apart(w, p, begin, stops, o)
                                                         : store_lone_lf(w, p, begin, stops, o);
  if (after == o) return false;
  o = after;
  return true;
}

template <bool take_ascii = false, LoneLfStore lone_lf = LoneLfStore::apart, class Writer, class Take>
KOTRAN_HOT bool tight_loop(ByteReader& in, Writer& w, Take take) {
  const LineEndStops stops = line_end_stops(in, w);
  if (const size_t n = ascii_run(in.begin(), in.end(), false, stops)) {
    w.ascii(in.begin(), n);
    in.skip(n);
    return true;
  }
  const unsigned char* p = in.begin();
  const unsigned char* const end = in.end();
  unsigned char* o = w.out.room_begin();
  if (w.out.room_end() - o < static_cast<ptrdiff_t>(STORE_MAX)) return false;
  unsigned char* const o_last = w.out.room_end() - STORE_MAX;
  while (p < end && o <= o_last) {
    if constexpr (take_ascii) {
      if (const size_t n = take(p, end, o)) {
        p += n;
        continue;
      }
    }
    if (p[0] < 0x80) {
      if (end - p >= 8) {
        if (const unsigned n = ascii_prefix(p, false, stops)) {
          o = w.store_ascii8(o, p, n);
          p += n;
          continue;
        }
      } else if (stops == LineEndStops::none || (p[0] != 0x0A && p[0] != 0x0D)) {
        o = w.store_ascii(o, p[0]);
        ++p;
        continue;
      }
      // A line end that stops ASCII.
      if (!lone_lf_stored<lone_lf>(w, p, in.begin(), stops, o)) break;
      ++p;
      continue;
    }
    if (take_ascii) break;
    const size_t n = take(p, end, o);
    if (n == 0) break;
    p += n;
  }
  if (p == in.begin()) return false;
  in.skip_to(p);
  w.out.commit(o);
  return true;
}

}  // namespace kotran
