// The vector steps over EUC and JIS pairs against the byte-by-byte rules:
// every code of rows 1-94 at every place in a vector, and the split of EUC
// units on chunks written to break it and on random chunks.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codes/jis_sjis.h"
#include "kernels/kernels.h"
#include "kernels/paths.h"
#include "test_util.h"

namespace kotran {
namespace {

#if defined(__SSE2__) || defined(KOTRAN_NEON_KERNELS)

using test::hex;
using test::to_hex;

constexpr unsigned ESC = 0x1B;
// The 32-byte kernels are the SSE2 or the NEON ones, whichever the build
// has; the AVX2 kernels are checked where the processor has AVX2, the
// AVX-512 BW ones (64 bytes) where it has AVX-512 BW.
#if defined(__SSE2__)
const bool wide = test::path_taken(Path::avx2);
const bool widest = test::path_taken(Path::avx512bw);
#else
constexpr bool wide = false;
constexpr bool widest = false;
#endif
constexpr bool is_euc_byte(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

// The split the EUC reader makes, one unit at a time; into Shift-JIS, ESC
// does not stop it and a pair of rows 85-94 does.
template <bool into_sjis = false, unsigned width = VECTOR_WIDTH>
PlainUnits reference_euc_units(const unsigned char* p) {
  unsigned i = 0;
  uint64_t leads = 0;
  while (i < width) {
    if (p[i] < 0x80) {
      if (p[i] == ESC && !into_sjis) break;
      ++i;
      continue;
    }
    if (i + 1 >= width || !is_euc_byte(p[i]) || !is_euc_byte(p[i + 1])) break;
    if (into_sjis && p[i] >= 0xF5) break;
    leads |= uint64_t{1} << i;
    i += 2;
  }
  return {i, leads};
}

constexpr bool is_sjis_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFE); }
constexpr bool is_row_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }
constexpr bool is_row_trail(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// The split the Shift-JIS reader makes, one unit at a time.
template <unsigned width = VECTOR_WIDTH>
PlainUnits reference_sjis_units(const unsigned char* p) {
  unsigned i = 0;
  uint64_t leads = 0;
  while (i < width) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    if (!is_sjis_lead(p[i]) || i + 1 >= width || !is_row_lead(p[i]) || !is_row_trail(p[i + 1])) break;
    leads |= uint64_t{1} << i;
    i += 2;
  }
  return {i, leads};
}

// The EUC form of the first n bytes of Shift-JIS, pair by pair.
std::string reference_euc(const std::string& sjis, unsigned n) {
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    const unsigned b = static_cast<unsigned char>(sjis[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      continue;
    }
    const uint16_t j = sjis_to_jis_code(static_cast<uint16_t>(b << 8 | static_cast<unsigned char>(sjis[i + 1])));
    out += static_cast<char>((j >> 8) | 0x80);
    out += static_cast<char>((j & 0xFF) | 0x80);
    ++i;
  }
  return out;
}

// The Shift-JIS form of the first n bytes, pair by pair; SS2 and a
// half-width katakana as the katakana.
std::string reference_sjis(const std::string& euc, unsigned n) {
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    const unsigned b = static_cast<unsigned char>(euc[i]);
    if (b < 0x80 || b == 0x8E) {
      out += b < 0x80 ? static_cast<char>(b) : euc[++i];
      continue;
    }
    const uint16_t s = jis_to_sjis_code(static_cast<uint16_t>((b & 0x7F) << 8 | (euc[i + 1] & 0x7F)));
    out += static_cast<char>(s >> 8);
    out += static_cast<char>(s & 0xFF);
    ++i;
  }
  return out;
}

using Split = PlainUnits (*)(const unsigned char*);

// The widest path's split of the 64 bytes at p is the byte rules', and its
// store writes their units as convert does.
void check_widest_step(const unsigned char* p, Split split, Split reference,
                       void (*store)(unsigned char*, const unsigned char*, uint64_t),
                       std::string (*convert)(const std::string&, unsigned)) {
  const PlainUnits got = split(p);
  const PlainUnits want = reference(p);
  ASSERT_EQ(got.length, want.length);
  ASSERT_EQ(got.leads, want.leads);
  unsigned char out[64];
  store(out, p, got.leads);
  ASSERT_EQ(to_hex(std::string(out, out + got.length)),
            to_hex(convert(std::string(reinterpret_cast<const char*>(p), 64), got.length)));
}

