#!/usr/bin/env python3
"""Generate src/recognition/chinese_model.cpp: small models of Chinese text.

Chinese text in GBK (GB2312 is EUC as well) and in Big5 is often valid EUC
or Shift-JIS. To tell that such a text is not Japanese, recognition reads it
as GBK and as Big5 too and scores each reading under a model of its own
script, as costs in half bits (cost = -2 log2 p, rounded):

- the cost of each hanzi of the common area (GB2312's hanzi, lead bytes
  0xB0-0xF7 and trail bytes 0xA1-0xFE; Big5's frequent hanzi, lead bytes
  0xA4-0xC6 and trail bytes 0x40-0x7E, 0xA1-0xFE), from its frequency in the
  training text with UNSEEN added to every count;
- the cost of any other character of the code (symbols, rarer hanzi), by
  the share of such characters in the training text, spread over their cells;
- the cost of going from one class (ascii, common, other) to the next, with
  add-one smoothing; ASCII after ASCII costs nothing.

The training text is Debian's debian-reference-zh-cn and -zh-tw packages
(the Debian Reference in Simplified and Traditional Chinese, HTML), version
CORPUS_VERSION, each checked by its SHA-256. The recognition benchmark tests
on other text: the Chinese message catalogues of the installed programs.

Usage:
  tools/gen_chinese_model.py              write src/recognition/chinese_model.cpp
  tools/gen_chinese_model.py -o PATH      write PATH instead
  tools/gen_chinese_model.py --check      exit 1 if the committed file is stale
  tools/gen_chinese_model.py --corpus-cn DEB --corpus-tw DEB   use these copies

Without the --corpus options the packages are fetched with `apt-get download`
into $XDG_CACHE_HOME/kotran (or ~/.cache/kotran). Standard library only, plus
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

CORPUS_VERSION = "2.100"
CORPORA = {
    "gbk": ("debian-reference-zh-cn", "6d2d8d9a646397e28b04cdff23d2e4374101ebf9be348e35961af62c8a2d0977"),
    "big5": ("debian-reference-zh-tw", "d2785bbfcb9c3eb6343a37520df595a720bb30fa634d4cf0750d1c04a0226057"),
}
UNSEEN = 0.5
CLASSES = ["ascii", "common", "other"]
MAX_COST = 255


class Layout:
    """Where a code's common hanzi lie, and how many cells its other characters have."""

    def __init__(self, name, codec, lead_first, lead_last, trails, other_cells):
        self.name, self.codec = name, codec
        self.lead_first, self.lead_last = lead_first, lead_last
        self.trails = trails  # the trail bytes of a common row, in order
        self.other_cells = other_cells

    def common_index(self, lead, trail):
        if not self.lead_first <= lead <= self.lead_last or trail not in self.trail_index:
            return None
        return (lead - self.lead_first) * len(self.trails) + self.trail_index[trail]

    @property
    def trail_index(self):
        return {t: i for i, t in enumerate(self.trails)}

    def cells(self):
        return (self.lead_last - self.lead_first + 1) * len(self.trails)


LAYOUTS = {
    # GBK: leads 0x81-0xFE, trails 0x40-0x7E and 0x80-0xFE: 126 x 190 cells.
    "gbk": Layout("GB", "gbk", 0xB0, 0xF7, list(range(0xA1, 0xFF)), 126 * 190 - 72 * 94),
    # Big5: leads 0xA1-0xF9, trails 0x40-0x7E and 0xA1-0xFE: 89 x 157 cells.
    "big5": Layout("BIG5", "big5", 0xA4, 0xC6, list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)), 89 * 157 - 35 * 157),
}

OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "recognition", "chinese_model.cpp")


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "kotran")


def fetch(package):
    directory = cache_dir()
    os.makedirs(directory, exist_ok=True)
    path = os.path.join(directory, f"{package}_{CORPUS_VERSION}_all.deb")
    if not os.path.exists(path):
        subprocess.run(["apt-get", "download", f"{package}={CORPUS_VERSION}"], cwd=directory, check=True,
                       stdout=subprocess.DEVNULL)
    return path


