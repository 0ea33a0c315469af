#!/usr/bin/env python3
"""Many small files: files per second of kotran against one process per file.

    python3 bench/small_files.py                                  build kotran, 10,000 files of ~4 KiB, 5 rounds
    python3 bench/small_files.py --kotran OLD --kotran NEW        compare two executables (ratios to the first)

The files are cut at line ends from the Shift-JIS corpus of bench/run.py (same
generator, same cache) and kept in the work directory. Every kotran given
converts all of them Shift-JIS -> UTF-8 in one process (outputs beside the
inputs, and -c to /dev/null); kotran, iconv, nkf and /bin/true are also run
once per file through xargs, on a sample of the files. Before any timing, each
kotran's outputs are checked byte for byte against iconv's.

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
from report import machine_info
from timing import load_average

SMALL_VERSION = 1  # of the way the files are cut; a change makes them again
FILES_DIR = "small-files"


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


def check_kotran(exe, d, names, batches, reference, err):
    """kotran -u and kotran -c -u over all files give iconv's UTF-8; returns a list of failures."""
    failures = []
    remove_outputs(d)
    r = run_batches([[exe, "-u"] + b for b in batches], os.devnull, err)
    if r.status != 0:
        failures.append(f"{exe} -u: exit {r.status}: {last_line(err)}")
    missing = [n for n in names if not (d / n).with_suffix(".utf8").exists()]
    if missing:
        failures.append(f"{exe} -u: {len(missing)} outputs missing (first {missing[0][:-4]}.utf8)")
    else:
        got = b"".join((d / n).with_suffix(".utf8").read_bytes() for n in names)
        if got != reference:
            failures.append(f"{exe} -u: the outputs, one after another, differ from iconv's at byte "
                            f"{first_difference(got, reference)}")
    remove_outputs(d)
    out = d.parent / "small-files-check.out"
    r = run_batches([[exe, "-c", "-u"] + b for b in batches], out, err)
    if r.status != 0:
        failures.append(f"{exe} -c -u: exit {r.status}: {last_line(err)}")
    got = out.read_bytes()
    out.unlink()
    if got != reference:
        failures.append(f"{exe} -c -u: differs from iconv at byte {first_difference(got, reference)}")
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
    print(f"CPU: {info['cpu_model']}, {info['cores']} cores ({info['usable_cores']} usable to this process); "
          f"Linux {info['kernel']}; Python {info['python']}")
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

    # Relative names keep the argument lists short; every path given to a process below is absolute.
    os.chdir(d)
    batches, arg_max = arg_batches([max(kotrans, key=len), "-c", "-u"], names)
    log("checking each kotran's outputs against iconv ...")
    failures = []
    for k in dict.fromkeys(kotrans):
        failures += check_kotran(k, d, names, batches, reference, err)
    if failures:
        print("\nkotran's output differs from the reference; no figures are reported:")
        for f in failures:
            print(f"  {f}")
        return 1

    # Each row: what is run, on how many files, and which row of the first kotran its ratio is to.
    # kotran's output goes to /dev/null or (-u) beside the inputs; standard error always to a file.
    n_all, n_one = len(names), len(sample)
    one = "one process" if len(batches) == 1 else f"{len(batches)} processes"
    per_file = lambda *cmd: [[xargs, "-0", "-n", "1", "-a", str(sample_list), "--"] + list(cmd)]
    rows = []
    for j, (lab, k) in enumerate(zip(labels, kotrans)):
        rows += [
            {"tool": f"kotran {lab}", "mode": f"{one}, -u, files beside", "files": n_all, "base": 0,
             "argvs": [[k, "-u"] + b for b in batches]},
            {"tool": f"kotran {lab}", "mode": f"{one}, -c -u, null", "files": n_all, "base": 1,
             "argvs": [[k, "-c", "-u"] + b for b in batches]},
            {"tool": f"kotran {lab}", "mode": "per file, -c -u, null", "files": n_one, "base": 2,
             "argvs": per_file(k, "-c", "-u")},
        ]
    rows.append({"tool": "iconv", "mode": "per file, -f CP932 -t UTF-8, null", "files": n_one, "base": 2,
                 "argvs": per_file(iconv, "-f", "CP932", "-t", "UTF-8")})
    if nkf:
        rows.append({"tool": "nkf", "mode": "per file, -x -w, null", "files": n_one, "base": 2,
                     "argvs": per_file(nkf, "-x", "-w")})
    rows.append({"tool": "/bin/true", "mode": "per file (the floor)", "files": n_one, "base": 2,
                 "argvs": per_file(true)})

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
            remove_outputs(d)
            os.sync()  # no write-back of an earlier output during this run
            r = run_batches(row["argvs"], os.devnull, err)
            samples[i].append(r)
            if r.status != 0:
                errors.append(f"{row['tool']} {row['mode']}: exit {r.status}: {last_line(err)}")
        log(f"  round {rnd + 1}/{args.runs} done ({time.perf_counter() - t_timing:.0f} s)")
    remove_outputs(d)
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
    for row, res in zip(rows, results):
        base = results[row["base"]]  # the first kotran's rows come first
        res["ratio_to_first"] = (res["files_per_s"] / base["files_per_s"]
                                 if res["files_per_s"] and base["files_per_s"] else None)

    p = print
    para = lambda text: p(textwrap.fill(text, 100))
    p()
    para(f"{n_all} Shift-JIS files of {min(sizes)}-{max(sizes)} bytes (mean {statistics.mean(sizes):.0f}), cut at "
         "line ends from the corpus of bench/run.py, converted to UTF-8.")
    para(f"{one}: all {n_all} names on the command line{'' if len(batches) == 1 else ', split'} "
         f"(ARG_MAX {arg_max}); -u writes each output beside its input (outputs removed before each run, "
         "untimed), -c -u writes to /dev/null.")
    para(f"per file: xargs -0 -n 1 starts one process for each of the first {n_one} files"
         f"{' only, to stay within time' if n_one < n_all else ''}; output to /dev/null. /bin/true shows "
         "what starting the processes costs.")
    para(f"{args.runs} round{'s' if args.runs > 1 else ''}, the order of the rows rotating from round to round; "
         "files/s is the median over the rounds of the wall time, CPU files/s that of user+system time. "
         "Standard error goes to a file.")
    para("ratio: the row's files/s over the first kotran's in the same mode; iconv, nkf and /bin/true over "
         "the first kotran's per file.")
    p()
    w = max(len(r["tool"]) for r in results) + 2
    hdr = f"{'tool':<{w}}{'mode':<38}{'files':>6}{'files/s':>10}{'min-max':>18}{'CPU files/s':>13}{'ratio':>8}"
    p(hdr)
    p("-" * len(hdr))
    for res in results:
        fps = "FAILED" if res["files_per_s"] is None else f"{res['files_per_s']:.0f}"
        cps = "-" if res["cpu_files_per_s"] is None else f"{res['cpu_files_per_s']:.0f}"
        rng = f"{res['min_files_per_s']:.0f}-{res['max_files_per_s']:.0f}"
        rat = "-" if res["ratio_to_first"] is None else f"{res['ratio_to_first']:.3f}"
        p(f"{res['tool']:<{w}}{res['mode']:<38}{res['files']:>6}{fps:>10}{rng:>18}{cps:>13}{rat:>8}")
    p()
    for e in errors:
        p(f"note: a tool failed: {e}")
    cores = os.cpu_count() or 1
    p(f"Load average (1 min): {load_before} before, {load_after} after the timings, {cores} cores.")
    elapsed = time.perf_counter() - t0
    p(f"total time {elapsed:.0f} s")
    if args.json:
        doc = {"machine": info, "kotran": dict(zip(labels, kotrans)),
               "parameters": {"files": n_all, "file_bytes": size, "per_process_files": n_one, "runs": args.runs,
                              "processes_for_all_files": len(batches), "arg_max": arg_max, "workdir": str(work)},
               "file_sizes": {"min": min(sizes), "max": max(sizes), "mean": statistics.mean(sizes)},
               "load_average": {"before": load_before, "after": load_after},
               "rows": results, "errors": errors, "elapsed_s": elapsed}
        Path(args.json).write_text(json.dumps(doc, indent=1) + "\n")
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
