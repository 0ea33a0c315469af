// Which vector step carries a source's plain units into each target, and
// the tight loop that takes them. Each step mirrors one scalar rule of the
// byte loop, which stays the reference:
//   Shift-JIS to EUC and JIS   sjis_to_jis_code (store_sjis_as_euc, store_sjis_as_jis)
//   EUC to Shift-JIS           jis_to_sjis_code (store_euc_as_sjis), rows 1-84
//   EUC to JIS                 the high bit cleared (store_euc_as_jis)
//   JIS to Shift-JIS, EUC      jis_to_sjis_code (rows 1-84), the high bit set (store_jis_as_sjis, store_jis_as_euc)
//   Shift-JIS, EUC, JIS to UTF-8  the writer's store_row (store_units_as_utf8_widest, store_jis_block_as_utf8_wide;
//                                 whole blocks: store_pair_blocks_as_utf8_widest, store_jis_blocks_widest)
//   UTF-8 to Shift-JIS, EUC, JIS  the reader's take (store_utf8_blocks_widest, store_utf8_mixed_widest,
//                                 store_utf8_run_as_jis_widest and their wide forms)
//   a code into itself         a copy
#pragma once

#include "codes/hot.h"

#include <algorithm>
#include <cstring>

#include "codes/code.h"
#include "convert/converter.h"
#include "convert/loops/tight_loop.h"
#include "convert/writers/euc_writer.h"
#include "convert/writers/jis_writer.h"
#include "convert/writers/sjis_writer.h"
#include "convert/writers/utf8_writer.h"
#include "kernels/kernels.h"
#include "kernels/paths.h"

