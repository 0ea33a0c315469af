// Reading JIS: escape sequences switch between one-byte text, kanji pairs,
// JIS X 0212 pairs (ESC $ ( D) and katakana; each unit is handed to the
// writer of the target.
//
// The reader tracks the set its input is shifted into (read_shift) and the
// first byte of a pair that waits for its second (pending_byte). Designations
// are handed to the writer too, which only JIS output follows.
#pragma once

#include <cstring>

#include "codes/jis_escapes.h"
#include "codes/kana.h"
#include "convert/converter.h"
#include "convert/loops/vector_steps.h"
#include "convert/writers/shift_state.h"
#include "stream/cursors.h"

namespace kotran {

// Whether a CR comes just before an ESC among the n bytes at p. The
// escape sequence goes out as nothing, so an LF after it would follow the
// CR in the output, yet it is a lone LF of the text: the blocks that add a
// CR before each lone LF of their output (blocks_adding_crs) must not take
// such a text.
inline bool cr_before_escape(const unsigned char* p, size_t n) {
  const unsigned char* const end = p + n;
  for (const unsigned char* cr = p; cr + 1 < end; ++cr) {
    cr = static_cast<const unsigned char*>(std::memchr(cr, 0x0D, static_cast<size_t>(end - 1 - cr)));
    if (cr == nullptr) return false;
    if (cr[1] == ESC) return true;
  }
  return false;
}

template <Path path, class Writer>
class JisDecoder {
 public:
  JisDecoder(ByteReader& in, Writer w, const ConvertOptions& options)
      : in_(in),
        w_(w),
        widen_(options.widen),
        continues_(options.continues),
        read_shift_(options.jis_read_shift),
        pending_byte_(options.jis_waiting) {}

  // Inlined, with fast_run, into each path's own entry, compiled for the
  // path's instruction set.
  [[gnu::always_inline]] void run() {
    for (;;) {
      if constexpr (path != Path::scalar) {
        if (read_shift_ == SHIFT_NONE) {
          if (const size_t n = ascii_run(in_.begin(), in_.end(), true, line_end_stops(in_, w_))) {
            w_.ascii(in_.begin(), n);
            in_.skip(n);
            continue;
          }
        }
        if ((read_shift_ != SHIFT_SUPPLEMENT && (read_shift_ != SHIFT_KANA || !widen_)) && pending_byte_ == 0 &&
            fast_run())
          continue;
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
        case SHIFT_ROMAN:  // only writers tell JIS-Roman from ASCII
          one_byte(b);
          break;
        case SHIFT_KANA:
          katakana(b);
          pending_byte_ = 0;
          break;
        case SHIFT_SUPPLEMENT:
          if (pending_byte_ == 0) {
            pending_byte_ = b;
          } else {
            w_.supplement_char(static_cast<uint16_t>((pending_byte_ << 8) | b));
            pending_byte_ = 0;
          }
          break;
        case SHIFT_KANJI:
          if (pending_byte_ == 0) {
            pending_byte_ = b;  // a byte 0x00 never waits
          } else {
            if (pending_byte_ == SO && !reading.so_pair_is_code)
              so_katakana(b);
            else
              w_.jis_char(static_cast<uint16_t>((pending_byte_ << 8) | b));
            pending_byte_ = 0;
          }
          break;
      }
    }
    // A first byte still waiting is dropped, unless more text follows.
    if (continues_) {
      if constexpr (requires { w_.found; }) {
        w_.found.jis_read_shift = read_shift_;
        w_.found.jis_waiting = static_cast<uint8_t>(pending_byte_);
      }
    } else if (pending_byte_ != 0) {
      w_.dropped();
    }
    w_.finish();
  }

 private:
  static constexpr unsigned LF = 0x0A;
  static constexpr unsigned CR = 0x0D;
  static constexpr unsigned SO = 0x0E;
  static constexpr JisReading reading = Writer::jis_reading;

  static constexpr bool in_kana_range(unsigned k) { return k >= 0xA0 && k <= 0xDF; }
  static constexpr bool is_jis_byte(unsigned b) { return b >= 0x21 && b <= 0x7E; }

