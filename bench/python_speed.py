#!/usr/bin/env python3
"""The Python module's speed against Python's own codecs and the command line.

    python3 bench/python_speed.py --kotran build/kotran   (needs `import kotran`: see README)

Shift-JIS -> UTF-8 and UTF-8 -> Shift-JIS of 100-byte strings and 64 KiB
blocks of the Japanese corpus (tests/corpus), best of several rounds, and
kotran.convert of 32 MiB against `kotran -u -c` over the same bytes.
"""
import argparse
import os
import subprocess
import tempfile
import time

import kotran

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def corpus():
    text = ""
    d = os.path.join(ROOT, "tests", "corpus")
    for n in sorted(os.listdir(d)):
        if n.endswith(".txt"):
            text += open(os.path.join(d, n), encoding="utf-8").read()
    return text.replace("\r\n", "\n")


def best(fn, repeat, rounds=7):
    times = []
    for _ in range(rounds):
        t = time.perf_counter()
        for _ in range(repeat):
            fn()
        times.append((time.perf_counter() - t) / repeat)
    return min(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kotran", default=os.path.join(ROOT, "build", "kotran"))
    args = ap.parse_args()
    text = corpus()
    sjis = text.encode("cp932")
    utf8 = text.encode("utf-8")
    print("| conversion | size | codecs | kotran | codecs / kotran |")
    print("|---|---|---|---|---|")
    for size, repeat in ((100, 20000), (65536, 200)):
        s = (sjis * (size // len(sjis) + 1))[:size]
        s = s[: len(s.decode("cp932", "ignore").encode("cp932"))]
        u = s.decode("cp932").encode("utf-8")
        rows = [
            ("Shift-JIS -> UTF-8", lambda: s.decode("cp932").encode("utf-8"),
             lambda: kotran.convert(s, source="sjis", lf=True)),
            ("UTF-8 -> Shift-JIS", lambda: u.decode("utf-8").encode("cp932"),
             lambda: kotran.convert(u, to="sjis", source="utf-8", lf=True)),
        ]
        for name, codec, ours in rows:
            c, k = best(codec, repeat), best(ours, repeat)
            if size == 100:
                print(f"| {name} | {size} B | {c * 1e6:.2f} µs | {k * 1e6:.2f} µs | {c / k:.2f}× |")
            else:
                print(f"| {name} | 64 KiB | {len(s) / c / 2**20:.0f} MiB/s | {len(s) / k / 2**20:.0f} MiB/s | {c / k:.2f}× |")
    big = (sjis * (32 * 2**20 // len(sjis) + 1))[: 32 * 2**20]
    big = big[: big.rfind(b"\n") + 1]
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "a.txt")
        open(path, "wb").write(big)
        def cli():
            subprocess.run([args.kotran, "-u", "-c", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        c = best(cli, 1, 5)
        k = best(lambda: kotran.convert(big), 1, 5)
    mib = len(big) / 2**20
    print(f"\n32 MiB Shift-JIS -> UTF-8: `kotran -u -c` {mib / c:.0f} MiB/s, kotran.convert {mib / k:.0f} MiB/s ({k / c:.2f} of the command line's time)")


if __name__ == "__main__":
    main()
