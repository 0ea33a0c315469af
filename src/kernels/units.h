// What every kernel reports to the loops, and the arithmetic on its bit
// masks that is the same whatever instruction set found the classes: where
// the plain units of EUC and Shift-JIS text lie among a vector's bytes.
#pragma once

#include "codes/hot.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kernels/words/ascii_words.h"

namespace kotran {

// Bytes looked at in one step of the paths of 32 bytes, and of 64.
inline constexpr unsigned VECTOR_WIDTH = 32;
inline constexpr unsigned WIDEST_WIDTH = 64;

// The plain units at the start of a chunk: bit i stands for byte i.
struct PlainUnits {
  unsigned length;  // bytes from the start that are plain units, 0-32 (64 on the widest path)
  uint64_t leads;   // first bytes of the pairs among them
};

// The pairs a run of UTF-8 characters is stored as: EUC's, Shift-JIS's, or
// JIS's (EUC's without the high bit).
enum class RunPairs { euc, sjis, jis };

// Bit i set for each of the 32 bytes at p that is at least 0x80, in
// 0xA1-0xFE, or a stop: ESC, or with into_sjis a byte 0xF5 or above (the
// first byte of rows 85-94).
struct EucBytes {
  uint32_t high, euc, stop;
};

// The first bytes of pairs among bytes that each start a pair unless they end
// one (bit i for byte i): the first, third, ... of each run. The runs that
// start at an even place are found by letting a carry run through each from
// its first bit.
KOTRAN_HOT uint64_t pair_starts(uint64_t run_bytes) {
  constexpr uint64_t EVEN = 0x55555555;
  constexpr uint64_t ODD = 0xAAAAAAAA;
  const uint64_t starts = run_bytes & ~(run_bytes << 1);
  const uint64_t even_runs = ((run_bytes + (starts & EVEN)) ^ run_bytes) & run_bytes;
  return (even_runs & EVEN) | (run_bytes & ~even_runs & ODD);
}

// The count of the first bytes up to the first bad one, and the pairs begun
// before it.
KOTRAN_HOT PlainUnits units_before(uint64_t bad, uint64_t leads) {
  const unsigned length = static_cast<unsigned>(__builtin_ctzll(bad | (uint64_t{1} << 32)));
  return {length, leads & ((uint64_t{1} << length) - 1)};
}

// The first bytes of pairs among bytes that each start a pair unless they
// end one, as pair_starts, for 64 bytes: a carry past the last byte is lost,
// and with it nothing that lies within them.
KOTRAN_HOT uint64_t pair_starts_64(uint64_t run_bytes) {
  constexpr uint64_t EVEN = 0x5555555555555555ULL;
  constexpr uint64_t ODD = 0xAAAAAAAAAAAAAAAAULL;
  const uint64_t starts = run_bytes & ~(run_bytes << 1);
  const uint64_t even_runs = ((run_bytes + (starts & EVEN)) ^ run_bytes) & run_bytes;
  return (even_runs & EVEN) | (run_bytes & ~even_runs & ODD);
}

// Splits the 32 bytes at p, which start a unit, as the EUC reader does, and
// says how many of them from the start are plain units: bytes below 0x80
// other than ESC, and pairs whose bytes both lie in 0xA1-0xFE. The count
// stops at the first other unit (SS2, SS3, a byte 0x80-0xA0 or 0xFF, a pair
// with such a second byte, a first byte followed by one below 0x80) and
// before a first byte whose second lies past the 32.
// Into Shift-JIS, ESC is a byte like any other, and a pair of rows 85-94
// (first byte 0xF5-0xFE) stops the count instead: some of those rows take
// lead bytes of their own.
// The same from the classes of the 32 bytes.
template <bool into_sjis>
KOTRAN_HOT PlainUnits euc_units_of(const EucBytes& b) {
  // Every high byte starts a pair or ends one.
  const uint64_t high = b.high;
  const uint64_t leads = pair_starts(high);
  const uint64_t trails = high & ~leads;
  uint64_t bad = (high & ~uint64_t{b.euc}) | (leads & ~(trails >> 1));
  bad |= into_sjis ? leads & b.stop : b.stop;
  bad |= (bad & trails) >> 1;  // a bad second byte stops the count at its pair
  return units_before(bad, leads);
}

// Bit i set for each of the 32 bytes at p that is at least 0x80, a lead
// byte (0x81-0x9F, 0xE0-0xFE), a lead byte of no row 1-94 (0xF0-0xFE), or a
// trail byte of those rows (0x40-0x7E, 0x80-0xFC).
struct SjisBytes {
  uint32_t high, lead, far_lead, trail;
};

// Splits the 32 bytes at p, which start a unit, as the Shift-JIS reader
// does, and says how many of them from the start are plain units: bytes below
// 0x80, and pairs of rows 1-94 (a lead byte 0x81-0x9F or 0xE0-0xEF, a trail
// byte 0x40-0x7E or 0x80-0xFC). The count stops at the first other unit
// (half-width katakana, 0x80, 0xFF, a pair of another row or with another
// trail byte) and before a lead byte whose trail lies past the 32.
KOTRAN_HOT PlainUnits sjis_units_of(const SjisBytes& b) {
  // A lead byte takes the byte after it, whatever that is.
  const uint64_t leads = pair_starts(b.lead);
  const uint64_t trails = leads << 1;
  uint64_t bad = (uint64_t{b.high} & ~trails & ~uint64_t{b.lead}) | (leads & b.far_lead);
  // A bad trail byte, or one past the 32, stops the count at its pair.
  bad |= (trails & ~uint64_t{b.trail}) >> 1;
  return units_before(bad, leads);
}

// How many bytes from the start of the units are whole pairs, one after the
// other.
KOTRAN_HOT unsigned leading_pair_bytes(PlainUnits units) {
  const uint64_t pairs = units.leads | units.leads << 1;
  return ~pairs == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(~pairs));
}

