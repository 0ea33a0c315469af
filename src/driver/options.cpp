#include "driver/options.h"

#include <cctype>
#include <cstring>

#include "codes/jis_escapes.h"

namespace kotran {
namespace {

Settings forced(Settings s, Code source, Code target) {
  return with_target(with_source(s, source), target) | SOURCE_FORCED;
}

// The code a word of --to= or --from= names: its short name or a name
// iconv and Python give it, upper or lower case, with or without '-' and
// '_' (Shift_JIS-2004, shift-jisx0213, sjis2004 alike); false for none.
bool code_named(const char* word, Code& code) {
  char folded[24];
  size_t n = 0;
  for (const char* p = word; *p != '\0'; ++p) {
    if (*p == '-' || *p == '_') continue;
    if (n + 1 == sizeof folded) return false;
    folded[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  folded[n] = '\0';
  static constexpr struct {
    const char* name;
    Code code;
  } names[] = {
      {"SJIS", Code::sjis},          {"SHIFTJIS", Code::sjis},          {"EUC", Code::euc},
      {"EUCJP", Code::euc},          {"JIS", Code::jis},                {"ISO2022JP", Code::jis},
      {"UTF8", Code::utf8},          {"UTF16", Code::utf16},            {"SJIS2004", Code::sjis2004},
      {"SHIFTJIS2004", Code::sjis2004}, {"SHIFTJISX0213", Code::sjis2004}, {"SJISX0213", Code::sjis2004},
      {"EUC2004", Code::euc2004},    {"EUCJIS2004", Code::euc2004},     {"EUCJISX0213", Code::euc2004},
      {"JIS2004", Code::jis2004},    {"ISO2022JP2004", Code::jis2004},
  };
  for (const auto& known : names) {
    if (std::strcmp(folded, known.name) == 0) {
      code = known.code;
      return true;
    }
  }
  return false;
}

// The extension options are whole words: "-euc" must not pass for "-eu".
// `letters` counts the characters after the '-'.
bool whole(const char* word, int letters) { return word[1 + letters] == '\0'; }

}  // namespace

int parse_option(const char* word, Settings& s) {
  if (word[0] == '\0') return 0;
  const int first = std::tolower(static_cast<unsigned char>(word[1]));
  const int second = first == 0 ? 0 : std::tolower(static_cast<unsigned char>(word[2]));
  switch (first) {
    case 'c':
      s |= TO_CONSOLE;
      return 1;
    case 'f':
      s |= TO_FULLWIDTH;
      return 1;
    case 'l':
      if (!whole(word, 1)) return 0;
      s |= LF_LINE_ENDS;
      return 1;
    case 'g':
      if (!whole(word, 1)) return 0;
      s |= GUESS_ONLY;
      return 1;
    case 'w':
      if (!whole(word, 1)) return 0;
      s = with_target(s, Code::utf16);
      return 1;
    case 's':
      s = with_target(s, Code::sjis);
      return 1;
    case 'e':
      switch (second) {
        case 0: s = with_target(s, Code::euc); return 1;
        case 's': s = forced(s, Code::euc, Code::sjis); return 1;
        case 'j': s = forced(s, Code::euc, Code::jis); return 1;
        case 'u':
          if (!whole(word, 2)) return 0;
          s = forced(s, Code::euc, Code::utf8);
          return 1;
        default: return 0;
      }
    case 'u':
      if (!whole(word, second == 0 ? 1 : 2)) return 0;
      switch (second) {
        case 0: s = with_target(s, Code::utf8); return 1;
        case 's': s = forced(s, Code::utf8, Code::sjis); return 1;
        case 'e': s = forced(s, Code::utf8, Code::euc); return 1;
        case 'j': s = forced(s, Code::utf8, Code::jis); return 1;
        default: return 0;
      }
    case 'j':
      switch (second) {
        case 0: s = with_target(s, Code::jis); return 1;
        case '7': s = with_jis_variant(s, JIS_VARIANT_78); return 1;  // the target stays
        case '8': s = with_jis_variant(s, JIS_VARIANT_83); return 1;
        case 's': s = forced(s, Code::jis, Code::sjis); return 1;
        case 'e': s = forced(s, Code::jis, Code::euc); return 1;
        case 'u':
          if (!whole(word, 2)) return 0;
          s = forced(s, Code::jis, Code::utf8);
          return 1;
        default: return 0;
      }
    case '-':
      // --unicode=jis writes the characters that Windows and Unicode's JIS
      // mapping write differently (〜 ‖ − ¢ £ ¬ —) in the JIS forms;
      // --unicode=windows, the default, in the Windows forms.
      if (std::strcmp(word, "--unicode=jis") == 0) {
        s |= JIS_FORMS;
        return 1;
      }
      if (std::strcmp(word, "--unicode=windows") == 0) {
        s &= ~JIS_FORMS;
        return 1;
      }
      // --to=CODE converts to the code, --from=CODE reads every file as
      // the code without recognising it.
      if (Code code; std::strncmp(word, "--to=", 5) == 0 && code_named(word + 5, code)) {
        s = with_target(s, code);
        return 1;
      }
      if (Code code; std::strncmp(word, "--from=", 7) == 0 && code_named(word + 7, code)) {
        s = with_source(s, code) | SOURCE_FORCED;
        return 1;
      }
      if (std::strcmp(word, "--strict") == 0) {
        s |= STRICT;
        return 1;
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace kotran
