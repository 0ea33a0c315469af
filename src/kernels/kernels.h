// The kernels the converters' tight loops and recognition take, of every
// instruction set this build can compile: the one header the layers above
// include. What a path may call is decided by the path (kernels/paths.h);
// the byte loops remain the reference every kernel is tested against.
#pragma once

#include <cstddef>

#include "codes/utf8_forms.h"
#include "kernels/units.h"
#include "kernels/words/ascii_words.h"

#if defined(__SSE2__)
#include "kernels/avx2/ascii.h"
#include "kernels/avx2/pairs.h"
#include "kernels/avx2/utf8.h"
#include "kernels/avx512bw/ascii.h"
#include "kernels/avx512bw/pairs.h"
#include "kernels/avx512bw/utf8.h"
#include "kernels/avx512vbmi2/pairs.h"
#include "kernels/sse2/ascii.h"
#include "kernels/sse2/pairs.h"
#else
#include "kernels/neon/ascii.h"
#include "kernels/neon/pairs.h"
#endif

namespace kotran {

#if defined(__SSE2__)
inline constexpr bool SSE2_KERNELS = true;
#else
inline constexpr bool SSE2_KERNELS = false;
#endif
#if defined(KOTRAN_NEON_KERNELS)
inline constexpr bool NEON_KERNELS = true;
#else
inline constexpr bool NEON_KERNELS = false;
#endif

// Whether some path of this build takes vector kernels.
inline constexpr bool PAIR_VECTORS = SSE2_KERNELS || NEON_KERNELS;

#if !defined(__SSE2__)
// Without the x86 kernels the paths of AVX2 and AVX-512 are never taken;
// their kernels are declared for the loops' code that the path leaves out,
// and never called.
#define KOTRAN_WIDE inline
#define KOTRAN_WIDEST inline
#define KOTRAN_WIDE_ENTRY __attribute__((noinline))
#define KOTRAN_WIDEST_ENTRY __attribute__((noinline))
#define KOTRAN_COMPRESS_ENTRY __attribute__((noinline))
template <bool into_sjis = false>
PlainUnits euc_plain_units_wide(const unsigned char* p);
PlainUnits sjis_plain_units_wide(const unsigned char* p);
void store_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_euc_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_jis_wide(unsigned char* o, const unsigned char* p, uint32_t leads);
template <bool far_rows = false>
unsigned jis_pair_length_wide(const unsigned char* p);
void store_jis_as_sjis_wide(unsigned char* o, const unsigned char* p);
void store_jis_as_euc_wide(unsigned char* o, const unsigned char* p);
LineEndBytes line_end_bytes_wide(const unsigned char* p);
LineEndBytes64 line_end_bytes_block_wide(const unsigned char* p);
unsigned wide_bits_before_first(uint64_t bits);
PlainUnits sjis_plain_units_block_wide(const unsigned char* p);
void store_sjis_as_jis_block_wide(unsigned char* o, const unsigned char* p, uint64_t leads);
PlainUnits sjis_carried_units_wide(const unsigned char* p, uint64_t carried);
unsigned char* store_carried_sjis_as_euc_wide(unsigned char* o, const unsigned char* p, PlainUnits u, uint64_t carried);
unsigned char* store_carried_sjis_as_jis_wide(unsigned char* o, const unsigned char* p, PlainUnits u, uint64_t carried);
PlainUnits euc_carried_units_wide(const unsigned char* p, uint64_t carried);
unsigned char* store_carried_euc_as_sjis_wide(unsigned char* o, const unsigned char* p, PlainUnits u, uint64_t carried);
size_t store_utf8_run_as_jis_wide(unsigned char*& o, const unsigned char* p);
template <JisBlocksInto into>
size_t store_jis_blocks_wide(unsigned char*& o, const unsigned char* p, size_t blocks, LineEndStops stops,
                             JisCarry& carry, bool take_kana, const Utf8Form* forms, uint64_t& replaced);
template <RunPairs into>
size_t store_utf8_blocks_wide(unsigned char*& o, const unsigned char* p, size_t blocks, bool store_kana,
                              LineEndStops stops);
template <RunPairs into>
size_t store_utf8_mixed_wide(unsigned char*& o, const unsigned char* p, unsigned length, bool store_kana);
template <bool into_sjis = false>
PlainUnits euc_plain_units_block_wide(const unsigned char* p);
unsigned store_sjis_block_as_utf8_wide(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms);
template <bool euc>
size_t store_pair_blocks_as_utf8_wide(unsigned char*& o, const unsigned char* p, size_t blocks, bool store_kana,
                                      LineEndStops stops, const Utf8Form* forms, uint64_t& replaced);
unsigned store_euc_block_as_utf8_wide(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms);
PlainUnits sjis_plain_units_widest(const unsigned char* p);
unsigned bits_before_first(uint64_t bits);
template <bool into_sjis = false>
PlainUnits euc_plain_units_widest(const unsigned char* p);
LineEndBytes64 line_end_bytes_widest(const unsigned char* p);
void store_sjis_as_euc_widest(unsigned char* o, const unsigned char* p, uint64_t leads);
void store_sjis_as_jis_widest(unsigned char* o, const unsigned char* p, uint64_t leads);
void store_euc_as_sjis_widest(unsigned char* o, const unsigned char* p, uint64_t leads);
void store_euc_as_jis_widest(unsigned char* o, const unsigned char* p);
void store_copy_widest(unsigned char* o, const unsigned char* p);
template <JisBlocksInto into, bool compress>
size_t store_jis_blocks_widest(unsigned char*& o, const unsigned char* p, size_t blocks, LineEndStops stops,
                               JisCarry& carry, bool take_kana, const Utf8Form* forms, uint64_t& replaced);
PlainUnits sjis_carried_units_widest(const unsigned char* p, uint64_t carried);
SjisClasses64 sjis_classes_widest(const unsigned char* p);
PlainUnits sjis_carried_units_of_widest(const unsigned char* p, const SjisClasses64& c, uint64_t carried);
EucCarriedBytes64 classify_euc_carried_bytes_widest(const unsigned char* p, bool kana);
PlainUnits euc_carried_units_of_widest(const unsigned char* p, const EucCarriedBytes64& c, uint64_t carried);
unsigned char* store_carried_sjis_as_euc_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                uint64_t carried);
unsigned char* store_carried_sjis_as_jis_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                uint64_t carried);
PlainUnits euc_carried_units_widest(const unsigned char* p, uint64_t carried, bool kana);
template <bool compress>
unsigned char* store_carried_euc_as_sjis_widest(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                uint64_t carried);
template <bool compress>
unsigned store_sjis_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms);
template <bool euc, bool compress>
size_t store_pair_blocks_as_utf8_widest(unsigned char*& o, const unsigned char* p, size_t blocks, bool store_kana,
                                        LineEndStops stops, const Utf8Form* forms, uint64_t& replaced);
