#include "sample_text.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "codes/code.h"
#include "codes/jis_sjis.h"

namespace kotran::test {

std::vector<CorpusFile> corpus_files() {
  std::vector<CorpusFile> files;
  const std::string dir = std::string(KOTRAN_SOURCE_DIR) + "/tests/corpus";
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() <= 4 || n.substr(n.size() - 4) != ".txt") continue;
      std::ifstream f(dir + "/" + n, std::ios::binary);
      std::ostringstream s;
      s << f.rdbuf();
      files.push_back({n, s.str()});
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

std::vector<std::string> corpus_lines() {
  std::vector<std::string> lines;
  for (const auto& f : corpus_files()) {
    std::istringstream s(f.utf8);
    std::string line;
    while (std::getline(s, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  return lines;
}

std::string double_bytes_in(unsigned code, const std::vector<uint16_t>& jis_codes) {
  std::string text;
  if (code == index_of(Code::jis)) text += "\x1B$B";
  for (const uint16_t jis : jis_codes) {
    // Shift-JIS holds the user-defined characters of rows 85-88 and 93-94
    // in its own user-defined rows, ten rows on.
    const unsigned row = jis >> 8;
    const bool user_defined = (row >= 0x75 && row <= 0x78) || row >= 0x7D;
    const unsigned c = code == index_of(Code::sjis) ? jis_to_sjis_code(user_defined ? jis + 0x0A00u : jis)
                       : code == index_of(Code::euc) ? (jis | 0x8080u)
                                                     : jis;
    text += static_cast<char>(c >> 8);
    text += static_cast<char>(c & 0xFF);
  }
  if (code == index_of(Code::jis)) text += "\x1B(J";
  return text;
}

std::string half_width_katakana_in(unsigned code) {
  std::string text;
  if (code == index_of(Code::jis)) text += "\x1B(I";
  for (unsigned k = 0xA1; k <= 0xDF; ++k) {
    if (code == index_of(Code::euc)) text += '\x8E';
    text += static_cast<char>(code == index_of(Code::jis) ? k & 0x7F : k);
  }
  if (code == index_of(Code::jis)) text += "\x1B(J";
  return text;
}

}  // namespace kotran::test
