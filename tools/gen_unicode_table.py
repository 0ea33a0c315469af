#!/usr/bin/env python3
"""Generate src/codes/unicode_table.cpp and unicode_rows.h: JIS X 0208 <-> Unicode.

The mapping is the JIS X 0208 index of the WHATWG Encoding Standard, which the
Shift_JIS and EUC-JP decoders use: the JIS X 0208 characters, NEC row 13 and
the NEC-selected IBM extensions in rows 89-92. For rows 1-94 it is what
Python's cp932 codec decodes, so each JIS code is turned into its Shift-JIS
bytes and decoded with cp932; a code that cp932 rejects is unmapped (0).

Past row 94 the index goes on where only Shift-JIS reaches (lead bytes
0xF0-0xFC, rows 95-120 as the JIS arithmetic counts them): rows 95-114 are
user-defined, rows 115-120 hold the IBM extensions (Shift-JIS 0xFA40-0xFC4B),
which decode like the same characters elsewhere.

User-defined characters (Shift-JIS 0xF040-0xF9FC, 1,880 codes) are the
private-use characters U+E000-U+E757 in the order of their codes, as cp932
decodes them. EUC and JIS hold them in rows that JIS X 0208 and JIS X 0212
leave empty, ten rows of each set as EUC writers use them (rows 85-94 of the
main set, then the same rows of JIS X 0212); since rows 89-92 of the main set
hold the NEC-selected IBM extensions, the four user-defined rows that would
go there go to JIS X 0212 rows 79-82 instead (USER_DEFINED_ROWS). This table
holds the ones of the main set, gen_jis0212_table.py the others.

The inverse table maps each Unicode character to the lowest JIS code of rows
1-94 that decodes to it (as the WHATWG EUC-JP encoder does; every IBM
extension has such a code), and the JIS forms that Unicode's own JIS X 0208
mapping uses (U+301C WAVE DASH, U+2016, U+2212, U+00A2, U+00A3, U+00AC,
U+2014, and U+00A6 for the broken bar) to the codes of their Windows forms
(U+FF5E FULLWIDTH TILDE, ...), so that UTF-8 written by either reads the same.

Usage:
  tools/gen_unicode_table.py            write src/codes/unicode_table.cpp and,
                                        beside it, unicode_rows.h (the forward
                                        table, which the compiler reads)
  tools/gen_unicode_table.py -o PATH    write PATH (and unicode_rows.h beside it)
  tools/gen_unicode_table.py --check    exit 1 if a committed file is stale

Standard library only; the output is deterministic.
"""

import argparse
import collections
import os
import sys

ROWS = 94          # cells of a row, and rows every code reaches
FORWARD_ROWS = 120  # rows of the forward table: up to Shift-JIS lead byte 0xFC
FIRST = 0x21  # first row or cell byte of a JIS code
# Characters that Unicode's JIS X 0208 mapping (as glibc's EUC-JP and nkf
# write them) gives where Windows uses another: each maps to the JIS code of
# its Windows form, so that text from either reads the same.
JIS_FORMS = {
    0x301C: 0xFF5E,  # WAVE DASH / FULLWIDTH TILDE
    0x2016: 0x2225,  # DOUBLE VERTICAL LINE / PARALLEL TO
    0x2212: 0xFF0D,  # MINUS SIGN / FULLWIDTH HYPHEN-MINUS
    0x00A2: 0xFFE0,  # CENT SIGN
    0x00A3: 0xFFE1,  # POUND SIGN
    0x00AC: 0xFFE2,  # NOT SIGN
    0x2014: 0x2015,  # EM DASH / HORIZONTAL BAR
    0x00A6: 0xFFE4,  # BROKEN BAR
}
SJIS_ARITHMETIC_ROWS_END = 0x75  # row 85's byte: from there on Shift-JIS leads with other bytes
USER_DEFINED_FIRST = 0xE000  # Shift-JIS 0xF040, row 95 by the arithmetic
USER_DEFINED_SJIS_ROWS = range(95, 115)
# Where EUC and JIS hold each user-defined row: (set, row), the set 0208 or 0212.
USER_DEFINED_ROWS = {
    95: (208, 85), 96: (208, 86), 97: (208, 87), 98: (208, 88),
    99: (212, 79), 100: (212, 80), 101: (212, 81), 102: (212, 82),
    103: (208, 93), 104: (208, 94),
    **{sjis_row: (212, sjis_row - 20) for sjis_row in range(105, 115)},
}