template <bool compress>
unsigned store_euc_units_as_utf8_widest(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms);
size_t store_utf8_run_as_jis_widest(unsigned char*& o, const unsigned char* p);
template <RunPairs into, bool compress>
size_t store_utf8_blocks_widest(unsigned char*& o, const unsigned char* p, size_t blocks, bool store_kana,
                                LineEndStops stops);
template <RunPairs into, bool compress>
size_t store_utf8_mixed_widest(unsigned char*& o, const unsigned char* p, unsigned length, bool store_kana);
unsigned char* store_designated_runs_compressed(unsigned char* o, const unsigned char* converted, uint64_t pairs,
                                                unsigned length, bool first, UnitDesignation kanji,
                                                UnitDesignation one_byte);
unsigned char* store_carried_sjis_as_jis_compressed(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                    uint64_t carried, bool first, UnitDesignation kanji,
                                                    UnitDesignation one_byte);
#endif

#if !defined(__SSE2__) && !defined(KOTRAN_NEON_KERNELS)
// Without vector kernels the byte and word loops serve alone; these are
// declared for the loops' code that PAIR_VECTORS leaves out, and never called.
template <bool into_sjis = false>
PlainUnits euc_plain_units(const unsigned char* p);
PlainUnits sjis_plain_units(const unsigned char* p);
template <bool far_rows = false>
unsigned jis_pair_length(const unsigned char* p);
void store_euc_as_sjis(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_euc_as_jis(unsigned char* o, const unsigned char* p);
void store_sjis_as_euc(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_sjis_as_jis(unsigned char* o, const unsigned char* p, uint32_t leads);
void store_jis_as_sjis(unsigned char* o, const unsigned char* p);
void store_jis_as_euc(unsigned char* o, const unsigned char* p);
LineEndBytes line_end_bytes(const unsigned char* p);
#endif

}  // namespace kotran
