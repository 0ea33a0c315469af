// Names inside the program are UTF-8; every Win32 call takes them in
// UTF-16. These convert at that border, and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace kotran::platform::windows {

// The UTF-16 form of a UTF-8 name; false when the bytes are not UTF-8.
bool to_wide(std::string_view utf8, std::wstring& wide);
// The UTF-8 form of a UTF-16 name; an unpaired surrogate (which NTFS names
// may hold) becomes U+FFFD.
std::string to_utf8(std::wstring_view wide);

}  // namespace kotran::platform::windows
