#!/usr/bin/env python3
"""Throughput and peak memory of kotran against iconv, nkf, uconv, encoding_rs and ICU.

    python3 bench/run.py                  full run (64 MiB corpus, 5 rounds, RSS at 16 and 256 MiB)
    python3 bench/run.py --quick          about a minute (8 MiB, 3 rounds, RSS at 8 and 32 MiB)

Whole processes are timed. The corpus is Shift-JIS text generated from the
sentences of tests/corpus/*.txt with a fixed seed and cached in the work
directory; its EUC and UTF-8 forms are made by iconv, its JIS form by kotran.
Before any figure is printed, kotran's output for every conversion is checked
byte for byte against iconv's; if one differs, the run stops without figures.

Python 3 standard library only. See bench/README.md. This file is the command
line; the work is in corpus.py, peers.py, timing.py and report.py.
"""

import argparse
import sys
import time

from corpus import (DEFAULT_SIZE_MIB, KANA_LINE_RATE, MIB, add_cpu_option, corpus_stats, fmt_size, load_material,
                    prepare_corpora)
from peers import CONVERSIONS, Tools, build_kotran, build_library_peers, check_outputs, tool_versions
from report import evaluate_targets, machine_info, machine_line, print_report, summarize, write_json
from timing import MODES, build_probe, compile_helper, load_average, pin_to_one_cpu, rss_measure, run_rounds


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
    ap.add_argument("--no-libraries", action="store_true",
                    help="leave out the programs over encoding_rs and ICU (bench/peers/)")
    ap.add_argument("--json", help="also write the results to this JSON file")
    add_cpu_option(ap)
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
    print(machine_line(info))

    kotran = build_kotran(args, log)
    libraries = {} if args.no_libraries else build_library_peers(args.workdir, log)
    tools = Tools(kotran, not args.no_uconv, libraries)
    versions = tool_versions(tools)
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
    floor_exe, why = compile_helper("copy_floor", args.workdir)
    if floor_exe:
        tools.floor = floor_exe
        tools.floor_bytes = {key: len(data) for key, data in expected.items()}
    else:
        notes.append(f"the copy floor is left out: bench/copy_floor.c could not be built ({why})")
    pinned = pin_to_one_cpu(args.cpu, tools.kotran, corpus.path["sjis"], log)
    if pinned:
        notes.append(pinned)
    load_before = load_average()
    log(f"timing: {len(CONVERSIONS)} conversions x {len(MODES)} output modes x {args.runs} rounds ...")
    cases, samples, outputs_checked, errors = run_rounds(args, tools, corpus, expected, log)
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
        write_json(args.json, info, versions, args, stats, corpus, tools, (load_before, load_after), rows,
                   outputs_checked, rss, targets, notes, elapsed)
        print(f"results written to {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
