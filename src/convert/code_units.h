// The reader and the writer of each code, by its place in the list of codes.
#pragma once

#include "codes/code.h"
#include "convert/readers/euc2004_reader.h"
#include "convert/readers/euc_reader.h"
#include "convert/readers/jis2004_reader.h"
#include "convert/readers/jis_reader.h"
#include "convert/readers/sjis2004_reader.h"
#include "convert/readers/sjis_reader.h"
#include "convert/readers/utf16_reader.h"
#include "convert/readers/utf8_reader.h"
#include "convert/writers/euc2004_writer.h"
#include "convert/writers/euc_writer.h"
#include "convert/writers/jis2004_writer.h"
#include "convert/writers/jis_writer.h"
#include "convert/writers/sjis2004_writer.h"
#include "convert/writers/sjis_writer.h"
#include "convert/writers/utf16_writer.h"
#include "convert/writers/utf8_writer.h"

namespace kotran {

template <Code>
struct CodeUnits;
#define KOTRAN_CODE_UNITS(id, Stem, name, extension) \
  template <>                                        \
  struct CodeUnits<Code::id> {                       \
    using Reader = Stem##Reader;                     \
    using Writer = Stem##Writer;                     \
  };
KOTRAN_CODES(KOTRAN_CODE_UNITS)
#undef KOTRAN_CODE_UNITS

}  // namespace kotran
