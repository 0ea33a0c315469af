"""The benchmark corpus: Shift-JIS text generated with a fixed seed from the
sentences of tests/corpus/*.txt, cached in the work directory, and its EUC,
UTF-8 and JIS forms.

The cache is keyed by corpus_key(); the other benchmark scripts share it.
"""

import hashlib
import json
import os
import random
import re
import shutil
import sys
import time
import unicodedata
from pathlib import Path

from peers import CODES, iconv_file, sjis_as_euc, spawn

MATERIAL_DIR = Path(__file__).resolve().parent.parent / "tests" / "corpus"
MIB = 1 << 20
DEFAULT_SIZE_MIB = 64  # the corpus for the timings; the other benchmark scripts share its cache


def fmt_size(n):
    n = int(n)
    return f"{n // MIB} MiB" if n % MIB == 0 else f"{n / MIB:.1f} MiB"


# ---------------------------------------------------------------------------
# The generated text
# ---------------------------------------------------------------------------

GENERATOR_VERSION = 1
SEED = 0x6B6F7472  # fixed: the same parameters always give the same bytes
LINE_MIN, LINE_MAX = 20, 46  # aimed line length in bytes with CR LF; pieces overshoot by ~2, mean ~35
ASCII_SHARE = 1 / 3  # of all bytes, CR LF included
KANA_LINE_RATE = 0.03  # lines that carry half-width katakana

# ASCII words as they turn up in Japanese documents; no '\\' or '~', whose
# meaning differs between ASCII and JIS-Roman.
ASCII_WORDS = """
OK NG PC CPU USB LAN OS Windows Linux UNIX MS-DOS README Makefile main.c
config.sys data.csv report.doc index.html ID No. Ver. MB KB GB TB km kg cm mm
TEL FAX E-mail http www FAQ TODO JIS EUC UTF-8 ASCII A4 B5 IT AI JR NHK
kotran -e -j -s -c *.txt (1) (2) [3] <4> # * - = + / : ; ! ? @ & % $ a b x y
the file is not found error warning input output version update test
""".split()

SJIS_ROWS_JIS_X_0208 = set(range(0x81, 0x85)) | set(range(0x88, 0xA0)) | set(range(0xE0, 0xEB))


def sjis_to_euc(two):
    """EUC bytes of a Shift-JIS double-byte character."""
    lead, trail = two
    hi = ((lead - (0xE1 if lead >= 0xE0 else 0x71)) << 1) + 1
    if trail >= 0x9F:
        hi += 1
        lo = trail - 0x7E
    else:
        lo = trail - (0x20 if trail >= 0x80 else 0x1F)
    return bytes((hi | 0x80, lo | 0x80))


def usable(ch):
    """A JIS X 0208 character that CP932 and EUC-JP map to the same code point."""
    try:
        sj = ch.encode("cp932")
    except UnicodeEncodeError:
        return False
    if len(sj) != 2 or sj[0] not in SJIS_ROWS_JIS_X_0208:
        return False
    try:
        return sjis_to_euc(sj).decode("euc_jp") == ch
    except UnicodeDecodeError:
        return False


def half_width_table():
    """Full-width katakana -> half-width form (one or two characters)."""
    table = {}
    for cp in range(0xFF61, 0xFFA0):
        h = chr(cp)
        table.setdefault(unicodedata.normalize("NFKC", h), h)
        for mark in "\uFF9E\uFF9F":
            full = unicodedata.normalize("NFKC", h + mark)
            if len(full) == 1:
                table.setdefault(full, h + mark)
    return table


def load_material():
    """Phrases, ASCII tokens and katakana words from the sample texts."""
    files = sorted(MATERIAL_DIR.glob("*.txt"))
    if not files:
        sys.exit(f"no material: {MATERIAL_DIR}/*.txt not found")
    digest = hashlib.sha256()
    phrases, tokens, kata = [], [], []
    for path in files:
        raw = path.read_bytes()
        digest.update(path.name.encode() + b"\0" + raw + b"\0")
        for line in raw.decode("utf-8").splitlines():
            for run in re.findall(r"[\x00-\x7f]+|[^\x00-\x7f]+", line):
                if run[0] < "\x80":
                    tokens += [t for t in run.split() if "\\" not in t and "~" not in t]
                    continue
                for phrase in re.findall(r"[^、。，！？：」）]+[、。，！？：」）]*|[、。，！？：」）]+", run):
                    kept = "".join(c for c in phrase if usable(c))
                    if kept:
                        phrases.append(kept)
                kata += re.findall(r"[ァ-ヴー]{2,}", run)
    half = half_width_table()
    kana_words = []
    for word in kata:
        if all(c in half for c in word):
            kana_words.append("".join(half[c] for c in word))
    # every half-width character turns up now and then
    kana_words.append("".join(chr(c) for c in range(0xFF66, 0xFF9E)))
    return {
        "phrases": [p.encode("cp932") for p in phrases],
        "tokens": [t.encode("ascii") for t in tokens + ASCII_WORDS],
        "kana": [w.encode("cp932") for w in kana_words],
        "digest": digest.hexdigest(),
    }


