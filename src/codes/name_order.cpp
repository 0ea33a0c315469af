#include "codes/name_order.h"

#include <algorithm>

namespace kotran {

bool is_lead_byte(unsigned char c, CharSet cs) {
  if (cs != CharSet::shift_jis) return false;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

int compare_names(const char* a, const char* b, CharSet cs) {
  // Takes the code of the character at p and steps past it; 0 is the end.
  auto next_code = [cs](const unsigned char*& p) -> unsigned {
    unsigned c = *p;
    if (c == 0) return 0;
    if (is_lead_byte(static_cast<unsigned char>(c), cs)) {
      const unsigned trail = p[1];
      if (trail == 0) {
        ++p;  // a lead byte with nothing after it ends the name
        return 0;
      }
      p += 2;
      unsigned code = c << 8 | trail;
      if (code >= 0x8260 && code <= 0x8279) code += 0x21;  // full-width A-Z as a-z
      return code;
    }
    ++p;
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    return c;
  };
  auto pa = reinterpret_cast<const unsigned char*>(a);
  auto pb = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    const unsigned ca = next_code(pa);
    const unsigned cb = next_code(pb);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

void sort_names(std::vector<std::string>& names, CharSet cs) {
  std::sort(names.begin(), names.end(), [cs](const std::string& a, const std::string& b) {
    const int order = compare_names(a.c_str(), b.c_str(), cs);
    return order != 0 ? order < 0 : a < b;
  });
}

}  // namespace kotran
