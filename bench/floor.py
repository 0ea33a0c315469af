#!/usr/bin/env python3
"""How near each conversion comes to the copy floor, and what it costs in instructions.

    python3 bench/floor.py                  64 MiB corpus, 5 rounds, the eight conversions of run.py
    python3 bench/floor.py --kotran PATH --runs 9 --no-callgrind

The copy floor of a conversion is bench/copy_floor.c: the same input read
through one buffer of kotran's input file block, and as many bytes as kotran
writes written as kotran writes them, reads and writes interleaved, with no
conversion between.
Each round runs kotran and the floor once per conversion and output mode,
which goes first alternating; the share is the floor's median wall time over
kotran's (100% would be a conversion that costs nothing beyond its I/O).

With valgrind installed, each conversion also runs once under callgrind
(output to /dev/null) for its instructions per input byte. Valgrind offers no
AVX-512, so there kotran takes the wide path (AVX2): the figure is that
path's.

Python 3 standard library only; a C compiler for copy_floor.c. See bench/README.md.
"""

import argparse
import os
import re
import shutil
import statistics
import sys
import time
from pathlib import Path
from types import SimpleNamespace

from corpus import MIB, add_round_options, fmt_size, load_material, prepare_corpora
from peers import CODES, CONVERSIONS, KOTRAN_EXT, build_kotran, inputs_in_folders, label, spawn
from report import machine_info, machine_line
from timing import compile_helper, load_average, pin_to_one_cpu

MODES = ("null", "file")


def log(s):
    print(s, file=sys.stderr, flush=True)


def instructions(kotran, opt, infile, err):
    """Instructions callgrind counts for kotran -c opt infile, or None."""
    valgrind = shutil.which("valgrind")
    if not valgrind:
        return None
    r = spawn([valgrind, "--tool=callgrind", "--callgrind-out-file=/dev/null", kotran, "-c", opt, str(infile)],
              os.devnull, err)
    m = re.search(r"Collected : (\d+)", Path(err).read_text(errors="replace"))
    return int(m.group(1)) if r.status == 0 and m else None


