#!/usr/bin/env python3
"""How often kotran -g names a file's code rightly, beside nkf --guess.

    python3 bench/recognition.py                          build/kotran, 200 files a cell (~1-2 min)
    python3 bench/recognition.py --kotran PATH --out table.md --work /tmp/rec

Real Japanese text is encoded into classes of files (plain Shift-JIS,
EUC, JIS, UTF-8, ASCII, and harder ones: EUC with JIS X 0212, half-width
katakana only, a cut UTF-8 character, ...), cut at 16 to 4096 bytes and also
kept whole. Every file goes through `kotran -g` and `nkf --guess`; the table
gives, per class and size, the share of files each tool names as the code the
file was written in.

The text is what this machine has installed, none of it from manpages-ja, the
Debian package kotran's recognition tables are trained on:

- /usr/share/locale/ja/LC_MESSAGES/*.mo: the Japanese translations (msgstr)
  of the installed programs' message catalogues;
- /usr/share/man/ja/: Japanese man pages installed by dpkg, apt, vim,
  passwd, man-db and the like, roff markup stripped. A page whose file name
  is also in manpages-ja is left out: the list of manpages-ja's files is read
  from the package itself (`apt-get download manpages-ja`, `dpkg-deb -c`) and
  cached in the work directory;
- /usr/share/locale/{fr,de}/LC_MESSAGES/*.mo: French and German msgstr, for
  UTF-8 text whose characters are all two bytes long;
- the English msgid strings of the Japanese catalogues, for ASCII;
- /usr/share/locale/{ko,zh_CN,zh_TW,ru,el,fr,de}/LC_MESSAGES/*.mo: Korean,
  Chinese, Russian, Greek and French/German msgstr, encoded in EUC-KR, GBK,
  Big5, KOI8-R, CP1251, ISO-8859-7 and CP1252: text that is not Japanese
  (none of it is in the foreign models' training text, Debian's FAQ and
  Reference and the Greek man pages);
- Japanese made of kanji alone: lines of person, place and organisation
  names and of a kana-to-kanji dictionary, from Debian's mecab-ipadic and
  skkdic packages (`apt-get download`, cached in the work directory).

nkf and uchardet (`uchardet FILE`) are the peers. For a foreign class a
tool is right when it names no Japanese code (kotran: `not Japanese`, or
`(not valid text)`).

Message catalogues are not man pages, and the man pages used are those of
other packages, so no sentence of the test text is in the training text.

Python 3 standard library only; needs nkf and uchardet (`apt-get install nkf uchardet`). See
bench/README.md. The generated files stay in the work directory, with every
answer in answers.tsv, so that misses can be studied.
"""

import argparse
import glob
import gettext
import gzip
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unicodedata
from pathlib import Path

SIZES = [16, 32, 64, 128, 256, 1024, 4096]
WHOLE = "whole"
BATCH = 500  # file names per kotran / nkf process
CRLF_SHARE = 0.25  # samples written with CR LF line ends
KIB = 1024

JA_MO = "/usr/share/locale/ja/LC_MESSAGES/*.mo"
LATIN_MO = ["/usr/share/locale/fr/LC_MESSAGES/*.mo", "/usr/share/locale/de/LC_MESSAGES/*.mo"]
JA_MAN = "/usr/share/man/ja"
FOREIGN_MO = "/usr/share/locale/{}/LC_MESSAGES/*.mo"

# uchardet names, by the answer kotran gives; any other answer names no Japanese code
UCHARDET_NAMES = {
    "SHIFT_JIS": "Shift-JIS", "EUC-JP": "EUC", "ISO-2022-JP": "JIS", "UTF-8": "UTF-8", "ASCII": "ASCII",
    "UTF-16": "UTF-16", "UTF-16LE": "UTF-16", "UTF-16BE": "UTF-16",
}
JAPANESE_ANSWERS = {"Shift-JIS", "EUC", "JIS", "UTF-8", "ASCII", "UTF-16", "Shift_JIS-2004", "EUC-JIS-2004"}

# nkf --guess names, by the answer kotran gives
NKF_NAMES = {
    "SHIFT_JIS": "Shift-JIS", "CP932": "Shift-JIS", "WINDOWS-31J": "Shift-JIS", "SHIFT_JISX0213": "Shift-JIS",
    "EUC-JP": "EUC", "CP51932": "EUC", "EUCJP-MS": "EUC", "EUC-JISX0213": "EUC", "EUCJP-ASCII": "EUC",
    "ISO-2022-JP": "JIS", "ISO-2022-JP-1": "JIS", "ISO-2022-JP-3": "JIS", "ISO-2022-JP-2004": "JIS", "CP50220": "JIS",
    "CP50221": "JIS", "CP50222": "JIS",
    "UTF-8": "UTF-8", "ASCII": "ASCII", "US-ASCII": "ASCII",
    "UTF-16": "UTF-16", "UTF-16LE": "UTF-16", "UTF-16BE": "UTF-16",
}