using CarriedSplit = PlainUnits (*)(const unsigned char*, uint64_t);
using CarriedStore = unsigned char* (*)(unsigned char*, const unsigned char*, PlainUnits, uint64_t);

// A carried block's split of the 64 bytes at p is the byte rules' and its
// store writes their units as convert does: with nothing carried into it
// at p, and, where a pair begins at p, at p + 1 with that pair carried in.
// Reads 66 bytes from p.
void check_carried_blocks(const unsigned char* p, bool pair_at_p, CarriedSplit split, Split reference,
                          Split reference_carried, CarriedStore store,
                          std::string (*convert)(const std::string&, unsigned)) {
  for (const uint64_t carried : {uint64_t{0}, uint64_t{1}}) {
    if (carried == 1 && !pair_at_p) continue;
    const unsigned char* const q = p + carried;
    const PlainUnits got = split(q, carried);
    const PlainUnits want = (carried == 1 ? reference_carried : reference)(q);
    ASSERT_EQ(got.length, want.length) << "carried " << carried;
    ASSERT_EQ(got.leads, want.leads) << "carried " << carried;
    unsigned char out[64];
    unsigned char* const end = store(out, q, got, carried);
    // Converted from p, the pair begun there whole.
    const std::string converted = convert(std::string(reinterpret_cast<const char*>(p), 66), got.length + static_cast<unsigned>(carried));
    // (Of a pair begun at the last byte, the first byte alone.)
    ASSERT_EQ(to_hex(std::string(out, end)), to_hex(converted.substr(carried, converted.size() - carried - (got.leads >> 63))))
        << "carried " << carried;
  }
}

// The JIS form of the first n bytes of Shift-JIS, pair by pair.
std::string reference_jis(const std::string& sjis, unsigned n) {
  std::string out = reference_euc(sjis, n);
  for (char& c : out) c = static_cast<char>(c & 0x7F);
  return out;
}

struct UnitsCase {
  const char* name;
  const char* bytes;  // 32 bytes
  unsigned length;
};

