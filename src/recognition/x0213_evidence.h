// JIS X 0213 only on evidence: a text that neither the Windows reading of
// Shift-JIS nor EUC with JIS X 0212 takes whole (the answer is Shift-JIS or
// EUC, not valid text) is Shift_JIS-2004 or EUC-JIS-2004 where that reading
// takes its first block whole, holds a character JIS X 0208 lacks and reads
// as Japanese (kana in one character of eight, what JIS X 0208 lacks in at
// most one of two), or, as Shift_JIS-2004 and less surely, as Japanese
// words among letters that differ from the Windows reading only where
// Windows leaves codes empty; so is text taken for EUC whose SS3 brings a
// code of plane 2 that JIS X 0212 leaves unassigned. Plain JIS X 0208 text
// never is; nor is a user-defined character of Shift-JIS (lead bytes
// 0xF0-0xF9) or of EUC's rows 85-88 and 93-94 and JIS X 0212 rows 79-82
// and 85-94, where JIS X 0213 has kanji and plane 2 also lies: those stay
// as they were read. JIS, or 7-bit text, that designates JIS X 0213
// (ESC $ ( Q, ESC $ ( P, ESC $ ( O) in the window is ISO-2022-JP-2004.
#pragma once

#include <cstdint>

#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// The bytes read for the evidence, from the stream's position.
inline constexpr uint64_t X0213_WINDOW = 64 * 1024;

struct Evidence;

// The answer r, given for the evidence e, or the JIS X 0213 code its text
// reads as (see above); the stream is left where it was.
Recognition with_x0213_evidence(TextStream* s, const Evidence& e, const Recognition& r);

}  // namespace kotran
