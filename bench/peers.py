"""The tools the benchmark runs: kotran (found or built), iconv, nkf, uconv, and
two programs over the libraries, encoding_rs and ICU (built from bench/peers/).

Their command lines and code names, the process spawner that times them, and
the checks of kotran's output against iconv's, the reference for every
conversion. Shared by run.py, small_files.py and compare.py.
"""

import os
import re
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


def spawn(argv, stdout_path, stderr_path=os.devnull, env=None):
    """Run argv with stdin from /dev/null (in env, ENV by default); time it and take its rusage with wait4."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, str(stdout_path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
        (os.POSIX_SPAWN_OPEN, 2, str(stderr_path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, ENV if env is None else env, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    return Run(wall, os.waitstatus_to_exitcode(status), usage.ru_maxrss, usage.ru_utime, usage.ru_stime)


def inputs_in_folders(scratch, corpus):
    """A fresh folder scratch with each code's input linked (or copied) into a folder of its own as
    in.txt, so that kotran's output file lands beside it: {code: path}."""
    if scratch.exists():
        shutil.rmtree(scratch)
    scratch.mkdir(parents=True)
    linked = {}
    for code in CODES:
        d = scratch / code
        d.mkdir()
        try:
            os.link(corpus.path[code], d / "in.txt")
        except OSError:
            shutil.copyfile(corpus.path[code], d / "in.txt")
        linked[code] = d / "in.txt"
    return linked


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
# encoding_rs: WHATWG's labels. Its ISO-2022-JP encoder widens half-width
# katakana and writes what the target lacks as a numeric character reference.
ENCODING_RS_NAME = {"sjis": "Shift_JIS", "euc": "EUC-JP", "jis": "ISO-2022-JP", "utf8": "UTF-8"}
# The programs over the libraries, with the names their tool has in the tables.
LIBRARY_PEERS = ("encoding_rs", "icu")

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
    ("jis-utf8", "jis", "utf8", "-ju"),
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
    def __init__(self, kotran, use_uconv, libraries=None):
        self.kotran = kotran
        self.iconv = shutil.which("iconv")
        self.nkf = shutil.which("nkf")
        self.uconv = shutil.which("uconv") if use_uconv else None
        self.libraries = {k: v for k, v in (libraries or {}).items() if v}
        if not self.iconv:
            sys.exit("iconv not found: it is the reference for every conversion")
        self.names = ["kotran", "iconv"] + (["nkf"] if self.nkf else []) + (["uconv"] if self.uconv else [])
        self.names += [t for t in LIBRARY_PEERS if t in self.libraries]
        # bench/copy_floor, timed beside the tools in every case (not a peer): set by run.py,
        # with the size of each conversion's output, which it writes.
        self.floor = None
        self.floor_bytes = {}
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
        if tool == "floor":
            return [self.floor, str(infile), str(self.floor_bytes[key]), "-"]
        if tool == "icu":
            return [self.libraries["icu"], UCONV_IN[src], UCONV_OUT[dst], str(infile)]
        if tool == "encoding_rs":
            return [self.libraries["encoding_rs"], ENCODING_RS_NAME[src], ENCODING_RS_NAME[dst], str(infile)]
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
    if "icu" in tools.libraries:
        versions["icu"] = "libicu " + first_line(["pkg-config", "--modversion", "icu-uc"]) + ", ucnv_convertEx, 64 KiB blocks"
    if "encoding_rs" in tools.libraries:
        crates = sorted(Path(CRATES).glob("encoding_rs-*"))
        versions["encoding_rs"] = (crates[-1].name if crates else "encoding_rs") + \
            " (fast-kanji-encode), Decoder/Encoder, 64 KiB blocks"
    return versions


# ---------------------------------------------------------------------------
# The programs over the libraries
# ---------------------------------------------------------------------------