const UnitsCase units_cases[] = {
    {"all ASCII", "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32 33 0D 0A", 32},
    {"all pairs", "B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1 F4 A6 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1 F4 A6", 32},
    {"a pair across the two halves", "61 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1 F4 A6 62 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1", 32},
    {"pairs up to the last byte", "61 62 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1 F4 A6 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1", 32},
    {"a lone first byte at the end", "61 62 63 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0 A1 F4 A6 B4 C1 BB FA A4 A2 A4 A4 A1 A1 FE FE B0", 31},
    {"ESC stops", "61 62 1B 24 42 34 41 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79", 2},
    {"SS2 stops", "B4 C1 8E B1 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"0xFF stops", "61 FF 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32 33", 1},
    {"0xA0 as a second byte stops at its pair", "61 62 B4 A0 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32 33", 2},
    {"0x80 as a first byte", "80 A1 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32 33 34 35", 0},
    {"an odd run ends in a first byte before ASCII", "B4 C1 BB 61 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32 33", 2},
    {"a bad byte late in a run of pairs", "B4 C1 BB FA A4 A2 A4 FF 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78", 6},
    {"SS3 stops", "8F B0 A1 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32", 0},
};

// The vector split of each case equals the byte rules' and the expected count.
template <size_t N>
void check_cases(const UnitsCase (&cases)[N], Split vector, Split reference) {
  for (const auto& c : cases) {
    const std::string bytes = hex(c.bytes);
    ASSERT_EQ(bytes.size(), VECTOR_WIDTH) << c.name;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const PlainUnits got = vector(p);
    const PlainUnits want = reference(p);
    EXPECT_EQ(got.length, c.length) << c.name;
    EXPECT_EQ(got.length, want.length) << c.name;
    EXPECT_EQ(got.leads, want.leads) << c.name;
  }
}

// The same on 200 000 chunks of width bytes drawn by byte(rng, mix); mix
// (0-2) says how often a byte that stops the split turns up. One more byte
// is drawn after the chunk, which a carried block's split reads. Under the
// sanitizers, which find a read past the chunk on its first round, 50 000.
template <unsigned width = VECTOR_WIDTH, class Byte>
void check_random_chunks(uint32_t seed, Byte byte, Split vector, Split reference) {
  std::mt19937 rng(seed);
  unsigned char chunk[width + 1];
#if defined(__SANITIZE_ADDRESS__)
  constexpr int rounds = 50000;
#else
  constexpr int rounds = 200000;
#endif
  for (int round = 0; round < rounds; ++round) {
    for (unsigned char& b : chunk) b = byte(rng, round % 3);
    const PlainUnits got = vector(chunk);
    const PlainUnits want = reference(chunk);
    ASSERT_EQ(got.length, want.length) << to_hex(std::string(chunk, chunk + width + 1));
    ASSERT_EQ(got.leads, want.leads) << to_hex(std::string(chunk, chunk + width + 1));
  }
}

// The bits below bit n, of 64.
constexpr uint64_t bits_below(unsigned n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

// The split of the 64 bytes at p as a carried block, by the byte rules
// reference (over width bytes): with carried, the first byte is the second
// of a pair begun before them, and the split goes on after it; a pair begun
// at the last byte takes p[64].
template <bool carried>
PlainUnits reference_carried(const unsigned char* p, PlainUnits (*reference_64)(const unsigned char*),
                             PlainUnits (*reference_65)(const unsigned char*)) {
  const PlainUnits r = carried ? reference_64(p + 1) : reference_65(p);
  const unsigned length = std::min(r.length, 64u - carried);
  return {length + carried, (r.leads & bits_below(length)) << carried};
}
template <bool carried>
PlainUnits reference_sjis_carried_units(const unsigned char* p) {
  return reference_carried<carried>(p, reference_sjis_units<64>, reference_sjis_units<65>);
}
template <bool carried>
PlainUnits reference_euc_carried_units(const unsigned char* p) {
  return reference_carried<carried>(p, reference_euc_units<true, 64>, reference_euc_units<true, 65>);
}

// The same where SS2 and a half-width katakana are a unit too, though never
// one begun at the last byte; the leads are the pairs' alone.
template <bool carried>
PlainUnits reference_euc_kana_carried_units(const unsigned char* p) {
  unsigned i = carried;
  uint64_t leads = 0;
  while (i < 64) {
    if (p[i] < 0x80) {
      ++i;
    } else if (p[i] == 0x8E && i < 63 && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
      i += 2;
    } else {
      if (!is_euc_byte(p[i]) || !is_euc_byte(p[i + 1]) || p[i] >= 0xF5) break;
      leads |= uint64_t{1} << i;
      i += 2;
    }
  }
  return {std::min(i, 64u), leads};
}

TEST(PairVectors, EucUnitsCases) { check_cases(units_cases, [](const unsigned char* p) { return euc_plain_units(p); }, reference_euc_units); }

TEST(PairVectors, EucUnitsOnRandomChunks) {
  // Bytes drawn mostly from the kinds that matter: ASCII, EUC bytes, and
  // the few that stop a run.
  static const unsigned char specials[] = {0x1B, 0x8E, 0x8F, 0x80, 0xA0, 0xFF, 0x0A, 0x0D, 0xA1, 0xFE};
  auto byte = [](std::mt19937& rng, int mix) {
    const int k = std::uniform_int_distribution<int>(0, 9)(rng);
    const auto euc = [&] { return std::uniform_int_distribution<int>(0xA1, 0xFE)(rng); };
    if (k < 5) return static_cast<unsigned char>(euc());
    if (k < 8) return static_cast<unsigned char>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng));
    if (k == 8 && mix != 0) return specials[std::uniform_int_distribution<size_t>(0, std::size(specials) - 1)(rng)];
    return static_cast<unsigned char>(mix == 2 ? std::uniform_int_distribution<int>(0, 255)(rng) : euc());
  };
  check_random_chunks(20261207, byte, [](const unsigned char* p) { return euc_plain_units(p); }, reference_euc_units);
  check_random_chunks(20261208, byte, [](const unsigned char* p) { return euc_plain_units<true>(p); },
                      reference_euc_units<true>);
  if (wide) {
    check_random_chunks(20261209, byte, euc_plain_units_wide, reference_euc_units);
    check_random_chunks(20261210, byte, euc_plain_units_wide<true>, reference_euc_units<true>);
  }
  if (widest) {
    check_random_chunks<64>(20261211, byte, euc_plain_units_widest, reference_euc_units<false, 64>);
    check_random_chunks<64>(20261212, byte, euc_plain_units_widest<true>, reference_euc_units<true, 64>);
  }
  if (wide) {
    // The wide path's blocks of 64 into UTF-8, and its carried blocks of 64
    // into Shift-JIS.
    check_random_chunks<64>(20261215, byte, euc_plain_units_block_wide, reference_euc_units<false, 64>);
    check_random_chunks<64>(20261213, byte, [](const unsigned char* p) { return euc_carried_units_wide(p, 0); },
                            reference_euc_carried_units<false>);
    check_random_chunks<64>(20261214, byte, [](const unsigned char* p) { return euc_carried_units_wide(p, 1); },
                            reference_euc_carried_units<true>);
  }
  if (widest) {
    check_random_chunks<64>(20261218, byte, [](const unsigned char* p) { return euc_carried_units_widest(p, 0, true); },
                            reference_euc_kana_carried_units<false>);
    check_random_chunks<64>(20261219, byte, [](const unsigned char* p) { return euc_carried_units_widest(p, 1, true); },
                            reference_euc_kana_carried_units<true>);
  }
}

