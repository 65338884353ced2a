#!/usr/bin/env python3
"""package_test.py --build BUILD [--corpus DIR]

The maker's path from fonts to programs: scripts/make-package on corpus fonts
laid out as old and new folders (two installed revisions of one font, one of
another, a font with no older revision), its table and its updater.ini;
what it refuses; scripts/package's refusals on broken copies of the package,
each with its line and nothing built; then scripts/package on the package
and the POSIX program it built, run on a throw-away machine by the
end-to-end harness (made-package): the installed fonts become the new ones.
Needs root for the last step (exits 77 without it).
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
sys.path.insert(0, str(ROOT / "tests" / "corpus"))
import e2e  # noqa: E402
import sfnt  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", flush=True)
    return condition


def run(script, *arguments, env):
    result = subprocess.run([str(ROOT / "scripts" / script), *map(str, arguments)], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=1800)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def lay_out(work, corpus):
    """OLD: two revisions of the Mincho, one of the Gothic; NEW: both revised
    and a font that has no older revision."""
    old, new = work / "old", work / "new"
    mincho, gothic = e2e.MINCHO, e2e.GOTHIC
    for path, data in [
            (old / "a" / mincho[0], corpus.bytes(mincho[1], "old")),
            (old / "b" / "c" / mincho[0], e2e.oldest(corpus)),
            (old / gothic[0], corpus.bytes(gothic[1], "old")),
            (new / mincho[0], corpus.bytes(mincho[1], "new")),
            (new / gothic[0], corpus.bytes(gothic[1], "new")),
            (new / "SampleMinchoPr6N-R.otf", corpus.bytes("outlines", "new"))]:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return old, new


def check_made_package(package, code, out, err):
    if not check(code == 0, f"make-package failed ({code}): {err}"):
        return
    rows = [line.split() for line in out.splitlines()[1:4]]
    expected = [["SampleGothicProN-M.otf", "1.001", "→", "1.002", "SampleGothicProN-M.pa"],
                ["SampleMinchoProN-R.otf", "1.000", "→", "1.002", "SampleMinchoProN-R_1.pa"],
                ["SampleMinchoProN-R.otf", "1.001", "→", "1.002", "SampleMinchoProN-R_2.pa"]]
    check([row[:5] for row in rows] == expected, f"make-package table:\n{out}")
    for row in rows:
        pa = package / row[4]
        check(pa.is_file() and f"{pa.stat().st_size:,}" == row[5], f"{row[4]}: size in the table {row[5]}")
    check("SampleMinchoPr6N-R.otf: passed over, no older revision" in err, f"the lone font's note: {err}")
    raw = (package / "updater.ini").read_bytes()
    text = raw.decode("cp932")
    check(not raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b""), "updater.ini line ends")
    check(text.split("\r\n") == [
        "[UPDATE_FONT]", "MAXNUM=3",
        "FONT_PAFILE1=SampleGothicProN-M.pa", "FONT_RESNUM1=2001",
        "FONT_PAFILE2=SampleMinchoProN-R_1.pa", "FONT_RESNUM2=2002",
        "FONT_PAFILE3=SampleMinchoProN-R_2.pa", "FONT_RESNUM3=2003",
        "[UPDATE_STARTDLG_STRING]",
        "MAIN_TEXTTITLE=" + e2e.MADE_START_TEXT.split("\n")[0], "MAXNUM=2",
        "FONT_TEXTTITLE1=\u3000\u3000・SampleGothic ProN M", "FONT_TEXTTITLE2=\u3000\u3000・SampleMincho ProN R"],
        f"updater.ini:\n{text}")
    check(sorted(p.name for p in package.iterdir()) ==
          ["SampleGothicProN-M.pa", "SampleMinchoProN-R_1.pa", "SampleMinchoProN-R_2.pa", "updater.ini"],
          f"package files {sorted(p.name for p in package.iterdir())}")


def check_make_refusals(work, corpus, env):
    """Fonts that cannot be revised: each named with its reason, nothing
    written."""
    old, new = work / "bad-old", work / "bad-new"
    for folder in (old, new):
        folder.mkdir()
    small_old, small_new = corpus.bytes("small", "old"), corpus.bytes("small", "new")
    (old / "NotCff.otf").write_bytes(b"\0\1\0\0" + small_old[4:])
    (new / "NotCff.otf").write_bytes(b"\0\1\0\0" + small_new[4:])
    (old / "Part_1.otf").write_bytes(small_old)
    (new / "Part_1.otf").write_bytes(small_new)
    (old / "SameRevision.otf").write_bytes(sfnt.with_revision(small_old, 0x00010083))
    (new / "SameRevision.otf").write_bytes(small_new)
    (old / "Fine.otf").write_bytes(small_old)
    (new / "Fine.otf").write_bytes(small_new)
    package = work / "bad-package"
    code, out, err = run("make-package", old, new, package, env=env)
    check(code == 1 and out == "", f"make-package on unrevisable fonts: {code} {out}")
    for line in ["NotCff.otf: ", 'Part_1.otf: its name holds "_"',
                 "SameRevision.otf: ", "has the new font's revision 1.002 with other bytes", "nothing written"]:
        check(line in err, f"make-package refusal {line!r} missing: {err}")
    check("not an OpenType font with CFF outlines" in err.split("NotCff.otf: ", 1)[-1].splitlines()[0],
          f"the reason for NotCff.otf: {err}")
    check(not package.exists(), "make-package wrote a refused package")


def check_package_refusals(work, package, env):
    """Broken copies of a good package: one line each, no output."""
    def broken(name, change):
        copy = work / name
        shutil.copytree(package, copy)
        ini = copy / "updater.ini"
        text = ini.read_bytes().decode("cp932")
        # A change returns the configuration's new text, or changes files.
        result = change(copy, text)
        if isinstance(result, str):
            ini.write_bytes(result.encode("cp932"))
        return copy

    cases = [
        ("missing-file", lambda c, t: (c / "SampleMinchoProN-R_1.pa").unlink(),
         "package: FONT_PAFILE2: SampleMinchoProN-R_1.pa is missing"),
        ("duplicated-id", lambda c, t: t.replace("FONT_RESNUM3=2003", "FONT_RESNUM3=2001"),
         "package: FONT_RESNUM3 is 2001, as FONT_RESNUM1 is"),
        ("wrong-maxnum", lambda c, t: t.replace("MAXNUM=3", "MAXNUM=4", 1),
         "package: UPDATE_FONT MAXNUM is 4 but FONT_PAFILE1 to FONT_PAFILE3 name 3 difference files"),
        ("not-a-difference", lambda c, t: shutil.copy(c / "updater.ini", c / "SampleGothicProN-M.pa"),
         'package: FONT_PAFILE1: SampleGothicProN-M.pa is not a difference file (it does not start with "XOTP")'),
        ("cut-difference", lambda c, t: (c / "SampleGothicProN-M.pa").write_bytes(b"XOTP" + bytes(20)),
         "package: FONT_PAFILE1: SampleGothicProN-M.pa: its font name and revision cannot be read"),
        ("same-revision", lambda c, t: shutil.copy(c / "SampleMinchoProN-R_2.pa", c / "SampleMinchoProN-R_1.pa"),
         "package: FONT_PAFILE2 and FONT_PAFILE3 both revise SampleMinchoProN-R.otf at revision 0x00010042"),
        ("no-start-text", lambda c, t: re.sub(r"MAIN_TEXTTITLE=[^\r]*\r\n", "", t),
         "package: no start text: UPDATE_STARTDLG_STRING lacks MAIN_TEXTTITLE"),
    ]
    for name, change, line in cases:
        copy = broken(name, change)
        out_dir = work / f"{name}-out"
        code, out, err = run("package", copy, out_dir, env=env)
        lines = err.splitlines()
        check(code == 1 and lines == [line] or (code == 1 and len(lines) == 1 and lines[0].startswith(line)),
              f"package {name}: exit {code}, said {lines}, expected {line!r}")
        check(not out_dir.exists() and out == "", f"package {name} made output")


def check_programs(out_dir, out):
    exe, posix = out_dir / "OpenTypeUpdater.exe", out_dir / "opentype-updater"
    for program in (exe, posix):
        check(program.is_file() and f"{program}  {program.stat().st_size:,} bytes" in out,
              f"scripts/package's size line for {program}: {out}")
    data = exe.read_bytes() if exe.is_file() else b""
    pe = int.from_bytes(data[0x3C:0x40], "little") if len(data) > 0x40 else 0
    check(data[:2] == b"MZ" and data[pe:pe + 6] == b"PE\0\0\x4c\x01", "OpenTypeUpdater.exe is not an i686 PE file")
    check(posix.is_file() and os.access(posix, os.X_OK) and posix.read_bytes()[:4] == b"\x7fELF",
          "opentype-updater is not a program of this machine")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--build", type=pathlib.Path, required=True)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("SKIP: the sandbox needs root (namespaces, loop devices)")
        return 77
    build = args.build.resolve()
    corpus = e2e.Corpus(args.corpus.resolve())
    env = dict(os.environ, OTPA=str(build / "bin" / "otpa"), OTU_PACKAGE_BUILD=str(build / "package-test"))
    with tempfile.TemporaryDirectory(prefix="otu-package-") as temporary:
        work = pathlib.Path(temporary)
        old, new = lay_out(work, corpus)
        package = work / "package"
        check_made_package(package, *run("make-package", old, new, package, env=env))
        check_make_refusals(work, corpus, env)
        if failures:
            return 1
        check_package_refusals(work, package, env)
        out_dir = work / "programs"
        code, out, err = run("package", package, out_dir, env=env)
        if check(code == 0, f"scripts/package failed ({code}): {err[-3000:]}"):
            check_programs(out_dir, out)
            result = subprocess.run(["/usr/bin/python3", str(ROOT / "tests" / "posix" / "e2e.py"),
                                     "--build", str(build), "--corpus", str(args.corpus.resolve()),
                                     "--only", "made-package", "--program", str(out_dir / "opentype-updater")])
            check(result.returncode == 0, "the made program's end-to-end run failed")
    print("packaging: " + ("passed" if not failures else f"{len(failures)} checks failed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
