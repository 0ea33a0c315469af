#!/usr/bin/env python3
"""Generate src/recognition/japanese_model.cpp: a small model of Japanese text.

Recognition scores the readings of a text that is valid in more than one code
(EUC and Shift-JIS, say) by how much each reading looks like Japanese. The
model has two parts, both as costs in half bits (cost = -2 log2 p, rounded):

- the cost of each character of JIS X 0208 rows 1-94: the characters seen
  most often in the training text (up to LISTED of them) have their own
  frequency; every other assigned character counts as seen UNSEEN times;
- the cost of going from one character class to the next (ascii, hiragana,
  katakana, kanji, symbol, alnum, halfkana, latin), with add-one smoothing.

Half-width katakana are rare in any corpus, so the text is counted twice: as
it is, and with its katakana made half-width. The half-width characters'
costs and their transitions come from the second reading.

ASCII is free: an ASCII character costs nothing and so does ASCII after
ASCII; only the edges between ASCII and the rest are counted. The latin
class (accented letters, Greek and Cyrillic, which Japanese text almost never
holds) is not learnt: its costs are set here, cheap next to ASCII and dear
next to Japanese.

The training text is Debian's manpages-ja package (Japanese translations of
the Linux man pages, UTF-8 roff), version CORPUS_VERSION, checked by its
SHA-256. The recognition benchmark tests on other text: the Japanese message
catalogues and the man pages that other packages install.

Usage:
  tools/gen_japanese_model.py              write src/recognition/japanese_model.cpp
  tools/gen_japanese_model.py -o PATH      write PATH instead
  tools/gen_japanese_model.py --check      exit 1 if the committed file is stale
  tools/gen_japanese_model.py --corpus DEB use this copy of the package

Without --corpus the package is fetched with `apt-get download` into
$XDG_CACHE_HOME/kotran (or ~/.cache/kotran). Standard library only, plus
dpkg-deb; the output is deterministic.
"""

import argparse
import collections
import gzip
import math
import os
import re
import sys
import unicodedata

from debian_pages import fetch, members

CORPUS_PACKAGE = "manpages-ja"
CORPUS_VERSION = "0.5.0.0.20221215+dfsg-1"
CORPUS_SHA256 = "4d270e9a1e83be4de0c072a110892a17dc9caa4b501257324006ac28d82c5743"

LISTED = 2600  # characters with a frequency of their own
UNSEEN = 0.5   # the count a character not listed is given
CLASSES = ["ascii", "hiragana", "katakana", "kanji", "symbol", "alnum", "halfkana", "latin"]
MAX_COST = 255

# The latin class's costs, in half bits.
LATIN_CHAR = 12           # an accented letter in latin text: 1 in 64
LATIN_NEAR_ASCII = 2      # ascii -> latin and latin -> ascii
LATIN_AFTER_LATIN = 4
LATIN_NEAR_JAPANESE = 20  # latin next to any Japanese class: 1 in 1024

OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "recognition",
                      "japanese_model.cpp")


def class_of(u):
    """The class of code point u; the C++ char_class() draws the same lines."""
    if u < 0x80:
        return "ascii"
    if 0x3041 <= u <= 0x309F:
        return "hiragana"
    if 0x30A0 <= u <= 0x30FF and u != 0x30FB:
        return "katakana"
    if 0xFF61 <= u <= 0xFF9F:
        return "halfkana"
    if 0x3005 <= u <= 0x3007 or 0x3400 <= u <= 0x4DBF or 0x4E00 <= u <= 0x9FFF or 0xF900 <= u <= 0xFAFF:
        return "kanji"
    if 0xFF10 <= u <= 0xFF19 or 0xFF21 <= u <= 0xFF3A or 0xFF41 <= u <= 0xFF5A:
        return "alnum"
    if 0xA0 <= u <= 0x24F or 0x370 <= u <= 0x52F:
        return "latin"
    return "symbol"


def read_corpus(deb):
    """The man pages' text, one string a page, in name order."""
    return [plain_text(gzip.decompress(data).decode("utf-8", errors="replace"))
            for name, data in members(deb, CORPUS_SHA256) if "/man/ja/" in name and name.endswith(".gz")]


ROFF_ESCAPE = re.compile(r"\\(f(\[[^]]*\]|\(..|.)|\(..|\*(\(..|.)|s[-+]?\d|[-&|^ e])")


def plain_text(page):
    """The page without roff: comments dropped, requests reduced to their words."""
    lines = []
    for line in page.splitlines():
        if line.startswith(('.\\"', "'\\\"", '.\\\\"')):
            continue
        if line.startswith((".", "'")):
            parts = line.split(None, 1)
            line = parts[1] if len(parts) > 1 else ""
        lines.append(ROFF_ESCAPE.sub("", line).replace('"', ""))
    return "\n".join(lines) + "\n"


def half_width_map():
    """Full-width katakana (and their voiced forms) to half-width text."""
    table = {}
    for c in range(0xFF61, 0xFFA0):
        h = chr(c)
        table.setdefault(unicodedata.normalize("NFKC", h), h)
        for mark in "\uFF9E\uFF9F":
            full = unicodedata.normalize("NFKC", h + mark)
            if len(full) == 1:
                table.setdefault(full, h + mark)
    return {k: v for k, v in table.items() if class_of(ord(k)) == "katakana"}


def jis_code(ch):
    """The JIS X 0208 code (rows 1-94) of ch, or None."""
    try:
        b = ch.encode("euc_jp")
    except UnicodeEncodeError:
        return None
    if len(b) != 2 or b[0] < 0xA1:
        return None
    return (b[0] - 0x80) << 8 | (b[1] - 0x80)


