#!/usr/bin/env python3
"""Two kotran executables timed against each other on the large corpus.

    python3 bench/compare.py OLD NEW              64 MiB corpus, 5 rounds, the eight conversions of run.py
    python3 bench/compare.py OLD NEW --runs 9

The corpus and its EUC, UTF-8 and JIS forms are those of bench/run.py (same
cache; the JIS form is written by OLD). Before timing, OLD's and NEW's
outputs (-c) are compared byte for byte for every conversion; if one differs,
the run stops without figures. Each round runs OLD and NEW once per conversion
and output mode, which of them goes first alternating; the table gives the
medians and NEW's throughput over OLD's.

Python 3 standard library only. See bench/README.md.
"""

import argparse
import hashlib
import json
import os
import shutil
import statistics
import sys
import time
from pathlib import Path
from types import SimpleNamespace

from corpus import MIB, add_round_options, fmt_size, load_material, prepare_corpora
from peers import (CODES, CONVERSIONS, KOTRAN_EXT, build_kotran, first_difference, inputs_in_folders, label,
                   run_to_bytes, spawn)
from report import machine_info, machine_line
from timing import load_average, pin_to_one_cpu

MODES = ("null", "file")


def log(s):
    print(s, file=sys.stderr, flush=True)


def geometric_mean(xs):
    return statistics.geometric_mean(xs) if xs else None


