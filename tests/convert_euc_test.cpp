// Byte-exact tables for the converters from EUC: each row is the bytes
// the converter reads (no line-end folding), the options, and the bytes
// it must write (before CR LF on output). Every row also runs with the input
// delivered in blocks of one, two and three bytes, so that the look-ahead
// after SS2 and its two-byte push-back fall on every block edge.
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

const Converter TO_SJIS = converter(Code::euc, Code::sjis);
const Converter TO_JIS = converter(Code::euc, Code::jis);
const Converter TO_EUC = converter(Code::euc, Code::euc);

using Row = test::ConverterRow;
using test::row_name;

KOTRAN_CONVERTER_ROWS(ConvertEucRow)

// abc, the kanji 漢 (B4 C1), ｶ ﾞ ｱ each after SS2, and a line end. With -f the
// katakana and the voiced mark after its own SS2 become one ガ; ｱ becomes ア
// and its look-ahead (the LF) is given back.
const Row WORKED_EXAMPLE[] = {
    {"abc_kanji_kana", TO_SJIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", CLEAR, "61 62 63 8A BF B6 DE B1 0A"},
    {"abc_kanji_kana", TO_SJIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", WIDE, "61 62 63 8A BF 83 4B 83 41 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", CLEAR,
     "61 62 63 1B 24 42 34 41 1B 28 49 36 5E 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", WIDE,
     "61 62 63 1B 24 42 34 41 25 2C 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", J7,
     "61 62 63 1B 24 40 34 41 1B 28 49 36 5E 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", WIDE_J7,
     "61 62 63 1B 24 40 34 41 25 2C 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", CLEAR,
     "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 B4 C1 8E B6 8E DE 8E B1 0A", WIDE, "61 62 63 B4 C1 A5 AC A5 A2 0A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertEucWorkedExample, ConvertEucRow, testing::ValuesIn(WORKED_EXAMPLE), row_name);

const Row EDGE_CASES[] = {
    {"empty", TO_SJIS, "", CLEAR, ""},
    {"empty", TO_JIS, "", CLEAR, ""},
    {"empty", TO_EUC, "", CLEAR, ""},
    // A lead byte or SS2 at the end is dropped.
    {"lead_byte_last", TO_SJIS, "61 B0", CLEAR, "61", 1},
    {"lead_byte_last", TO_JIS, "61 B0", CLEAR, "61", 1},
    {"lead_byte_last", TO_EUC, "61 B0", CLEAR, "61", 1},
    {"ss2_alone", TO_SJIS, "8E", CLEAR, ""},
    {"ss2_alone", TO_JIS, "8E", CLEAR, ""},
    {"ss2_alone", TO_EUC, "8E", CLEAR, ""},
    {"ss2_alone", TO_SJIS, "8E", WIDE, ""},
    {"ss2_alone", TO_JIS, "8E", WIDE, ""},
    {"ss2_alone", TO_EUC, "8E", WIDE, ""},
    // The kanji-out sequence still closes JIS output after a dropped lead byte.
    {"kanji_then_lead_byte_last", TO_SJIS, "B0 A1 B0", CLEAR, "88 9F", 1},
    {"kanji_then_lead_byte_last", TO_JIS, "B0 A1 B0", CLEAR, "1B 24 42 30 21 1B 28 4A", 1},
    {"kanji_then_lead_byte_last", TO_EUC, "B0 A1 B0", CLEAR, "B0 A1", 1},
    // An odd lead byte before a line end is refused: a katakana without SS2.
    {"odd_lead_before_lf", TO_SJIS, "B1 0A", CLEAR, "B1 0A"},
    {"odd_lead_before_lf", TO_EUC, "B1 0A", CLEAR, "8E B1 0A"},
    {"odd_lead_before_lf", TO_JIS, "B1 0A", CLEAR, "1B 24 42 31 0A 1B 28 4A"},
    {"odd_lead_before_lf", TO_SJIS, "B1 0A", WIDE, "83 41 0A"},
    {"odd_lead_before_lf", TO_EUC, "B1 0A", WIDE, "A5 A2 0A"},
    {"odd_lead_before_lf", TO_JIS, "B1 0A", WIDE, "1B 24 42 31 0A 1B 28 4A"},
    // An even lead byte before a line end is accepted and takes the LF.
    {"even_lead_before_lf", TO_SJIS, "B0 0A", CLEAR, "88 88"},
    {"even_lead_before_lf", TO_EUC, "B0 0A", CLEAR, "B0 0A"},
    {"even_lead_before_lf", TO_JIS, "B0 0A", CLEAR, "1B 24 42 30 0A 1B 28 4A"},
    {"even_lead_before_lf", TO_SJIS, "B0 0A", WIDE, "88 88"},
    {"even_lead_before_lf", TO_EUC, "B0 0A", WIDE, "B0 0A"},
    {"even_lead_before_lf", TO_JIS, "B0 0A", WIDE, "1B 24 42 30 0A 1B 28 4A"},
    // An accepted pair is never widened.
    {"accepted_kana_lead", TO_SJIS, "B6 0A", WIDE, "8B 88"},
    {"accepted_kana_lead", TO_EUC, "B6 0A", WIDE, "B6 0A"},
    {"refused_DF_lead", TO_SJIS, "DF 0A", WIDE, "81 4B 0A"},
    {"refused_DF_lead", TO_EUC, "DF 0A", WIDE, "A1 AC 0A"},
    {"refused_DF_lead", TO_SJIS, "DF 0A", CLEAR, "DF 0A"},
    {"refused_DF_lead", TO_EUC, "DF 0A", CLEAR, "8E DF 0A"},
    {"refused_DF_lead", TO_JIS, "DF 0A", CLEAR, "1B 24 42 5F 0A 1B 28 4A"},
    // A refused pair with lead E0-FE: ASCII with a stray high bit.
    {"stray_high_bit", TO_SJIS, "E1 0A", CLEAR, "61 0A"},
    {"stray_high_bit", TO_EUC, "E1 0A", CLEAR, "61 0A"},
    {"stray_high_bit", TO_JIS, "E1 0A", CLEAR, "1B 24 42 61 0A 1B 28 4A"},
    {"even_E0_space", TO_SJIS, "E0 20", CLEAR, "E0 9E"},
    {"even_E0_space", TO_EUC, "E0 20", CLEAR, "E0 20"},
    {"even_E0_space", TO_JIS, "E0 20", CLEAR, "1B 24 42 60 20 1B 28 4A"},
    // Lead bytes 80-9F: copied by Shift-JIS and EUC output.
    {"lead_90", TO_SJIS, "90 41", CLEAR, "90 41"},
    {"lead_90", TO_EUC, "90 41", CLEAR, "90 41"},
    {"lead_90", TO_JIS, "90 41", CLEAR, "1B 24 42 10 41 1B 28 4A"},
    {"lead_80_lf", TO_SJIS, "80 0A", CLEAR, "80 0A"},
    {"lead_80_lf", TO_EUC, "80 0A", CLEAR, "80 0A"},
    {"lead_80_lf", TO_JIS, "80 0A", CLEAR, "1B 24 42 00 0A 1B 28 4A"},
    // Lead A0: a katakana that cannot be widened.
    {"lead_A0", TO_SJIS, "A0 41", CLEAR, "A0 41"},
    {"lead_A0", TO_EUC, "A0 41", CLEAR, "8E A0 41"},
    {"lead_A0", TO_JIS, "A0 41", CLEAR, "1B 24 42 20 41 1B 28 4A"},
    {"lead_A0", TO_SJIS, "A0 41", WIDE, "A0 41"},
    {"lead_A0", TO_EUC, "A0 41", WIDE, "8E A0 41"},
    {"lead_A0", TO_JIS, "A0 41", WIDE, "1B 24 42 20 41 1B 28 4A"},
    {"lead_A0_then_pair", TO_SJIS, "A0 A1 A1", CLEAR, "A0 81 40"},
    {"lead_A0_then_pair", TO_EUC, "A0 A1 A1", CLEAR, "8E A0 A1 A1"},
    {"lead_A0_then_pair", TO_JIS, "A0 A1 A1", CLEAR, "1B 24 42 20 21 1B 28 4A"},
    // An SS3 sequence is read as a pair and a following byte.
    // SS3 and two bytes: JIS X 0212 (丂, then 丨, which Shift-JIS holds as an IBM extension).
    {"ss3", TO_SJIS, "8F B0 A1 61", CLEAR, "81 AC 61", 1},
    {"ss3", TO_EUC, "8F B0 A1 61", CLEAR, "8F B0 A1 61"},
    {"ss3", TO_JIS, "8F B0 A1 61", CLEAR, "1B 24 28 44 30 21 1B 28 4A 61"},
    {"ss3_ibm", TO_SJIS, "8F B0 A9", CLEAR, "FA 68"},
    // BROKEN BAR, read as ￤: the IBM extension FA 55, not the NEC-selected EE FA.
    {"ss3_broken_bar", TO_SJIS, "8F A2 C3 61", CLEAR, "FA 55 61"},
    {"ss3_ibm", TO_JIS, "8F B0 A9 8F B0 A1 B4 C1", CLEAR, "1B 24 28 44 30 29 30 21 1B 24 42 34 41 1B 28 4A"},
    // SS3 before a byte that is no second byte: as before, a pair and a byte.
    {"ss3_cut", TO_EUC, "8F B0 41", CLEAR, "8F B0 41"},
    // SS2 before a byte that is no katakana.
    {"ss2_letter", TO_SJIS, "8E 41", CLEAR, "41"},
    {"ss2_letter", TO_EUC, "8E 41", CLEAR, "8E 41"},
    {"ss2_letter", TO_JIS, "8E 41", CLEAR, "1B 28 49 41 1B 28 4A"},
    {"ss2_letter", TO_SJIS, "8E 41", WIDE, "41"},
    {"ss2_letter", TO_EUC, "8E 41", WIDE, "8E 41"},
    {"ss2_letter", TO_JIS, "8E 41", WIDE, "1B 28 49 41 1B 28 4A"},
    // ｱ and a voiced mark that does not combine with it.
    {"kana_a_voiced_mark", TO_SJIS, "8E B1 8E DE", WIDE, "83 41 81 4A"},
    {"kana_a_voiced_mark", TO_JIS, "8E B1 8E DE", WIDE, "1B 24 42 25 22 21 2B 1B 28 4A"},
    {"kana_a_voiced_mark", TO_EUC, "8E B1 8E DE", WIDE, "A5 A2 A1 AB"},
    {"kana_a_voiced_mark", TO_SJIS, "8E B1 8E DE", CLEAR, "B1 DE"},
    {"kana_a_voiced_mark", TO_JIS, "8E B1 8E DE", CLEAR, "1B 28 49 31 5E 1B 28 4A"},
    {"kana_a_voiced_mark", TO_EUC, "8E B1 8E DE", CLEAR, "8E B1 8E DE"},
    // ﾊ and a semi-voiced mark become パ; a voiced mark alone becomes ゛.
    {"kana_ha_semivoiced", TO_SJIS, "8E CA 8E DF", WIDE, "83 70"},
    {"kana_ha_semivoiced", TO_JIS, "8E CA 8E DF", WIDE, "1B 24 42 25 51 1B 28 4A"},
    {"kana_ha_semivoiced", TO_EUC, "8E CA 8E DF", WIDE, "A5 D1"},
    {"voiced_mark_alone", TO_SJIS, "8E DE", WIDE, "81 4A"},
    {"voiced_mark_alone", TO_JIS, "8E DE", WIDE, "1B 24 42 21 2B 1B 28 4A"},
    {"voiced_mark_alone", TO_EUC, "8E DE", WIDE, "A1 AB"},
    // A katakana last; an SS2 after it at the end is dropped.
    {"kana_last", TO_SJIS, "8E B1", WIDE, "83 41"},
    {"kana_last", TO_JIS, "8E B1", WIDE, "1B 24 42 25 22 1B 28 4A"},
    {"kana_last", TO_EUC, "8E B1", WIDE, "A5 A2"},
    {"kana_then_ss2_last", TO_SJIS, "8E B1 8E", WIDE, "83 41", 1},
    {"kana_then_ss2_last", TO_JIS, "8E B1 8E", WIDE, "1B 24 42 25 22 1B 28 4A", 1},
    {"kana_then_ss2_last", TO_EUC, "8E B1 8E", WIDE, "A5 A2", 1},
    // Each state goes directly to the other in JIS output.
    {"kana_then_kanji", TO_JIS, "8E B1 B0 A1", CLEAR, "1B 28 49 31 1B 24 42 30 21 1B 28 4A"},
    {"kanji_then_kana", TO_JIS, "B0 A1 8E B1", CLEAR, "1B 24 42 30 21 1B 28 49 31 1B 28 4A"},
    {"kanji_then_lf", TO_JIS, "B0 A1 0A", CLEAR, "1B 24 42 30 21 1B 28 4A 0A"},
    // An ESC in the input is a single byte.
    {"kanji_then_esc", TO_SJIS, "B0 A1 1B 61", CLEAR, "88 9F 1B 61"},
    {"kanji_then_esc", TO_JIS, "B0 A1 1B 61", CLEAR, "1B 24 42 30 21 1B 28 4A 1B 61"},
    {"kanji_then_esc", TO_EUC, "B0 A1 1B 61", CLEAR, "B0 A1 1B 61"},
    // Rows 85-88 and 93-94 hold user-defined characters, which Shift-JIS
    // writes under their own lead bytes (F0-F1, F4); SS3 rows 79-82 and
    // 85-94 the others. Rows 89-92 are the NEC-selected extensions.
    {"last_cell", TO_SJIS, "FE FE", CLEAR, "F4 FC"},
    {"user_defined", TO_SJIS, "F5 A1 F8 FE F9 A1", CLEAR, "F0 40 F1 FC ED 40"},
    {"user_defined_ss3", TO_SJIS, "8F EF A1 8F F2 FE 8F F5 A1 8F FE FE", CLEAR, "F2 40 F3 FC F5 40 F9 FC"},
    {"user_defined_ss3", TO_JIS, "8F EF A1", CLEAR, "1B 24 28 44 6F 21 1B 28 4A"},
    {"last_cell", TO_JIS, "FE FE", CLEAR, "1B 24 42 7E 7E 1B 28 4A"},
    {"last_cell", TO_EUC, "FE FE", CLEAR, "FE FE"},
    // jis_variant 3 writes ESC $ @ as kanji-in.
    {"kanji", TO_JIS, "B0 A1", J7, "1B 24 40 30 21 1B 28 4A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertEucEdgeCases, ConvertEucRow, testing::ValuesIn(EDGE_CASES), row_name);

// A byte 0xFF is data, only the end of input ends the text. With nothing
// pending it is a single byte; after a lead byte or SS2 it is that unit's
// second byte; as a look-ahead after a katakana it is given back.
const Row FF_IS_DATA[] = {
    {"ff_between_letters", TO_SJIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_JIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_EUC, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_alone", TO_SJIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_JIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_EUC, "FF", CLEAR, "FF"},
    // Between two kanji, JIS output returns to one-byte text for the 0xFF.
    {"kanji_ff_kanji", TO_SJIS, "B0 A1 FF B0 A1", CLEAR, "88 9F FF 88 9F"},
    {"kanji_ff_kanji", TO_JIS, "B0 A1 FF B0 A1", CLEAR, "1B 24 42 30 21 1B 28 4A FF 1B 24 42 30 21 1B 28 4A"},
    {"kanji_ff_kanji", TO_EUC, "B0 A1 FF B0 A1", CLEAR, "B0 A1 FF B0 A1"},
    // A lead byte that the true end drops, after a 0xFF.
    {"ff_then_lead_byte_last", TO_SJIS, "FF B0", CLEAR, "FF", 1},
    {"ff_then_lead_byte_last", TO_JIS, "FF B0", CLEAR, "FF", 1},
    {"ff_then_lead_byte_last", TO_EUC, "FF B0", CLEAR, "FF", 1},
    // 0xFF as the katakana byte after SS2.
    {"ss2_ff", TO_SJIS, "8E FF", CLEAR, "FF"},
    {"ss2_ff", TO_JIS, "8E FF", CLEAR, "1B 28 49 7F 1B 28 4A"},
    {"ss2_ff", TO_EUC, "8E FF", CLEAR, "8E FF"},
    {"ss2_ff", TO_SJIS, "8E FF", WIDE, "FF"},
    {"ss2_ff", TO_JIS, "8E FF", WIDE, "1B 28 49 7F 1B 28 4A"},
    {"ss2_ff", TO_EUC, "8E FF", WIDE, "8E FF"},
    {"ss2_ff_letter", TO_SJIS, "8E FF 61", WIDE, "FF 61"},
    {"ss2_ff_letter", TO_JIS, "8E FF 61", WIDE, "1B 28 49 7F 1B 28 4A 61"},
    {"ss2_ff_letter", TO_EUC, "8E FF 61", WIDE, "8E FF 61"},
    // 0xFF as the look-ahead after a katakana: given back, then a single byte.
    {"kana_ff_letter", TO_SJIS, "8E B1 FF 62", WIDE, "83 41 FF 62"},
    {"kana_ff_letter", TO_JIS, "8E B1 FF 62", WIDE, "1B 24 42 25 22 1B 28 4A FF 62"},
    {"kana_ff_letter", TO_EUC, "8E B1 FF 62", WIDE, "A5 A2 FF 62"},
    {"kana_ff_letter", TO_SJIS, "8E B1 FF 62", CLEAR, "B1 FF 62"},
    {"kana_ff_letter", TO_JIS, "8E B1 FF 62", CLEAR, "1B 28 49 31 1B 28 4A FF 62"},
    {"kana_ff_letter", TO_EUC, "8E B1 FF 62", CLEAR, "8E B1 FF 62"},
    // 0xFF after the SS2 that follows a katakana: both are given back, and
    // the FF is then that SS2's katakana byte.
    {"kana_ss2_ff_letter", TO_SJIS, "8E B1 8E FF 62", WIDE, "83 41 FF 62"},
    {"kana_ss2_ff_letter", TO_JIS, "8E B1 8E FF 62", WIDE, "1B 24 42 25 22 1B 28 49 7F 1B 28 4A 62"},
    {"kana_ss2_ff_letter", TO_EUC, "8E B1 8E FF 62", WIDE, "A5 A2 8E FF 62"},
    {"kana_ss2_ff_letter", TO_SJIS, "8E B1 8E FF 62", CLEAR, "B1 FF 62"},
    {"kana_ss2_ff_letter", TO_JIS, "8E B1 8E FF 62", CLEAR, "1B 28 49 31 7F 1B 28 4A 62"},
    {"kana_ss2_ff_letter", TO_EUC, "8E B1 8E FF 62", CLEAR, "8E B1 8E FF 62"},
    {"kana_ka_ss2_ff_last", TO_SJIS, "8E B6 8E FF", WIDE, "83 4A FF"},
    {"kana_ka_ss2_ff_last", TO_JIS, "8E B6 8E FF", WIDE, "1B 24 42 25 2B 1B 28 49 7F 1B 28 4A"},
    {"kana_ka_ss2_ff_last", TO_EUC, "8E B6 8E FF", WIDE, "A5 AB 8E FF"},
    // 0xFF as the second byte of a pair: B0 FF and B1 FF are accepted.
    {"even_lead_ff", TO_SJIS, "B0 FF", CLEAR, "88 FD"},
    {"even_lead_ff", TO_EUC, "B0 FF", CLEAR, "B0 FF"},
    {"even_lead_ff", TO_JIS, "B0 FF", CLEAR, "1B 24 42 30 7F 1B 28 4A"},
    {"odd_lead_ff", TO_SJIS, "B1 FF", CLEAR, "89 9F"},
    {"odd_lead_ff", TO_EUC, "B1 FF", CLEAR, "B1 FF"},
    {"odd_lead_ff", TO_JIS, "B1 FF", CLEAR, "1B 24 42 31 7F 1B 28 4A"},
    // Refused pairs with 0xFF second: copied after lead 80, read again after lead A0.
    {"lead_80_ff", TO_SJIS, "80 FF", CLEAR, "80 FF"},
    {"lead_80_ff", TO_EUC, "80 FF", CLEAR, "80 FF"},
    {"lead_80_ff", TO_JIS, "80 FF", CLEAR, "1B 24 42 00 7F 1B 28 4A"},
    {"lead_A0_ff", TO_SJIS, "A0 FF", CLEAR, "A0 FF"},
    {"lead_A0_ff", TO_EUC, "A0 FF", CLEAR, "8E A0 FF"},
    {"lead_A0_ff", TO_JIS, "A0 FF", CLEAR, "1B 24 42 20 7F 1B 28 4A"},
    {"lead_A0_ff", TO_SJIS, "A0 FF", WIDE, "A0 FF"},
    {"lead_A0_ff", TO_EUC, "A0 FF", WIDE, "8E A0 FF"},
};
INSTANTIATE_TEST_SUITE_P(ConvertEucFfIsData, ConvertEucRow, testing::ValuesIn(FF_IS_DATA), row_name);

// Real text: 東京は晴れ。Hello! LF ﾃﾞｰﾀとﾊﾟｿｺﾝ LF, each katakana after SS2. The
// hex was made once by glibc iconv from UTF-8: EUC-JP and SHIFT_JIS of the
// text and of its full-width form (データとパソコン). JIS output: iconv
// ISO-2022-JP of the full-width form (it cannot write half-width katakana) and
// ISO-2022-JP-3 of the half-width text (it writes them after ESC ( I), with
// each ESC ( B turned by hand into ESC ( J, the kanji-out sequence written here.
constexpr char EUC_HALF[] =
    "C5 EC B5 FE A4 CF C0 B2 A4 EC A1 A3 48 65 6C 6C 6F 21 0A 8E C3 8E DE 8E B0 8E C0 A4 C8 8E CA 8E DF "
    "8E BF 8E BA 8E DD 0A";
constexpr char EUC_FULL[] =
    "C5 EC B5 FE A4 CF C0 B2 A4 EC A1 A3 48 65 6C 6C 6F 21 0A A5 C7 A1 BC A5 BF A4 C8 A5 D1 A5 BD A5 B3 "
    "A5 F3 0A";
constexpr char SJIS_HALF[] =
    "93 8C 8B 9E 82 CD 90 B0 82 EA 81 42 48 65 6C 6C 6F 21 0A C3 DE B0 C0 82 C6 CA DF BF BA DD 0A";
constexpr char SJIS_FULL[] =
    "93 8C 8B 9E 82 CD 90 B0 82 EA 81 42 48 65 6C 6C 6F 21 0A 83 66 81 5B 83 5E 82 C6 83 70 83 5C 83 52 "
    "83 93 0A";
constexpr char JIS_FULL[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 24 42 25 47 21 3C 25 "
    "3F 24 48 25 51 25 3D 25 33 25 73 1B 28 4A 0A";
constexpr char JIS_HALF[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 28 49 43 5E 30 40 1B "
    "24 42 24 48 1B 28 49 4A 5F 3F 3A 5D 1B 28 4A 0A";

const Row REAL_TEXT[] = {
    {"real_text", TO_EUC, EUC_HALF, CLEAR, EUC_HALF},
    {"real_text", TO_EUC, EUC_HALF, WIDE, EUC_FULL},
    {"real_text", TO_SJIS, EUC_HALF, CLEAR, SJIS_HALF},
    {"real_text", TO_SJIS, EUC_HALF, WIDE, SJIS_FULL},
    {"real_text", TO_JIS, EUC_HALF, CLEAR, JIS_HALF},
    {"real_text", TO_JIS, EUC_HALF, WIDE, JIS_FULL},
    {"real_text_fullwidth", TO_EUC, EUC_FULL, CLEAR, EUC_FULL},
    {"real_text_fullwidth", TO_SJIS, EUC_FULL, CLEAR, SJIS_FULL},
    {"real_text_fullwidth", TO_JIS, EUC_FULL, CLEAR, JIS_FULL},
};
INSTANTIATE_TEST_SUITE_P(ConvertEucRealText, ConvertEucRow, testing::ValuesIn(REAL_TEXT), row_name);

// EUC-JIS-2004 and EUC: plane 1 as pairs, plane 2 after SS3, JIS X 0212
// after SS3 in the rows plane 2 leaves empty. A character the target lacks
// is 〓.
const Converter EUC2004_TO_EUC = converter(Code::euc2004, Code::euc);
const Converter EUC2004_TO_SJIS = converter(Code::euc2004, Code::sjis);
const Converter EUC2004_TO_JIS = converter(Code::euc2004, Code::jis);
const Converter EUC2004_TO_SJIS2004 = converter(Code::euc2004, Code::sjis2004);
const Converter EUC2004_TO_EUC2004 = converter(Code::euc2004, Code::euc2004);
const Converter EUC_TO_EUC2004 = converter(Code::euc, Code::euc2004);
const Row JIS_X0213[] = {
    {"x0208_cells_unchanged", EUC2004_TO_EUC, "B4 C1 A1 C1 A1 C0 A4 A2", CLEAR, "B4 C1 A1 C1 A1 C0 A4 A2", 0},
    {"x0208_cells_unchanged", EUC_TO_EUC2004, "B4 C1 A1 C1 A1 C0 A4 A2", CLEAR, "B4 C1 A1 C1 A1 C0 A4 A2", 0},
    {"plane_2_in_jis0212", EUC2004_TO_EUC, "8F A1 A2", CLEAR, "8F B0 A1", 0},
    {"plane_2_in_jis0212", EUC2004_TO_JIS, "8F A1 A2 61", CLEAR, "1B 24 28 44 30 21 1B 28 4A 61", 0},
    {"jis0212_to_plane_2", EUC_TO_EUC2004, "8F B0 A1", CLEAR, "8F A1 A2", 0},
    {"jis0212_kept_where_x0213_lacks_it", EUC_TO_EUC2004, "8F B0 A2", CLEAR, "8F B0 A2", 0},
    {"jis0212_row_kept", EUC2004_TO_EUC, "8F B0 A2", CLEAR, "8F B0 A2", 0},
    {"jis0212_row_kept", EUC2004_TO_EUC2004, "8F B0 A2 8F A1 A1", CLEAR, "8F B0 A2 8F A1 A1", 0},
    {"jis0212_lacked", EUC2004_TO_SJIS2004, "A4 F7 8F A1 A1 8F B0 A2", CLEAR, "82 F5 F0 40 81 AC", 1},
    {"plane_2_lacked", EUC2004_TO_SJIS, "8F A1 A1 61", CLEAR, "81 AC 61", 1},
    {"plane_2_lacked", EUC2004_TO_EUC, "8F FE F6", CLEAR, "A2 AE", 1},
    {"nec_row_13", EUC2004_TO_SJIS, "AD A1", CLEAR, "87 40", 0},
    {"nec_row_13", EUC_TO_EUC2004, "AD A1", CLEAR, "AD A1", 0},
    {"user_defined_lacked", EUC_TO_EUC2004, "F5 A1 61", CLEAR, "A2 AE 61", 1},
    {"base_and_mark_lacked", EUC2004_TO_EUC, "A4 F7", CLEAR, "A2 AE", 1},
    {"ss3_and_one_byte_last_as_euc_keeps_them", EUC2004_TO_EUC2004, "61 8F A1", CLEAR, "61 8F A1", 0},
    {"katakana_widened", EUC2004_TO_EUC2004, "8E B6 8E DE 8E B1", WIDE, "A5 AC A5 A2", 0},
    {"real_text", EUC2004_TO_SJIS, EUC_HALF, CLEAR, SJIS_HALF},
    {"real_text", EUC2004_TO_JIS, EUC_HALF, WIDE, JIS_FULL},
    {"real_text", EUC2004_TO_EUC2004, EUC_HALF, WIDE, EUC_FULL},
    {"real_text", EUC_TO_EUC2004, EUC_HALF, CLEAR, EUC_HALF},
};
INSTANTIATE_TEST_SUITE_P(ConvertEucJisX0213, ConvertEucRow, testing::ValuesIn(JIS_X0213), row_name);

}  // namespace
}  // namespace kotran