  // Stores one-byte text, the pairs of bytes 0x21-0x7E of kanji text, the
  // bytes 0x21-0x5F of katakana text (not widened), line ends, and the
  // designations that switch between them, straight into the output block;
  // false when it took nothing. Pairs of other bytes, other bytes of
  // katakana text and every other escape sequence are left to the byte loop.
  [[gnu::always_inline]] bool fast_run() {
    const unsigned char* p = in_.begin();
    const unsigned char* const end = in_.end();
    unsigned char* o = w_.out.room_begin();
    if (w_.out.room_end() - o < static_cast<ptrdiff_t>(STORE_MAX)) return false;
    unsigned char* const o_last = w_.out.room_end() - STORE_MAX;
    ShiftState shift = read_shift_;  // one-byte, kanji or katakana text
    const LineEndStops stops = line_end_stops(in_, w_);
    const unsigned char* blocks_from = p;  // where whole blocks are tried next
    while (p < end && o <= o_last) {
      if constexpr (takes_wide_steps(path) && requires(JisCarry& carry) {
                      VectorStep<Code::jis, Writer>::template widest_blocks<false>(o, p, size_t{}, stops, carry,
                                                                                   false, w_);
                    }) {
        // Whole blocks of one-byte and kanji text with their escapes, begun
        // in either; katakana text within them too, where it is not widened
        // and the target's bytes take it. After blocks that end in
        // katakana, again as soon as the text leaves it; after others that
        // end (or a first that is not whole), not again for a block's
        // length.
        const bool take_kana = VectorStep<Code::jis, Writer>::blocks_take_kana && !widen_;
        if (p >= blocks_from && (shift == SHIFT_NONE || shift == SHIFT_KANJI) && end - p >= 2 * 64 + 2) {
          // Into UTF-8 a block writes at most 96 bytes, and its stores reach
          // 136 past its start; into the others 64, and 72.
          constexpr ptrdiff_t most = std::is_same_v<Writer, Utf8Writer> ? 96 : 64;
          constexpr size_t past = std::is_same_v<Writer, Utf8Writer> ? 40 : 16;
          JisCarry carry;
          carry.kanji = shift == SHIFT_KANJI;
          const auto blocks_into = [&](unsigned char*& at, size_t room, LineEndStops blocks_stop) -> size_t {
            const size_t blocks =
                std::min<size_t>((end - p - 2) / 64, room < past ? 0 : (room - past) / static_cast<size_t>(most));
            if constexpr (takes_widest_steps(path))
              return VectorStep<Code::jis, Writer>::template widest_blocks<compresses_bytes(path)>(
                  at, p, blocks, blocks_stop, carry, take_kana, w_);
            else
              return VectorStep<Code::jis, Writer>::wide_blocks(at, p, blocks, blocks_stop, carry, take_kana, w_);
          };
          // (See blocks_adding_crs: the text's lone LFs go out in the blocks.)
          const size_t n = lone_lf_ahead<path>(p, stops) &&
                                   !cr_before_escape(p, std::min<size_t>(end - p, CR_STAGE + 2))
                               ? blocks_adding_crs<path>(o, w_.out.room_end(), p,
                                                         [&](unsigned char*& at, size_t room) {
                                                           return blocks_into(at, room, LineEndStops::none);
                                                         })
                               : blocks_into(o, static_cast<size_t>(w_.out.room_end() - o), stops);
          p += n;
          shift = carry.kanji ? SHIFT_KANJI : carry.kana ? SHIFT_KANA : SHIFT_NONE;
          blocks_from = carry.kana ? p : p + 64;
          if (n != 0) continue;
        }
      }
      const unsigned b = p[0];
      if (shift == SHIFT_KANA) {
        if (b >= 0x21 && b <= 0x5F) {
          // kana_as_read: the katakana of the byte with its high bit set.
          if (unsigned char* const stored = w_.store_halfkana(o, b | 0x80)) {
            o = stored;
            ++p;
            continue;
          }
        }
      } else if (shift == SHIFT_NONE) {
        if (b < 0x80 && b != ESC) {
          if (end - p >= 8) {
            const unsigned n = ascii_prefix(p, true, stops);
            if (n == 0) {
              if (!lone_lf_stored<LoneLfStore::apart>(w_, p, in_.begin(), stops, o)) break;
              ++p;
              continue;
            }
            o = w_.store_ascii8(o, p, n);
            p += n;
          } else {
            if (stops != LineEndStops::none && (b == LF || b == CR)) {
              if (!lone_lf_stored<LoneLfStore::apart>(w_, p, in_.begin(), stops, o)) break;
              ++p;
              continue;
            }
            o = w_.store_ascii(o, b);
            ++p;
          }
          continue;
        }
      } else {
        // A CR, and a lone LF that must become CR LF where the byte before
        // it is not in hand, go to the byte loop.
        if (b == LF) {
          if (stops != LineEndStops::lone_lf)
            o = w_.store_ascii(o, LF);
          else if (!lone_lf_stored<LoneLfStore::apart>(w_, p, in_.begin(), stops, o))
            break;
          ++p;
          continue;
        }
        if constexpr (takes_vectors<Code::jis, Writer>(path, VectorForm::utf8_units)) {
          // Up to 64 bytes of pairs at a time, each as its form. A run of
          // fewer than 16 pairs costs the block's fixed work more than the
          // pairs one by one: those go out here, so that the run is measured
          // once and not again at each of its pairs.
          using Step = VectorStep<Code::jis, Writer>;
          if (end - p >= 64) {
            const unsigned n = Step::pair_length(p);
            if (n >= 32) {
              if constexpr (takes_widest_steps(path))
                w_.found.replaced += Step::template widest_pairs_utf8<compresses_bytes(path)>(o, p, n, w_.forms);
              else
                w_.found.replaced += Step::wide_pairs_utf8(o, p, n, w_.forms);
            } else {
              for (unsigned i = 0; i < n; i += 2) o = w_.store_row(o, p[i], p[i + 1]);
            }
            p += n;
            if (n != 0) continue;
          }
        }
        if constexpr (takes_vectors<Code::jis, Writer>(path, VectorForm::jis_pairs)) {
          // Eight pairs at a time, sixteen on the wide path.
          using Step = VectorStep<Code::jis, Writer>;
          constexpr bool wide = takes_wide_steps(path);
          if (end - p >= (wide ? 32 : 16)) {
            if (const unsigned n = wide ? Step::wide_length(p) : Step::length(p)) {
              if constexpr (wide)
                Step::wide_store(o, p);
              else
                Step::store(o, p);
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
      const JisEscape e = jis_escape_meaning(p[1], p[2]);
      if (e == JisEscape::kanji_in)
        shift = SHIFT_KANJI;
      else if (e == JisEscape::one_byte)
        shift = SHIFT_NONE;
      else if (e == JisEscape::kana_in && !widen_)
        shift = SHIFT_KANA;
      else
        break;
      o = w_.store_designate(o, e);
      p += 3;
    }
    read_shift_ = shift;
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
    if (reading.kana_in_one_byte_text && in_kana_range(b)) {
      if (reading.wide_kana_drops_pending && widen_) pending_byte_ = 0;
      if (!widen_alone(b)) w_.halfkana(b);
      return;
    }
    w_.single(b);
  }

  // A byte after ESC ( I.
  void katakana(unsigned b) {
    if (!widen_) {
      w_.kana_as_read(b);
      return;
    }
    const unsigned k = b | 0x80;
    if (!widen_with_look_ahead(k)) w_.kana_as_read(k);
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
    if (!widen_alone(k)) w_.kana_as_read(b);
  }

  // ESC N x: the one half-width katakana x.
  void single_shift(unsigned x) {
    if (!(reading.single_shift_keeps_pending && !widen_)) pending_byte_ = 0;
    if (!widen_alone(x | 0x80)) w_.kana_as_read(x);
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
    if (b1 == '$' && b2 == '(') {
      // ESC $ ( D: JIS X 0212 codes follow. ESC $ ( and another byte is no
      // sequence of ours: ESC passes on alone and the three bytes are read again.
      const int b3 = in_.get();
      if (b3 == 'D') {
        read_shift_ = SHIFT_SUPPLEMENT;
        return true;
      }
      in_.unget(b3);
      in_.unget(b2);
      in_.unget(b1);
      w_.put(ESC);
      return true;
    }
    const JisEscape e = jis_escape_meaning(static_cast<unsigned>(b1), static_cast<unsigned>(b2));
    switch (e) {
      case JisEscape::single_shift:
        single_shift(static_cast<unsigned>(b2));
        return true;
      case JisEscape::kanji_in:
        read_shift_ = SHIFT_KANJI;
        break;
      case JisEscape::one_byte:
        read_shift_ = SHIFT_NONE;
        break;
      case JisEscape::kana_in:
        read_shift_ = SHIFT_KANA;
        break;
      case JisEscape::kana_set:
        break;
      case JisEscape::unknown:
        // ESC passes on alone and the two bytes are read again.
        in_.unget(b2);
        in_.unget(b1);
        w_.put(ESC);
        return true;
    }
    w_.designate(e);
    return true;
  }

  ByteReader& in_;
  Writer w_;
  const bool widen_;
  const bool continues_;
  ShiftState read_shift_;
  unsigned pending_byte_;
};

struct JisReader {
  template <Path path, class Writer>
  [[gnu::always_inline]] static inline void run(ByteReader& in, Writer w, const ConvertOptions& options) {
    JisDecoder<path, Writer>(in, w, options).run();
  }
};

}  // namespace kotran
