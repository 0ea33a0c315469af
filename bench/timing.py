"""The timed runs: the cases of one round, the rounds themselves, and peak RSS
through bench/rss_probe.c.
"""

import os
import shutil
import statistics
import subprocess
import time
from pathlib import Path

from corpus import MIB, fmt_size
from peers import CONVERSIONS, KOTRAN_EXT, compare_output, label, recognising_option, spawn

HERE = Path(__file__).resolve().parent

# ---------------------------------------------------------------------------
# The rounds
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
            if tools.floor and conv[0] in tools.floor_bytes:
                names.append("floor")
            cases.append((conv, mode, names))
    return cases


# ---------------------------------------------------------------------------
# One processor for every timed run
# ---------------------------------------------------------------------------

CALIBRATION_RUNS = 5


def pin_to_one_cpu(choice, kotran, sjis, log):
    """Pins this process, and so every process it starts, to one processor: choice, or where choice
    is None the one where kotran's Shift-JIS -> UTF-8 of the file sjis runs fastest (median of CALIBRATION_RUNS runs
    on each, alternating). On a shared machine one processor may be slowed by other work (measured
    here: one of the two at 1.5 times the other's time, for every tool); a process that lands on
    either by chance makes the medians of a round a lottery. Returns a note for the report, or None
    where pinning is not possible."""
    if not hasattr(os, "sched_setaffinity"):
        return None
    cpus = sorted(os.sched_getaffinity(0))
    if choice is not None:
        if choice not in cpus:
            raise SystemExit(f"--cpu {choice}: not one of this process's processors ({', '.join(map(str, cpus))})")
        os.sched_setaffinity(0, {choice})
        return f"every timed process ran on processor {choice} (--cpu)"
    if len(cpus) == 1:
        return None
    argv = [kotran, "-c", "-u", str(sjis)]
    times = {c: [] for c in cpus}
    for i in range(CALIBRATION_RUNS):
        for c in (cpus if i % 2 == 0 else cpus[::-1]):
            os.sched_setaffinity(0, {c})
            times[c].append(spawn(argv, os.devnull).wall)
    medians = {c: statistics.median(t) for c, t in times.items()}
    best = min(cpus, key=lambda c: medians[c])
    os.sched_setaffinity(0, {best})
    measured = ", ".join(f"{c}: {medians[c] * 1000:.1f} ms" for c in cpus)
    log(f"timed processes pinned to processor {best} (kotran -u, median wall: {measured})")
    return (f"every timed process ran on processor {best}, where kotran -u ran fastest before the rounds "
            f"(median wall of {CALIBRATION_RUNS} runs on each: {measured})")


def input_of(tool, conv, corpus):
    key, src, dst, _ = conv
    if tool == "iconv-2022jp":
        return corpus.nokana["jis"] if src == "jis" else corpus.nokana["sjis"]
    return corpus.path[src]


def run_rounds(args, tools, corpus, expected, log):
    """args.runs rounds of every case; returns (cases, {(key, mode, tool): [Run]}, output checks, errors)."""
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


def load_average():
    """The 1-minute load average, printed before and after the timings."""
    try:
        return float(Path("/proc/loadavg").read_text().split()[0])
    except (OSError, ValueError, IndexError):
        return None


# ---------------------------------------------------------------------------
# Peak memory
# ---------------------------------------------------------------------------

RSS_OTHER = ("sjis-euc", "euc-sjis")  # the conversions measured for the other tools
RSS_KOTRAN_RUNS = 3  # kotran's figure is the median of this many runs


def compile_helper(name, workdir):
    """Compile bench/NAME.c into the work directory: (executable, None), or (None, why not)."""
    src = HERE / f"{name}.c"
    exe = Path(workdir) / name
    if exe.exists() and exe.stat().st_mtime >= src.stat().st_mtime:
        return str(exe), None
    cc = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if not cc:
        return None, "no C compiler"
    proc = subprocess.run([cc, "-O2", "-Wall", "-o", str(exe), str(src)], capture_output=True, text=True)
    if proc.returncode != 0:
        return None, proc.stderr.strip()
    return str(exe), None


def build_probe(args, log):
    """Compile bench/rss_probe.c into the work directory; None when that cannot be done."""
    exe, why = compile_helper("rss_probe", args.workdir)
    if exe is None:
        log(f"could not build the RSS probe ({why}): peak RSS is not measured")
    return exe


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
