#include "recognition/x0213_evidence.h"

#include <algorithm>
#include <cstring>

#include "codes/jis0212_table.h"
#include "codes/jis_escapes.h"
#include "codes/jis_sjis.h"
#include "codes/jisx0213_table.h"
#include "codes/kana.h"
#include "codes/sjis2004.h"
#include "codes/unicode_table.h"
#include "codes/user_defined.h"
#include "recognition/evidence.h"
#include "stream/cursors.h"
#include "stream/text_parts.h"

namespace kotran {
namespace {

// Japanese text writes kana in at least one of this many of its
// characters of two bytes and more, and what JIS X 0208 lacks in at most
// one of this many: text of another language, and EUC whose pairs a stray
// byte has shifted, read as JIS X 0213 hold few kana.
inline constexpr uint64_t KANA_SHARE = 8;
inline constexpr uint64_t BEYOND_SHARE = 2;
// Fewer characters of two bytes than this are too few to tell: the
// readings of Chinese ask as many (a Big5 "文件 封" reads in EUC-JIS-2004
// as two kana and an IPA letter).
inline constexpr uint64_t LEAST_WIDE = 4;

// A strict reading: valid while every byte is part of an assigned
// character; beyond counts the characters JIS X 0208 lacks, kana the
// hiragana and katakana (rows 4 and 5), wide every character of two bytes
// or more.
struct X0213Reading {
  bool valid = true;
  bool inside = false;  // a character is under way
  uint64_t beyond = 0;
  uint64_t kana = 0;
  uint64_t wide = 0;

