// Converters from JIS: one JIS reader, a writer per target.
//
// The reader tracks the set its input is shifted into (read_shift) and the
// first byte of a pair that waits for its second (pending). The converter to
// JIS does not copy the escape sequences it reads: it writes its own, through
// the writer's transitions, so repeated designations vanish and every line
// ends in one-byte text.
#include "codes/jis_sjis.h"
#include "codes/kana.h"
#include "codes/pair_vectors.h"
#include "convert/converters.h"
#include "convert/writers.h"

namespace kotran {
namespace {

constexpr unsigned ESC = 0x1B;
constexpr unsigned LF = 0x0A;
constexpr unsigned SO = 0x0E;

constexpr bool in_kana_range(unsigned k) { return k >= 0xA0 && k <= 0xDF; }
constexpr bool is_jis_byte(unsigned b) { return b >= 0x21 && b <= 0x7E; }

template <class Writer, bool Fast>
class JisReader {
 public:
  JisReader(ByteReader& in, Writer w) : in_(in), w_(w), widen_(to_fullwidth(settings)) {}

  int run() {
    for (;;) {
      if constexpr (Fast) {
        if (read_shift_ == SHIFT_NONE) {
          if (const size_t n = ascii_run(in_.begin(), in_.end(), true)) {
            w_.ascii(in_.begin(), n);
            in_.skip(n);
            continue;
          }
        }
        if (read_shift_ != SHIFT_KANA && pending_ == 0 && fast_run()) continue;
      }
      const int c = in_.get();
      if (c == EOF) break;
      const unsigned b = static_cast<unsigned>(c);
      if (b == ESC) {
        if (!escape()) break;
        continue;
      }
      if (b == LF) {
        // A kanji mode and a waiting first byte both go on over a line end.
        w_.single(LF);
        continue;
      }
      switch (read_shift_) {
        case SHIFT_NONE:
          one_byte(b);
          break;
        case SHIFT_KANA:
          katakana(b);
          pending_ = 0;
          break;
        case SHIFT_KANJI:
          if (pending_ == 0) {
            pending_ = b;  // a byte 0x00 never waits
          } else {
            if (pending_ == SO && Writer::code != CODE_EUC)
              so_katakana(b);
            else
              w_.jis_char(static_cast<uint16_t>((pending_ << 8) | b));
            pending_ = 0;
          }
          break;
      }
    }
    // A first byte still waiting is dropped.
    w_.finish();
    return 1;
  }

 private:
  // Stores one-byte text, the pairs of bytes 0x21-0x7E of kanji text, line
  // ends, and the designations that switch between the two, straight into the
  // output block; false when it took nothing. Katakana, pairs of other bytes,
  // and every other escape sequence are left to the byte loop.
  bool fast_run() {
    const unsigned char* p = in_.begin();
    const unsigned char* const end = in_.end();
    unsigned char* o = w_.out.room_begin();
    if (w_.out.room_end() - o < static_cast<ptrdiff_t>(STORE_MAX)) return false;
    unsigned char* const o_last = w_.out.room_end() - STORE_MAX;
    while (p < end && o <= o_last) {
      const unsigned b = p[0];
      if (read_shift_ == SHIFT_NONE) {
        if (b < 0x80 && b != ESC) {
          if (end - p >= 8) {
            const unsigned n = ascii_prefix(p, true);
            o = w_.store_ascii8(o, p, n);
            p += n;
          } else {
            o = w_.store_ascii(o, b);
            ++p;
          }
          continue;
        }
      } else {
        if (b == LF) {
          o = w_.store_ascii(o, LF);
          ++p;
          continue;
        }
        if constexpr (PAIR_VECTORS && (Writer::code == CODE_SJIS || Writer::code == CODE_EUC)) {
          // Into Shift-JIS and EUC, eight pairs at a time.
          if (end - p >= 16) {
            if (const unsigned n = jis_pair_length(p)) {
              if constexpr (Writer::code == CODE_SJIS)
                store_jis_as_sjis(o, p);
              else
                store_jis_as_euc(o, p);
              o += n;
              p += n;
              continue;
            }
          }
        }
        if (end - p >= 2 && is_jis_byte(b) && is_jis_byte(p[1])) {
          o = w_.store_row(o, b, p[1]);
          p += 2;
          continue;
        }
      }
      if (b != ESC || end - p < 3) break;
      if (p[1] == '$' && (p[2] == 'B' || p[2] == '@')) {
        read_shift_ = SHIFT_KANJI;
        o = w_.store_kanji_in(o);
      } else if ((p[1] == '(' && (p[2] == 'B' || p[2] == 'J')) || (p[1] == '*' && p[2] == 'B')) {
        read_shift_ = SHIFT_NONE;
        o = w_.store_kanji_out(o);
      } else {
        break;
      }
      p += 3;
    }
    if (p == in_.begin()) return false;
    in_.skip_to(p);
    w_.out.commit(o);
    return true;
  }

  // Widens the katakana k (8-bit form) on its own, without look-ahead.
  bool widen_alone(unsigned k) {
    uint16_t wide;
    if (!widen_ || widen_kana(static_cast<uint16_t>(k << 8), wide) == 0) return false;
    w_.jis_char(wide);
    return true;
  }