namespace kotran {

enum class VectorForm {
  none,         // no vector step: units one at a time
  same_length,  // every pair keeps its length: the whole vector is stored, ASCII included
  kanji_run,    // into JIS: the runs of pairs and of ASCII of a vector, each after its designation
  jis_pairs,    // from JIS kanji text: sixteen bytes of pairs
  utf8_units,   // into UTF-8, on the paths of 32 bytes in a register and of 64: each unit of a vector as its form
  utf8_runs,    // from UTF-8, on the same paths: whole blocks and runs of characters (into JIS, of three bytes)
};

template <Code source, class Writer>
struct VectorStep {
  static constexpr VectorForm form = VectorForm::none;
};

template <>
struct VectorStep<Code::sjis, SjisWriter> {
  static constexpr VectorForm form = VectorForm::same_length;
  static PlainUnits units(const unsigned char* p) { return sjis_plain_units(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return sjis_plain_units_wide(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits) { std::memcpy(o, p, VECTOR_WIDTH); }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return sjis_plain_units_widest(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits) { store_copy_widest(o, p); }
};

template <>
struct VectorStep<Code::sjis, EucWriter> {
  static constexpr VectorForm form = VectorForm::same_length;
  static PlainUnits units(const unsigned char* p) { return sjis_plain_units(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return sjis_plain_units_wide(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_sjis_as_euc(o, p, u.leads); }
  KOTRAN_WIDE static void wide_store(unsigned char* o, const unsigned char* p, PlainUnits u) {
    store_sjis_as_euc_wide(o, p, u.leads);
  }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return sjis_plain_units_widest(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_sjis_as_euc_widest(o, p, u.leads); }
  // (Half-width katakana stop the blocks: in EUC each takes an SS2 more, and
  // taking them, an SS2 stored before each, made the blocks 0.86-0.88 times
  // as fast.)
  KOTRAN_WIDEST static PlainUnits carried_units(const unsigned char* p, uint64_t carried, bool) {
    return sjis_carried_units_widest(p, carried);
  }
  KOTRAN_WIDEST static SjisClasses64 carried_classes(const unsigned char* p, bool) {
    return sjis_classes_widest(p);
  }
  KOTRAN_WIDEST static PlainUnits carried_units_of(const unsigned char* p, const SjisClasses64& c, uint64_t carried) {
    return sjis_carried_units_of_widest(p, c, carried);
  }
  template <bool compress>
  KOTRAN_WIDEST static unsigned char* carried_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                    uint64_t carried) {
    return store_carried_sjis_as_euc_widest(o, p, u, carried);
  }
  KOTRAN_WIDE static PlainUnits wide_carried_units(const unsigned char* p, uint64_t carried, bool) {
    return sjis_carried_units_wide(p, carried);
  }
  KOTRAN_WIDE static unsigned char* wide_carried_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                       uint64_t carried) {
    return store_carried_sjis_as_euc_wide(o, p, u, carried);
  }
};

template <>
struct VectorStep<Code::sjis, JisWriter> {
  static constexpr VectorForm form = VectorForm::kanji_run;
  static PlainUnits units(const unsigned char* p) { return sjis_plain_units(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return sjis_plain_units_wide(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_sjis_as_jis(o, p, u.leads); }
  KOTRAN_WIDE static void wide_store(unsigned char* o, const unsigned char* p, PlainUnits u) {
    store_sjis_as_jis_wide(o, p, u.leads);
  }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return sjis_plain_units_widest(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_sjis_as_jis_widest(o, p, u.leads); }
  // Whole blocks, as into EUC, each run after its designation (see
  // designated_blocks): the pairs as JIS bytes, or where the path
  // compresses bytes, stored with the designations at once.
  KOTRAN_WIDEST static SjisClasses64 carried_classes(const unsigned char* p, bool) { return sjis_classes_widest(p); }
  KOTRAN_WIDEST static PlainUnits carried_units_of(const unsigned char* p, const SjisClasses64& c, uint64_t carried) {
    return sjis_carried_units_of_widest(p, c, carried);
  }
  KOTRAN_WIDEST static void carried_pairs_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                uint64_t carried) {
    store_carried_sjis_as_jis_widest(o, p, u, carried);
  }
  KOTRAN_WIDEST static unsigned char* designated_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                       uint64_t carried, bool first, UnitDesignation kanji,
                                                       UnitDesignation one_byte) {
    return store_carried_sjis_as_jis_compressed(o, p, u, carried, first, kanji, one_byte);
  }
  KOTRAN_WIDE static PlainUnits wide_carried_units(const unsigned char* p, uint64_t carried) {
    return sjis_carried_units_wide(p, carried);
  }
  KOTRAN_WIDE static void wide_carried_pairs_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                   uint64_t carried) {
    store_carried_sjis_as_jis_wide(o, p, u, carried);
  }
  KOTRAN_WIDE static PlainUnits wide_block_units(const unsigned char* p) { return sjis_plain_units_block_wide(p); }
  KOTRAN_WIDE static void wide_block_store(unsigned char* o, const unsigned char* p, PlainUnits u) {
    store_sjis_as_jis_block_wide(o, p, u.leads);
  }
};

template <>
struct VectorStep<Code::euc, SjisWriter> {
  static constexpr VectorForm form = VectorForm::same_length;
  static PlainUnits units(const unsigned char* p) { return euc_plain_units<true>(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return euc_plain_units_wide<true>(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_euc_as_sjis(o, p, u.leads); }
  KOTRAN_WIDE static void wide_store(unsigned char* o, const unsigned char* p, PlainUnits u) {
    store_euc_as_sjis_wide(o, p, u.leads);
  }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return euc_plain_units_widest<true>(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits u) { store_euc_as_sjis_widest(o, p, u.leads); }
  // SS2 and a half-width katakana, not widened, are a unit of the blocks
  // too: the katakana alone goes out, so the blocks' output may be shorter.
  KOTRAN_WIDEST static PlainUnits carried_units(const unsigned char* p, uint64_t carried, bool kana) {
    return euc_carried_units_widest(p, carried, kana);
  }
  KOTRAN_WIDEST static EucCarriedBytes64 carried_classes(const unsigned char* p, bool kana) {
    return classify_euc_carried_bytes_widest(p, kana);
  }
  KOTRAN_WIDEST static PlainUnits carried_units_of(const unsigned char* p, const EucCarriedBytes64& c,
                                                   uint64_t carried) {
    return euc_carried_units_of_widest(p, c, carried);
  }
  template <bool compress>
  KOTRAN_WIDEST static unsigned char* carried_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                    uint64_t carried) {
    return store_carried_euc_as_sjis_widest<compress>(o, p, u, carried);
  }
  // (On the wide path the katakana stop the blocks: there the test of every
  // block cost what going round them saved.)
  KOTRAN_WIDE static PlainUnits wide_carried_units(const unsigned char* p, uint64_t carried, bool) {
    return euc_carried_units_wide(p, carried);
  }
  KOTRAN_WIDE static unsigned char* wide_carried_store(unsigned char* o, const unsigned char* p, PlainUnits u,
                                                       uint64_t carried) {
    return store_carried_euc_as_sjis_wide(o, p, u, carried);
  }
};

template <>
struct VectorStep<Code::euc, EucWriter> {
  static constexpr VectorForm form = VectorForm::same_length;
  static PlainUnits units(const unsigned char* p) { return euc_plain_units(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return euc_plain_units_wide(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits) { std::memcpy(o, p, VECTOR_WIDTH); }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return euc_plain_units_widest(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits) { store_copy_widest(o, p); }
};

template <>
struct VectorStep<Code::euc, JisWriter> {
  static constexpr VectorForm form = VectorForm::kanji_run;
  static PlainUnits units(const unsigned char* p) { return euc_plain_units(p); }
  KOTRAN_WIDE static PlainUnits wide_units(const unsigned char* p) { return euc_plain_units_wide(p); }
  static void store(unsigned char* o, const unsigned char* p, PlainUnits) { store_euc_as_jis(o, p); }
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return euc_plain_units_widest(p); }
  KOTRAN_WIDEST static void widest_store(unsigned char* o, const unsigned char* p, PlainUnits) { store_euc_as_jis_widest(o, p); }
};

template <>
struct VectorStep<Code::jis, SjisWriter> {
  static constexpr VectorForm form = VectorForm::jis_pairs;
  static unsigned length(const unsigned char* p) { return jis_pair_length<true>(p); }
  static void store(unsigned char* o, const unsigned char* p) { store_jis_as_sjis(o, p); }
  KOTRAN_WIDE static unsigned wide_length(const unsigned char* p) { return jis_pair_length_wide<true>(p); }
  KOTRAN_WIDE static void wide_store(unsigned char* o, const unsigned char* p) { store_jis_as_sjis_wide(o, p); }
  // Whole blocks of one-byte, kanji and (take_kana) katakana text and their
  // escapes: a katakana goes out as its byte of Shift-JIS, as long.
  static constexpr bool blocks_take_kana = true;
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                            LineEndStops stops, JisCarry& carry, bool take_kana, SjisWriter&) {
    uint64_t replaced = 0;  // (every pair has a code)
    return store_jis_blocks_widest<JisBlocksInto::sjis, compress>(o, p, blocks, stops, carry, take_kana, nullptr,
                                                                  replaced);
  }
  KOTRAN_WIDE static size_t wide_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                        LineEndStops stops, JisCarry& carry, bool take_kana, SjisWriter&) {
    uint64_t replaced = 0;  // (every pair has a code)
    return store_jis_blocks_wide<JisBlocksInto::sjis>(o, p, blocks, stops, carry, take_kana, nullptr, replaced);
  }
};

template <>
struct VectorStep<Code::jis, EucWriter> {
  static constexpr VectorForm form = VectorForm::jis_pairs;
  static unsigned length(const unsigned char* p) { return jis_pair_length(p); }
  static void store(unsigned char* o, const unsigned char* p) { store_jis_as_euc(o, p); }
  KOTRAN_WIDE static unsigned wide_length(const unsigned char* p) { return jis_pair_length_wide(p); }
  KOTRAN_WIDE static void wide_store(unsigned char* o, const unsigned char* p) { store_jis_as_euc_wide(o, p); }
  // (A katakana would go out as two bytes, SS2 and its own: the blocks
  // keep or drop bytes, and leave katakana text to the byte loop.)
  static constexpr bool blocks_take_kana = false;
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                            LineEndStops stops, JisCarry& carry, bool, EucWriter&) {
    uint64_t replaced = 0;
    return store_jis_blocks_widest<JisBlocksInto::euc, compress>(o, p, blocks, stops, carry, false, nullptr,
                                                                 replaced);
  }
  KOTRAN_WIDE static size_t wide_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                        LineEndStops stops, JisCarry& carry, bool, EucWriter&) {
    uint64_t replaced = 0;
    return store_jis_blocks_wide<JisBlocksInto::euc>(o, p, blocks, stops, carry, false, nullptr, replaced);
  }
};