  void cell(uint16_t x) {
    ++wide;
    if (x == 0 || x0213_to_unicode(x).first == 0)
      valid = false;
    else if (!is_jis0208_cell(x))
      ++beyond;
    else if ((x >> 8) == 0x24 || (x >> 8) == 0x25)
      ++kana;
  }
  bool japanese() const { return kana * KANA_SHARE >= wide && beyond * BEYOND_SHARE <= wide; }
};

// Whether the Windows reading of Shift-JIS assigns the pair: JIS X 0208,
// NEC's row 13, the IBM extensions, user-defined characters under their
// own lead bytes 0xF0-0xF9.
bool windows_assigns(unsigned lead, unsigned trail) {
  if (trail == 0x7F) return false;
  const uint16_t jis = sjis_to_jis_code(static_cast<uint16_t>(lead << 8 | trail));
  const char16_t u = jis == 0 ? 0 : jis_to_unicode(jis);
  return u != 0 && !(is_user_defined(u) && jis < 0x7F00);
}

// Shift_JIS-2004: ASCII, half-width katakana 0xA1-0xDF, pairs of JIS X 0213.
struct Sjis2004Reading : X0213Reading {
  unsigned lead = 0;
  uint64_t halfkana = 0;
  // Characters JIS X 0208 lacks at codes the Windows reading assigns (an
  // IBM extension, a user-defined character): the two read them otherwise.
  uint64_t windows_reads_otherwise = 0;
  void feed(unsigned b) {
    if (lead != 0) {
      const uint64_t before = beyond;
      cell(sjis2004_to_x0213(lead, b));
      if (beyond != before && windows_assigns(lead, b)) ++windows_reads_otherwise;
      lead = 0;
    } else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      lead = b;
    } else if (b >= 0xA1 && b <= 0xDF) {
      ++halfkana;
    } else if (b >= 0x80) {
      valid = false;
    }
    inside = lead != 0;
  }
};

// EUC-JIS-2004: ASCII, SS2 and a katakana, pairs of plane 1, SS3 and a code
// of plane 2 or, in the rows plane 2 leaves empty, of JIS X 0212.
struct Euc2004Reading : X0213Reading {
  unsigned first = 0, second = 0;  // bytes of the character so far
  // Codes after SS3 of plane 2 that JIS X 0212 leaves unassigned (and
  // that hold no user-defined character there): EUC-JP's reading, which
  // takes SS3 and any two bytes, cannot tell them.
  uint64_t outside_0212 = 0;
  void feed(unsigned b) {
    auto euc_byte = [](unsigned x) { return x >= 0xA1 && x <= 0xFE; };
    if (first == 0) {
      if (b == SS2 || b == SS3 || euc_byte(b))
        first = b;
      else if (b >= 0x80)
        valid = false;
    } else if (first == SS2) {
      if (b < 0xA1 || b > 0xDF) valid = false;
      first = 0;
    } else if (first == SS3 && second == 0) {
      if (!euc_byte(b)) valid = false;
      second = euc_byte(b) ? b : 0;
      if (second == 0) first = 0;
    } else if (first == SS3) {
      const uint16_t code = static_cast<uint16_t>((second & 0x7F) << 8 | (b & 0x7F));
      if (!euc_byte(b))
        valid = false;
      else if (is_x0213_plane2_row(second & 0x7F)) {
        cell(static_cast<uint16_t>(X0213_PLANE2 | code));
        if (jis0212_to_unicode(code) == 0) ++outside_0212;
      }
      else if (jis0212_to_unicode(code) == 0)
        valid = false;
      first = second = 0;
    } else {
      if (!euc_byte(b))
        valid = false;
      else
        cell(static_cast<uint16_t>((first & 0x7F) << 8 | (b & 0x7F)));
      first = 0;
    }
    inside = first != 0;
  }
};

// Whether the window from start, where the stream stands, holds SS3; a
// search a part at a time, so that EUC without it costs little. The
// stream is left where it was.
bool window_holds_ss3(TextStream* s, int64_t start) {
  bool found = false;
  uint64_t n = 0;  // bytes of the window looked at
  read_in_parts(s, [&](TextStream* part, bool) {
    const auto k = std::min<size_t>(static_cast<size_t>(part->limit - part->next), X0213_WINDOW - n);
    found = std::memchr(part->next, SS3, k) != nullptr;
    n += k;
    return found || n == X0213_WINDOW ? PARTS_ENOUGH : k;
  });
  if (!stream_error(s)) stream_seek(s, start, 0);
  return found;
}

// Whether the window from start, where the stream stands, holds a
// designation of JIS X 0213 (ESC $ ( Q, ESC $ ( P, or the 2000 edition's
// ESC $ ( O); a search for ESC a part at a time, an ESC whose designation
// a part's end cuts off being looked at again with the next part. The
// stream is left where it was.
bool window_holds_x0213_designation(TextStream* s, int64_t start) {
  auto designates = [](const unsigned char* q) {
    return q[1] == '$' && q[2] == '(' && (q[3] == 'Q' || q[3] == 'P' || q[3] == 'O');
  };
  bool found = false;
  uint64_t n = 0;  // bytes of the window looked at
  read_in_parts(s, [&](TextStream* part, bool last) {
    const unsigned char* const from = part->next;
    const unsigned char* const stop = from + std::min<size_t>(static_cast<size_t>(part->limit - from), X0213_WINDOW - n);
    const unsigned char* p = from;
    while (p < stop) {
      const auto* esc = static_cast<const unsigned char*>(std::memchr(p, ESC, static_cast<size_t>(stop - p)));
      if (esc == nullptr) break;
      if (part->limit - esc < 4) {
        if (last) break;
        n += static_cast<size_t>(esc - from);
        return static_cast<size_t>(esc - from);
      }
      if (designates(esc)) {
        found = true;
        return PARTS_ENOUGH;
      }
      p = esc + 1;
    }
    n += static_cast<size_t>(stop - from);
    return n == X0213_WINDOW ? PARTS_ENOUGH : static_cast<size_t>(stop - from);
  });
  if (!stream_error(s)) stream_seek(s, start, 0);
  return found;
}

}  // namespace