# Latin words as they turn up in Japanese text; each has a letter that EUC-JP
# can only write through JIS X 0212 (SS3, 0x8F)
LATIN_WORDS = """Nicolás Grüß Müller café Señor naïve Dvořák François Zürich Björk Ångström São Málaga
Kraków Gödel Erdős Poincaré Bézier Schrödinger résumé façade jalapeño Mañana Düsseldorf Göteborg
Citroën Renée Hélène Fabergé Noël Ibáñez Łódź Škoda Antonín Jürgen Jörg Søren Øresund Þór déjà vu
Beyoncé Pokémon Curaçao Québec Brontë Chloé Rhône Genève crème brûlée über Straße Gauß Weißbier""".split()


def log(s):
    print(s, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# The text
# ---------------------------------------------------------------------------


def lf(text):
    return text.replace("\r\n", "\n").replace("\r", "")


def read_catalogue(path):
    """(msgids, msgstrs) of a GNU .mo file, decoded by its own charset; ([], []) if unreadable."""
    try:
        with open(path, "rb") as f:
            cat = gettext.GNUTranslations(f)._catalog
    except (OSError, ValueError, LookupError):  # not a catalogue, or a charset Python does not know
        return [], []
    ids, strs = [], []
    for k, v in cat.items():
        msgid = k[0] if isinstance(k, tuple) else k
        if not msgid:  # the header
            continue
        ids.append(lf(msgid))
        strs.append(lf(v))
    return ids, strs


def manpages_ja_names(work):
    """File names (compression suffix dropped) that the manpages-ja package installs; None if unknown."""
    cache = work / "manpages-ja.list"
    if cache.exists():
        return set(cache.read_text().split())
    dl = work / "manpages-ja-deb"
    dl.mkdir(exist_ok=True)
    try:
        subprocess.run(["apt-get", "download", "manpages-ja"], cwd=dl, capture_output=True, timeout=300, check=True)
        deb = next(dl.glob("manpages-ja_*.deb"))
        listing = subprocess.run(["dpkg-deb", "-c", str(deb)], capture_output=True, check=True, text=True).stdout
    except (OSError, subprocess.SubprocessError, StopIteration) as e:
        log(f"WARNING: could not list manpages-ja ({e}); no man page is left out")
        return None
    names = set()
    for line in listing.splitlines():
        path = next((w for w in line.split() if w.startswith("./")), None)
        if path and "/man/" in path and not path.endswith("/"):
            names.add(strip_gz(os.path.basename(path)))
    cache.write_text("\n".join(sorted(names)) + "\n")
    return names


def strip_gz(name):
    return re.sub(r"\.(gz|bz2|xz|zst)$", "", name)


ROFF_NAMED = {"em": "—", "en": "–", "co": "©", "aq": "'", "dq": '"', "lq": "“", "rq": "”", "oq": "‘", "cq": "’",
              "bu": "・", "mu": "×", "rg": "®", "hy": "-", "ti": "~", "ha": "^", "ga": "`"}


def strip_roff(src):
    out = []
    for line in src.splitlines():
        if line.startswith((".", "'")) or line.startswith('\\"'):
            continue
        line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
        line = re.sub(r"\\\((..)", lambda m: ROFF_NAMED.get(m.group(1), ""), line)
        line = re.sub(r"\\\[(\w+)\]", lambda m: ROFF_NAMED.get(m.group(1), ""), line)
        line = re.sub(r"\\\*(\(..|\[[^\]]*\]|.)", "", line)
        line = line.replace("\\-", "-").replace("\\e", "\\").replace("\\ ", " ").replace("\\~", " ")
        line = re.sub(r"\\[&|^c%]", "", line)
        line = re.sub(r'\\".*', "", line)
        out.append(line)
    return "\n".join(out)


def load_corpus(work):
    """The test text: Japanese documents, English (ASCII) documents, French/German documents, and the sources."""
    ja, en, latin, sources = [], [], [], {"ja-mo": 0, "ja-man": 0, "ja-man-excluded": [], "latin-mo": 0}
    for path in sorted(glob.glob(JA_MO)):
        ids, strs = read_catalogue(path)
        text = "\n".join(s for s in strs if s.strip())
        if text and not text.isascii():
            ja.append((f"mo:{Path(path).stem}", text))
            sources["ja-mo"] += 1
        eng = "\n".join(dict.fromkeys(i for i in ids if i.isascii() and i.strip()))
        if eng:
            en.append((f"msgid:{Path(path).stem}", eng))
    excluded = manpages_ja_names(work)
    sources["manpages-ja-list"] = excluded is not None
    seen = set()
    for path in sorted(glob.glob(f"{JA_MAN}/**/*", recursive=True)):
        p = Path(path)
        if p.is_dir() or p.is_symlink():  # links are other names of a page that is read by its own name
            continue
        real = p.resolve()
        if real in seen:
            continue
        seen.add(real)
        name = strip_gz(p.name)
        if excluded and name in excluded:
            sources["ja-man-excluded"].append(name)
            continue
        try:
            raw = gzip.open(p).read() if p.suffix == ".gz" else p.read_bytes()
        except OSError:
            continue
        text = strip_roff(lf(raw.decode("utf-8", "replace").replace("\ufffd", "")))
        text = re.sub(r"\n{3,}", "\n\n", text).strip("\n")
        if text and not text.isascii():
            ja.append((f"man:{name}", text))
            sources["ja-man"] += 1
    for pattern in LATIN_MO:
        for path in sorted(glob.glob(pattern)):
            _, strs = read_catalogue(path)
            # only messages whose characters are all one or two bytes in UTF-8
            text = "\n".join(s for s in strs if s.strip() and max(map(ord, s)) < 0x800)
            if text and not text.isascii():
                latin.append((f"mo:{path.split('/')[-3]}/{Path(path).stem}", text))
                sources["latin-mo"] += 1
    return ja, en, latin, sources


FOREIGN = [  # (key, title, expected answer shown, locales, codec)
    ("euc-kr", "Korean, EUC-KR", ["ko"], "euc_kr"),
    ("gbk", "Simplified Chinese, GBK", ["zh_CN"], "gbk"),
    ("big5", "Traditional Chinese, Big5", ["zh_TW"], "big5"),
    ("koi8-r", "Russian, KOI8-R", ["ru"], "koi8_r"),
    ("cp1251", "Russian, CP1251", ["ru"], "cp1251"),
    ("greek", "Greek, ISO-8859-7", ["el"], "iso8859_7"),
    ("latin1", "French and German, CP1252", ["fr", "de"], "cp1252"),
]


def load_foreign(locales):
    """The msgstr text of the catalogues of the locales, one document a catalogue."""
    docs = []
    for locale in locales:
        for path in sorted(glob.glob(FOREIGN_MO.format(locale))):
            _, strs = read_catalogue(path)
            text = "\n".join(x for x in strs if x.strip())
            if text and not text.isascii():
                docs.append((f"mo:{locale}/{Path(path).stem}", text))
    return docs


def kanji_lists(work, rng, count):
    """Japanese of kanji alone: documents of person, place and organisation names (mecab-ipadic's
    dictionary) and of kana-to-kanji dictionary lines (skkdic); [] where the packages cannot be had."""
    dl = work / "kanji-debs"
    dl.mkdir(exist_ok=True)
    try:
        for package in ("mecab-ipadic", "skkdic"):
            if not list(dl.glob(f"{package}_*.deb")):
                subprocess.run(["apt-get", "download", package], cwd=dl, capture_output=True, timeout=300, check=True)
            deb = next(dl.glob(f"{package}_*.deb"))
            if not (dl / package).exists():
                subprocess.run(["dpkg-deb", "-x", str(deb), str(dl / package)], check=True)
    except (OSError, subprocess.SubprocessError, StopIteration) as e:
        log(f"WARNING: no kanji-only text ({e})")
        return []
    ipadic = next((dl / "mecab-ipadic").rglob("Noun.name.csv")).parent
    docs = []
    for kind in ("name", "place", "org"):
        with open(ipadic / f"Noun.{kind}.csv", encoding="euc_jp", errors="replace") as f:
            words = [line.split(",")[0] for line in f if line.strip()]
        for i in range(count):
            docs.append((f"ipadic:{kind}:{i}", "\n".join(rng.sample(words, 400))))
    jisyo = next((dl / "skkdic").rglob("SKK-JISYO.L"))
    with open(jisyo, encoding="euc_jp", errors="replace") as f:
        lines = [line.rstrip("\n") for line in f if not line.startswith(";")]
    step = max(1, len(lines) // count)
    for i in range(0, len(lines) - 300, step):
        docs.append((f"skk:{i}", "\n".join(lines[i:i + 300])))
    return docs


def half_width_map():
    """Full-width katakana -> half-width form; voiced ones as base + ﾞ / ﾟ."""
    m = {}
    for cp in range(0xFF61, 0xFFA0):
        h = chr(cp)
        f = unicodedata.normalize("NFKC", h)
        if len(f) == 1 and ("\u30a1" <= f <= "\u30fa" or f == "\u30fc"):
            m[f] = h
    for cp in range(0x30A1, 0x30FB):
        f = chr(cp)
        d = unicodedata.normalize("NFD", f)
        if f not in m and len(d) == 2 and d[0] in m and d[1] in "\u3099\u309a":
            m[f] = m[d[0]] + ("\uff9e" if d[1] == "\u3099" else "\uff9f")
    return m


KATAKANA_WORD = re.compile("[\u30a1-\u30f4][\u30a1-\u30f4\u30fc]*")


def is_half_kana(c):
    return "\uff61" <= c <= "\uff9f"


# ---------------------------------------------------------------------------
# Encoders that cut a run of at most N bytes at character edges
# ---------------------------------------------------------------------------

_BYTES = {}


def char_bytes(c, codec):
    key = (codec, c)
    b = _BYTES.get(key, False)
    if b is False:
        try:
            b = c.encode(codec)
        except UnicodeEncodeError:
            b = None
        _BYTES[key] = b
    return b


class Stateless:
    """A code whose characters encode on their own (Shift-JIS, EUC, UTF-8, UTF-16 with a BOM in front)."""

    def __init__(self, codec, prefix=b""):
        self.codec, self.prefix = codec, prefix

    def clean(self, text):
        drop = {ord(c): None for c in set(text) if self.cost(c) is None}
        return text.translate(drop) if drop else text

    def cost(self, c):
        b = char_bytes(c, self.codec)
        return None if b is None else len(b)

    def encode(self, sub, crlf):
        if crlf:
            sub = sub.replace("\n", "\r\n")
        return self.prefix + sub.encode(self.codec)

    def fit(self, text, start, limit, crlf):
        """The longest run of text from start whose encoding is at most limit bytes: (run, bytes)."""
        n, i = len(self.prefix), start
        nl = len(char_bytes("\r", self.codec)) if crlf else 0
        while i < len(text):
            c = text[i]
            k = self.cost(c) + (nl if c == "\n" else 0)
            if n + k > limit:
                break
            n += k
            i += 1
        sub = text[start:i]
        return sub, self.encode(sub, crlf)


class Jis(Stateless):
    """7-bit JIS: ASCII plus the shifts in `allowed` (escape sequences); every run starts and ends in ASCII."""

    def __init__(self, codec, allowed):
        super().__init__(codec)
        self.allowed = allowed
        self._info = {}

    def info(self, c):
        """(shift, bytes of the character itself) or None when c would need another shift."""
        r = self._info.get(c, False)
        if r is False:
            b = char_bytes(c, self.codec)
            r = None
            if b is not None:
                if b[0] != 0x1B:
                    r = ("A", 1) if len(b) == 1 else None
                else:
                    esc = b[:4] if b[1:3] == b"$(" else b[:3]
                    if esc in self.allowed and b.endswith(b"\x1b(B"):
                        r = (esc, len(b) - len(esc) - 3)
            self._info[c] = r
        return r

    def cost(self, c):
        r = self.info(c)
        return None if r is None else r[1]

    def fit(self, text, start, limit, crlf):
        n, i, shift = 0, start, "A"
        while i < len(text):
            s, k = self.info(text[i])
            if crlf and text[i] == "\n":
                k += 1
            k += 0 if s == shift else 3
            if n + k + (3 if s != "A" else 0) > limit:
                break
            n += k
            shift = s
            i += 1
        sub = text[start:i]
        data = self.encode(sub, crlf)
        while len(data) > limit and sub:  # the codec shifted more than counted
            sub = sub[:-1]
            data = self.encode(sub, crlf)
        return sub, data


# ---------------------------------------------------------------------------
# The classes
# ---------------------------------------------------------------------------


def non_ascii(sub, data):
    return not data.isascii() or b"\x1b" in data


class Class:
    """Files of one kind: sized(size, rng, crlf) and whole(i, rng, crlf) give bytes or None."""

    def __init__(self, num, key, title, expected, coder=None, docs=None, ok=non_ascii, sizes=True, foreign=False):
        self.num, self.key, self.title, self.expected = num, key, title, expected
        self.foreign = foreign  # right: no Japanese code named
        self.peer_expected = expected  # the peers' answer, as their names map (they give no UTF-16 order)
        self.coder, self.ok, self.has_sizes = coder, ok, sizes
        self.docs = [coder.clean(t) for _, t in docs] if docs is not None else None
        self.doc_names = [n for n, _ in docs] if docs is not None else None
        self.source = ""  # the document the last file was taken from, for answers.tsv

    def pick_doc(self, rng):
        i = rng.randrange(len(self.docs))
        self.source = self.doc_names[i]
        return self.docs[i]

    def sized(self, size, rng, crlf):
        for _ in range(400):
            doc = self.pick_doc(rng)
            sub, data = self.coder.fit(doc, rng.randrange(len(doc)), size, crlf)
            if sub and self.ok(sub, data):
                return data
        return None

    def wholes(self, rng):
        """Indices of the documents, shuffled: each whole document is one file."""
        order = list(range(len(self.docs)))
        rng.shuffle(order)
        return order

    def whole(self, i, rng, crlf):
        doc = self.docs[i]
        self.source = self.doc_names[i]
        data = self.coder.encode(doc, crlf)
        return data if self.ok(doc, data) else None


class Utf8Cut(Class):
    """UTF-8 cut 1 or 2 bytes into its last multi-byte character."""

    def cut(self, sub, crlf, rng):
        for j in range(len(sub) - 1, 0, -1):
            n = len(char_bytes(sub[j], "utf-8"))
            if n > 1:
                head = sub[:j]
                if head.isascii():
                    return None
                return self.coder.encode(head, crlf) + sub[j].encode("utf-8")[:rng.randint(1, min(2, n - 1))]
        return None

    def sized(self, size, rng, crlf):
        for _ in range(400):
            doc = self.pick_doc(rng)
            sub, _ = self.coder.fit(doc, rng.randrange(len(doc)), size, crlf)
            data = self.cut(sub, crlf, rng)
            if data:
                return data
        return None

    def whole(self, i, rng, crlf):
        self.source = self.doc_names[i]
        return self.cut(self.docs[i], crlf, rng)


class OneKanji8E(Class):
    """ASCII text with one kanji whose Shift-JIS form is 8E 40-7E (a trail byte below 0x80)."""

    def __init__(self, num, key, title, expected, en_docs):
        super().__init__(num, key, title, expected, Stateless("ascii"), en_docs)
        self.kanji = []
        for cp in range(0x4E00, 0xA000):
            b = char_bytes(chr(cp), "cp932")
            if b and len(b) == 2 and b[0] == 0x8E and 0x40 <= b[1] <= 0x7E:
                self.kanji.append(chr(cp))

    def make(self, size, rng, crlf):
        doc = self.pick_doc(rng)
        sub, data = self.coder.fit(doc, rng.randrange(len(doc)), size - 2, crlf)
        if len(sub) < 2:
            return None
        spaces = [m.end() for m in re.finditer(" ", sub)]
        at = rng.choice(spaces) if spaces else rng.randrange(len(sub) + 1)
        text = sub[:at] + rng.choice(self.kanji) + sub[at:]
        if crlf:
            text = text.replace("\n", "\r\n")
        return text.encode("cp932")

    def sized(self, size, rng, crlf):
        for _ in range(400):
            data = self.make(size, rng, crlf)
            if data:
                return data
        return None

    def wholes(self, rng):
        return list(range(10 ** 6))

    def whole(self, i, rng, crlf):
        return self.make(rng.randint(2 * KIB, 40 * KIB), rng, crlf)


class LateUtf8(Class):
    """70-100 KiB of ASCII, then Japanese UTF-8: the first non-ASCII byte is past 64 KiB."""

    def __init__(self, num, key, title, expected, en_docs, ja_docs):
        super().__init__(num, key, title, expected, Stateless("utf-8"), ja_docs, sizes=False)
        self.english = "\n".join(Stateless("ascii").clean(t) for _, t in en_docs)

    def wholes(self, rng):
        return list(range(10 ** 6))

    def whole(self, i, rng, crlf):
        asc = Stateless("ascii")
        for _ in range(100):
            n = rng.randint(70 * KIB, 100 * KIB)
            start = rng.randrange(max(1, len(self.english) - n))
            head, head_bytes = asc.fit(self.english, start, n, crlf)
            doc = self.pick_doc(rng)
            _, tail = self.coder.fit(doc, rng.randrange(len(doc)), rng.randint(KIB, 8 * KIB), crlf)
            if len(head_bytes) > 64 * KIB and not tail.isascii():
                return head_bytes + (b"\r\n" if crlf else b"\n") + tail
        return None


class Utf16Bom(Class):
    """UTF-16 with a byte-order mark, little- and big-endian in turn."""

    def __init__(self, num, key, title, expected, ja_docs):
        super().__init__(num, key, title, expected, Stateless("utf-16-le", b"\xff\xfe"), ja_docs)
        self.orders = [self.coder, Stateless("utf-16-be", b"\xfe\xff")]
        self.turn = 0

    def pick(self):
        self.turn += 1
        self.coder = self.orders[self.turn % 2]

    def sized(self, size, rng, crlf):
        self.pick()
        return super().sized(size, rng, crlf)

    def whole(self, i, rng, crlf):
        self.pick()
        return super().whole(i, rng, crlf)


class Utf16NoBom(Class):
    """UTF-16 of one order without a byte-order mark: kotran must name the order; the peers, UTF-16."""

    def __init__(self, num, key, title, expected, codec, ja_docs):
        super().__init__(num, key, title, expected, Stateless(codec), ja_docs)
        self.peer_expected = "UTF-16"


class StrayByte(Class):
    """EUC text with one stray Latin-1 byte (an e-acute, 0xE9) typed in between two characters."""

    def __init__(self, num, key, title, expected, ja_docs, rng):
        super().__init__(num, key, title, expected, Stateless("euc_jp"), ja_docs)
        self.rng = rng

    def stray(self, data):
        if data is None:
            return None
        text = data.decode("euc_jp")
        k = self.rng.randrange(len(text) + 1)
        return text[:k].encode("euc_jp") + b"\xe9" + text[k:].encode("euc_jp")

    def sized(self, size, rng, crlf):
        return self.stray(super().sized(size - 1, rng, crlf))

    def whole(self, i, rng, crlf):
        return self.stray(super().whole(i, rng, crlf))


def with_latin_names(text, rng):
    """Japanese text with Latin names and words put in here and there (every 10-60 characters)."""
    out, i = [], 0
    while i < len(text):
        step = rng.randint(10, 60)
        out.append(text[i:i + step])
        i += step
        word = rng.choice(LATIN_WORDS)
        out.append(rng.choice(["", " "]) + word + rng.choice(["", " ", "、", "は", "の"]))
    return "".join(out)


def kana_words(ja_docs, hw):
    words = set()
    for _, t in ja_docs:
        for w in KATAKANA_WORD.findall(t):
            if len(w) >= 2 and all(c in hw for c in w):
                words.add("".join(hw[c] for c in w))
    return sorted(words)


def kana_only_text(words, n_bytes, rng):
    """Half-width katakana words joined by spaces and line ends, about n_bytes long."""
    out, n = [], 0
    while n < n_bytes:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(1, 8)))
        out.append(line)
        n += len(line) + 1
    return "\n".join(out)


