"""What the timings come to: medians and ratios, the targets, the printed
report and the JSON document.
"""

import json
import os
import platform
import statistics
import textwrap
from pathlib import Path

from corpus import KANA_LINE_RATE, MIB, SEED, fmt_size
from peers import CONVERSIONS, label, recognising_option
from timing import MODES, RSS_KOTRAN_RUNS, input_of

def machine_info():
    """CPU model, cores, kernel and Python: the first line of every report."""
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


def machine_line(info):
    """The machine_info as the first line of a report prints it."""
    return (f"CPU: {info['cpu_model']}, {info['cores']} cores ({info['usable_cores']} usable to this process); "
            f"Linux {info['kernel']}; Python {info['python']}")


# ---------------------------------------------------------------------------
# Medians and ratios
# ---------------------------------------------------------------------------

TOOL_LABEL = {
    "kotran": "kotran",
    "kotran-recognise": "kotran recognising",
    "iconv": "iconv",
    "iconv-2022jp": "iconv ISO-2022-JP*",
    "nkf": "nkf -x",
    "uconv": "uconv",
    "encoding_rs": "encoding_rs",
    "icu": "ICU ucnv",
    "floor": "copy floor",
}

# The peers a conversion is measured against for "the best peer": every tool
# but kotran itself (iconv's plain ISO-2022-JP runs on another corpus).
def best_peer(med, key, mode, names):
    """(tool, MiB/s) of the fastest peer of kotran in this case, or (None, None)."""
    peers = [(t, med.get((key, mode, t))) for t in names
             if t not in ("kotran", "kotran-recognise", "iconv-2022jp", "floor") and med.get((key, mode, t))]
    return max(peers, key=lambda p: p[1], default=(None, None))


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


# ---------------------------------------------------------------------------
# Targets
# ---------------------------------------------------------------------------

# ru_maxrss moves by up to ~0.2 MiB from run to run even for /bin/true; a peak that
# grew with the input would grow by MiBs. Peaks this close count as the same.
RSS_SAME_KIB = 256


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
    best = []
    for c in CONVERSIONS:
        for mode in MODES:
            tool, v = best_peer(wall, c[0], mode, tools.names)
            k = wall.get((c[0], mode, "kotran"))
            best.append((c[0], mode, tool, k / v if k and v else None))
    missed = [f"{names[k]} {m} ({fmt_ratio(r)} {t})" for k, m, t, r in best if r is None or r < 2.5]
    worst = min((b for b in best if b[3] is not None), key=lambda b: b[3], default=None)
    targets.append({
        "target": "every conversion at least 2.5x the best peer",
        "met": not missed,
        "detail": ("no data" if worst is None else f"lowest {fmt_ratio(worst[3])} ({names[worst[0]]}, {worst[1]}, "
                   f"against {TOOL_LABEL[worst[2]]})") + (f"; below 2.5x: {', '.join(missed)}" if missed else ""),
        "ratios": [{"conversion": names[k], "mode": m, "peer": t, "wall": r} for k, m, t, r in best]})

    shares = {c[0]: (lambda k, f: k / f if k and f else None)(wall.get((c[0], "null", "kotran")),
                                                             wall.get((c[0], "null", "floor")))
              for c in CONVERSIONS}
    if any(v is not None for v in shares.values()):
        for name, keys, floor in (
                ("Shift-JIS<->EUC at least 50% of the copy floor (null)", ("sjis-euc", "euc-sjis"), 0.5),
                ("UTF-8 and JIS conversions at least 35% of the copy floor (null)",
                 [c[0] for c in CONVERSIONS if "utf8" in c[1:3] or "jis" in c[1:3]], 0.35)):
            low = [f"{names[k]} {'-' if shares[k] is None else f'{shares[k]:.0%}'}" for k in keys
                   if shares[k] is None or shares[k] < floor]
            worst = min((k for k in keys if shares[k] is not None), key=lambda k: shares[k], default=None)
            targets.append({"target": name, "met": not low,
                            "detail": ("no data" if worst is None else f"lowest {shares[worst]:.0%} ({names[worst]})")
                            + (f"; below: {', '.join(low)}" if low else "")})
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


# ---------------------------------------------------------------------------
# Output
# ---------------------------------------------------------------------------


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
    hdr = f"{'conversion':<17}{'output':<7}{'kotran MiB/s':>13}" + "".join(f"{'kotran/' + t:>20}" for t in others)
    hdr += f"{'kotran/ISO-2022-JP*':>21}" if jp else ""
    hdr += f"  {'best peer':<12}{'kotran/best':>11}{'floor share':>12}"
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
            line += f"{cell:>{21 if t == 'iconv-2022jp' else 20}}"
        tool, v = best_peer(wall, key, mode, names)
        line += f"  {TOOL_LABEL.get(tool, '-'):<12}{(fmt_ratio(k / v) if k and v else '-'):>11}"
        f = wall.get((key, mode, "floor"))
        line += f"{(f'{k / f:.0%}' if k and f else '-'):>12}"
        p(line)
    p()
    recognised = [(conv, names) for conv, mode, names in cases if "kotran-recognise" in names]
    if recognised:
        p("Recognising the source: kotran without the source letter (-s for -es, ...), standard output to")
        p("/dev/null, against kotran with the source named and the same tools in the same run. Recognition")
        p("reads the first few KiB where one reading is plainly valid; the goal is within 10% of named.")
        hdr = f"{'conversion':<17}{'option':<8}{'kotran MiB/s':>13}{'recognising':>13}{'/named':>8}" + "".join(
            f"{'recognising/' + t:>18}" for t in others)
        p(hdr)
        p("-" * len(hdr))
        for conv, names in recognised:
            key = conv[0]
            k = wall.get((key, "null", "kotran"))
            a = wall.get((key, "null", "kotran-recognise"))
            line = (f"{label(conv):<17}{recognising_option(conv[3]):<8}{('FAILED' if k is None else f'{k:.1f}'):>13}"
                    f"{('FAILED' if a is None else f'{a:.1f}'):>13}{(fmt_ratio(a / k) if a and k else '-'):>8}")
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


def write_json(path, info, versions, args, stats, corpus, tools, load, rows, outputs_checked, rss, targets, notes,
               elapsed):
    """Every run's times, the checks, peak RSS and the targets, for --json."""
    doc = {
        "machine": info,
        "versions": versions,
        "parameters": {"size_mib": args.size_mib, "runs": args.runs, "rss_sizes_mib": args.rss_sizes,
                       "seed": SEED, "kana_line_rate": KANA_LINE_RATE, "workdir": args.workdir},
        "corpus": dict(stats, bytes=corpus.path["sjis"].stat().st_size, nokana_bytes=corpus.nokana["sjis"].stat().st_size),
        "iconv_jis": tools.iconv_jis or "ISO-2022-JP on the katakana-free corpus",
        "load_average": {"before": load[0], "after": load[1]},
        "timings": rows,
        "output_checks": {f"{k}/{t}": v for (k, t), v in outputs_checked.items()},
        "peak_rss_kib": [{"size_bytes": s, "conversion": k, "tool": t, "kib": v}
                         for (s, k, t), v in sorted(rss.items())],
        "targets": targets,
        "notes": notes,
        "elapsed_s": elapsed,
    }
    Path(path).write_text(json.dumps(doc, indent=1, ensure_ascii=False) + "\n")