// The classes of 64 bytes of UTF-8, bit i for byte i: ASCII; the first byte
// of a form of two bytes (0xC2-0xDF) and of three (0xE0-0xEF, less E0 before
// a byte below 0xA0, which begins an overlong form); a continuation byte.
struct Utf8Bytes {
  uint64_t ascii, lead2, lead3, cont;
};

// How many of the 64 bytes are whole characters of one, two and three bytes,
// one after another: up to the first byte out of place, or to the start of
// the character it breaks or that runs past the 64.
KOTRAN_HOT unsigned utf8_whole_characters(Utf8Bytes b) {
  const uint64_t starts = b.ascii | b.lead2 | b.lead3;
  const uint64_t expected = (b.lead2 | b.lead3) << 1 | b.lead3 << 2;
  const uint64_t bad = (b.cont ^ expected) | ~(starts | b.cont);
  const unsigned first_bad = bad == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(bad));
  // Within a character: a continuation missing, or one past the 64.
  const bool within = bad == 0 ? ((b.lead3 >> 62) | (b.lead2 >> 63)) != 0 : (expected >> (first_bad & 63) & 1) != 0;
  if (!within) return first_bad;
  const uint64_t before = starts & (bad - 1) & ~bad;  // all of them for none
  return before == 0 ? 0 : 63 - static_cast<unsigned>(__builtin_clzll(before));
}

// Which of the two bytes at at continue a character (10xxxxxx): bit 0 the
// first, bit 1 the second.
KOTRAN_HOT uint64_t utf8_continuations_at(const unsigned char* at) {
  return uint64_t{(at[0] & 0xC0) == 0x80} | uint64_t{(at[1] & 0xC0) == 0x80} << 1;
}

// The bytes out of place in a block of 64 bytes of UTF-8 whose first owned
// (0-2) continue a character begun before them: each character whole, and
// one begun at the last bytes continued past them, by the two bytes after
// the block (after: which of them continue a character, bit 0 the first,
// as utf8_continuations_at gives them or the next block's classes).
KOTRAN_HOT uint64_t utf8_block_faults(Utf8Bytes c, unsigned owned, uint64_t after) {
  const uint64_t starts = c.ascii | c.lead2 | c.lead3;
  const uint64_t expected = (c.lead2 | c.lead3) << 1 | c.lead3 << 2 | ((uint64_t{1} << owned) - 1);
  // The continuation bytes among the bytes one and two after each, where
  // a character begun at the last bytes needs them.
  const uint64_t cont1 = after << 63, cont2 = after << 62;
  return (c.cont ^ expected) | ~(starts | c.cont) | (c.lead3 & ~cont2 & uint64_t{3} << 62) |
         ((c.lead2 | c.lead3) & ~cont1 & uint64_t{1} << 63);
}

