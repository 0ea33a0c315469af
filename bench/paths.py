#!/usr/bin/env python3
"""kotran's paths against each other, in one run: each conversion with KOTRAN_PATH forced to each path.

    python3 bench/paths.py                                   32 MiB corpus, 7 rounds, avx2,avx512bw,avx512vbmi2,sse2,words
    python3 bench/paths.py --paths avx2,avx512bw --ratios avx2/avx512bw --runs 9
    python3 bench/paths.py --paths avx512vbmi2 --windows build-windows/kotran.exe   beside kotran.exe under Wine

The corpus and its EUC, UTF-8 and JIS forms are those of bench/run.py (same
cache at the same size). Before timing, every path's output (-c) is compared
byte for byte with the byte loop's (KOTRAN_PATH=scalar) for every conversion;
if one differs, the run stops without figures. Each round runs every path once
per conversion, output to /dev/null, one right after the other and the order
rotating from round to round, so that the paths share whatever load the machine
has; a path's figure is its fastest round (the one least disturbed by other
work), and the ratios are of those.

With --windows, each path is also timed in the given kotran.exe under Wine
(a prefix of its own in the work folder, made before the timings), its output
checked as the others' are: Wine's cost beside the Linux binary, for
information only (Wine is not Windows).

Python 3 standard library only. See bench/README.md.
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path
from types import SimpleNamespace

import peers
from corpus import MIB, add_round_options, fmt_size, load_material, prepare_corpora
from peers import CODES, CONVERSIONS, build_kotran, first_difference, label, spawn
from report import machine_info, machine_line
from timing import load_average, pin_to_one_cpu

DEFAULT_PATHS = "avx2,avx512bw,avx512vbmi2,sse2,words"
DEFAULT_RATIOS = "avx2/avx512vbmi2,avx512bw/avx512vbmi2,sse2/words"
REFERENCE = "scalar"


def log(s):
    print(s, file=sys.stderr, flush=True)


class Column:
    """A column of the table: a program (its command's first words) on a path, in an environment."""

    def __init__(self, name, command, path, env):
        self.name, self.command, self.path = name, command, path
        self.env = dict(env, KOTRAN_PATH=path)


def output_of(column, opt, infile):
    """kotran -c opt infile in the column: (exit status, output bytes, standard error)."""
    proc = subprocess.run(column.command + ["-c", opt, str(infile)], env=column.env, stdin=subprocess.DEVNULL,
                          capture_output=True)
    return proc.returncode, proc.stdout, proc.stderr.decode(errors="replace").strip()


def timed(column, opt, infile, err):
    """One timed run of kotran -c opt infile in the column, output to /dev/null."""
    return spawn(column.command + ["-c", opt, str(infile)], os.devnull, err, env=column.env)


def main():
    ap = argparse.ArgumentParser(description="Time kotran's paths (KOTRAN_PATH) against each other in one run.")
    ap.add_argument("--kotran", help="the kotran executable (default: build one as run.py does)")
    ap.add_argument("--build-dir", default="/tmp/bench-build", help="where kotran is built (default /tmp/bench-build)")
    add_round_options(ap)
    ap.set_defaults(runs=7, size_mib=32)
    ap.add_argument("--paths", default=DEFAULT_PATHS, help=f"the paths timed, comma-separated (default {DEFAULT_PATHS})")
    ap.add_argument("--ratios", default=DEFAULT_RATIOS,
                    help=f"the ratios printed, A/B: A's speed over B's (default {DEFAULT_RATIOS})")
    ap.add_argument("--windows", metavar="EXE",
                    help="also time each path in this kotran.exe under Wine (default ratios: PATH.exe/PATH)")
    ap.add_argument("--json", help="also write the results to this JSON file")
    args = ap.parse_args()
    if args.runs < 1 or args.size_mib <= 0:
        ap.error("sizes and runs must be positive")
    paths = [p.strip() for p in args.paths.split(",") if p.strip()]
    if not paths or len(set(paths)) != len(paths):
        ap.error("--paths: a comma-separated list of distinct paths")
    names = paths + ([f"{p}.exe" for p in paths] if args.windows else [])
    if args.windows and args.ratios == DEFAULT_RATIOS:
        args.ratios = ",".join(f"{p}.exe/{p}" for p in paths)
    ratios = []
    for r in (r.strip() for r in args.ratios.split(",") if r.strip()):
        a, _, b = r.partition("/")
        if a not in names or b not in names:
            ap.error(f"--ratios {r}: both must be among the paths timed ({', '.join(names)})")
        ratios.append((a, b))

    t0 = time.perf_counter()
    info = machine_info()
    print(machine_line(info))
    kotran = build_kotran(SimpleNamespace(kotran=args.kotran, build_dir=args.build_dir), log)
    sha = hashlib.sha256(Path(kotran).read_bytes()).hexdigest()[:12]
    print(f"kotran: {kotran}, sha256 {sha}")
    columns = [Column(p, [kotran], p, peers.ENV) for p in paths]
    if args.windows:
        wine = shutil.which("wine")
        if not wine:
            sys.exit("--windows: wine not found (tools/setup.sh windows)")
        exe = str(Path(args.windows).resolve())
        sha = hashlib.sha256(Path(exe).read_bytes()).hexdigest()[:12]
        print(f"kotran.exe: {exe} under {subprocess.run([wine, '--version'], capture_output=True, text=True).stdout.strip()}"
              f", sha256 {sha}")
        wine_env = dict(peers.ENV, WINEPREFIX=str(Path(args.workdir).resolve() / "wine"), WINEDEBUG="-all")
        columns += [Column(f"{p}.exe", [wine, exe], p, wine_env) for p in paths]
    iconv = shutil.which("iconv")
    if not iconv:
        sys.exit("iconv not found: it makes the EUC and UTF-8 forms of the corpus")
    try:
        corpus, _ = prepare_corpora(SimpleNamespace(workdir=args.workdir, size_mib=args.size_mib, rss_sizes=[]),
                                    SimpleNamespace(iconv=iconv, kotran=kotran), load_material(), log)
    except RuntimeError as e:
        sys.exit(f"could not prepare the corpus: {e}")
    sizes = {code: corpus.path[code].stat().st_size for code in CODES}
    print(f"corpus: {fmt_size(corpus.size)} Shift-JIS (as EUC {fmt_size(sizes['euc'])}, "
          f"JIS {fmt_size(sizes['jis'])}, UTF-8 {fmt_size(sizes['utf8'])})")
    sys.stdout.flush()

    # A path this processor lacks is refused by kotran (status 2): say so and stop, rather than time another.
    # (Under Wine, the first run also makes the prefix.)
    probe = corpus.path["sjis"]
    for column in columns:
        status, _, msg = output_of(column, "-e", probe)
        if status != 0:
            sys.exit(f"{column.name}: kotran exits {status}: {msg}")

    log(f"checking every path's output against the byte loop's ({REFERENCE}) ...")
    failures = []
    for key, src, dst, opt in CONVERSIONS:
        status, reference, msg = output_of(Column(REFERENCE, [kotran], REFERENCE, peers.ENV), opt, corpus.path[src])
        if status != 0:
            failures.append(f"{REFERENCE} -c {opt}: exit {status}: {msg}")
            continue
        for column in columns:
            status, out, msg = output_of(column, opt, corpus.path[src])
            what = f"{column.name} -c {opt} ({CODES[src]}->{CODES[dst]})"
            if status != 0:
                failures.append(f"{what}: exit {status}: {msg}")
            elif out != reference:
                at = first_difference(reference, out)
                failures.append(f"{what}: differs from {REFERENCE} at byte {at} "
                                f"({REFERENCE} {reference[max(0, at - 8):at + 8].hex(' ')} / "
                                f"{column.name} {out[max(0, at - 8):at + 8].hex(' ')})")
        log(f"  {'FAIL' if failures else 'same'}  {label((key, src, dst, opt))}")
    if failures:
        print("\nthe paths' outputs differ from the byte loop's; no figures are reported:")
        for f in failures:
            print(f"  {f}")
        return 1

    err = Path(args.workdir) / "paths-stderr.txt"
    samples = {}  # (key, column name) -> [Run]
    errors = []
    pinned = pin_to_one_cpu(args.cpu, kotran, corpus.path["sjis"], log)
    if pinned:
        print(f"note: {pinned}")
    load_before = load_average()
    log(f"timing: {len(CONVERSIONS)} conversions x {len(columns)} paths x {args.runs} rounds ...")
    t_timing = time.perf_counter()
    for rnd in range(args.runs):
        for ci, (key, src, dst, opt) in enumerate(CONVERSIONS):
            shift = (rnd + ci) % len(columns)
            for column in columns[shift:] + columns[:shift]:
                r = timed(column, opt, corpus.path[src], err)
                samples.setdefault((key, column.name), []).append(r)
                if r.status != 0:
                    msg = err.read_text(errors="replace").strip().splitlines()
                    errors.append(f"{column.name} -c {opt}: exit {r.status}: {msg[-1] if msg else ''}")
        log(f"  round {rnd + 1}/{args.runs} done ({time.perf_counter() - t_timing:.0f} s)")
    load_after = load_average()
    if errors:
        print("\nkotran failed during the timings; no figures are reported:")
        for e in errors:
            print(f"  {e}")
        return 1

    rows = []
    for conv in CONVERSIONS:
        key, src, dst, opt = conv
        mib = sizes[src] / MIB
        best = {path: min(r.wall for r in samples[(key, path)]) for path in names}
        best_cpu = {path: min(r.user + r.sys for r in samples[(key, path)]) for path in names}
        rows.append({
            "conversion": label(conv), "option": opt, "input_bytes": sizes[src],
            "mib_per_s": {path: mib / best[path] for path in names},
            "wall_s": {path: [round(r.wall, 5) for r in samples[(key, path)]] for path in names},
            "cpu_s": {path: [round(r.user + r.sys, 5) for r in samples[(key, path)]] for path in names},
            "ratios": {f"{a}/{b}": best[b] / best[a] for a, b in ratios},
            "ratios_cpu": {f"{a}/{b}": best_cpu[b] / best_cpu[a] if best_cpu[a] > 0 else None for a, b in ratios},
        })

    p = print
    p()
    p(f"{args.runs} round{'s' if args.runs > 1 else ''}; each runs every path once per conversion, one after the other, "
      "the order rotating.")
    p("Output to /dev/null (-c). MiB/s: input bytes over the fastest round's wall time of the whole process.")
    p("A/B: A's speed over B's from those (above 1: A is faster); CPU: the same from the fastest user+system time.")
    p()
    # Each column as wide as its heading, and a space more.
    widths = [max(10, len(path) + 1) for path in names]
    ratio_widths = [max(16, len(f"{a}/{b}") + 1) for a, b in ratios]
    hdr = f"{'conversion':<17}{'option':<8}" + "".join(f"{path:>{w}}" for path, w in zip(names, widths)) + "".join(
        f"{f'{a}/{b}':>{w}}{'CPU':>7}" for (a, b), w in zip(ratios, ratio_widths))
    p(hdr)
    p("-" * len(hdr))
    for row in rows:
        line = f"{row['conversion']:<17}{row['option']:<8}" + "".join(
            f"{row['mib_per_s'][path]:>{w}.1f}" for path, w in zip(names, widths))
        for (a, b), w in zip(ratios, ratio_widths):
            cpu = row["ratios_cpu"][f"{a}/{b}"]
            line += f"{row['ratios'][f'{a}/{b}']:>{w}.3f}{'-' if cpu is None else f'{cpu:.3f}':>7}"
        p(line)
    p()
    cores = os.cpu_count() or 1
    p(f"Load average (1 min): {load_before} before, {load_after} after the timings, {cores} cores.")
    elapsed = time.perf_counter() - t0
    p(f"total time {elapsed:.0f} s")
    if args.json:
        doc = {"machine": info, "kotran": kotran, "windows": args.windows, "paths": names,
               "parameters": {"size_mib": args.size_mib, "runs": args.runs, "workdir": args.workdir},
               "load_average": {"before": load_before, "after": load_after}, "rows": rows, "elapsed_s": elapsed}
        Path(args.json).write_text(json.dumps(doc, indent=1) + "\n")
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