template <>
struct VectorStep<Code::sjis, Utf8Writer> {
  static constexpr VectorForm form = VectorForm::utf8_units;
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return sjis_plain_units_widest(p); }
  template <bool compress>
  KOTRAN_WIDEST static unsigned widest_utf8(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                            const Utf8Form* forms) {
    return store_sjis_units_as_utf8_widest<compress>(o, p, u, forms);
  }
  // Whole blocks of ASCII, pairs and half-width katakana (where stored).
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_utf8_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                                 bool store_kana, LineEndStops stops, Utf8Writer& w) {
    return store_pair_blocks_as_utf8_widest<false, compress>(o, p, blocks, store_kana, stops, w.forms,
                                                             w.found.replaced);
  }
  KOTRAN_WIDE static PlainUnits wide_block_units(const unsigned char* p) { return sjis_plain_units_block_wide(p); }
  KOTRAN_WIDE static unsigned wide_block_utf8(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms) {
    return store_sjis_block_as_utf8_wide(o, p, u, forms);
  }
  KOTRAN_WIDE static size_t wide_utf8_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                             bool store_kana, LineEndStops stops, Utf8Writer& w) {
    return store_pair_blocks_as_utf8_wide<false>(o, p, blocks, store_kana, stops, w.forms, w.found.replaced);
  }
};

template <>
struct VectorStep<Code::euc, Utf8Writer> {
  static constexpr VectorForm form = VectorForm::utf8_units;
  KOTRAN_WIDEST static PlainUnits widest_units(const unsigned char* p) { return euc_plain_units_widest(p); }
  template <bool compress>
  KOTRAN_WIDEST static unsigned widest_utf8(unsigned char*& o, const unsigned char* p, PlainUnits u,
                                            const Utf8Form* forms) {
    return store_euc_units_as_utf8_widest<compress>(o, p, u, forms);
  }
  KOTRAN_WIDE static PlainUnits wide_block_units(const unsigned char* p) { return euc_plain_units_block_wide(p); }
  KOTRAN_WIDE static unsigned wide_block_utf8(unsigned char*& o, const unsigned char* p, PlainUnits u, const Utf8Form* forms) {
    return store_euc_block_as_utf8_wide(o, p, u, forms);
  }
  // Whole blocks of ASCII, pairs and SS2 katakana (where stored).
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_utf8_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                                 bool store_kana, LineEndStops stops, Utf8Writer& w) {
    return store_pair_blocks_as_utf8_widest<true, compress>(o, p, blocks, store_kana, stops, w.forms,
                                                            w.found.replaced);
  }
  KOTRAN_WIDE static size_t wide_utf8_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                             bool store_kana, LineEndStops stops, Utf8Writer& w) {
    return store_pair_blocks_as_utf8_wide<true>(o, p, blocks, store_kana, stops, w.forms, w.found.replaced);
  }
};

// From JIS kanji text into UTF-8: a run of up to 64 bytes of pairs, each
// pair as its form, as the EUC kernels store EUC pairs (whose JIS bytes they
// take by clearing the high bit, which JIS bytes do not have).
template <>
struct VectorStep<Code::jis, Utf8Writer> {
  static constexpr VectorForm form = VectorForm::utf8_units;
  static constexpr uint64_t EVERY_FIRST_BYTE = 0x5555555555555555ULL;
  // The bytes of whole pairs from p, among the 64 there (an even number).
  KOTRAN_WIDE static unsigned pair_length(const unsigned char* p) {
    const unsigned n = jis_pair_length_wide(p);
    return n == 32 ? n + jis_pair_length_wide(p + 32) : n;
  }
  KOTRAN_WIDE static unsigned wide_pairs_utf8(unsigned char*& o, const unsigned char* p, unsigned n,
                                              const Utf8Form* forms) {
    return store_euc_block_as_utf8_wide(o, p, PlainUnits{n, EVERY_FIRST_BYTE}, forms);
  }
  template <bool compress>
  KOTRAN_WIDEST static unsigned widest_pairs_utf8(unsigned char*& o, const unsigned char* p, unsigned n,
                                                  const Utf8Form* forms) {
    return store_euc_units_as_utf8_widest<compress>(o, p, PlainUnits{n, EVERY_FIRST_BYTE}, forms);
  }
  // Whole blocks of one-byte, kanji and (take_kana) katakana text and their
  // escapes.
  static constexpr bool blocks_take_kana = true;
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_blocks(unsigned char*& o, const unsigned char* p, size_t blocks,
                                            LineEndStops stops, JisCarry& carry, bool take_kana, Utf8Writer& w) {
    return store_jis_blocks_widest<JisBlocksInto::utf8, compress>(o, p, blocks, stops, carry, take_kana, w.forms,
                                                                  w.found.replaced);
  }
  KOTRAN_WIDE static size_t wide_blocks(unsigned char*& o, const unsigned char* p, size_t blocks, LineEndStops stops,
                                        JisCarry& carry, bool take_kana, Utf8Writer& w) {
    return store_jis_blocks_wide<JisBlocksInto::utf8>(o, p, blocks, stops, carry, take_kana, w.forms,
                                                      w.found.replaced);
  }
};

template <>
struct VectorStep<Code::utf8, SjisWriter> {
  static constexpr VectorForm form = VectorForm::utf8_runs;
  // Stores the characters at the first length of the 64 bytes at p (the
  // half-width katakana where they are not widened) and moves o past them;
  // returns how many bytes it took (0 for none).
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_run(unsigned char*& o, const unsigned char* p, unsigned length, bool kana) {
    return store_utf8_mixed_widest<RunPairs::sjis, compress>(o, p, length, kana);
  }
  KOTRAN_WIDE static size_t wide_run(unsigned char*& o, const unsigned char* p, unsigned length, bool kana) {
    return store_utf8_mixed_wide<RunPairs::sjis>(o, p, length, kana);
  }
  // The same for whole blocks of 64 bytes, one after another.
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_blocks(unsigned char*& o, const unsigned char* p, size_t blocks, bool kana,
                                            LineEndStops stops) {
    return store_utf8_blocks_widest<RunPairs::sjis, compress>(o, p, blocks, kana, stops);
  }
  KOTRAN_WIDE static size_t wide_blocks(unsigned char*& o, const unsigned char* p, size_t blocks, bool kana,
                                        LineEndStops stops) {
    return store_utf8_blocks_wide<RunPairs::sjis>(o, p, blocks, kana, stops);
  }
};

template <>
struct VectorStep<Code::utf8, EucWriter> {
  static constexpr VectorForm form = VectorForm::utf8_runs;
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_run(unsigned char*& o, const unsigned char* p, unsigned length, bool kana) {
    return store_utf8_mixed_widest<RunPairs::euc, compress>(o, p, length, kana);
  }
  KOTRAN_WIDE static size_t wide_run(unsigned char*& o, const unsigned char* p, unsigned length, bool kana) {
    return store_utf8_mixed_wide<RunPairs::euc>(o, p, length, kana);
  }
  template <bool compress>
  KOTRAN_WIDEST static size_t widest_blocks(unsigned char*& o, const unsigned char* p, size_t blocks, bool kana,
                                            LineEndStops stops) {
    return store_utf8_blocks_widest<RunPairs::euc, compress>(o, p, blocks, kana, stops);
  }
  KOTRAN_WIDE static size_t wide_blocks(unsigned char*& o, const unsigned char* p, size_t blocks, bool kana,
                                        LineEndStops stops) {
    return store_utf8_blocks_wide<RunPairs::euc>(o, p, blocks, kana, stops);
  }
};

