// Valid text converted between every pair of codes must come out exactly as
// kotran writes that text in the target code, and converting it back must
// give back the bytes it started from.
//
// Input: two parameter bytes, then the characters.
//   byte 0, bits 0-4: bytes per block fill minus one (1-32)
//           bit 5:    blocks of 4096 bytes instead
//           bit 6:    JIS escape variant 3 (kanji-in ESC $ @) instead of 0
//           bit 7:    the byte loop; otherwise the word loop when bit 0 is
//                     set, the vectors when it is clear (the wide vectors,
//                     where the processor has them, when bit 1 is set)
//   byte 1:           16 times this many letters go before the text, so that
//                     the 4096-byte blocks of input and output end inside it
// Each following byte a makes one character:
//   0x20-0x7E            that ASCII character
//   0x00-0x1F, 0x7F      a line end (LF)
//   0x80-0xBF            the half-width katakana 0xA1 + (a - 0x80) % 63
//   0xC0-0xFF, then b    the JIS X 0208 code of index ((a - 0xC0) << 8 | b) % 8836
//                        (rows and cells 1-94, every code of rows 1-94,
//                        assigned or not)
//
// The text is written in Shift-JIS, EUC and JIS (ESC $ B or ESC $ @ before a
// run of kanji, ESC ( I before a run of katakana, ESC ( J before one-byte text
// that follows either, and at the end) and converted with every converter
// among the three codes (raw streams: no line-end translation). The
// characters that have a Unicode form which maps back to the same code also
// make a text converted among all four codes, UTF-8 included.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "fuzz_common.h"

using namespace kotran;
using namespace kotran::fuzz;

