#include "convert/part_cuts.h"

#include <cstring>

namespace kotran {
namespace {

constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;
constexpr unsigned char ESC = 0x1B;

// Whether the UTF-8 bytes at p (n of them) begin U+309A, U+0300, U+0301,
// U+02E5 or U+02E9, as far as they go.
bool begins_combining_mark(const unsigned char* p, size_t n) {
  auto is = [&](size_t k, unsigned b) { return k >= n || p[k] == b; };
  if (p[0] == 0xE3) return is(1, 0x82) && is(2, 0x9A);
  if (p[0] == 0xCC) return n < 2 || p[1] == 0x80 || p[1] == 0x81;
  if (p[0] == 0xCB) return n < 2 || p[1] == 0xA5 || p[1] == 0xA9;
  return false;
}

}  // namespace

// Whether a part may end after text[at - 1]: after a line end, where every
// reader stands between characters, or (not line_end_only) after a byte
// that can be no first byte of a character nor a CR whose LF may follow:
// a 7-bit byte (in UTF-16 a unit below 0x80). In JIS neither may be one of
// the three bytes of an escape sequence.
bool PartCuts::can_cut_after(const unsigned char* text, size_t at, int64_t offset, bool line_end_only) const {
  if (source_ == Code::utf16) {
    // Units stand at even offsets of the text.
    if (((offset + static_cast<int64_t>(at)) & 1) != 0 || at < 2) return false;
    const unsigned unit = big_endian_ ? (text[at - 2] << 8 | text[at - 1]) : (text[at - 1] << 8 | text[at - 2]);
    return unit == LF || (!line_end_only && unit < 0x80 && unit != CR);
  }
  const unsigned b = text[at - 1];
  if (b != LF && (line_end_only || b >= 0x80 || b == CR)) return false;
  if (source_ == Code::jis || source_ == Code::jis2004)
    return b != ESC && (at < 2 || text[at - 2] != ESC) && (at < 3 || text[at - 3] != ESC);
  return true;
}

size_t PartCuts::last_cut(const unsigned char* text, size_t size, int64_t offset, bool must, bool& blind) const {
  blind = false;
  for (size_t at = size; at > 0; --at) {
    if (source_ != Code::utf16 && text[at - 1] != LF) continue;
    if (can_cut_after(text, at, offset, true)) return at;
  }
  if (!must) return 0;
  size_t at = 0;
  if (source_ == Code::jis || source_ == Code::jis2004 || source_ == Code::utf16) {
    for (at = size; at > 0 && !can_cut_after(text, at, offset, false);) --at;
  } else {
    at = last_character_end(text, size);
  }
  if (at != 0) return at;
  // No place in the part can end a character for certain (malformed text
  // all through a line longer than a part): it ends where it is full.
  blind = true;
  return size;
}

// A line longer than a part, in Shift-JIS, EUC or UTF-8: the end of its
// last whole character, found by reading the part from its start (where a
// character begins) one character at a time. An end counts after
// characters that are each well formed (or after a 7-bit byte, which ends
// every reading's character), but not after a CR (whose LF may follow) nor,
// widening, after a half-width katakana (whose voiced mark may follow).
size_t PartCuts::last_character_end(const unsigned char* text, size_t size) const {
  const bool widen = widen_;
  if (source_ == Code::utf8) {
    // The reader takes no byte outside 0x80-0xBF into the character before
    // it: every other byte begins one (but a voiced mark that a widened
    // katakana before it takes).
    for (size_t at = size - 1; at > 0; --at) {
      if ((text[at] & 0xC0) == 0x80 || text[at - 1] == CR) continue;
      // A voiced mark may begin here where the part ends before its
      // third byte shows.
      if (widen && text[at] == 0xEF && (at + 1 == size || text[at + 1] == 0xBE) &&
          (at + 2 >= size || text[at + 2] == 0x9E || text[at + 2] == 0x9F))
        continue;
      // Nor before a combining mark that JIS X 0213 writes in one cell with
      // the base before it (U+309A, U+0300, U+0301, U+02E5, U+02E9), or
      // what the part's end leaves of one.
      if (begins_combining_mark(text + at, size - at)) continue;
      return at;
    }
    return 0;
  }
  size_t last = 0;
  bool sure = true;  // every character so far was well formed
  for (size_t at = 0; at < size;) {
    const unsigned b = text[at];
    size_t n = 1;
    bool formed = true, ends = true;
    switch (source_) {
      case Code::sjis:  // a first byte takes whatever byte follows
      case Code::sjis2004:
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= (source_ == Code::sjis ? 0xFE : 0xFC))) n = 2;
        ends = ends && !(widen && b >= 0xA0 && b <= 0xDF);
        break;
      case Code::euc:
      case Code::euc2004: {
        // Only a pair of bytes 0xA1-0xFE, SS2 and a byte, and SS3 and two
        // bytes 0xA1-0xFE are read alike by every target: the target
        // decides how much of another pair is read again.
        auto euc = [&](size_t k) { return at + k < size && text[at + k] >= 0xA1 && text[at + k] != 0xFF; };
        if (b >= 0x80 && b != 0xFF) n = b == 0x8F ? 3 : 2;
        formed = b < 0x80 || b == 0xFF || b == 0x8E || (b == 0x8F ? euc(1) && euc(2) : b >= 0xA1 && euc(1));
        ends = ends && !(widen && b == 0x8E);
        break;
      }
      default:
        break;
    }
    if (at + n > size) break;
    at += n;
    sure = (sure && formed) || (n == 1 && b < 0x80);
    // Line ends are folded before the reader reads: a part never ends
    // with a CR, even the second byte of a pair.
    if (sure && ends && text[at - 1] != CR) last = at;
  }
  return last;
}

size_t PartCuts::first_cut(const unsigned char* text, size_t from, size_t to, int64_t offset) const {
  for (size_t at = from + 1; at <= to; ++at) {
    if (source_ != Code::utf16) {
      const void* lf = std::memchr(text + at - 1, LF, to - at + 1);
      if (lf == nullptr) return 0;
      at = static_cast<size_t>(static_cast<const unsigned char*>(lf) - text) + 1;
    }
    if (can_cut_after(text, at, offset, true)) return at;
  }
  return 0;
}

}  // namespace kotran
