#include "driver/conversion_table.h"

#include <string>

#include "convert/converters.h"

namespace kotran {
namespace {

struct Table {
  std::string descriptions[CODE_COUNT][CODE_COUNT];
  ConversionEntry entries[CODE_COUNT][CODE_COUNT];

  Table() {
    for (size_t s = 0; s < CODE_COUNT; ++s) {
      for (size_t t = 0; t < CODE_COUNT; ++t) {
        descriptions[s][t] = std::string(code_info[s].name) + " -> " + code_info[t].name;
        entries[s][t] = {code_info[t].extension, converter(code_at(s), code_at(t)), descriptions[s][t].c_str()};
      }
    }
  }
};

}  // namespace

const ConversionEntry& conversion_table(Code source, Code target) {
  static const Table table;
  return table.entries[index_of(source)][index_of(target)];
}

}  // namespace kotran
