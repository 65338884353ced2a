"""maker_bench.py --otpa OTPA [--runs N] [CORPUS_DIR]

Size and making time of `otpa make` on every corpus pair (.otf or .ttf)
against xdelta3 (-e -9 -S none) and bsdiff on the same pair, and the size
against `zstd -19 --long --patch-from`. The difference format carries a
fixed part that a byte-level patch has no counterpart for (53 + 18 x table
count bytes: header and table records); it is added to the xdelta3 size for
the comparison. Targets: the .pa files together no larger than the xdelta3
files together, no .pa over 1.25 x its xdelta3 file, and making each no
slower than bsdiff. Times are the best of N runs; build otpa in Release."""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def best_time(command, runs):
    best = None
    for _ in range(runs):
        started = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - started
        best = elapsed if best is None else min(best, elapsed)
    return best


def table_count(font_path):
    with open(font_path, "rb") as f:
        return struct.unpack(">H", f.read(6)[4:6])[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("corpus", nargs="?", default=os.path.join(ROOT, "build", "corpus"))
    args = parser.parse_args()

    pairs = sorted((p, e) for p in os.listdir(args.corpus) for e in (".otf", ".ttf")
                   if os.path.isfile(os.path.join(args.corpus, p, "new" + e)))
    if not pairs:
        print("no corpus pairs in %s (run scripts/corpus)" % args.corpus)
        return 1

    print("%-13s %9s %9s %9s %6s %6s %6s | %7s %7s %7s %6s %6s" % (
        "pair", "font", ".pa", "xd3+fix", "ratio", "bsdiff", "zstd", "make/s", "xd3/s", "bsdiff/s", "/xd3", "/bsd"))
    total_pa = total_xd = 0
    worst = 0.0
    slower = []
    with tempfile.TemporaryDirectory() as work:
        for pair, extension in pairs:
            old = os.path.join(args.corpus, pair, "old" + extension)
            new = os.path.join(args.corpus, pair, "new" + extension)
            pa, xd, bs, zs = (os.path.join(work, pair + ext) for ext in (".pa", ".xd3", ".bsdiff", ".zst"))
            make_s = best_time([args.otpa, "make", old, new, "-o", pa], args.runs)
            xd_s = best_time(["xdelta3", "-e", "-9", "-S", "none", "-f", "-s", old, new, xd], args.runs)
            bs_s = best_time(["bsdiff", old, new, bs], args.runs)
            subprocess.run(["zstd", "-q", "-f", "-19", "--long=27", f"--patch-from={old}", new, "-o", zs],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            pa_size = os.path.getsize(pa)
            xd_fixed = os.path.getsize(xd) + 53 + 18 * table_count(new)
            ratio = pa_size / xd_fixed
            total_pa += pa_size
            total_xd += xd_fixed
            worst = max(worst, ratio)
            if make_s > bs_s:
                slower.append(pair)
            print("%-13s %9d %9d %9d %6.3f %6.3f %6.3f | %7.2f %7.2f %7.2f %6.2f %6.2f" % (
                pair, os.path.getsize(new), pa_size, xd_fixed, ratio, pa_size / os.path.getsize(bs),
                pa_size / os.path.getsize(zs), make_s, xd_s, bs_s, make_s / xd_s, make_s / bs_s))

    print()
    print("all .pa / all xdelta3+fixed: %d / %d = %.3f (target <= 1)"
          % (total_pa, total_xd, total_pa / total_xd))
    print("largest single ratio: %.3f (target <= 1.25)" % worst)
    print("making slower than bsdiff: %s" % (", ".join(slower) or "none"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