def cost(p):
    return min(MAX_COST, max(0, round(-2 * math.log2(p))))


def count(pages):
    chars = collections.Counter()
    transitions = collections.Counter()
    half = half_width_map()
    for page in pages:
        for text in (page, "".join(half.get(c, c) for c in page)):
            previous = "ascii"
            for ch in text:
                cls = class_of(ord(ch))
                transitions[previous, cls] += 1
                previous = cls
                if cls != "ascii":
                    chars[ch] += 1
    return chars, transitions


def assigned_cells():
    """Every JIS X 0208 code of rows 1-94 with its character, as EUC decodes it."""
    cells = {}
    for row in range(0x21, 0x7F):
        for cell in range(0x21, 0x7F):
            try:
                ch = bytes((row | 0x80, cell | 0x80)).decode("euc_jp")
            except UnicodeDecodeError:
                # NEC row 13 and the NEC-selected IBM rows, as Shift-JIS holds them
                sjis = jis_to_sjis(row, cell)
                try:
                    ch = sjis.decode("cp932")
                except UnicodeDecodeError:
                    continue
            cells[row << 8 | cell] = ch
    return cells


def jis_to_sjis(row, cell):
    lead = ((row - 0x21) >> 1) + 0x81
    if lead > 0x9F:
        lead += 0x40
    if row & 1:
        trail = cell + 0x1F + (1 if cell + 0x1F >= 0x7F else 0)
    else:
        trail = cell + 0x7E
    return bytes((lead, trail))


def build(pages):
    chars, transitions = count(pages)
    total = sum(chars.values())
    cells = assigned_cells()
    in_jis = {ch: code for code, ch in sorted(cells.items(), reverse=True)}  # lowest code wins
    ranked = sorted((c for c in chars if c in in_jis and class_of(ord(c)) != "halfkana"),
                    key=lambda c: (-chars[c], ord(c)))
    listed = set(ranked[:LISTED])

    # A character not listed counts as seen half a time.
    cell_cost = [0] * (94 * 94)
    for code, ch in cells.items():
        index = ((code >> 8) - 0x21) * 94 + (code & 0xFF) - 0x21
        cell_cost[index] = cost((chars[ch] if ch in listed else UNSEEN) / total)

    halfkana = [cost((chars[chr(u)] or UNSEEN) / total) for u in range(0xFF61, 0xFFA0)]

    trans = []
    for a in CLASSES:
        row_total = sum(transitions[a, b] for b in CLASSES)
        row = []
        for b in CLASSES:
            if a == "ascii" and b == "ascii":
                row.append(0)
            elif "latin" in (a, b):
                if a == b:
                    row.append(LATIN_AFTER_LATIN)
                elif "ascii" in (a, b):
                    row.append(LATIN_NEAR_ASCII)
                else:
                    row.append(LATIN_NEAR_JAPANESE)
            else:
                row.append(cost((transitions[a, b] + 1) / (row_total + len(CLASSES))))
        trans.append(row)
    return {
        "cells": cell_cost,
        "halfkana": halfkana,
        "transitions": trans,
        "total": total,
        "pages": len(pages),
    }


def number_lines(values, per_line, indent="    "):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
    return "\n".join(lines)


def render(model):
    out = []
    out.append("// Generated by tools/gen_japanese_model.py; do not edit.")
    out.append(f"// Trained on {CORPUS_PACKAGE} {CORPUS_VERSION}: {model['pages']} pages,")
    out.append(f"// {model['total']} non-ASCII characters (counted as written and with half-width katakana).")
    out.append("")
    out.append('#include "recognition/japanese_model.h"')
    out.append("")
    out.append("namespace kotran {")
    out.append("namespace japanese_model {")
    out.append("")
    out.append("// Cost of each JIS X 0208 character, rows 1-94 by row then cell; 0 where unassigned.")
    out.append("const uint8_t CELL_COST[JIS_ROWS * JIS_ROW_CELLS] = {")
    for row in range(94):
        out.append(f"    // row {row + 1}")
        out.append(number_lines(model["cells"][row * 94:(row + 1) * 94], 24))
    out.append("};")
    out.append("")
    out.append("// Cost of each half-width katakana, U+FF61-U+FF9F.")
    out.append("const uint8_t HALFKANA_COST[HALFKANA_COUNT] = {")
    out.append(number_lines(model["halfkana"], 24))
    out.append("};")
    out.append("")
    out.append("// Cost of a character of the column's class after one of the row's:")
    out.append("// " + ", ".join(CLASSES) + ".")
    out.append("const uint8_t TRANSITION_COST[CLASS_COUNT][CLASS_COUNT] = {")
    for cls, row in zip(CLASSES, model["transitions"]):
        out.append("    {" + ", ".join(f"{v:3d}" for v in row) + f"}},  // {cls}")
    out.append("};")
    out.append("")
    out.append(f"const uint8_t LATIN_CHAR_COST = {LATIN_CHAR};")
    out.append("")
    out.append("}  // namespace japanese_model")
    out.append("}  // namespace kotran")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=OUTPUT)
    parser.add_argument("--check", action="store_true", help="exit 1 if the committed file is stale")
    parser.add_argument("--corpus", help="the manpages-ja package file to train on")
    args = parser.parse_args()
    text = render(build(read_corpus(args.corpus or fetch(CORPUS_PACKAGE, CORPUS_VERSION))))
    if args.check:
        with open(args.output, encoding="utf-8") as f:
            if f.read() != text:
                print(f"{args.output} is stale: run tools/gen_japanese_model.py", file=sys.stderr)
                return 1
        print(f"{args.output} is up to date")
        return 0
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
