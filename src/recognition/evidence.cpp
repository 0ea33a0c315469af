#include "recognition/evidence.h"

#include <algorithm>

#include "codes/jis_escapes.h"
#include "kernels/words/ascii_words.h"
#include "recognition/first_block.h"
#include "recognition/x0213_evidence.h"
#include "stream/cursors.h"
#include "stream/text_parts.h"

namespace kotran {
namespace {

// An escape sequence of three bytes that only JIS text holds: a kanji or
// katakana designation, or ESC ( J (the JIS form of one-byte text). The
// designation of JIS X 0212, ESC $ ( D, is followed to its fourth byte.
bool is_jis_sign(unsigned second, unsigned third) {
  const JisEscape meaning = jis_escape_meaning(second, third);
  return meaning == JisEscape::kanji_in || meaning == JisEscape::kana_in || meaning == JisEscape::kana_set ||
         (second == '(' && third == 'J');
}

class Gatherer {
 public:
  explicit Gatherer(Path path) : path_(path) {}

  // Reads the bytes in hand; true once the evidence settles the code.
  bool feed(ByteReader& in, Evidence& e) {
    for (;;) {
      // Where one reading alone is still valid, the bytes in hand go to it
      // in a loop of its own, up to the next check or escape.
      if (escape_length_ == 0 && in.begin() < in.end() && !reading_foreign(e)) {
        const int valid = int{e.utf8.tally.valid} + int{e.euc.tally.valid} + int{e.sjis.tally.valid};
        if (valid == 1) {
          if (e.utf8.tally.valid) alone(e.utf8, in, e);
          else if (e.euc.tally.valid) alone(e.euc, in, e);
          else {
            // Text of another language and UTF-8 are ruled out, and with
            // EUC invalid nothing weighs this reading's cost.
            e.sjis.stop_scoring();
            alone(e.sjis, in, e);
          }
          if (checked_settled(e)) return true;
          if (in.begin() < in.end() && *in.begin() != ESC) continue;
        }
      }
      // A run of ASCII is looked for where one may start: a byte below 0x80
      // with every reading between characters.
      if (path_ != Path::scalar && in.begin() < in.end() && *in.begin() < 0x80 && at_rest(e)) {
        // A run stops at the next check, which every path makes at the same byte.
        const size_t run = std::min<uint64_t>(ascii_run(in.begin(), in.end(), true), next_check_ - e.bytes);
        if (run > 0) {
          const unsigned first = in.begin()[0], last = in.begin()[run - 1];
          e.utf8.tally.take_ascii();
          e.euc.take_ascii_run(first, last);
          e.sjis.take_ascii_run(first, last);
          if (reading_foreign(e)) each_foreign(e, [](auto& r) { r.take_ascii(); });
          in.skip(run);
          e.bytes += run;
          if (checked_settled(e)) return true;
          continue;
        }
      }
      const int c = in.get();
      if (c == EOF) return false;
      ++e.bytes;
      const auto b = static_cast<unsigned>(c);
      e.eight_bit |= b >= 0x80;
      if ((escape_length_ != 0 || b == ESC) && escape(b, e)) return true;
      // A reading that is no longer valid counts for nothing: it is not fed.
      if (e.utf8.tally.valid) e.utf8.feed(b);
      if (e.euc.tally.valid) e.euc.feed(b);
      if (e.sjis.tally.valid) e.sjis.feed(b);
      if (reading_foreign(e)) {
        if (e.sjis.tally.valid && e.sjis.kana >= JAPANESE_KANA)
          each_foreign(e, [](auto& r) { r.valid = false; });
        else
          each_foreign(e, [b](auto& r) {
            if (r.valid) r.feed(b);
          });
      }
      if (checked_settled(e)) return true;
    }
  }

  // The text has ended.
  void finish(Evidence& e) {
    if (e.utf8.tally.valid) e.utf8.finish();
    if (e.euc.tally.valid) e.euc.finish();
    if (e.sjis.tally.valid) e.sjis.finish();
    if (reading_foreign(e))
      each_foreign(e, [](auto& r) {
        if (r.valid) r.finish();
      });
    if (e.bytes < FOREIGN_WINDOW) close_window(e);
  }

 private:
  static constexpr uint64_t CHECK_EVERY = 4096;
  static constexpr uint64_t FOREIGN_CHECK = 256;
  static constexpr uint64_t HOPELESS_MARGIN = 8;