Recognition with_x0213_evidence(TextStream* s, const Evidence& e, const Recognition& r) {
  // JIS, or 7-bit text, that designates JIS X 0213 is ISO-2022-JP-2004.
  // The evidence read 7-bit text whole, and saw any designation in it; it
  // stopped at JIS text's first sign, and the window is searched again.
  if (r.code == Recognised::ascii) return e.x0213_designated ? Recognition{Recognised::jis2004, Certainty::certain} : r;
  if (r.code == Recognised::jis) {
    const int64_t start = stream_tell(s);
    if (window_holds_x0213_designation(s, start)) return {Recognised::jis2004, Certainty::certain};
    return stream_error(s) ? Recognition{Recognised::unreadable, Certainty::certain} : r;
  }
  const bool invalid = (r.code == Recognised::sjis || r.code == Recognised::euc) && r.certainty == Certainty::not_valid;
  if (!invalid && r.code != Recognised::euc) return r;
  const int64_t start = stream_tell(s);
  // Valid EUC is asked only where SS3 comes.
  if (!invalid && !window_holds_ss3(s, start))
    return stream_error(s) ? Recognition{Recognised::unreadable, Certainty::certain} : r;
  Sjis2004Reading sjis;
  Euc2004Reading euc;
  bool whole = false;  // the window holds the whole text
  uint64_t n = 0;
  read_in_parts(s, [&](TextStream* part, bool last) {
    ByteReader in(part);
    for (; n < X0213_WINDOW; ++n) {
      const int c = in.get();
      if (c == EOF) {
        whole = last;
        return static_cast<size_t>(in.begin() - part->data);
      }
      sjis.feed(static_cast<unsigned>(c));
      euc.feed(static_cast<unsigned>(c));
    }
    return PARTS_ENOUGH;
  });
  // A read error makes the text unreadable, as it does the evidence: the
  // stream's error names it.
  if (stream_error(s)) return {Recognised::unreadable, Certainty::certain};
  stream_seek(s, start, 0);
  // A character the end of the text cuts off is no character; one the
  // window's end cuts off goes on after it.
  auto takes = [whole](const X0213Reading& x) {
    return x.valid && !(whole && x.inside) && x.beyond > 0 && x.wide >= LEAST_WIDE && x.japanese();
  };
  // Japanese words among text of letters (a name in an English paragraph)
  // hold few kana and few characters of two bytes, but two at least: one
  // is a Latin letter with its accent read with the letter after it
  // ("Gro\xEBnland"). Read as Shift-JIS they hold no half-width katakana,
  // which EUC's bytes and those of other languages read as. Taken only
  // where the two readings differ at nothing but the codes Windows leaves
  // empty: a character Windows reads (an IBM extension, a user-defined
  // one) keeps its reading.
  auto words_among_letters = [whole](const Sjis2004Reading& x) {
    return x.valid && !(whole && x.inside) && x.beyond > 0 && x.wide >= 2 && x.halfkana == 0 &&
           x.beyond * BEYOND_SHARE <= x.wide + 1 && x.windows_reads_otherwise == 0;
  };
  // Valid EUC holds JIS X 0213 where SS3 brings a code of plane 2 that
  // JIS X 0212 does not assign.
  if (!invalid) return takes(euc) && euc.outside_0212 > 0 ? Recognition{Recognised::euc2004, Certainty::certain} : r;
  // Text that no reading takes whole is JIS X 0213 as Shift-JIS on words
  // among letters too, less surely; as EUC, whose plane 1 is nearly full,
  // the text of other languages would read so.
  const bool as_sjis = takes(sjis), as_euc = takes(euc);
  // Read in the other code, JIS X 0213 text is a run of what JIS X 0208
  // lacks and, as Shift-JIS, of half-width katakana (EUC's bytes read so):
  // the reading that needs fewer such characters, or on a tie the code the
  // answer named.
  if (as_sjis && as_euc) {
    const uint64_t sjis_odd = sjis.beyond + sjis.halfkana;
    const bool sjis_first = sjis_odd != euc.beyond ? sjis_odd < euc.beyond : r.code == Recognised::sjis;
    return {sjis_first ? Recognised::sjis2004 : Recognised::euc2004, Certainty::likely};
  }
  if (as_sjis) return {Recognised::sjis2004, Certainty::certain};
  if (as_euc) return {Recognised::euc2004, Certainty::certain};
  if (words_among_letters(sjis)) return {Recognised::sjis2004, Certainty::likely};
  return r;
}

}  // namespace kotran