// Every code of rows 1-94, sixteen to a vector, at both parities of place
// (so that pairs also straddle the two halves of a vector), as EUC.
TEST(PairVectors, EveryEucPairInShiftJis) {
  std::string codes;
  for (unsigned hi = 0xA1; hi <= 0xFE; ++hi)
    for (unsigned lo = 0xA1; lo <= 0xFE; ++lo) {
      codes += static_cast<char>(hi);
      codes += static_cast<char>(lo);
    }
  for (const unsigned shift : {0u, 1u, 7u}) {
    const std::string text = std::string(shift, 'a') + codes + std::string(VECTOR_WIDTH, 'z');
    size_t i = 0;
    while (i + VECTOR_WIDTH <= text.size()) {
      const auto* p = reinterpret_cast<const unsigned char*>(text.data() + i);
      const PlainUnits units = euc_plain_units(p);
      ASSERT_GT(units.length, 0u) << "at " << i;
      unsigned char out[VECTOR_WIDTH], jis[VECTOR_WIDTH];
      store_euc_as_sjis(out, p, units.leads);
      store_euc_as_jis(jis, p);
      const std::string chunk = text.substr(i, VECTOR_WIDTH);
      if (wide) {
        // The wide path's classes and store agree with the two halves'.
        const PlainUnits w = euc_plain_units_wide(p);
        ASSERT_EQ(w.length, units.length) << "at " << i;
        ASSERT_EQ(w.leads, units.leads) << "at " << i;
        unsigned char wide_out[VECTOR_WIDTH];
        store_euc_as_sjis_wide(wide_out, p, units.leads);
        ASSERT_EQ(to_hex(std::string(wide_out, wide_out + VECTOR_WIDTH)), to_hex(std::string(out, out + VECTOR_WIDTH)))
            << "at " << i;
      }
      if (widest && i + 64 <= text.size()) {
        ASSERT_NO_FATAL_FAILURE(check_widest_step(p, euc_plain_units_widest<true>, reference_euc_units<true, 64>,
                                                  store_euc_as_sjis_widest, reference_sjis))
            << "at " << i;
      }
      if (wide && i + 66 <= text.size()) {
        ASSERT_NO_FATAL_FAILURE(check_carried_blocks(p, (units.leads & 1) != 0, euc_carried_units_wide,
                                                     reference_euc_carried_units<false>,
                                                     reference_euc_carried_units<true>, store_carried_euc_as_sjis_wide,
                                                     reference_sjis))
            << "at " << i;
      }
      for (unsigned k = 0; k < units.length; ++k) ASSERT_EQ(jis[k], chunk[k] & 0x7F) << "at " << i + k;
      ASSERT_EQ(to_hex(std::string(out, out + units.length)), to_hex(reference_sjis(chunk, units.length)))
          << "shift " << shift << " at " << i << ": " << to_hex(chunk);
      i += units.length;
    }
  }
}