def ascii_with_kana(text, words, rng):
    """English text with a half-width katakana word after every 3-12 words."""
    toks = text.split(" ")
    out, i = [], 0
    while i < len(toks):
        step = rng.randint(3, 12)
        out.extend(toks[i:i + step])
        i += step
        out.append(rng.choice(words))
    return " ".join(out)


def x0213_only_characters():
    """The characters of JIS X 0213 that neither CP932 nor EUC-JP holds."""
    out = []
    for prefix in (b"", b"\x8f"):
        for row in range(0xA1, 0xFF):
            for cell in range(0xA1, 0xFF):
                try:
                    t = (prefix + bytes([row, cell])).decode("euc_jis_2004")
                    t.encode("shift_jis_2004")
                except UnicodeError:
                    continue
                if prefix and t.encode("euc_jis_2004")[:1] != b"\x8f":
                    continue  # JIS X 0212, which euc_jis_2004 reads after SS3 too
                for codec in ("cp932", "euc_jp"):
                    try:
                        t.encode(codec)
                        break
                    except UnicodeError:
                        pass
                else:
                    if len(t) == 1:  # a base and its mark: the mark alone is no character to put in
                        out.append(t)
    return out


def with_x0213(text, rng, chars):
    """Japanese text with a character only JIS X 0213 holds put in every 10-60 characters."""
    out, i = [], 0
    while i < len(text):
        step = rng.randint(10, 60)
        out.append(text[i:i + step])
        i += step
        out.append(rng.choice(chars))
    return "".join(out)


