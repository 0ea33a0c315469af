// The characters and the order of file names, the same on every host: how
// a name's bytes form characters, and how names are sorted for the user.
#pragma once

#include <string>
#include <vector>

namespace kotran {

// The character set of argument words and file names. With Shift-JIS a lead
// byte (0x81-0x9F, 0xE0-0xFC) and the byte after it form one character, and
// that second byte is never taken as a special character ('*', '?' or '/').
// A single-byte set has no lead bytes.
enum class CharSet { single_byte, shift_jis };

bool is_lead_byte(unsigned char c, CharSet cs);

// Sort order of file names: letters folded to lower case, two-byte
// characters after one-byte ones, with Shift-JIS full-width A-Z taken as
// full-width a-z. Negative, 0 or positive like strcmp.
int compare_names(const char* a, const char* b, CharSet cs);

// Sorts one word's names in place by compare_names; names that compare
// equal (A.txt and a.txt) are ordered by their bytes, so that the order does
// not depend on the listing's.
void sort_names(std::vector<std::string>& names, CharSet cs);

}  // namespace kotran
