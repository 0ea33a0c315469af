#include "platform/wildcards.h"

#include "platform/windows/wildcards.h"

#include <windows.h>

#include <algorithm>
#include <numeric>

#include "codes/name_order.h"
#include "platform/windows/wide_names.h"

namespace kotran::platform {

namespace {

// The names of the temporary outputs made beside each output: no file of
// the user's, and no input for a later run.
constexpr std::wstring_view TEMPORARY_PREFIX = L".kotran-";

bool is_high_surrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The length in units of the character at s[i].
size_t char_length(const std::wstring& s, size_t i) {
  return is_high_surrogate(s[i]) && i + 1 < s.size() ? 2 : 1;
}

// Upper case, as the file system compares names.
std::wstring folded(std::wstring s) {
  if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

// '*' is any run of characters, '?' exactly one (a surrogate pair is one);
// pattern and name are folded alike.
bool matches(const std::wstring& pattern, const std::wstring& name) {
  size_t p = 0, s = 0, star = std::wstring::npos, star_from = 0;
  while (s < name.size()) {
    const size_t length = char_length(name, s);
    if (p < pattern.size() && pattern[p] == L'?') {
      ++p;
      s += length;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      star_from = s;
    } else if (p < pattern.size() && pattern.compare(p, length, name, s, length) == 0) {
      p += length;
      s += length;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      star_from += char_length(name, star_from);
      s = star_from;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

// The folder part of a word: up to its last '\' or '/' before the first
// wildcard, or a drive letter and its colon.
size_t folder_part_length(std::string_view word, size_t first_wild) {
  const size_t separator = word.substr(0, first_wild).find_last_of("\\/");
  if (separator != std::string_view::npos) return separator + 1;
  if (first_wild >= 2 && word[1] == ':' && ((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= 'a' && word[0] <= 'z')))
    return 2;
  return 0;
}

}  // namespace

bool program_expands_wildcards() { return true; }

bool holds_wildcard(std::string_view word) { return word.find_first_of("*?") != std::string_view::npos; }

std::vector<std::string> expand_wildcard(std::string_view word) {
  std::vector<std::string> names;
  // UTF-8 never holds an ASCII byte inside another character, so the
  // bytes may be searched for '*', '?', '\' and '/' one by one.
  const size_t first_wild = word.find_first_of("*?");
  if (first_wild == std::string_view::npos) return names;
  const std::string_view folder = word.substr(0, folder_part_length(word, first_wild));
  const std::string_view pattern = word.substr(folder.size());
  if (pattern.find_first_of("\\/") != std::string_view::npos) return names;  // a wildcard in a folder's name
  std::wstring wide_folder, wide_pattern;
  if (!windows::to_wide(folder, wide_folder) || !windows::to_wide(pattern, wide_pattern)) return names;
  const std::wstring wanted = folded(wide_pattern);

  // Every entry is listed and matched here: the system's own matching
  // would also match short (8.3) names, so that "*.txt" took "a.txtx".
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileExW((wide_folder + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    if (name.compare(0, TEMPORARY_PREFIX.size(), TEMPORARY_PREFIX) == 0) continue;
    if (matches(wanted, folded(name))) names.push_back(std::string(folder) + windows::to_utf8(name));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  windows::sort_names_for_code_page(names, GetACP());
  return names;
}

namespace windows {

void sort_names_for_code_page(std::vector<std::string>& names, unsigned code_page) {
  if (code_page != 932) {
    sort_names(names, CharSet::single_byte);
    return;
  }
  // Each name's Shift-JIS form, in which it is compared ('?' for a
  // character that code page 932 lacks).
  std::vector<std::string> forms;
  forms.reserve(names.size());
  for (const std::string& name : names) {
    std::wstring wide;
    to_wide(name, wide);
    std::string form;
    if (!wide.empty()) {
      const int size = static_cast<int>(wide.size());
      const int n = WideCharToMultiByte(932, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
      form.resize(static_cast<size_t>(n > 0 ? n : 0));
      if (n > 0) WideCharToMultiByte(932, 0, wide.data(), size, form.data(), n, nullptr, nullptr);
    }
    forms.push_back(std::move(form));
  }
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int by_form = compare_names(forms[a].c_str(), forms[b].c_str(), CharSet::shift_jis);
    return by_form != 0 ? by_form < 0 : names[a] < names[b];
  });
  std::vector<std::string> sorted;
  sorted.reserve(names.size());
  for (const size_t i : order) sorted.push_back(std::move(names[i]));
  names = std::move(sorted);
}

}  // namespace windows

}  // namespace kotran::platform
