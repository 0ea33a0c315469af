#include "driver/conversion_table.h"

namespace kotran {

const ConversionEntry conversion_table[CODE_COUNT][CODE_COUNT] = {
    {
        {".sjs", convert_sjis_sjis, "Shift-JIS -> Shift-JIS"},
        {".jis", convert_sjis_jis, "Shift-JIS -> JIS"},
        {".euc", convert_sjis_euc, "Shift-JIS -> EUC"},
    },
    {
        {".sjs", convert_jis_sjis, "JIS -> Shift-JIS"},
        {".jis", convert_jis_jis, "JIS -> JIS"},
        {".euc", convert_jis_euc, "JIS -> EUC"},
    },
    {
        {".sjs", convert_euc_sjis, "EUC -> Shift-JIS"},
        {".jis", convert_euc_jis, "EUC -> JIS"},
        {".euc", convert_euc_euc, "EUC -> EUC"},
    },
};

}  // namespace kotran