def main():
    ap = argparse.ArgumentParser(description="kotran against the copy floor, and its instructions per byte.")
    ap.add_argument("--kotran", help="the kotran executable (default: build one as run.py does)")
    ap.add_argument("--build-dir", default="/tmp/bench-build", help="where kotran is built (default /tmp/bench-build)")
    add_round_options(ap)
    ap.add_argument("--no-callgrind", action="store_true", help="leave out the instruction counts")
    args = ap.parse_args()
    if args.runs < 1 or args.size_mib <= 0:
        ap.error("sizes and runs must be positive")

    t0 = time.perf_counter()
    info = machine_info()
    print(machine_line(info))
    kotran = build_kotran(SimpleNamespace(kotran=args.kotran, build_dir=args.build_dir), log)
    print(f"kotran: {kotran}")
    iconv = shutil.which("iconv")
    if not iconv:
        sys.exit("iconv not found: it makes the EUC and UTF-8 forms of the corpus")
    corpus, _ = prepare_corpora(SimpleNamespace(workdir=args.workdir, size_mib=args.size_mib, rss_sizes=[]),
                                SimpleNamespace(iconv=iconv, kotran=kotran), load_material(), log)
    floor, why = compile_helper("copy_floor", args.workdir)
    if floor is None:
        sys.exit(f"could not build bench/copy_floor.c: {why}")
    sizes = {code: corpus.path[code].stat().st_size for code in CODES}
    print(f"corpus: {fmt_size(corpus.size)} Shift-JIS (as EUC {fmt_size(sizes['euc'])}, "
          f"JIS {fmt_size(sizes['jis'])}, UTF-8 {fmt_size(sizes['utf8'])})")
    sys.stdout.flush()

    # file mode: each input in a folder of its own, so kotran's output lands beside it
    scratch = Path(args.workdir) / "floor-scratch"
    linked = inputs_in_folders(scratch, corpus)
    err = scratch / "stderr.txt"

    out_bytes = {}
    for conv in CONVERSIONS:
        key, src, dst, opt = conv
        r = spawn([kotran, opt, str(linked[src])], os.devnull, err)
        result = linked[src].with_suffix(KOTRAN_EXT[dst])
        if r.status != 0 or not result.exists():
            sys.exit(f"kotran {opt} {linked[src]} failed: {err.read_text(errors='replace').strip()}")
        out_bytes[key] = result.stat().st_size
        result.unlink()

    samples = {}
    pinned = pin_to_one_cpu(args.cpu, kotran, corpus.path["sjis"], log)
    if pinned:
        print(f"note: {pinned}")
    load_before = load_average()
    cases = [(conv, mode) for conv in CONVERSIONS for mode in MODES]
    log(f"timing: {len(CONVERSIONS)} conversions x {len(MODES)} output modes x kotran and the floor x {args.runs} rounds ...")
    for rnd in range(args.runs):
        for ci, (conv, mode) in enumerate(cases):
            key, src, dst, opt = conv
            result = linked[src].with_suffix(KOTRAN_EXT[dst])
            floor_out = scratch / "floor.out"
            runs = {
                "kotran": [kotran, "-c", opt, str(corpus.path[src])] if mode == "null" else [kotran, opt, str(linked[src])],
                "floor": [floor, str(corpus.path[src]), str(out_bytes[key]), "-" if mode == "null" else str(floor_out)],
            }
            for name in (("kotran", "floor") if (rnd + ci) % 2 == 0 else ("floor", "kotran")):
                for path in (result, floor_out):
                    if path.exists():
                        path.unlink()
                os.sync()
                r = spawn(runs[name], os.devnull, err)
                if r.status != 0:
                    sys.exit(f"{' '.join(runs[name])}: exit {r.status}: {err.read_text(errors='replace').strip()}")
                samples.setdefault((key, mode, name), []).append(r)
        log(f"  round {rnd + 1}/{args.runs} done")
    load_after = load_average()

    counts = {}
    if not args.no_callgrind:
        log("instructions under callgrind ...")
        for conv in CONVERSIONS:
            key, src, dst, opt = conv
            counts[key] = instructions(kotran, opt, corpus.path[src], err)
    shutil.rmtree(scratch)

    p = print
    p()
    p(f"{args.runs} rounds; each runs kotran and the copy floor once per conversion and output mode, which goes")
    p("first alternating. null: standard output to /dev/null; file: kotran's output file beside its input, the")
    p("floor's in the same folder. MiB/s: input bytes over the median wall time; share: the floor's median")
    p("wall time over kotran's. instr/byte: callgrind's count over the input bytes (the wide path, AVX2).")
    p()
    hdr = (f"{'conversion':<17}{'output':<8}{'kotran MiB/s':>13}{'floor MiB/s':>12}{'share':>8}"
           f"{'CPU share':>10}{'instr/byte':>11}")
    p(hdr)
    p("-" * len(hdr))
    for conv, mode in cases:
        key, src, dst, opt = conv
        med = lambda name, f: statistics.median(f(r) for r in samples[(key, mode, name)])
        k_wall, f_wall = med("kotran", lambda r: r.wall), med("floor", lambda r: r.wall)
        k_cpu, f_cpu = med("kotran", lambda r: r.user + r.sys), med("floor", lambda r: r.user + r.sys)
        mib = sizes[src] / MIB
        ipb = "-" if counts.get(key) is None else f"{counts[key] / sizes[src]:.2f}"
        cpu = f"{100 * f_cpu / k_cpu:.0f}%" if k_cpu > 0 else "-"
        p(f"{label(conv):<17}{mode:<8}{mib / k_wall:>13.1f}{mib / f_wall:>12.1f}{100 * f_wall / k_wall:>7.0f}%"
          f"{cpu:>10}{ipb if mode == 'null' else '':>11}")
    p()
    p(f"Load average (1 min): {load_before} before, {load_after} after the timings.")
    p(f"total time {time.perf_counter() - t0:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
