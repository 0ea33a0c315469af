// UTF-8 as a fourth code: the converters both ways, recognition, and the
// corpus of real text against glibc's iconv.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "convert/converters.h"
#include "converter_rows.h"
#include "recognition/detect_code.h"
#include "recognition/recognise.h"
#include "codes/code.h"
#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::convert_bytes;
using test::glibc_iconv;
using test::hex;
using test::to_hex;

using test::CLEAR;
using test::J7;
using test::JIS_FORMS;
using test::LF_ONLY;
using test::WIDE;
using test::row_name;
using Row = test::ConverterRow;

KOTRAN_CONVERTER_ROWS(Utf8ConvertRow)

// Legacy text to UTF-8.
const Row to_utf8_rows[] = {
    {"kanji, hiragana, ASCII", converter(Code::sjis, Code::utf8), "61 8A BF 82 A0 0A", CLEAR, "61 E6 BC A2 E3 81 82 0A", 0},
    {"half-width katakana stay half-width", converter(Code::sjis, Code::utf8), "B6 DE B1", CLEAR, "EF BD B6 EF BE 9E EF BD B1", 0},
    {"widened, voiced mark merged", converter(Code::sjis, Code::utf8), "B6 DE B1 0A", WIDE, "E3 82 AC E3 82 A2 0A", 0},
    {"a refused pair keeps its line end", converter(Code::sjis, Code::utf8), "61 81 0A 62", CLEAR, "61 EF BF BD 0A 62", 1},
    {"0x80, 0xA0 and 0xFF are stray bytes", converter(Code::sjis, Code::utf8), "80 A0 FF", CLEAR, "EF BF BD EF BF BD EF BF BD", 3},
    {"user-defined codes are private use", converter(Code::sjis, Code::utf8), "F0 40 F9 FC", CLEAR, "EE 80 80 EE 9D 97", 0},
    {"private use to user-defined codes", converter(Code::utf8, Code::sjis), "EE 80 80 EE 9D 97", CLEAR, "F0 40 F9 FC", 0},
    {"private use to EUC", converter(Code::utf8, Code::euc), "EE 80 80 EE 9D 97 EE 9D 98", CLEAR, "F5 A1 8F FE FE A2 AE", 1},
    {"a code past the IBM extensions has no character", converter(Code::sjis, Code::utf8), "FC 4C", CLEAR, "EF BF BD", 1},
    {"NEC row 13", converter(Code::sjis, Code::utf8), "87 40", CLEAR, "E2 91 A0", 0},
    {"an unassigned code", converter(Code::sjis, Code::utf8), "85 40", CLEAR, "EF BF BD", 1},
    {"a lead byte at the end is dropped, counted", converter(Code::sjis, Code::utf8), "61 81", CLEAR, "61", 1},
    {"JIS kanji and katakana", converter(Code::jis, Code::utf8), "1B 24 42 34 41 1B 28 49 31 1B 28 42 0A", CLEAR, "E6 BC A2 EF BD B1 0A", 0},
    {"JIS single-shift katakana, widened", converter(Code::jis, Code::utf8), "1B 4E 31", WIDE, "E3 82 A2", 0},
    {"JIS unrecognised escape passes on", converter(Code::jis, Code::utf8), "1B 4B 61", CLEAR, "1B 4B 61", 0},
    {"JIS 8-bit katakana in one-byte text", converter(Code::jis, Code::utf8), "B1 FF", CLEAR, "EF BD B1 EF BF BD", 1},
    {"EUC kanji and SS2 katakana", converter(Code::euc, Code::utf8), "B4 C1 8E B1 0A", CLEAR, "E6 BC A2 EF BD B1 0A", 0},
    {"EUC SS2 before a line end", converter(Code::euc, Code::utf8), "8E 0A 61", CLEAR, "EF BF BD 0A 61", 1},
    {"EUC SS3: JIS X 0212 丂 and á", converter(Code::euc, Code::utf8), "8F B0 A1 8F AB A1 61", CLEAR, "E4 B8 82 C3 A1 61", 0},
    {"EUC SS3 with a code JIS X 0212 lacks", converter(Code::euc, Code::utf8), "8F A1 A1 61", CLEAR, "EF BF BD 61", 1},
    {"JIS ESC $ ( D", converter(Code::jis, Code::utf8), "1B 24 28 44 30 21 2B 21 1B 28 42 61", CLEAR, "E4 B8 82 C3 A1 61", 0},
    {"EUC katakana without SS2, widened", converter(Code::euc, Code::utf8), "B1 0A", WIDE, "E3 82 A2 0A", 0},
    {"EUC ASCII with a stray high bit", converter(Code::euc, Code::utf8), "E1 0A", CLEAR, "61 0A", 0},
    // UTF-16: CR LF is one line end, a surrogate pair one character, a lone surrogate replaced.
    {"UTF-16LE with a surrogate pair", converter(Code::utf16, Code::utf8), "FF FE 3D D8 00 DE 0D 00 0A 00 0D 00 61 00", CLEAR,
     "F0 9F 98 80 0A 0D 61", 0},
    {"UTF-16BE", converter(Code::utf16, Code::utf8), "FE FF 65 E5 00 0A", CLEAR, "E6 97 A5 0A", 0},
    {"lone surrogates", converter(Code::utf16, Code::utf8), "FF FE 00 D8 61 00 00 DC", CLEAR, "EF BF BD 61 EF BF BD", 2},
    // A byte left alone at the end is dropped, and counted as a character cut off.
    {"UTF-16 odd last byte", converter(Code::utf16, Code::utf8), "FF FE 42 30 61", CLEAR, "E3 81 82", 1},
    {"UTF-16BE odd last byte", converter(Code::utf16, Code::sjis), "FE FF 30 42 0A", CLEAR, "82 A0", 1},
    {"UTF-16 to Shift-JIS", converter(Code::utf16, Code::sjis), "FF FE 42 30 0D 00 0A 00 3D D8 00 DE", CLEAR, "82 A0 0A 81 AC", 1},
    {"UTF-16 katakana widened", converter(Code::utf16, Code::sjis), "FF FE 76 FF 9E FF 71 FF", WIDE, "83 4B 83 41", 0},
    {"UTF-16 丂 to EUC", converter(Code::utf16, Code::euc), "FF FE 02 4E", CLEAR, "8F B0 A1", 0},
    {"to UTF-16LE with its mark, CR LF written", converter(Code::sjis, Code::utf16), "82 A0 0A 61 B1", CLEAR,
     "FF FE 42 30 0D 00 0A 00 61 00 71 FF", 0},
    {"to UTF-16 with LF alone", converter(Code::euc, Code::utf16), "A4 A2 0A", LF_ONLY, "FF FE 42 30 0A 00", 0},
    {"JIS X 0212 and katakana to UTF-16", converter(Code::jis, Code::utf16), "1B 24 28 44 30 21 1B 28 49 31 1B 28 42",
     CLEAR, "FF FE 02 4E 71 FF", 0},
    {"UTF-8 emoji to UTF-16", converter(Code::utf8, Code::utf16), "F0 9F 98 80 E3 81 82", CLEAR, "FF FE 3D D8 00 DE 42 30", 0},
    // 〜 ‖ − ¢ £ ¬ ― in the Windows forms, then with --unicode=jis in the JIS forms.
    {"Windows forms", converter(Code::sjis, Code::utf8), "81 60 81 61 81 7C 81 91 81 92 81 CA 81 5C", CLEAR,
     "EF BD 9E E2 88 A5 EF BC 8D EF BF A0 EF BF A1 EF BF A2 E2 80 95", 0},
    {"JIS forms", converter(Code::sjis, Code::utf8), "81 60 81 61 81 7C 81 91 81 92 81 CA 81 5C FA 54", JIS_FORMS,
     "E3 80 9C E2 80 96 E2 88 92 C2 A2 C2 A3 C2 AC E2 80 94 C2 AC", 0},
    {"JIS forms from EUC", converter(Code::euc, Code::utf8), "A1 C1 A1 C2 A1 DD A1 F1 A1 F2 A2 CC A1 BD", JIS_FORMS,
     "E3 80 9C E2 80 96 E2 88 92 C2 A2 C2 A3 C2 AC E2 80 94", 0},
    {"JIS forms from JIS", converter(Code::jis, Code::utf8), "1B 24 42 21 41 21 3D 1B 28 42", JIS_FORMS,
     "E3 80 9C E2 80 94", 0},
    // JIS X 0213, as Python's shift_jis_2004 and euc_jis_2004 read it: the
    // first and last cells of each row of plane 2, under each lead byte of
    // Shift_JIS-2004 and after SS3 in EUC-JIS-2004 (2-94-94 is unassigned).
    {"Shift_JIS-2004 F0: first and last cells of plane 2 rows 1 and 8", converter(Code::sjis2004, Code::utf8), "F0 40 F0 9E F0 9F F0 FC", CLEAR, "F0 A0 82 89 E3 92 92 E5 AE 96 E5 B9 AD", 0},
    {"Shift_JIS-2004 F1: first and last cells of plane 2 rows 3 and 4", converter(Code::sjis2004, Code::utf8), "F1 40 F1 9E F1 9F F1 FC", CLEAR, "E5 84 88 E5 94 89 E5 94 BC E5 A0 9E", 0},
    {"Shift_JIS-2004 F2: first and last cells of plane 2 rows 5 and 12", converter(Code::sjis2004, Code::utf8), "F2 40 F2 9E F2 9F F2 FC", CLEAR, "E5 A0 A0 F0 A1 A7 83 E5 B9 AE E6 89 B3", 0},
    {"Shift_JIS-2004 F3: first and last cells of plane 2 rows 13 and 14", converter(Code::sjis2004, Code::utf8), "F3 40 F3 9E F3 9F F3 FC", CLEAR, "E6 8A 99 E6 99 97 E6 99 9B E6 A3 96", 0},
    {"Shift_JIS-2004 F4: first and last cells of plane 2 rows 15 and 78", converter(Code::sjis2004, Code::utf8), "F4 40 F4 9E F4 9F F4 FC", CLEAR, "E6 A3 99 E6 AE 81 E6 AE 9B E3 B4 9E", 0},
    {"Shift_JIS-2004 F5: first and last cells of plane 2 rows 79 and 80", converter(Code::sjis2004, Code::utf8), "F5 40 F5 9E F5 9F F5 FC", CLEAR, "E6 BA 93 E7 86 AF E7 86 B3 E7 92 99", 0},
    {"Shift_JIS-2004 F6: first and last cells of plane 2 rows 81 and 82", converter(Code::sjis2004, Code::utf8), "F6 40 F6 9E F6 9F F6 FC", CLEAR, "E7 92 A0 E7 9C B5 F0 A5 86 A9 E7 A8 AD", 0},
    {"Shift_JIS-2004 F7: first and last cells of plane 2 rows 83 and 84", converter(Code::sjis2004, Code::utf8), "F7 40 F7 9E F7 9F F7 FC", CLEAR, "E7 A8 B8 E7 B3 88 E7 B3 8D E7 BF AF", 0},
    {"Shift_JIS-2004 F8: first and last cells of plane 2 rows 85 and 86", converter(Code::sjis2004, Code::utf8), "F8 40 F8 9E F8 9F F8 FC", CLEAR, "E7 BF B2 E8 8A A8 E8 8A B2 F0 A6 BF B8", 0},
    {"Shift_JIS-2004 F9: first and last cells of plane 2 rows 87 and 88", converter(Code::sjis2004, Code::utf8), "F9 40 F9 9E F9 9F F9 FC", CLEAR, "F0 A6 BF B6 E8 A0 A8 E8 A0 AE E8 B1 94", 0},
    {"Shift_JIS-2004 FA: first and last cells of plane 2 rows 89 and 90", converter(Code::sjis2004, Code::utf8), "FA 40 FA 9E FA 9F FA FC", CLEAR, "E8 B1 97 F0 A8 97 88 F0 A8 97 89 F0 A8 A8 9E", 0},
    {"Shift_JIS-2004 FB: first and last cells of plane 2 rows 91 and 92", converter(Code::sjis2004, Code::utf8), "FB 40 FB 9E FB 9F FB FC", CLEAR, "F0 A8 A8 A9 E9 9D 9B E9 9D AA E9 A8 A0", 0},
    {"Shift_JIS-2004 FC: first and last cells of plane 2 rows 93 and 94", converter(Code::sjis2004, Code::utf8), "FC 40 FC 9E FC 9F FC FC", CLEAR, "E9 A8 B1 E9 B1 BA E9 B3 A6 EF BF BD", 1},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 1 and 8", converter(Code::euc2004, Code::utf8), "8F A1 A1 8F A1 FE 8F A8 A1 8F A8 FE", CLEAR, "F0 A0 82 89 E3 92 92 E5 AE 96 E5 B9 AD", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 3 and 4", converter(Code::euc2004, Code::utf8), "8F A3 A1 8F A3 FE 8F A4 A1 8F A4 FE", CLEAR, "E5 84 88 E5 94 89 E5 94 BC E5 A0 9E", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 5 and 12", converter(Code::euc2004, Code::utf8), "8F A5 A1 8F A5 FE 8F AC A1 8F AC FE", CLEAR, "E5 A0 A0 F0 A1 A7 83 E5 B9 AE E6 89 B3", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 13 and 14", converter(Code::euc2004, Code::utf8), "8F AD A1 8F AD FE 8F AE A1 8F AE FE", CLEAR, "E6 8A 99 E6 99 97 E6 99 9B E6 A3 96", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 15 and 78", converter(Code::euc2004, Code::utf8), "8F AF A1 8F AF FE 8F EE A1 8F EE FE", CLEAR, "E6 A3 99 E6 AE 81 E6 AE 9B E3 B4 9E", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 79 and 80", converter(Code::euc2004, Code::utf8), "8F EF A1 8F EF FE 8F F0 A1 8F F0 FE", CLEAR, "E6 BA 93 E7 86 AF E7 86 B3 E7 92 99", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 81 and 82", converter(Code::euc2004, Code::utf8), "8F F1 A1 8F F1 FE 8F F2 A1 8F F2 FE", CLEAR, "E7 92 A0 E7 9C B5 F0 A5 86 A9 E7 A8 AD", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 83 and 84", converter(Code::euc2004, Code::utf8), "8F F3 A1 8F F3 FE 8F F4 A1 8F F4 FE", CLEAR, "E7 A8 B8 E7 B3 88 E7 B3 8D E7 BF AF", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 85 and 86", converter(Code::euc2004, Code::utf8), "8F F5 A1 8F F5 FE 8F F6 A1 8F F6 FE", CLEAR, "E7 BF B2 E8 8A A8 E8 8A B2 F0 A6 BF B8", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 87 and 88", converter(Code::euc2004, Code::utf8), "8F F7 A1 8F F7 FE 8F F8 A1 8F F8 FE", CLEAR, "F0 A6 BF B6 E8 A0 A8 E8 A0 AE E8 B1 94", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 89 and 90", converter(Code::euc2004, Code::utf8), "8F F9 A1 8F F9 FE 8F FA A1 8F FA FE", CLEAR, "E8 B1 97 F0 A8 97 88 F0 A8 97 89 F0 A8 A8 9E", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 91 and 92", converter(Code::euc2004, Code::utf8), "8F FB A1 8F FB FE 8F FC A1 8F FC FE", CLEAR, "F0 A8 A8 A9 E9 9D 9B E9 9D AA E9 A8 A0", 0},
    {"EUC-JIS-2004 SS3: first and last cells of plane 2 rows 93 and 94", converter(Code::euc2004, Code::utf8), "8F FD A1 8F FD FE 8F FE A1 8F FE FE", CLEAR, "E9 A8 B1 E9 B1 BA E9 B3 A6 EF BF BD", 1},
    {"EUC-JIS-2004 SS3 in a row plane 2 leaves empty is JIS X 0212", converter(Code::euc2004, Code::utf8),
     "8F B0 A2 8F B0 A1", CLEAR, "E4 B8 84 E4 B8 82", 0},
    {"Shift_JIS-2004 cells that hold a base and its mark", converter(Code::sjis2004, Code::utf8), "82 F5 86 63 86 85",
     CLEAR, "E3 81 8B E3 82 9A C3 A6 CC 80 CB A9 CB A5", 0},
    {"EUC-JIS-2004 cells that hold a base and its mark", converter(Code::euc2004, Code::utf8), "A4 F7 AB C4 AB E5",
     CLEAR, "E3 81 8B E3 82 9A C3 A6 CC 80 CB A9 CB A5", 0},
    {"a base and its mark to UTF-16: two units", converter(Code::sjis2004, Code::utf16), "82 F5 F0 40", CLEAR,
     "FF FE 4B 30 9A 30 40 D8 89 DC", 0},
    {"Shift_JIS-2004 plane 1 beyond JIS X 0208", converter(Code::sjis2004, Code::utf8), "87 40 87 A0 ED 40", CLEAR,
     "E2 91 A0 F0 A0 80 8B E7 A1 83", 0},
    {"Shift_JIS-2004 unassigned cell 1-4-92", converter(Code::sjis2004, Code::utf8), "82 FA 61", CLEAR, "EF BF BD 61", 1},
    {"EUC-JIS-2004 unassigned cell 1-4-92", converter(Code::euc2004, Code::utf8), "A4 FC 61", CLEAR, "EF BF BD 61", 1},
    // 〜 ‖ − ¢ £ ¬ in the forms of JIS X 0213's own mapping, ― as U+2015,
    // whatever --unicode says; 1-1-32 and 1-2-18 full-width, since 0x5C and
    // 0x7E are ASCII.
    {"JIS X 0213 forms", converter(Code::sjis2004, Code::utf8), "81 60 81 61 81 7C 81 91 81 92 81 CA 81 5C", CLEAR,
     "E3 80 9C E2 80 96 E2 88 92 C2 A2 C2 A3 C2 AC E2 80 95", 0},
    {"JIS X 0213 forms with --unicode=jis", converter(Code::euc2004, Code::utf8), "A1 C1 A1 BD", JIS_FORMS,
     "E3 80 9C E2 80 95", 0},
    {"Shift_JIS-2004 5C 7E and 1-1-32 1-2-18", converter(Code::sjis2004, Code::utf8), "5C 7E 81 5F 81 B0", CLEAR,
     "5C 7E EF BC BC EF BD 9E", 0},
    {"EUC-JIS-2004 5C 7E and 1-1-32 1-2-18", converter(Code::euc2004, Code::utf8), "5C 7E A1 C0 A2 B2", CLEAR,
     "5C 7E EF BC BC EF BD 9E", 0},
    {"Shift_JIS-2004 lead byte at the end is dropped", converter(Code::sjis2004, Code::utf8), "61 F0", CLEAR, "61", 1},
    {"Shift_JIS-2004 pair that is no code", converter(Code::sjis2004, Code::utf8), "F0 20 FD", CLEAR,
     "EF BF BD 20 EF BF BD", 2},
    {"ISO-2022-JP-2004 plane 1, plane 2 and JIS X 0208", converter(Code::jis2004, Code::utf8),
     "1B 24 28 51 24 77 1B 24 28 50 21 21 1B 24 42 34 41 1B 28 42 0A", CLEAR,
     "E3 81 8B E3 82 9A F0 A0 82 89 E6 BC A2 0A", 0},
    {"ISO-2022-JP-2004 ESC $ ( O read as plane 1, ESC $ ( D as JIS X 0212", converter(Code::jis2004, Code::utf8),
     "1B 24 28 4F 2D 21 1B 24 28 44 30 21 1B 28 42", CLEAR, "E2 91 A0 E4 B8 82", 0},
    {"ISO-2022-JP-2004 a plane goes on over a line end", converter(Code::jis2004, Code::utf8),
     "1B 24 28 50 21 21 0A 21 21 1B 28 42", CLEAR, "F0 A0 82 89 0A F0 A0 82 89", 0},
    {"ISO-2022-JP-2004 an escape of no set passes on", converter(Code::jis2004, Code::utf8), "1B 24 28 5A 61", CLEAR,
     "1B 24 28 5A 61", 0},
    {"ISO-2022-JP-2004 a first byte cut off", converter(Code::jis2004, Code::utf8), "1B 24 28 51 2D", CLEAR, "", 1},
    {"EUC-JIS-2004 SS3 and one byte before a line end, as EUC reads it", converter(Code::euc2004, Code::utf8),
     "8F A1 0A 61", CLEAR, "EF BF BD EF BF BD 0A 61", 2},
};