def user_defined_rows(char_set):
    """{row of char_set: first code point of the user-defined row it holds}."""
    return {row: USER_DEFINED_FIRST + (sjis_row - 95) * ROWS
            for sjis_row, (s, row) in USER_DEFINED_ROWS.items() if s == char_set}


def sjis_bytes(hi, lo):
    """Shift-JIS bytes of the JIS code (hi, lo), both bytes in 0x21..0x7E."""
    lead = ((hi - 0x21) >> 1) + 0x81
    if lead > 0x9F:
        lead += 0x40
    if hi & 1:
        trail = lo + 0x1F
        if trail >= 0x7F:
            trail += 1
    else:
        trail = lo + 0x7E
    return bytes((lead, trail))


def build_forward():
    """Return a list of FORWARD_ROWS*ROWS code points (0 = unmapped), row-major."""
    table = []
    for hi in range(FIRST, FIRST + FORWARD_ROWS):
        for lo in range(FIRST, FIRST + ROWS):
            try:
                text = sjis_bytes(hi, lo).decode("cp932")
            except UnicodeDecodeError:
                table.append(0)
                continue
            if len(text) != 1:
                sys.exit(f"cp932 decodes JIS {hi:02X}{lo:02X} to {len(text)} characters")
            u = ord(text)
            if 0xE000 <= u <= 0xF8FF:
                sjis_row = hi - FIRST + 1
                if sjis_row not in USER_DEFINED_SJIS_ROWS or u != user_defined_char(sjis_row, lo):
                    sys.exit(f"JIS {hi:02X}{lo:02X} decodes to U+{u:04X}, not its user-defined character")
            if u == 0 or u > 0xFFFF:
                sys.exit(f"JIS {hi:02X}{lo:02X} decodes to U+{u:04X}, outside 1..U+FFFF")
            table.append(u)
    for row, first in user_defined_rows(208).items():
        if any(table[(row - 1) * ROWS:row * ROWS]):
            sys.exit(f"row {row} holds characters; it cannot hold user-defined ones")
        table[(row - 1) * ROWS:row * ROWS] = range(first, first + ROWS)
    return table


def user_defined_char(sjis_row, lo):
    return USER_DEFINED_FIRST + (sjis_row - 95) * ROWS + lo - FIRST


