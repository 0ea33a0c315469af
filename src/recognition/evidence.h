// What a text shows of its code, gathered in one pass: a byte-order mark, JIS
// escape sequences, and its readings as UTF-8, EUC and Shift-JIS.
#pragma once

#include <cstdint>

#include "kernels/paths.h"
#include "recognition/foreign_readings.h"
#include "recognition/readings.h"
#include "stream/text_stream.h"

namespace kotran {

enum class ByteOrderMark : uint8_t { none, utf8, utf16 };

// The text is read until its end, or until the evidence is overwhelming:
// once EARLY_BYTES have been read, a single valid reading with at least
// EARLY_CHARACTERS characters beyond ASCII settles it.
inline constexpr uint64_t EARLY_BYTES = 4096;
inline constexpr uint64_t EARLY_CHARACTERS = 256;
// Whether the text is of another language is told from its first bytes:
// the foreign readings are fed this many, and the Japanese readings' costs
// are taken at the same place.
inline constexpr uint64_t FOREIGN_WINDOW = 4096;
// A valid Shift-JIS reading with this many kana pairs is Japanese text: the
// foreign readings are no longer fed from there. (EUC-KR and Big5 have no
// lead byte 0x82 or 0x83; GBK reads those pairs as rare hanzi of its
// extension, which no Chinese text writes four of; the one-byte codes as a
// low quotation mark or a rare letter before a letter, digit or symbol.)
inline constexpr uint64_t JAPANESE_KANA = 4;

struct Evidence {
  ByteOrderMark mark = ByteOrderMark::none;
  bool unreadable = false;      // a read error
  bool binary = false;          // the first block is binary: nothing more is read
  // The first block holds NULs as UTF-16 text without a mark does, in this
  // order, how sure that is; nothing more is read.
  ByteOrder unmarked_utf16 = ByteOrder::marked;
  Certainty unmarked_certainty = Certainty::certain;
  bool eight_bit = false;       // a byte of 0x80 or more
  bool jis_first = false;       // a JIS sign came before any 8-bit byte
  // A designation of JIS X 0213 (ESC $ ( Q, P or O) began within the
  // first X0213_WINDOW bytes.
  bool x0213_designated = false;
  bool whole = true;            // read to the end (not settled early)
  uint64_t bytes = 0;           // bytes read
  Utf8Reading utf8;
  EucReading euc;
  SjisReading sjis;
  // The codes of other languages, of two bytes and of one, over the first
  // FOREIGN_WINDOW bytes.
  PairReading foreign[FOREIGN_COUNT] = {PairReading(EUC_KR), PairReading(GBK), PairReading(BIG5)};
  ByteReading alphabets[ALPHABET_COUNT] = {ByteReading(LATIN_1), ByteReading(CP1251), ByteReading(ISO_8859_7)};
  // The cheaper of the valid EUC and Shift-JIS readings' costs at the end of
  // that window (or of the text); UINT64_MAX where neither was valid.
  uint64_t japanese_window_cost = UINT64_MAX;
  // Of that reading's characters, those Japanese never writes where they
  // stand (see GluedCharacters).
  uint64_t japanese_window_glued = 0;
};

// Gathers the evidence from the stream's position, which it returns to. The
// paths read the same bytes into the same evidence; all but the byte loop
// pass over ASCII runs a word at a time.
Evidence gather_evidence(TextStream* s, Path path = Path::words);

}  // namespace kotran
