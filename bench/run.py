#!/usr/bin/env python3
"""Throughput and peak memory of kotran against iconv, nkf and uconv.

    python3 bench/run.py                  full run (64 MiB corpus, 5 rounds, RSS at 16 and 256 MiB)
    python3 bench/run.py --quick          about a minute (8 MiB, 3 rounds, RSS at 8 and 32 MiB)

Whole processes are timed. The corpus is Shift-JIS text generated from the
sentences of tests/corpus/*.txt with a fixed seed and cached in the work
directory; its EUC and UTF-8 forms are made by iconv, its JIS form by kotran.
Before any figure is printed, kotran's output for every conversion is checked
byte for byte against iconv's; if one differs, the run stops without figures.

Python 3 standard library only. See bench/README.md.
"""

import argparse
import hashlib
import json
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import textwrap
import time
import unicodedata
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE_DIR = HERE.parent
MATERIAL_DIR = SOURCE_DIR / "tests" / "corpus"
MIB = 1 << 20
DEFAULT_SIZE_MIB = 64  # the corpus for the timings; the other benchmark scripts share its cache

# ---------------------------------------------------------------------------
# Corpus
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
# Processes
# ---------------------------------------------------------------------------

ENV = dict(os.environ, LC_ALL="C")


class Run:
    __slots__ = ("wall", "status", "maxrss_kib", "user", "sys")

    def __init__(self, wall, status, maxrss, user, sys_):
        self.wall, self.status, self.maxrss_kib, self.user, self.sys = wall, status, maxrss, user, sys_


def spawn(argv, stdout_path, stderr_path=os.devnull):
    """Run argv with stdin from /dev/null; time it and take its rusage with wait4."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, str(stdout_path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
        (os.POSIX_SPAWN_OPEN, 2, str(stderr_path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, ENV, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    return Run(wall, os.waitstatus_to_exitcode(status), usage.ru_maxrss, usage.ru_utime, usage.ru_stime)


def run_to_bytes(argv):
    """Run argv and return its standard output, failing loudly on a non-zero status."""
    proc = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, env=ENV)
    if proc.returncode != 0:
        err = proc.stderr.decode("utf-8", "replace").strip()[:300]
        raise RuntimeError(f"{' '.join(map(str, argv))}: exit {proc.returncode}: {err}")
    return proc.stdout


def first_line(argv):
    try:
        out = subprocess.run(argv, capture_output=True, env=ENV, timeout=10)
        text = (out.stdout or out.stderr).decode("utf-8", "replace").strip()
        return text.splitlines()[0] if text else "?"
    except (OSError, subprocess.SubprocessError):
        return "?"


# ---------------------------------------------------------------------------
# Conversions and tools
# ---------------------------------------------------------------------------

CODES = {"sjis": "Shift-JIS", "euc": "EUC", "jis": "JIS", "utf8": "UTF-8"}
KOTRAN_EXT = {"sjis": ".sjs", "euc": ".euc", "jis": ".jis", "utf8": ".utf8"}
ICONV_NAME = {"sjis": "CP932", "euc": "EUC-JP", "jis": "ISO-2022-JP-3", "utf8": "UTF-8"}
NKF_IN = {"sjis": "-S", "euc": "-E", "jis": "-J", "utf8": "-W"}
NKF_OUT = {"sjis": "-s", "euc": "-e", "jis": "-j", "utf8": "-w"}
# ICU: ISO-2022-JP reads ESC ( I but cannot write half-width katakana; JIS7
# writes them with SO/SI.
UCONV_IN = {"sjis": "windows-31j", "euc": "EUC-JP", "jis": "ISO-2022-JP", "utf8": "UTF-8"}
UCONV_OUT = {"sjis": "windows-31j", "euc": "EUC-JP", "jis": "JIS7", "utf8": "UTF-8"}

# (key, source, target, kotran option: with -c for standard output, alone for its own output file).
# The others are told the source, so kotran is too where the option can say it
# (-es, -js, ...); where it is left out, kotran recognises it, as it does for
# Shift-JIS. "kotran-recognise" times those conversions without the source
# letter as well.
CONVERSIONS = [
    ("sjis-euc", "sjis", "euc", "-e"),
    ("sjis-jis", "sjis", "jis", "-j"),
    ("euc-sjis", "euc", "sjis", "-es"),
    ("jis-sjis", "jis", "sjis", "-js"),
    ("sjis-utf8", "sjis", "utf8", "-u"),
    ("utf8-sjis", "utf8", "sjis", "-us"),
    ("euc-utf8", "euc", "utf8", "-eu"),
    ("utf8-euc", "utf8", "euc", "-ue"),
]


def recognising_option(opt):
    """kotran's option without its source letter (-es -> -s), or None when it names no source."""
    return "-" + opt[2] if len(opt) == 3 else None


def label(conv):
    key, src, dst, _ = conv
    return f"{CODES[src]}->{CODES[dst]}"


def normalize_jis(data):
    """kotran returns to JIS-Roman (ESC ( J), iconv to ASCII (ESC ( B): the one known difference."""
    return data.replace(b"\x1b(J", b"\x1b(B")


