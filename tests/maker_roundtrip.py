"""maker_roundtrip.py --otpa OTPA --check PA_CHECK (--pairs PROGRAM | --corpus DIR)

Runs `otpa make` on font pairs. A pair expected to be refused must fail with
exit status 1, one line on the error stream naming the reason, and no output
file. Every other pair gets two difference files, the default one and
--classic's: each must pass the independent checker (PA_CHECK --old) and,
applied with `otpa apply`, give the new font byte for byte; --classic's has
no compressed block, and the default one is never the larger. --pairs runs PROGRAM DIR to write the pairs (DIR/<case>.old.otf,
.new.otf, .expect); --corpus takes DIR/<pair>/{old,new}.otf (or .ttf)."""

import argparse
import os
import subprocess
import sys
import tempfile


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def generated_pairs(program, folder):
    subprocess.run([program, folder], check=True)
    pairs = []
    for name in sorted(os.listdir(folder)):
        if name.endswith(".expect"):
            case = name[:-len(".expect")]
            with open(os.path.join(folder, name)) as f:
                expect = f.read().strip()
            base = os.path.join(folder, case)
            pairs.append((case, base + ".old.otf", base + ".new.otf", expect))
    return pairs


def corpus_pairs(folder):
    pairs = []
    for case in sorted(os.listdir(folder)):
        for extension in ("otf", "ttf"):
            old = os.path.join(folder, case, "old." + extension)
            new = os.path.join(folder, case, "new." + extension)
            if os.path.isfile(old) and os.path.isfile(new):
                pairs.append((case, old, new, "ok"))
    return pairs


def check_pair(args, work, case, old, new, expect):
    """None when the pair behaves as expected, otherwise what went wrong."""
    pa = os.path.join(work, case + ".pa")
    problem = check_encoding(args, work, case, old, new, expect, pa, [])
    if problem or expect.startswith("refuse"):
        return problem
    classic = os.path.join(work, case + ".classic.pa")
    problem = check_encoding(args, work, case, old, new, expect, classic, ["--classic"])
    if problem:
        return "--classic: " + problem
    with open(classic, "rb") as f:
        compressed = [r.tag for r in pa_check.check_file(f.read())[1] if r.encoding != pa_format.EXT_RUNS]
    if compressed:
        return "--classic: compressed blocks for %s" % compressed
    if os.path.getsize(pa) > os.path.getsize(classic):
        return "the default file has %d bytes, --classic's only %d" % (os.path.getsize(pa), os.path.getsize(classic))
    return None


def check_encoding(args, work, case, old, new, expect, pa, options):
    made = run([args.otpa, "make"] + options + [old, new, "-o", pa])
    errors = made.stderr.decode(errors="replace").strip()
    if expect.startswith("refuse"):
        words = expect[len("refuse"):].strip()
        if made.returncode != 1:
            return "expected a refusal, got exit %d" % made.returncode
        if len(errors.splitlines()) != 1 or words not in errors:
            return "expected one line naming %r, got %r" % (words, errors)
        if os.path.exists(pa):
            return "refused, but %s was left behind" % pa
        return None
    if made.returncode != 0:
        return "otpa make failed: %s" % errors
    checked = run([sys.executable, args.check, pa, "--old", old])
    if checked.returncode != 0:
        return "pa_check: %s" % checked.stdout.decode(errors="replace").strip()
    rebuilt = pa + ".rebuilt.otf"
    applied = run([args.otpa, "apply", old, pa, "-o", rebuilt])
    if applied.returncode != 0:
        return "otpa apply failed: %s" % (applied.stdout + applied.stderr).decode(errors="replace").strip()
    with open(rebuilt, "rb") as f, open(new, "rb") as g:
        if f.read() != g.read():
            return "the rebuilt font differs from the new font"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--check", required=True)
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--pairs")
    source.add_argument("--corpus")
    args = parser.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.check)))
    global pa_check, pa_format
    import pa_check
    import pa_format

    with tempfile.TemporaryDirectory() as work:
        if args.pairs:
            folder = os.path.join(work, "pairs")
            os.mkdir(folder)
            pairs = generated_pairs(args.pairs, folder)
            # A folder where a font should be: a failed read, not a crash.
            pairs.append(("refuse-folder", folder, pairs[0][2], "refuse cannot be read"))
        else:
            pairs = corpus_pairs(args.corpus)
        if not pairs:
            print("no font pairs found")
            return 1
        failures = 0
        for case, old, new, expect in pairs:
            problem = check_pair(args, work, case, old, new, expect)
            print("%-22s %s" % (case, problem or "as expected (%s)" % expect))
            failures += problem is not None
    print("%d of %d pairs failed" % (failures, len(pairs)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