def main():
    ap = argparse.ArgumentParser(description="Time two kotran executables against each other (NEW over OLD).")
    ap.add_argument("old", metavar="OLD", help="the kotran executable to compare against")
    ap.add_argument("new", metavar="NEW", help="the kotran executable compared")
    add_round_options(ap)
    ap.add_argument("--json", help="also write the results to this JSON file")
    args = ap.parse_args()
    if args.runs < 1 or args.size_mib <= 0:
        ap.error("sizes and runs must be positive")

    t0 = time.perf_counter()
    info = machine_info()
    print(machine_line(info))
    exes = {}
    for name, path in (("OLD", args.old), ("NEW", args.new)):
        exes[name] = build_kotran(SimpleNamespace(kotran=path, build_dir=None), log)
        sha = hashlib.sha256(Path(exes[name]).read_bytes()).hexdigest()[:12]
        print(f"{name}: {exes[name]}, sha256 {sha}")
    iconv = shutil.which("iconv")
    if not iconv:
        sys.exit("iconv not found: it makes the EUC and UTF-8 forms of the corpus")

    try:
        corpus, _ = prepare_corpora(
            SimpleNamespace(workdir=args.workdir, size_mib=args.size_mib, rss_sizes=[]),
            SimpleNamespace(iconv=iconv, kotran=exes["OLD"]), load_material(), log)
    except RuntimeError as e:
        sys.exit(f"could not prepare the corpus: {e}")
    sizes = {code: corpus.path[code].stat().st_size for code in CODES}
    print(f"corpus: {fmt_size(corpus.size)} Shift-JIS (as EUC {fmt_size(sizes['euc'])}, "
          f"JIS {fmt_size(sizes['jis'])}, UTF-8 {fmt_size(sizes['utf8'])}; the JIS form written by OLD)")
    sys.stdout.flush()

    log("checking that OLD and NEW give the same output ...")
    digests = {}
    failures = []
    for key, src, dst, opt in CONVERSIONS:
        outs = [run_to_bytes([exes[n], "-c", opt, str(corpus.path[src])]) for n in ("OLD", "NEW")]
        what = f"kotran -c {opt} ({CODES[src]}->{CODES[dst]})"
        if outs[0] != outs[1]:
            at = first_difference(*outs)
            failures.append(f"{what}: differs at byte {at} (OLD {len(outs[0])} bytes, NEW {len(outs[1])}; "
                            f"OLD {outs[0][max(0, at - 8):at + 8].hex(' ')} / NEW {outs[1][max(0, at - 8):at + 8].hex(' ')})")
            log(f"  FAIL  {what}")
        else:
            log(f"  same  {what}")
        digests[key] = hashlib.sha256(outs[0]).hexdigest()
        del outs
    if failures:
        print("\nOLD and NEW give different output; no figures are reported:")
        for f in failures:
            print(f"  {f}")
        return 1

    # file mode: each input in a folder of its own as in.txt, so the output is in.<ext> beside it
    scratch = Path(args.workdir) / "compare-scratch"
    linked = inputs_in_folders(scratch, corpus)

    err = scratch / "stderr.txt"
    cases = [(conv, mode) for conv in CONVERSIONS for mode in MODES]
    samples = {}  # (key, mode, name) -> [Run]
    errors = []
    checked = set()
    pinned = pin_to_one_cpu(args.cpu, exes["OLD"], corpus.path["sjis"], log)
    if pinned:
        print(f"note: {pinned}")
    load_before = load_average()
    log(f"timing: {len(CONVERSIONS)} conversions x {len(MODES)} output modes x 2 executables x {args.runs} rounds ...")
    t_timing = time.perf_counter()
    for rnd in range(args.runs):
        for ci, (conv, mode) in enumerate(cases):
            key, src, dst, opt = conv
            order = ("OLD", "NEW") if (rnd + ci) % 2 == 0 else ("NEW", "OLD")
            for name in order:
                if mode == "null":
                    argv, result = [exes[name], "-c", opt, str(corpus.path[src])], None
                else:
                    argv = [exes[name], opt, str(linked[src])]
                    result = linked[src].with_suffix(KOTRAN_EXT[dst])
                    if result.exists():
                        result.unlink()
                os.sync()  # no write-back of an earlier output during this run
                r = spawn(argv, os.devnull, err)
                samples.setdefault((key, mode, name), []).append(r)
                if r.status != 0:
                    msg = err.read_text(errors="replace").strip().splitlines()
                    errors.append(f"{name} {' '.join(argv[1:2])} {mode}: exit {r.status}: {msg[-1] if msg else ''}")
                if result is not None:
                    if (key, name) not in checked:
                        checked.add((key, name))
                        if not result.exists():
                            errors.append(f"{name} {opt} file: no output file {result.name}")
                        elif hashlib.sha256(result.read_bytes()).hexdigest() != digests[key]:
                            errors.append(f"{name} {opt} file: its output file differs from its -c output")
                    if result.exists():
                        result.unlink()
        log(f"  round {rnd + 1}/{args.runs} done ({time.perf_counter() - t_timing:.0f} s)")
    load_after = load_average()
    shutil.rmtree(scratch)
    if errors:
        print("\nkotran failed or wrote a wrong output file during the timings; no figures are reported:")
        for e in errors:
            print(f"  {e}")
        return 1

    rows = []
    for conv, mode in cases:
        key, src, dst, opt = conv
        mib = sizes[src] / MIB
        old, new = samples[(key, mode, "OLD")], samples[(key, mode, "NEW")]
        med = lambda runs, f: statistics.median(f(r) for r in runs)
        wall_old, wall_new = med(old, lambda r: r.wall), med(new, lambda r: r.wall)
        cpu_old, cpu_new = med(old, lambda r: r.user + r.sys), med(new, lambda r: r.user + r.sys)
        per_round = [o.wall / n.wall for o, n in zip(old, new)]  # the two runs of one round
        rows.append({
            "conversion": label(conv), "option": opt, "mode": mode, "input_bytes": sizes[src],
            "old_wall_s": [round(r.wall, 5) for r in old], "new_wall_s": [round(r.wall, 5) for r in new],
            "old_cpu_s": [round(r.user + r.sys, 5) for r in old], "new_cpu_s": [round(r.user + r.sys, 5) for r in new],
            "old_mib_per_s": mib / wall_old, "new_mib_per_s": mib / wall_new,
            "new_over_old": wall_old / wall_new,
            "new_over_old_cpu": cpu_old / cpu_new if cpu_old > 0 and cpu_new > 0 else None,
            "new_over_old_per_round": [round(x, 4) for x in per_round],
        })

    p = print
    p()
    p(f"{args.runs} round{'s' if args.runs > 1 else ''}; each runs OLD and NEW once per conversion and output mode, which goes first alternating.")
    p("null: standard output to /dev/null (-c). file: the output file beside the input (removed before each run,")
    p("untimed). MiB/s: input bytes over the median wall time of the whole process.")
    p("NEW/OLD: NEW's throughput over OLD's from the medians (above 1: NEW is faster); CPU: the same from")
    p("user+system time; rounds: the lowest and highest NEW/OLD of the single rounds.")
    p()
    hdr = (f"{'conversion':<17}{'option':<8}{'output':<8}{'OLD MiB/s':>10}{'NEW MiB/s':>10}"
           f"{'NEW/OLD':>9}{'CPU':>8}{'rounds':>15}")
    p(hdr)
    p("-" * len(hdr))
    for row in rows:
        cpu = "-" if row["new_over_old_cpu"] is None else f"{row['new_over_old_cpu']:.3f}"
        pr = row["new_over_old_per_round"]
        p(f"{row['conversion']:<17}{row['option']:<8}{row['mode']:<8}{row['old_mib_per_s']:>10.1f}"
          f"{row['new_mib_per_s']:>10.1f}{row['new_over_old']:>9.3f}{cpu:>8}{f'{min(pr):.2f}-{max(pr):.2f}':>15}")
    gm = geometric_mean([r["new_over_old"] for r in rows])
    gm_cpu = geometric_mean([r["new_over_old_cpu"] for r in rows if r["new_over_old_cpu"]])
    p("-" * len(hdr))
    p(f"{'geometric mean':<33}{'':>20}{gm:>9.3f}{gm_cpu:>8.3f}")
    p()
    cores = os.cpu_count() or 1
    p(f"Load average (1 min): {load_before} before, {load_after} after the timings, {cores} cores.")
    elapsed = time.perf_counter() - t0
    p(f"total time {elapsed:.0f} s")
    if args.json:
        doc = {"machine": info, "old": exes["OLD"], "new": exes["NEW"],
               "parameters": {"size_mib": args.size_mib, "runs": args.runs, "workdir": args.workdir},
               "load_average": {"before": load_before, "after": load_after},
               "rows": rows, "geometric_mean": {"wall": gm, "cpu": gm_cpu}, "elapsed_s": elapsed}
        Path(args.json).write_text(json.dumps(doc, indent=1) + "\n")
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