class Tools:
    def __init__(self, kotran, use_uconv):
        self.kotran = kotran
        self.iconv = shutil.which("iconv")
        self.nkf = shutil.which("nkf")
        self.uconv = shutil.which("uconv") if use_uconv else None
        if not self.iconv:
            sys.exit("iconv not found: it is the reference for every conversion")
        self.names = ["kotran", "iconv"] + (["nkf"] if self.nkf else []) + (["uconv"] if self.uconv else [])
        # set after the corpus checks: how iconv reads and writes JIS
        self.iconv_jis = "ISO-2022-JP-3"

    def argv(self, tool, conv, infile, to_file):
        """Command line; for kotran in file mode the output is written beside infile."""
        key, src, dst, opt = conv
        if tool == "kotran":
            return [self.kotran, opt, str(infile)] if to_file else [self.kotran, "-c", opt, str(infile)]
        if tool == "kotran-recognise":
            return [self.kotran, "-c", recognising_option(opt), str(infile)]
        if tool == "iconv":
            f = self.iconv_jis if src == "jis" else ICONV_NAME[src]
            t = self.iconv_jis if dst == "jis" else ICONV_NAME[dst]
            return [self.iconv, "-f", f, "-t", t, str(infile)]
        if tool == "iconv-2022jp":  # plain ISO-2022-JP on the corpus without katakana lines
            f = "ISO-2022-JP" if src == "jis" else ICONV_NAME[src]
            t = "ISO-2022-JP" if dst == "jis" else ICONV_NAME[dst]
            return [self.iconv, "-f", f, "-t", t, str(infile)]
        if tool == "nkf":
            return [self.nkf, NKF_IN[src], NKF_OUT[dst], "-x", str(infile)]
        if tool == "uconv":
            return [self.uconv, "-f", UCONV_IN[src], "-t", UCONV_OUT[dst], str(infile)]
        raise ValueError(tool)


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


def write_atomic(path, data):
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    os.replace(tmp, path)


def iconv_file(tools, src_path, dst_path, f, t):
    tmp = dst_path.with_name(dst_path.name + ".tmp")
    r = spawn([tools.iconv, "-f", f, "-t", t, str(src_path)], tmp, tmp.with_name("iconv.err"))
    if r.status != 0:
        err = tmp.with_name("iconv.err").read_text(errors="replace").strip()
        raise RuntimeError(f"iconv -f {f} -t {t} {src_path}: exit {r.status}: {err}")
    os.replace(tmp, dst_path)
    tmp.with_name("iconv.err").unlink()


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
        # the JIS form is kotran's own and is rebuilt with the kotran under test
        tmp = c.path["jis"].with_name("corpus.jis.tmp")
        r = spawn([tools.kotran, "-c", "-j", str(c.path["sjis"])], tmp)
        if r.status != 0:
            raise RuntimeError(f"kotran -c -j {c.path['sjis']}: exit {r.status}")
        os.replace(tmp, c.path["jis"])
        corpora[size] = c
    return corpora[base_size], corpora


def fmt_size(n):
    n = int(n)
    return f"{n // MIB} MiB" if n % MIB == 0 else f"{n / MIB:.1f} MiB"


# ---------------------------------------------------------------------------
# Checks against the reference
# ---------------------------------------------------------------------------


def first_difference(a, b):
    """Offset of the first byte where a and b differ (the shorter length if one is a prefix)."""
    lo, step = 0, 1 << 16
    n = min(len(a), len(b))
    while lo < n and a[lo:lo + step] == b[lo:lo + step]:
        lo += step
    while lo < n and a[lo] == b[lo]:
        lo += 1
    return lo


def io_path(corpus, name, data):
    """Write data to a scratch file beside the corpus and return its path."""
    path = corpus.dir / f"check-{name}.tmp"
    path.write_bytes(data)
    return path