  // Feeds the one valid reading the bytes in hand, up to the next check, an
  // ESC, or the byte that makes it invalid; as the loop of run does, runs of
  // ASCII between characters a word at a time.
  template <class Reading>
  void alone(Reading& r, ByteReader& in, Evidence& e) {
    const unsigned char* const p = in.begin();
    const unsigned char* const end = p + std::min<uint64_t>(static_cast<uint64_t>(in.end() - p), next_check_ - e.bytes);
    const unsigned char* q = p;
    unsigned high = 0;
    while (q < end) {
      const unsigned b = *q;
      if (b == ESC) break;
      if (b < 0x80 && path_ != Path::scalar && r.at_rest()) {
        if (const size_t run = ascii_run(q, end, true); run > 0) {
          r.take_ascii_run(q[0], q[run - 1]);
          q += run;
          continue;
        }
      }
      high |= b;
      r.feed(b);
      ++q;
      if (!r.tally.valid) break;
    }
    e.eight_bit = e.eight_bit || high >= 0x80;
    e.bytes += static_cast<uint64_t>(q - p);
    in.skip(static_cast<size_t>(q - p));
  }

  // At every FOREIGN_CHECK bytes within the window: whether the foreign
  // readings still count. At every CHECK_EVERY bytes past EARLY_BYTES:
  // whether the evidence settles the code, so that the rest need not be read.
  bool checked_settled(Evidence& e) {
    if (e.bytes != next_check_) return false;
    if (e.bytes < FOREIGN_WINDOW) {
      next_check_ += FOREIGN_CHECK;
      drop_hopeless(e);
      return false;
    }
    next_check_ += CHECK_EVERY;
    if (e.bytes == FOREIGN_WINDOW) close_window(e);
    if (e.bytes < EARLY_BYTES || !settled(e)) return false;
    e.whole = false;
    return true;
  }

  // Every reading that still counts is between characters.
  bool at_rest(const Evidence& e) const {
    return escape_length_ == 0 && (!e.utf8.tally.valid || e.utf8.at_rest()) &&
           (!e.euc.tally.valid || e.euc.at_rest()) && (!e.sjis.tally.valid || e.sjis.at_rest()) &&
           (!reading_foreign(e) || std::all_of(std::begin(e.foreign), std::end(e.foreign), [](const PairReading& r) {
              return !r.valid || r.at_rest();
            }));
  }

  // The foreign readings are still fed: within the window, while one is valid.
  bool reading_foreign(const Evidence& e) const {
    return window_open_ &&
           (std::any_of(std::begin(e.foreign), std::end(e.foreign), [](const PairReading& r) { return r.valid; }) ||
            std::any_of(std::begin(e.alphabets), std::end(e.alphabets), [](const ByteReading& r) { return r.valid; }));
  }

  // Does f to every foreign reading, of two bytes and of one.
  template <class F>
  static void each_foreign(Evidence& e, F f) {
    for (PairReading& r : e.foreign) f(r);
    for (ByteReading& r : e.alphabets) f(r);
  }

  // A foreign reading that cannot be the evidence any more is no longer fed,
  // so that Japanese text soon leaves the byte loop: where the text is UTF-8
  // of long characters (which decides before any foreign reading), or where
  // a Japanese reading is already cheaper than it by HOPELESS_MARGIN a
  // character.
  static void drop_hopeless(Evidence& e) {
    const bool utf8 = e.utf8.tally.valid && e.utf8.long_characters > 0;
    uint64_t japanese = UINT64_MAX;
    if (e.euc.tally.valid) japanese = e.euc.tally.cost;
    if (e.sjis.tally.valid) japanese = std::min(japanese, e.sjis.tally.cost);
    each_foreign(e, [&](auto& r) {
      if (r.valid && (utf8 || (japanese != UINT64_MAX && japanese + HOPELESS_MARGIN * r.characters < r.cost)))
        r.valid = false;
    });
  }

  // The end of the window: the Japanese readings' costs are taken there.
  void close_window(Evidence& e) {
    window_open_ = false;
    for (const ReadingTally* t : {&e.euc.tally, &e.sjis.tally})
      if (t->valid && t->cost < e.japanese_window_cost) {
        e.japanese_window_cost = t->cost;
        e.japanese_window_glued = t->glued;
      }
  }