namespace {

enum class Kind : uint8_t { ascii, kana, kanji };

struct Char {
  Kind kind;
  uint16_t value;  // the byte for ascii and kana, the JIS code for kanji
};

std::vector<Char> parse(const uint8_t* p, size_t n) {
  std::vector<Char> chars;
  for (size_t i = 0; i < n; ++i) {
    const unsigned a = p[i];
    if (a < 0x80) {
      const bool printable = a >= 0x20 && a <= 0x7E;
      chars.push_back({Kind::ascii, static_cast<uint16_t>(printable ? a : 0x0A)});
    } else if (a < 0xC0) {
      chars.push_back({Kind::kana, static_cast<uint16_t>(0xA1 + (a - 0x80) % 63)});
    } else if (i + 1 < n) {
      const unsigned index = (((a - 0xC0) << 8) | p[++i]) % (94 * 94);
      const unsigned row = index / 94 + 1;
      const unsigned cell = index % 94 + 1;
      chars.push_back({Kind::kanji, static_cast<uint16_t>(((row + 0x20) << 8) | (cell + 0x20))});
    }
  }
  return chars;
}

bool has_unicode_form(const Char& c) {
  if (c.kind != Kind::kanji) return true;
  const char16_t u = jis_to_unicode(c.value);
  return u != 0 && unicode_to_jis(u) == c.value;
}

void add_utf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

// A UTF-16 code unit, little-endian.
void add_utf16(std::string& out, char32_t u) {
  out += static_cast<char>(u & 0xFF);
  out += static_cast<char>(u >> 8);
}

// The text as kotran writes it in the code (0 Shift-JIS, 1 JIS, 2 EUC, 3 UTF-8,
// 4 UTF-16: the mark first, CR LF for each line end). JIS returns to one-byte
// text with the variant's kanji-out, or, as from a Unicode source, with ESC ( B.
std::string render(const std::vector<Char>& chars, unsigned code, unsigned variant, bool ascii = false) {
  std::string out;
  auto add = [&out](unsigned b) { out += static_cast<char>(b); };
  const bool utf16 = code == index_of(Code::utf16);
  if (utf16) add_utf16(out, 0xFEFF);
  const JisEscapeRow& escapes = jis_escape_table[variant];
  Kind shift = Kind::ascii;
  auto shift_to = [&](Kind k) {
    if (code != index_of(Code::jis) || shift == k) return;
    out += k == Kind::kanji ? escapes.kanji_in : k == Kind::kana ? KANA_IN : ascii ? ASCII_IN : escapes.kanji_out;
    shift = k;
  };
  for (const Char& c : chars) {
    shift_to(c.kind);
    switch (c.kind) {
      case Kind::ascii:
        if (!utf16) {
          add(c.value);
        } else {
          if (c.value == 0x0A) add_utf16(out, 0x0D);
          add_utf16(out, c.value);
        }
        break;
      case Kind::kana:
        if (code == index_of(Code::sjis)) add(c.value);
        if (code == index_of(Code::jis)) add(c.value & 0x7F);
        if (code == index_of(Code::euc)) {
          add(0x8E);
          add(c.value);
        }
        if (code == index_of(Code::utf8)) add_utf8(out, 0xFF61 + (c.value - 0xA1));
        if (utf16) add_utf16(out, 0xFF61 + (c.value - 0xA1));
        break;
      case Kind::kanji: {
        const uint16_t j = c.value;
        if (code == index_of(Code::sjis)) {
          // Rows 85-88 and 93-94 hold user-defined characters, which
          // Shift-JIS keeps ten rows on (lead bytes 0xF0, 0xF1, 0xF4).
          const unsigned row = j >> 8;
          const bool user_defined = (row >= 0x75 && row <= 0x78) || row >= 0x7D;
          const uint16_t s = jis_to_sjis_code(static_cast<uint16_t>(user_defined ? j + 0x0A00 : j));
          add(s >> 8);
          add(s & 0xFF);
        }
        if (code == index_of(Code::jis)) {
          add(j >> 8);
          add(j & 0xFF);
        }
        if (code == index_of(Code::euc)) {
          add((j >> 8) | 0x80);
          add((j & 0xFF) | 0x80);
        }
        if (code == index_of(Code::utf8)) add_utf8(out, jis_to_unicode(j));
        if (utf16) add_utf16(out, jis_to_unicode(j));
        break;
      }
    }
  }
  shift_to(Kind::ascii);
  return out;
}

const char* const code_names[5] = {"Shift-JIS", "JIS", "EUC", "UTF-8", "UTF-16"};

struct Params {
  size_t chunk;
  unsigned variant;
  Path path;
};

std::string convert(unsigned from, unsigned to, const std::string& text, const Params& p) {
  ConvertOptions with;
  with.jis_variant = static_cast<uint8_t>(p.variant);
  with.path = p.path;
  const RunResult r = run_converter(from * static_cast<unsigned>(CODE_COUNT) + to, text.data(), text.size(), with,
                                    false, p.chunk);
  KOTRAN_FUZZ_CHECK(r.found.replaced == 0, "a character of valid text was replaced");
  return r.output;
}

// Converts the text from each code to each code. Every result must be the
// text as written in the target code; since the converter back then reads
// exactly that, and the pair the other way round is checked too, each round
// trip gives back the text it started from. A failure shows the round trip.
void round_trips(const std::vector<Char>& chars, unsigned codes, const Params& p) {
  std::string in[5];
  for (unsigned c = 0; c < codes; ++c) in[c] = render(chars, c, p.variant);
  // JIS as written from a Unicode source.
  const std::string jis_from_unicode = render(chars, index_of(Code::jis), p.variant, true);
  for (unsigned from = 0; from < codes; ++from) {
    for (unsigned to = 0; to < codes; ++to) {
      const std::string there = convert(from, to, in[from], p);
      const bool ascii = is_unicode(code_at(from)) && to == index_of(Code::jis);
      if (there == (ascii ? jis_from_unicode : in[to])) continue;
      const std::string back = convert(to, from, there, p);
      std::fprintf(stderr, "%s -> %s -> %s, chunk %zu, variant %u, path %d\n", code_names[from],
                   code_names[to], code_names[from], p.chunk, p.variant, static_cast<int>(p.path));
      print_difference("  converted ", there, "  expected  ", ascii ? jis_from_unicode : in[to]);
      print_difference("  back again", back, "  text      ", in[from]);
      fail(back != in[from] ? "the round trip did not give back the text"
                            : "the converted text is not as kotran writes it");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Params p;
  p.chunk = (data[0] & 0x20) != 0 ? BLOCK_SIZE : (data[0] & 0x1F) + 1u;
  p.variant = (data[0] & 0x40) != 0 ? 3 : 0;
  // One of the vector paths the processor has, by bits 1-2 (the narrowest
  // for none), so that each is taken; the word loop where it has none.
  Path vector_paths[std::size(PATHS)];
  size_t vector_path_count = 0;
  for (const Path path : PATHS)
    if (takes_vector_steps(path) && path_available(path)) vector_paths[vector_path_count++] = path;
  const Path vectors = vector_path_count == 0 ? Path::words : vector_paths[(data[0] >> 1 & 3) % vector_path_count];
  p.path = (data[0] & 0x80) != 0 ? Path::scalar : (data[0] & 1) != 0 ? Path::words : vectors;
  std::vector<Char> chars;
  for (unsigned i = 0; i < 16u * data[1]; ++i) chars.push_back({Kind::ascii, static_cast<uint16_t>('a' + i % 26)});
  const std::vector<Char> text = parse(data + 2, size - 2);
  chars.insert(chars.end(), text.begin(), text.end());

  std::vector<Char> mapped;
  for (const Char& c : chars)
    if (has_unicode_form(c)) mapped.push_back(c);
  // All five codes for what Unicode can carry; the three legacy codes for the
  // rest (unassigned codes, and the codes whose character has another code).
  round_trips(mapped, 5, p);
  if (mapped.size() != chars.size()) round_trips(chars, 3, p);
  return 0;
}
