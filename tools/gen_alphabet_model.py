#!/usr/bin/env python3
"""Generate src/recognition/alphabet_model.cpp: small models of text in three
one-byte codes of alphabets, Latin-1 (as Windows writes it, CP1252), Russian
CP1251 and Greek ISO-8859-7.

Such text is often valid Shift-JIS or EUC: its letters beyond ASCII read as
half-width katakana and as pairs of rare kanji. To tell that it is not
Japanese, recognition reads it in each of these codes too and scores that
reading under the code's model, as costs in half bits (cost = -2 log2 p,
rounded):

- the cost of each byte 0x80-0xFF that the code assigns, from its share of
  the bytes 0x80-0xFF in the training text, with UNSEEN added to every
  count (0 marks a byte the code leaves unassigned: no text holds it);
- where a byte 0xC0-0xFF (the letters of all three codes, most of them)
  follows another, its cost after that one: its share of the bytes that
  follow it, the byte's own share standing for FOLLOWERS_WEIGHT of them;
- its class: a letter, or another character (punctuation, symbols);
- the cost of going from one class (ascii, letter, other) to the next, with
  add-one smoothing; ASCII after ASCII costs nothing.

The training text is Debian's FAQ in French and German and its Reference
in French, German, Spanish and Italian (Latin-1), the FAQ in Russian
(CP1251), HTML, and the Greek man pages (ISO-8859-7), each package at the
version given below and checked by its SHA-256. The recognition
benchmark tests on other text: the installed programs' message catalogues.

Usage:
  tools/gen_alphabet_model.py              write src/recognition/alphabet_model.cpp
  tools/gen_alphabet_model.py -o PATH      write PATH instead
  tools/gen_alphabet_model.py --check      exit 1 if the committed file is stale

The packages are fetched with `apt-get download` into $XDG_CACHE_HOME/kotran
(or ~/.cache/kotran). Standard library only, plus dpkg-deb; the output is
deterministic.
"""

import argparse
import gzip
import math
import os
import sys
import unicodedata

from debian_pages import fetch, html_pages, members
from gen_japanese_model import plain_text

# (package, version, SHA-256, kind of pages)
PACKAGES = {
    "debian-faq-fr": ("11.1", "e83cbcc28106fc35f6665a6b0c54c2bd66db481de409764ce35b715baca510df", "html"),
    "debian-faq-de": ("11.1", "e9a8d8234f4b182660d521f80f50cea87f797b4541005a3d64fab7777766f6de", "html"),
    "debian-reference-fr": ("2.100", "01424cba9bfa2e13166da22d3d692d33a22ec7d8ef935ec81fd8802746087f65", "html"),
    "debian-reference-de": ("2.100", "3b0ce65fd63e75ddf8eb07ca36293425135080e690a07e06a6ac8bc8040ef0aa", "html"),
    "debian-reference-es": ("2.100", "a59b68c96f83d3cf29a476c847aee38364764603ea62eee592791e0a843a269e", "html"),
    "debian-reference-it": ("2.100", "7894062a5e9203a57ec6cb8d6a47d5ffb58c41dc004766522f1b4d78b2a8e0c6", "html"),
    "debian-faq-ru": ("11.1", "aaaae7a409c5cf5f5b8c26991f6ef484297e0cd2dee74c8d675cfa6613bce541", "html"),
    "manpages-el": ("4.18.1-1", "79ae710057edfd437a6fcdbf27ed8a1a3e29ae785730282313ed31ff3f93a95d", "man"),
}
# (name in C++, Python codec, training packages)
MODELS = [
    ("LATIN1", "cp1252", ["debian-faq-fr", "debian-faq-de", "debian-reference-fr", "debian-reference-de",
                          "debian-reference-es", "debian-reference-it"]),
    ("CP1251", "cp1251", ["debian-faq-ru"]),
    ("GREEK", "iso8859_7", ["manpages-el"]),
]

UNSEEN = 0.5  # the count added to every assigned byte's
FOLLOWERS_WEIGHT = 4  # how many followers a byte's own share is worth after another byte
PAIR_FIRST = 0xC0  # the bytes whose pairs have costs of their own: 0xC0-0xFF
PAIR_BYTES = 0x100 - PAIR_FIRST
CLASSES = ["ascii", "letter", "other"]
MAX_COST = 255

OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "recognition", "alphabet_model.cpp")


def pages(package):
    version, sha256, kind = PACKAGES[package]
    deb = fetch(package, version)
    if kind == "html":
        return [page.replace("\u00a0", " ") for page in html_pages(deb, sha256)]  # HTML spaces, no text
    return [plain_text(gzip.decompress(data).decode("utf-8", errors="replace"))
            for name, data in members(deb, sha256) if "/man/" in name and name.endswith(".gz")]


