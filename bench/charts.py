#!/usr/bin/env python3
"""The benchmark's pictures, as SVG files for the README.

    python3 bench/charts.py                     redraw docs/*.svg from bench/results/
    python3 bench/charts.py --speed run.json --recognition table.md --out docs

- docs/speed.svg: a grouped bar chart of a full bench/run.py run (its --json
  file): MiB/s of each conversion, output to /dev/null, kotran beside each
  peer and the copy floor.
- docs/recognition.svg: a heat map of a bench/recognition.py table (its --out
  file): for each class and size, the share each tool named rightly, one
  column per tool in each size.

bench/results/ keeps the files of the run the README quotes; a new full run
writes them again (`run.py --json bench/results/run.json`,
`recognition.py --out bench/results/recognition.md`) and this redraws the
pictures. Python 3 standard library only: the SVG is written by hand.
"""

import argparse
import json
import re
import sys
from pathlib import Path
from xml.sax.saxutils import escape

HERE = Path(__file__).resolve().parent
RESULTS = HERE / "results"
DOCS = HERE.parent / "docs"

# One colour per tool, the same in every picture; kotran first and darkest.
COLOURS = {
    "kotran": "#1f4e79", "encoding_rs": "#c55a11", "icu": "#7f6000", "uconv": "#bf9000",
    "iconv": "#548235", "nkf": "#7030a0", "floor": "#a6a6a6", "uchardet": "#c00000",
}
LABELS = {"kotran": "kotran", "encoding_rs": "encoding_rs", "icu": "ICU ucnv", "uconv": "uconv",
          "iconv": "iconv", "nkf": "nkf -x", "floor": "copy floor"}
ORDER = ["kotran", "encoding_rs", "icu", "uconv", "iconv", "nkf", "floor"]
FONT = 'font-family="DejaVu Sans, Helvetica, Arial, sans-serif"'


class Svg:
    def __init__(self, width, height):
        self.width, self.height, self.items = width, height, []

    def rect(self, x, y, w, h, fill, title=None):
        t = f"<title>{escape(title)}</title>" if title else ""
        self.items.append(f'<rect x="{x:.1f}" y="{y:.1f}" width="{w:.1f}" height="{h:.1f}" fill="{fill}">{t}</rect>')

    def line(self, x1, y1, x2, y2, stroke="#d9d9d9"):
        self.items.append(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="{stroke}"/>')

    def text(self, x, y, s, size=12, anchor="start", fill="#000", rotate=None, weight="normal"):
        r = f' transform="rotate({rotate} {x:.1f} {y:.1f})"' if rotate is not None else ""
        self.items.append(f'<text x="{x:.1f}" y="{y:.1f}" font-size="{size}" text-anchor="{anchor}" '
                          f'font-weight="{weight}" fill="{fill}" {FONT}{r}>{escape(s)}</text>')

    def write(self, path):
        body = "\n".join(self.items)
        Path(path).write_text(
            f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.width}" height="{self.height}" '
            f'viewBox="0 0 {self.width} {self.height}">\n<rect width="100%" height="100%" fill="#fff"/>\n'
            f"{body}\n</svg>\n")


def nice_step(top):
    """A round step for about five grid lines up to top."""
    for step in (10, 20, 25, 50, 100, 200, 250, 500, 1000, 2000, 2500, 5000):
        if top / step <= 6:
            return step
    return 10000