// UTF-8 to the legacy codes and to itself.
const Row from_utf8_rows[] = {
    {"to Shift-JIS", converter(Code::utf8, Code::sjis), "61 E6 BC A2 E3 81 82 0A", CLEAR, "61 8A BF 82 A0 0A", 0},
    {"to EUC", converter(Code::utf8, Code::euc), "61 E6 BC A2 E3 81 82 0A", CLEAR, "61 B4 C1 A4 A2 0A", 0},
    {"to JIS, back to ASCII before the line end", converter(Code::utf8, Code::jis), "61 E6 BC A2 0A", CLEAR, "61 1B 24 42 34 41 1B 28 42 0A", 0},
    {"to JIS with the '78 escape", converter(Code::utf8, Code::jis), "E6 BC A2", J7, "1B 24 40 34 41 1B 28 42", 0},
    // Into JIS from Unicode, \ ~ stay ASCII and ¥ ‾ go in JIS-Roman, as every ISO-2022-JP decoder reads them.
    {"to JIS: \\ ~ as ASCII, yen sign and overline in JIS-Roman", converter(Code::utf8, Code::jis),
     "E6 BC A2 20 5C 7E C2 A5 E2 80 BE E5 AD 97 5C 0A", CLEAR,
     "1B 24 42 34 41 1B 28 42 20 5C 7E 1B 28 4A 5C 7E 1B 24 42 3B 7A 1B 28 42 5C 0A", 0},
    {"to JIS: a yen sign at the end returns to ASCII", converter(Code::utf8, Code::jis), "C2 A5", CLEAR,
     "1B 28 4A 5C 1B 28 42", 0},
    {"UTF-16 to JIS: yen sign, then a backslash", converter(Code::utf16, Code::jis), "FF FE A5 00 5C 00 0D 00 0A 00",
     CLEAR, "1B 28 4A 5C 1B 28 42 5C 0A", 0},
    {"byte-order mark dropped", converter(Code::utf8, Code::sjis), "EF BB BF 61", CLEAR, "61", 0},
    {"a byte-order mark later is a character Shift-JIS lacks", converter(Code::utf8, Code::sjis), "61 EF BB BF", CLEAR, "61 81 AC", 1},
    {"half-width katakana to Shift-JIS", converter(Code::utf8, Code::sjis), "EF BD B6 EF BE 9E", CLEAR, "B6 DE", 0},
    {"half-width katakana to EUC", converter(Code::utf8, Code::euc), "EF BD B1", CLEAR, "8E B1", 0},
    {"half-width katakana to JIS", converter(Code::utf8, Code::jis), "EF BD B1 0A", CLEAR, "1B 28 49 31 1B 28 42 0A", 0},
    {"widened with the voiced mark merged", converter(Code::utf8, Code::sjis), "EF BD B6 EF BE 9E EF BD B1 0A", WIDE, "83 4B 83 41 0A", 0},
    {"widened, a mark that does not merge", converter(Code::utf8, Code::euc), "EF BD B1 EF BE 9E", WIDE, "A5 A2 A1 AB", 0},
    {"widened at the end", converter(Code::utf8, Code::jis), "EF BE 8A EF BE 9F", WIDE, "1B 24 42 25 51 1B 28 42", 0},
    {"no JIS code: 〓", converter(Code::utf8, Code::sjis), "E2 82 AC", CLEAR, "81 AC", 1},
    {"outside the BMP: 〓", converter(Code::utf8, Code::euc), "F0 9F 98 80 61", CLEAR, "A2 AE 61", 1},
    {"each invalid part: 〓", converter(Code::utf8, Code::sjis), "61 FF C3 28 E3 81 62", CLEAR, "61 81 AC 81 AC 28 81 AC 62", 3},
    {"overlong and surrogate forms are invalid", converter(Code::utf8, Code::sjis), "C0 AF ED A0 80", CLEAR, "81 AC 81 AC 81 AC 81 AC 81 AC", 5},
    {"truncated at the end", converter(Code::utf8, Code::sjis), "61 E6 BC", CLEAR, "61 81 AC", 1},
    {"yen sign and overline as JIS Roman", converter(Code::utf8, Code::sjis), "C2 A5 E2 80 BE", CLEAR, "5C 7E", 0},
    {"minus sign as the full-width hyphen-minus", converter(Code::utf8, Code::euc), "E2 88 92", CLEAR, "A1 DD", 0},
    // 〜 ‖ ¢ £ ¬ — ¦ as glibc's EUC-JP and nkf write them read as their Windows forms.
    {"JIS forms to Shift-JIS", converter(Code::utf8, Code::sjis), "E3 80 9C E2 80 96 C2 A2 C2 A3 C2 AC E2 80 94 C2 A6",
     CLEAR, "81 60 81 61 81 91 81 92 81 CA 81 5C EE FA", 0},
    {"JIS forms to EUC", converter(Code::utf8, Code::euc), "E3 80 9C E2 80 96 C2 A2 C2 A3 C2 AC E2 80 94", CLEAR,
     "A1 C1 A1 C2 A1 F1 A1 F2 A2 CC A1 BD", 0},
    // What JIS X 0208 lacks and JIS X 0212 holds: EUC after SS3, JIS after ESC $ ( D, Shift-JIS 〓.
    {"JIS X 0212 to EUC", converter(Code::utf8, Code::euc), "E4 B8 82 C3 A1 61", CLEAR, "8F B0 A1 8F AB A1 61", 0},
    {"JIS X 0212 to JIS", converter(Code::utf8, Code::jis), "E4 B8 82 C3 A1 61", CLEAR, "1B 24 28 44 30 21 2B 21 1B 28 42 61", 0},
    {"JIS X 0212 to Shift-JIS", converter(Code::utf8, Code::sjis), "E4 B8 82 C3 A1 61", CLEAR, "81 AC 81 AC 61", 2},
    {"horizontal bar too", converter(Code::utf8, Code::jis), "E2 80 95 E2 80 94", CLEAR, "1B 24 42 21 3D 21 3D 1B 28 42", 0},
    {"UTF-8 to itself widens katakana", converter(Code::utf8, Code::utf8), "EF BD B6 EF BE 9E F0 9F 98 80", WIDE, "E3 82 AC F0 9F 98 80", 0},
    {"UTF-8 to itself replaces invalid parts", converter(Code::utf8, Code::utf8), "61 FF 62", CLEAR, "61 EF BF BD 62", 1},
    // A base followed by its combining mark is the one cell of JIS X 0213
    // that holds both; followed by anything else, the base alone.
    {"base and mark to Shift_JIS-2004", converter(Code::utf8, Code::sjis2004), "E3 81 8B E3 82 9A 61", CLEAR, "82 F5 61", 0},
    {"base and mark to EUC-JIS-2004", converter(Code::utf8, Code::euc2004), "E3 81 8B E3 82 9A 61", CLEAR, "A4 F7 61", 0},
    {"base, then a mark of another pair", converter(Code::utf8, Code::sjis2004), "E3 81 8B CC 80", CLEAR, "82 A9 86 7B", 0},
    {"base at the end", converter(Code::utf8, Code::sjis2004), "61 E3 81 8B", CLEAR, "61 82 A9", 0},
    {"base before a line end", converter(Code::utf8, Code::euc2004), "E3 81 8B 0A E3 82 9A", CLEAR, "A4 AB 0A A2 AE", 1},
    {"base, then base and mark", converter(Code::utf8, Code::sjis2004), "E3 81 8B E3 81 8B E3 82 9A", CLEAR, "82 A9 82 F5", 0},
    {"tone letters: a pair, then one alone", converter(Code::utf8, Code::euc2004), "CB A9 CB A5 CB A9", CLEAR,
     "AB E5 AB E4", 0},
    {"a base that is also a mark of another pair", converter(Code::utf8, Code::sjis2004), "CB A5 CB A9 CB A5", CLEAR,
     "86 86 86 80", 0},
    {"semi-voiced mark alone: 〓", converter(Code::utf8, Code::sjis2004), "E3 82 9A", CLEAR, "81 AC", 1},
    {"UTF-16 base and mark", converter(Code::utf16, Code::sjis2004), "FF FE 4B 30 9A 30 54 02 01 03", CLEAR, "82 F5 86 68", 0},
    {"plane 2 past the BMP", converter(Code::utf8, Code::sjis2004), "F0 A0 82 89", CLEAR, "F0 40", 0},
    {"plane 2 past the BMP to EUC-JIS-2004", converter(Code::utf8, Code::euc2004), "F0 A0 82 89", CLEAR, "8F A1 A1", 0},
    {"full-width tilde is 1-2-18, wave dash 1-1-33", converter(Code::utf8, Code::sjis2004), "EF BD 9E E3 80 9C", CLEAR,
     "81 B0 81 60", 0},
    {"yen sign, overline, backslash, tilde to Shift_JIS-2004", converter(Code::utf8, Code::sjis2004), "C2 A5 E2 80 BE 5C 7E",
     CLEAR, "5C 7E 5C 7E", 0},
    {"a kanji of plane 2 and of JIS X 0212 to EUC-JIS-2004", converter(Code::utf8, Code::euc2004), "E4 B8 82", CLEAR,
     "8F A1 A2", 0},
    {"a kanji only JIS X 0212 holds: EUC-JIS-2004 SS3", converter(Code::utf8, Code::euc2004), "E4 B8 84", CLEAR,
     "8F B0 A2", 0},
    {"a kanji only JIS X 0212 holds: Shift_JIS-2004 〓", converter(Code::utf8, Code::sjis2004), "E4 B8 84", CLEAR, "81 AC", 1},
    {"private use to Shift_JIS-2004: 〓", converter(Code::utf8, Code::sjis2004), "EE 80 80", CLEAR, "81 AC", 1},
    // Into ISO-2022-JP-2004, JIS X 0208's cells after ESC $ B, the others
    // after ESC $ ( Q and ESC $ ( P, as Python's iso2022_jp_2004 writes them.
    {"to ISO-2022-JP-2004", converter(Code::utf8, Code::jis2004),
     "E3 81 8B E3 82 9A F0 A0 82 89 E2 91 A0 E6 BC A2 E5 AD 97 20 61 0A", CLEAR,
     "1B 24 28 51 24 77 1B 24 28 50 21 21 1B 24 28 51 2D 21 1B 24 42 34 41 3B 7A 1B 28 42 20 61 0A", 0},
    {"to ISO-2022-JP-2004: a base at the end", converter(Code::utf8, Code::jis2004), "E3 81 8B", CLEAR,
     "1B 24 42 24 2B 1B 28 42", 0},
    {"to ISO-2022-JP-2004: yen sign in JIS-Roman, katakana after ESC ( I", converter(Code::utf8, Code::jis2004),
     "5C C2 A5 EF BD B1 0A", CLEAR, "5C 1B 28 4A 5C 1B 28 49 31 1B 28 42 0A", 0},
    {"to ISO-2022-JP-2004: JIS X 0212 alone is 〓", converter(Code::utf8, Code::jis2004), "E4 B8 84", CLEAR,
     "1B 24 42 22 2E 1B 28 42", 1},
    {"half-width katakana to Shift_JIS-2004 and EUC-JIS-2004", converter(Code::utf8, Code::euc2004), "EF BD B1 E3 81 8B EF BD B1",
     CLEAR, "8E B1 A4 AB 8E B1", 0},
};