// The line ends among 64 bytes (their CRs and LFs) that the byte loop takes
// (see LineEndStops): cr_before says whether the byte before them was a CR,
// and becomes whether their last one is; after is the byte after them.
KOTRAN_HOT uint64_t line_end_stop_bits(uint64_t cr, uint64_t lf, LineEndStops stops, uint64_t& cr_before,
                                       unsigned char after) {
  const uint64_t stop = stops == LineEndStops::lone_lf ? lf & ~(cr << 1 | cr_before)
                                                       : cr & (lf >> 1 | uint64_t{after == 0x0A} << 63);
  cr_before = cr >> 63;
  return stop;
}

// How many lookups a block out of UTF-8 makes whatever it holds: 64 bytes
// of Japanese text hold 16 characters of two and three bytes on average,
// and 98.7 % of the benchmark's blocks at most 20; the few with more take
// the rest in a loop (text of kanji alone, 21 a block, every block, lets
// its branch guess right). 20 rather than 22: UTF-8 -> Shift-JIS and
// -> EUC 1.02-1.03 times as fast on the corpus, the same on kanji alone.
inline constexpr unsigned UTF8_BLOCK_LEADS = 20;

// What a block of UTF-8 leaves to the next: its first bytes (0-2) that end a
// character begun at its last ones, which of them are dropped (bits 0-1),
// and the byte that goes out at its first byte (the second byte of a pair
// begun at the last byte before), where at says there is one.
struct Utf8Carry {
  unsigned owned = 0;
  uint64_t dropped = 0;
  uint64_t at = 0;
  unsigned char byte = 0;
};

// What a block leaves to the next into the pairs of into: lead2 and lead3
// its forms of two and three bytes, leads those stored as pairs, kana the
// half-width katakana stored as into's own; codes its codes where its
// characters begin (PAIR_CODES', first byte first, the last character's
// second byte at 64), at the block's bytes (66 of them).
template <RunPairs into>
KOTRAN_HOT Utf8Carry utf8_carry(uint64_t lead2, uint64_t lead3, uint64_t leads, uint64_t kana,
                                const unsigned char* codes, const unsigned char* at) {
  Utf8Carry carry;
  carry.owned = lead3 >> 63 ? 2 : static_cast<unsigned>((lead3 >> 62 | lead2 >> 63) & 1);
  carry.dropped = lead3 >> 62 | (into == RunPairs::sjis ? kana >> 63 : 0);
  carry.at = leads >> 63 | (into == RunPairs::euc ? kana >> 63 : 0);
  const unsigned second = codes[64];
  // Into Shift-JIS, the pair's second byte; into EUC, the cell's, or the
  // katakana's after SS2.
  if constexpr (into == RunPairs::sjis)
    carry.byte = static_cast<unsigned char>(second);
  else
    carry.byte = static_cast<unsigned char>(kana >> 63 ? ((at[64] & 3) << 6 | (at[65] & 0x3F)) + 0x40 : second | 0x80);
  return carry;
}

// Ends the blocks of UTF-8 at p, blocks of them stored, carry what the last
// left: the second byte of a pair begun at its last byte stored at o, which
// moves past it. Where line ends stop, nor do the blocks end just after a
// CR (the last byte stored), whose LF would then look lone. Returns how
// many bytes the blocks took.
KOTRAN_HOT size_t utf8_blocks_end(unsigned char*& o, const unsigned char* p, size_t blocks, const Utf8Carry& carry,
                                  bool line_ends_stop) {
  if (blocks == 0) return 0;
  if (carry.at != 0) *o++ = carry.byte;
  size_t taken = 64 * blocks + carry.owned;
  if (line_ends_stop && p[taken - 1] == 0x0D) {
    --taken;
    --o;
  }
  return taken;
}

// The pairs of a block of 64 bytes of Shift-JIS, from its classes (as
// classify_sjis_bytes gives them), carried (whether its first byte ends a
// pair begun before it) and the byte after it, which a pair begun at its
// last byte takes: their first bytes, their second bytes, and the bytes
// that no plain unit takes (bad; half-width katakana among them).
struct SjisBlockPairs {
  uint64_t leads, trails, bad;
};