const UnitsCase sjis_units_cases[] = {
    {"all pairs, trail bytes of every kind", "88 9F 93 FA 96 7B 8C EA 82 CC 83 65 81 40 EF FC 81 7E 81 80 9F FC E0 40 88 A0 82 A0 82 A2 82 A4", 32},
    {"ASCII and pairs, one across the halves", "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 93 FA 96 7B 8C EA 82 CC 0D 0A 31 32 33 34 35 36 37", 32},
    {"a lead byte at the last place", "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 93 FA 96 7B 8C EA 82 CC 0D 0A 31 32 33 34 35 36 93", 31},
    {"half-width katakana stops", "93 FA B1 B2 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"a lead byte past row 94", "93 FA F0 40 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"trail byte 0x7F", "93 FA 88 7F 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"trail byte below 0x40", "93 FA 88 0A 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"trail byte 0xFD", "61 88 FD 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31 32", 1},
    {"0x80 and 0xFF stop", "61 62 80 FF 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A 30 31", 2},
    {"a lead byte as a trail byte", "81 81 E0 E0 9F 9F 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A", 32},
};

TEST(PairVectors, SjisUnitsCases) { check_cases(sjis_units_cases, [](const unsigned char* p) { return sjis_plain_units(p); }, reference_sjis_units); }

TEST(PairVectors, SjisUnitsOnRandomChunks) {
  static const unsigned char specials[] = {0x80, 0xA0, 0xB1, 0xDF, 0xF0, 0xFC, 0xFD, 0xFF, 0x7F, 0x0A, 0x3F, 0x40};
  auto byte = [](std::mt19937& rng, int mix) {
    const int k = std::uniform_int_distribution<int>(0, 9)(rng);
    const auto ascii = [&] { return std::uniform_int_distribution<int>(0x20, 0x7E)(rng); };
    if (k < 4) {
      const int l = std::uniform_int_distribution<int>(0, 0x1F + 0x10 - 1)(rng);  // a lead byte of rows 1-94
      return static_cast<unsigned char>(l < 0x1F ? 0x81 + l : 0xE0 + (l - 0x1F));
    }
    if (k < 6) return static_cast<unsigned char>(std::uniform_int_distribution<int>(0x40, 0xFC)(rng));
    if (k < 8) return static_cast<unsigned char>(ascii());
    if (k == 8 && mix != 0) return specials[std::uniform_int_distribution<size_t>(0, std::size(specials) - 1)(rng)];
    return static_cast<unsigned char>(mix == 2 ? std::uniform_int_distribution<int>(0, 255)(rng) : ascii());
  };
  check_random_chunks(71207, byte, [](const unsigned char* p) { return sjis_plain_units(p); }, reference_sjis_units);
  if (wide) check_random_chunks(71208, byte, sjis_plain_units_wide, reference_sjis_units);
  if (widest) check_random_chunks<64>(71209, byte, sjis_plain_units_widest, reference_sjis_units<64>);
  if (wide) {
    // The wide path's blocks of 64: into JIS and UTF-8, and carried into EUC.
    check_random_chunks<64>(71210, byte, sjis_plain_units_block_wide, reference_sjis_units<64>);
    check_random_chunks<64>(71211, byte, [](const unsigned char* p) { return sjis_carried_units_wide(p, 0); },
                            reference_sjis_carried_units<false>);
    check_random_chunks<64>(71212, byte, [](const unsigned char* p) { return sjis_carried_units_wide(p, 1); },
                            reference_sjis_carried_units<true>);
  }
}

