#!/usr/bin/env python3
"""Generate src/recognition/korean_model.cpp: a small model of Korean text.

EUC-KR text is valid EUC: its hangul syllables (KS X 1001 rows 16-40, bytes
0xB0-0xC8 and 0xA1-0xFE) are read as kanji of JIS X 0208 rows 16-40. To tell
that such a text is not Japanese, recognition reads it as EUC-KR too and
scores that reading under this model, as costs in half bits (cost = -2 log2
p, rounded):

- the cost of each hangul syllable (2,350 cells), from its frequency in the
  training text with UNSEEN added to every count;
- the cost of any other KS X 1001 character (symbols, hanja), by the share
  of such characters in the training text, spread over their cells;
- the cost of going from one class (ascii, hangul, other) to the next, with
  add-one smoothing; ASCII after ASCII costs nothing.

The training text is Debian's debian-faq-ko package (the Debian FAQ in
Korean, HTML), version CORPUS_VERSION, checked by its SHA-256. The
recognition benchmark tests on other text: the Korean message catalogues of
the installed programs.

Usage:
  tools/gen_korean_model.py              write src/recognition/korean_model.cpp
  tools/gen_korean_model.py -o PATH      write PATH instead
  tools/gen_korean_model.py --check      exit 1 if the committed file is stale
  tools/gen_korean_model.py --corpus DEB use this copy of the package

Without --corpus the package is fetched with `apt-get download` into
$XDG_CACHE_HOME/kotran (or ~/.cache/kotran). Standard library only, plus
dpkg-deb; the output is deterministic.
"""

import argparse
import hashlib
import html
import io
import math
import os
import re
import subprocess
import sys
import tarfile

CORPUS_PACKAGE = "debian-faq-ko"
CORPUS_VERSION = "11.1"
CORPUS_SHA256 = "1e010227c0e7497b836e195beedcda60f3e9b8856f19f211cbbdc5e91b4a5d7a"

UNSEEN = 0.5  # the count added to every syllable's
HANGUL_FIRST, HANGUL_LAST = 0xB0, 0xC8  # lead bytes of the hangul rows
CELLS = 94
OTHER_CELLS = 94 * 94 - (HANGUL_LAST - HANGUL_FIRST + 1) * CELLS
CLASSES = ["ascii", "hangul", "other"]
MAX_COST = 255

OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "recognition", "korean_model.cpp")


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "kotran")


def fetch_corpus():
    """The package file, downloaded once into the cache."""
    directory = cache_dir()
    os.makedirs(directory, exist_ok=True)
    path = os.path.join(directory, f"{CORPUS_PACKAGE}_{CORPUS_VERSION}_all.deb")
    if not os.path.exists(path):
        subprocess.run(["apt-get", "download", f"{CORPUS_PACKAGE}={CORPUS_VERSION}"], cwd=directory,
                       check=True, stdout=subprocess.DEVNULL)
    return path


def read_corpus(deb):
    """The FAQ's text, one string a page, in name order, markup dropped."""
    data = open(deb, "rb").read()
    digest = hashlib.sha256(data).hexdigest()
    if digest != CORPUS_SHA256:
        sys.exit(f"{deb}: SHA-256 {digest}, expected {CORPUS_SHA256}")
    tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True, stdout=subprocess.PIPE).stdout
    pages = []
    with tarfile.open(fileobj=io.BytesIO(tar)) as archive:
        for member in sorted(archive.getmembers(), key=lambda m: m.name):
            if not member.isfile() or not member.name.endswith(".html"):
                continue
            text = archive.extractfile(member).read().decode("utf-8", errors="replace")
            text = re.sub(r"(?s)<(script|style).*?</\1>", "", text)
            text = html.unescape(re.sub(r"<[^>]+>", " ", text))
            pages.append(re.sub(r"[ \t]+", " ", text))
    return pages


def units(data):
    """(class, lead, trail) of each character of EUC-KR bytes."""
    i = 0
    while i < len(data):
        b = data[i]
        if b < 0x80:
            yield "ascii", b, 0
            i += 1
            continue
        t = data[i + 1]
        yield ("hangul" if HANGUL_FIRST <= b <= HANGUL_LAST else "other"), b, t
        i += 2


def cost(p):
    return min(MAX_COST, max(1, round(-2 * math.log2(p))))


def build(pages):
    counts = [0] * ((HANGUL_LAST - HANGUL_FIRST + 1) * CELLS)
    others = 0
    moves = {(a, b): 0 for a in CLASSES for b in CLASSES}
    for page in pages:
        data = page.encode("euc_kr", errors="ignore")
        last = "ascii"
        for c, lead, trail in units(data):
            if c == "hangul":
                counts[(lead - HANGUL_FIRST) * CELLS + trail - 0xA1] += 1
            elif c == "other":
                others += 1
            moves[(last, c)] += 1
            last = c
    hangul = sum(counts)
    total = hangul + others
    share_hangul = (hangul + 1) / (total + 2)
    cell_cost = [cost(share_hangul * (n + UNSEEN) / (hangul + UNSEEN * len(counts))) for n in counts]
    other_cost = cost((1 - share_hangul) / OTHER_CELLS)
    move_cost = []
    for a in CLASSES:
        row_total = sum(moves[(a, b)] for b in CLASSES) + len(CLASSES)
        move_cost.append([0 if a == b == "ascii" else cost((moves[(a, b)] + 1) / row_total) for b in CLASSES])
    return cell_cost, other_cost, move_cost, hangul, others


def render(cell_cost, other_cost, move_cost, hangul, others):
    out = [
        "// Generated by tools/gen_korean_model.py; do not edit.",
        f"// Trained on {CORPUS_PACKAGE} {CORPUS_VERSION}: {hangul} hangul syllables, {others} other characters.",
        "",
        '#include "recognition/korean_model.h"',
        "",
        "namespace kotran {",
        "namespace korean_model {",
        "",
        "// Cost of each hangul syllable, lead bytes 0xB0-0xC8 by row then cell.",
        "const uint8_t HANGUL_COST[HANGUL_ROWS * ROW_CELLS] = {",
    ]
    for row in range(HANGUL_LAST - HANGUL_FIRST + 1):
        out.append(f"    // lead 0x{HANGUL_FIRST + row:02X}")
        cells = cell_cost[row * CELLS:(row + 1) * CELLS]
        for k in range(0, CELLS, 24):
            out.append("    " + ", ".join(str(c) for c in cells[k:k + 24]) + ",")
    out += ["};", "", f"const uint8_t OTHER_COST = {other_cost};", "",
            "// Cost of a change of class: ascii, hangul, other.",
            "const uint8_t TRANSITION_COST[CLASS_COUNT][CLASS_COUNT] = {"]
    for row in move_cost:
        out.append("    {" + ", ".join(str(c) for c in row) + "},")
    out += ["};", "", "}  // namespace korean_model", "}  // namespace kotran", ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-o", "--output", default=OUTPUT)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--corpus")
    args = parser.parse_args()
    text = render(*build(read_corpus(args.corpus or fetch_corpus())))
    if args.check:
        current = open(args.output, encoding="utf-8").read() if os.path.exists(args.output) else ""
        if current != text:
            sys.exit(f"{args.output} is stale: run tools/gen_korean_model.py")
        return
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