// Into JIS, the run goes out as EUC's pairs without the high bit, after the
// designation of kanji text where the text is not already in it: the
// designation is stored ahead, and counts only once a run follows it.
template <>
struct VectorStep<Code::utf8, JisWriter> {
  static constexpr VectorForm form = VectorForm::utf8_runs;
  KOTRAN_WIDEST static size_t widest_run(unsigned char*& o, const unsigned char* p, JisWriter& w) {
    return designated_run(o, w, [p](unsigned char*& at) { return store_utf8_run_as_jis_widest(at, p); });
  }
  KOTRAN_WIDE static size_t wide_run(unsigned char*& o, const unsigned char* p, JisWriter& w) {
    return designated_run(o, w, [p](unsigned char*& at) { return store_utf8_run_as_jis_wide(at, p); });
  }

 private:
  template <class Store>
  [[gnu::always_inline]] static size_t designated_run(unsigned char*& o, JisWriter& w, Store store) {
    if (w.state == SHIFT_KANJI) return store(o);
    unsigned char* at = w.store_kanji_in_ahead(o);
    const size_t n = store(at);
    if (n == 0) return 0;
    w.entered_kanji();
    o = at;
    return n;
  }
};

// A step whose units may begin with the second byte of a pair carried over
// from the 64 bytes before: the widest path then takes whole blocks of 64,
// each block's position fixed, so that no load waits for the last block's
// classes; only whether a pair crosses the edge is carried. The wide path
// takes the same blocks in two registers where the step has them.
// Its units may include half-width katakana, where kana says so; its store
// returns the end of the units' bytes.
template <class Step>
concept HasCarriedStep = requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
  Step::carried_units(p, uint64_t{}, true);
  Step::template carried_store<false>(o, p, u, uint64_t{});
};
template <class Step>
concept HasWideCarriedStep = requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
  Step::wide_carried_units(p, uint64_t{}, true);
  Step::wide_carried_store(o, p, u, uint64_t{});
};

// The bytes of a carried block.
inline constexpr unsigned BLOCK_WIDTH = 64;

// Whether the path takes the step's carried blocks.
template <Path path, class Step>
constexpr bool takes_carried_blocks() {
  if constexpr (takes_widest_steps(path))
    return HasCarriedStep<Step>;
  else
    return takes_wide_steps(path) && HasWideCarriedStep<Step>;
}

// The step's units of the block at p, its store, where its line ends lie,
// and how many of its bits come before the first set one (64 for none), on
// the path.
template <Path path, class Step>
KOTRAN_HOT PlainUnits block_units(const unsigned char* p, uint64_t carried, bool kana) {
  if constexpr (takes_widest_steps(path))
    return Step::carried_units(p, carried, kana);
  else
    return Step::wide_carried_units(p, carried, kana);
}
template <Path path, class Step>
KOTRAN_HOT unsigned char* block_store(unsigned char* o, const unsigned char* p, PlainUnits u, uint64_t carried) {
  if constexpr (takes_widest_steps(path))
    return Step::template carried_store<compresses_bytes(path)>(o, p, u, carried);
  else
    return Step::wide_carried_store(o, p, u, carried);
}
template <Path path>
KOTRAN_HOT LineEndBytes64 block_line_ends(const unsigned char* p) {
  if constexpr (takes_widest_steps(path))
    return line_end_bytes_widest(p);
  else
    return line_end_bytes_block_wide(p);
}
template <Path path>
KOTRAN_HOT unsigned block_bits_before_first(uint64_t bits) {
  if constexpr (takes_widest_steps(path))
    return bits_before_first(bits);
  else
    return wide_bits_before_first(bits);
}

// Copies the n bytes at s to o, a CR before each lone LF, as put writes
// them where the writer makes each lone LF CR LF; returns the end of what it
// wrote. The bytes do not begin with an LF; each of their other bytes that
// is a CR or an LF stands for itself (no pair, form or escape sequence
// holds one). Reads 128 bytes past the n, and stores 64 past its end.
template <Path path>
KOTRAN_HOT unsigned char* copy_adding_crs(unsigned char* o, const unsigned char* s, size_t n) {
  uint64_t cr_before = 0;
  for (size_t i = 0; i < n; i += BLOCK_WIDTH) {
    const unsigned char* const at = s + i;
    const unsigned length = n - i < BLOCK_WIDTH ? static_cast<unsigned>(n - i) : BLOCK_WIDTH;
    const LineEndBytes64 ends = block_line_ends<path>(at);
    uint64_t lone = ends.lf & ~(ends.cr << 1 | cr_before);
    if (length < BLOCK_WIDTH) lone &= (uint64_t{1} << length) - 1;
    cr_before = ends.cr >> 63;
    unsigned from = 0;
    for (; lone != 0; lone &= lone - 1) {
      const unsigned lf = static_cast<unsigned>(__builtin_ctzll(lone));
      std::memcpy(o, at + from, BLOCK_WIDTH);  // the bytes before the LF, and more, which the next store overwrites
      o += lf - from;
      *o++ = 0x0D;
      from = lf;
    }
    std::memcpy(o, at + from, BLOCK_WIDTH);
    o += length - from;
  }
  return o;
}

// Whole blocks stop before each line end that stops them (see
// LineEndStops), which where the writer makes each lone LF CR LF is every
// line of a text with LF line ends. Where the first block of a take holds
// a lone LF (lone_lf_ahead), blocks_adding_crs has the blocks take line ends
// as ASCII (LineEndStops::none) into a stage, which goes on to o with a CR
// before each lone LF; nor does a take end just after a CR, whose LF would
// then look lone. Elsewhere (CR LF line ends) they go straight to o.
// run(at, room) stores whole blocks at at, their bytes within room and
// their stores reaching at most 128 bytes past them, moves at past them and
// returns how many bytes they took. Returns how many bytes were taken (0
// for none, o as it was).
inline constexpr size_t CR_STAGE = 3 * 1024;

// Whether the take at p (no LF, a block in hand) would stop at a lone LF
// among its first block's bytes where the writer makes each lone LF CR LF.
template <Path path>
KOTRAN_HOT bool lone_lf_ahead(const unsigned char* p, LineEndStops stops) {
  if (stops != LineEndStops::lone_lf || p[0] == 0x0A) return false;
  const LineEndBytes64 ends = block_line_ends<path>(p);
  return (ends.lf & ~(ends.cr << 1)) != 0;
}

