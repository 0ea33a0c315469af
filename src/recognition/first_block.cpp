#include "recognition/first_block.h"

#include <cstring>
#include <algorithm>

#include "stream/text_parts.h"

namespace kotran {
namespace {

struct Signature {
  const char* bytes;
  size_t length;
};

// Formats that no text begins with.
constexpr Signature SIGNATURES[] = {
    {"\x7F" "ELF", 4},                         // executables and libraries
    {"\x89PNG\r\n\x1A\n", 8},                  // PNG
    {"\x1F\x8B\x08", 3},                       // gzip
    {"PK\x03\x04", 4}, {"PK\x05\x06", 4}, {"PK\x07\x08", 4},  // ZIP (and jar, docx, ...)
    {"%PDF-", 5},                              // PDF
    {"\xFF\xD8\xFF", 3},                       // JPEG
};

// Whether the bytes begin with a binary format's signature.
bool signature_start(const unsigned char* p, size_t n) {
  for (const Signature& sig : SIGNATURES)
    if (n >= sig.length && std::memcmp(p, sig.bytes, sig.length) == 0) return true;
  return false;
}

// Margin (in half bits) between the costs of two valid orders that makes
// the cheaper one likely.
constexpr uint64_t LIKELY_ORDER_MARGIN = 20;

// A block with a NUL but no signature may be UTF-16 without a mark; so may
// one without, where it is asked for.
FirstBlock with_nul(bool nul, bool signature, const UnmarkedUtf16& utf16, bool without_nul) {
  FirstBlock block;
  block.binary = nul || signature;
  if ((nul || without_nul) && !signature) {
    block.utf16 = utf16.order(nul ? UnmarkedUtf16::LEAST_UNITS : UnmarkedUtf16::LEAST_UNITS_WITHOUT_NUL);
    block.utf16_certainty = utf16.certainty();
  }
  return block;
}

}  // namespace

void UnmarkedUtf16::Reading::take(unsigned unit) {
  if (!tally.valid) return;
  if (high_surrogate != 0) {
    high_surrogate = 0;
    if (unit < 0xDC00 || unit > 0xDFFF) return tally.refuse();
    return tally.take(CharClass::symbol, UNLISTED_SYMBOL_COST);
  }
  if (unit < 0x20) {
    if (unit == '\t' || unit == '\n' || unit == '\f' || unit == '\r') return tally.take_ascii();
    // Text holds other controls too (a bell, an escape, a unit separator
    // in a catalogue's message), but seldom: each counts as a character
    // Japanese text does not write. A NUL unit is no text.
    if (unit == 0) return tally.refuse();
    ++unlisted;
    return tally.take(CharClass::symbol, UNLISTED_SYMBOL_COST);
  }
  if (unit < 0x7F) return tally.take_ascii();
  if (unit < 0xA0 || (unit >= 0xDC00 && unit <= 0xDFFF) || unit >= 0xFFFE) return tally.refuse();
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    high_surrogate = unit;
    return;
  }
  if (unit >= 0xFF61 && unit <= 0xFF9F) return tally.take(CharClass::halfkana, halfkana_cost(unit));
  const uint16_t jis = unit > 0x24F ? unicode_to_jis(unit) : 0;
  if (unit > 0x24F && (jis == 0 || jis_char_cost(jis) == 0)) ++unlisted;
  tally.take(char_class(unit), unicode_cost(unit));
}

bool UnmarkedUtf16::text(const Reading& r) const {
  return r.tally.valid && r.unlisted * UNLISTED_SHARE <= units_;
}

void UnmarkedUtf16::feed(const unsigned char* p, size_t n) {
  for (const unsigned char* const end = p + n; p < end; ++p) {
    if (held_ < 0) {
      held_ = *p;
      continue;
    }
    const auto first = static_cast<unsigned>(held_);
    held_ = -1;
    little_.take(static_cast<unsigned>(*p) << 8 | first);
    big_.take(first << 8 | *p);
    ++units_;
    if (!little_.tally.valid && !big_.tally.valid) return;
  }
}

ByteOrder UnmarkedUtf16::order(uint64_t least) const {
  if (units_ < least) return ByteOrder::marked;
  const bool little = text(little_), big = text(big_);
  if (little && big) return big_.tally.cost < little_.tally.cost ? ByteOrder::big : ByteOrder::little;
  return little ? ByteOrder::little : big ? ByteOrder::big : ByteOrder::marked;
}

Certainty UnmarkedUtf16::certainty() const {
  if (!text(little_) || !text(big_)) return Certainty::certain;
  const uint64_t a = little_.tally.cost, b = big_.tally.cost;
  return (a > b ? a - b : b - a) >= LIKELY_ORDER_MARGIN ? Certainty::likely : Certainty::guess;
}

bool binary_start(const unsigned char* p, size_t n) {
  return std::memchr(p, 0, n) != nullptr || signature_start(p, n);
}

FirstBlock first_block(TextStream* s, int64_t start, bool without_nul) {
  UnmarkedUtf16 utf16;
  const int c = read_byte(s);
  // No text, and no 0x1A that ended it at once: nothing is stored.
  if (c == EOF && !s->sub_met) return {};
  // A named file's first block is in hand as it will be converted; unless a
  // 0x1A ended the text in it, the bytes in hand are the stored ones but for
  // CR LF folded, which no signature holds.
  if (c != EOF && s->kind != StreamKind::memory && !s->sub_met) {
    const unsigned char* const from = s->next - 1;
    const auto n = static_cast<size_t>(s->limit - from);
    const bool nul = std::memchr(from, 0, n) != nullptr;
    if (nul || without_nul) utf16.feed(from, n);
    const bool signature = signature_start(from, n);
    unread_byte(c, s);
    return with_nul(nul, signature, utf16, without_nul);
  }
  // Otherwise the block is read again as stored, and the text again after
  // it: a memory stream to the full block, any other to its first read.
  const bool text = s->text;
  s->text = false;
  bool nul = false, signature = false;
  if (stream_seek(s, start, 0) == 0) {
    unsigned char head[8];  // enough for the longest signature
    size_t seen = 0;
    read_in_parts(s, [&](TextStream* part, bool) {
      const size_t n = std::min(static_cast<size_t>(part->limit - part->next), FIRST_BLOCK - seen);
      if (seen < sizeof head) std::memcpy(head + seen, part->next, std::min(n, sizeof head - seen));
      nul = nul || std::memchr(part->next, 0, n) != nullptr;
      utf16.feed(part->next, n);
      seen += n;
      return s->kind == StreamKind::memory && seen < FIRST_BLOCK ? n : PARTS_ENOUGH;
    });
    signature = signature_start(head, std::min(seen, sizeof head));
  }
  s->text = text;
  if (stream_seek(s, start, 0) != 0) {
    s->failed = true;
    s->error_code = last_error;
  }
  return with_nul(nul, signature, utf16, without_nul);
}

}  // namespace kotran
