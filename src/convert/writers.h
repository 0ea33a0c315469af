// The writing side of every conversion: one writer per target code.
//
// A reader (one per source code) splits its input into units and hands each
// to the writer of the target:
//   single(b)     a one-byte character (ASCII, a control byte, a stray byte)
//   jis_char(j)   a double-byte character given by its JIS code
//   row_char(j)   the same, for a code known to lie in rows 1-94
//   halfkana(k)   a half-width katakana in its 8-bit form 0xA0-0xDF
//   raw_pair(a,b) two bytes that form no character, written as they are
//   put(b)        one byte as it is, with no change of shift state
//   ascii(p, n)   a run of bytes below 0x80, each a single byte
//   finish()      the end of the text
// For the readers' tight loops each writer also stores straight into the
// output block: store_ascii(o, b) and store_row(o, hi, lo) (a code of rows
// 1-94 given by its two JIS bytes) write at o (at most
// STORE_MAX bytes) and return the new position.
// The UTF-8 writer also takes any Unicode character (unicode(u)).
// The JIS writer also offers its shift transitions to the JIS reader, which
// writes some units exactly as it read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <bit>
#include <cstring>

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/pair_vectors.h"
#include "codes/unicode_table.h"
#include "codes/utf8_forms.h"
#include "convert/fast_paths.h"
#include "convert/shift_state.h"
#include "driver/settings.h"
#include "stream/cursors.h"
#include "stream/text_stream.h"

namespace kotran {

inline constexpr uint8_t SS2 = 0x8E;
// The most bytes one store of the tight loops writes: store_ascii,
// store_ascii8 and store_row write at most 12, a vector of pairs 32, after a
// designation of 3.
inline constexpr size_t STORE_MAX = 40;

// How many of the eight bytes at p, from the first, lie below 0x80 (and are
// not ESC when stop_at_esc is set): 0 to 8.
inline unsigned ascii_prefix(const unsigned char* p, bool stop_at_esc) {
  constexpr uint64_t HIGH = 0x8080808080808080ULL;
  constexpr uint64_t ONES = 0x0101010101010101ULL;
  uint64_t v;
  std::memcpy(&v, p, 8);
  uint64_t stop = v & HIGH;
  if (stop_at_esc) {
    const uint64_t x = v ^ (ONES * 0x1B);  // a byte ESC becomes 0; the lowest hit is exact
    stop |= (x - ONES) & ~x & HIGH;
  }
  if (stop == 0) return 8;
  // The lowest byte in memory order is the first.
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<unsigned>(__builtin_ctzll(stop)) / 8;
  else
    return static_cast<unsigned>(__builtin_clzll(stop)) / 8;
}

// What the writers of codes without shift states share: ASCII is written as
// it is, and a JIS designation writes nothing.
struct PlainWriter {
  ByteWriter& out;

  void ascii(const unsigned char* p, size_t n) { out.put_bytes(p, n); }
  static unsigned char* store_ascii(unsigned char* o, unsigned b) {
    *o = static_cast<unsigned char>(b);
    return o + 1;
  }
  // The first n of the eight bytes at p, all below 0x80; eight are stored.
  static unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    std::memcpy(o, p, 8);
    return o + n;
  }
  static unsigned char* store_kanji_in(unsigned char* o) { return o; }
  static unsigned char* store_kanji_out(unsigned char* o) { return o; }
};

struct SjisWriter : PlainWriter {
  static constexpr unsigned code = CODE_SJIS;

  void put(unsigned b) { out.put(b); }
  void single(unsigned b) { out.put(b); }
  void raw_pair(unsigned a, unsigned b) { out.put2(a, b); }
  // A code that has no Shift-JIS form is written as its two bytes.
  void jis_char(uint16_t j) {
    const uint16_t s = jis_to_sjis_code(j);
    const uint16_t bytes = s != 0 ? s : j;
    out.put2(bytes >> 8, bytes & 0xFF);
  }
  // A valid Shift-JIS code, known to be one.
  void sjis_char(uint16_t s) { out.put2(s >> 8, s & 0xFF); }
  void row_char(uint16_t j) { sjis_char(row_jis_to_sjis(j >> 8, j & 0xFF)); }
  static unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    o[0] = row_tables.sjis_lead[hi];
    o[1] = row_tables.sjis_trail[hi & 1][lo];
    return o + 2;
  }
  void halfkana(unsigned k) { out.put(k); }
  void finish() {}
};

struct EucWriter : PlainWriter {
  static constexpr unsigned code = CODE_EUC;

  void put(unsigned b) { out.put(b); }
  void single(unsigned b) { out.put(b); }
  void raw_pair(unsigned a, unsigned b) { out.put2(a, b); }
  void jis_char(uint16_t j) { out.put2((j >> 8) | 0x80, (j & 0xFF) | 0x80); }
  void row_char(uint16_t j) { jis_char(j); }
  static unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    o[0] = static_cast<unsigned char>(hi | 0x80);
    o[1] = static_cast<unsigned char>(lo | 0x80);
    return o + 2;
  }
  void halfkana(unsigned k) { out.put2(SS2, k); }
  void finish() {}
};

