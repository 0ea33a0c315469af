#include "recognition/first_block.h"

#include <cstring>
#include <algorithm>

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

}  // namespace

bool binary_start(const unsigned char* p, size_t n) {
  if (std::memchr(p, 0, n) != nullptr) return true;
  for (const Signature& sig : SIGNATURES)
    if (n >= sig.length && std::memcmp(p, sig.bytes, sig.length) == 0) return true;
  return false;
}

bool first_block_binary(TextStream* s, int64_t start) {
  const int c = read_byte(s);
  // No text, and no 0x1A that ended it at once: nothing is stored.
  if (c == EOF && !s->sub_met) return false;
  // A named file's first block is in hand as it will be converted; unless a
  // 0x1A ended the text in it, the bytes in hand are the stored ones but for
  // CR LF folded, which no signature holds.
  if (c != EOF && s->kind != StreamKind::memory && !s->sub_met) {
    const unsigned char* const from = s->next - 1;
    const bool binary = binary_start(from, static_cast<size_t>(s->limit - from));
    unread_byte(c, s);
    return binary;
  }
  // Otherwise the block is read again as stored, and the text again after
  // it: a memory stream to the full block, any other to its first read.
  const bool text = s->text;
  s->text = false;
  bool binary = false;
  if (stream_seek(s, start, 0) == 0) {
    unsigned char head[8];  // enough for the longest signature
    size_t seen = 0;
    do {
      const int b = read_byte(s);
      if (b == EOF) break;
      --s->next;  // the byte is in the block, which is looked at whole
      const size_t n = std::min(static_cast<size_t>(s->limit - s->next), FIRST_BLOCK - seen);
      if (seen < sizeof head) std::memcpy(head + seen, s->next, std::min(n, sizeof head - seen));
      binary = std::memchr(s->next, 0, n) != nullptr;
      s->next += n;
      seen += n;
    } while (!binary && s->kind == StreamKind::memory && seen < FIRST_BLOCK);
    binary = binary || binary_start(head, std::min(seen, sizeof head));
  }
  s->text = text;
  if (stream_seek(s, start, 0) != 0) {
    s->failed = true;
    s->error_code = last_error;
  }
  return binary;
}

}  // namespace kotran