  // Widens the katakana k, merging a following voiced or semi-voiced mark
  // (7-bit or 8-bit); a byte not merged is read again.
  bool widen_with_look_ahead(unsigned k) {
    const int n = in_.get();
    uint16_t pair = static_cast<uint16_t>(k << 8);
    if (n != EOF && in_kana_range(static_cast<unsigned>(n) | 0x80))
      pair = static_cast<uint16_t>(pair | static_cast<unsigned>(n) | 0x80);
    uint16_t wide;
    const int taken = widen_kana(pair, wide);
    if (taken != 2) in_.unget(n);
    if (taken == 0) return false;
    w_.jis_char(wide);
    return true;
  }

  // A byte in one-byte text.
  void one_byte(unsigned b) {
    if constexpr (Writer::code == CODE_EUC || Writer::code == CODE_UTF8) {
      // An 8-bit katakana without a designation is read as a katakana.
      if (in_kana_range(b)) {
        if (Writer::code == CODE_EUC && widen_) pending_ = 0;
        if (!widen_alone(b)) w_.halfkana(b);
        return;
      }
    }
    w_.single(b);
  }

  // A byte after ESC ( I.
  void katakana(unsigned b) {
    const unsigned k = b | 0x80;
    if (!widen_) {
      if constexpr (Writer::code == CODE_JIS) {
        w_.to_kana();
        w_.put(b);  // as read
      } else {
        w_.halfkana(k);
      }
      return;
    }
    if (Writer::code == CODE_EUC && !in_kana_range(k)) {
      w_.halfkana(k);
      return;
    }
    if (widen_with_look_ahead(k)) return;
    if constexpr (Writer::code == CODE_JIS) {
      w_.to_kana();
      w_.put(k);
    } else {
      w_.halfkana(k);
    }
  }

  // SO and a byte in kanji mode: a half-width katakana.
  void so_katakana(unsigned b) {
    const unsigned k = b | 0x80;
    if (!in_kana_range(k)) {
      // Not a katakana: SO stands alone and the byte starts a new pair.
      w_.put(SO);
      in_.unget(static_cast<int>(b));
      return;
    }
    if (widen_alone(k)) return;
    if constexpr (Writer::code == CODE_JIS) {
      w_.to_kana();
      w_.put(b);
    } else {
      w_.halfkana(k);
    }
  }

  // ESC N x: the one half-width katakana x.
  void single_shift(unsigned x) {
    const unsigned k = x | 0x80;
    if constexpr (Writer::code == CODE_EUC) {
      if (!widen_) {
        w_.halfkana(k);
        return;
      }
    }
    pending_ = 0;
    if (widen_alone(k)) return;
    if constexpr (Writer::code == CODE_JIS) {
      w_.to_kana();
      w_.put(x);
    } else {
      w_.halfkana(k);
    }
  }

  // The escape step, entered with ESC read. The two bytes after ESC are
  // always taken with it; false when the input ended among them.
  bool escape() {
    const int b1 = in_.get();
    if (b1 == EOF) {
      w_.put(ESC);
      return false;
    }
    const int b2 = in_.get();
    if (b2 == EOF) {
      w_.put(ESC);
      w_.put(static_cast<unsigned>(b1));
      return false;
    }
    if (b1 == 'N') {
      single_shift(static_cast<unsigned>(b2));
      return true;
    }
    if (b1 == '(' && b2 == 'I') {
      read_shift_ = SHIFT_KANA;
      if constexpr (Writer::code == CODE_JIS) w_.to_kana();
    } else if (b1 == '*' && b2 == 'I') {
      if constexpr (Writer::code == CODE_JIS) w_.out.put_string("\x1B*I");
    } else if (b1 == '$' && (b2 == 'B' || b2 == '@')) {
      read_shift_ = SHIFT_KANJI;
      if constexpr (Writer::code == CODE_JIS) w_.to_kanji();
    } else if ((b1 == '(' && (b2 == 'J' || b2 == 'B')) || (b1 == '*' && b2 == 'B')) {
      read_shift_ = SHIFT_NONE;
      if constexpr (Writer::code == CODE_JIS) w_.to_none();
    } else {
      // Unrecognised: ESC passes on alone and the two bytes are read again.
      in_.unget(b2);
      in_.unget(b1);
      w_.put(ESC);
    }
    return true;
  }

  ByteReader& in_;
  Writer w_;
  const bool widen_;
  ShiftState read_shift_ = SHIFT_NONE;
  unsigned pending_ = 0;
};

template <class Writer>
int convert(TextStream* in, TextStream* out) {
  ByteReader reader(in);
  ByteWriter writer(out);
  return converter_fast_paths ? JisReader<Writer, true>(reader, Writer{writer}).run()
                              : JisReader<Writer, false>(reader, Writer{writer}).run();
}

}  // namespace

int convert_jis_sjis(TextStream* in, TextStream* out) { return convert<SjisWriter>(in, out); }
int convert_jis_jis(TextStream* in, TextStream* out) { return convert<JisWriter>(in, out); }
int convert_jis_euc(TextStream* in, TextStream* out) { return convert<EucWriter>(in, out); }
int convert_jis_utf8(TextStream* in, TextStream* out) { return convert<Utf8Writer>(in, out); }

}  // namespace kotran
