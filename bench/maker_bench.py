"""maker_bench.py --otpa OTPA [--runs N] [CORPUS_DIR...]

Size and making time of `otpa make` on every pair of the corpora (.otf or
.ttf; both corpora under build/ by default) against bsdiff, `zstd -19
--long --patch-from` and xdelta3 (-e -9 -S none) on the same pair, with the
size of `otpa make --classic`'s file beside. Targets: on every pair the .pa
no larger than bsdiff's patch and than zstd's, and making it no slower than
bsdiff. Times are the best of N runs; build otpa in Release."""

import argparse
import os
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("corpora", nargs="*", default=[os.path.join(ROOT, "build", "corpus"),
                                                       os.path.join(ROOT, "build", "corpus-makers")])
    args = parser.parse_args()

    pairs = sorted((c, p, e) for c in args.corpora if os.path.isdir(c) for p in os.listdir(c)
                   for e in (".otf", ".ttf") if os.path.isfile(os.path.join(c, p, "new" + e)))
    if not pairs:
        print("no corpus pairs in %s (run scripts/corpus and scripts/corpus-makers)" % " ".join(args.corpora))
        return 1

    print("%-13s %9s %9s %9s %9s %9s %9s %6s %6s | %6s %6s %6s" % (
        "pair", "font", ".pa", "classic", "bsdiff", "zstd", "xdelta3", "/bsd", "/zstd", "make/s", "bsd/s",
        "/bsd"))
    over_bsdiff, over_zstd, slower = [], [], []
    with tempfile.TemporaryDirectory() as work:
        for _, pair, extension in pairs:
            corpus = next(c for c, p, e in pairs if p == pair and e == extension)
            old = os.path.join(corpus, pair, "old" + extension)
            new = os.path.join(corpus, pair, "new" + extension)
            pa, classic, xd, bs, zs = (os.path.join(work, pair + ext)
                                       for ext in (".pa", ".classic.pa", ".xd3", ".bsdiff", ".zst"))
            make_s = best_time([args.otpa, "make", old, new, "-o", pa], args.runs)
            bs_s = best_time(["bsdiff", old, new, bs], args.runs)
            for command in ([args.otpa, "make", "--classic", old, new, "-o", classic],
                            ["xdelta3", "-e", "-9", "-S", "none", "-f", "-s", old, new, xd],
                            ["zstd", "-q", "-f", "-19", "--long=27", f"--patch-from={old}", new, "-o", zs]):
                subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            size = {name: os.path.getsize(path) for name, path in
                    (("pa", pa), ("classic", classic), ("bsdiff", bs), ("zstd", zs), ("xdelta3", xd))}
            if size["pa"] > size["bsdiff"]:
                over_bsdiff.append(pair)
            if size["pa"] > size["zstd"]:
                over_zstd.append(pair)
            if make_s > bs_s:
                slower.append(pair)
            print("%-13s %9d %9d %9d %9d %9d %9d %6.3f %6.3f | %6.2f %6.2f %6.2f" % (
                pair, os.path.getsize(new), size["pa"], size["classic"], size["bsdiff"], size["zstd"],
                size["xdelta3"], size["pa"] / size["bsdiff"], size["pa"] / size["zstd"], make_s, bs_s,
                make_s / bs_s))

    print()
    print("larger than bsdiff's patch (target: none): %s" % (", ".join(over_bsdiff) or "none"))
    print("larger than zstd's (target: none): %s" % (", ".join(over_zstd) or "none"))
    print("making slower than bsdiff (target: none): %s" % (", ".join(slower) or "none"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