KOTRAN_HOT SjisBlockPairs sjis_block_pairs(uint64_t high, uint64_t lead, uint64_t far_lead, uint64_t trail,
                                           uint64_t carried, unsigned after) {
  const uint64_t last_trail = (after - 0x40u <= 0x7Eu - 0x40u || after - 0x80u <= 0xFCu - 0x80u) ? 1 : 0;
  SjisBlockPairs b;
  b.leads = pair_starts_64(lead & ~carried);
  b.trails = b.leads << 1 | carried;
  b.bad = (high & ~b.trails & ~lead) | (b.leads & far_lead);
  b.bad |= ((b.leads << 1 & ~trail) >> 1) | (b.leads & ~last_trail << 63);
  return b;
}

// The classes of 64 bytes of EUC into Shift-JIS that wait on nothing before
// them: the high bytes, those in 0xA1-0xFE, those from 0xF5 (rows past 84),
// and where half-width katakana are taken each SS2 followed by 0xA1-0xDF.
struct EucCarriedBytes64 {
  uint64_t high, euc, stop, ss2_kana;
};

// The classes of a block of 64 bytes of Shift-JIS (as sjis_block_pairs
// takes them) or of EUC (as euc_block_pairs takes them): what waits on
// nothing before the block, which the carried blocks and the loops into
// UTF-8 make a block ahead.
struct SjisClasses64 {
  uint64_t high, lead, far_lead, trail;
};
struct EucClasses64 {
  uint64_t high, euc, esc, ss2_kana;
};

// Into UTF-8, the classes of a block of Shift-JIS in fewer masks, each
// telling at once what sjis_block_pairs finds from two: the bytes that may
// begin a pair (0x81-0x9F, 0xE0-0xFE), the high bytes that can be no unit
// alone (not such a byte, nor a half-width katakana that is taken), the
// bytes whose pair, were one begun there, would be bad (a first byte from
// 0xF0 on, or a second byte out of 0x40-0x7E and 0x80-0xFC), and where
// half-width katakana are taken their bytes (0xA1-0xDF).
struct SjisUtf8Classes64 {
  uint64_t lead, alone_bad, pair_bad, kana_bytes;
};

// The pairs of such a block, carried saying whether its first byte ends a
// pair begun before it, as sjis_block_pairs finds them (the half-width
// katakana taken are then kana_bytes & ~trails).
KOTRAN_HOT SjisBlockPairs sjis_utf8_block_pairs(const SjisUtf8Classes64& c, uint64_t carried) {
  SjisBlockPairs b;
  // A lead byte takes the byte after it, whatever that is.
  b.leads = pair_starts_64(c.lead & ~carried);
  b.trails = b.leads << 1 | carried;
  b.bad = (c.alone_bad & ~b.trails) | (b.leads & c.pair_bad);
  return b;
}

template <bool euc>
using PairClasses64 = std::conditional_t<euc, EucClasses64, SjisUtf8Classes64>;

// The pairs of a block of 64 bytes of EUC, from its high bytes, those in
// 0xA1-0xFE (euc), its ESC bytes and its SS2 bytes followed by 0xA1-0xDF
// (ss2_kana: 0 where half-width katakana are not taken), carried (whether
// its first byte ends a pair begun before it) and the byte after it: the
// first bytes of pairs (SS2 katakana among them), their second bytes, the
// katakana, and the bytes that no plain unit takes (bad).
struct EucBlockPairs {
  uint64_t leads, trails, kana, bad;
};

KOTRAN_HOT EucBlockPairs euc_block_pairs(uint64_t high, uint64_t euc, uint64_t esc, uint64_t ss2_kana,
                                         uint64_t carried, unsigned after) {
  const uint64_t last_trail = after - 0xA1u <= 0xFEu - 0xA1u ? 1 : 0;
  high &= ~carried;
  EucBlockPairs b;
  // Every high byte starts a pair or ends one.
  b.leads = pair_starts_64(high);
  b.trails = high & ~b.leads;
  b.kana = b.leads & ss2_kana;
  b.bad = (high & ~euc & ~b.kana) | (b.leads & ~(b.trails >> 1 | last_trail << 63)) | esc;
  return b;
}