INSTANTIATE_TEST_SUITE_P(FromLegacyCodes, Utf8ConvertRow, testing::ValuesIn(to_utf8_rows), row_name);
INSTANTIATE_TEST_SUITE_P(ToLegacyCodes, Utf8ConvertRow, testing::ValuesIn(from_utf8_rows), row_name);

// Every mapped character in its canonical code (the lowest of duplicates)
// and every half-width katakana, in the given code.
std::string mapped_characters(unsigned code) {
  std::vector<uint16_t> mapped;
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      const auto jis = static_cast<uint16_t>(hi << 8 | lo);
      const char16_t u = jis_to_unicode(jis);
      if (u != 0 && unicode_to_jis(u) == jis) mapped.push_back(jis);
    }
  }
  return test::double_bytes_in(code, mapped) + '\n' + test::half_width_katakana_in(code) + '\n';
}

TEST(Utf8Convert, EveryMappedCharacterRoundTrips) {
  const Converter to_utf8[] = {converter(Code::sjis, Code::utf8), converter(Code::jis, Code::utf8), converter(Code::euc, Code::utf8)};
  const Converter from_utf8[] = {converter(Code::utf8, Code::sjis), converter(Code::utf8, Code::jis), converter(Code::utf8, Code::euc)};
  std::string first_utf8;
  for (unsigned code = 0; code < 3; ++code) {
    const std::string original = mapped_characters(code);
    ConversionResult found;
    const std::string utf8 = convert_bytes(to_utf8[code], original, {}, &found);
    EXPECT_EQ(found.replaced, 0u) << code;
    if (code == 0) first_utf8 = utf8;
    EXPECT_TRUE(utf8 == first_utf8) << "the three codes give the same UTF-8";
    const std::string back = convert_bytes(from_utf8[code], utf8, {}, &found);
    EXPECT_EQ(found.replaced, 0u) << code;
    // Back into JIS from UTF-8, one-byte text is ASCII: ESC ( B where the original has ESC ( J.
    std::string expected = original;
    for (size_t at = 0; code == 1 && (at = expected.find("\x1B(J", at)) != std::string::npos; at += 3) expected[at + 2] = 'B';
    EXPECT_EQ(back.size(), expected.size()) << code;
    EXPECT_TRUE(back == expected) << "round trip through UTF-8, code " << code;
  }
  // 7336 mapped codes less the 10 duplicates' second codes, one line end;
  // 63 katakana of three bytes each and a line end.
  EXPECT_EQ(first_utf8.size() > 7326 * 2 + 63 * 3, true);
}