def read_corpus(deb, sha256):
    """The pages' text, one string a page, in name order, markup dropped."""
    data = open(deb, "rb").read()
    digest = hashlib.sha256(data).hexdigest()
    if digest != sha256:
        sys.exit(f"{deb}: SHA-256 {digest}, expected {sha256}")
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


def cost(p):
    return min(MAX_COST, max(1, round(-2 * math.log2(p))))


def build(layout, pages):
    counts = [0] * layout.cells()
    others = 0
    moves = {(a, b): 0 for a in CLASSES for b in CLASSES}
    for page in pages:
        data = page.encode(layout.codec, errors="ignore")
        last = "ascii"
        i = 0
        while i < len(data):
            b = data[i]
            if b < 0x80:
                c = "ascii"
                i += 1
            else:
                index = layout.common_index(b, data[i + 1])
                if index is None:
                    c = "other"
                    others += 1
                else:
                    c = "common"
                    counts[index] += 1
                i += 2
            moves[(last, c)] += 1
            last = c
    common = sum(counts)
    share = (common + 1) / (common + others + 2)
    cell_cost = [cost(share * (n + UNSEEN) / (common + UNSEEN * len(counts))) for n in counts]
    other_cost = cost((1 - share) / layout.other_cells)
    move_cost = []
    for a in CLASSES:
        row_total = sum(moves[(a, b)] for b in CLASSES) + len(CLASSES)
        move_cost.append([0 if a == b == "ascii" else cost((moves[(a, b)] + 1) / row_total) for b in CLASSES])
    return cell_cost, other_cost, move_cost, common, others


def render(models):
    out = ["// Generated by tools/gen_chinese_model.py; do not edit."]
    for key, (package, _) in CORPORA.items():
        _, _, _, common, others = models[key]
        out.append(f"// {LAYOUTS[key].name}: trained on {package} {CORPUS_VERSION}: {common} common hanzi, "
                   f"{others} other characters.")
    out += ["", '#include "recognition/chinese_model.h"', "", "namespace kotran {", "namespace chinese_model {", ""]
    for key in CORPORA:
        layout = LAYOUTS[key]
        cell_cost, other_cost, move_cost, _, _ = models[key]
        width = len(layout.trails)
        out.append(f"// Cost of each common hanzi, lead bytes 0x{layout.lead_first:02X}-0x{layout.lead_last:02X} "
                   "by row then trail byte.")
        out.append(f"const uint8_t {layout.name}_COST[{layout.name}_ROWS * {layout.name}_ROW_CELLS] = {{")
        for row in range(layout.lead_last - layout.lead_first + 1):
            out.append(f"    // lead 0x{layout.lead_first + row:02X}")
            cells = cell_cost[row * width:(row + 1) * width]
            for k in range(0, width, 24):
                out.append("    " + ", ".join(str(c) for c in cells[k:k + 24]) + ",")
        out += ["};", f"const uint8_t {layout.name}_OTHER_COST = {other_cost};",
                f"const uint8_t {layout.name}_TRANSITION_COST[CLASS_COUNT][CLASS_COUNT] = {{"]
        for row in move_cost:
            out.append("    {" + ", ".join(str(c) for c in row) + "},")
        out += ["};", ""]
    out += ["}  // namespace chinese_model", "}  // namespace kotran", ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-o", "--output", default=OUTPUT)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--corpus-cn")
    parser.add_argument("--corpus-tw")
    args = parser.parse_args()
    given = {"gbk": args.corpus_cn, "big5": args.corpus_tw}
    models = {}
    for key, (package, sha256) in CORPORA.items():
        models[key] = build(LAYOUTS[key], read_corpus(given[key] or fetch(package), sha256))
    text = render(models)
    if args.check:
        current = open(args.output, encoding="utf-8").read() if os.path.exists(args.output) else ""
        if current != text:
            sys.exit(f"{args.output} is stale: run tools/gen_chinese_model.py")
        return
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
