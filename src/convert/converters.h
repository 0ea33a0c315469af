// The stream converters, one for each pair of source and target code. Each
// reads in to its end, writes the converted text to out, and returns
// non-zero on success.
#pragma once

#include "stream/text_stream.h"

namespace kotran {

using Converter = int (*)(TextStream* in, TextStream* out);

int convert_sjis_sjis(TextStream* in, TextStream* out);
int convert_sjis_jis(TextStream* in, TextStream* out);
int convert_sjis_euc(TextStream* in, TextStream* out);

int convert_jis_sjis(TextStream* in, TextStream* out);
int convert_jis_jis(TextStream* in, TextStream* out);
int convert_jis_euc(TextStream* in, TextStream* out);

int convert_euc_sjis(TextStream* in, TextStream* out);
int convert_euc_jis(TextStream* in, TextStream* out);
int convert_euc_euc(TextStream* in, TextStream* out);

int convert_sjis_utf8(TextStream* in, TextStream* out);
int convert_jis_utf8(TextStream* in, TextStream* out);
int convert_euc_utf8(TextStream* in, TextStream* out);

int convert_utf8_sjis(TextStream* in, TextStream* out);
int convert_utf8_jis(TextStream* in, TextStream* out);
int convert_utf8_euc(TextStream* in, TextStream* out);
int convert_utf8_utf8(TextStream* in, TextStream* out);

}  // namespace kotran