// Every Shift-JIS code of rows 1-94 at both parities of place, into EUC.
TEST(PairVectors, EveryShiftJisPairInEuc) {
  std::string codes;
  for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      codes += static_cast<char>(lead);
      codes += static_cast<char>(trail);
    }
  }
  ASSERT_EQ(codes.size(), 2u * 94 * 94);
  for (const unsigned shift : {0u, 1u, 7u}) {
    const std::string text = std::string(shift, 'a') + codes + std::string(VECTOR_WIDTH, 'z');
    size_t i = 0;
    while (i + VECTOR_WIDTH <= text.size()) {
      const auto* p = reinterpret_cast<const unsigned char*>(text.data() + i);
      const PlainUnits units = sjis_plain_units(p);
      ASSERT_GT(units.length, 0u) << "at " << i;
      unsigned char euc[VECTOR_WIDTH], jis[VECTOR_WIDTH];
      store_sjis_as_euc(euc, p, units.leads);
      store_sjis_as_jis(jis, p, units.leads);
      const std::string chunk = text.substr(i, VECTOR_WIDTH);
      if (wide) {
        const PlainUnits w = sjis_plain_units_wide(p);
        ASSERT_EQ(w.length, units.length) << "at " << i;
        ASSERT_EQ(w.leads, units.leads) << "at " << i;
        unsigned char wide_euc[VECTOR_WIDTH], wide_jis[VECTOR_WIDTH];
        store_sjis_as_euc_wide(wide_euc, p, units.leads);
        store_sjis_as_jis_wide(wide_jis, p, units.leads);
        ASSERT_EQ(to_hex(std::string(wide_euc, wide_euc + VECTOR_WIDTH)), to_hex(std::string(euc, euc + VECTOR_WIDTH)))
            << "at " << i;
        ASSERT_EQ(to_hex(std::string(wide_jis, wide_jis + VECTOR_WIDTH)), to_hex(std::string(jis, jis + VECTOR_WIDTH)))
            << "at " << i;
      }
      if (widest && i + 64 <= text.size()) {
        ASSERT_NO_FATAL_FAILURE(check_widest_step(p, sjis_plain_units_widest, reference_sjis_units<64>,
                                                  store_sjis_as_euc_widest, reference_euc))
            << "at " << i;
      }
      if (wide && i + 66 <= text.size()) {
        // The wide path's blocks of 64: into JIS, and carried into EUC.
        ASSERT_NO_FATAL_FAILURE(check_widest_step(p, sjis_plain_units_block_wide, reference_sjis_units<64>,
                                                  store_sjis_as_jis_block_wide, reference_jis))
            << "at " << i;
        ASSERT_NO_FATAL_FAILURE(check_carried_blocks(p, (units.leads & 1) != 0, sjis_carried_units_wide,
                                                     reference_sjis_carried_units<false>,
                                                     reference_sjis_carried_units<true>, store_carried_sjis_as_euc_wide,
                                                     reference_euc))
            << "at " << i;
      }
      const std::string want = reference_euc(chunk, units.length);
      ASSERT_EQ(to_hex(std::string(euc, euc + units.length)), to_hex(want))
          << "shift " << shift << " at " << i << ": " << to_hex(chunk);
      std::string want_jis = want;
      for (char& c : want_jis) c = static_cast<char>(c & 0x7F);
      ASSERT_EQ(to_hex(std::string(jis, jis + units.length)), to_hex(want_jis))
          << "shift " << shift << " at " << i << ": " << to_hex(chunk);
      i += units.length;
    }
  }
}

TEST(PairVectors, EveryJisPairInShiftJisAndEuc) {
  for (unsigned hi = 0x21; hi <= 0x7E; ++hi) {
    std::string row;
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      row += static_cast<char>(hi);
      row += static_cast<char>(lo);
    }
    row += std::string(16, '\n');
    for (size_t i = 0; i + 16 <= 188; i += 16) {
      const auto* p = reinterpret_cast<const unsigned char*>(row.data() + i);
      ASSERT_EQ(jis_pair_length(p), 16u);
      unsigned char sjis[16], euc[16];
      store_jis_as_sjis(sjis, p);
      store_jis_as_euc(euc, p);
      for (unsigned k = 0; k < 16; k += 2) {
        const uint16_t want = jis_to_sjis_code(static_cast<uint16_t>(p[k] << 8 | p[k + 1]));
        ASSERT_EQ(sjis[k] << 8 | sjis[k + 1], want) << std::hex << (p[k] << 8 | p[k + 1]);
        ASSERT_EQ(euc[k] << 8 | euc[k + 1], (p[k] | 0x80) << 8 | (p[k + 1] | 0x80)) << std::hex << (p[k] << 8 | p[k + 1]);
      }
      if (wide && i + 32 <= row.size()) {
        // The wide path's 32 bytes are the two halves of 16.
        unsigned char wide_sjis[32], wide_euc[32], half[16];
        store_jis_as_sjis_wide(wide_sjis, p);
        store_jis_as_euc_wide(wide_euc, p);
        ASSERT_EQ(to_hex(std::string(wide_sjis, wide_sjis + 16)), to_hex(std::string(sjis, sjis + 16)));
        ASSERT_EQ(to_hex(std::string(wide_euc, wide_euc + 16)), to_hex(std::string(euc, euc + 16)));
        store_jis_as_sjis(half, p + 16);
        ASSERT_EQ(to_hex(std::string(wide_sjis + 16, wide_sjis + 32)), to_hex(std::string(half, half + 16)));
      }
    }
  }
}