template <Path path, class Run>
KOTRAN_HOT size_t blocks_adding_crs(unsigned char*& o, const unsigned char* room_end, const unsigned char* p, Run run) {
  const size_t room = static_cast<size_t>(room_end - o);
  // Room for a CR before every byte, and the copy's last store.
  if (room < 5 * BLOCK_WIDTH) return 0;
  alignas(64) unsigned char stage[CR_STAGE + 2 * BLOCK_WIDTH];
  unsigned char* s = stage;
  size_t taken = run(s, std::min<size_t>(CR_STAGE, (room - BLOCK_WIDTH) / 2));
  if (taken != 0 && p[taken - 1] == 0x0D) {
    --taken;
    --s;
  }
  if (taken == 0) return 0;
  o = copy_adding_crs<path>(o, stage, static_cast<size_t>(s - stage));
  return taken;
}

// Whether the path takes the vector step of the source into the writer's target.
template <Code source, class Writer>
constexpr bool takes_vectors(Path path, VectorForm form) {
  if ((form == VectorForm::utf8_units || form == VectorForm::utf8_runs) && !takes_wide_steps(path)) return false;
  return PAIR_VECTORS && takes_vector_steps(path) && VectorStep<source, Writer>::form == form;
}

// The step's store of the units at p, on the path: the 64-byte kernels'
// and the kernels that hold 32 bytes in one register where the path and
// the step have them.
template <class Step>
concept HasWideStore = requires(unsigned char* o, const unsigned char* p, PlainUnits u) { Step::wide_store(o, p, u); };
template <class Step>
concept HasWidestStep = requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
  Step::widest_units(p);
  Step::widest_store(o, p, u);
};

// The step's units and store of 64 bytes in two registers, where the wide
// path takes its steps 64 bytes at a time.
template <class Step>
concept HasWideBlockStep = requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
  Step::wide_block_units(p);
  Step::wide_block_store(o, p, u);
};

// Whether the path takes the step 64 bytes at a time.
template <Path path, class Step>
constexpr bool takes_64_byte_steps() {
  if constexpr (takes_widest_steps(path))
    return HasWidestStep<Step>;
  else
    return takes_wide_steps(path) && HasWideBlockStep<Step>;
}

// How many bytes one step of the path looks at.
template <Path path, class Step>
constexpr unsigned step_width() {
  if constexpr (takes_64_byte_steps<path, Step>())
    return WIDEST_WIDTH;
  else
    return VECTOR_WIDTH;
}

template <Path path, class Step>
KOTRAN_HOT void step_store(unsigned char* o, const unsigned char* p, PlainUnits u) {
  if constexpr (takes_widest_steps(path) && HasWidestStep<Step>)
    Step::widest_store(o, p, u);
  else if constexpr (takes_64_byte_steps<path, Step>())
    Step::wide_block_store(o, p, u);
  else if constexpr (takes_wide_steps(path) && HasWideStore<Step>)
    Step::wide_store(o, p, u);
  else
    Step::store(o, p, u);
}

// The step's units of the bytes at p, on the path.
template <Path path, class Step>
KOTRAN_HOT PlainUnits step_units(const unsigned char* p) {
  if constexpr (takes_widest_steps(path) && HasWidestStep<Step>)
    return Step::widest_units(p);
  else if constexpr (takes_64_byte_steps<path, Step>())
    return Step::wide_block_units(p);
  else if constexpr (takes_wide_steps(path))
    return Step::wide_units(p);
  else
    return Step::units(p);
}

// How many of the width bytes at p (32 or 64) come before the first
// line-end stop (see LineEndStops): width when none does.
template <Path path, unsigned width>
KOTRAN_HOT unsigned before_line_end_stop(const unsigned char* p, LineEndStops stops) {
  uint64_t cr, lf;
  if constexpr (width == WIDEST_WIDTH && takes_widest_steps(path)) {
    const LineEndBytes64 b = line_end_bytes_widest(p);
    cr = b.cr;
    lf = b.lf;
  } else if constexpr (width == WIDEST_WIDTH) {
    const LineEndBytes64 b = line_end_bytes_block_wide(p);
    cr = b.cr;
    lf = b.lf;
  } else {
    LineEndBytes b;
    if constexpr (takes_wide_steps(path))
      b = line_end_bytes_wide(p);
    else
      b = line_end_bytes(p);
    cr = b.cr;
    lf = b.lf;
  }
  constexpr uint64_t LAST = uint64_t{1} << (width - 1);
  const uint64_t stop = stops == LineEndStops::lone_lf ? (lf & ~(cr << 1)) | (cr & LAST) : cr & ((lf >> 1) | LAST);
  if constexpr (width == WIDEST_WIDTH && takes_widest_steps(path))
    return bits_before_first(stop);
  else if constexpr (width == WIDEST_WIDTH)
    return wide_bits_before_first(stop);
  else
    return static_cast<unsigned>(__builtin_ctzll(stop | uint64_t{1} << width));
}

// The step's run of UTF-8 characters at the 64 bytes at p (66 in hand), on
// the path: stored at o, which moves past it; how many bytes it took (0 for
// none). A mixed run takes ASCII too, up to the first line end that stops,
// and half-width katakana unless widen is set.
template <Path path, class Step, class Writer>
KOTRAN_HOT size_t step_run(unsigned char*& o, const unsigned char* p, Writer& w, LineEndStops stops, bool widen) {
  if constexpr (requires { Step::wide_run(o, p, w); }) {
    if constexpr (takes_widest_steps(path))
      return Step::widest_run(o, p, w);
    else
      return Step::wide_run(o, p, w);
  } else {
    const unsigned length = stops == LineEndStops::none ? WIDEST_WIDTH : before_line_end_stop<path, WIDEST_WIDTH>(p, stops);
    if constexpr (takes_widest_steps(path))
      return Step::template widest_run<compresses_bytes(path)>(o, p, length, !widen);
    else
      return Step::wide_run(o, p, length, !widen);
  }
}