// Ends the blocks of Shift-JIS or EUC at p into UTF-8, as utf8_blocks_end
// ends those of UTF-8, carried saying that the last ended with a pair's
// first byte (whose second it took).
KOTRAN_HOT size_t pair_blocks_end(unsigned char*& o, const unsigned char* p, size_t blocks, uint64_t carried,
                                  bool line_ends_stop) {
  Utf8Carry carry;
  carry.owned = static_cast<unsigned>(carried);
  return utf8_blocks_end(o, p, blocks, carry, line_ends_stop);
}

// The first bytes of the pairs of the runs of m, each run's pairs taken from
// its first byte: a run begun at an even bit has its even bits, one begun
// at an odd bit its odd ones. (Adding a run's first bit carries past its
// end and clears it.)
KOTRAN_HOT uint64_t run_pair_leads(uint64_t m) {
  constexpr uint64_t EVEN = 0x5555555555555555ULL;
  const uint64_t starts = m & ~(m << 1);
  const uint64_t even_runs = m & ~(m + (starts & EVEN));
  return (even_runs & EVEN) | (m & ~even_runs & ~EVEN);
}

// The first n bits of 64 (n at most 64).
inline uint64_t first_bits(unsigned n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

// Bit i the XOR of bits 0 to i of x, by shifts.
KOTRAN_HOT uint64_t prefix_xor(uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

// The bytes of kanji text among 64 bytes of JIS: odd the bytes after an odd
// count of the first bytes of its escape sequences (bit i the XOR of their
// bits 0 to i), kanji_in those of them that designate kanji (the others
// one-byte text), kanji_before whether the text before them is kanji. Each
// escape's text runs to the next escape: bit i is the kind of the last
// escape at or before byte i. The runs between escapes alternate in the
// count of escapes up to them; within the odd runs and within the even ones
// (the text before the first escape among them), adding a run's first bit
// carries past its end and clears it, which picks the runs begun by a
// kanji-in.
KOTRAN_HOT uint64_t jis_kanji_text(uint64_t odd, uint64_t kanji_in, bool kanji_before) {
  const uint64_t even = ~odd;
  const uint64_t odd_kanji = odd & ~(odd + (kanji_in & odd));
  const uint64_t even_starts = (kanji_in & even) | (kanji_before ? even & 1 : 0);
  return odd_kanji | (even & ~(even + even_starts));
}

// What a block of JIS leaves to the next: whether its text ends in kanji
// or in katakana (which ends the blocks), the first bytes of the next that
// end an escape sequence begun in it (bits 0-1), and whether the next
// begins with the second byte of a pair.
struct JisCarry {
  bool kanji = false;
  bool kana = false;
  uint64_t escape = 0;
  uint64_t trail = 0;
};

// What JIS's whole blocks are stored as.
enum class JisBlocksInto { sjis, euc, utf8 };

// A JIS designation of two or three bytes as the runs of pairs and of
// one-byte text take it into a unit of four bytes before a run's first
// byte: its bytes, the last in byte 2, and which of the unit's bytes are
// its.
struct UnitDesignation {
  uint32_t bytes;
  uint32_t kept;
};

inline UnitDesignation unit_designation(const unsigned char* bytes, unsigned size) {
  uint32_t word = 0;
  for (unsigned i = 0; i < size; ++i) word |= static_cast<uint32_t>(bytes[i]) << 8 * i;
  const unsigned before = 8 * (3 - size);
  return {word << before, 0xFFFFFFu << before & 0xFFFFFFu};
}

// The classes of a block of 64 bytes of JIS, bit i for byte i: the ESCs,
// the bytes after an odd count of them (esc_odd: bit i the XOR of the ESCs'
// bits 0 to i), the ESCs that begin ESC $ B or ESC $ @ (kanji_in); bytes
// 0x21-0x7E; bytes 0x75 and above (far: rows past 84 where they begin a
// pair); whether the byte after the block is 0x21-0x7E (after_jis: the
// cell of a pair begun at its last byte); and stray, with a bit set where
// the block holds a byte 0x80 or above or an ESC that begins neither
// ESC $ B, ESC $ @, ESC ( B, ESC ( J nor ESC * B (where matters not: no
// whole block takes such a block; a path may add the line ends that stop).
struct JisBytes {
  uint64_t esc, esc_odd, kanji_in, jis, far, stray;
  bool after_jis;
};

// What katakana text needs of a block beyond its JisBytes, made only for a
// block that holds some (few do): the ESCs that begin ESC ( I (kana_in),
// and the bytes 0x21-0x5F (kana_bytes, the katakana).
struct JisKanaBytes {
  uint64_t kana_in, kana_bytes;
};

// A block's units: its pairs' first bytes, its katakana and its escape
// sequences' bytes, whether its text ends in kanji or in katakana, and its
// bytes that no whole block may hold (into_sjis, rows past 84 among them).
// Without kana, an ESC ( I is stray; with it (and b.stray without them),
// the katakana text it begins is read too (no block begins in katakana
// text).
struct JisBlockUnits {
  uint64_t leads, kana, escapes, bad;
  bool kanji_after, kana_after;
};

template <bool kana>
KOTRAN_HOT JisBlockUnits jis_block_units(const JisBytes& b, const JisCarry& carry, bool into_sjis,
                                         JisKanaBytes k = {}) {
  const uint64_t kanji = jis_kanji_text(b.esc_odd, b.kanji_in, carry.kanji);
  const uint64_t escapes = b.esc | b.esc << 1 | b.esc << 2 | carry.escape;
  const uint64_t pair_bytes = kanji & ~escapes;
  const uint64_t leads = run_pair_leads(pair_bytes & ~carry.trail);
  // A pair begun at the last byte takes the byte after them.
  uint64_t bad = b.stray | (pair_bytes & ~b.jis) |
                 (leads & ~(pair_bytes >> 1 | uint64_t{b.after_jis} << 63));
  if (into_sjis) bad |= leads & b.far;
  if constexpr (kana) {
    const uint64_t kana_text = jis_kanji_text(b.esc_odd, k.kana_in, false);
    const uint64_t kana_units = kana_text & ~escapes;
    return {leads, kana_units, escapes, bad | (kana_units & ~k.kana_bytes), (kanji >> 63) != 0,
            (kana_text >> 63) != 0};
  } else {
    return {leads, 0, escapes, bad, (kanji >> 63) != 0, false};
  }
}

// What a whole block of JIS leaves to the next.
KOTRAN_HOT JisCarry jis_carry_after(const JisBlockUnits& u, uint64_t esc) {
  JisCarry carry;
  carry.kanji = u.kanji_after;
  carry.kana = u.kana_after;
  // (Without a branch: an escape at the last byte comes as the text falls,
  // and a branch on it guesses wrong as often.)
  carry.escape = (esc >> 63) * 3 | (esc >> 62 & 1);
  carry.trail = u.leads >> 63;
  return carry;
}

// Ends the whole blocks of JIS at p, blocks of them stored, carry what the
// last left: the second byte of a pair begun at its last byte stored at o
// (into Shift-JIS or EUC; into UTF-8 it went out with the first), the rest
// of an escape sequence taken. Nor do the blocks end just after a CR (the
// last byte stored), whose LF would then look lone. Returns how many bytes
// they took.
KOTRAN_HOT size_t jis_blocks_end(unsigned char*& o, const unsigned char* p, size_t blocks, JisCarry& carry,
                                 JisBlocksInto into, bool line_ends_stop) {
  if (blocks == 0) return 0;
  size_t taken = 64 * blocks;
  if (carry.trail != 0) {
    const unsigned row = p[taken - 1], cell = p[taken];
    if (into == JisBlocksInto::sjis)
      *o++ = static_cast<unsigned char>(row & 1 ? cell + 0x1F + (cell >= 0x60) : cell + 0x7E);
    else if (into == JisBlocksInto::euc)
      *o++ = static_cast<unsigned char>(cell | 0x80);
    ++taken;
  } else if (carry.escape != 0) {
    taken += carry.escape == 3 ? 2 : 1;
  } else if (line_ends_stop && p[taken - 1] == 0x0D) {
    --taken;
    --o;
  }
  carry.escape = carry.trail = 0;
  return taken;
}

// Bit i set for each of the 32 bytes at p that is a CR, and that is an LF.
struct LineEndBytes {
  uint32_t cr, lf;
};

// As line_end_bytes, for the 64 bytes at p.
struct LineEndBytes64 {
  uint64_t cr, lf;
};

}  // namespace kotran