def number_token(rng):
    kind = rng.random()
    if kind < 0.35:
        return str(rng.randrange(0, 10 ** rng.randint(1, 5)))
    if kind < 0.5:
        return f"{rng.randint(1950, 2030)}/{rng.randint(1, 12):02d}/{rng.randint(1, 28):02d}"
    if kind < 0.6:
        return f"{rng.randint(0, 23)}:{rng.randint(0, 59):02d}"
    if kind < 0.75:
        return f"{rng.randint(1, 999)},{rng.randint(0, 999):03d}"
    if kind < 0.9:
        return f"{rng.randint(0, 20)}.{rng.randint(0, 99)}"
    return f"0{rng.randint(3, 99)}-{rng.randint(100, 9999)}-{rng.randint(1000, 9999)}"


def generate_lines(material, seed=SEED):
    """Endless deterministic stream of (Shift-JIS line with CR LF, has_kana)."""
    rng = random.Random(seed)
    phrases, tokens, kana = material["phrases"], material["tokens"], material["kana"]
    n_phr, n_tok, n_kana = len(phrases), len(tokens), len(kana)
    total = ascii_total = 0
    rand, randint = rng.random, rng.randint
    while True:
        target = randint(LINE_MIN, LINE_MAX)
        pieces = []
        n = a = 2  # CR LF
        prev_ascii = False
        while n < target:
            if (ascii_total + a) < (total + n) * ASCII_SHARE:
                tok = number_token(rng).encode() if rand() < 0.4 else tokens[int(rand() * n_tok)]
                if prev_ascii or rand() < 0.5:
                    tok = b" " + tok
                prev_ascii = True
                a += len(tok)
            else:
                phrase = phrases[int(rand() * n_phr)]
                chars = len(phrase) >> 1
                room = max(1, (target - n) >> 1)
                if chars > room:
                    start = int(rand() * (chars - room + 1))
                    phrase = phrase[2 * start: 2 * (start + room)]
                tok = phrase
                prev_ascii = False
            pieces.append(tok)
            n += len(tok)
        has_kana = rand() < KANA_LINE_RATE
        if has_kana:
            word = kana[int(rand() * n_kana)]
            style = rand()
            if style < 0.3:
                word = b"\xa2" + word + b"\xa3"  # half-width corner brackets
            elif style < 0.5:
                word += b"\xa4"  # half-width comma
            pieces.insert(int(rand() * (len(pieces) + 1)), word)
            n += len(word)
        pieces.append(b"\r\n")
        total += n
        ascii_total += a
        yield b"".join(pieces), has_kana


def corpus_stats(data):
    """Shares of ASCII, double-byte and half-width katakana bytes in Shift-JIS text."""
    ascii_n = double = kana = 0
    i, end = 0, len(data)
    # count on a sample of at most 4 MiB to stay quick
    end = min(end, 4 * MIB)
    while i < end:
        b = data[i]
        if b < 0x80:
            ascii_n += 1
            i += 1
        elif 0xA1 <= b <= 0xDF:
            kana += 1
            i += 1
        else:
            double += 2
            i += 2
    lines = data.count(b"\n", 0, end)
    total = ascii_n + double + kana
    return {
        "ascii_share": ascii_n / total,
        "double_byte_share": double / total,
        "half_width_kana_share": kana / total,
        "mean_line_bytes": total / max(lines, 1),
    }


def cut_at_line(data, size):
    """The longest prefix of data of at most size bytes that ends with a line end."""
    if len(data) <= size:
        return data
    end = data.rfind(b"\n", 0, size)
    return data[: end + 1]