// JIS output returns to one-byte text before every one-byte character (so
// before every line end) and at the end; a sequence is written only when the
// next unit needs another set.
struct JisWriter {
  static constexpr unsigned code = CODE_JIS;
  // A sequence as the tight loops store it: all four bytes at once (every
  // sequence of the table has two or three).
  struct Sequence {
    unsigned char bytes[4];
    unsigned size;
  };
  ByteWriter& out;
  ShiftState state = SHIFT_NONE;
  Sequence kanji_in = sequence(row().kanji_in);
  Sequence kanji_out = sequence(row().kanji_out);

  static const JisEscapeRow& row() {
    const unsigned v = jis_variant_of(settings);
    return jis_escape_table[v < 5 ? v : 0];
  }
  static Sequence sequence(const char* text) {
    Sequence seq{};
    while (text[seq.size] != '\0' && seq.size < sizeof seq.bytes) {
      seq.bytes[seq.size] = static_cast<unsigned char>(text[seq.size]);
      ++seq.size;
    }
    return seq;
  }
  void put(unsigned b) { out.put(b); }
  void to_kanji() {
    if (state != SHIFT_KANJI) {
      out.put_string(row().kanji_in);
      state = SHIFT_KANJI;
    }
  }
  void to_kana() {
    if (state != SHIFT_KANA) {
      out.put_string(KANA_IN);
      state = SHIFT_KANA;
    }
  }
  void to_none() {
    if (state != SHIFT_NONE) {
      out.put_string(row().kanji_out);
      state = SHIFT_NONE;
    }
  }
  void single(unsigned b) {
    to_none();
    out.put(b);
  }
  void ascii(const unsigned char* p, size_t n) {
    to_none();
    out.put_bytes(p, n);
  }
  void raw_pair(unsigned a, unsigned b) {
    to_none();
    out.put2(a, b);
  }
  void jis_char(uint16_t j) {
    to_kanji();
    out.put2(j >> 8, j & 0xFF);
  }
  void row_char(uint16_t j) { jis_char(j); }
  unsigned char* store_ascii(unsigned char* o, unsigned b) {
    if (state != SHIFT_NONE) o = store_sequence(o, kanji_out, SHIFT_NONE);
    *o = static_cast<unsigned char>(b);
    return o + 1;
  }
  unsigned char* store_ascii8(unsigned char* o, const unsigned char* p, unsigned n) {
    if (state != SHIFT_NONE) o = store_sequence(o, kanji_out, SHIFT_NONE);
    std::memcpy(o, p, 8);
    return o + n;
  }
  unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) {
    if (state != SHIFT_KANJI) o = store_sequence(o, kanji_in, SHIFT_KANJI);
    o[0] = static_cast<unsigned char>(hi);
    o[1] = static_cast<unsigned char>(lo);
    return o + 2;
  }
  unsigned char* store_kanji_in(unsigned char* o) {
    return state != SHIFT_KANJI ? store_sequence(o, kanji_in, SHIFT_KANJI) : o;
  }
  unsigned char* store_kanji_out(unsigned char* o) {
    return state != SHIFT_NONE ? store_sequence(o, kanji_out, SHIFT_NONE) : o;
  }
  unsigned char* store_sequence(unsigned char* o, const Sequence& seq, ShiftState goal) {
    std::memcpy(o, seq.bytes, sizeof seq.bytes);
    state = goal;
    return o + seq.size;
  }
  void halfkana(unsigned k) {
    to_kana();
    out.put(k & 0x7F);
  }
  void finish() { to_none(); }
};

// The length of the run of bytes below 0x80 at p (ESC too ends it when
// stop_at_esc is set), when at least its first eight bytes qualify; 0
// otherwise, so that short runs stay in the byte loop.
inline size_t ascii_run(const unsigned char* p, const unsigned char* end, bool stop_at_esc) {
  constexpr uint64_t HIGH = 0x8080808080808080ULL;
  constexpr uint64_t ONES = 0x0101010101010101ULL;
  auto plain_word = [&](const unsigned char* at) {
    uint64_t v;
    std::memcpy(&v, at, 8);
    if ((v & HIGH) != 0) return false;
    if (!stop_at_esc) return true;
    const uint64_t x = v ^ (ONES * 0x1B);  // a byte ESC becomes 0
    return ((x - ONES) & ~x & HIGH) == 0;
  };
  if (end - p < 8 || !plain_word(p)) return 0;
  const unsigned char* q = p + 8;
  while (end - q >= 8 && plain_word(q)) q += 8;
  while (q < end && *q < 0x80 && !(stop_at_esc && *q == 0x1B)) ++q;
  return static_cast<size_t>(q - p);
}

