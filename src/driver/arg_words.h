// Argument words: the word list the program works on, wildcard words
// expanded into file names, and the order in which names are sorted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kotran {

// The character set of argument words and file names. With Shift-JIS a lead
// byte (0x81-0x9F, 0xE0-0xFC) and the byte after it form one character, and
// that second byte is never taken as a special character ('*', '?' or '/').
// A single-byte set has no lead bytes.
enum class CharSet { single_byte, shift_jis };

bool is_lead_byte(unsigned char c, CharSet cs);

// One argument word. A `literal` word is never expanded: the program name,
// and a word that names an existing file.
struct Word {
  std::string text;
  bool literal = false;

  friend bool operator==(const Word&, const Word&) = default;
};

// Sort order of file names: letters folded to lower case, two-byte
// characters after one-byte ones, with Shift-JIS full-width A-Z taken as
// full-width a-z. Negative, 0 or positive like strcmp.
int compare_names(const char* a, const char* b, CharSet cs);

// Sorts one word's names in place by compare_names; names that compare
// equal (A.txt and a.txt) are ordered by their bytes, so that the order does
// not depend on the listing's.
void sort_names(std::vector<std::string>& names, CharSet cs);

// Matches a file name against a wildcard pattern, character by character:
// '*' stands for any run of characters, '?' for exactly one (a two-byte
// character counts as one); every other character matches only itself,
// letter case included.
bool match_wildcard(std::string_view pattern, std::string_view name, CharSet cs);

// A directory listing: the entries of `directory` ("" is the current
// directory) whose names match `pattern`, in the order the host gives them.
// A directory that cannot be read lists nothing.
using DirectoryListing = std::vector<std::string> (*)(const std::string& directory,
                                                      std::string_view pattern, CharSet cs);

// The host's listing (opendir/readdir): hidden entries, directories, "."
// and ".." are all listed when they match, but kotran's own temporary files
// (names beginning ".kotran-") never are.
std::vector<std::string> list_directory(const std::string& directory, std::string_view pattern,
                                        CharSet cs);

// Replaces each word that is not literal and holds '*' or '?' by the names
// that it matches, sorted, "." and ".." left out. The word's directory part,
// everything up to its last '/' before the first wildcard, names the
// directory to list and is kept in front of every name. A word with no
// match stays as it is.
std::vector<Word> expand_wildcards(std::vector<Word> words, CharSet cs,
                                   DirectoryListing listing = list_directory);

// Room for the word list, in bytes: every word takes its length plus one.
inline constexpr std::size_t unlimited_room = SIZE_MAX;

// The word list for this host, whose shell has already split the words and
// expanded the wildcards it could. argv[0] is kept as it is. A later word
// holding '*' or '?' that names no existing file reached the program
// unexpanded (quoted, or the shell found no match) and goes through
// expand_wildcards. Out of memory (or of `room`): runtime error R6008 and
// exit status 255.
std::vector<std::string> prepare_arguments(int argc, char** argv);
std::vector<std::string> prepare_arguments(int argc, char** argv, CharSet cs,
                                           std::size_t room = unlimited_room);

// The character set named by a locale codeset (nl_langinfo(CODESET)):
// Shift-JIS for its names (SHIFT_JIS, SJIS, CP932, WINDOWS-31J, ...),
// compared without regard to case, '-' and '_'; single-byte otherwise.
CharSet charset_for_codeset(std::string_view codeset);

// The character set of the current LC_CTYPE locale; main() must have called
// setlocale(LC_CTYPE, "") first.
CharSet host_charset();

// Writes the R6008 runtime error to standard error and ends the process
// with status 255.
[[noreturn]] void fail_no_room_for_arguments();

}  // namespace kotran