def make_classes(ja, en, latin, rng, whole_files, work):
    hw = half_width_map()
    words = kana_words(ja, hw)
    ja_hw = [(n, KATAKANA_WORD.sub(lambda m: "".join(hw.get(c, c) for c in m.group()), t)) for n, t in ja]
    kana_docs = [(f"kana:{i}", kana_only_text(words, rng.randint(2 * KIB, 40 * KIB), rng))
                 for i in range(whole_files)]
    en_kana = [(n, ascii_with_kana(t, words, rng)) for n, t in en]
    euc = Stateless("euc_jp")
    ja_0212 = [(n, with_latin_names(t, rng)) for n, t in ja]
    euc_ok = lambda sub, data: b"\x8f" in data
    jis_kana_ok = lambda sub, data: b"\x1b(I" in data and b"\x1b$" not in data
    classes = [
        Class(1, "sjis", "Shift-JIS, plain", "Shift-JIS", Stateless("cp932"), ja),
        Class(2, "euc", "EUC, plain", "EUC", euc, ja),
        Class(3, "jis", "JIS, plain", "JIS", Jis("iso2022_jp", {b"\x1b$B"}), ja),
        Class(4, "utf8", "UTF-8, plain", "UTF-8", Stateless("utf-8"), ja),
        Class(5, "ascii", "ASCII (English messages)", "ASCII", Stateless("ascii"), en, ok=lambda s, d: bool(d)),
        Class(6, "euc-0212", "EUC with JIS X 0212 (Latin names)", "EUC", euc, ja_0212, ok=euc_ok),
        Class(7, "sjis-kana-only", "Shift-JIS, half-width katakana only", "Shift-JIS", Stateless("cp932"),
              kana_docs),
        Class(8, "jis-kana", "JIS, ASCII + half-width katakana (ESC ( I)", "JIS",
              Jis("iso2022_jp_ext", {b"\x1b(I"}), en_kana, ok=jis_kana_ok),
        Class(9, "sjis-kana", "Shift-JIS with half-width katakana words", "Shift-JIS", Stateless("cp932"), ja_hw,
              ok=lambda sub, data: any(map(is_half_kana, sub))),
        Utf8Cut(10, "utf8-cut", "UTF-8 cut inside its last character", "UTF-8", Stateless("utf-8"), ja),
        OneKanji8E(11, "sjis-8e", "ASCII + one kanji 8E 40-7E (Shift-JIS)", "Shift-JIS", en),
        LateUtf8(12, "utf8-late", "UTF-8, first non-ASCII past 64 KiB", "UTF-8", en, ja),
        Class(13, "utf8-latin", "UTF-8, two-byte characters only (fr, de)", "UTF-8", Stateless("utf-8"), latin),
        Utf16Bom(14, "utf16-bom", "UTF-16 with BOM (LE, BE)", "UTF-16", ja),
    ]
    num = 15
    for key, title, locales, codec in FOREIGN:
        docs = load_foreign(locales)
        if docs:
            classes.append(Class(num, key, title, "not Japanese", Stateless(codec), docs, foreign=True))
        num += 1
    kanji = kanji_lists(work, rng, max(40, whole_files // 4))
    if kanji:
        classes.append(Class(num, "euc-kanji", "EUC, kanji only (names, places, dictionary)", "EUC", euc, kanji))
        classes.append(Class(num + 1, "sjis-kanji", "Shift-JIS, kanji only (names, places, dictionary)",
                             "Shift-JIS", Stateless("cp932"), kanji))
    num += 2
    classes.append(Utf16NoBom(num, "utf16le-nobom", "UTF-16LE without BOM", "UTF-16LE", "utf-16-le", ja))
    classes.append(Utf16NoBom(num + 1, "utf16be-nobom", "UTF-16BE without BOM", "UTF-16BE", "utf-16-be", ja))
    classes.append(StrayByte(num + 2, "euc-stray", "EUC with one stray Latin-1 byte (\u00e9)", "EUC", ja, rng))
    # JIS X 0213: Japanese text with characters only it holds (plane 1
    # beyond JIS X 0208 and plane 2, a base and its mark among them); a
    # file counts where it holds one.
    only = x0213_only_characters()
    # (A generator of their own: the other classes' files stay as they were.)
    ja_0213 = [(n, with_x0213(t, random.Random(213 + i), only)) for i, (n, t) in enumerate(ja)]
    only_set = set(only)
    holds = lambda sub, data: any(c in only_set for c in sub)
    for offset, (key, title, expected, codec) in enumerate([
            ("sjis2004", "Shift_JIS-2004 with JIS X 0213 characters", "Shift_JIS-2004", "shift_jis_2004"),
            ("euc2004", "EUC-JIS-2004 with JIS X 0213 characters", "EUC-JIS-2004", "euc_jis_2004")]):
        cl = Class(num + 3 + offset, key, title, expected, Stateless(codec), ja_0213, ok=holds)
        cl.peer_expected = "Shift-JIS" if offset == 0 else "EUC"  # the peers name no 2004 form apart
        classes.append(cl)
    return classes


# ---------------------------------------------------------------------------
# Files, answers, table
# ---------------------------------------------------------------------------


def write_samples(classes, root, samples, rng):
    """Writes the files; returns [(class, size, relative path)]."""
    files = []
    for cl in classes:
        cells = ([(s, s) for s in SIZES] if cl.has_sizes else []) + [(WHOLE, None)]
        for label, size in cells:
            d = root / f"{cl.num:02d}-{cl.key}" / (f"{size:04d}" if size else WHOLE)
            d.mkdir(parents=True)
            made = 0
            order = cl.wholes(rng) if size is None else None
            for i in range(10 ** 6):
                if made >= samples or (order is not None and i >= len(order)):
                    break
                crlf = rng.random() < CRLF_SHARE
                data = cl.sized(size, rng, crlf) if size else cl.whole(order[i], rng, crlf)
                if data is None:
                    if size:
                        break  # 400 tries found no run that fits the class
                    continue
                name = d / f"{made:04d}{'-crlf' if crlf else ''}.txt"
                name.write_bytes(data)
                files.append((cl, label, str(name.relative_to(root)), cl.source))
                made += 1
            if made < samples:
                log(f"  {cl.num}. {cl.title}, {label}: {made} files")
    return files


def parse_answers(out, names):
    """NAME: ANSWER lines -> {name: (first word, rest)}; the name is what comes before the last ': '."""
    got = {}
    for line in out.splitlines():
        if ": " in line:
            name, ans = line.rsplit(": ", 1)
        elif len(names) == 1:
            name, ans = names[0], line
        else:
            continue
        ans = ans.strip()
        got[name] = (ans.split()[0] if ans else "", ans)
    return got


def ask(cmd, names, root):
    got = {}
    for i in range(0, len(names), BATCH):
        batch = names[i:i + BATCH]
        r = subprocess.run(cmd + batch, cwd=root, capture_output=True)
        got.update(parse_answers(r.stdout.decode("utf-8", "surrogateescape"), batch))
    return got


def pct(ok, n):
    if not n:
        return "—"
    p = 100.0 * ok / n
    s = f"{p:.1f}"
    return s[:-2] if s.endswith(".0") else s


def main():
    ap = argparse.ArgumentParser(
        description="Share of files whose code kotran -g names rightly, beside nkf --guess, by class and size.")
    ap.add_argument("--kotran", help="kotran executable (default build/kotran of this checkout)")
    ap.add_argument("--work", help="work directory for the files (default a new directory under /tmp)")
    ap.add_argument("--samples", type=int, default=200, help="files per cell (default 200)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--out", help="also write the markdown table to this file")
    args = ap.parse_args()
    if args.samples < 1:
        ap.error("--samples must be positive")
    if not args.kotran:
        args.kotran = str(Path(__file__).resolve().parent.parent / "build" / "kotran")
    kotran = shutil.which(args.kotran) or args.kotran
    if not os.access(kotran, os.X_OK):
        sys.exit(f"kotran not found: {args.kotran} (build it, or give --kotran PATH)")
    kotran = os.path.abspath(kotran)
    nkf = shutil.which("nkf")
    if not nkf:
        log("nkf not installed (apt-get install nkf): its column is left empty")
    t0 = time.perf_counter()
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="kotran-recognition-"))
    work.mkdir(parents=True, exist_ok=True)
    root = work / "files"
    if root.exists():
        shutil.rmtree(root)
    root.mkdir()

    log("reading the test text ...")
    ja, en, latin, src = load_corpus(work)
    rng = random.Random(args.seed)
    classes = make_classes(ja, en, latin, rng, args.samples, work)
    log(f"writing files into {root} ...")
    files = write_samples(classes, root, args.samples, rng)
    names = [f for _, _, f, _ in files]
    log(f"kotran -g on {len(names)} files ...")
    k_ans = ask([kotran, "-g"], names, root)
    log("nkf --guess ...")
    n_ans = ask([nkf, "--guess"], names, root) if nkf else {}
    uchardet = shutil.which("uchardet")
    if not uchardet:
        log("uchardet not installed (apt-get install uchardet): its column is left empty")
    log("uchardet ...")
    u_ans = ask([uchardet], names, root) if uchardet else {}

    unknown = {}
    rows = {}
    misses = {}
    with open(work / "answers.tsv", "w") as tsv:
        tsv.write("file\texpected\tkotran\tnkf\tuchardet\tsource\n")
        for cl, label, f, source in files:
            k = k_ans.get(f, ("(none)", "(none)"))
            nraw = n_ans.get(f, ("(none)", "(none)"))
            uraw = u_ans.get(f, ("(none)", "(none)"))
            nword = NKF_NAMES.get(nraw[0].upper())
            uword = UCHARDET_NAMES.get(uraw[1].upper())
            if nword is None and nkf and not cl.foreign:
                unknown.setdefault(nraw[0], f)
            if cl.foreign:  # right: no Japanese code named
                k_right = k[1].startswith("not Japanese") or k[1].endswith("(not valid text)")
                n_right, u_right = nword not in JAPANESE_ANSWERS, uword not in JAPANESE_ANSWERS
            else:
                k_right = k[0] == cl.expected
                n_right, u_right = nword == cl.peer_expected, uword == cl.peer_expected
            cell = rows.setdefault((cl.num, label), [0, 0, 0, 0])
            cell[0] += 1
            cell[1] += k_right
            cell[2] += n_right
            cell[3] += u_right
            if not k_right or not n_right:
                misses.setdefault(cl.num, []).append((not k_right, not n_right, f, k[1], nraw[1]))
            tsv.write(f"{f}\t{cl.expected}\t{k[1]}\t{nraw[1]}\t{uraw[1]}\t{source}\n")

    labels = [str(s) for s in SIZES] + ["whole files"]
    lines = ["| class | expected | " + " | ".join(labels) + " |", "|---|---|" + "---|" * len(labels)]
    for cl in classes:
        cells = []
        for label in SIZES + [WHOLE]:
            c = rows.get((cl.num, label))
            if not c:
                cells.append("—")
                continue
            s = f"{pct(c[1], c[0])} / {pct(c[2], c[0]) if nkf else '—'} / {pct(c[3], c[0]) if uchardet else '—'}"
            if label == WHOLE or c[0] != args.samples:
                s += f" ({c[0]})"
            cells.append(s)
        lines.append(f"| {cl.num}. {cl.title} | {cl.expected} | " + " | ".join(cells) + " |")
    total = sum(c[0] for c in rows.values())
    k_ok = sum(c[1] for c in rows.values())
    n_ok = sum(c[2] for c in rows.values())
    excl = src["ja-man-excluded"]
    notes = [
        "",
        f"Cells: kotran % / nkf % / uchardet % of the files named as the expected code (for a class that is "
        f"not Japanese: given no Japanese code); {args.samples} files a cell "
        f"(other counts in brackets). Seed {args.seed}; {CRLF_SHARE:.0%} of the files have CR LF line ends.",
        f"Text: {src['ja-mo']} Japanese catalogues, {src['ja-man']} Japanese man pages"
        + (f" ({len(excl)} left out as also in manpages-ja)" if src["manpages-ja-list"]
           else " (manpages-ja could not be listed: none left out)")
        + f", {src['latin-mo']} French/German catalogues, {len(en)} sets of English msgids.",
        f"Total: {total} files; kotran right on {k_ok} ({pct(k_ok, total)} %), "
        f"nkf right on {n_ok} ({pct(n_ok, total)} %).",
    ]
    table = "\n".join(lines + notes) + "\n"
    print(table)
    print("Misses (file under " + str(root) + ", kotran's answer, nkf's answer; kotran's misses first):")
    for cl in classes:
        m = misses.get(cl.num)
        if not m:
            continue
        k_miss = sum(1 for x in m if x[0])
        n_miss = sum(1 for x in m if x[1])
        m.sort(key=lambda x: not x[0])
        shown = "; ".join(f"{f} kotran={ka!r} nkf={na!r}" for _, _, f, ka, na in m[:4])
        print(f"- {cl.num}. {cl.title}: {k_miss} kotran misses, {n_miss} nkf misses: {shown}")
    if unknown:
        print("nkf answers not mapped (counted wrong): " + ", ".join(f"{a!r} (e.g. {f})" for a, f in unknown.items()))
    if src["ja-man-excluded"]:
        print("man pages left out (also in manpages-ja): " + ", ".join(sorted(src["ja-man-excluded"])))
    print(f"files and answers.tsv kept in {work}; {time.perf_counter() - t0:.0f} s")
    if args.out:
        Path(args.out).write_text(table)
        print(f"table written to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