def assigned(codec):
    """The character of each byte 0x80-0xFF in the code; None where it assigns none (or a C1 control)."""
    chars = []
    for b in range(0x80, 0x100):
        try:
            c = bytes([b]).decode(codec)
        except UnicodeDecodeError:
            c = None
        chars.append(None if c is None or ord(c) < 0xA0 else c)
    return chars


def class_of(c):
    return "letter" if unicodedata.category(c).startswith("L") else "other"


def cost(p):
    return min(MAX_COST, max(1, round(-2 * math.log2(p))))


def build(codec, texts):
    chars = assigned(codec)
    counts = [0] * 128
    pairs = [[0] * PAIR_BYTES for _ in range(PAIR_BYTES)]
    moves = {(a, b): 0 for a in CLASSES for b in CLASSES}
    for text in texts:
        data = text.encode(codec, errors="ignore")
        last = "ascii"
        previous = 0
        for b in data:
            if b < 0x80:
                c = "ascii"
            elif chars[b - 0x80] is None:
                continue
            else:
                counts[b - 0x80] += 1
                c = class_of(chars[b - 0x80])
                if previous >= PAIR_FIRST and b >= PAIR_FIRST:
                    pairs[previous - PAIR_FIRST][b - PAIR_FIRST] += 1
            moves[(last, c)] += 1
            last = c
            previous = b
    total = sum(counts) + UNSEEN * sum(1 for c in chars if c is not None)
    byte_cost = [0 if c is None else cost((n + UNSEEN) / total) for c, n in zip(chars, counts)]
    byte_class = [0 if c is None else CLASSES.index(class_of(c)) for c in chars]
    share = [0 if c is None else (n + UNSEEN) / total for c, n in zip(chars, counts)]
    pair_cost = []
    for row in pairs:
        followers = sum(row)
        pair_cost += [0 if chars[PAIR_FIRST - 0x80 + k] is None else
                      cost((n + FOLLOWERS_WEIGHT * share[PAIR_FIRST - 0x80 + k]) / (followers + FOLLOWERS_WEIGHT))
                      for k, n in enumerate(row)]
    move_cost = []
    for a in CLASSES:
        row_total = sum(moves[(a, b)] for b in CLASSES) + len(CLASSES)
        move_cost.append([0 if a == b == "ascii" else cost((moves[(a, b)] + 1) / row_total) for b in CLASSES])
    return byte_cost, byte_class, pair_cost, move_cost, sum(counts)


def numbers(values, indent="    "):
    return [indent + ", ".join(str(v) for v in values[k:k + 16]) + "," for k in range(0, len(values), 16)]


def render(models):
    out = [
        "// Generated by tools/gen_alphabet_model.py; do not edit.",
        "// Trained on " + "; ".join(f"{name}: {', '.join(f'{p} {PACKAGES[p][0]}' for p in packages)} ({n} bytes 0x80-0xFF)"
                                   for (name, _, packages), (*_, n) in zip(MODELS, models)) + ".",
        "",
        '#include "recognition/alphabet_model.h"',
        "",
        "namespace kotran {",
        "namespace alphabet_model {",
    ]
    for (name, codec, _), (byte_cost, byte_class, pair_cost, move_cost, _) in zip(MODELS, models):
        out += ["", f"// {codec}: the cost of each byte 0x80-0xFF (0: unassigned), its class (1 letter, 2 other),",
                "// and the cost of a change of class (ascii, letter, other).",
                f"const uint8_t {name}_COST[HIGH_BYTES] = {{"]
        out += numbers(byte_cost)
        out += ["};", f"const uint8_t {name}_CLASS[HIGH_BYTES] = {{"]
        out += numbers(byte_class)
        out += ["};", f"// The cost of a byte 0xC0-0xFF after one of 0xC0-0xFF, by the first then the second.",
                f"const uint8_t {name}_PAIR_COST[PAIR_BYTES * PAIR_BYTES] = {{"]
        out += numbers(pair_cost)
        out += ["};", f"const uint8_t {name}_TRANSITION_COST[CLASS_COUNT][CLASS_COUNT] = {{"]
        out += ["    {" + ", ".join(str(c) for c in row) + "}," for row in move_cost]
        out.append("};")
    out += ["", "}  // namespace alphabet_model", "}  // namespace kotran", ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-o", "--output", default=OUTPUT)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    models = [build(codec, [t for p in packages for t in pages(p)]) for _, codec, packages in MODELS]
    text = render(models)
    if args.check:
        current = open(args.output, encoding="utf-8").read() if os.path.exists(args.output) else ""
        if current != text:
            sys.exit(f"{args.output} is stale: run tools/gen_alphabet_model.py")
        return
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