def check_outputs(tools, corpus, log):
    """Compare kotran with iconv for every conversion; return (expected outputs, failures, notes)."""
    k = tools.kotran
    p = corpus.path
    read = lambda path: Path(path).read_bytes()
    sjis, euc, utf8, jis = read(p["sjis"]), read(p["euc"]), read(p["utf8"]), read(p["jis"])
    failures, notes = [], []

    def same(what, got, want):
        if got == want:
            log(f"  ok    {what}")
            return True
        at = first_difference(got, want)
        failures.append(
            f"{what}: differs at byte {at} (got {len(got)} bytes, reference {len(want)}; "
            f"got {got[max(0, at - 8):at + 8].hex(' ')} / reference {want[max(0, at - 8):at + 8].hex(' ')})"
        )
        log(f"  FAIL  {what}")
        return False

    def iconv_bytes(f, t, path):
        return run_to_bytes([tools.iconv, "-f", f, "-t", t, str(path)])

    # the forms made by iconv read back through iconv
    same("iconv EUC-JP -> CP932 gives back the Shift-JIS corpus (the reference itself)",
         iconv_bytes("EUC-JP", "CP932", p["euc"]), sjis)
    same("iconv UTF-8 -> CP932 gives back the Shift-JIS corpus (the reference itself)",
         iconv_bytes("UTF-8", "CP932", p["utf8"]), sjis)

    expected = {}
    expected["sjis-euc"] = euc
    expected["sjis-utf8"] = utf8
    expected["euc-sjis"] = sjis
    expected["utf8-sjis"] = sjis
    expected["euc-utf8"] = iconv_bytes("EUC-JP", "UTF-8", p["euc"])
    expected["utf8-euc"] = iconv_bytes("UTF-8", "EUC-JP", p["utf8"])
    for key, src, dst, opt in CONVERSIONS:
        if key in expected:
            got = run_to_bytes([k, "-c", opt, str(p[src])])
            same(f"kotran -c {opt} ({CODES[src]}->{CODES[dst]}) equals iconv", got, expected[key])
            if recognising_option(opt):
                auto = recognising_option(opt)
                same(f"kotran -c {auto} recognises {CODES[src]} and gives the same",
                     run_to_bytes([k, "-c", auto, str(p[src])]), expected[key])

    # JIS: kotran made the JIS form; check it against iconv in every way iconv can read or write it
    same("kotran -c -js reads kotran's JIS form back to the Shift-JIS corpus",
         run_to_bytes([k, "-c", "-js", str(p["jis"])]), sjis)
    same("kotran -c -s recognises kotran's JIS form and reads it back the same",
         run_to_bytes([k, "-c", "-s", str(p["jis"])]), sjis)
    expected["jis-sjis"] = sjis
    expected["sjis-jis"] = jis  # compared after ESC ( J -> ESC ( B
    # ISO-2022-JP-3 knows ESC ( I: when iconv round-trips the corpus through it, it is the reference
    try:
        jp3_write = iconv_bytes("CP932", "ISO-2022-JP-3", p["sjis"])
        jp3_usable = iconv_bytes("ISO-2022-JP-3", "CP932", io_path(corpus, "jp3", jp3_write)) == sjis
    except RuntimeError as e:
        jp3_usable = False
        notes.append(f"iconv cannot convert the corpus to ISO-2022-JP-3 and back ({e})")
    if jp3_usable:
        tools.iconv_jis = "ISO-2022-JP-3"
        same("kotran -c -j equals iconv -t ISO-2022-JP-3 (ESC ( J read as ESC ( B)", normalize_jis(jis), jp3_write)
        same("iconv -f ISO-2022-JP-3 reads kotran's JIS form (with ESC ( I) back to the Shift-JIS corpus",
             iconv_bytes("ISO-2022-JP-3", "CP932", p["jis"]), sjis)
        notes.append(
            "glibc iconv -f ISO-2022-JP does not reject ESC ( I: it passes the escape and the katakana bytes "
            "through unchanged (exit 0, wrong text); so iconv reads and writes JIS as ISO-2022-JP-3, which knows ESC ( I")
    else:
        tools.iconv_jis = None
        notes.append("iconv does not round-trip the corpus through ISO-2022-JP-3: "
                     "iconv is timed on the katakana-free JIS corpus only")
    # plain ISO-2022-JP on the corpus without katakana lines
    nk_sjis = read(corpus.nokana["sjis"])
    nk_jis_iconv = read(corpus.nokana["jis"])
    nk_jis_kotran = run_to_bytes([k, "-c", "-j", str(corpus.nokana["sjis"])])
    same("kotran -c -j equals iconv -t ISO-2022-JP on the katakana-free corpus (ESC ( J read as ESC ( B)",
         normalize_jis(nk_jis_kotran), nk_jis_iconv)
    same("kotran -c -js reads iconv's ISO-2022-JP form back (katakana-free corpus)",
         run_to_bytes([k, "-c", "-js", str(corpus.nokana["jis"])]), nk_sjis)
    for tmp in corpus.dir.glob("check-*.tmp"):
        tmp.unlink()
    return expected, failures, notes


# ---------------------------------------------------------------------------
# Timing
# ---------------------------------------------------------------------------


MODES = ("null", "file")


def case_list(tools):
    """[(conversion, output mode, tools)] in the order they are run in each round."""
    cases = []
    for conv in CONVERSIONS:
        for mode in MODES:
            names = list(tools.names)
            if "jis" in (conv[1], conv[2]):
                if tools.iconv_jis is None:
                    names.remove("iconv")
                # plain ISO-2022-JP on the katakana-free corpus: for comparison, null output only
                if mode == "null" or tools.iconv_jis is None:
                    names.append("iconv-2022jp")
            if mode == "null" and recognising_option(conv[3]):
                names.append("kotran-recognise")
            cases.append((conv, mode, names))
    return cases


def input_of(tool, conv, corpus):
    key, src, dst, _ = conv
    if tool == "iconv-2022jp":
        return corpus.nokana["jis"] if src == "jis" else corpus.nokana["sjis"]
    return corpus.path[src]