PEERS_DIR = SOURCE_DIR / "bench" / "peers"
# Debian's packaged Rust crates (librust-encoding-rs-dev): cargo builds offline against them.
CRATES = "/usr/share/cargo/registry"


def build_library_peers(workdir, log):
    """Build bench/peers/ into the work directory: {tool: executable or None}. A peer whose
    library or compiler is missing is left out with the reason logged (tools/setup.sh bench
    installs them)."""
    out = Path(workdir) / "peers"
    out.mkdir(parents=True, exist_ok=True)
    built = {}
    cc = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc")
    icu = out / "icu_convert"
    src = PEERS_DIR / "icu_convert.c"
    if icu.exists() and icu.stat().st_mtime >= src.stat().st_mtime:
        built["icu"] = str(icu)
    elif cc:
        proc = subprocess.run([cc, "-O2", "-Wall", "-o", str(icu), str(src), "-licuuc"], capture_output=True, text=True)
        built["icu"] = str(icu) if proc.returncode == 0 else None
        if proc.returncode != 0:
            log(f"left out icu: could not build bench/peers/icu_convert.c ({proc.stderr.strip()[:200]})")
    cargo = shutil.which("cargo")
    crate = PEERS_DIR / "encoding_rs_convert"
    exe = out / "target" / "release" / "encoding_rs_convert"
    if not cargo or not any(Path(CRATES).glob("encoding_rs-*")):
        log("left out encoding_rs: needs cargo and Debian's librust-encoding-rs-dev (tools/setup.sh bench)")
        built["encoding_rs"] = None
        return built
    newest = max(p.stat().st_mtime for p in crate.rglob("*") if p.is_file() and p.name != "Cargo.lock")
    if exe.exists() and exe.stat().st_mtime >= newest:
        built["encoding_rs"] = str(exe)
        return built
    home = out / "cargo-home"
    home.mkdir(exist_ok=True)
    (home / "config.toml").write_text(
        f'[source.crates-io]\nreplace-with = "debian"\n[source.debian]\ndirectory = "{CRATES}"\n'
        '[net]\noffline = true\n')
    log("building the encoding_rs peer (cargo, offline) ...")
    # Built from a copy, so that the lock file cargo writes stays out of the source tree.
    copy = out / "encoding_rs_convert"
    if copy.exists():
        shutil.rmtree(copy)
    shutil.copytree(crate, copy, ignore=shutil.ignore_patterns("Cargo.lock", "target"))
    proc = subprocess.run([cargo, "build", "--release", "--quiet", "--manifest-path", str(copy / "Cargo.toml"),
                           "--target-dir", str(out / "target")], capture_output=True, text=True,
                          env=dict(os.environ, CARGO_HOME=str(home)))
    built["encoding_rs"] = str(exe) if proc.returncode == 0 and exe.exists() else None
    if built["encoding_rs"] is None:
        log(f"left out encoding_rs: cargo build failed ({proc.stderr.strip()[-300:]})")
    return built


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
    expected["jis-utf8"] = utf8
    same("kotran -c -ju reads kotran's JIS form as iconv CP932 -> UTF-8 reads the Shift-JIS corpus",
         run_to_bytes([k, "-c", "-ju", str(p["jis"])]), utf8)
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
    if corpus.extended is not None:
        check_extended(tools, corpus, corpus.extended, same, notes)
    for tmp in corpus.dir.glob("check-*.tmp"):
        tmp.unlink()
    return expected, failures, notes


# ---------------------------------------------------------------------------
# The extended text: NEC and IBM codes, JIS X 0212
# ---------------------------------------------------------------------------

SJIS_TOKEN = re.compile(rb"[\x81-\x9f\xe0-\xfc][\x40-\xfc]|[\x00-\x7f]")
EUC_TOKEN = re.compile(rb"\x8f[\xa1-\xfe][\xa1-\xfe]|[\xa1-\xfe][\xa1-\xfe]|[\x00-\x7f]")


