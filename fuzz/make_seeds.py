#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/seeds/<target>/.

The seeds come from the byte tables of tests/convert_*_test.cpp and
tests/detect_code_test.cpp and from the texts in tests/corpus/ (stored as
UTF-8, and written here in Shift-JIS, EUC and JIS with Python's codecs).
Each seed starts with the parameter bytes its target reads first (see the
comment at the top of each fuzz/*_fuzzer.cpp). Files are named by the SHA-1
of their content, as libFuzzer names its own, so running the script again
gives the same files.

    python3 fuzz/make_seeds.py          # rewrite fuzz/seeds/
    python3 fuzz/make_seeds.py --check  # exit 1 if fuzz/seeds/ is out of date
"""

import hashlib
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TESTS = ROOT / "tests"
SEEDS = ROOT / "fuzz" / "seeds"

SJIS, JIS, EUC, UTF8 = 0, 1, 2, 3
SOURCE_OF_FILE = {"convert_sjis_test.cpp": SJIS, "convert_jis_test.cpp": JIS, "convert_euc_test.cpp": EUC}
TARGET_OF_NAME = {"TO_SJIS": SJIS, "TO_JIS": JIS, "TO_EUC": EUC}
SETTING_BITS = {"CLEAR": 0, "WIDE": 0x10, "J7": 0x20}  # as bits of the convert target's byte 0

HEX_STRING = re.compile(r"^(?:[0-9A-Fa-f]{2}(?: [0-9A-Fa-f]{2})*)?$")


def tokens(source):
    """C++ tokens, enough for the tables: string literals (adjacent ones joined),
    identifiers and punctuation; comments dropped."""
    out = []
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = n if i < 0 else i
        elif source.startswith("/*", i):
            i = source.find("*/", i) + 2
        elif c == '"':
            j = i + 1
            value = []
            while source[j] != '"':
                if source[j] == "\\":
                    value.append(source[j : j + 2])
                    j += 2
                else:
                    value.append(source[j])
                    j += 1
            text = "".join(value)
            if out and out[-1][0] == "str":
                out[-1] = ("str", out[-1][1] + text)
            else:
                out.append(("str", text))
            i = j + 1
        elif c == "'":
            j = source.find("'", i + 2 if source[i + 1] == "\\" else i + 1)
            i = j + 1
        elif c.isalnum() or c == "_":
            j = i
            while j < n and (source[j].isalnum() or source[j] == "_"):
                j += 1
            out.append(("id", source[i:j]))
            i = j
        elif c.isspace():
            i += 1
        else:
            out.append(("punct", c))
            i += 1
    return out


def hex_bytes(text):
    return bytes(int(h, 16) for h in text.split())


def is_hex(text):
    return bool(HEX_STRING.match(text))


def table_rows(path):
    """(target, settings bits, input, expected) of each row {"label", TO_X, in, SETTINGS, out}.
    In and out are hex string literals or names of constexpr char arrays."""
    toks = tokens(path.read_text(encoding="utf-8"))
    named = {}
    for k in range(len(toks) - 5):
        # constexpr char NAME[] = "..." ;
        if toks[k] == ("id", "char") and toks[k + 2] == ("punct", "[") and toks[k + 5][0] == "str":
            named[toks[k + 1][1]] = toks[k + 5][1]
    rows = []
    k = 0
    while k < len(toks):
        t = toks[k : k + 6]
        if (
            len(t) == 6
            and t[0] == ("punct", "{")
            and t[1][0] == "str"
            and t[2] == ("punct", ",")
            and t[3][0] == "id"
            and t[3][1] in TARGET_OF_NAME
        ):
            j = k + 5
            values = []
            expr = []
            while j < len(toks) and toks[j] != ("punct", "}"):
                if toks[j] == ("punct", ","):
                    values.append(expr)
                    expr = []
                else:
                    expr.append(toks[j])
                j += 1
            values.append(expr)
            if len(values) == 3:
                data, setting, expected = values

                def text_of(expr):
                    if len(expr) == 1 and expr[0][0] == "str":
                        return expr[0][1]
                    if len(expr) == 1 and expr[0][0] == "id":
                        return named.get(expr[0][1])
                    return None

                bits = 0
                for tok in setting:
                    if tok[0] == "id":
                        bits |= SETTING_BITS.get(tok[1], 0)
                a, b = text_of(data), text_of(expected)
                if a is not None and b is not None and is_hex(a) and is_hex(b):
                    rows.append((TARGET_OF_NAME[t[3][1]], bits, hex_bytes(a), hex_bytes(b)))
            k = j
        k += 1
    return rows


def hex_literals(path):
    return [hex_bytes(t) for kind, t in tokens(path.read_text(encoding="utf-8")) if kind == "str" and is_hex(t) and t]


def corpus_texts():
    """Each corpus text as {code: bytes}."""
    texts = []
    for path in sorted((TESTS / "corpus").glob("*.txt")):
        utf8 = path.read_bytes()
        s = utf8.decode("utf-8")
        texts.append(
            {
                UTF8: utf8,
                SJIS: s.encode("cp932", errors="replace"),
                EUC: s.encode("euc_jp", errors="replace"),
                JIS: s.encode("iso2022_jp", errors="replace"),
            }
        )
    return texts


# Block fills for the seeds in turn: 4096, 1, 2, 3, 7 bytes.
CONVERT_CHUNKS = [0x80, 0x00, 0x01, 0x02, 0x06]
DETECT_CHUNKS = [0xC0, 0x00, 0x01, 0x02, 0x06]


def convert_seeds():
    seeds = []
    turn = 0

    def add(converter, bits, data, text=False):
        nonlocal turn
        byte0 = converter | bits | (0x40 if text else 0)
        seeds.append(bytes([byte0, CONVERT_CHUNKS[turn % len(CONVERT_CHUNKS)]]) + data)
        turn += 1

    for name, source in SOURCE_OF_FILE.items():
        for target, bits, data, expected in table_rows(TESTS / name):
            add(source * 4 + target, bits, data)
            # What a converter wrote is text in its target code: read it back.
            if target != source:
                add(target * 4 + source, bits, expected)
    for i, text in enumerate(corpus_texts()):
        for source in (SJIS, JIS, EUC, UTF8):
            target = (source + 1 + i) % 4
            add(source * 4 + target, 0x10 if i % 2 else 0, text[source], text=True)
    return seeds


def detect_seeds():
    inputs = []
    for name in ["detect_code_test.cpp", *SOURCE_OF_FILE]:
        inputs += hex_literals(TESTS / name)
    for text in corpus_texts():
        inputs += [text[SJIS], text[JIS], text[EUC], text[UTF8]]
    unique = list(dict.fromkeys(inputs))
    return [bytes([DETECT_CHUNKS[i % len(DETECT_CHUNKS)]]) + data for i, data in enumerate(unique)]


def round_trip_bytes(text):
    """The characters of text as the round-trip target's input bytes; characters
    it cannot make (outside JIS X 0208, controls other than LF) are left out."""
    out = bytearray()
    for ch in text:
        u = ord(ch)
        if ch == "\n" or 0x20 <= u <= 0x7E:
            out.append(u)
        elif 0xFF61 <= u <= 0xFF9F:
            out.append(0x80 + (u - 0xFF61))
        else:
            try:
                e = ch.encode("euc_jp")
            except UnicodeEncodeError:
                continue
            if len(e) != 2 or e[0] < 0xA1:
                continue
            index = (e[0] - 0xA1) * 94 + (e[1] - 0xA1)
            out += bytes([0xC0 + (index >> 8), index & 0xFF])
    return bytes(out)


def round_trip_seeds():
    seeds = []
    # Parameter bytes: 4096-byte blocks; blocks of 3 with the '78 escape; the
    # plain loop with blocks of 1; and with letters before the text, so that
    # the 4096-byte blocks end in the text.
    params = [b"\x20\x00", b"\x42\x00", b"\x80\x00", b"\x20\xFF", b"\x22\xF8"]
    for i, text in enumerate(corpus_texts()):
        seeds.append(params[i % len(params)] + round_trip_bytes(text[UTF8].decode("utf-8")))
    # The first, middle and last cell of every row, every katakana, and ASCII.
    every = bytearray()
    for row in range(94):
        for cell in (0, 46, 93):
            index = row * 94 + cell
            every += bytes([0xC0 + (index >> 8), index & 0xFF])
        every.append(0x0A)
    every += bytes(range(0x80, 0x80 + 63)) + b"\n" + bytes(range(0x20, 0x7F)) + b"\n"
    seeds.append(b"\x20\x00" + bytes(every))
    seeds.append(b"\xC4\xE0" + bytes(every))
    # Every code of rows 1-94, in five parts that fit the 4096-byte limit,
    # each part with whole blocks and fast paths, and with other parameters.
    codes = 94 * 94
    part = (codes + 4) // 5
    for k, param in enumerate([b"\x60\x80", b"\x02\x00", b"\xC0\x00", b"\x86\x00", b"\x07\xFF"]):
        data = bytearray()
        for index in range(k * part, min(codes, (k + 1) * part)):
            data += bytes([0xC0 + (index >> 8), index & 0xFF])
            if index % 94 == 93:
                data.append(0x0A)
        seeds.append(b"\x20\x00" + bytes(data))
        seeds.append(param + bytes(data))
    return seeds


def main():
    check = "--check" in sys.argv[1:]
    wanted = {
        "convert_fuzzer": convert_seeds(),
        "detect_fuzzer": detect_seeds(),
        "round_trip_fuzzer": round_trip_seeds(),
    }
    stale = False
    for target, seeds in wanted.items():
        folder = SEEDS / target
        files = {hashlib.sha1(s).hexdigest(): s for s in seeds}
        present = {p.name for p in folder.glob("*")} if folder.exists() else set()
        if check:
            same = present == set(files) and all((folder / n).read_bytes() == s for n, s in files.items())
            if not same:
                print(f"fuzz/seeds/{target} is out of date: run python3 fuzz/make_seeds.py")
                stale = True
            continue
        folder.mkdir(parents=True, exist_ok=True)
        for name in present - set(files):
            (folder / name).unlink()
        for name, data in files.items():
            (folder / name).write_bytes(data)
        print(f"fuzz/seeds/{target}: {len(files)} seeds, {sum(map(len, files.values()))} bytes")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
