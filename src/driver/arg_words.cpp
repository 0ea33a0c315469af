// Argument words: the word list, wildcard expansion and the sort of names.
#include "driver/arg_words.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/wildcards.h"
#include "stream/text_stream.h"

namespace kotran {

namespace {

constexpr std::size_t npos = std::string::npos;

// The index after the character that starts at s[i].
std::size_t next_char(std::string_view s, std::size_t i, CharSet cs) {
  if (is_lead_byte(static_cast<unsigned char>(s[i]), cs) && i + 1 < s.size()) return i + 2;
  return i + 1;
}

// Expands one word into `names` (sorted) and says whether it matched
// anything. A word without '*' and '?', and one that matches nothing but
// "." and "..", are left to the caller, which keeps the word.
bool expand_word(const std::string& word, CharSet cs, DirectoryListing listing,
                 std::vector<std::string>& names) {
  std::size_t first_wild = npos;
  std::size_t last_sep = npos;
  for (std::size_t i = 0; i < word.size(); i = next_char(word, i, cs)) {
    // i is always at the start of a character, so a trail byte is
    // never looked at here.
    const auto c = static_cast<unsigned char>(word[i]);
    if (c == '*' || c == '?') {
      first_wild = i;
      break;
    }
    if (c == '/') last_sep = i;
  }
  if (first_wild == npos) return false;

  // The prefix, kept as written, is also the directory to list.
  const std::string prefix = last_sep == npos ? std::string() : word.substr(0, last_sep + 1);
  const std::string_view pattern = std::string_view(word).substr(prefix.size());

  names.clear();
  for (const std::string& entry : listing(prefix, pattern, cs)) {
    if (entry == "." || entry == "..") continue;
    names.push_back(prefix + entry);
  }
  if (names.empty()) return false;
  sort_names(names, cs);
  return true;
}

bool holds_wildcard(std::string_view word, CharSet cs) {
  for (std::size_t i = 0; i < word.size(); i = next_char(word, i, cs)) {
    if (word[i] == '*' || word[i] == '?') return true;
  }
  return false;
}

// The code of the character at s[i], and its length in bytes: a two-byte
// character is lead * 256 + trail, every other byte its own value.
unsigned char_code(std::string_view s, std::size_t i, CharSet cs, std::size_t& length) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (is_lead_byte(c, cs) && i + 1 < s.size()) {
    length = 2;
    return static_cast<unsigned>(c) << 8 | static_cast<unsigned char>(s[i + 1]);
  }
  length = 1;
  return c;
}

// The names of the temporary outputs that OutputFile makes beside each
// output: no file of the user's, and no input for a later run.
constexpr std::string_view TEMPORARY_PREFIX = ".kotran-";

// Room left for the word list; taking more than there is fails like an
// allocation would.
class Room {
 public:
  explicit Room(std::size_t bytes) : left_(bytes) {}
  void take(const std::string& word) {
    const std::size_t need = word.size() + 1;
    if (need > left_) throw std::bad_alloc();
    left_ -= need;
  }

