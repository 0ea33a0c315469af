#include "driver/options.h"

#include <cctype>

namespace kotran {
namespace {

Settings forced(Settings s, unsigned source, unsigned target) {
  return static_cast<Settings>(with_target(with_source(s, source), target) | SOURCE_FORCED);
}

Settings with_variant(Settings s, unsigned variant) {
  return static_cast<Settings>((s & ~JIS_VARIANT_MASK) | (variant << JIS_VARIANT_SHIFT));
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
    case 's':
      s = with_target(s, CODE_SJIS);
      return 1;
    case 'e':
      switch (second) {
        case 0: s = with_target(s, CODE_EUC); return 1;
        case 's': s = forced(s, CODE_EUC, CODE_SJIS); return 1;
        case 'j': s = forced(s, CODE_EUC, CODE_JIS); return 1;
        case 'u':
          if (!whole(word, 2)) return 0;
          s = forced(s, CODE_EUC, CODE_UTF8);
          return 1;
        default: return 0;
      }
    case 'u':
      if (!whole(word, second == 0 ? 1 : 2)) return 0;
      switch (second) {
        case 0: s = with_target(s, CODE_UTF8); return 1;
        case 's': s = forced(s, CODE_UTF8, CODE_SJIS); return 1;
        case 'e': s = forced(s, CODE_UTF8, CODE_EUC); return 1;
        case 'j': s = forced(s, CODE_UTF8, CODE_JIS); return 1;
        default: return 0;
      }
    case 'j':
      switch (second) {
        case 0: s = with_target(s, CODE_JIS); return 1;
        case '7': s = with_variant(s, 3); return 1;  // '78 kanji escape; the target stays
        case '8': s = with_variant(s, 0); return 1;
        case 's': s = forced(s, CODE_JIS, CODE_SJIS); return 1;
        case 'e': s = forced(s, CODE_JIS, CODE_EUC); return 1;
        case 'u':
          if (!whole(word, 2)) return 0;
          s = forced(s, CODE_JIS, CODE_UTF8);
          return 1;
        default: return 0;
      }
    default:
      return 0;
  }
}

}  // namespace kotran