// Characters that a conversion had to replace, counted over a file.
extern size_t replaced_characters;

inline constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
// The JIS code of 〓, written in place of a character a legacy code lacks.
inline constexpr uint16_t JIS_SUBSTITUTE = 0x222E;
inline constexpr char32_t HALFWIDTH_KANA_FIRST = 0xFF61;  // ｡, byte 0xA1
inline constexpr char32_t HALFWIDTH_KANA_LAST = 0xFF9F;   // ﾟ, byte 0xDF

// UTF-8 output. A unit that has no Unicode character (an unassigned code, a
// pair that is no character, a stray byte) becomes U+FFFD; a byte below 0x80
// that came with it is kept, so that line ends survive.
struct Utf8Writer : PlainWriter {
  static constexpr unsigned code = CODE_UTF8;
  const Utf8Form* forms = utf8_row_forms();

  explicit Utf8Writer(ByteWriter& writer) : PlainWriter{writer} {}

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
  void replace() {
    unicode(REPLACEMENT_CHARACTER);
    ++replaced_characters;
  }
  void put(unsigned b) {
    if (b < 0x80)
      out.put(b);
    else
      replace();
  }
  void single(unsigned b) { put(b); }
  void raw_pair(unsigned a, unsigned b) {
    put(a);
    put(b);
  }
  void jis_char(uint16_t j) {
    const char16_t u = jis_to_unicode(j);
    if (u != 0)
      unicode(u);
    else
      replace();
  }
  void row_char(uint16_t j) { jis_char(j); }
  unsigned char* store_row(unsigned char* o, unsigned hi, unsigned lo) const {
    const Utf8Form& f = forms[(hi - 0x21) * 94 + (lo - 0x21)];
    if (f.count == 0) {
      ++replaced_characters;
      return store_bmp(o, REPLACEMENT_CHARACTER);
    }
    std::memcpy(o, &f, sizeof f);
    return o + f.count;
  }
  static unsigned char* store_bmp(unsigned char* o, char32_t u) {
    o[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
    o[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return o + 3;
  }
  void halfkana(unsigned k) {
    if (k >= 0xA1 && k <= 0xDF) {
      unicode(HALFWIDTH_KANA_FIRST + (k - 0xA1));
    } else {
      replace();
      if (k < 0x80) put(k);
    }
  }
  void finish() {}
};

// The readers' tight loop over the block in hand: a long run of ASCII is
// copied whole; otherwise ASCII (eight bytes at a time) and the units that
// take recognises are stored straight into the output block. take(p, end, o)
// stores the unit at p and returns its length, or returns 0 (storing
// nothing) for a unit it leaves to the byte loop. Returns whether anything
// was taken.
// With take_ascii set, take sees every unit first, ASCII included, and the
// loop stores ASCII itself only where take returns 0.
template <bool take_ascii = false, class Writer, class Take>
bool tight_loop(ByteReader& in, Writer& w, Take take) {
  if (const size_t n = ascii_run(in.begin(), in.end(), false)) {
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
        const unsigned n = ascii_prefix(p, false);
        o = w.store_ascii8(o, p, n);
        p += n;
      } else {
        o = w.store_ascii(o, p[0]);
        ++p;
      }
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

// The tight loop of a reader whose source has a vector step: units(p) splits
// the vector at p into plain units (PlainUnits). Into a target whose pairs
// take as many bytes as the source's (Shift-JIS, EUC), same(o, p, units)
// stores the whole vector, ASCII included; into JIS, a run of pairs at the
// start of a vector is stored by as_jis(o, p, units) as kanji text; into
// other targets, and wherever the vector takes nothing, pair(p, end, o)
// takes one unit, as in tight_loop.
template <class Writer, class Units, class Same, class AsJis, class Pair>
bool vector_tight_loop(ByteReader& in, Writer& w, Units units, Same same, AsJis as_jis, Pair pair) {
  if constexpr (PAIR_VECTORS && (Writer::code == CODE_SJIS || Writer::code == CODE_EUC)) {
    return tight_loop<true>(in, w, [&](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
      if (end - p >= static_cast<ptrdiff_t>(VECTOR_WIDTH)) {
        const PlainUnits u = units(p);
        if (u.length != 0) {
          same(o, p, u);
          o += u.length;
          return u.length;
        }
      }
      return p[0] < 0x80 ? 0 : pair(p, end, o);
    });
  } else if constexpr (PAIR_VECTORS && Writer::code == CODE_JIS) {
    return tight_loop(in, w, [&](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
      if (end - p >= static_cast<ptrdiff_t>(VECTOR_WIDTH)) {
        const PlainUnits u = units(p);
        if (const unsigned n = leading_pair_bytes(u); n >= 4) {
          o = w.store_kanji_in(o);
          as_jis(o, p, u);
          o += n;
          return n;
        }
      }
      return pair(p, end, o);
    });
  } else {
    return tight_loop(in, w, pair);
  }
}

}  // namespace kotran
