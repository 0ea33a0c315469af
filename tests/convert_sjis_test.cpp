// Byte-exact tables for the converters from Shift-JIS: each row is the bytes
// the converter reads (no line-end folding), the options, and the bytes
// it must write (before CR LF on output). Every row also runs with the input
// delivered in blocks of one, two and three bytes, so that the katakana
// look-ahead and its push-back fall on every block edge.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "convert/converters.h"
#include "stream/text_stream.h"
#include "converter_rows.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::to_hex;

using test::CLEAR;
using test::J7;
using test::WIDE;
using test::WIDE_J7;

const Converter TO_SJIS = converter(Code::sjis, Code::sjis);
const Converter TO_JIS = converter(Code::sjis, Code::jis);
const Converter TO_EUC = converter(Code::sjis, Code::euc);

using Row = test::ConverterRow;
using test::row_name;

KOTRAN_CONVERTER_ROWS(ConvertSjisRow)

// abc, the kanji 漢 (8A BF), half-width ｶ ﾞ ｱ and a line end. With -f the
// katakana and its voiced mark become one full-width ガ, and ｱ becomes ア
// after its look-ahead (the LF) is given back.
const Row WORKED_EXAMPLE[] = {
    {"abc_kanji_kana", TO_SJIS, "61 62 63 8A BF B6 DE B1 0A", CLEAR, "61 62 63 8A BF B6 DE B1 0A"},
    {"abc_kanji_kana", TO_SJIS, "61 62 63 8A BF B6 DE B1 0A", WIDE, "61 62 63 8A BF 83 4B 83 41 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 8A BF B6 DE B1 0A", CLEAR,
     "61 62 63 1B 24 42 34 41 1B 28 49 36 5E 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 8A BF B6 DE B1 0A", WIDE,
     "61 62 63 1B 24 42 34 41 25 2C 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 8A BF B6 DE B1 0A", CLEAR, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 8A BF B6 DE B1 0A", WIDE, "61 62 63 B4 C1 A5 AC A5 A2 0A"},
    // jis_variant 3 changes only the kanji-in sequence of JIS output.
    {"abc_kanji_kana", TO_JIS, "61 62 63 8A BF B6 DE B1 0A", J7,
     "61 62 63 1B 24 40 34 41 1B 28 49 36 5E 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 8A BF B6 DE B1 0A", WIDE_J7,
     "61 62 63 1B 24 40 34 41 25 2C 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_SJIS, "61 62 63 8A BF B6 DE B1 0A", J7, "61 62 63 8A BF B6 DE B1 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 8A BF B6 DE B1 0A", J7, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertSjisWorkedExample, ConvertSjisRow, testing::ValuesIn(WORKED_EXAMPLE), row_name);

const Row EDGE_CASES[] = {
    // Empty input: nothing at all, not even an escape sequence.
    {"empty", TO_SJIS, "", CLEAR, ""},
    {"empty", TO_JIS, "", CLEAR, ""},
    {"empty", TO_EUC, "", CLEAR, ""},
    {"empty", TO_JIS, "", WIDE, ""},
    // A lead byte at the end of the input is dropped.
    {"lead_byte_last", TO_SJIS, "61 81", CLEAR, "61", 1},
    {"lead_byte_last", TO_JIS, "61 81", CLEAR, "61", 1},
    {"lead_byte_last", TO_EUC, "61 81", CLEAR, "61", 1},
    // ... and the kanji-out sequence still closes JIS output.
    {"lead_byte_last_after_kanji", TO_JIS, "8A BF 81", CLEAR, "1B 24 42 34 41 1B 28 4A", 1},
    {"lead_byte_last_after_kanji", TO_SJIS, "8A BF 81", CLEAR, "8A BF", 1},
    {"lead_byte_last_after_kanji", TO_EUC, "8A BF 81", CLEAR, "B4 C1", 1},
    // A lead byte before a line end takes the LF as its trail byte; the pair
    // is refused and copied as two bytes, in JIS after the return to one-byte text.
    {"lead_byte_before_lf", TO_SJIS, "81 0A", CLEAR, "81 0A"},
    {"lead_byte_before_lf", TO_JIS, "81 0A", CLEAR, "81 0A"},
    {"lead_byte_before_lf", TO_EUC, "81 0A", CLEAR, "81 0A"},
    {"kanji_then_lead_byte_before_lf", TO_JIS, "8A BF 81 0A", CLEAR, "1B 24 42 34 41 1B 28 4A 81 0A"},
    {"kanji_then_lead_byte_before_lf", TO_EUC, "8A BF 81 0A", CLEAR, "B4 C1 81 0A"},
    {"kanji_then_lead_byte_before_lf", TO_SJIS, "8A BF 81 0A", CLEAR, "8A BF 81 0A"},
    // 0x80 is a single byte.
    {"byte_80", TO_SJIS, "80", CLEAR, "80"},
    {"byte_80", TO_JIS, "80", CLEAR, "80"},
    {"byte_80", TO_EUC, "80", CLEAR, "80"},
    {"kanji_then_byte_80", TO_JIS, "8A BF 80", CLEAR, "1B 24 42 34 41 1B 28 4A 80"},
    // 0xA0 is a half-width katakana without a full-width form.
    {"kana_A0", TO_SJIS, "A0", CLEAR, "A0"},
    {"kana_A0", TO_JIS, "A0", CLEAR, "1B 28 49 20 1B 28 4A"},
    {"kana_A0", TO_EUC, "A0", CLEAR, "8E A0"},
    {"kana_A0", TO_SJIS, "A0", WIDE, "A0"},
    {"kana_A0", TO_JIS, "A0", WIDE, "1B 28 49 20 1B 28 4A"},
    {"kana_A0", TO_EUC, "A0", WIDE, "8E A0"},
    // Each state goes directly to the other in JIS output.
    {"kana_then_kanji", TO_JIS, "B1 8A BF", CLEAR, "1B 28 49 31 1B 24 42 34 41 1B 28 4A"},
    {"kanji_then_kana", TO_JIS, "8A BF B1", CLEAR, "1B 24 42 34 41 1B 28 49 31 1B 28 4A"},
    // A widened katakana and the kanji after it share one kanji-in sequence.
    {"kana_then_kanji", TO_JIS, "B1 8A BF", WIDE, "1B 24 42 25 22 34 41 1B 28 4A"},
    // ｱ and a voiced mark that does not combine with it.
    {"kana_a_voiced_mark", TO_SJIS, "B1 DE", WIDE, "83 41 81 4A"},
    {"kana_a_voiced_mark", TO_JIS, "B1 DE", WIDE, "1B 24 42 25 22 21 2B 1B 28 4A"},
    {"kana_a_voiced_mark", TO_EUC, "B1 DE", WIDE, "A5 A2 A1 AB"},
    {"kana_a_voiced_mark", TO_SJIS, "B1 DE", CLEAR, "B1 DE"},
    {"kana_a_voiced_mark", TO_JIS, "B1 DE", CLEAR, "1B 28 49 31 5E 1B 28 4A"},
    {"kana_a_voiced_mark", TO_EUC, "B1 DE", CLEAR, "8E B1 8E DE"},
    // ﾊ and a semi-voiced mark become パ.
    {"kana_ha_semivoiced", TO_SJIS, "CA DF", WIDE, "83 70"},
    {"kana_ha_semivoiced", TO_JIS, "CA DF", WIDE, "1B 24 42 25 51 1B 28 4A"},
    {"kana_ha_semivoiced", TO_EUC, "CA DF", WIDE, "A5 D1"},
    // A katakana as the last byte: its look-ahead finds the end.
    {"kana_last", TO_SJIS, "B1", WIDE, "83 41"},
    {"kana_last", TO_JIS, "B1", WIDE, "1B 24 42 25 22 1B 28 4A"},
    {"kana_last", TO_EUC, "B1", WIDE, "A5 A2"},
    // The IBM extensions ⅰ ￤ 﨑 髙 (FA40 FA55 FAB1 FBFC) become the NEC-selected
    // codes of rows 89-92 that hold them; Ⅰ ￢ ∵ ㈱ (FA4A FA54 FA5B FA58) row 13 and row 2.
    {"ibm_extensions", TO_SJIS, "FA 40 FA 55 FA B1 FB FC", CLEAR, "FA 40 FA 55 FA B1 FB FC"},
    {"ibm_extensions", TO_EUC, "FA 40 FA 55 FA B1 FB FC", CLEAR, "FC F1 FC FC F9 F5 FC E2"},
    {"ibm_extensions", TO_JIS, "FA 40 FA 55 FA B1 FB FC", CLEAR, "1B 24 42 7C 71 7C 7C 79 75 7C 62 1B 28 4A"},
    {"ibm_rows_13_and_2", TO_EUC, "FA 4A FA 54 FA 5B FA 58", CLEAR, "AD B5 A2 CC A2 E8 AD EA"},
    {"ibm_last", TO_EUC, "FC 4B", CLEAR, "FC EE"},
    // User-defined characters (lead bytes F0-F9): those of F0-F1 and F4 to
    // rows 85-88 and 93-94, the others to JIS X 0212 rows 79-82 and 85-94.
    {"lead_F0", TO_SJIS, "F0 40", CLEAR, "F0 40"},
    {"lead_F0", TO_JIS, "F0 40", CLEAR, "1B 24 42 75 21 1B 28 4A"},
    {"lead_F0", TO_EUC, "F0 40", CLEAR, "F5 A1"},
    {"user_defined", TO_EUC, "F1 FC F2 40 F3 FC F4 40 F5 40 F9 FC", CLEAR, "F8 FE 8F EF A1 8F F2 FE FD A1 8F F5 A1 8F FE FE"},
    {"user_defined", TO_JIS, "F2 40 F4 40", CLEAR, "1B 24 28 44 6F 21 1B 24 42 7D 21 1B 28 4A"},
    // Past the IBM extensions (FC4C on) and under lead bytes FD-FE no code
    // holds a character: 〓, never bytes outside the target code.
    {"lead_FE", TO_SJIS, "FE FE", CLEAR, "FE FE"},
    {"lead_FE", TO_JIS, "FE FE FC 4C", CLEAR, "1B 24 42 22 2E 22 2E 1B 28 4A"},
    {"lead_FE", TO_EUC, "FE FE FC 4C", CLEAR, "A2 AE A2 AE"},
    // An ESC in the input is a single byte like any other.
    {"esc", TO_SJIS, "1B", CLEAR, "1B"},
    {"esc", TO_JIS, "1B", CLEAR, "1B"},
    {"esc", TO_EUC, "1B", CLEAR, "1B"},
    {"kanji_then_esc", TO_JIS, "8A BF 1B", CLEAR, "1B 24 42 34 41 1B 28 4A 1B"},
    // jis_variant 3 writes ESC $ @ as kanji-in.
    {"kanji", TO_JIS, "8A BF", J7, "1B 24 40 34 41 1B 28 4A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertSjisEdgeCases, ConvertSjisRow, testing::ValuesIn(EDGE_CASES), row_name);

// A byte 0xFF is data, only the end of input ends the text. Where the cycle
// classifies it, 0xFF is a single byte; as the trail byte of a pending lead
// byte it makes a pair that is refused and copied; as the katakana look-ahead
// it is given back and read again.
const Row FF_IS_DATA[] = {
    {"ff_between_letters", TO_SJIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_JIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_EUC, "61 FF 62", CLEAR, "61 FF 62"},
    // After a kanji, JIS output returns to one-byte text before the 0xFF.
    {"kanji_ff_letter", TO_JIS, "8A BF FF 62", CLEAR, "1B 24 42 34 41 1B 28 4A FF 62"},
    {"kanji_ff_letter", TO_SJIS, "8A BF FF 62", CLEAR, "8A BF FF 62"},
    {"kanji_ff_letter", TO_EUC, "8A BF FF 62", CLEAR, "B4 C1 FF 62"},
    // 0xFF as a trail byte: the pair is refused and copied.
    {"lead_ff", TO_SJIS, "81 FF", CLEAR, "81 FF"},
    {"lead_ff", TO_JIS, "81 FF", CLEAR, "81 FF"},
    {"lead_ff", TO_EUC, "81 FF", CLEAR, "81 FF"},
    {"kanji_then_lead_ff", TO_JIS, "8A BF 8A FF 61", CLEAR, "1B 24 42 34 41 1B 28 4A 8A FF 61"},
    {"kanji_then_lead_ff", TO_EUC, "8A BF 8A FF 61", CLEAR, "B4 C1 8A FF 61"},
    {"kanji_then_lead_ff", TO_SJIS, "8A BF 8A FF 61", CLEAR, "8A BF 8A FF 61"},
    {"lead_E0_ff", TO_EUC, "E0 FF", CLEAR, "E0 FF"},
    // 0xFF as the katakana look-ahead: given back and written as a single byte.
    {"kana_ff_letter", TO_SJIS, "B1 FF 62", WIDE, "83 41 FF 62"},
    {"kana_ff_letter", TO_JIS, "B1 FF 62", WIDE, "1B 24 42 25 22 1B 28 4A FF 62"},
    {"kana_ff_letter", TO_EUC, "B1 FF 62", WIDE, "A5 A2 FF 62"},
    {"kana_ff_letter", TO_SJIS, "B1 FF 62", CLEAR, "B1 FF 62"},
    {"kana_ff_letter", TO_JIS, "B1 FF 62", CLEAR, "1B 28 49 31 1B 28 4A FF 62"},
    {"kana_ff_letter", TO_EUC, "B1 FF 62", CLEAR, "8E B1 FF 62"},
    {"kana_ff_last", TO_SJIS, "B1 FF", WIDE, "83 41 FF"},
    {"kana_ff_last", TO_JIS, "B1 FF", WIDE, "1B 24 42 25 22 1B 28 4A FF"},
    {"kana_ff_last", TO_EUC, "B1 FF", WIDE, "A5 A2 FF"},
    // 0xFF between ｶ and ﾞ keeps them apart: カ, 0xFF, ゛.
    {"kana_ff_voiced_mark", TO_SJIS, "B6 FF DE", WIDE, "83 4A FF 81 4A"},
    {"kana_ff_voiced_mark", TO_JIS, "B6 FF DE", WIDE, "1B 24 42 25 2B 1B 28 4A FF 1B 24 42 21 2B 1B 28 4A"},
    {"kana_ff_voiced_mark", TO_EUC, "B6 FF DE", WIDE, "A5 AB FF A1 AB"},
    // 0xA0 cannot be widened: its look-ahead 0xFF is given back too.
    {"kana_A0_ff", TO_SJIS, "A0 FF", WIDE, "A0 FF"},
    {"kana_A0_ff", TO_JIS, "A0 FF", WIDE, "1B 28 49 20 1B 28 4A FF"},
    {"kana_A0_ff", TO_EUC, "A0 FF", WIDE, "8E A0 FF"},
    // 0xFF alone, twice, first, and before a lead byte that the true end drops.
    {"ff_alone", TO_SJIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_JIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_EUC, "FF", CLEAR, "FF"},
    {"ff_ff", TO_JIS, "FF FF", WIDE, "FF FF"},
    {"ff_then_kanji", TO_JIS, "FF 8A BF", CLEAR, "FF 1B 24 42 34 41 1B 28 4A"},
    {"ff_then_kanji", TO_EUC, "FF 8A BF", CLEAR, "FF B4 C1"},
    {"ff_then_lead_byte_last", TO_SJIS, "FF 81", CLEAR, "FF"},
    {"ff_then_lead_byte_last", TO_JIS, "FF 81", CLEAR, "FF"},
    {"ff_then_lead_byte_last", TO_EUC, "FF 81", CLEAR, "FF"},
    // After a kana run, JIS output returns to one-byte text before the 0xFF.
    {"kana_then_ff", TO_JIS, "B1 FF", CLEAR, "1B 28 49 31 1B 28 4A FF"},
};
INSTANTIATE_TEST_SUITE_P(ConvertSjisFfIsData, ConvertSjisRow, testing::ValuesIn(FF_IS_DATA), row_name);

// Real text: 東京は晴れ。Hello! LF ﾃﾞｰﾀとﾊﾟｿｺﾝ LF. The hex was made once by glibc
// iconv from UTF-8: SHIFT_JIS and EUC-JP for the half-width text and for its
// full-width form (データとパソコン). JIS output: iconv ISO-2022-JP (full-width
// form only; it cannot write half-width katakana) and ISO-2022-JP-3 (which
// writes them after ESC ( I), with each ESC ( B turned by hand into ESC ( J,
// the kanji-out sequence written here.
constexpr char SJIS_HALF[] =
    "93 8C 8B 9E 82 CD 90 B0 82 EA 81 42 48 65 6C 6C 6F 21 0A C3 DE B0 C0 82 C6 CA DF BF BA DD 0A";
constexpr char SJIS_FULL[] =
    "93 8C 8B 9E 82 CD 90 B0 82 EA 81 42 48 65 6C 6C 6F 21 0A 83 66 81 5B 83 5E 82 C6 83 70 83 5C 83 52 "
    "83 93 0A";
constexpr char EUC_HALF[] =
    "C5 EC B5 FE A4 CF C0 B2 A4 EC A1 A3 48 65 6C 6C 6F 21 0A 8E C3 8E DE 8E B0 8E C0 A4 C8 8E CA 8E DF "
    "8E BF 8E BA 8E DD 0A";
constexpr char EUC_FULL[] =
    "C5 EC B5 FE A4 CF C0 B2 A4 EC A1 A3 48 65 6C 6C 6F 21 0A A5 C7 A1 BC A5 BF A4 C8 A5 D1 A5 BD A5 B3 "
    "A5 F3 0A";
constexpr char JIS_FULL[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 24 42 25 47 21 3C 25 "
    "3F 24 48 25 51 25 3D 25 33 25 73 1B 28 4A 0A";
constexpr char JIS_HALF[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 28 49 43 5E 30 40 1B "
    "24 42 24 48 1B 28 49 4A 5F 3F 3A 5D 1B 28 4A 0A";

const Row REAL_TEXT[] = {
    {"real_text", TO_SJIS, SJIS_HALF, CLEAR, SJIS_HALF},
    {"real_text", TO_SJIS, SJIS_HALF, WIDE, SJIS_FULL},
    {"real_text", TO_EUC, SJIS_HALF, CLEAR, EUC_HALF},
    {"real_text", TO_EUC, SJIS_HALF, WIDE, EUC_FULL},
    {"real_text", TO_JIS, SJIS_HALF, CLEAR, JIS_HALF},
    {"real_text", TO_JIS, SJIS_HALF, WIDE, JIS_FULL},
    {"real_text_fullwidth", TO_SJIS, SJIS_FULL, CLEAR, SJIS_FULL},
    {"real_text_fullwidth", TO_EUC, SJIS_FULL, CLEAR, EUC_FULL},
    {"real_text_fullwidth", TO_JIS, SJIS_FULL, CLEAR, JIS_FULL},
    {"real_text_fullwidth", TO_JIS, SJIS_FULL, WIDE, JIS_FULL},
};
INSTANTIATE_TEST_SUITE_P(ConvertSjisRealText, ConvertSjisRow, testing::ValuesIn(REAL_TEXT), row_name);

// Shift_JIS-2004 and Shift-JIS: JIS X 0208's cells go unchanged both ways;
// any other character goes where the target holds it (NEC row 13, the IBM
// extensions, JIS X 0212 in EUC and JIS) and becomes 〓 where it does not.
const Converter SJIS2004_TO_SJIS = converter(Code::sjis2004, Code::sjis);
const Converter SJIS2004_TO_EUC = converter(Code::sjis2004, Code::euc);
const Converter SJIS2004_TO_JIS = converter(Code::sjis2004, Code::jis);
const Converter SJIS2004_TO_SJIS2004 = converter(Code::sjis2004, Code::sjis2004);
const Converter SJIS2004_TO_EUC2004 = converter(Code::sjis2004, Code::euc2004);
const Converter SJIS_TO_SJIS2004 = converter(Code::sjis, Code::sjis2004);
const Row JIS_X0213[] = {
    {"x0208_cells_unchanged", SJIS2004_TO_SJIS, "88 9F 81 60 81 5F 81 5C 82 A0", CLEAR, "88 9F 81 60 81 5F 81 5C 82 A0", 0},
    {"x0208_cells_unchanged", SJIS_TO_SJIS2004, "88 9F 81 60 81 5F 81 5C 82 A0", CLEAR, "88 9F 81 60 81 5F 81 5C 82 A0", 0},
    {"nec_row_13", SJIS2004_TO_SJIS, "87 40", CLEAR, "87 40", 0},
    {"nec_row_13", SJIS2004_TO_EUC, "87 40", CLEAR, "AD A1", 0},
    {"nec_row_13", SJIS_TO_SJIS2004, "87 40", CLEAR, "87 40", 0},
    {"ibm_extension_twins", SJIS2004_TO_SJIS, "ED B5 86 B3", CLEAR, "ED 40 EE EF", 0},
    {"ibm_extensions", SJIS_TO_SJIS2004, "ED 40 FA 40", CLEAR, "ED B5 86 B3", 0},
    {"ibm_extension_x0213_lacks", SJIS_TO_SJIS2004, "FB FC 61", CLEAR, "81 AC 61", 1},
    {"user_defined", SJIS_TO_SJIS2004, "F0 40", CLEAR, "81 AC", 1},
    {"plane_2_lacked", SJIS2004_TO_SJIS, "F0 40 61", CLEAR, "81 AC 61", 1},
    {"plane_2_lacked", SJIS2004_TO_EUC, "F0 40 61", CLEAR, "A2 AE 61", 1},
    {"plane_2_lacked", SJIS2004_TO_JIS, "F0 40 61", CLEAR, "1B 24 42 22 2E 1B 28 4A 61", 1},
    {"plane_2_in_jis0212", SJIS2004_TO_SJIS, "F0 41", CLEAR, "81 AC", 1},
    {"plane_2_in_jis0212", SJIS2004_TO_EUC, "F0 41", CLEAR, "8F B0 A1", 0},
    {"plane_2_in_jis0212", SJIS2004_TO_JIS, "F0 41 61", CLEAR, "1B 24 28 44 30 21 1B 28 4A 61", 0},
    {"base_and_mark_lacked", SJIS2004_TO_SJIS, "82 F5", CLEAR, "81 AC", 1},
    {"base_and_mark_lacked", SJIS2004_TO_EUC, "82 F5", CLEAR, "A2 AE", 1},
    {"into_itself", SJIS2004_TO_SJIS2004, "82 F5 F0 40 FC F4 87 40 5C", CLEAR, "82 F5 F0 40 FC F4 87 40 5C", 0},
    {"into_itself_widened", SJIS2004_TO_SJIS2004, "B6 DE B1 F0 40", WIDE, "83 4B 83 41 F0 40", 0},
    {"to_euc2004", SJIS2004_TO_EUC2004, "82 F5 F0 40 87 40 FC F4 B1", CLEAR, "A4 F7 8F A1 A1 AD A1 8F FE F6 8E B1", 0},
    {"unassigned", SJIS2004_TO_SJIS, "82 FA", CLEAR, "81 AC", 1},
    {"lead_byte_last", SJIS2004_TO_EUC, "61 FC", CLEAR, "61", 1},
    {"real_text", SJIS2004_TO_EUC, SJIS_HALF, CLEAR, EUC_HALF},
    {"real_text", SJIS2004_TO_JIS, SJIS_HALF, WIDE, JIS_FULL},
    {"real_text", SJIS2004_TO_SJIS2004, SJIS_HALF, WIDE, SJIS_FULL},
    {"real_text", SJIS_TO_SJIS2004, SJIS_HALF, CLEAR, SJIS_HALF},
};
INSTANTIATE_TEST_SUITE_P(ConvertSjisJisX0213, ConvertSjisRow, testing::ValuesIn(JIS_X0213), row_name);

}  // namespace
}  // namespace kotran