 private:
  std::size_t left_;
};

class DirHandle {
 public:
  explicit DirHandle(const char* path) : dir_(opendir(path)) {}
  ~DirHandle() {
    if (dir_ != nullptr) closedir(dir_);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

}  // namespace

bool match_wildcard(std::string_view pattern, std::string_view name, CharSet cs) {
  // Byte positions, each at the start of a character.
  std::size_t p = 0;
  std::size_t s = 0;
  std::size_t star = npos;  // the last '*' seen, to retry with a longer run
  std::size_t star_from = 0;
  while (s < name.size()) {
    std::size_t p_length = 0;
    std::size_t s_length = 0;
    const unsigned pc = p < pattern.size() ? char_code(pattern, p, cs, p_length) : 0;
    const unsigned sc = char_code(name, s, cs, s_length);
    if (p < pattern.size() && (pc == '?' || (pc != '*' && pc == sc))) {
      p += p_length;
      s += s_length;
    } else if (p < pattern.size() && pc == '*') {
      star = p;
      p += p_length;
      star_from = s;
    } else if (star != npos) {
      p = star + 1;
      star_from = next_char(name, star_from, cs);
      s = star_from;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> list_directory(const std::string& directory, std::string_view pattern,
                                        CharSet cs) {
  std::vector<std::string> entries;
  DirHandle dir(directory.empty() ? "." : directory.c_str());
  if (dir.get() == nullptr) return entries;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name(entry->d_name);
    if (name.substr(0, TEMPORARY_PREFIX.size()) == TEMPORARY_PREFIX) continue;
    if (match_wildcard(pattern, name, cs)) entries.emplace_back(name);
  }
  return entries;
}

std::vector<Word> expand_wildcards(std::vector<Word> words, CharSet cs, DirectoryListing listing) {
  std::vector<Word> result;
  result.reserve(words.size());
  std::vector<std::string> names;
  for (Word& word : words) {
    if (!word.literal && expand_word(word.text, cs, listing, names)) {
      for (std::string& name : names) result.push_back(Word{std::move(name), false});
    } else {
      result.push_back(std::move(word));
    }
  }
  return result;
}

std::vector<std::string> prepare_arguments(int argc, char** argv) {
  if (platform::program_expands_wildcards()) return expand_host_words(platform::argument_words(argc, argv));
  // The host's character set tells where a wildcard word's characters
  // begin; '*' and '?' are never the second byte of a Shift-JIS character,
  // so words without either need none, and the locale is not read for them.
  bool wild = false;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) wild = wild || std::strpbrk(argv[i], "*?") != nullptr;
  return prepare_arguments(argc, argv, wild ? host_charset() : CharSet::single_byte);
}

std::vector<std::string> expand_host_words(std::vector<std::string> words, std::size_t room) {
  try {
    Room left(room);
    std::vector<std::string> result;
    for (std::size_t i = 0; i < words.size(); ++i) {
      // The host's other folder separator becomes the one the program's
      // name rules split at.
      if (i > 0) std::replace(words[i].begin(), words[i].end(), '\\', '/');
      // A wildcard word that names an existing file is that file.
      struct stat st;
      std::vector<std::string> names;
      if (i > 0 && platform::holds_wildcard(words[i]) && lstat(words[i].c_str(), &st) != 0)
        names = platform::expand_wildcard(words[i]);
      if (names.empty()) names.push_back(std::move(words[i]));
      for (std::string& name : names) {
        left.take(name);
        result.push_back(std::move(name));
      }
    }
    return result;
  } catch (const std::bad_alloc&) {
    fail_no_room_for_arguments();
  }
}

std::vector<std::string> prepare_arguments(int argc, char** argv, CharSet cs, std::size_t room) {
  try {
    std::vector<Word> words;
    if (argc <= 0 || argv == nullptr) return {};
    if (argv[0] != nullptr) words.push_back(Word{argv[0], true});
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
      Word word{argv[i], false};
      // A wildcard word that names an existing file is that file; any
      // other one was left alone by the shell and is expanded.
      struct stat st;
      word.literal = holds_wildcard(word.text, cs) && lstat(word.text.c_str(), &st) == 0;
      words.push_back(std::move(word));
    }
    Room left(room);
    std::vector<std::string> result;
    for (Word& word : expand_wildcards(std::move(words), cs)) {
      left.take(word.text);
      result.push_back(std::move(word.text));
    }
    return result;
  } catch (const std::bad_alloc&) {
    fail_no_room_for_arguments();
  }
}

CharSet charset_for_codeset(std::string_view codeset) {
  std::string folded;
  for (const char ch : codeset) {
    if (ch == '-' || ch == '_') continue;
    folded += (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
  }
  static constexpr std::string_view shift_jis_names[] = {
      "SHIFTJIS", "SJIS",       "SHIFTJISX0213", "CP932",  "MS932",    "WINDOWS31J",
      "MSKANJI",  "CSSHIFTJIS", "CSWINDOWS31J",  "IBM943", "SJISOPEN", "SJISWIN",
  };
  for (const std::string_view known : shift_jis_names) {
    if (folded == known) return CharSet::shift_jis;
  }
  return CharSet::single_byte;
}

CharSet host_charset() { return charset_for_codeset(platform::host_codeset()); }

void fail_no_room_for_arguments() {
  static constexpr char message[] =
      "\r\nruntime error R6008\r\n- not enough space for arguments\r\n";
  write_all(2, message, sizeof message - 1);
  _exit(255);
}

}  // namespace kotran