def lowest_cp932_codes():
    """{character: the lowest Shift-JIS code of rows 1-92 that Python's cp932 decodes to it}."""
    lowest = {}
    for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xEF)):
        for trail in range(0x40, 0xFD):
            code = bytes((lead, trail))
            try:
                lowest.setdefault(code.decode("cp932"), code)
            except UnicodeDecodeError:
                pass
    return lowest


def sjis_to_jis_bytes(code):
    lead, trail = code
    hi = ((lead - (0xB1 if lead >= 0xE0 else 0x71)) << 1) + 1
    if trail >= 0x9F:
        return bytes((hi + 1, trail - 0x7E))
    return bytes((hi, trail - (0x20 if trail >= 0x80 else 0x1F)))


def jis_to_sjis_bytes(hi, lo):
    lead = ((hi + 1) >> 1) + (0x70 if hi <= 0x5E else 0xB0)
    trail = lo + (0x1F if lo <= 0x5F else 0x20) if hi & 1 else lo + 0x7E
    return bytes((lead, trail))


def map_sjis(data, each):
    """Shift-JIS text (no half-width katakana) with each double-byte code replaced by each(code)."""
    return b"".join(each(t) if len(t) == 2 else t for t in SJIS_TOKEN.findall(data))


def sjis_as_euc(data):
    return map_sjis(data, lambda c: bytes(b | 0x80 for b in sjis_to_jis_bytes(c)))


def euc_as_kotran_jis(data):
    """kotran's JIS form of EUC text: ESC $ B (or ESC $ ( D) before a run of codes of one set, ESC ( J after."""
    out, current = [], None
    for t in EUC_TOKEN.findall(data):
        want = None if len(t) == 1 else ("D" if len(t) == 3 else "B")
        if want != current:
            out.append(b"\x1b(J" if want is None else b"\x1b$B" if want == "B" else b"\x1b$(D")
            current = want
        out.append(t if len(t) == 1 else bytes(b & 0x7F for b in t[-2:]))
    if current is not None:
        out.append(b"\x1b(J")
    return b"".join(out)


