"""The tools the benchmark runs: kotran (found or built), iconv, nkf and uconv.

Their command lines and code names, the process spawner that times them, and
the checks of kotran's output against iconv's, the reference for every
conversion. Shared by run.py, small_files.py and compare.py.
"""

import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parent.parent

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


def iconv_file(tools, src_path, dst_path, f, t):
    tmp = dst_path.with_name(dst_path.name + ".tmp")
    r = spawn([tools.iconv, "-f", f, "-t", t, str(src_path)], tmp, tmp.with_name("iconv.err"))
    if r.status != 0:
        err = tmp.with_name("iconv.err").read_text(errors="replace").strip()
        raise RuntimeError(f"iconv -f {f} -t {t} {src_path}: exit {r.status}: {err}")
    os.replace(tmp, dst_path)
    tmp.with_name("iconv.err").unlink()


# ---------------------------------------------------------------------------
# kotran itself
# ---------------------------------------------------------------------------


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


def tool_versions(tools):
    """{tool: its version line}, kotran's as its path and the source it was built from."""
    versions = {"kotran": f"{tools.kotran} (source {git_head()})",
                "iconv": first_line([tools.iconv, "--version"])}
    if tools.nkf:
        versions["nkf"] = first_line([tools.nkf, "--version"])
    if tools.uconv:
        versions["uconv"] = first_line([tools.uconv, "--version"])
    return versions


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


def compare_output(tool, conv, path, expected):
    """A tool's output file against the reference: "same", "missing", "differs (...)" or "n/a"."""
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