def jis_of(index):
    return ((index // ROWS + FIRST) << 8) | (index % ROWS + FIRST)


def build_inverse(forward):
    """Return {code point: JIS code}, lowest JIS code for duplicates."""
    inverse = {}
    for index, u in enumerate(forward[:ROWS * ROWS]):  # ascending JIS order
        if u and u not in inverse:
            inverse[u] = jis_of(index)
    for jis_form, windows_form in JIS_FORMS.items():
        if jis_form in inverse:
            sys.exit(f"U+{jis_form:04X} is mapped by the table itself; the extra mapping would clash")
        inverse[jis_form] = inverse[windows_form]
    return inverse


def hex_lines(values, width, per_line, indent="    "):
    lines = []
    for start in range(0, len(values), per_line):
        chunk = values[start:start + per_line]
        lines.append(indent + ", ".join(f"0x{v:0{width}X}" for v in chunk) + ",")
    return lines


def inverse_lines(inverse, table, comment):
    """The lines of a two-level inverse table {code point: code} (the JIS X 0212
    table keeps this form, being looked up rarely): UNICODE_PAGE
    and the pages of table, page 0 all zeros for every page without a mapping."""
    by_page = {}
    for u, jis in inverse.items():
        by_page.setdefault(u >> 8, {})[u & 0xFF] = jis
    page_highs = sorted(by_page)
    if len(page_highs) + 1 > 256:
        sys.exit("more pages than a uint8_t page number reaches")
    page_number = {high: n + 1 for n, high in enumerate(page_highs)}
    out = list(comment)
    out.append("const uint8_t UNICODE_PAGE[256] = {")
    out.extend(hex_lines([page_number.get(high, 0) for high in range(256)], 2, 16))
    out.append("};")
    out.append("")
    out.append(f"const uint16_t {table}[{len(page_highs) + 1}][256] = {{")
    out.append("    // page 0: no mapping")
    out.append("    {},")
    for high in page_highs:
        entries = by_page[high]
        values = [entries.get(low, 0) for low in range(256)]
        out.append(f"    // page {page_number[high]}: U+{high:02X}00..U+{high:02X}FF, {len(entries)} mapped")
        out.append("    {")
        out.extend(hex_lines(values, 4, 16, indent="        "))
        out.append("    },")
    out.append("};")
    out.append("")
    return out


def flat_inverse_lines(inverse, table, comment):
    """The lines of a one-level inverse table {code point: code} over the BMP,
    a line of 16 entries each (0 for none), and a note over each page that
    holds mapped characters."""
    if max(inverse) > 0xFFFF:
        sys.exit("a character past the BMP in the inverse table")
    out = list(comment)
    out.append(f"const uint16_t {table}[0x10000] = {{")
    for high in range(256):
        values = [inverse.get(high << 8 | low, 0) for low in range(256)]
        mapped = sum(1 for v in values if v)
        if mapped:
            out.append(f"    // U+{high:02X}00..U+{high:02X}FF, {mapped} mapped")
        for start in range(0, 256, 16):
            chunk = values[start:start + 16]
            out.append("    " + ", ".join(f"0x{v:04X}" if v else "0" for v in chunk) + ",")
    out.append("};")
    out.append("")
    return out


def generated_by(generator):
    """The first lines of a generated file: which generator made it."""
    return [f"// Generated by tools/{generator}. Do not edit by hand: change the",
            "// generator and run it again.",
            "//"]


def render_rows(forward):
    """The forward table, a header of its own: the converters' tables of
    output forms are made from it as the program is compiled."""
    out = generated_by("gen_unicode_table.py")
    w = out.append
    w("// Unicode of each JIS code of rows 1-120, as unicode_table.cpp describes;")
    w("// included through codes/unicode_table.h.")
    w("#pragma once")
    w("")
    w("namespace kotran::unicode_tables {")
    w("")
    w("// clang-format off")
    w("")
    w("// Unicode of each JIS code, row-major: index (row byte - 0x21) * 94 +")
    w("// (cell byte - 0x21); 0 for an unmapped code.")
    w(f"inline constexpr char16_t JIS_TO_UNICODE[{FORWARD_ROWS} * {ROWS}] = {{")
    for row in range(FORWARD_ROWS):
        values = forward[row * ROWS:(row + 1) * ROWS]
        count = sum(1 for u in values if u)
        w(f"    // row {row + 1} (0x{row + FIRST:02X}21..0x{row + FIRST:02X}7E), {count} mapped")
        out.extend(hex_lines(values, 4, 16))
    w("};")
    w("")
    w("// clang-format on")
    w("")
    w("}  // namespace kotran::unicode_tables")
    return "\n".join(out) + "\n"


def render(forward, inverse):
    mapped = sum(1 for u in forward if u)
    counts = collections.Counter(u for u in forward[:ROWS * ROWS] if u)
    dups = sorted(u for u, n in counts.items() if n > 1)
    out = generated_by("gen_unicode_table.py")
    w = out.append
    w("// JIS X 0208 <-> Unicode, as in the JIS X 0208 index of the WHATWG Encoding")
    w("// Standard (JIS X 0208, NEC row 13, NEC-selected IBM extensions in rows")
    w("// 89-92, and past row 94 the IBM extensions that only Shift-JIS reaches,")
    w("// Shift-JIS 0xFA40-0xFC4B), taken from Python's cp932 codec. User-defined")
    w("// codes (Shift-JIS 0xF040-0xF9FC, rows 95-114) are U+E000-U+E757, as cp932")
    w("// decodes them; rows 85-88 and 93-94 hold the ones that EUC and JIS keep in")
    w("// the main set (those of rows 95-98 and 103-104), the others are in JIS X 0212.")
    w(f"// {mapped} JIS codes are mapped, to {len(counts)} distinct characters.")
    w("// Characters with more than one JIS code map back to the lowest one")
    w("// (besides every IBM extension past row 94):")
    for start in range(0, len(dups), 6):
        w("//   " + " ".join(f"U+{u:04X}" for u in dups[start:start + 6]))
    w("// The JIS forms of Unicode's JIS X 0208 mapping map to the codes of their")
    w("// Windows forms:")
    for jis_form, windows_form in JIS_FORMS.items():
        w(f"//   U+{jis_form:04X} as U+{windows_form:04X}")
    w("")
    w('#include "codes/unicode_table.h"')
    w("")
    w("namespace kotran::unicode_tables {")
    w("")
    w(f"static_assert(FORWARD_ROWS == {FORWARD_ROWS} && JIS_CELLS == {ROWS} && JIS_FIRST == 0x{FIRST:02X},")
    w('              "the header and the generator must agree");')
    w("")
    w("// clang-format off")
    w("")

    # The inverse in one level, so that a lookup is one load: the UTF-8
    # readers make one for every character.
    rows_past = {u for u in forward[ROWS * ROWS:] if u and not USER_DEFINED_FIRST <= u < USER_DEFINED_FIRST + 20 * ROWS}
    if not rows_past <= set(inverse):
        sys.exit("an IBM extension past row 94 has no code in rows 1-94")
    out.extend(flat_inverse_lines(inverse, "UNICODE_TO_JIS", [
        "// JIS code of each BMP character, indexed by the character (0 = none).",
    ]))
    # Into Shift-JIS the lookup gives the pair itself, for the rows whose
    # lead bytes are the arithmetic's; the vector paths leave the others
    # (user-defined characters from row 85 on) to the byte loop.
    sjis = {u: int.from_bytes(sjis_bytes(code >> 8, code & 0xFF), "big")
            for u, code in inverse.items() if code >> 8 < SJIS_ARITHMETIC_ROWS_END}
    out.extend(flat_inverse_lines(sjis, "UNICODE_TO_SJIS_ARITHMETIC", [
        "// Shift-JIS code of each BMP character whose JIS code lies in rows 1-84,",
        "// where the lead bytes are the arithmetic's (0 = none, or a code from row",
        "// 85 on).",
    ]))
    w("// clang-format on")
    w("")
    w("}  // namespace kotran::unicode_tables")
    return "\n".join(out) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    default = os.path.join(root, "src", "codes", "unicode_table.cpp")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=default, help="file to write")
    parser.add_argument("--check", action="store_true",
                        help="compare with the file instead of writing it")
    args = parser.parse_args()

    forward = build_forward()
    rows_path = os.path.join(os.path.dirname(args.output), "unicode_rows.h")
    return (write_or_check(args.output, render(forward, build_inverse(forward)), args.check, "gen_unicode_table.py")
            or write_or_check(rows_path, render_rows(forward), args.check, "gen_unicode_table.py"))


def write_or_check(path, text, check, generator):
    """Writes text to path, or with check tells whether path holds it; the exit status."""
    if check:
        try:
            with open(path, encoding="utf-8", newline="") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current != text:
            print(f"{path} is stale: run tools/{generator}", file=sys.stderr)
            return 1
        return 0
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
