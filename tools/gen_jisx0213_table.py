#!/usr/bin/env python3
"""Generate src/codes/jisx0213_table.cpp: the JIS X 0213 <-> Unicode mapping.

JIS X 0213 (2004) is JIS X 0208 with its empty cells filled (plane 1) and a
second plane of 26 rows (1, 3-5, 8, 12-15, 78-94), written as Shift_JIS-2004,
EUC-JIS-2004 and ISO-2022-JP-2004. The mapping is what Python's euc_jis_2004
codec decodes and encodes: plane 1 as the pair of bytes 0xA1-0xFE, plane 2
after SS3. A few cells decode to a base and a combining mark (か゚ is U+304B
U+309A); the encoder writes such a sequence as the one cell.

The table holds only what JIS X 0208 does not answer as JIS X 0213 does:
the rows of plane 1 where JIS X 0213 adds a cell or maps one otherwise than
kotran's JIS X 0208 table (tools/gen_unicode_table.py, the CP932 one, whose
rows 13 and 85-94 hold other characters), and the rows of plane 2. Every
other row of plane 1 is JIS X 0208 itself, which the generator checks cell
by cell. One code's own choice, where Python's two codecs differ: single
bytes are ASCII in every code kotran reads, so 1-1-32 is U+FF3C FULLWIDTH
REVERSE SOLIDUS and 1-2-18 U+FF5E FULLWIDTH TILDE, as euc_jis_2004 has them
(shift_jis_2004 reads its 0x5C and 0x7E as YEN SIGN and OVERLINE, and so
gives these two cells \\ and ~).

A JIS X 0213 code is kept in 16 bits: the JIS row and cell bytes (0x21-0x7E),
with 0x8000 for plane 2. The forward table is a row of 94 char16_t for each
kept row (ROW_SLOT picks it; 0 = unmapped); a character past the BMP, or a
base with its mark, is a value 0xD800 + n that indexes WIDE. The inverse
table maps each character whose JIS X 0213 code the JIS X 0208 table does
not give (or gives otherwise) to its code, in pages of 16 characters over
U+0000-U+2FFFF; a character that begins a base-and-mark pair carries 0x0080
in its entry, and PAIRS lists the pairs.

Usage:
  tools/gen_jisx0213_table.py            write src/codes/jisx0213_table.cpp
  tools/gen_jisx0213_table.py -o PATH    write PATH instead
  tools/gen_jisx0213_table.py --check    exit 1 if the committed file is stale

Standard library only (Python's own CJK codecs); the output is deterministic.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the tools
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_unicode_table  # noqa: E402  (the JIS X 0208 table)

ROWS = 94
FIRST = 0x21
PLANE2 = 0x8000
BASE_FLAG = 0x0080
WIDE_FIRST = 0xD800
PAGE_BITS = 4
LAST_CHARACTER = 0x2FFFF
PLANE2_ROWS = (1, 3, 4, 5, 8, 12, 13, 14, 15, *range(78, 95))
# The cells JIS X 0213 gives otherwise than Python's euc_jis_2004 encoder
# finds them from the other codec's reading (see the docstring).
OWN_CHOICES = {(1, 1, 32): "\uff3c", (1, 2, 18): "\uff5e"}


def decode(plane, row, cell):
    """The text of a cell as euc_jis_2004 decodes it, or None."""
    data = bytes([row + 0xA0, cell + 0xA0])
    if plane == 2:
        data = b"\x8f" + data
    try:
        return data.decode("euc_jis_2004")
    except UnicodeDecodeError:
        return None


def code_of(plane, row, cell):
    return (PLANE2 if plane == 2 else 0) | (row + 0x20) << 8 | (cell + 0x20)


def build():
    jis0208 = gen_unicode_table.build_forward()
    jis0208_inverse = gen_unicode_table.build_inverse(jis0208)
    cells = {}  # (plane, row, cell) -> text
    plane2_rows = []
    for plane in (1, 2):
        for row in range(1, ROWS + 1):
            for cell in range(1, ROWS + 1):
                text = decode(plane, row, cell)
                if text is None:
                    continue
                if plane == 2:
                    # euc_jis_2004 reads and writes SS3 in the rows plane 2
                    # leaves empty as JIS X 0212, which is no part of this table.
                    if row not in PLANE2_ROWS:
                        continue
                    if row not in plane2_rows:
                        plane2_rows.append(row)
                if not 1 <= len(text) <= 2:
                    sys.exit(f"{plane}-{row}-{cell} decodes to {len(text)} characters")
                cells[(plane, row, cell)] = OWN_CHOICES.get((plane, row, cell), text)

    def jis0208_text(row, cell):
        if row == 13 or row > 84:
            return None  # NEC row 13, user-defined and IBM rows: not JIS X 0208
        u = jis0208[(row - 1) * ROWS + cell - 1]
        return chr(u) if u else None

    # Plane 1 rows that JIS X 0208 answers alike, cell by cell.
    kept_rows = [(1, row) for row in range(1, ROWS + 1)
                 if any(cells.get((1, row, cell)) != jis0208_text(row, cell) for cell in range(1, ROWS + 1))]
    kept_rows += [(2, row) for row in plane2_rows]
    if len(kept_rows) > 254:
        sys.exit("more kept rows than a slot byte reaches")

    wide = []
    forward = {}
    for plane, row in kept_rows:
        values = []
        for cell in range(1, ROWS + 1):
            text = cells.get((plane, row, cell))
            if text is None:
                values.append(0)
            elif len(text) == 1 and ord(text) <= 0xFFFF:
                if WIDE_FIRST <= ord(text) < 0xE000:
                    sys.exit(f"{plane}-{row}-{cell} decodes to a surrogate")
                values.append(ord(text))
            else:
                values.append(WIDE_FIRST + len(wide))
                wide.append((ord(text[0]), ord(text[1]) if len(text) == 2 else 0))
        forward[(plane, row)] = values
    if WIDE_FIRST + len(wide) > 0xE000:
        sys.exit("too many wide entries")

    # The inverse: what the encoder writes for each character that the cells
    # hold, where the JIS X 0208 table does not give that code already.
    pairs = []
    inverse = {}
    for (plane, row, cell), text in sorted(cells.items()):
        code = code_of(plane, row, cell)
        if len(text) == 2:
            pairs.append((ord(text[0]), ord(text[1]), code))
            continue
        u = ord(text)
        if u > LAST_CHARACTER:
            sys.exit(f"U+{u:X} is past the inverse table")
        if u in inverse:
            continue  # the lowest code of a character held twice
        j = jis0208_inverse.get(u, 0)
        if j == code and jis0208_text((j >> 8) - 0x20, (j & 0xFF) - 0x20) is not None:
            continue  # JIS X 0208's own code
        inverse[u] = code
    for base, mark, code in pairs:
        if base not in inverse:
            j = jis0208_inverse.get(base, 0)
            if not j:
                sys.exit(f"the base U+{base:04X} has no code of its own")
            inverse[base] = j
        inverse[base] |= BASE_FLAG
    return kept_rows, forward, wide, inverse, pairs, cells, jis0208, jis0208_inverse


def verify(kept_rows, forward, wide, inverse, pairs, cells, jis0208, jis0208_inverse):
    """Reads every cell back through the tables as the C++ lookups do, and
    every character through the inverse as the writers do: both must give
    the encoder's and the decoder's answers."""
    slot = {key: n for n, key in enumerate(kept_rows)}

    def lookup(plane, row, cell):
        if (plane, row) in slot:
            v = forward[(plane, row)][cell - 1]
            if v == 0:
                return None
            if v >= WIDE_FIRST and v < 0xE000:
                first, second = wide[v - WIDE_FIRST]
                return chr(first) + (chr(second) if second else "")
            return chr(v)
        if plane == 2 or row == 13 or row > 84:
            return None
        u = jis0208[(row - 1) * ROWS + cell - 1]
        return chr(u) if u else None

    def pure(j):
        row, cell = (j >> 8) - 0x20, (j & 0xFF) - 0x20
        return 1 <= row <= 84 and row != 13 and jis0208[(row - 1) * ROWS + cell - 1] != 0

    def encode(u):
        x = inverse.get(u, 0) & ~BASE_FLAG
        if x:
            return x
        j = jis0208_inverse.get(u, 0)
        return j if j and pure(j) else 0

    for plane in (1, 2):
        for row in range(1, ROWS + 1):
            for cell in range(1, ROWS + 1):
                if lookup(plane, row, cell) != cells.get((plane, row, cell)):
                    sys.exit(f"{plane}-{row}-{cell}: the tables read {lookup(plane, row, cell)!r}")
    for (plane, row, cell), text in cells.items():
        code = code_of(plane, row, cell)
        if len(text) == 2:
            continue
        want = text.encode("euc_jis_2004")
        got = encode(ord(text))
        got_bytes = (b"\x8f" if got & PLANE2 else b"") + bytes([(got >> 8 & 0x7F) | 0x80, (got & 0x7F) | 0x80])
        if (plane, row, cell) in OWN_CHOICES:
            want = got_bytes if got == code else b"?"
        if got_bytes != want:
            sys.exit(f"U+{ord(text):04X} writes {got_bytes.hex()} where {want.hex()} is meant")
    for base, mark, code in pairs:
        if not inverse[base] & BASE_FLAG:
            sys.exit(f"U+{base:04X} is not marked as a base")


def render(kept_rows, forward, wide, inverse, pairs):
    out = gen_unicode_table.generated_by("gen_jisx0213_table.py")
    w = out.append
    w("// JIS X 0213 <-> Unicode, as Python's euc_jis_2004 codec maps them, for the")
    w("// cells that kotran's JIS X 0208 table does not answer alike: the rows of")
    w("// plane 1 below, and plane 2. 1-1-32 is U+FF3C and 1-2-18 U+FF5E.")
    w(f"// {len(kept_rows)} rows are kept, {len(wide)} cells are past the BMP or a base and a mark,")
    w(f"// {len(inverse)} characters are in the inverse table, {len(pairs)} pairs.")
    w("")
    w('#include "codes/jisx0213_table.h"')
    w("")
    w("namespace kotran::jisx0213_tables {")
    w("")
    w(f"static_assert(KEPT_ROWS == {len(kept_rows)} && WIDE_COUNT == {len(wide)} && PAIR_COUNT == {len(pairs)} &&")
    w(f"              PAGE_BITS == {PAGE_BITS} && PAGE_COUNT == {(LAST_CHARACTER >> PAGE_BITS) + 1},")
    w('              "the header and the generator must agree");')
    w("")
    w("// clang-format off")
    w("")
    w("// The slot of each row in X0213_TO_UNICODE, by plane (0, 1) and row - 1;")
    w("// 0xFF where the row is JIS X 0208's own (plane 1) or empty (plane 2).")
    w("const uint8_t ROW_SLOT[2][94] = {")
    for plane in (1, 2):
        slots = [kept_rows.index((plane, row)) if (plane, row) in kept_rows else 0xFF for row in range(1, ROWS + 1)]
        w("    {")
        out.extend(gen_unicode_table.hex_lines(slots, 2, 16, indent="        "))
        w("    },")
    w("};")
    w("")
    w("// Unicode of each cell of the kept rows; 0 unmapped, 0xD800 + n: WIDE[n].")
    w("const char16_t X0213_TO_UNICODE[KEPT_ROWS][94] = {")
    for plane, row in kept_rows:
        values = forward[(plane, row)]
        w(f"    // plane {plane}, row {row}: {sum(1 for v in values if v)} mapped")
        w("    {")
        out.extend(gen_unicode_table.hex_lines(values, 4, 16, indent="        "))
        w("    },")
    w("};")
    w("")
    w("// The cells past the BMP (second 0), and the bases with their marks.")
    w("const Wide WIDE[WIDE_COUNT] = {")
    for start in range(0, len(wide), 4):
        w("    " + " ".join(f"{{0x{a:05X}, 0x{b:04X}}}," for a, b in wide[start:start + 4]))
    w("};")
    w("")
    w("// Each base and mark that one cell holds, and the cell.")
    w("const Pair PAIRS[PAIR_COUNT] = {")
    for base, mark, code in pairs:
        w(f"    {{0x{base:04X}, 0x{mark:04X}, 0x{code:04X}}},")
    w("};")
    w("")
    pages = {}
    for u, code in inverse.items():
        pages.setdefault(u >> PAGE_BITS, {})[u & ((1 << PAGE_BITS) - 1)] = code
    highs = sorted(pages)
    number = {high: n + 1 for n, high in enumerate(highs)}
    if len(highs) + 1 > 0xFFFF:
        sys.exit("too many pages")
    w("// The page of INVERSE of each 16 characters (0: none mapped).")
    w("const uint16_t PAGE[PAGE_COUNT] = {")
    out.extend(gen_unicode_table.hex_lines([number.get(h, 0) for h in range((LAST_CHARACTER >> PAGE_BITS) + 1)],
                                           3, 16))
    w("};")
    w("")
    w("// The JIS X 0213 code of each character (0x8000 plane 2, 0x0080 a base).")
    w(f"const uint16_t INVERSE[{len(highs) + 1}][16] = {{")
    w("    {},")
    for high in highs:
        entries = pages[high]
        w(f"    // U+{high << PAGE_BITS:04X}..U+{(high << PAGE_BITS) + 15:04X}, {len(entries)} mapped")
        w("    {")
        out.extend(gen_unicode_table.hex_lines([entries.get(low, 0) for low in range(16)], 4, 16, indent="        "))
        w("    },")
    w("};")
    w("")
    w("// clang-format on")
    w("")
    w("}  // namespace kotran::jisx0213_tables")
    return "\n".join(out) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    default = os.path.join(root, "src", "codes", "jisx0213_table.cpp")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=default, help="file to write")
    parser.add_argument("--check", action="store_true", help="compare with the file instead of writing it")
    args = parser.parse_args()
    built = build()
    verify(*built)
    kept_rows, forward, wide, inverse, pairs = built[:5]
    text = render(kept_rows, forward, wide, inverse, pairs)
    return gen_unicode_table.write_or_check(args.output, text, args.check, "gen_jisx0213_table.py")


if __name__ == "__main__":
    sys.exit(main())