# ---------------------------------------------------------------------------
# The extended text: characters outside the timed corpus
# ---------------------------------------------------------------------------
#
# The timed corpus keeps to the JIS X 0208 characters that iconv maps alike
# in CP932 and EUC-JP, so that its timings stay comparable from run to run.
# The characters beyond it go into two small files of their own, which are
# only checked, never timed:
# - ext.sjis: Shift-JIS lines holding every code of NEC row 13 (①, №, ㈱),
#   of the NEC-selected rows 89-92 (ED/EE) and of the IBM extensions
#   (FA 40 - FC 4B) that cp932 decodes, among phrases of the samples;
# - x0212.euc: EUC lines holding every JIS X 0212 character (8F hi lo),
#   among phrases of the samples. They exist only in EUC, JIS and UTF-8
#   (the 282 that JIS X 0208 or its NEC and IBM rows also hold come back
#   from UTF-8 as that code).

EXTENDED_SEED = 0x6B6F7473


def nec_ibm_codes():
    """Shift-JIS codes of NEC row 13, rows 89-92 and the IBM extensions that cp932 decodes."""
    codes = []
    for lead in (0x87, 0xED, 0xEE, 0xFA, 0xFB, 0xFC):
        for trail in range(0x40, 0xFD):
            code = bytes((lead, trail))
            try:
                code.decode("cp932")
            except UnicodeDecodeError:
                continue
            if trail != 0x7F:
                codes.append(code)
    return codes


def jis0212_codes():
    """EUC codes (8F hi lo) of every JIS X 0212 character Python's euc_jp decodes."""
    codes = []
    for hi in range(0xA1, 0xFF):
        for lo in range(0xA1, 0xFF):
            code = bytes((0x8F, hi, lo))
            try:
                code.decode("euc_jp")
            except UnicodeDecodeError:
                continue
            codes.append(code)
    return codes


def mixed_lines(material, extras, seed):
    """Lines of one or two phrases (Shift-JIS) with one to three of the extra codes each, until all are used."""
    rng = random.Random(seed)
    phrases, tokens = material["phrases"], material["tokens"]
    lines, i = [], 0
    while i < len(extras):
        pieces = [phrases[rng.randrange(len(phrases))][:24] for _ in range(rng.randint(1, 2))]
        if rng.random() < 0.3:
            pieces.insert(rng.randint(0, len(pieces)), b" " + tokens[rng.randrange(len(tokens))] + b" ")
        for _ in range(rng.randint(1, 3)):
            if i < len(extras):
                pieces.insert(rng.randint(0, len(pieces)), extras[i])
                i += 1
        lines.append(pieces)
    return lines


class ExtendedText:
    def __init__(self, directory):
        self.sjis = directory / "ext.sjis"
        self.x0212_euc = directory / "x0212.euc"


def write_extended_text(directory, material):
    """Write ext.sjis and x0212.euc (small, rebuilt every run) and return their paths."""
    ext = ExtendedText(directory)
    sjis = b"".join(b"".join(p) + b"\r\n" for p in mixed_lines(material, nec_ibm_codes(), EXTENDED_SEED))
    write_atomic(ext.sjis, sjis)
    euc = []
    for pieces in mixed_lines(material, jis0212_codes(), EXTENDED_SEED + 1):
        euc.append(b"".join(p if len(p) == 3 and p[0] == 0x8F else sjis_as_euc(p) for p in pieces) + b"\r\n")
    write_atomic(ext.x0212_euc, b"".join(euc))
    return ext


# ---------------------------------------------------------------------------
# Building the corpus files
# ---------------------------------------------------------------------------


class Corpus:
    """The corpus files of one size: sjis, euc, utf8 and jis forms, plus katakana-free forms."""

    def __init__(self, directory, size):
        self.dir = directory
        self.size = size
        self.path = {code: directory / f"corpus.{code}" for code in CODES}
        self.nokana = {code: directory / f"nokana.{code}" for code in ("sjis", "jis")}
        self.extended = None  # ExtendedText of the base size, for the checks


def write_atomic(path, data):
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    os.replace(tmp, path)


def corpus_key(material, base_size):
    """The parameters the cached corpus was made with; any change regenerates it."""
    return {
        "generator": GENERATOR_VERSION,
        "seed": SEED,
        "material": material["digest"],
        "base_size": base_size,
        "line_bytes": [LINE_MIN, LINE_MAX],
        "ascii_share": ASCII_SHARE,
        "kana_line_rate": KANA_LINE_RATE,
    }