TEST(PairVectors, LeadingPairBytes) {
  const struct {
    PlainUnits units;
    unsigned bytes;
  } cases[] = {
      {{32, 0x55555555}, 32},           // pairs throughout
      {{10, 0x5}, 4},                   // two pairs, then ASCII
      {{10, 0x14}, 0},                  // ASCII first
      {{7, 0x25}, 4},                   // two pairs, ASCII, a pair
      {{31, 0x15555555}, 30},           // fifteen pairs, then the end of the units
      {{0, 0}, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(leading_pair_bytes(c.units), c.bytes) << std::hex << c.units.leads;
}

struct JisLengthCase {
  const char* bytes;  // 16 bytes
  unsigned length;
};

TEST(PairVectors, JisPairLength) {
  const JisLengthCase cases[] = {
      {"34 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 74 26", 16},
      {"34 41 3B 7A 24 22 0A 24 21 21 7E 7E 30 21 74 26", 6},
      {"34 41 3B 7A 24 22 24 1B 28 42 7E 7E 30 21 74 26", 6},  // ESC in a pair's second byte
      {"20 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 74 26", 0},
      {"34 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 74 7F", 14},
      {"34 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 74 A6", 14},
      {"34 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 0E 26", 14},
  };
  for (const auto& c : cases) {
    const std::string bytes = hex(c.bytes);
    EXPECT_EQ(jis_pair_length(reinterpret_cast<const unsigned char*>(bytes.data())), c.length) << c.bytes;
  }
  // Into Shift-JIS, a pair of rows 85-94 stops the length; a second byte
  // 0x75-0x7E does not.
  const JisLengthCase to_sjis[] = {
      {"34 41 3B 7A 24 22 24 24 21 21 7E 7E 30 21 74 26", 10},
      {"34 7E 3B 7A 24 75 24 24 21 21 74 7E 30 21 74 26", 16},
      {"34 41 75 21 24 22 24 24 21 21 7E 7E 30 21 74 26", 2},
  };
  for (const auto& c : to_sjis) {
    const std::string bytes = hex(c.bytes);
    EXPECT_EQ(jis_pair_length<true>(reinterpret_cast<const unsigned char*>(bytes.data())), c.length) << c.bytes;
  }
  if (!wide) return;
  // The wide length over 32 bytes: each case after the first case's 16
  // bytes of pairs.
  for (const auto& c : cases) {
    const std::string joined = hex(cases[0].bytes) + hex(c.bytes);
    EXPECT_EQ(jis_pair_length_wide(reinterpret_cast<const unsigned char*>(joined.data())), 16 + c.length) << c.bytes;
  }
  for (const auto& c : to_sjis) {
    const std::string joined = hex(c.bytes) + hex("30 21 30 21 30 21 30 21 30 21 30 21 30 21 30 21");
    const unsigned want = c.length < 16 ? c.length : 32;
    EXPECT_EQ(jis_pair_length_wide<true>(reinterpret_cast<const unsigned char*>(joined.data())), want) << c.bytes;
  }
}

#else
TEST(PairVectors, NotBuiltWithoutVectorKernels) {
  GTEST_SKIP() << "no vector kernels on this target: the byte and word loops serve alone";
}
#endif

}  // namespace
}  // namespace kotran