def check_extended(tools, corpus, ext, same, notes):
    """kotran on the NEC/IBM and JIS X 0212 text against iconv and Python's codecs.

    Shift-JIS is the NEC-selected/IBM text; the expected bytes of the other
    codes are computed here: Python's cp932 gives each character's lowest
    code (the IBM extensions FA-FC go to EUC and JIS as the code of rows
    89-92, 13 or 2 holding the same character), the code arithmetic the rest.
    """
    k = tools.kotran
    run = lambda opt, path: run_to_bytes([k, "-c", opt, str(path)])
    iconv_bytes = lambda f, t, path: run_to_bytes([tools.iconv, "-f", f, "-t", t, str(path)])
    lowest = lowest_cp932_codes()

    # NEC row 13, rows 89-92, IBM extensions
    sjis = ext.sjis.read_bytes()
    utf8 = iconv_bytes("CP932", "UTF-8", ext.sjis)
    same("NEC/IBM text: Python's cp932 reads it as iconv's CP932 does", sjis.decode("cp932").encode(), utf8)
    to_twin = lambda c: lowest[c.decode("cp932")] if c[0] >= 0xFA else c
    nec = map_sjis(sjis, to_twin)  # the IBM extensions as their twins
    euc = sjis_as_euc(nec)
    same("NEC/IBM text: kotran -c -u equals iconv CP932 -> UTF-8", run("-u", ext.sjis), utf8)
    same("NEC/IBM text: kotran -c -e writes the IBM extensions as their twins (Python cp932)", run("-e", ext.sjis), euc)
    jis = run("-j", ext.sjis)
    same("NEC/IBM text: kotran -c -j likewise, in JIS", jis, euc_as_kotran_jis(euc))
    e_path, j_path, u_path = (io_path(corpus, n, d) for n, d in (("ext-euc", euc), ("ext-jis", jis), ("ext-u", utf8)))
    same("NEC/IBM text: kotran -c -es of that EUC gives the Shift-JIS with the twins", run("-es", e_path), nec)
    same("NEC/IBM text: kotran -c -eu of that EUC equals iconv CP932 -> UTF-8", run("-eu", e_path), utf8)
    same("NEC/IBM text: kotran -c -ju of that JIS equals iconv CP932 -> UTF-8", run("-ju", j_path), utf8)
    low = map_sjis(sjis, lambda c: lowest[c.decode("cp932")])
    same("NEC/IBM text: kotran -c -us writes each character's lowest code (Python cp932)", run("-us", u_path), low)
    same("NEC/IBM text: kotran -c -ue likewise, in EUC", run("-ue", u_path), sjis_as_euc(low))
    if tools.nkf:
        same("NEC/IBM text: nkf --ic=CP51932 reads kotran's EUC as iconv's CP932 reads the Shift-JIS",
             run_to_bytes([tools.nkf, "--ic=CP51932", "--oc=UTF-8", str(e_path)]), utf8)
    if iconv_has(tools, "EUC-JP-MS"):
        # EUC-JP-MS reads rows 89-92 as private-use characters: only row 13 and below compare
        plain = b"\r\n".join(l for l in euc.split(b"\r\n") if not re.search(rb"[\xf9-\xfc][\xa1-\xfe]", l))
        same("NEC/IBM text: iconv EUC-JP-MS reads kotran's EUC lines without rows 89-92 as CP932 does",
             iconv_bytes("EUC-JP-MS", "UTF-8", io_path(corpus, "ext-ms", plain)),
             iconv_bytes("CP932", "UTF-8", io_path(corpus, "ext-ms-s", map_sjis_from_euc(plain))))

    # JIS X 0212, in EUC. A character that a JIS X 0208 code (rows 1-92 of
    # CP932) also holds is written from UTF-8 as that code; BROKEN BAR, a JIS
    # form, as the code of its Windows form ￤. To Shift-JIS a character
    # becomes its IBM extension (BROKEN BAR that of ￤, FA 55), else that JIS
    # X 0208 code, else 〓.
    windows_form = {"\u00a6": "\uffe4"}
    ibm = {}
    for lead, trails in ((0xFA, range(0x40, 0xFD)), (0xFB, range(0x40, 0xFD)), (0xFC, range(0x40, 0x4C))):
        for trail in trails:
            if trail != 0x7F:
                ibm[bytes((lead, trail)).decode("cp932")] = bytes((lead, trail))

    def char_of(t):
        # Python's euc_jp reads 2-23 (8F A2 B7) as TILDE U+007E; glibc's EUC-JP, kotran and the WHATWG index as
        # FULLWIDTH TILDE U+FF5E
        ch = t.decode("euc_jp")
        return "\uff5e" if ch == "~" else ch

    def jis0208_of(t):
        ch = char_of(t)
        return lowest.get(windows_form.get(ch, ch))

    def from_utf8(t):
        if len(t) != 3:
            return t
        code = jis0208_of(t)
        return sjis_as_euc(code) if code else t

    def to_sjis(t):
        if len(t) == 1:
            return t
        if len(t) == 2:
            return jis_to_sjis_bytes(t[0] & 0x7F, t[1] & 0x7F)
        ch = char_of(t)
        return ibm.get(windows_form.get(ch, ch)) or jis0208_of(t) or b"\x81\xac"

    x_euc = ext.x0212_euc.read_bytes()
    tokens = EUC_TOKEN.findall(x_euc)
    x_utf8 = iconv_bytes("EUC-JP", "UTF-8", ext.x0212_euc)
    same("JIS X 0212 text: Python's euc_jp reads it as iconv's EUC-JP does (but 2-23 as U+007E)",
         x_euc.decode("euc_jp").encode(), x_utf8.replace("\uff5e".encode(), b"~"))
    same("JIS X 0212 text: kotran -c -eu equals iconv EUC-JP -> UTF-8", run("-eu", ext.x0212_euc), x_utf8)
    xu_path = io_path(corpus, "x-u", x_utf8)
    back = b"".join(from_utf8(t) for t in tokens)
    same("JIS X 0212 text: kotran -c -ue gives back the EUC, with JIS X 0208 codes where they hold the character",
         run("-ue", xu_path), back)
    if tools.nkf:
        # CP51932 has no JIS X 0212: only the lines without SS3 are read, and BROKEN BAR comes back as ￤
        lines = [l for l in back.split(b"\r\n") if b"\x8f" not in l]
        want = [l for l, b in zip(x_utf8.split(b"\r\n"), back.split(b"\r\n")) if b"\x8f" not in b]
        same("JIS X 0212 text: nkf --ic=CP51932 reads those JIS X 0208 codes as the characters (BROKEN BAR as ￤)",
             run_to_bytes([tools.nkf, "--ic=CP51932", "--oc=UTF-8", str(io_path(corpus, "x-back", b"\r\n".join(lines)))]),
             b"\r\n".join(want).replace("\u00a6".encode(), "\uffe4".encode()))
    x_jis = run("-ej", ext.x0212_euc)
    same("JIS X 0212 text: kotran -c -ej writes ESC $ ( D and ESC $ B", x_jis, euc_as_kotran_jis(x_euc))
    x_jis_b = normalize_jis(x_jis)
    same("JIS X 0212 text: iconv ISO-2022-JP-2 reads kotran's JIS as the UTF-8",
         iconv_bytes("ISO-2022-JP-2", "UTF-8", io_path(corpus, "x-jis", x_jis_b)), x_utf8)
    same("JIS X 0212 text: Python's iso2022_jp_2 reads kotran's JIS as the UTF-8 (but 2-23 as U+007E)",
         x_jis_b.decode("iso2022_jp_2").encode(), x_utf8.replace("\uff5e".encode(), b"~"))
    same("JIS X 0212 text: kotran -c -je gives back the EUC", run("-je", io_path(corpus, "x-jis-k", x_jis)), x_euc)
    x_sjis = b"".join(to_sjis(t) for t in tokens)
    same("JIS X 0212 text: kotran -c -es writes the IBM extension of a character, its JIS X 0208 code, or 〓",
         run("-es", ext.x0212_euc), x_sjis)
    n0212 = sum(1 for t in tokens if len(t) == 3)
    n_ibm = sum(1 for t in tokens if len(t) == 3 and char_of(t) in ibm)
    n_geta = sum(1 for t in tokens if len(t) == 3 and to_sjis(t) == b"\x81\xac")
    notes.append(
        f"extended text (checked, not timed): {len(sjis)} bytes of Shift-JIS with every code of NEC row 13, rows "
        f"89-92 and the IBM extensions; {len(x_euc)} bytes of EUC with {n0212} JIS X 0212 characters, "
        f"{n0212 - sum(1 for t in tokens if from_utf8(t) == t and len(t) == 3)} of them also in JIS X 0208; "
        f"to Shift-JIS {n_ibm} become IBM extensions and {n_geta} 〓")


def map_sjis_from_euc(data):
    """Shift-JIS of EUC text holding only JIS X 0208 codes and ASCII, by the code arithmetic."""
    return b"".join(t if len(t) == 1 else jis_to_sjis_bytes(t[0] & 0x7F, t[1] & 0x7F) for t in EUC_TOKEN.findall(data))


def iconv_has(tools, name):
    proc = subprocess.run([tools.iconv, "-f", name, "-t", "UTF-8"], input=b"", capture_output=True, env=ENV)
    return proc.returncode == 0


def compare_output(tool, conv, path, expected):
    """A tool's output file against the reference: "same", "missing", "differs (...)" or "n/a"."""
    key, src, dst, _ = conv
    if tool in ("iconv-2022jp", "floor"):
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