// The step's whole blocks of UTF-8 at p, as many as the input (66 bytes
// from each block) and the room hold, on the path: stored at o, which moves
// past them; how many bytes they took (0 for none).
template <Path path, class Step, class Writer>
KOTRAN_HOT size_t step_blocks(unsigned char*& o, const unsigned char* p, const unsigned char* end, Writer& w,
                              LineEndStops stops, bool widen) {
  if constexpr (requires { Step::template widest_blocks<false>(o, p, size_t{}, true, stops); }) {
    if (end - p < static_cast<ptrdiff_t>(2 * BLOCK_WIDTH + 2)) return 0;
    const auto blocks_into = [&](unsigned char*& at, size_t room, LineEndStops blocks_stop) -> size_t {
      const size_t blocks = std::min<size_t>((end - p - 2) / BLOCK_WIDTH, room < 9 ? 0 : (room - 9) / BLOCK_WIDTH);
      if (blocks < 2) return 0;
      if constexpr (takes_widest_steps(path))
        return Step::template widest_blocks<compresses_bytes(path)>(at, p, blocks, !widen, blocks_stop);
      else
        return Step::wide_blocks(at, p, blocks, !widen, blocks_stop);
    };
    if (lone_lf_ahead<path>(p, stops))
      return blocks_adding_crs<path>(o, w.out.room_end(), p, [&](unsigned char*& at, size_t room) {
        return blocks_into(at, room, LineEndStops::none);
      });
    return blocks_into(o, static_cast<size_t>(w.out.room_end() - o), stops);
  } else {
    return 0;
  }
}

// How many bytes of the block at at come before its first line end that
// stops (see LineEndStops), 64 for none; cr_before says whether the block
// before ended in a CR, and is set for the next.
template <Path path>
KOTRAN_HOT unsigned block_bits_before_stop(const unsigned char* at, LineEndStops stops, uint64_t& cr_before) {
  const LineEndBytes64 ends = block_line_ends<path>(at);
  const uint64_t lf_after = at[BLOCK_WIDTH] == 0x0A ? uint64_t{1} << 63 : 0;
  const uint64_t stop = stops == LineEndStops::lone_lf ? ends.lf & ~(ends.cr << 1 | cr_before)
                                                       : ends.cr & (ends.lf >> 1 | lf_after);
  cr_before = ends.cr >> 63;
  return block_bits_before_first<path>(stop);
}

// Ends carried blocks that took taken bytes at p, to past their output: a
// pair across the last block's edge (carried) is left to the next take, its
// first byte's output taken back, and so is a CR at the end, whose LF would
// then look lone.
KOTRAN_HOT void end_carried_blocks(size_t& taken, unsigned char*& to, uint64_t carried, const unsigned char* p,
                                   LineEndStops stops) {
  taken -= carried;
  to -= carried;
  if (stops != LineEndStops::none && taken != 0 && p[taken - 1] == 0x0D) {
    --taken;
    --to;
  }
}

// Blocks of the step at p while they are wholly plain units and the input
// (to end) and the room (room bytes at o) hold one more byte than a block,
// stored at o, which moves past their bytes (as many as they took, or fewer
// where the step drops some; half-width katakana are units where kana says
// so); how many bytes they took. What crosses a block's edge is carried:
// the second byte of a pair, and a CR before an LF.
template <Path path, class Step>
KOTRAN_HOT size_t carried_blocks(unsigned char*& o, const unsigned char* p, const unsigned char* end, size_t room,
                                 LineEndStops stops, bool kana) {
  const size_t blocks = std::min<size_t>(end - p - 1, room) / BLOCK_WIDTH;
  size_t taken = 0;
  unsigned char* to = o;
  uint64_t carried = 0, cr_before = 0;
  // Where the step has them, the next block's classes are made first: they
  // wait on nothing of this block's, and go on beside its units, which wait
  // on the pair carried.
  constexpr bool ahead = takes_widest_steps(path) && requires { Step::carried_classes(p, kana); };
  auto next = [&] {
    if constexpr (ahead)
      return Step::carried_classes(p, kana);
    else
      return 0;
  }();
  for (size_t b = 0; b < blocks; ++b) {
    const unsigned char* const at = p + taken;
    PlainUnits u;
    if constexpr (ahead) {
      const auto classes = next;
      if (b + 1 < blocks) next = Step::carried_classes(at + BLOCK_WIDTH, kana);
      u = Step::carried_units_of(at, classes, carried);
    } else {
      u = block_units<path, Step>(at, carried, kana);
    }
    if (stops != LineEndStops::none) u.length = std::min(u.length, block_bits_before_stop<path>(at, stops, cr_before));
    to = block_store<path, Step>(to, at, u, carried);
    if (u.length != BLOCK_WIDTH) {
      taken += u.length;
      carried = 0;
      break;
    }
    taken += BLOCK_WIDTH;
    carried = u.leads >> 63;
  }
  // (A pair left to the next take had its first byte stored as itself.)
  end_carried_blocks(taken, to, carried, p, stops);
  o = to;
  return taken;
}

// Writes at o the first length bytes of the width at converted, each run
// after its designation, run by run with no branch on their kinds: a run
// begins where the kind of byte changes (pair_bytes marks the pairs'), the
// first where first says so. Each run's copy writes width bytes, which the
// next run's designation overwrites; moves o past the runs. Reads twice
// width at converted; stores width bytes past the last run's start.
template <unsigned width, class Writer>
KOTRAN_HOT void store_designated_runs(unsigned char*& o, const unsigned char* converted, uint64_t pair_bytes,
                                      unsigned length, bool first, const Writer& w) {
  const uint64_t changes = (pair_bytes ^ pair_bytes << 1) & ~uint64_t{1};
  const uint64_t starts = (changes | uint64_t{first}) & first_bits(length);
  std::memcpy(o, converted, width);
  unsigned before = 0;
  for (uint64_t m = starts; m != 0; m &= m - 1) {
    const unsigned at = static_cast<unsigned>(__builtin_ctzll(m));
    o += at - before;
    const auto& designation = (pair_bytes >> at & 1) != 0 ? w.kanji_in : w.kanji_out;
    std::memcpy(o, designation.bytes, sizeof designation.bytes);
    o += designation.size;
    std::memcpy(o, converted + at, width);
    before = at;
  }
  o += length - before;
}

// Whether the path takes the step's whole blocks of runs after their
// designations.
template <Path path, class Step>
constexpr bool takes_designated_blocks() {
  if constexpr (takes_widest_steps(path))
    return requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
      Step::carried_pairs_store(o, p, u, uint64_t{});
      Step::designated_store(o, p, u, uint64_t{}, true, UnitDesignation{}, UnitDesignation{});
    };
  else
    return takes_wide_steps(path) && requires(unsigned char* o, const unsigned char* p, PlainUnits u) {
      Step::wide_carried_units(p, uint64_t{});
      Step::wide_carried_pairs_store(o, p, u, uint64_t{});
    };
}

// The most a block of 64 bytes stores past where it begins in
// designated_blocks: its last run's start, at most 63 + 3 * 43 bytes on (a
// byte of one-byte text between pairs makes two runs, each after a
// designation of three bytes), and 64 bytes from there.
inline constexpr size_t DESIGNATED_BLOCK_REACH = 4 * BLOCK_WIDTH;