def speed_chart(run, out):
    doc = json.loads(Path(run).read_text())
    speed = {}
    conversions = []
    for row in doc["timings"]:
        if row["mode"] != "null" or row["mib_per_s"] is None:
            continue
        if row["conversion"] not in conversions:
            conversions.append(row["conversion"])
        speed[(row["conversion"], row["tool"])] = row["mib_per_s"]
    tools = [t for t in ORDER if any((c, t) in speed for c in conversions)]
    if not tools:
        sys.exit(f"{run}: no timings to draw")
    left, top, bottom, group_gap, bar = 70, 60, 110, 18, 11
    group = bar * len(tools)
    width = left + len(conversions) * (group + group_gap) + 20
    height = 420
    plot_h = height - top - bottom
    peak = max(speed.values())
    step = nice_step(peak)
    ymax = step * (int(peak // step) + 1)
    svg = Svg(width, height)
    svg.text(left, 24, f"Throughput, MiB/s of input, output to /dev/null ({doc['parameters']['size_mib']:g} MiB "
             f"corpus, median of {doc['parameters']['runs']} rounds)", 14, weight="bold")
    machine = doc.get("machine", {})
    svg.text(left, 42, f"{machine.get('cpu_model', '')}; {machine.get('cores', '')} cores", 11, fill="#595959")
    for v in range(0, int(ymax) + 1, step):
        y = top + plot_h - plot_h * v / ymax
        svg.line(left, y, width - 10, y)
        svg.text(left - 6, y + 4, f"{v:,}", 11, "end")
    for i, conv in enumerate(conversions):
        x0 = left + group_gap / 2 + i * (group + group_gap)
        for j, tool in enumerate(tools):
            v = speed.get((conv, tool))
            if v is None:
                continue
            h = plot_h * v / ymax
            svg.rect(x0 + j * bar, top + plot_h - h, bar - 1, h, COLOURS.get(tool, "#000"),
                     f"{conv}: {LABELS.get(tool, tool)} {v:,.0f} MiB/s")
        svg.text(x0 + group / 2, top + plot_h + 14, conv.replace("->", " → "), 11, "end", rotate=-35)
    lx = left
    for tool in tools:
        svg.rect(lx, height - 22, 10, 10, COLOURS.get(tool, "#000"))
        svg.text(lx + 14, height - 13, LABELS.get(tool, tool), 11)
        lx += 24 + 7 * len(LABELS.get(tool, tool))
    svg.write(out)


def parse_recognition(table):
    """(sizes, [(class, expected, [[share per tool] per size])], tool count) from recognition.py's table."""
    lines = [l for l in Path(table).read_text().splitlines() if l.startswith("|")]
    head = [c.strip() for c in lines[0].strip("|").split("|")]
    sizes = head[2:]
    rows = []
    tools = 0
    for line in lines[2:]:
        cells = [c.strip() for c in line.strip("|").split("|")]
        shares = []
        for cell in cells[2:]:
            cell = re.sub(r"\(\d+\)", "", cell)
            vals = [None if v.strip() in ("—", "-", "") else float(v) for v in cell.split("/")]
            tools = max(tools, len(vals))
            shares.append(vals)
        rows.append((cells[0], cells[1], shares))
    return sizes, rows, tools


def colour_of(share):
    """White at 0%, through yellow, to deep green at 100%; a miss of even 1% is plainly lighter."""
    if share is None:
        return "#f2f2f2"
    s = max(0.0, min(1.0, share / 100.0)) ** 3
    r = int(230 - 200 * s)
    g = int(80 + 100 * s)
    b = int(60 + 20 * s)
    return f"#{r:02x}{g:02x}{b:02x}"


def recognition_chart(table, out, names):
    sizes, rows, tools = parse_recognition(table)
    names = (names + [f"tool {i + 1}" for i in range(tools)])[:tools]
    # The labels are right-aligned at left: room for the longest, at about
    # 5.6 px a character of the 10 px font.
    labels = [f"{title[:52]} → {expected}" for title, expected, _ in rows]
    left, top, cell_w, cell_h, gap = 20 + int(5.6 * max(len(x) for x in labels)), 80, 34, 18, 8
    width = left + len(sizes) * (tools * cell_w + gap) + 20
    height = top + len(rows) * cell_h + 50
    svg = Svg(width, height)
    svg.text(10, 24, "Recognition: share of files named rightly, by class and size (bytes)", 14, weight="bold")
    svg.text(10, 42, "each size: " + " | ".join(names) + "; darker is better", 11, fill="#595959")
    for k, size in enumerate(sizes):
        x = left + k * (tools * cell_w + gap)
        svg.text(x + tools * cell_w / 2, top - 22, size, 11, "middle", weight="bold")
        for t, name in enumerate(names):
            svg.text(x + t * cell_w + cell_w / 2, top - 6, name[:6], 9, "middle", fill="#595959")
    for i, (title, expected, shares) in enumerate(rows):
        y = top + i * cell_h
        svg.text(left - 8, y + 13, f"{title[:52]} → {expected}", 10, "end")
        for k, per in enumerate(shares):
            x = left + k * (tools * cell_w + gap)
            for t in range(tools):
                v = per[t] if t < len(per) else None
                svg.rect(x + t * cell_w, y, cell_w - 1, cell_h - 1, colour_of(v),
                         f"{title}, {sizes[k]}: {names[t]} {'—' if v is None else f'{v:g}%'}")
                if v is not None:
                    # Whole numbers as they are; a share short of one by a
                    # half is never rounded up to it (99.5 shows so).
                    shown = f"{v:.0f}" if v == int(v) else f"{v:.1f}" if v >= 99 else f"{int(v)}"
                    svg.text(x + t * cell_w + cell_w / 2, y + 12, shown, 9, "middle",
                             "#fff" if v >= 90 else "#000")
    svg.write(out)


def main():
    ap = argparse.ArgumentParser(description="Draw the benchmark's SVG pictures for the README.")
    ap.add_argument("--speed", default=str(RESULTS / "run.json"), help="run.py's --json file")
    ap.add_argument("--recognition", default=str(RESULTS / "recognition.md"), help="recognition.py's --out file")
    ap.add_argument("--tools", default="kotran,nkf,uchardet", help="the recognition table's tools, in its order")
    ap.add_argument("--out", default=str(DOCS), help="the folder for the SVG files (default docs/)")
    args = ap.parse_args()
    drew = 0
    for source, draw, name in ((args.speed, speed_chart, "speed.svg"),
                               (args.recognition, lambda t, o: recognition_chart(t, o, args.tools.split(",")),
                                "recognition.svg")):
        if not Path(source).exists():
            print(f"{source} not found: {name} not drawn", file=sys.stderr)
            continue
        draw(source, Path(args.out) / name)
        print(f"{Path(args.out) / name}")
        drew += 1
    return 0 if drew else 1


if __name__ == "__main__":
    sys.exit(main())