def timing(args, tools, corpus, expected, log):
    work = Path(args.workdir) / "scratch"
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    # one scratch folder per input file: kotran's output file lands beside its input
    scratch_in = {}

    def scratch_for(path):
        if path not in scratch_in:
            d = work / f"{len(scratch_in)}-{path.parent.name}-{path.name.replace('.', '-')}"
            d.mkdir()
            target = d / "in.txt"
            try:
                os.link(path, target)
            except OSError:
                shutil.copyfile(path, target)
            scratch_in[path] = target
        return scratch_in[path]

    cases = case_list(tools)
    samples = {}  # (conversion key, mode, tool) -> [Run]
    outputs_checked = {}
    errors = []
    err = work / "stderr.txt"
    t_start = time.perf_counter()
    for rnd in range(args.runs):
        for conv, mode, names in cases:
            key, src, dst, opt = conv
            shift = rnd % len(names)
            for tool in names[shift:] + names[:shift]:
                infile = input_of(tool, conv, corpus)
                if mode == "null":
                    argv, out, result_path = tools.argv(tool, conv, infile, False), os.devnull, None
                else:
                    sin = scratch_for(infile)
                    if tool == "kotran":
                        argv, out = tools.argv(tool, conv, sin, True), os.devnull
                        result_path = sin.with_suffix(KOTRAN_EXT[dst])
                    else:
                        result_path = out = sin.with_name(f"out.{tool}")
                        argv = tools.argv(tool, conv, sin, False)
                    if result_path.exists():
                        result_path.unlink()
                    # No write-back of an earlier output still running while this one is timed.
                    os.sync()
                r = spawn(argv, out, err)
                samples.setdefault((key, mode, tool), []).append(r)
                if r.status != 0:
                    msg = err.read_text(errors="replace").strip().splitlines()
                    errors.append(f"{label(conv)} {mode} {tool}: exit {r.status}: {msg[-1] if msg else ''}")
                if result_path is not None:
                    if (key, tool) not in outputs_checked:
                        verdict = compare_output(tool, conv, result_path, expected)
                        outputs_checked[(key, tool)] = verdict
                        if tool == "kotran" and verdict != "same":
                            errors.append(f"{label(conv)} file kotran: its output file {verdict}")
                    if result_path.exists():
                        result_path.unlink()
        log(f"  round {rnd + 1}/{args.runs} done ({time.perf_counter() - t_start:.0f} s)")
    shutil.rmtree(work)
    return cases, samples, outputs_checked, errors


def compare_output(tool, conv, path, expected):
    key, src, dst, _ = conv
    if tool == "iconv-2022jp":
        return "n/a"
    if not path.exists():
        return "missing"
    want = expected[key]
    got = path.read_bytes()
    if dst == "jis":
        got, want = normalize_jis(got), normalize_jis(want)
    if got == want:
        return "same"
    return f"differs ({len(got)} bytes, reference {len(want)})"


# ---------------------------------------------------------------------------
# Peak memory
# ---------------------------------------------------------------------------

RSS_OTHER = ("sjis-euc", "euc-sjis")  # the conversions measured for the other tools
RSS_KOTRAN_RUNS = 3  # kotran's figure is the median of this many runs
# ru_maxrss moves by up to ~0.2 MiB from run to run even for /bin/true; a peak that
# grew with the input would grow by MiBs. Peaks this close count as the same.
RSS_SAME_KIB = 256


def build_probe(args, log):
    """Compile bench/rss_probe.c into the work directory; None when there is no C compiler."""
    src = HERE / "rss_probe.c"
    exe = Path(args.workdir) / "rss_probe"
    if exe.exists() and exe.stat().st_mtime >= src.stat().st_mtime:
        return str(exe)
    cc = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if not cc:
        log("no C compiler: peak RSS is not measured")
        return None
    proc = subprocess.run([cc, "-O2", "-Wall", "-o", str(exe), str(src)], capture_output=True, text=True)
    if proc.returncode != 0:
        log(f"could not build the RSS probe: {proc.stderr.strip()}")
        return None
    return str(exe)


def probe(probe_exe, argv, result_file):
    """Peak RSS in KiB of argv (output to /dev/null), or None if it failed."""
    r = spawn([probe_exe, str(result_file)] + [str(a) for a in argv], os.devnull)
    if r.status != 0:
        return None
    fields = Path(result_file).read_text().split()
    return int(fields[1]) if fields and fields[0] == "0" else None


def rss_measure(args, tools, corpora, probe_exe, log):
    """Output to /dev/null: {(size, key, tool): KiB}; kotran and the floor are medians of a few runs."""
    rss = {}
    result = Path(args.workdir) / "rss_probe.out"

    def median_of(argv, n):
        vals = [probe(probe_exe, argv, result) for _ in range(n)]
        return None if None in vals else int(statistics.median(vals))

    for size in sorted(int(s * MIB) for s in args.rss_sizes):
        corpus = corpora[size]
        rss[(size, "floor", "true")] = median_of([shutil.which("true") or "/bin/true"], RSS_KOTRAN_RUNS)
        for conv in CONVERSIONS:
            key, src, dst, _ = conv
            for tool in tools.names:
                if tool != "kotran" and key not in RSS_OTHER:
                    continue
                if tool == "iconv" and tools.iconv_jis is None and "jis" in (src, dst):
                    continue
                argv = tools.argv(tool, conv, corpus.path[src], False)
                rss[(size, key, tool)] = median_of(argv, RSS_KOTRAN_RUNS if tool == "kotran" else 1)
        log(f"  peak RSS at {fmt_size(size)} measured")
    return rss


# ---------------------------------------------------------------------------
# Report
# ---------------------------------------------------------------------------