// The units of the block at at for designated_blocks, a pair begun before
// it taking its first byte where carried says so (classes its classes on
// the widest path), up to the first line end that stops.
template <Path path, class Step, class Classes>
KOTRAN_HOT PlainUnits designated_block_units(const unsigned char* at, uint64_t carried, const Classes& classes,
                                             LineEndStops stops, uint64_t& cr_before) {
  PlainUnits u;
  if constexpr (takes_widest_steps(path))
    u = Step::carried_units_of(at, classes, carried);
  else
    u = Step::wide_carried_units(at, carried);
  if (stops != LineEndStops::none) u.length = std::min(u.length, block_bits_before_stop<path>(at, stops, cr_before));
  return u;
}

// The pairs of the block at at whose units are u as JIS bytes, stored at
// converted (where the path does not compress bytes).
template <Path path, class Step>
KOTRAN_HOT void designated_block_pairs(unsigned char* converted, const unsigned char* at, PlainUnits u,
                                       uint64_t carried) {
  if constexpr (takes_widest_steps(path))
    Step::carried_pairs_store(converted, at, u, carried);
  else
    Step::wide_carried_pairs_store(converted, at, u, carried);
}

// As carried_blocks, into a target whose runs of pairs and of one-byte text
// each follow their designation (w's kanji_in before a run of pairs, its
// kanji_out before the others; kanji and one_byte the same as units, where
// the path compresses bytes): the kind of text goes on from block to block.
// w's shift decides the first block's first run; kanji_last says whether
// the last byte stored is a pair's, the shift the writer is left in once
// the caller keeps what was stored. Where they take nothing, o is as it
// was.
template <Path path, class Step, class Writer>
KOTRAN_HOT size_t designated_blocks(unsigned char*& o, const unsigned char* p, const unsigned char* end, size_t room,
                                    LineEndStops stops, const Writer& w, UnitDesignation kanji,
                                    UnitDesignation one_byte, bool& kanji_last) {
  const size_t blocks = std::min<size_t>((end - p - 1) / BLOCK_WIDTH, room / DESIGNATED_BLOCK_REACH);
  if (blocks == 0) return 0;
  constexpr bool compress = compresses_bytes(path);
  size_t taken = 0;
  unsigned char* to = o;
  uint64_t carried = 0, cr_before = 0;
  // On the widest path the next block's classes are made first, as in
  // carried_blocks.
  auto next = [&] {
    if constexpr (takes_widest_steps(path))
      return Step::carried_classes(p, false);
    else
      return 0;
  }();
  // Without a compress, each block's pairs are stored as JIS bytes a block
  // before its runs are copied out of them, so that the copies' loads find
  // those stores gone to the cache.
  alignas(64) unsigned char converted[compress ? 1 : 2][compress ? 1 : 2 * BLOCK_WIDTH];
  const auto classes_ahead = [&](size_t b, const unsigned char* at) {
    const auto classes = next;
    if constexpr (takes_widest_steps(path))
      if (b + 1 < blocks) next = Step::carried_classes(at + BLOCK_WIDTH, false);
    return classes;
  };
  PlainUnits u = designated_block_units<path, Step>(p, 0, classes_ahead(0, p), stops, cr_before);
  if constexpr (!compress) designated_block_pairs<path, Step>(converted[0], p, u, 0);
  for (size_t b = 0; b < blocks; ++b) {
    const unsigned char* const at = p + taken;
    if (u.length == 0) break;
    const uint64_t pair_bytes = u.leads | u.leads << 1 | carried;
    // (Each block before this one stored a byte, the last kanji_last's kind.)
    const bool first = b != 0 ? (pair_bytes & 1) != kanji_last : w.designates(pair_bytes & 1);
    // The next block's units (and pairs) first: only the pair carried into
    // it waits on this block's.
    PlainUnits after{};
    if (u.length == BLOCK_WIDTH && b + 1 < blocks) {
      after = designated_block_units<path, Step>(at + BLOCK_WIDTH, u.leads >> 63, classes_ahead(b + 1, at + BLOCK_WIDTH),
                                                 stops, cr_before);
      if constexpr (!compress)
        designated_block_pairs<path, Step>(converted[(b + 1) & 1], at + BLOCK_WIDTH, after, u.leads >> 63);
    }
    if constexpr (compress)
      to = Step::designated_store(to, at, u, carried, first, kanji, one_byte);
    else
      store_designated_runs<BLOCK_WIDTH>(to, converted[b & 1], pair_bytes, u.length, first, w);
    kanji_last = (pair_bytes >> (u.length - 1) & 1) != 0;
    // A block that is not whole is the last, and carries nothing.
    taken += u.length;
    carried = u.length == BLOCK_WIDTH ? u.leads >> 63 : 0;
    if (u.length != BLOCK_WIDTH) break;
    u = after;
  }
  // A pair left to the next take has its first byte's row taken back: a
  // designation before it stays, and so does the shift into kanji it made
  // (and before a CR taken back, its designation and shift).
  end_carried_blocks(taken, to, carried, p, stops);
  if (taken != 0) o = to;
  return taken;
}

