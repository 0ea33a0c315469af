// Argument words: the word list the program works on, wildcard words
// expanded into file names, and the order in which names are sorted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codes/name_order.h"

namespace kotran {

// One argument word. A `literal` word is never expanded: the program name,
// and a word that names an existing file.
struct Word {
  std::string text;
  bool literal = false;

  friend bool operator==(const Word&, const Word&) = default;
};

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

// The word list for this host. Where the program expands wildcard words
// itself (platform::program_expands_wildcards), expand_host_words; else
// the host's shell has already split the words and
// expanded the wildcards it could. argv[0] is kept as it is. A later word
// holding '*' or '?' that names no existing file reached the program
// unexpanded (quoted, or the shell found no match) and goes through
// expand_wildcards. Out of memory (or of `room`): runtime error R6008 and
// exit status 255.
std::vector<std::string> prepare_arguments(int argc, char** argv);
std::vector<std::string> prepare_arguments(int argc, char** argv, CharSet cs,
                                           std::size_t room = unlimited_room);

// The word list of a host whose shells leave wildcard words to the program
// (Windows): the words as the host split them (platform::argument_words),
// the program's name first and kept as it is; in every later word '\'
// becomes '/' (both separate folders there), and a word holding '*' or '?'
// that names no existing file is replaced by the names it matches
// (platform::expand_wildcard), and stays as it is when it matches none.
// prepare_arguments(argc, argv) takes this way where the host says so.
std::vector<std::string> expand_host_words(std::vector<std::string> words, std::size_t room = unlimited_room);

// The character set named by a locale codeset (nl_langinfo(CODESET)):
// Shift-JIS for its names (SHIFT_JIS, SJIS, CP932, WINDOWS-31J, ...),
// compared without regard to case, '-' and '_'; single-byte otherwise.
CharSet charset_for_codeset(std::string_view codeset);

// The character set of the user's LC_CTYPE locale (platform::host_codeset).
CharSet host_charset();

// Writes the R6008 runtime error to standard error and ends the process
// with status 255.
[[noreturn]] void fail_no_room_for_arguments();

}  // namespace kotran
