// Sample Japanese text shared by the tests: two short lines in each code,
// the real prose of tests/corpus, and every character of JIS X 0208 in a code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_util.h"

namespace kotran::test {

// "日本語の文章です。" / "abc 漢字とカタカナ、表示。", CR LF line ends: 48 bytes each.
inline const std::string kSjisText = hex(
    "93 FA 96 7B 8C EA 82 CC 95 B6 8F CD 82 C5 82 B7 81 42 0D 0A "
    "61 62 63 20 8A BF 8E 9A 82 C6 83 4A 83 5E 83 4A 83 69 81 41 95 5C 8E A6 81 42 0D 0A");
inline const std::string kEucText = hex(
    "C6 FC CB DC B8 EC A4 CE CA B8 BE CF A4 C7 A4 B9 A1 A3 0D 0A "
    "61 62 63 20 B4 C1 BB FA A4 C8 A5 AB A5 BF A5 AB A5 CA A1 A2 C9 BD BC A8 A1 A3 0D 0A");
// kSjisText in UTF-8.
inline const std::string kUtf8Text = hex(
    "E6 97 A5 E6 9C AC E8 AA 9E E3 81 AE E6 96 87 E7 AB A0 E3 81 A7 E3 81 99 E3 80 82 0D 0A "
    "61 62 63 20 E6 BC A2 E5 AD 97 E3 81 A8 E3 82 AB E3 82 BF E3 82 AB E3 83 8A E3 80 81 E8 A1 A8 E7 A4 BA E3 80 82 0D 0A");

// The UTF-8 files of tests/corpus, in name order.
struct CorpusFile {
  std::string name;
  std::string utf8;
};
std::vector<CorpusFile> corpus_files();
// Their lines one after the other, without the line ends.
std::vector<std::string> corpus_lines();

// The JIS X 0208 codes in the code numbered by index_of (Shift-JIS, JIS or
// EUC), two bytes each; in JIS between ESC $ B and ESC ( J.
std::string double_bytes_in(unsigned code, const std::vector<uint16_t>& jis_codes);
// The 63 half-width katakana in that code; in JIS between ESC ( I and ESC ( J.
std::string half_width_katakana_in(unsigned code);

}  // namespace kotran::test