const char* const legacy_charset[] = {"CP932", "ISO-2022-JP", "EUC-JP"};

TEST(Utf8Corpus, LegacyFormsConvertToTheSameUtf8AsIconv) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  const auto files = test::corpus_files();
  ASSERT_GE(files.size(), 8u);
  const Converter to_utf8[] = {converter(Code::sjis, Code::utf8), converter(Code::jis, Code::utf8), converter(Code::euc, Code::utf8)};
  for (const auto& f : files) {
    for (unsigned code = 0; code < 3; ++code) {
      std::string legacy;
      ASSERT_TRUE(glibc_iconv(legacy_charset[code], "UTF-8", f.utf8, legacy)) << f.name;
      std::string oracle;
      ASSERT_TRUE(glibc_iconv("UTF-8", legacy_charset[code], legacy, oracle)) << f.name;
      ConversionResult found;
      EXPECT_TRUE(convert_bytes(to_utf8[code], legacy, {}, &found) == oracle) << f.name << " from " << legacy_charset[code];
      EXPECT_EQ(found.replaced, 0u) << f.name;
    }
  }
}

TEST(Utf8Corpus, Utf8ConvertsToWhatIconvWrites) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  const Converter from_utf8[] = {converter(Code::utf8, Code::sjis), converter(Code::utf8, Code::jis), converter(Code::utf8, Code::euc)};
  for (const auto& f : test::corpus_files()) {
    for (unsigned code : {0u, 2u}) {
      std::string oracle;
      ASSERT_TRUE(glibc_iconv(legacy_charset[code], "UTF-8", f.utf8, oracle)) << f.name;
      EXPECT_TRUE(convert_bytes(from_utf8[code], f.utf8) == oracle) << f.name << " to " << legacy_charset[code];
    }
    // iconv's ISO-2022-JP returns to ASCII with ESC ( B; kotran writes the
    // '83 row's ESC ( J. Both read back to the same text.
    const std::string jis = convert_bytes(from_utf8[1], f.utf8);
    std::string decoded;
    ASSERT_TRUE(glibc_iconv("UTF-8", "ISO-2022-JP", jis, decoded)) << f.name;
    EXPECT_TRUE(decoded == f.utf8) << f.name;
  }
}

TEST(Utf8Recognition, CorpusUtf8IsAndLegacyIsNot) {
  SKIP_WITHOUT_THE_ICONV_ORACLE();
  auto recognised_code = [](const std::string& bytes) {
    TextStream* s = open_memory_input(bytes.data(), bytes.size());
    const Recognised code = recognise_code(s).code;
    close_stream(s);
    return code;
  };
  for (const auto& f : test::corpus_files()) {
    EXPECT_EQ(recognised_code(f.utf8), Recognised::utf8) << f.name;
    for (unsigned code = 0; code < 3; ++code) {
      std::string legacy;
      ASSERT_TRUE(glibc_iconv(legacy_charset[code], "UTF-8", f.utf8, legacy));
      EXPECT_EQ(recognised_code(legacy), recognised(code_at(code))) << f.name << " in " << legacy_charset[code];
      TextStream* s = open_memory_input(legacy.data(), legacy.size());
      EXPECT_EQ(detect_code(s), recognised(code_at(code))) << f.name << " in " << legacy_charset[code];
      close_stream(s);
    }
  }
}

}  // namespace
}  // namespace kotran