def machine_info():
    model = "?"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        usable_cpus = len(os.sched_getaffinity(0))
    except AttributeError:
        usable_cpus = os.cpu_count()
    return {"cpu_model": model, "cores": os.cpu_count(), "usable_cores": usable_cpus,
            "kernel": platform.release(), "python": platform.python_version()}


def load_average():
    try:
        return float(Path("/proc/loadavg").read_text().split()[0])
    except (OSError, ValueError, IndexError):
        return None


def build_kotran(args, log):
    if args.kotran:
        path = Path(args.kotran).resolve()
        if not (path.is_file() and os.access(path, os.X_OK)):
            sys.exit(f"--kotran {args.kotran}: not an executable file")
        return str(path)
    build = Path(args.build_dir)
    log(f"building kotran in {build} ...")
    for cmd in (
        ["cmake", "-S", str(SOURCE_DIR), "-B", str(build), "-G", "Ninja",
         "-DCMAKE_BUILD_TYPE=Release", "-DKOTRAN_TESTS=OFF"],
        ["ninja", "-C", str(build), "kotran"],
    ):
        proc = subprocess.run(cmd, capture_output=True, text=True)
        if proc.returncode != 0:
            sys.stderr.write(proc.stdout + proc.stderr)
            sys.exit(f"build failed: {' '.join(cmd)}")
    return str(build / "kotran")


