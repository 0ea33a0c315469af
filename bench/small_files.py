#!/usr/bin/env python3
"""Many small files: files per second of kotran against one process per file.

    python3 bench/small_files.py                                  build kotran, 10,000 files of ~4 KiB, 5 rounds
    python3 bench/small_files.py --workdir /dev/shm/kotran-bench  the same on a tmpfs, away from a noisy disk
    python3 bench/small_files.py --kotran OLD --kotran NEW        compare two executables (ratios to the first)

The files are cut at line ends from the Shift-JIS corpus of bench/run.py (same
generator, same cache) and kept in the work directory. Every kotran given
converts all of them Shift-JIS -> UTF-8 in one process, in six ways: outputs
beside the inputs, -c to /dev/null, --out-dir=DIR (DIR made afresh for each
run), --in-place (on a fresh copy of the files for each run, the copy not
timed), --jobs=2 with outputs beside, and -r --out-dir=DIR given the fresh
copy's folder (the walk of the tree timed too); kotran, iconv, nkf and /bin/true are
also run once per file through xargs, on a sample of the files. Before any
timing, each kotran's outputs in every way are checked byte for byte against
iconv's, and the folders for files left or missing.

The ratios that say what the ways cost against each other (--out-dir,
--in-place, --jobs=2 and -r --out-dir over outputs beside; one process over iconv and nkf
run per file) and the project's goals for them are printed under the table.

Python 3 standard library only. See bench/README.md.
"""

import argparse
import hashlib
import json
import os
import shutil
import statistics
import sys
import textwrap
import time
from pathlib import Path
from types import SimpleNamespace

from corpus import DEFAULT_SIZE_MIB, MIB, cut_at_line, ensure_base_corpus, load_material, write_atomic
from peers import ENV, Run, build_kotran, first_difference, first_line, git_head, iconv_file, spawn
from report import machine_info, machine_line
from timing import load_average

SMALL_VERSION = 1  # of the way the files are cut; a change makes them again
FILES_DIR = "small-files"
OUT_DIR = "small-files-out"  # --out-dir
IN_PLACE_DIR = "small-files-in-place"  # the copy converted --in-place

# The ratios printed under the table: (in words, this kotran's row, the row it is over:
# ("self", key) another row of the same kotran, ("peer", key) a peer's per-file row).
RATIOS = [
    ("--out-dir=DIR / beside", "out-dir", ("self", "beside")),
    ("--in-place / beside", "in-place", ("self", "beside")),
    ("--jobs=2 / beside", "jobs2", ("self", "beside")),
    ("-r --out-dir=DIR / beside", "tree-out-dir", ("self", "beside")),
    ("one process, beside / iconv per file", "beside", ("peer", "iconv")),
    ("one process, beside / nkf per file", "beside", ("peer", "nkf")),
    ("one process, -c -u / iconv per file", "null", ("peer", "iconv")),
    ("one process, -c -u / nkf per file", "null", ("peer", "nkf")),
]
# The project's goals: (row, the least ratio of its files/s to the same kotran's beside row, in words).
GOALS = [
    ("jobs2", 1.7, "--jobs=2 at least 1.7x one process with outputs beside"),
    ("out-dir", 0.9, "--out-dir=DIR within 10% of outputs beside"),
    ("in-place", 0.9, "--in-place within 10% of outputs beside"),
]


