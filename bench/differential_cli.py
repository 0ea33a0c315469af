#!/usr/bin/env python3
"""Two kotran executables against each other: the same random texts and
option sets, run by each in a copy of the same folder, must give the same
standard output, standard error, status and files, byte for byte.

    python3 bench/differential_cli.py --old OLD/kotran --new build/kotran --runs 10000

For a change meant to leave the command line as it is (a restructuring,
the library underneath). Each run writes one to three files (Japanese text
in every code, with CR LF or LF, half-width katakana, a byte that is no
character, a 0x1A, text of another language, random bytes, plain ASCII)
and runs both programs with an option set drawn from the command line's
options (targets, forced sources, -f, -l, -c, -g, --strict, -j7,
--unicode=jis, -r, --in-place, --out-dir, --jobs, standard input from a
pipe). One text in 25 is longer than an input block: many lines, or one
line of 64-160 KiB, well formed or malformed all through. Python 3 only.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def corpus_lines():
    lines = []
    d = os.path.join(ROOT, "tests", "corpus")
    for n in sorted(os.listdir(d)):
        if n.endswith(".txt"):
            with open(os.path.join(d, n), encoding="utf-8") as f:
                lines += [l for l in f.read().splitlines() if l]
    return lines


LINES = corpus_lines()
CODECS = ["cp932", "euc_jp", "iso2022_jp", "utf-8", "utf-16"]


def long_text(rng):
    """Text longer than a block of the input (64 KiB for a file, 128 KiB
    for a pipe): many lines, or one line of 64-160 KiB with no line end
    (well formed, or malformed all through), so that blocks end inside
    lines, characters and escape sequences."""
    codec = rng.choice(CODECS)
    kind = rng.randrange(3)
    if kind == 2:
        # No character ends for certain anywhere in it.
        return bytes(rng.choice([0x81, 0x8E, 0x8F, 0xA4, 0xE0, 0xFC, 0xFF]) for _ in range(rng.randrange(66000, 140000)))
    size = rng.randrange(66000, 300000 if kind == 0 else 160000)
    parts, n = [], 0
    while n < size:
        line = rng.choice(LINES)
        parts.append(line)
        n += len(line) * 3
    sep = "\n" if kind == 0 else " "
    text = sep.join(parts) + "\n"
    if rng.random() < 0.5:
        text = text.replace("\n", "\r\n")
    try:
        return text.encode(codec)
    except UnicodeEncodeError:
        return text.encode("cp932", "replace")


def random_text(rng):
    if rng.random() < 0.04:
        return long_text(rng)
    kind = rng.randrange(10)
    if kind == 0:
        return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400)))
    if kind == 1:
        return "한국어 텍스트입니다. 안녕하세요.\n".encode("euc_kr") * rng.randrange(1, 4)
    if kind == 2:
        return b"plain ascii\n" * rng.randrange(1, 5)
    text = "\n".join(rng.choice(LINES) for _ in range(rng.randrange(1, 12))) + "\n"
    if rng.random() < 0.3:
        text += "ﾊﾝｶｸ ｶﾀｶﾅ ﾊﾟﾋﾟ\n"
    if rng.random() < 0.5:
        text = text.replace("\n", "\r\n")
    codec = rng.choice(CODECS)
    try:
        data = text.encode(codec)
    except UnicodeEncodeError:
        data = text.encode("cp932", "replace")
    if rng.random() < 0.15 and len(data) > 4:
        at = rng.randrange(len(data))
        data = data[:at] + bytes([rng.choice([0x80, 0xFF, 0x1A, 0x1B, 0x8E, 0xA4])]) + data[at:]
    if rng.random() < 0.1:
        data = data[: rng.randrange(len(data))]
    return data


def random_options(rng):
    opts = []
    target = rng.choice(["-s", "-e", "-j", "-u", "-w", None])
    forced = rng.random() < 0.2
    if forced:
        src = rng.choice(["j", "e", "u"])
        tgt = rng.choice([t for t in "sjeu" if t != src and not (src == "u" and t == "u")])
        opts.append("-" + src + tgt)
    elif target:
        opts.append(target)
    for flag, p in (("-f", 0.15), ("-l", 0.2), ("-g", 0.1), ("--strict", 0.1), ("-j7", 0.05), ("--unicode=jis", 0.05)):
        if rng.random() < p:
            opts.append(flag)
    mode = rng.randrange(6)
    if mode == 0:
        opts.append("-c")
    elif mode == 1:
        opts.append("--in-place" if rng.random() < 0.5 else "--in-place=.orig")
    elif mode == 2:
        opts += ["-r", "--out-dir=out"]
    if rng.random() < 0.15:
        opts.append("--jobs=2")
    # The first file through standard input, a pipe.
    if mode not in (1, 2) and rng.random() < 0.1:
        opts.append("-")
    return opts


def snapshot(d):
    files = {}
    for base, _, names in os.walk(d):
        for n in names:
            p = os.path.join(base, n)
            with open(p, "rb") as f:
                files[os.path.relpath(p, d)] = f.read()
    return files


def run(exe, d, opts, names):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LANG", "LC_", "LANGUAGE"))}
    stdin = subprocess.DEVNULL
    if opts and opts[-1] == "-":
        with open(os.path.join(d, names[0]), "rb") as f:
            stdin = f.read()
        args = [exe] + opts
    else:
        args = [exe] + opts + (["in"] if "-r" in opts else names)
    p = subprocess.run(args, cwd=d, input=stdin if isinstance(stdin, bytes) else None,
                       stdin=None if isinstance(stdin, bytes) else stdin, capture_output=True, env=env, timeout=60)
    return p.returncode, p.stdout, p.stderr, snapshot(d)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--old", required=True)
    ap.add_argument("--new", required=True)
    ap.add_argument("--runs", type=int, default=10000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--first", type=int, default=0, help="run only from this run on (the texts before are drawn, not run)")
    args = ap.parse_args()
    old, new = os.path.abspath(args.old), os.path.abspath(args.new)
    rng = random.Random(args.seed)
    differ = 0
    work = tempfile.mkdtemp(prefix="kotran-diff-")
    try:
        for i in range(args.runs):
            texts = [random_text(rng) for _ in range(rng.randrange(1, 4))]
            names = [f"in/f{k}.txt" for k in range(len(texts))]
            opts = random_options(rng)
            if i < args.first:
                continue
            results = []
            for side, exe in (("old", old), ("new", new)):
                d = os.path.join(work, side)
                shutil.rmtree(d, ignore_errors=True)
                os.makedirs(os.path.join(d, "in"))
                for n, t in zip(names, texts):
                    with open(os.path.join(d, n), "wb") as f:
                        f.write(t)
                results.append(run(exe, d, opts, names))
            if results[0] != results[1]:
                differ += 1
                what = [k for k, a, b in zip(("status", "stdout", "stderr", "files"), *results) if a != b]
                print(f"run {i}: {' '.join(opts)} differ in {', '.join(what)}", file=sys.stderr)
                if differ >= 10:
                    break
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{i + 1} runs, {differ} differing")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