def ensure_base_corpus(work, base_size, material, log):
    """Generate work/base/corpus.sjis (and nokana.sjis) of base_size bytes unless cached; return (base dir, key).

    Also used by the other benchmark scripts, so that they share this cache.
    """
    work.mkdir(parents=True, exist_ok=True)
    key = corpus_key(material, base_size)
    meta_path = work / "corpus.json"
    try:
        cached = json.loads(meta_path.read_text())
    except (OSError, ValueError):
        cached = None
    base_dir = work / "base"
    fresh = cached is not None and cached.get("key") == key and (base_dir / "corpus.sjis").exists()
    if not fresh:
        log(f"generating the {fmt_size(base_size)} Shift-JIS corpus in {work} ...")
        if base_dir.exists():
            shutil.rmtree(base_dir)
        for old in work.glob("size-*"):
            shutil.rmtree(old)
        base_dir.mkdir()
        t0 = time.perf_counter()
        full, nokana = [], []
        n = 0
        for line, has_kana in generate_lines(material):
            if n + len(line) > base_size:
                break
            n += len(line)
            full.append(line)
            if not has_kana:
                nokana.append(line)
        write_atomic(base_dir / "corpus.sjis", b"".join(full))
        write_atomic(base_dir / "nokana.sjis", b"".join(nokana))
        del full, nokana
        log(f"  generated in {time.perf_counter() - t0:.1f} s")
        meta_path.write_text(json.dumps({"key": key}, indent=1))
    return base_dir, key


def add_cpu_option(ap):
    """--cpu: the processor every timed process runs on (timing.pin_to_one_cpu)."""
    ap.add_argument("--cpu", type=int, default=None,
                    help="run every timed process on this processor (default: the fastest one, measured first)")


def add_round_options(ap):
    """--runs, --size-mib, --workdir and --cpu, as the benchmarks that reuse run.py's corpus take them."""
    ap.add_argument("--runs", type=int, default=5, help="rounds (default 5)")
    ap.add_argument("--size-mib", type=float, default=DEFAULT_SIZE_MIB,
                    help=f"corpus size (default {DEFAULT_SIZE_MIB}, the one run.py caches)")
    ap.add_argument("--workdir", default="/tmp/kotran-bench",
                    help="corpus cache (shared with run.py) and scratch files (default /tmp/kotran-bench)")
    add_cpu_option(ap)


def refresh(path):
    """Write path again, so that the timed inputs are all as fresh in the page cache as the JIS form,
    which each run rebuilds. A file kept from an earlier run may sit there in smaller pieces, and
    was seen to take up to twice as long to read (the system's lookups in the page cache), for
    kotran and the copy floor alike: the floor's share rose with it, and differed from one source
    to the next."""
    tmp = path.with_name(path.name + ".tmp")
    shutil.copyfile(path, tmp)
    os.replace(tmp, path)


def prepare_corpora(args, tools, material, log):
    """Base corpus at --size-mib plus one per RSS size; cached by parameters."""
    work = Path(args.workdir)
    base_size = int(args.size_mib * MIB)
    sizes = sorted({base_size} | {int(s * MIB) for s in args.rss_sizes})
    base_dir, _ = ensure_base_corpus(work, base_size, material, log)

    base_sjis = None
    corpora = {}
    for size in sizes:
        d = base_dir if size == base_size else work / f"size-{size}"
        c = Corpus(d, size)
        if not c.path["sjis"].exists():
            if base_sjis is None:
                base_sjis = (base_dir / "corpus.sjis").read_bytes()
            d.mkdir(exist_ok=True)
            reps = -(-size // len(base_sjis))
            data = base_sjis * reps if reps > 1 else base_sjis
            write_atomic(c.path["sjis"], cut_at_line(data, size))
            del data
        for code, name in (("euc", "EUC-JP"), ("utf8", "UTF-8")):
            if not c.path[code].exists():
                log(f"  iconv -f CP932 -t {name} for {fmt_size(size)}")
                iconv_file(tools, c.path["sjis"], c.path[code], "CP932", name)
        if size == base_size and not c.nokana["jis"].exists():
            iconv_file(tools, c.nokana["sjis"], c.nokana["jis"], "CP932", "ISO-2022-JP")
        if size == base_size:
            for code in ("sjis", "euc", "utf8"):
                refresh(c.path[code])
        # the JIS form is kotran's own and is rebuilt with the kotran under test
        tmp = c.path["jis"].with_name("corpus.jis.tmp")
        r = spawn([tools.kotran, "-c", "-j", str(c.path["sjis"])], tmp)
        if r.status != 0:
            raise RuntimeError(f"kotran -c -j {c.path['sjis']}: exit {r.status}")
        os.replace(tmp, c.path["jis"])
        if size == base_size:
            c.extended = write_extended_text(d, material)
        corpora[size] = c
    return corpora[base_size], corpora
