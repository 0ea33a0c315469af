#include "driver/conversion_table.h"

namespace kotran {

const ConversionEntry conversion_table[CODE_COUNT][CODE_COUNT] = {
    {
        {".sjs", convert_sjis_sjis, "Shift-JIS -> Shift-JIS"},
        {".jis", convert_sjis_jis, "Shift-JIS -> JIS"},
        {".euc", convert_sjis_euc, "Shift-JIS -> EUC"},
        {".utf8", convert_sjis_utf8, "Shift-JIS -> UTF-8"},
    },
    {
        {".sjs", convert_jis_sjis, "JIS -> Shift-JIS"},
        {".jis", convert_jis_jis, "JIS -> JIS"},
        {".euc", convert_jis_euc, "JIS -> EUC"},
        {".utf8", convert_jis_utf8, "JIS -> UTF-8"},
    },
    {
        {".sjs", convert_euc_sjis, "EUC -> Shift-JIS"},
        {".jis", convert_euc_jis, "EUC -> JIS"},
        {".euc", convert_euc_euc, "EUC -> EUC"},
        {".utf8", convert_euc_utf8, "EUC -> UTF-8"},
    },
    {
        {".sjs", convert_utf8_sjis, "UTF-8 -> Shift-JIS"},
        {".jis", convert_utf8_jis, "UTF-8 -> JIS"},
        {".euc", convert_utf8_euc, "UTF-8 -> EUC"},
        {".utf8", convert_utf8_utf8, "UTF-8 -> UTF-8"},
    },
};

}  // namespace kotran