def git_head():
    try:
        head = subprocess.run(["git", "-C", str(SOURCE_DIR), "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, timeout=10).stdout.strip() or "?"
        dirty = subprocess.run(["git", "-C", str(SOURCE_DIR), "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True, timeout=10).stdout.strip()
        return head + (" with uncommitted changes" if dirty else "")
    except (OSError, subprocess.SubprocessError):
        return "?"


TOOL_LABEL = {
    "kotran": "kotran",
    "kotran-recognise": "kotran recognising",
    "iconv": "iconv",
    "iconv-2022jp": "iconv ISO-2022-JP*",
    "nkf": "nkf -x",
    "uconv": "uconv",
}


def summarize(cases, samples, corpus):
    """Median throughput (wall and CPU) per (conversion, mode, tool) and kotran's ratio to each tool."""
    rows = []
    wall, cpu = {}, {}
    for conv, mode, names in cases:
        key = conv[0]
        for tool in names:
            runs = samples[(key, mode, tool)]
            size = input_of(tool, conv, corpus).stat().st_size
            ok = all(r.status == 0 for r in runs)
            t = statistics.median(r.wall for r in runs)
            c = statistics.median(r.user + r.sys for r in runs)
            wall[(key, mode, tool)] = size / MIB / t if ok else None
            cpu[(key, mode, tool)] = size / MIB / c if ok and c > 0 else None
            rows.append({
                "conversion": label(conv), "key": key, "mode": mode, "tool": tool,
                "input_bytes": size, "ok": ok,
                "wall_s": [round(r.wall, 5) for r in runs],
                "cpu_s": [round(r.user + r.sys, 5) for r in runs],
                "median_wall_s": t, "median_cpu_s": c,
                "mib_per_s": wall[(key, mode, tool)], "cpu_mib_per_s": cpu[(key, mode, tool)],
            })
    for row in rows:
        row["kotran_over_tool"] = ratio(wall, row["key"], row["mode"], row["tool"])
        row["kotran_over_tool_cpu"] = ratio(cpu, row["key"], row["mode"], row["tool"])
    return rows, wall, cpu


def ratio(med, key, mode, tool):
    k = med.get((key, mode, "kotran"))
    v = med.get((key, mode, tool))
    return (k / v) if (k and v) else None


def fmt_ratio(x):
    return "-" if x is None else f"{x:.2f}x"


def fmt_kib(v):
    return "-" if v is None else f"{v} KiB"


def evaluate_targets(wall, cpu, rss, rss_sizes, tools):
    targets = []
    names = {c[0]: label(c) for c in CONVERSIONS}

    def speed_target(name, pairs, floor):
        met = bool(pairs)
        per = []
        for key, tool in pairs:
            for mode in MODES:
                r, rc = ratio(wall, key, mode, tool), ratio(cpu, key, mode, tool)
                per.append((key, mode, r, rc))
                if r is None or r < floor:
                    met = False
        if len(pairs) == 1:
            detail = ", ".join(f"{m} {fmt_ratio(r)} (CPU {fmt_ratio(rc)})" for _, m, r, rc in per)
        else:
            missed = sorted({names[k] for k, _, r, _ in per if r is None or r < floor},
                            key=lambda n: list(names.values()).index(n))
            worst = min((p for p in per if p[2] is not None), key=lambda p: p[2], default=None)
            detail = "no data" if worst is None else (
                f"lowest {fmt_ratio(worst[2])} ({names[worst[0]]}, {worst[1]}; CPU {fmt_ratio(worst[3])})"
                + (f"; below {floor:g}x: {', '.join(missed)}" if missed else ""))
        targets.append({"target": name, "met": met, "detail": detail,
                        "ratios": [{"conversion": names[k], "mode": m, "wall": r, "cpu": rc} for k, m, r, rc in per]})

    iconv_jis = "iconv" if tools.iconv_jis else "iconv-2022jp"
    speed_target("Shift-JIS->EUC at least 8x iconv", [("sjis-euc", "iconv")], 8)
    speed_target("Shift-JIS->JIS at least 8x iconv", [("sjis-jis", iconv_jis)], 8)
    speed_target("EUC->Shift-JIS at least 2.5x iconv", [("euc-sjis", "iconv")], 2.5)
    speed_target("JIS->Shift-JIS at least 2.5x iconv", [("jis-sjis", iconv_jis)], 2.5)
    if "nkf" in tools.names:
        speed_target("every conversion at least 5x nkf", [(c[0], "nkf") for c in CONVERSIONS], 5)
    else:
        targets.append({"target": "every conversion at least 5x nkf", "met": False, "detail": "nkf not installed"})

    sizes = sorted(int(s * MIB) for s in rss_sizes)
    peaks = {}
    for size in sizes:
        vals = [rss.get((size, c[0], "kotran")) for c in CONVERSIONS]
        peaks[size] = None if any(v is None for v in vals) else max(vals)
    known = [v for v in peaks.values() if v is not None]
    complete = bool(known) and len(known) == len(peaks)
    targets.append({
        "target": "kotran peak RSS under 4 MiB",
        "met": complete and all(v < 4096 for v in known),
        "detail": ", ".join(f"at {fmt_size(s)} {fmt_kib(peaks[s])}" for s in sizes) + " (highest of the conversions)",
    })
    spread = None
    if complete and len(sizes) > 1:
        spread = max(max(rss[(s, c[0], "kotran")] for s in sizes) - min(rss[(s, c[0], "kotran")] for s in sizes)
                     for c in CONVERSIONS)
    targets.append({
        "target": "kotran peak RSS the same at both sizes",
        "met": spread is not None and spread <= RSS_SAME_KIB,
        "detail": ("needs two sizes" if spread is None else
                   f"largest difference for one conversion {spread} KiB (counted the same up to {RSS_SAME_KIB} KiB)"),
    })
    return targets


def print_report(out, args, corpus, rows, wall, cpu, rss, targets, notes, outputs_checked, tools, cases, load):
    p = lambda s="": print(s, file=out)
    p()
    p(f"Throughput: {fmt_size(corpus.size)} Shift-JIS input (as EUC {fmt_size(corpus.path['euc'].stat().st_size)}, "
      f"JIS {fmt_size(corpus.path['jis'].stat().st_size)}, UTF-8 {fmt_size(corpus.path['utf8'].stat().st_size)}); "
      "MiB/s counts input bytes.")
    p(f"{args.runs} rounds; each round runs every tool once per case, the tool order rotating; the median of all runs.")
    p("null: standard output to /dev/null (kotran -c). file: kotran writes its own output file beside the")
    p("input; the others' standard output is redirected to a file. MiB/s is wall time of the whole process;")
    p("CPU MiB/s uses its user+system time. kotran/this: kotran's MiB/s over this tool's (wall, then CPU).")
    p()
    hdr = (f"{'conversion':<17}{'output':<7}{'tool':<19}{'MiB/s':>8}{'min-max':>14}{'CPU MiB/s':>11}"
           f"{'kotran/this':>12}{'(CPU)':>8}  output")
    p(hdr)
    p("-" * (len(hdr) + 12))
    last = None
    for row in rows:
        if last is not None and row["key"] != last:
            p()
        last = row["key"]
        size = row["input_bytes"] / MIB
        speeds = [size / t for t in row["wall_s"]]
        mib = "FAILED" if row["mib_per_s"] is None else f"{row['mib_per_s']:.1f}"
        cmib = "-" if row["cpu_mib_per_s"] is None else f"{row['cpu_mib_per_s']:.1f}"
        kr = "" if row["tool"] == "kotran" else fmt_ratio(row["kotran_over_tool"])
        kc = "" if row["tool"] == "kotran" else fmt_ratio(row["kotran_over_tool_cpu"])
        chk = outputs_checked.get((row["key"], row["tool"]), "") if row["mode"] == "file" else ""
        p(f"{row['conversion']:<17}{row['mode']:<7}{TOOL_LABEL[row['tool']]:<19}{mib:>8}"
          f"{min(speeds):>7.1f}-{max(speeds):<6.1f}{cmib:>11}{kr:>12}{kc:>8}  {chk}")
    p()
    p("output: the tool's output file compared with the reference (iconv's output, which kotran's matched")
    p("byte for byte before the timings; JIS compared with ESC ( J read as ESC ( B).")
    jis = ("JIS: iconv reads and writes JIS as ISO-2022-JP-3 on the same corpus." if tools.iconv_jis else
           "JIS: iconv cannot handle this JIS corpus; it is timed on the one without katakana lines.")
    jis += (" 'iconv ISO-2022-JP*' is plain ISO-2022-JP on the corpus without its katakana lines "
            f"({fmt_size(corpus.nokana['sjis'].stat().st_size)} Shift-JIS, "
            f"{fmt_size(corpus.nokana['jis'].stat().st_size)} JIS).")
    p(textwrap.fill(jis, 100))
    for n in notes:
        p(textwrap.fill(f"note: {n}", 100, subsequent_indent="  "))
    p()
    others = [t for t in tools.names if t != "kotran"]
    jp = any("iconv-2022jp" in names for _, _, names in cases)
    p("Summary: kotran MiB/s and kotran's speed over each tool's in the same run, wall (CPU)")
    hdr = f"{'conversion':<17}{'output':<7}{'kotran MiB/s':>13}" + "".join(f"{'kotran/' + t:>17}" for t in others)
    hdr += f"{'kotran/ISO-2022-JP*':>21}" if jp else ""
    p(hdr)
    p("-" * len(hdr))
    for conv, mode, names in cases:
        key = conv[0]
        k = wall.get((key, mode, "kotran"))
        line = f"{label(conv):<17}{mode:<7}{('FAILED' if k is None else f'{k:.1f}'):>13}"
        cols = others + (["iconv-2022jp"] if jp else [])
        for t in cols:
            cell = ""
            if t in names:
                cell = f"{fmt_ratio(ratio(wall, key, mode, t))} ({fmt_ratio(ratio(cpu, key, mode, t))})"
            line += f"{cell:>{21 if t == 'iconv-2022jp' else 17}}"
        p(line)
    p()
    recognised = [(conv, names) for conv, mode, names in cases if "kotran-recognise" in names]
    if recognised:
        p("Recognising the source: kotran without the source letter (-s for -es, ...), standard output to")
        p("/dev/null, against the same tools in the same run. Recognition reads an EUC text to its end")
        p("before converting it (a later byte could still make it Shift-JIS); JIS and UTF-8 are settled early.")
        hdr = f"{'conversion':<17}{'option':<8}{'kotran MiB/s':>13}{'recognising':>13}" + "".join(
            f"{'recognising/' + t:>18}" for t in others)
        p(hdr)
        p("-" * len(hdr))
        for conv, names in recognised:
            key = conv[0]
            k = wall.get((key, "null", "kotran"))
            a = wall.get((key, "null", "kotran-recognise"))
            line = (f"{label(conv):<17}{recognising_option(conv[3]):<8}{('FAILED' if k is None else f'{k:.1f}'):>13}"
                    f"{('FAILED' if a is None else f'{a:.1f}'):>13}")
            for t in others:
                v = wall.get((key, "null", t))
                line += f"{(fmt_ratio(a / v) if a and v else '-'):>18}"
            p(line)
        p()
    sizes = sorted(int(s * MIB) for s in args.rss_sizes)
    p(f"Peak RSS: ru_maxrss of the tool from wait4, output to /dev/null; kotran and /bin/true the median of "
      f"{RSS_KOTRAN_RUNS} runs, the others one run")
    hdr = f"{'tool':<9}{'conversion':<18}" + "".join(f"{fmt_size(s):>14}" for s in sizes)
    p(hdr)
    p("-" * len(hdr))
    for tool in tools.names:
        for conv in CONVERSIONS:
            if not any((s, conv[0], tool) in rss for s in sizes):
                continue
            p(f"{TOOL_LABEL[tool]:<9}{label(conv):<18}" + "".join(f"{fmt_kib(rss.get((s, conv[0], tool))):>14}" for s in sizes))
    p(f"{'(floor)':<9}{'/bin/true':<18}" + "".join(f"{fmt_kib(rss.get((s, 'floor', 'true'))):>14}" for s in sizes))
    p("Each tool is started by bench/rss_probe (a small C program) so that its figure does not include")
    p("the Python benchmark's own memory; /bin/true shows what a trivial program measures that way.")
    p()
    cores = os.cpu_count() or 1
    p(f"Load average (1 min): {load[0]} before, {load[1]} after the timings, {cores} cores.")
    if any(v is not None and v > cores * 0.5 for v in load):
        p("The machine was busy with other work during the run: wall times are slowed and noisy for every")
        p("tool; CPU times and the ratios are less affected.")
    p()
    p("Targets (judged on the wall-clock ratios, in both output modes)")
    for t in targets:
        p(textwrap.fill(f"{'[met]' if t['met'] else '[MISSED]':<9}{t['target']}: {t['detail']}", 100,
                        initial_indent="  ", subsequent_indent=" " * 11))
    p()


def main():
    ap = argparse.ArgumentParser(
        description="Benchmark kotran against iconv, nkf -x and uconv on a generated Japanese corpus.")
    ap.add_argument("--size-mib", type=float, default=None, help="corpus size for the timings (default 64)")
    ap.add_argument("--runs", type=int, default=None, help="rounds of timings (default 5)")
    ap.add_argument("--rss-sizes", default=None, help="input sizes in MiB for peak RSS (default 16,256)")
    ap.add_argument("--kotran", help="use this kotran executable instead of building one")
    ap.add_argument("--build-dir", default="/tmp/bench-build", help="where to build kotran (default /tmp/bench-build)")
    ap.add_argument("--workdir", default="/tmp/kotran-bench",
                    help="corpus cache and scratch files (default /tmp/kotran-bench)")
    ap.add_argument("--quick", action="store_true", help="8 MiB, 3 rounds, RSS at 8 and 32 MiB (about a minute)")
    ap.add_argument("--no-uconv", action="store_true", help="leave uconv out even if it is installed")
    ap.add_argument("--json", help="also write the results to this JSON file")
    args = ap.parse_args()
    q = args.quick
    if args.size_mib is None:
        args.size_mib = 8 if q else DEFAULT_SIZE_MIB
    if args.runs is None:
        args.runs = 3 if q else 5
    if args.rss_sizes is None:
        args.rss_sizes = "8,32" if q else "16,256"
    try:
        args.rss_sizes = sorted({float(s) for s in args.rss_sizes.split(",") if s.strip()})
    except ValueError:
        ap.error("--rss-sizes: a comma-separated list of sizes in MiB")
    if args.runs < 1 or args.size_mib <= 0 or not args.rss_sizes or min(args.rss_sizes) <= 0:
        ap.error("sizes and runs must be positive")

    t0 = time.perf_counter()
    log = lambda s: print(s, file=sys.stderr, flush=True)
    info = machine_info()
    print(f"CPU: {info['cpu_model']}, {info['cores']} cores ({info['usable_cores']} usable to this process); "
          f"Linux {info['kernel']}; Python {info['python']}")

    kotran = build_kotran(args, log)
    tools = Tools(kotran, not args.no_uconv)
    versions = {"kotran": f"{kotran} (source {git_head()})",
                "iconv": first_line([tools.iconv, "--version"])}
    if tools.nkf:
        versions["nkf"] = first_line([tools.nkf, "--version"])
    if tools.uconv:
        versions["uconv"] = first_line([tools.uconv, "--version"])
    for t, v in versions.items():
        print(f"{t}: {v}")
    missing = [t for t in ("nkf", "uconv") if t not in tools.names and not (t == "uconv" and args.no_uconv)]
    if missing:
        print(f"not installed, left out: {', '.join(missing)}")
    sys.stdout.flush()

    material = load_material()
    try:
        corpus, corpora = prepare_corpora(args, tools, material, log)
    except RuntimeError as e:
        sys.exit(f"could not prepare the corpus: {e}")
    stats = corpus_stats(corpus.path["sjis"].read_bytes())
    print(f"corpus: {fmt_size(corpus.size)} Shift-JIS, CR LF; {stats['ascii_share']:.1%} ASCII bytes, "
          f"{stats['double_byte_share']:.1%} double-byte, {stats['half_width_kana_share']:.2%} half-width katakana; "
          f"{stats['mean_line_bytes']:.1f} bytes a line; {KANA_LINE_RATE:.0%} of lines with half-width katakana")
    sys.stdout.flush()

    log("checking kotran's output against iconv ...")
    try:
        expected, failures, notes = check_outputs(tools, corpus, log)
    except RuntimeError as e:
        failures, notes, expected = [str(e)], [], {}
    if failures:
        print("\nkotran's output differs from the reference; no figures are reported:")
        for f in failures:
            print(f"  {f}")
        return 1

    probe_exe = build_probe(args, log)
    load_before = load_average()
    log(f"timing: {len(CONVERSIONS)} conversions x {len(MODES)} output modes x {args.runs} rounds ...")
    cases, samples, outputs_checked, errors = timing(args, tools, corpus, expected, log)
    load_after = load_average()
    del expected
    kotran_errors = [e for e in errors if " kotran" in e]
    if kotran_errors:
        print("\nkotran failed or wrote a wrong output file during the timings; no figures are reported:")
        for e in kotran_errors:
            print(f"  {e}")
        return 1
    rss = {}
    if probe_exe:
        log(f"peak RSS at {', '.join(fmt_size(s * MIB) for s in args.rss_sizes)} ...")
        rss = rss_measure(args, tools, corpora, probe_exe, log)
    else:
        notes.append("peak RSS not measured: bench/rss_probe.c could not be compiled")

    rows, wall, cpu = summarize(cases, samples, corpus)
    targets = evaluate_targets(wall, cpu, rss, args.rss_sizes, tools)
    notes += [f"a tool failed: {e}" for e in errors]
    print_report(sys.stdout, args, corpus, rows, wall, cpu, rss, targets, notes, outputs_checked, tools, cases,
                 (load_before, load_after))
    elapsed = time.perf_counter() - t0
    print(f"total time {elapsed:.0f} s")

    if args.json:
        doc = {
            "machine": info,
            "versions": versions,
            "parameters": {"size_mib": args.size_mib, "runs": args.runs, "rss_sizes_mib": args.rss_sizes,
                           "seed": SEED, "kana_line_rate": KANA_LINE_RATE, "workdir": args.workdir},
            "corpus": dict(stats, bytes=corpus.path["sjis"].stat().st_size, nokana_bytes=corpus.nokana["sjis"].stat().st_size),
            "iconv_jis": tools.iconv_jis or "ISO-2022-JP on the katakana-free corpus",
            "load_average": {"before": load_before, "after": load_after},
            "timings": rows,
            "output_checks": {f"{k}/{t}": v for (k, t), v in outputs_checked.items()},
            "peak_rss_kib": [{"size_bytes": s, "conversion": k, "tool": t, "kib": v}
                             for (s, k, t), v in sorted(rss.items())],
            "targets": targets,
            "notes": notes,
            "elapsed_s": elapsed,
        }
        Path(args.json).write_text(json.dumps(doc, indent=1, ensure_ascii=False) + "\n")
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
