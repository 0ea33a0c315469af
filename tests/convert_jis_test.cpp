// Byte-exact tables for the converters from JIS: each row is the bytes
// the converter reads (no line-end folding), the options, and the bytes
// it must write (before CR LF on output). Every row also runs with the input
// delivered in blocks of one, two and three bytes, so that the escape
// sequences, the katakana look-ahead and the push-backs fall on every block edge.
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

const Converter TO_SJIS = converter(Code::jis, Code::sjis);
const Converter TO_JIS = converter(Code::jis, Code::jis);
const Converter TO_EUC = converter(Code::jis, Code::euc);
const Converter TO_UTF8 = converter(Code::jis, Code::utf8);

using Row = test::ConverterRow;
using test::row_name;

KOTRAN_CONVERTER_ROWS(ConvertJisRow)

// abc, the kanji 漢 between ESC $ B and ESC ( B, the half-width ｱ between
// ESC ( I and ESC ( B, and a line end. JIS output writes its own escape
// sequences: ESC ( B becomes the kanji-out ESC ( J, and ESC ( I is echoed at
// once even when the widened ア that follows needs kanji-in right after it.
const Row WORKED_EXAMPLE[] = {
    {"abc_kanji_kana", TO_SJIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", CLEAR,
     "61 62 63 8A BF B1 0A"},
    {"abc_kanji_kana", TO_SJIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", WIDE,
     "61 62 63 8A BF 83 41 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", CLEAR,
     "61 62 63 1B 24 42 34 41 1B 28 4A 1B 28 49 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", WIDE,
     "61 62 63 1B 24 42 34 41 1B 28 4A 1B 28 49 1B 24 42 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", J7,
     "61 62 63 1B 24 40 34 41 1B 28 4A 1B 28 49 31 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_JIS, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", WIDE_J7,
     "61 62 63 1B 24 40 34 41 1B 28 4A 1B 28 49 1B 24 40 25 22 1B 28 4A 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", CLEAR,
     "61 62 63 B4 C1 8E B1 0A"},
    {"abc_kanji_kana", TO_EUC, "61 62 63 1B 24 42 34 41 1B 28 42 1B 28 49 31 1B 28 42 0A", WIDE,
     "61 62 63 B4 C1 A5 A2 0A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertJisWorkedExample, ConvertJisRow, testing::ValuesIn(WORKED_EXAMPLE), row_name);

const Row EDGE_CASES[] = {
    {"empty", TO_SJIS, "", CLEAR, ""},
    {"empty", TO_JIS, "", CLEAR, ""},
    {"empty", TO_EUC, "", CLEAR, ""},
    // An ESC at the very end, or ESC and one byte, is written unchanged.
    {"lone_esc", TO_SJIS, "1B", CLEAR, "1B"},
    {"lone_esc", TO_JIS, "1B", CLEAR, "1B"},
    {"lone_esc", TO_EUC, "1B", CLEAR, "1B"},
    {"esc_dollar_last", TO_SJIS, "1B 24", CLEAR, "1B 24"},
    {"esc_dollar_last", TO_JIS, "1B 24", CLEAR, "1B 24"},
    {"esc_dollar_last", TO_EUC, "1B 24", CLEAR, "1B 24"},
    // A first byte left waiting at the end is dropped.
    {"first_byte_last", TO_SJIS, "1B 24 42 34", CLEAR, "", 1},
    {"first_byte_last", TO_EUC, "1B 24 42 34", CLEAR, "", 1},
    {"first_byte_last", TO_JIS, "1B 24 42 34", CLEAR, "1B 24 42 1B 28 4A", 1},
    // A waiting first byte pairs with the first byte after a line end.
    {"pair_split_by_lf", TO_SJIS, "1B 24 42 34 0A 41", CLEAR, "0A 8A BF"},
    {"pair_split_by_lf", TO_EUC, "1B 24 42 34 0A 41", CLEAR, "0A B4 C1"},
    {"pair_split_by_lf", TO_JIS, "1B 24 42 34 0A 41", CLEAR, "1B 24 42 1B 28 4A 0A 1B 24 42 34 41 1B 28 4A"},
    // Kanji mode goes on over a line end; JIS output closes every line.
    {"kanji_mode_over_lf", TO_SJIS, "1B 24 42 34 41 0A 34 41", CLEAR, "8A BF 0A 8A BF"},
    {"kanji_mode_over_lf", TO_JIS, "1B 24 42 34 41 0A 34 41", CLEAR,
     "1B 24 42 34 41 1B 28 4A 0A 1B 24 42 34 41 1B 28 4A"},
    {"kanji_mode_over_lf", TO_EUC, "1B 24 42 34 41 0A 34 41", CLEAR, "B4 C1 0A B4 C1"},
    // A byte 0x00 where a first byte is awaited leaves nothing waiting.
    {"nul_as_first_byte", TO_SJIS, "1B 24 42 00 34 41", CLEAR, "8A BF"},
    {"nul_as_first_byte", TO_EUC, "1B 24 42 00 34 41", CLEAR, "B4 C1"},
    {"nul_as_first_byte", TO_JIS, "1B 24 42 00 34 41", CLEAR, "1B 24 42 34 41 1B 28 4A"},
    // A pair that Shift-JIS cannot hold is copied; the others take every pair.
    {"space_pair", TO_SJIS, "1B 24 42 20 31", CLEAR, "20 31"},
    {"space_pair", TO_EUC, "1B 24 42 20 31", CLEAR, "A0 B1"},
    {"space_pair", TO_JIS, "1B 24 42 20 31", CLEAR, "1B 24 42 20 31 1B 28 4A"},
    // ESC N x: the single-shift katakana x.
    {"single_shift_a", TO_SJIS, "1B 4E 31", CLEAR, "B1"},
    {"single_shift_a", TO_SJIS, "1B 4E 31", WIDE, "83 41"},
    {"single_shift_a", TO_EUC, "1B 4E 31", CLEAR, "8E B1"},
    {"single_shift_a", TO_EUC, "1B 4E 31", WIDE, "A5 A2"},
    {"single_shift_a", TO_JIS, "1B 4E 31", CLEAR, "1B 28 49 31 1B 28 4A"},
    {"single_shift_a", TO_JIS, "1B 4E 31", WIDE, "1B 24 42 25 22 1B 28 4A"},
    // The byte after ESC N is taken whatever it is, a LF too.
    {"single_shift_lf", TO_SJIS, "1B 4E 0A", CLEAR, "8A"},
    {"single_shift_lf", TO_EUC, "1B 4E 0A", CLEAR, "8E 8A"},
    {"single_shift_lf", TO_JIS, "1B 4E 0A", CLEAR, "1B 28 49 0A 1B 28 4A"},
    // ｶ and a voiced mark in SHIFT_KANA; with -f one ガ.
    {"kana_ka_voiced", TO_SJIS, "1B 28 49 36 5E", CLEAR, "B6 DE"},
    {"kana_ka_voiced", TO_EUC, "1B 28 49 36 5E", CLEAR, "8E B6 8E DE"},
    {"kana_ka_voiced", TO_JIS, "1B 28 49 36 5E", CLEAR, "1B 28 49 36 5E 1B 28 4A"},
    {"kana_ka_voiced", TO_SJIS, "1B 28 49 36 5E", WIDE, "83 4B"},
    {"kana_ka_voiced", TO_EUC, "1B 28 49 36 5E", WIDE, "A5 AC"},
    {"kana_ka_voiced", TO_JIS, "1B 28 49 36 5E", WIDE, "1B 28 49 1B 24 42 25 2C 1B 28 4A"},
    // ｶ has no semi-voiced form: カ, then ゜ widened on its own.
    {"kana_ka_semivoiced", TO_SJIS, "1B 28 49 36 5F", WIDE, "83 4A 81 4B"},
    {"kana_ka_semivoiced", TO_EUC, "1B 28 49 36 5F", WIDE, "A5 AB A1 AC"},
    {"kana_ka_semivoiced", TO_JIS, "1B 28 49 36 5F", WIDE, "1B 28 49 1B 24 42 25 2B 21 2C 1B 28 4A"},
    // A space in SHIFT_KANA is no katakana: with -f it is written as A0.
    {"kana_space", TO_SJIS, "1B 28 49 20 31", WIDE, "A0 83 41"},
    {"kana_space", TO_EUC, "1B 28 49 20 31", WIDE, "8E A0 A5 A2"},
    {"kana_space", TO_JIS, "1B 28 49 20 31", WIDE, "1B 28 49 A0 1B 24 42 25 22 1B 28 4A"},
    // SO in kanji mode: the byte after it is a half-width katakana.
    {"so_kana", TO_SJIS, "1B 24 42 0E 31", CLEAR, "B1"},
    {"so_kana", TO_SJIS, "1B 24 42 0E 31", WIDE, "83 41"},
    {"so_kana", TO_EUC, "1B 24 42 0E 31", CLEAR, "8E B1"},
    {"so_kana", TO_EUC, "1B 24 42 0E 31", WIDE, "8E B1"},
    {"so_kana", TO_JIS, "1B 24 42 0E 31", CLEAR, "1B 24 42 1B 28 49 31 1B 28 4A"},
    {"so_kana", TO_JIS, "1B 24 42 0E 31", WIDE, "1B 24 42 25 22 1B 28 4A"},
    // SO before a byte that is no katakana: SO alone, then a new pair.
    {"so_not_kana", TO_SJIS, "1B 24 42 0E 60 21", CLEAR, "0E E0 9F"},
    {"so_not_kana", TO_JIS, "1B 24 42 0E 60 21", CLEAR, "1B 24 42 0E 60 21 1B 28 4A"},
    {"so_not_kana", TO_EUC, "1B 24 42 0E 60 21", CLEAR, "8E E0"},
    // ESC * I is passed on by JIS output only.
    {"esc_star_i", TO_SJIS, "1B 2A 49", CLEAR, ""},
    {"esc_star_i", TO_EUC, "1B 2A 49", CLEAR, ""},
    {"esc_star_i", TO_JIS, "1B 2A 49", CLEAR, "1B 2A 49"},
    // Unrecognised sequences go out byte by byte, read in SHIFT_NONE.
    {"esc_k", TO_SJIS, "1B 4B 61", CLEAR, "1B 4B 61"},
    {"esc_k", TO_JIS, "1B 4B 61", CLEAR, "1B 4B 61"},
    {"esc_k", TO_EUC, "1B 4B 61", CLEAR, "1B 4B 61"},
    // ESC $ ( D: JIS X 0212 codes, which EUC writes after SS3 and Shift-JIS
    // lacks but for the IBM extensions (0x3029 is 丨, FA 68).
    {"four_byte_designation", TO_SJIS, "1B 24 28 44 41 21 30 29", CLEAR, "81 AC FA 68", 1},
    {"four_byte_designation", TO_JIS, "1B 24 28 44 41 21 30 29", CLEAR, "1B 24 28 44 41 21 30 29 1B 28 4A"},
    {"four_byte_designation", TO_EUC, "1B 24 28 44 41 21 30 29", CLEAR, "8F C1 A1 8F B0 A9"},
    {"four_byte_designation_line_end", TO_EUC, "1B 24 28 44 41 21 0A 41", CLEAR, "8F C1 A1 0A"},
    // User-defined characters: rows 85-88 and 93-94 of kanji text, JIS X 0212
    // rows 79-82 and 85-94; among sixteen bytes of pairs as well.
    {"user_defined", TO_SJIS, "1B 24 42 30 21 30 21 30 21 30 21 75 21 30 21 30 21 30 21 7E 7E 30 21 1B 28 42", CLEAR,
     "88 9F 88 9F 88 9F 88 9F F0 40 88 9F 88 9F 88 9F F4 FC 88 9F"},
    {"user_defined", TO_SJIS, "1B 24 28 44 6F 21 7E 7E 1B 28 42", CLEAR, "F2 40 F9 FC"},
    {"user_defined", TO_UTF8, "1B 24 42 75 21 1B 24 28 44 7E 7E 1B 28 42", CLEAR, "EE 80 80 EE 9D 97"},
    {"other_four_byte_sequence", TO_EUC, "1B 24 28 51 41 21", CLEAR, "1B 24 28 51 41 21"},
    // A doubled ESC: the first goes out alone, the second starts ESC $ B.
    {"doubled_esc", TO_SJIS, "1B 1B 24 42 34 41 1B 28 42", CLEAR, "1B 8A BF"},
    {"doubled_esc", TO_JIS, "1B 1B 24 42 34 41 1B 28 42", CLEAR, "1B 1B 24 42 34 41 1B 28 4A"},
    {"doubled_esc", TO_EUC, "1B 1B 24 42 34 41 1B 28 42", CLEAR, "1B B4 C1"},
    // An 8-bit katakana in SHIFT_NONE: copied, widened only into EUC.
    {"eight_bit_kana", TO_SJIS, "B1", CLEAR, "B1"},
    {"eight_bit_kana", TO_SJIS, "B1", WIDE, "B1"},
    {"eight_bit_kana", TO_JIS, "B1", CLEAR, "B1"},
    {"eight_bit_kana", TO_JIS, "B1", WIDE, "B1"},
    {"eight_bit_kana", TO_EUC, "B1", CLEAR, "8E B1"},
    {"eight_bit_kana", TO_EUC, "B1", WIDE, "A5 A2"},
    // A first byte waiting when ESC N comes.
    {"single_shift_while_waiting", TO_SJIS, "1B 24 42 34 1B 4E 31 41 42", CLEAR, "B1 91 61"},
    {"single_shift_while_waiting", TO_EUC, "1B 24 42 34 1B 4E 31 41 42", CLEAR, "8E B1 B4 C1"},
    {"single_shift_while_waiting", TO_EUC, "1B 24 42 34 1B 4E 31 41 42", WIDE, "A5 A2 C1 C2"},
    {"single_shift_while_waiting", TO_JIS, "1B 24 42 34 1B 4E 31 41 42", CLEAR,
     "1B 24 42 1B 28 49 31 1B 24 42 41 42 1B 28 4A"},
    {"single_shift_space_while_waiting", TO_EUC, "1B 24 42 34 1B 4E 20 41 42", WIDE, "8E A0 C1 C2"},
    {"eight_bit_A0_then_kanji", TO_EUC, "A0 1B 24 42 41 42", WIDE, "8E A0 C1 C2"},
    // JIS output writes the designations of its own jis_variant row.
    {"kanji_variant_3", TO_JIS, "1B 24 42 34 41 1B 28 42", J7, "1B 24 40 34 41 1B 28 4A"},
    {"esc_dollar_at_input", TO_JIS, "1B 24 40 34 41 1B 28 42", CLEAR, "1B 24 42 34 41 1B 28 4A"},
    {"esc_star_b_returns", TO_JIS, "1B 24 42 34 41 1B 2A 42 61", CLEAR, "1B 24 42 34 41 1B 28 4A 61"},
    // A designation is followed at once, even with nothing after it.
    {"kanji_in_then_out", TO_JIS, "1B 24 42 1B 28 42", CLEAR, "1B 24 42 1B 28 4A"},
    // Repeated designations vanish.
    {"repeated_designation", TO_JIS, "1B 24 42 34 41 1B 24 42 34 41 1B 28 42", CLEAR,
     "1B 24 42 34 41 34 41 1B 28 4A"},
};
INSTANTIATE_TEST_SUITE_P(ConvertJisEdgeCases, ConvertJisRow, testing::ValuesIn(EDGE_CASES), row_name);

// A byte 0xFF is data, only the end of input ends the text. In the main loop
// it is read by the rule of the current shift like any other byte; as the
// katakana look-ahead it is given back and read again.
const Row FF_IS_DATA[] = {
    {"ff_between_letters", TO_SJIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_JIS, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_between_letters", TO_EUC, "61 FF 62", CLEAR, "61 FF 62"},
    {"ff_alone", TO_SJIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_JIS, "FF", CLEAR, "FF"},
    {"ff_alone", TO_EUC, "FF", CLEAR, "FF"},
    {"ff_alone", TO_EUC, "FF", WIDE, "FF"},
    {"ff_then_eight_bit_kana", TO_EUC, "FF B1", WIDE, "FF A5 A2"},
    // In SHIFT_KANA, FF and 31 are two katakana bytes.
    {"kana_ff", TO_SJIS, "1B 28 49 FF 31", CLEAR, "FF B1"},
    {"kana_ff", TO_EUC, "1B 28 49 FF 31", CLEAR, "8E FF 8E B1"},
    {"kana_ff", TO_JIS, "1B 28 49 FF 31", CLEAR, "1B 28 49 FF 31 1B 28 4A"},
    {"kana_ff", TO_SJIS, "1B 28 49 FF 31", WIDE, "FF 83 41"},
    {"kana_ff", TO_EUC, "1B 28 49 FF 31", WIDE, "8E FF A5 A2"},
    {"kana_ff", TO_JIS, "1B 28 49 FF 31", WIDE, "1B 28 49 FF 1B 24 42 25 22 1B 28 4A"},
    // 0xFF as the katakana look-ahead is given back, then read as a katakana byte.
    {"kana_lookahead_ff", TO_SJIS, "1B 28 49 31 FF 32", WIDE, "83 41 FF 83 43"},
    {"kana_lookahead_ff", TO_EUC, "1B 28 49 31 FF 32", WIDE, "A5 A2 8E FF A5 A4"},
    {"kana_lookahead_ff", TO_JIS, "1B 28 49 31 FF 32", WIDE,
     "1B 28 49 1B 24 42 25 22 1B 28 49 FF 1B 24 42 25 24 1B 28 4A"},
    {"kana_lookahead_ff", TO_SJIS, "1B 28 49 31 FF 32", CLEAR, "B1 FF B2"},
    {"kana_lookahead_ff", TO_EUC, "1B 28 49 31 FF 32", CLEAR, "8E B1 8E FF 8E B2"},
    {"kana_lookahead_ff", TO_JIS, "1B 28 49 31 FF 32", CLEAR, "1B 28 49 31 FF 32 1B 28 4A"},
    // 0xFF between ｶ and ﾞ keeps them apart.
    {"kana_ff_voiced_mark", TO_SJIS, "1B 28 49 36 FF 5E", WIDE, "83 4A FF 81 4A"},
    {"kana_ff_voiced_mark", TO_EUC, "1B 28 49 36 FF 5E", WIDE, "A5 AB 8E FF A1 AB"},
    // 0xFF as the first byte of a pair.
    {"pair_ff_first", TO_SJIS, "1B 24 42 FF 41", CLEAR, "FF 41"},
    {"pair_ff_first", TO_EUC, "1B 24 42 FF 41", CLEAR, "FF C1"},
    {"pair_ff_first", TO_JIS, "1B 24 42 FF 41", CLEAR, "1B 24 42 FF 41 1B 28 4A"},
    {"pair_ff_first_over_lf", TO_SJIS, "1B 24 42 FF 0A 41", CLEAR, "0A FF 41"},
    {"pair_ff_first_over_lf", TO_EUC, "1B 24 42 FF 0A 41", CLEAR, "0A FF C1"},
    {"pair_ff_first_over_lf", TO_JIS, "1B 24 42 FF 0A 41", CLEAR, "1B 24 42 1B 28 4A 0A 1B 24 42 FF 41 1B 28 4A"},
    {"pair_ff_first_last", TO_SJIS, "1B 24 42 FF", CLEAR, ""},
    {"pair_ff_first_last", TO_EUC, "1B 24 42 FF", CLEAR, ""},
    {"pair_ff_first_last", TO_JIS, "1B 24 42 FF", CLEAR, "1B 24 42 1B 28 4A"},
    // 0xFF as the second byte of a pair: 34 FF is accepted by the arithmetic.
    {"pair_ff_second", TO_SJIS, "1B 24 42 34 FF", CLEAR, "8B 7D"},
    {"pair_ff_second", TO_EUC, "1B 24 42 34 FF", CLEAR, "B4 FF"},
    {"pair_ff_second", TO_JIS, "1B 24 42 34 FF", CLEAR, "1B 24 42 34 FF 1B 28 4A"},
    // 0xFF after SO: no katakana, so SO alone and FF starts a new pair.
    {"so_ff", TO_SJIS, "1B 24 42 0E FF 41", CLEAR, "0E FF 41"},
    {"so_ff", TO_JIS, "1B 24 42 0E FF 41", CLEAR, "1B 24 42 0E FF 41 1B 28 4A"},
    {"so_ff", TO_EUC, "1B 24 42 0E FF 41", CLEAR, "8E FF"},
    // 0xFF in an escape sequence: ESC N takes it; an unrecognised sequence
    // gives it back to the main loop, which now reads it as a single byte.
    {"single_shift_ff", TO_SJIS, "1B 4E FF 61", CLEAR, "FF 61"},
    {"single_shift_ff", TO_SJIS, "1B 4E FF 61", WIDE, "FF 61"},
    {"single_shift_ff", TO_EUC, "1B 4E FF 61", CLEAR, "8E FF 61"},
    {"single_shift_ff", TO_EUC, "1B 4E FF 61", WIDE, "8E FF 61"},
    {"single_shift_ff", TO_JIS, "1B 4E FF 61", CLEAR, "1B 28 49 FF 1B 28 4A 61"},
    {"single_shift_ff", TO_JIS, "1B 4E FF 61", WIDE, "1B 28 49 FF 1B 28 4A 61"},
    {"unknown_escape_ff", TO_SJIS, "1B 28 FF 61", CLEAR, "1B 28 FF 61"},
    {"unknown_escape_ff", TO_JIS, "1B 28 FF 61", CLEAR, "1B 28 FF 61"},
    {"unknown_escape_ff", TO_EUC, "1B 28 FF 61", CLEAR, "1B 28 FF 61"},
    {"esc_ff_last", TO_SJIS, "1B FF", CLEAR, "1B FF"},
    {"esc_ff_last", TO_JIS, "1B FF", CLEAR, "1B FF"},
    {"esc_ff_last", TO_EUC, "1B FF", CLEAR, "1B FF"},
};
// ISO-2022-JP-2004 and JIS: JIS X 0208 after ESC $ B both ways, JIS X 0213's
// other cells where the target holds them, 〓 where it does not.
const Converter JIS2004_TO_JIS = converter(Code::jis2004, Code::jis);
const Converter JIS2004_TO_JIS2004 = converter(Code::jis2004, Code::jis2004);
const Converter JIS2004_TO_SJIS2004 = converter(Code::jis2004, Code::sjis2004);
const Converter JIS2004_TO_EUC2004 = converter(Code::jis2004, Code::euc2004);
const Converter JIS_TO_JIS2004 = converter(Code::jis, Code::jis2004);
const Converter SJIS2004_TO_JIS2004 = converter(Code::sjis2004, Code::jis2004);
const Converter EUC_TO_JIS2004 = converter(Code::euc, Code::jis2004);
const Row JIS_X0213[] = {
    {"x0208_after_esc_b_returns_to_ascii", JIS_TO_JIS2004, "1B 24 42 34 41 1B 28 4A 61", CLEAR,
     "1B 24 42 34 41 1B 28 42 61", 0},
    {"plane_1_twin_plane_2_lacked", JIS2004_TO_JIS, "1B 24 28 51 2D 21 1B 24 28 50 21 21 1B 28 42 61", CLEAR,
     "1B 24 42 2D 21 22 2E 1B 28 4A 61", 1},
    {"to_sjis2004", JIS2004_TO_SJIS2004, "1B 24 28 51 24 77 1B 24 28 50 21 21 1B 24 42 34 41 1B 28 42 61", CLEAR,
     "82 F5 F0 40 8A BF 61", 0},
    {"to_euc2004_jis0212_as_plane_2", JIS2004_TO_EUC2004,
     "1B 24 28 51 24 77 1B 24 28 50 21 21 1B 24 28 44 30 21 1B 28 49 31 1B 28 42 61", CLEAR,
     "A4 F7 8F A1 A1 8F A1 A2 8E B1 61", 0},
    {"from_sjis2004", SJIS2004_TO_JIS2004, "82 F5 F0 40 88 9F B1 61", CLEAR,
     "1B 24 28 51 24 77 1B 24 28 50 21 21 1B 24 42 30 21 1B 28 49 31 1B 28 42 61", 0},
    {"from_euc_jis0212", EUC_TO_JIS2004, "8F B0 A1 8F B0 A2", CLEAR, "1B 24 28 50 21 22 1B 24 42 22 2E 1B 28 42", 1},
    {"into_itself_esc_o_and_esc_at", JIS2004_TO_JIS2004, "1B 24 28 4F 2D 21 1B 24 40 30 21 1B 28 4A 61", CLEAR,
     "1B 24 28 51 2D 21 1B 24 42 30 21 1B 28 42 61", 0},
    {"katakana_widened", JIS2004_TO_JIS2004, "1B 28 49 36 5E 31 1B 28 42", WIDE, "1B 24 42 25 2C 25 22 1B 28 42", 0},
};
INSTANTIATE_TEST_SUITE_P(ConvertJisJisX0213, ConvertJisRow, testing::ValuesIn(JIS_X0213), row_name);

INSTANTIATE_TEST_SUITE_P(ConvertJisFfIsData, ConvertJisRow, testing::ValuesIn(FF_IS_DATA), row_name);

// Real text: 東京は晴れ。Hello! LF, then a second line. The hex was made once by
// glibc iconv from UTF-8. JIS_IN_FULL is ISO-2022-JP of the line データとパソコン
// (iconv's ISO-2022-JP cannot write half-width katakana); JIS_IN_HALF is
// ISO-2022-JP-3 of ﾃﾞｰﾀとﾊﾟｿｺﾝ, which puts the katakana after ESC ( I. Both
// use ESC ( B; JIS_OUT_* are the same bytes with each ESC ( B turned by hand
// into ESC ( J, the kanji-out sequence written here. SJIS_* and EUC_* are
// SHIFT_JIS and EUC-JP of the same text.
constexpr char JIS_IN_FULL[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 42 48 65 6C 6C 6F 21 0A 1B 24 42 25 47 21 3C 25 "
    "3F 24 48 25 51 25 3D 25 33 25 73 1B 28 42 0A";
constexpr char JIS_IN_HALF[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 42 48 65 6C 6C 6F 21 0A 1B 28 49 43 5E 30 40 1B "
    "24 42 24 48 1B 28 49 4A 5F 3F 3A 5D 1B 28 42 0A";
constexpr char JIS_OUT_FULL[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 24 42 25 47 21 3C 25 "
    "3F 24 48 25 51 25 3D 25 33 25 73 1B 28 4A 0A";
constexpr char JIS_OUT_HALF[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 28 49 43 5E 30 40 1B "
    "24 42 24 48 1B 28 49 4A 5F 3F 3A 5D 1B 28 4A 0A";
// JIS to JIS with -f, by hand from JIS_OUT_FULL: each ESC ( I of the input is
// still echoed at once, before the widened katakana switch to kanji.
constexpr char JIS_OUT_HALF_WIDENED[] =
    "1B 24 42 45 6C 35 7E 24 4F 40 32 24 6C 21 23 1B 28 4A 48 65 6C 6C 6F 21 0A 1B 28 49 1B 24 42 25 47 "
    "21 3C 25 3F 24 48 1B 28 49 1B 24 42 25 51 25 3D 25 33 25 73 1B 28 4A 0A";
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

const Row REAL_TEXT[] = {
    {"real_text_fullwidth", TO_SJIS, JIS_IN_FULL, CLEAR, SJIS_FULL},
    {"real_text_fullwidth", TO_EUC, JIS_IN_FULL, CLEAR, EUC_FULL},
    {"real_text_fullwidth", TO_JIS, JIS_IN_FULL, CLEAR, JIS_OUT_FULL},
    {"real_text_fullwidth", TO_JIS, JIS_IN_FULL, WIDE, JIS_OUT_FULL},
    {"real_text", TO_SJIS, JIS_IN_HALF, CLEAR, SJIS_HALF},
    {"real_text", TO_SJIS, JIS_IN_HALF, WIDE, SJIS_FULL},
    {"real_text", TO_EUC, JIS_IN_HALF, CLEAR, EUC_HALF},
    {"real_text", TO_EUC, JIS_IN_HALF, WIDE, EUC_FULL},
    {"real_text", TO_JIS, JIS_IN_HALF, CLEAR, JIS_OUT_HALF},
    {"real_text", TO_JIS, JIS_IN_HALF, WIDE, JIS_OUT_HALF_WIDENED},
};
INSTANTIATE_TEST_SUITE_P(ConvertJisRealText, ConvertJisRow, testing::ValuesIn(REAL_TEXT), row_name);

}  // namespace
}  // namespace kotran