  // Follows escape sequences; true when a JIS sign before any 8-bit byte
  // settles the code. ESC $ ( waits for its fourth byte: only a whole, known
  // designation is a sign.
  bool escape(unsigned b, Evidence& e) {
    if (escape_length_ == 0 || b == ESC) {
      escape_length_ = b == ESC ? 1 : 0;
      return false;
    }
    if (escape_length_ == 1) {
      second_ = b;
      escape_length_ = 2;
      return false;
    }
    if (escape_length_ == 2 && second_ == '$' && b == '(') {
      escape_length_ = 3;
      return false;
    }
    if (escape_length_ == 3 && (b == 'Q' || b == 'P' || b == 'O') && e.bytes - 4 < X0213_WINDOW)
      e.x0213_designated = true;
    const bool sign = escape_length_ == 3 ? b == 'D' : is_jis_sign(second_, b);
    escape_length_ = 0;
    if (!sign || e.eight_bit) return false;
    e.jis_first = true;
    return true;
  }

  // One valid reading, read far enough, with no sign of JIS; or, UTF-8 being
  // invalid, one legacy reading that needs no user-defined character where
  // the other needs them.
  static bool settled(const Evidence& e) {
    const bool utf8 = e.utf8.tally.valid && e.utf8.tally.characters > 0;
    const ReadingTally& euc = e.euc.tally;
    const ReadingTally& sjis = e.sjis.tally;
    const ReadingTally* one = nullptr;
    if (int{utf8} + int{euc.valid} + int{sjis.valid} == 1)
      one = utf8 ? &e.utf8.tally : euc.valid ? &euc : &sjis;
    else if (!e.utf8.tally.valid && euc.valid && sjis.valid && euc.plain != sjis.plain)
      one = euc.plain ? &euc : &sjis;
    return one != nullptr && one->characters >= EARLY_CHARACTERS;
  }

  static_assert(FOREIGN_WINDOW == CHECK_EVERY && FOREIGN_WINDOW % FOREIGN_CHECK == 0,
                "the window ends at a check, where every path stops");

  Path path_;
  bool window_open_ = true;
  uint64_t next_check_ = FOREIGN_CHECK;
  unsigned escape_length_ = 0;  // bytes of an escape sequence seen: 0, 1 (ESC), 2 or 3 (ESC $ ()
  unsigned second_ = 0;
};

// The byte-order mark that begins the text, if any; without one, the bytes
// looked at are given back, so that the reading goes on from the start.
ByteOrderMark byte_order_mark(ByteReader& in) {
  const int b0 = in.get();
  if (b0 == 0xFF || b0 == 0xFE) {
    const int b1 = in.get();
    if (b1 == (b0 ^ 0x01)) return ByteOrderMark::utf16;
    in.unget(b1);
  } else if (b0 == 0xEF) {
    const int b1 = in.get();
    const int b2 = b1 == 0xBB ? in.get() : EOF;
    if (b2 == 0xBF) return ByteOrderMark::utf8;
    in.unget(b2);
    in.unget(b1);
  }
  in.unget(b0);
  return ByteOrderMark::none;
}

}  // namespace

Evidence gather_evidence(TextStream* s, Path path) {
  Evidence e;
  const int64_t start = stream_tell(s);
  // The mark is read from the first bytes; the stream stays at the start.
  read_in_parts(s, [&](TextStream* part, bool last) {
    if (part->limit - part->next < 3 && !last) return size_t{0};
    ByteReader in(part);
    e.mark = byte_order_mark(in);
    return PARTS_ENOUGH;
  });
  // Without a mark, a binary first block settles it: a file of NULs (a
  // sparse one, say) is not read to its end. So do NULs where UTF-16's
  // ASCII holds them.
  if (e.mark == ByteOrderMark::none && !stream_error(s)) {
    const FirstBlock block = first_block(s, start);
    e.unmarked_utf16 = block.utf16;
    e.unmarked_certainty = block.utf16_certainty;
    e.binary = block.binary && block.utf16 == ByteOrder::marked;
    if (!block.binary && !stream_error(s)) {
      Gatherer gatherer(path);
      bool settled = false;
      read_in_parts(s, [&](TextStream* part, bool) {
        {
          ByteReader in(part);
          settled = gatherer.feed(in, e);
        }
        return settled ? PARTS_ENOUGH : static_cast<size_t>(part->next - part->data);
      });
      if (!settled) gatherer.finish(e);
    }
  }
  e.unreadable = stream_error(s);
  stream_seek(s, start, 0);
  return e;
}

}  // namespace kotran