def log(s):
    print(s, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# The files
# ---------------------------------------------------------------------------


def prepare_files(work, count, size, material):
    """count files of at most size bytes cut at line ends from the corpus; cached. Returns (dir, names)."""
    base_dir, corpus_key = ensure_base_corpus(work, int(DEFAULT_SIZE_MIB * MIB), material, log)
    d = work / FILES_DIR
    names = [f"f{i:05d}.txt" for i in range(count)]
    key = {"version": SMALL_VERSION, "corpus": corpus_key, "files": count, "file_bytes": size}
    meta = d / "files.json"
    try:
        if json.loads(meta.read_text()) == key and all((d / n).exists() for n in names):
            return d, names
    except (OSError, ValueError):
        pass
    log(f"cutting {count} files of about {size} bytes from the corpus into {d} ...")
    if d.exists():
        shutil.rmtree(d)
    d.mkdir()
    data = (base_dir / "corpus.sjis").read_bytes()
    pos = 0
    for name in names:
        piece = cut_at_line(data[pos:pos + size + 1], size)
        if not piece or pos + len(piece) > len(data):
            shutil.rmtree(d)
            sys.exit(f"the {DEFAULT_SIZE_MIB} MiB corpus holds fewer than {count} files of {size} bytes")
        (d / name).write_bytes(piece)
        pos += len(piece)
    # all the files one after another: what kotran -c writes for them, and the reference's input
    write_atomic(d / "all.sjis", data[:pos])
    meta.write_text(json.dumps(key, indent=1))
    return d, names


def arg_batches(fixed, names):
    """Split names into as few argument lists as execve takes after the fixed words and the environment."""
    arg_max = os.sysconf("SC_ARG_MAX")
    env = sum(len(k) + len(v) + 2 + 8 for k, v in ENV.items()) + 8
    budget = arg_max - env - sum(len(w) + 1 + 8 for w in fixed) - 8 - 4096  # 4 KiB to spare
    batches, cur, used = [], [], 0
    for n in names:
        cost = len(n) + 1 + 8  # the string, its NUL, its pointer
        if cur and used + cost > budget:
            batches.append(cur)
            cur, used = [], 0
        cur.append(n)
        used += cost
    if cur:
        batches.append(cur)
    return batches, arg_max


def write_list(path, names):
    path.write_bytes(b"".join(n.encode() + b"\0" for n in names))


def remove_outputs(d, suffix=".utf8"):
    for p in d.iterdir():
        if p.name.endswith(suffix) or p.name.startswith(".kotran-"):
            p.unlink()


def fresh_copy(src, dst, names):
    """dst made anew holding a copy of each of names in src (for --in-place)."""
    if dst.exists():
        shutil.rmtree(dst)
    dst.mkdir()
    for n in names:
        shutil.copyfile(src / n, dst / n)


def tree(d):
    """Every path under d (files and folders), relative to it; empty when d is missing."""
    return {str(p.relative_to(d)) for p in d.rglob("*")} if d.exists() else set()


def filesystem_of(path):
    """The type and mount point of the file system holding path, from /proc/self/mounts."""
    real, best = os.path.realpath(path), ("?", "")
    try:
        for line in Path("/proc/self/mounts").read_text().splitlines():
            fields = line.split()
            if len(fields) < 3:
                continue
            point = fields[1].replace("\\040", " ")
            inside = real == point or real.startswith(point.rstrip("/") + "/")
            if inside and len(point) >= len(best[1]):
                best = (fields[2], point)
    except OSError:
        pass
    return best


# ---------------------------------------------------------------------------
# The ways of converting all files in one process
# ---------------------------------------------------------------------------


class Mode:
    """One way of running kotran over all files: its option words, the folder it
    runs in (the file names given are relative to it), and where the output of
    a file lands (None: standard output)."""

    def __init__(self, key, label, words, cwd, output, copy=False, tree=None):
        self.key, self.label, self.words, self.cwd, self.output = key, label, words, cwd, output
        # copy: runs on a fresh copy of the files; tree: the one folder named (with -r) instead of the files
        self.copy, self.tree = copy, tree

    def argvs(self, exe, batches):
        if self.tree is not None:
            return [[exe] + self.words + [self.tree]]
        return [[exe] + self.words + b for b in batches]


class Place:
    """The folders of the files, of --out-dir and of the copy for --in-place."""

    def __init__(self, work, d, names):
        self.d, self.names = d, names
        self.out_dir = work / OUT_DIR
        self.copy_dir = work / IN_PLACE_DIR

    def modes(self):
        d, out, cp = self.d, self.out_dir, self.copy_dir
        beside = lambda n: d / (n[:-4] + ".utf8")
        return [
            Mode("beside", "-u, files beside", ["-u"], d, beside),
            Mode("null", "-c -u, null", ["-c", "-u"], d, None),
            Mode("out-dir", "-u --out-dir=DIR (fresh)", ["-u", f"--out-dir={out}"], d,
                 lambda n: out / (n[:-4] + ".utf8")),
            Mode("in-place", "-u --in-place (fresh copy)", ["-u", "--in-place"], cp, lambda n: cp / n, copy=True),
            Mode("tree-out-dir", "-u -r --out-dir=DIR over the copy's folder", ["-u", "-r", f"--out-dir={out}"],
                 cp.parent, lambda n: out / cp.name / (n[:-4] + ".utf8"), copy=True, tree=cp.name),
            Mode("jobs2", "-u --jobs=2, files beside", ["-u", "--jobs=2"], d, beside),
        ]

    def reset(self, copy=False):
        """Before a run, untimed: no outputs beside the files, no DIR; with copy, a fresh copy of the files."""
        remove_outputs(self.d)
        if self.out_dir.exists():
            shutil.rmtree(self.out_dir)
        if copy:
            fresh_copy(self.d, self.copy_dir, self.names)

    def clean(self):
        self.reset()
        if self.copy_dir.exists():
            shutil.rmtree(self.copy_dir)


# ---------------------------------------------------------------------------
# Checks
# ---------------------------------------------------------------------------


def run_batches(argvs, stdout, err):
    """Run the argument lists one after another; one Run summing wall and CPU, the worst status."""
    wall = user = sys_ = 0.0
    status = 0
    for argv in argvs:
        r = spawn(argv, stdout, err)
        wall += r.wall
        user += r.user
        sys_ += r.sys
        status = status or r.status
    return Run(wall, status, 0, user, sys_)


def check_kotran(exe, place, batches, reference, err):
    """Every way of converting all files gives iconv's UTF-8, and leaves exactly its outputs; returns the failures."""
    failures = []
    names, d = place.names, place.d
    for mode in place.modes():
        what = f"{exe} {' '.join(mode.words)}"
        place.reset(copy=mode.copy)
        before = {"files": tree(d), "DIR": tree(place.out_dir), "copy": tree(place.copy_dir)}
        out = d.parent / "small-files-check.out"
        os.chdir(mode.cwd)
        r = run_batches(mode.argvs(exe, batches), out if mode.output is None else os.devnull, err)
        os.chdir(d)
        if r.status != 0:
            failures.append(f"{what}: exit {r.status}: {last_line(err)}")
        if mode.output is None:
            got = out.read_bytes()
        else:
            missing = [n for n in names if not mode.output(n).exists()]
            if missing:
                failures.append(f"{what}: {len(missing)} outputs missing (first {mode.output(missing[0])})")
                got = None
            else:
                got = b"".join(mode.output(n).read_bytes() for n in names)
        if out.exists():
            out.unlink()
        if got is not None and got != reference:
            failures.append(f"{what}: the outputs, one after another, differ from iconv's at byte "
                            f"{first_difference(got, reference)}")
        # what each folder gained or lost: only the outputs, where they belong
        for folder, path in (("files", d), ("DIR", place.out_dir), ("copy", place.copy_dir)):
            after = tree(path)
            want = set(before[folder])
            if mode.output is not None:  # --in-place's outputs take their inputs' names
                want |= {str(mode.output(n).relative_to(path)) for n in names if mode.output(n).is_relative_to(path)}
                if mode.tree is not None and folder == "DIR":  # -r makes the tree's folder under DIR
                    want.add(mode.tree)
            extra, gone = sorted(after - want), sorted(want - after)
            if extra or gone:
                failures.append(f"{what}: in the {folder} folder {len(extra)} unexpected entries "
                                f"{extra[:3]} and {len(gone)} missing {gone[:3]}")
    place.clean()
    return failures


def last_line(path):
    lines = Path(path).read_text(errors="replace").strip().splitlines()
    return lines[-1] if lines else ""


# ---------------------------------------------------------------------------
# Timing
# ---------------------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser(description="Files per second converting many small Shift-JIS files to UTF-8.")
    ap.add_argument("--kotran", action="append", metavar="PATH",
                    help="time this executable (repeatable; ratios are to the first); default: build kotran")
    ap.add_argument("--files", type=int, default=10000, help="number of files (default 10000)")
    ap.add_argument("--file-kib", type=float, default=4, help="file size in KiB, cut at a line end (default 4)")
    ap.add_argument("--per-process-files", type=int, default=1000,
                    help="the first this many files are run one process each (default 1000)")
    ap.add_argument("--runs", type=int, default=5, help="rounds (default 5)")
    ap.add_argument("--build-dir", default="/tmp/bench-build", help="where to build kotran (default /tmp/bench-build)")
    ap.add_argument("--workdir", default="/tmp/kotran-bench",
                    help="corpus cache (shared with run.py) and the files (default /tmp/kotran-bench)")
    ap.add_argument("--json", help="also write the results to this JSON file")
    args = ap.parse_args()
    if args.files < 1 or args.runs < 1 or args.file_kib <= 0 or args.per_process_files < 1:
        ap.error("counts and sizes must be positive")
    args.per_process_files = min(args.per_process_files, args.files)
    # the timings run in the files' folder: make the paths given absolute first
    args.workdir = os.path.abspath(args.workdir)
    if args.json:
        args.json = os.path.abspath(args.json)

    t0 = time.perf_counter()
    info = machine_info()
    print(machine_line(info))
    if args.kotran:
        kotrans = [build_kotran(SimpleNamespace(kotran=k, build_dir=None), log) for k in args.kotran]
        given = args.kotran
    else:
        kotrans = [build_kotran(SimpleNamespace(kotran=None, build_dir=args.build_dir), log)]
        given = [f"{kotrans[0]} (source {git_head()})"]
    labels = []
    for k in args.kotran or kotrans:
        n = sum(1 for x in labels if x == k or x.startswith(k + " ("))
        labels.append(k if n == 0 else f"{k} ({n + 1})")
    iconv, nkf, xargs = shutil.which("iconv"), shutil.which("nkf"), shutil.which("xargs")
    true = shutil.which("true") or "/bin/true"
    if not iconv or not xargs:
        sys.exit("iconv and xargs are needed")
    for lab, k, g in zip(labels, kotrans, given):
        sha = hashlib.sha256(Path(k).read_bytes()).hexdigest()[:12]
        print(f"kotran {lab}: {g}, sha256 {sha}")
    print(f"iconv: {first_line([iconv, '--version'])}")
    print(f"nkf: {first_line([nkf, '--version'])}" if nkf else "nkf: not installed, left out")
    sys.stdout.flush()

    work = Path(args.workdir)
    size = int(args.file_kib * 1024)
    d, names = prepare_files(work, args.files, size, load_material())
    sizes = [(d / n).stat().st_size for n in names]
    sample = names[:args.per_process_files]
    full_list, sample_list = work / "small-files.list", work / "small-files-sample.list"
    write_list(full_list, names)
    write_list(sample_list, sample)
    err = work / "small-files.stderr"
    reference_path = d / "all.utf8"
    if not reference_path.exists():
        iconv_file(SimpleNamespace(iconv=iconv), d / "all.sjis", reference_path, "CP932", "UTF-8")
    reference = reference_path.read_bytes()

    # Relative names keep the argument lists short; every other path given to a process is absolute.
    place = Place(work, d, names)
    place.clean()  # what an interrupted run may have left
    os.chdir(d)
    longest = max((m.words for m in place.modes()), key=lambda w: sum(len(x) + 1 for x in w))
    batches, arg_max = arg_batches([max(kotrans, key=len)] + longest, names)
    log("checking each kotran's outputs in every way against iconv ...")
    failures = []
    for k in dict.fromkeys(kotrans):
        failures += check_kotran(k, place, batches, reference, err)
    if failures:
        print("\nkotran's output differs from the reference; no figures are reported:")
        for f in failures:
            print(f"  {f}")
        return 1

    # Each row: what is run, in which folder, on how many files; key names the row of the first kotran
    # that its ratio is to. Standard error always goes to a file.
    n_all, n_one = len(names), len(sample)
    one = "one process" if len(batches) == 1 else f"{len(batches)} processes"
    per_file = lambda *cmd: [[xargs, "-0", "-n", "1", "-a", str(sample_list), "--"] + list(cmd)]
    rows = []
    for j, (lab, k) in enumerate(zip(labels, kotrans)):
        for m in place.modes():
            rows.append({"tool": f"kotran {lab}", "kotran": j, "key": m.key, "mode": f"{one}, {m.label}",
                         "files": n_all, "cwd": m.cwd, "copy": m.copy, "argvs": m.argvs(k, batches)})
        rows.append({"tool": f"kotran {lab}", "kotran": j, "key": "per file", "mode": "per file, -c -u, null",
                     "files": n_one, "cwd": d, "argvs": per_file(k, "-c", "-u")})
    rows.append({"tool": "iconv", "kotran": None, "key": "iconv", "mode": "per file, -f CP932 -t UTF-8, null",
                 "files": n_one, "cwd": d, "argvs": per_file(iconv, "-f", "CP932", "-t", "UTF-8")})
    if nkf:
        rows.append({"tool": "nkf", "kotran": None, "key": "nkf", "mode": "per file, -x -w, null",
                     "files": n_one, "cwd": d, "argvs": per_file(nkf, "-x", "-w")})
    rows.append({"tool": "/bin/true", "kotran": None, "key": "true", "mode": "per file (the floor)",
                 "files": n_one, "cwd": d, "argvs": per_file(true)})

    load_before = load_average()
    log(f"timing: {len(rows)} rows x {args.runs} rounds ({n_all} files in one process, {n_one} one process each) ...")
    samples = {i: [] for i in range(len(rows))}
    errors = []
    t_timing = time.perf_counter()
    for rnd in range(args.runs):
        order = list(range(len(rows)))
        shift = rnd % len(order)
        for i in order[shift:] + order[:shift]:
            row = rows[i]
            place.reset(copy=row.get("copy", False))
            os.sync()  # no write-back of an earlier output, or of the copy, during this run
            os.chdir(row["cwd"])
            r = run_batches(row["argvs"], os.devnull, err)
            os.chdir(d)
            samples[i].append(r)
            if r.status != 0:
                errors.append(f"{row['tool']} {row['mode']}: exit {r.status}: {last_line(err)}")
        log(f"  round {rnd + 1}/{args.runs} done ({time.perf_counter() - t_timing:.0f} s)")
    place.clean()
    load_after = load_average()
    if any(e.startswith("kotran") for e in errors):
        print("\nkotran failed during the timings; no figures are reported:")
        for e in errors:
            print(f"  {e}")
        return 1

    results = []
    for i, row in enumerate(rows):
        runs, n = samples[i], row["files"]
        ok = all(r.status == 0 for r in runs)
        wall = statistics.median(r.wall for r in runs)
        cpu = statistics.median(r.user + r.sys for r in runs)
        results.append({"tool": row["tool"], "mode": row["mode"], "files": n, "ok": ok,
                        "command": " ".join(row["argvs"][0][:8]) + (" ..." if len(row["argvs"][0]) > 8 else ""),
                        "wall_s": [round(r.wall, 5) for r in runs], "cpu_s": [round(r.user + r.sys, 5) for r in runs],
                        "files_per_s": n / wall if ok else None, "cpu_files_per_s": n / cpu if ok and cpu > 0 else None,
                        "min_files_per_s": n / max(r.wall for r in runs), "max_files_per_s": n / min(r.wall for r in runs)})

    def row_of(j, key):
        return next((i for i, row in enumerate(rows) if row["kotran"] == j and row["key"] == key), None)

    for row, res in zip(rows, results):
        base = results[row_of(0, row["key"] if row["kotran"] is not None else "per file")]
        res["ratio_to_first"] = (res["files_per_s"] / base["files_per_s"]
                                 if res["files_per_s"] and base["files_per_s"] else None)

    def ratio(i, b):
        """Row i's files/s over row b's: of the medians (wall, CPU) and of each round's two runs."""
        ri, rb = results[i], results[b]
        if not (ri["files_per_s"] and rb["files_per_s"]):
            return None
        per_round = [(rows[i]["files"] / x.wall) / (rows[b]["files"] / y.wall) for x, y in zip(samples[i], samples[b])]
        cpu = (ri["cpu_files_per_s"] / rb["cpu_files_per_s"]
               if ri["cpu_files_per_s"] and rb["cpu_files_per_s"] else None)
        return {"wall": ri["files_per_s"] / rb["files_per_s"], "cpu": cpu,
                "rounds": [round(x, 4) for x in per_round]}

    # The ratios between the ways, each kotran's own rows against each other (and against the peers).
    ratio_lines = []  # (kotran label, what, numerator key, denominator (kotran index or None, key))
    for j, lab in enumerate(labels):
        for name, key, base in RATIOS:
            if base[0] == "peer" and row_of(None, base[1]) is None:
                continue
            i, b = row_of(j, key), row_of(j if base[0] == "self" else None, base[1])
            ratio_lines.append({"kotran": lab, "ratio": name, "value": ratio(i, b)})
    # How many cores --jobs=2 kept busy: near 1 in a round, the second core did not work for it then.
    busy = []
    for j, lab in enumerate(labels):
        cores_busy = lambda i: [(r.user + r.sys) / r.wall for r in samples[i]]
        rounds = cores_busy(row_of(j, "jobs2"))
        busy.append({"kotran": lab, "median": statistics.median(rounds), "rounds": [round(x, 3) for x in rounds],
                     "one": statistics.median(cores_busy(row_of(j, "beside")))})
    goals = []
    usable = info["usable_cores"] or 1
    for j, lab in enumerate(labels):
        for key, least, text in GOALS:
            r = ratio(row_of(j, key), row_of(j, "beside"))
            if key == "jobs2" and usable < 2:
                verdict = f"not judged: {usable} usable core"
            else:
                verdict = None if r is None else ("met" if r["wall"] >= least else "MISSED")
            goals.append({"kotran": lab, "goal": text, "at_least": least, "value": r, "verdict": verdict or "FAILED"})

    p = print
    para = lambda text: p(textwrap.fill(text, 100))
    p()
    para(f"{n_all} Shift-JIS files of {min(sizes)}-{max(sizes)} bytes (mean {statistics.mean(sizes):.0f}), cut at "
         "line ends from the corpus of bench/run.py, converted to UTF-8.")
    para(f"{one}: all {n_all} names on the command line{'' if len(batches) == 1 else ', split'} "
         f"(ARG_MAX {arg_max}), run in the files' folder. -u writes each output beside its input; -c -u writes "
         f"to /dev/null; --out-dir=DIR writes under {place.out_dir}, removed before each run; --in-place "
         f"replaces the files of {place.copy_dir}, a fresh copy made before each run; --jobs=2 writes beside; -r --out-dir=DIR is given "
         f"that copy's folder alone and writes under DIR/{place.copy_dir.name}. "
         "Outputs are removed, copies made and the file systems synced before each run, untimed.")
    para(f"per file: xargs -0 -n 1 starts one process for each of the first {n_one} files"
         f"{' only, to stay within time' if n_one < n_all else ''}; output to /dev/null. /bin/true shows "
         "what starting the processes costs.")
    para(f"{args.runs} round{'s' if args.runs > 1 else ''}, the order of the rows rotating from round to round; "
         "files/s is the median over the rounds of the wall time, CPU files/s that of user+system time "
         "(a process's children included). Standard error goes to a file.")
    para("ratio: the row's files/s over the first kotran's in the same mode; iconv, nkf and /bin/true over "
         "the first kotran's per file.")
    p()
    w = max(len(r["tool"]) for r in results) + 2
    wm = max(len(r["mode"]) for r in results) + 2
    hdr = f"{'tool':<{w}}{'mode':<{wm}}{'files':>6}{'files/s':>10}{'min-max':>18}{'CPU files/s':>13}{'ratio':>8}"
    p(hdr)
    p("-" * len(hdr))
    for res in results:
        fps = "FAILED" if res["files_per_s"] is None else f"{res['files_per_s']:.0f}"
        cps = "-" if res["cpu_files_per_s"] is None else f"{res['cpu_files_per_s']:.0f}"
        rng = f"{res['min_files_per_s']:.0f}-{res['max_files_per_s']:.0f}"
        rat = "-" if res["ratio_to_first"] is None else f"{res['ratio_to_first']:.3f}"
        p(f"{res['tool']:<{w}}{res['mode']:<{wm}}{res['files']:>6}{fps:>10}{rng:>18}{cps:>13}{rat:>8}")

    def fmt(r):
        if r is None:
            return "-"
        cpu = "-" if r["cpu"] is None else f"{r['cpu']:.2f}x"
        return f"{r['wall']:.2f}x (CPU {cpu}; single rounds {min(r['rounds']):.2f}-{max(r['rounds']):.2f}x)"

    p()
    para("Ratios in this run: one row's files/s over another's, from the median wall times; in brackets the "
         "same from the median CPU times, and the lowest and highest ratio of the two runs of one round. "
         f"The peers run per file write to /dev/null, while kotran beside writes {n_all} files.")
    wr = max(len(x["ratio"]) for x in ratio_lines) + 2
    for lab in labels:
        if len(labels) > 1:
            p(f"kotran {lab}")
        for x in ratio_lines:
            if x["kotran"] == lab:
                p(f"  {x['ratio']:<{wr}}{fmt(x['value'])}")
    p()
    p("Goals (judged on the ratio of the median wall times)")
    for g in goals:
        who = f" (kotran {g['kotran']})" if len(labels) > 1 else ""
        p(f"  {'[' + g['verdict'] + ']':<10}{g['goal']}{who}: at least {g['at_least']:.2f}x, "
          f"measured {fmt(g['value'])}")
    for b in busy:
        who = f"kotran {b['kotran']} " if len(labels) > 1 else ""
        p(f"  {who}--jobs=2 kept {b['median']:.2f} cores busy (user+system over wall time, median; single rounds "
          f"{min(b['rounds']):.2f}-{max(b['rounds']):.2f}); one process with outputs beside {b['one']:.2f}")
    p()
    for e in errors:
        p(f"note: a tool failed: {e}")
    cores = os.cpu_count() or 1
    fs, mount = filesystem_of(work)
    p(f"Work directory: {work}, on {fs} (mounted at {mount}).")
    p(f"Load average (1 min): {load_before} before, {load_after} after the timings, {cores} cores.")
    elapsed = time.perf_counter() - t0
    p(f"total time {elapsed:.0f} s")
    if args.json:
        doc = {"machine": info, "kotran": dict(zip(labels, kotrans)),
               "parameters": {"files": n_all, "file_bytes": size, "per_process_files": n_one, "runs": args.runs,
                              "processes_for_all_files": len(batches), "arg_max": arg_max, "workdir": str(work)},
               "file_sizes": {"min": min(sizes), "max": max(sizes), "mean": statistics.mean(sizes)},
               "load_average": {"before": load_before, "after": load_after},
               "filesystem": {"type": fs, "mount_point": mount},
               "rows": results, "ratios": ratio_lines, "goals": goals, "jobs2_cores_busy": busy,
               "errors": errors, "elapsed_s": elapsed}
        Path(args.json).write_text(json.dumps(doc, indent=1) + "\n")
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