// The tight loop of a reader whose source has vector steps: where the path
// and the target allow, a vector of plain units at a time; wherever the
// vector takes nothing, pair(p, end, o) takes one unit, as in tight_loop.
template <Code source, Path path, class Writer, class Pair>
KOTRAN_HOT bool vector_tight_loop(ByteReader& in, Writer& w, Pair pair, [[maybe_unused]] bool widen) {
  using Step = VectorStep<source, Writer>;
  if constexpr (takes_vectors<source, Writer>(path, VectorForm::same_length)) {
    // A line end is an ASCII byte, never half of a pair: the units end
    // before it.
    const LineEndStops stops = line_end_stops(in, w);
    return tight_loop<true, LoneLfStore::inlined>(in, w, [&](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
      // A lone LF goes to the tight loop's ASCII (see store_lone_lf).
      if (p[0] == 0x0A && stops == LineEndStops::lone_lf) return 0;
      if constexpr (takes_carried_blocks<path, Step>()) {
        if (end - p > static_cast<ptrdiff_t>(BLOCK_WIDTH) && lone_lf_ahead<path>(p, stops)) {
          const size_t taken = blocks_adding_crs<path>(o, w.out.room_end(), p, [&](unsigned char*& at, size_t room) {
            return carried_blocks<path, Step>(at, p, end, room, LineEndStops::none, !widen);
          });
          if (taken != 0) return taken;
        } else if (const size_t taken = carried_blocks<path, Step>(o, p, end, w.out.room_end() - o, stops, !widen)) {
          return taken;
        }
      }
      constexpr unsigned width = step_width<path, Step>();
      if (end - p >= static_cast<ptrdiff_t>(width)) {
        PlainUnits u = step_units<path, Step>(p);
        if (stops != LineEndStops::none) u.length = std::min(u.length, before_line_end_stop<path, width>(p, stops));
        if (u.length != 0) {
          step_store<path, Step>(o, p, u);
          o += u.length;
          return u.length;
        }
      }
      return p[0] < 0x80 ? 0 : pair(p, end, o);
    });
  } else if constexpr (takes_vectors<source, Writer>(path, VectorForm::kanji_run)) {
    // The plain units of a vector are runs of pairs and runs of ASCII: each
    // run goes out after the designation it needs, the pairs as the step
    // stores them. Where the path compresses bytes, the whole vector goes
    // at once (every designation has three bytes at most: jis_escapes.h).
    const LineEndStops stops = line_end_stops(in, w);
    const UnitDesignation kanji_in = unit_designation(w.kanji_in.bytes, w.kanji_in.size);
    const UnitDesignation one_byte = unit_designation(w.kanji_out.bytes, w.kanji_out.size);
    return tight_loop<true, LoneLfStore::inlined>(in, w, [&](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
      if (p[0] == 0x0A && stops == LineEndStops::lone_lf) return 0;
      if constexpr (takes_designated_blocks<path, Step>()) {
        // As the carried blocks: where lone LFs become CR LF, through the
        // stage (no byte of a pair or a designation is a CR or an LF, and a
        // line end is one-byte text, so no designation comes between a CR
        // and its LF).
        // The writer's shift moves only with what is kept (the stage's
        // blocks may be dropped).
        if (end - p > static_cast<ptrdiff_t>(BLOCK_WIDTH)) {
          bool kanji_last = false;
          const size_t taken =
              lone_lf_ahead<path>(p, stops)
                  ? blocks_adding_crs<path>(o, w.out.room_end(), p,
                                            [&](unsigned char*& at, size_t room) {
                                              return designated_blocks<path, Step>(at, p, end, room, LineEndStops::none,
                                                                                   w, kanji_in, one_byte, kanji_last);
                                            })
                  : designated_blocks<path, Step>(o, p, end, w.out.room_end() - o, stops, w, kanji_in, one_byte,
                                                  kanji_last);
          if (taken != 0) {
            w.designated(kanji_last);
            return taken;
          }
        }
      }
      constexpr unsigned width = step_width<path, Step>();
      if (end - p >= static_cast<ptrdiff_t>(width)) {
        PlainUnits u = step_units<path, Step>(p);
        if (stops != LineEndStops::none) u.length = std::min(u.length, before_line_end_stop<path, width>(p, stops));
        if (u.length != 0) {
          alignas(64) unsigned char converted[2 * WIDEST_WIDTH];
          step_store<path, Step>(converted, p, u);
          const uint64_t pair_bytes = u.leads | u.leads << 1;
          if constexpr (compresses_bytes(path)) {
            // The whole block at once, each run's designation kept by the
            // compress where it begins.
            o = store_designated_runs_compressed(o, converted, pair_bytes, u.length, w.designates(pair_bytes & 1),
                                                 kanji_in, one_byte);
            w.designated(pair_bytes >> (u.length - 1) & 1);
            return u.length;
          }
          // Elsewhere run by run, the first where the writer is not in its
          // kind already.
          store_designated_runs<width>(o, converted, pair_bytes, u.length, w.designates(pair_bytes & 1), w);
          w.designated(pair_bytes >> (u.length - 1) & 1);
          return u.length;
        }
      }
      return p[0] < 0x80 ? 0 : pair(p, end, o);
    });
  } else if constexpr (takes_vectors<source, Writer>(path, VectorForm::utf8_units)) {
    const LineEndStops stops = line_end_stops(in, w);
    // Where whole blocks stop short, they are tried again 64 bytes on.
    const unsigned char* blocks_from = in.begin();
    return tight_loop<true, LoneLfStore::inlined>(in, w, [&](const unsigned char* p, const unsigned char* end, unsigned char*& o) -> size_t {
      if (p[0] == 0x0A && stops == LineEndStops::lone_lf) return 0;
      if constexpr (requires { Step::template widest_utf8_blocks<false>(o, p, size_t{}, true, stops, w); }) {
        if (p >= blocks_from && end - p >= static_cast<ptrdiff_t>(2 * BLOCK_WIDTH + 2)) {
          // Each block may come to three times its bytes (all katakana).
          const auto blocks_into = [&](unsigned char*& at, size_t room, LineEndStops blocks_stop) -> size_t {
            const size_t blocks =
                std::min<size_t>((end - p - 2) / BLOCK_WIDTH, room < 16 ? 0 : (room - 16) / (3 * BLOCK_WIDTH));
            if (blocks < 2) return 0;
            if constexpr (takes_widest_steps(path))
              return Step::template widest_utf8_blocks<compresses_bytes(path)>(at, p, blocks, !widen, blocks_stop, w);
            else
              return Step::wide_utf8_blocks(at, p, blocks, !widen, blocks_stop, w);
          };
          const size_t taken =
              lone_lf_ahead<path>(p, stops)
                  ? blocks_adding_crs<path>(o, w.out.room_end(), p,
                                            [&](unsigned char*& at, size_t room) {
                                              return blocks_into(at, room, LineEndStops::none);
                                            })
                  : blocks_into(o, static_cast<size_t>(w.out.room_end() - o), stops);
          if (taken != 0) return taken;
          blocks_from = p + BLOCK_WIDTH;
        }
      }
      constexpr unsigned width = WIDEST_WIDTH;  // on the wide path too, in two registers
      if (end - p >= static_cast<ptrdiff_t>(width)) {
        PlainUnits u;
        if constexpr (takes_widest_steps(path))
          u = Step::widest_units(p);
        else
          u = Step::wide_block_units(p);
        if (stops != LineEndStops::none) u.length = std::min(u.length, before_line_end_stop<path, width>(p, stops));
        if (u.length != 0) {
          if constexpr (takes_widest_steps(path))
            w.found.replaced += Step::template widest_utf8<compresses_bytes(path)>(o, p, u, w.forms);
          else
            w.found.replaced += Step::wide_block_utf8(o, p, u, w.forms);
          return u.length;
        }
      }
      return p[0] < 0x80 ? 0 : pair(p, end, o);
    });
  } else {
    return tight_loop(in, w, pair);
  }
}

}  // namespace kotran
