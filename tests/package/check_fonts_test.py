#!/usr/bin/env python3
"""check_fonts_test.py --otpa OTPA [--corpus DIR]
check_fonts_test.py --readme

scripts/check-fonts end to end: an old and a new folder laid out with every
kind of problem, the fonts derived from the corpus's small pair and changed
with struct; the report's exact lines and exit code, nothing written; the
same lines from make-package, which then writes nothing; a clean pair of
folders passes with its notes; an otpa refusal the rules did not foresee is
reported; both scripts' --help. With --readme: README.md's section "What
fonts can be revised" is the one `check-fonts --rules` writes.
"""
import argparse
import os
import pathlib
import struct
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "corpus"))
import sfnt  # noqa: E402

failures = []
README_START = "<!-- scripts/check-fonts --rules: begin -->"
README_END = "<!-- scripts/check-fonts --rules: end -->"


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", flush=True)
    return condition


def run(script, *arguments, cwd, env):
    result = subprocess.run([str(ROOT / "scripts" / script), *map(str, arguments)], cwd=cwd, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def adjusted(data):
    """The font with head.checkSumAdjustment made right for its bytes."""
    data = bytearray(data)
    head = sfnt.required_table(sfnt.read_tables(bytes(data)), b"head")
    struct.pack_into(">I", data, head.offset + 8, 0)
    struct.pack_into(">I", data, head.offset + 8, (0xB1B0AFBA - sfnt.word_sum(bytes(data))) & 0xFFFFFFFF)
    return bytes(data)


def entry(data, tag):
    """The offset of `tag`'s directory entry."""
    return 12 + 16 * [t.tag for t in sfnt.read_tables(data)].index(tag)


def with_names(data, change):
    """The font with its name records as `change` gives them back."""
    name = sfnt.required_table(sfnt.read_tables(data), b"name")
    return sfnt.with_tables(data, {b"name": sfnt.compile_name(change(sfnt.name_records(name.data)))})


def windows_first(records):
    return sorted(records, key=lambda record: record[0] != 3)


def with_bad_padding_and_checksum(new):
    """Padding after 'CFF ' that is not zero and a wrong directory checksum
    for 'GPOS', checkSumAdjustment left as it was."""
    data = bytearray(new)
    cff = sfnt.required_table(sfnt.read_tables(new), b"CFF ")
    assert cff.length % 4, "the corpus's CFF table has no padding to change"
    data[cff.offset + cff.length] = 0x55
    struct.pack_into(">I", data, entry(new, b"GPOS") + 4, 0x12345678)
    return bytes(data)


def tags_swapped(new):
    """The directory entries of 'BASE' and 'CFF ' swapped: the same words,
    so the same checksums."""
    data = bytearray(new)
    first, second = entry(new, b"BASE"), entry(new, b"CFF ")
    data[first:first + 16], data[second:second + 16] = new[second:second + 16], new[first:first + 16]
    return bytes(data)


def with_gap(new):
    """Four zero bytes between the directory and the first table."""
    tables = sfnt.read_tables(new)
    start = 12 + 16 * len(tables)
    data = bytearray(new[:start] + bytes(4) + new[start:])
    for k in range(len(tables)):
        struct.pack_into(">I", data, 12 + 16 * k + 8, tables[k].offset + 4)
    return adjusted(data)


def with_search_range(new, search_range):
    data = bytearray(new)
    struct.pack_into(">H", data, 6, search_range)
    return adjusted(data)


def odd_name(records):
    """A Windows string of odd length: the name table is not well-formed."""
    return [r[:4] + (r[4] + b"!",) if r[:4] == (3, 1, 0x409, 1) else r for r in records]


def with_modified(data, stamp):
    head = sfnt.required_table(sfnt.read_tables(data), b"head")
    return sfnt.with_tables(data, {b"head": head.data[:28] + stamp + head.data[36:]})


LONG = "L" * 250


def lay_out(work, corpus):
    """OLD and NEW with every kind of problem and note, and a clean pair of
    folders."""
    old, new = corpus / "small" / "old.otf", corpus / "small" / "new.otf"
    old, new = old.read_bytes(), new.read_bytes()
    revision = sfnt.font_revision(sfnt.read_tables(new))
    licence = {sfnt.WINDOWS_LICENCE: "A customer's own licence".encode("utf-16-be")}
    files = {
        "old/Fine.otf": old, "new/Fine.otf": new,
        "old/a/Licence.otf": old, "new/Licence.otf": sfnt.with_licence_texts(new, licence),
        "old/WindowsNames.otf": with_names(old, windows_first), "new/WindowsNames.otf": new,
        "old/x/Identical.otf": old, "old/y/Identical.otf": new, "new/Identical.otf": new,
        "old/ExSans-Regular.OTF": old, "new/ExSans-Regular.OTF": new,
        "old/Ex_Sans.otf": old, "new/Ex_Sans.otf": new,
        "old/Café.otf": old, "new/Café.otf": new,
        f"old/1/{LONG}.otf": old, f"old/2/{LONG}.otf": sfnt.with_revision(old, 0x00010000),
        f"new/{LONG}.otf": new,
        "old/Twin.otf": old, "new/Twin.otf": new, "new/Twin.ttf": new,
        "old/Classic.ttf": old, "new/Classic.ttf": new,
        "old/Collection.otf": old, "new/Collection.otf": b"ttcf" + new[4:],
        "old/NotCff.otf": b"\0\1\0\0" + old[4:], "new/NotCff.otf": b"\0\1\0\0" + new[4:],
        "old/Cut.otf": old, "new/Cut.otf": new[:5000],
        "old/NoName.otf": with_names(old, lambda rs: windows_first([r for r in rs if r[3] not in (4, 6)])),
        "new/NoName.otf": new,
        "old/Padded.otf": old, "new/Padded.otf": with_bad_padding_and_checksum(new),
        "old/Swapped.otf": old, "new/Swapped.otf": tags_swapped(new),
        "old/Gap.otf": old, "new/Gap.otf": with_gap(new),
        "old/Trailing.otf": old, "new/Trailing.otf": new + bytes(4),
        "old/Search.otf": old, "new/Search.otf": with_search_range(new, 0x40),
        "old/OddName.otf": with_names(old, windows_first), "new/OddName.otf": with_names(new, odd_name),
        "old/SameRevision.otf": sfnt.with_revision(old, revision), "new/SameRevision.otf": new,
        "old/a/Copies.otf": old, "old/b/Copies.otf": with_modified(old, bytes(8)), "new/Copies.otf": new,
        "old/Back.otf": sfnt.with_revision(old, 0x000100C5), "new/Back.otf": new,
        "old/Drift.otf": old, "new/Drift.otf": new,
        "new/Lone.otf": new, "old/Gone.otf": old,
        "new/readme.txt": b"release notes", "new/Family.ttc": b"ttcf", "new/Web.woff2": b"wOF2",
        "new/extras/More.otf": new, "old/notes.pdf": b"%PDF",
        "clean-old/Fine.otf": old, "clean-new/Fine.otf": new,
        "clean-old/Licence.otf": old, "clean-new/Licence.otf": sfnt.with_licence_texts(new, licence),
        "clean-old/WindowsNames.otf": with_names(old, windows_first), "clean-new/WindowsNames.otf": new,
        "clean-new/Lone.otf": new,
    }
    for name, data in files.items():
        path = work / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


SAVE = "save it again from your font editor, or with fontTools: TTFont(path).save(path)"
EXPECTED = [
    "Twin.otf and Twin.ttf: one name with two extensions, which would both make the difference file Twin.pa; "
    "leave one of them out of new [one-extension]",
    "old/Back.otf: its revision 1.003 is above the new font's 1.002: the updater would take customers back to an "
    "older revision; give Back.otf a higher fontRevision, or look whether old and new are swapped [newer]",
    "Café.otf: its name holds é, which Shift-JIS cannot hold, so the Windows program would never find it; leave it "
    "out of new, and give its next releases another name [shift-jis]",
    "Classic.ttf: the updater revises it with a classic difference file, with which it looks for \".otf\" names "
    "only, so it never finds a copy named Classic.ttf: if your customers have it as Classic.otf, name it so here "
    "and under old; otherwise leave it out of new [ttf-classic]",
    "Collection.otf: a font collection (ttcf), not a single font; give its fonts one by one as .otf or .ttf files "
    "[single-font]",
    "old/a/Copies.otf and old/b/Copies.otf: both revision 1.001 but they differ: one difference file revises one "
    "revision; keep under old only the copy your customers have [one-copy]",
    "Cut.otf: table 'BASE' runs past the end of the file; export it again from your font editor [directory]",
    "old/Drift.otf → Drift.otf: otpa make refuses the pair, which these rules did not foresee: a refusal of its "
    "own [otpa]",
    "ExSans-Regular.OTF: the updater looks only for names ending in \".otf\" or \".ttf\" and never finds a copy "
    "named ExSans-Regular.OTF: if your customers have it as ExSans-Regular.otf, name it so here and under old; "
    "otherwise leave it out of new [extension]",
    "Ex_Sans.otf: its name holds \"_\", which the updater reads as the start of a part number in a difference "
    "file's name, and would know this font as Ex.otf; leave it out of new, and give its next releases another "
    "name [underscore]",
    f"Gap.otf: table 'head' follows a gap (tables must follow the directory and each other); {SAVE} [gap]",
    "note: old/y/Identical.otf: passed over, byte for byte the new font [same-bytes]",
    f"{LONG}.otf: {LONG}_2.pa is 255 bytes in Shift-JIS, more than the 254 the updater reads; leave it out of "
    "new, and give its next releases a shorter name [name-length]",
    "note: Licence.otf: its License Description texts (name ID 13) differ from old/a/Licence.otf's: the customers "
    "keep theirs, since the updater carries each customer's texts into the new font [licence]",
    "note: Lone.otf: passed over, no older revision of it under old [no-older]",
    "old/NoName.otf: the updater could not tell which installed font it is: it has no PostScript name (name ID 6) "
    "nor full name (name ID 4), and its fifth name record (record index 4, name ID 5) is a Windows one, whose "
    "UTF-16 text is no 8-bit name; it cannot revise the customers' copies of this revision: take it out of old "
    "[identity]",
    "NotCff.otf: not an OpenType font with CFF outlines (sfnt version OTTO) nor one with TrueType outlines (its "
    "sfnt version is 00010000 but it has no 'glyf' table); export it again from your font editor [sfnt]",
    "old/NotCff.otf: not an OpenType font with CFF outlines (sfnt version OTTO) nor one with TrueType outlines (its "
    "sfnt version is 00010000 but it has no 'glyf' table); put the copy your customers have in its place, or take "
    "it out of old [sfnt]",
    "OddName.otf: its name table is not well-formed: the UTF-16 string of record 9 has an odd length; export it "
    "again from your font editor [name-table]",
    f"Padded.otf: table 'CFF ' is followed by padding that is not zero; {SAVE} [padding]",
    f"Padded.otf: the directory checksum of table 'GPOS' is 12345678, not the table's own 87D46981; {SAVE} "
    "[table-checksum]",
    f"Padded.otf: its head.checkSumAdjustment (98B15D1A) does not bring the checksum of the file to B1B0AFBA; "
    f"{SAVE} [font-checksum]",
    "old/SameRevision.otf: it has the new font's revision 1.002 with other bytes: the updater could not tell the "
    "two apart; give SameRevision.otf a higher fontRevision in its head table [same-revision]",
    f"Search.otf: its searchRange, entrySelector and rangeShift are 64, 3, 112, where its 15 tables give 128, 3, "
    f"112; {SAVE} [search-fields]",
    f"Swapped.otf: its directory lists 'CFF ' before 'BASE', not the tags in ascending order; {SAVE} [tag-order]",
    f"Trailing.otf: 4 bytes follow its last table; {SAVE} [trailing]",
    "note: Twin.ttf: passed over, no older revision of it under old [no-older]",
    "note: Family.ttc: passed over, a font collection, which the updater cannot revise: it revises single fonts "
    "[passed-over]",
    "note: Web.woff2: passed over, a web font, which nobody installs: the updater revises installed fonts "
    "[passed-over]",
    "note: new/extras/: passed over, a folder: make-package takes the files directly in new [passed-over]",
    "note: readme.txt: passed over, not a font file name (.otf or .ttf) [passed-over]",
    "note: old/Gone.otf: passed over, new has no font of this name [no-newer]",
    "note: old/notes.pdf: passed over, not a font file name (.otf or .ttf) [passed-over]",
]
CLEAN = [
    "note: Licence.otf: its License Description texts (name ID 13) differ from clean-old/Licence.otf's: the "
    "customers keep theirs, since the updater carries each customer's texts into the new font [licence]",
    "note: Lone.otf: passed over, no older revision of it under clean-old [no-older]",
]


def tree(folder):
    return {str(p.relative_to(folder)): (p.stat().st_size, p.stat().st_mtime_ns) for p in sorted(folder.rglob("*"))}


def compare(lines, expected, what):
    """Every line as expected, the first that differs named."""
    for k, (line, wanted) in enumerate(zip(lines, expected)):
        if not check(line == wanted, f"{what}, line {k + 1}:\n  got      {line}\n  expected {wanted}"):
            return
    check(len(lines) == len(expected), f"{what}: {len(lines)} lines, expected {len(expected)}:\n" + "\n".join(lines))


def check_reports(work, env):
    before = tree(work)
    code, out, err = run("check-fonts", "--classic", "old", "new", cwd=work, env=env)
    check(code == 1 and err == "", f"check-fonts on the problems: exit {code}, {err}")
    compare(out.splitlines(), EXPECTED + ["check-fonts: 28 fonts, 4 can be revised, 23 problems, 10 notes"],
            "check-fonts on the problems")
    check(tree(work) == before, "check-fonts wrote into the folders")

    code, out, err = run("make-package", "--classic", "old", "new", "package", cwd=work, env=env)
    check(code == 1 and out == "", f"make-package on the problems: exit {code}, {out}")
    compare(err.splitlines(), [f"make-package: {line}" for line in EXPECTED] + ["make-package: nothing written"],
            "make-package on the problems")
    check(not (work / "package").exists(), "make-package wrote a package despite the problems")

    code, out, err = run("check-fonts", "--classic", "clean-old", "clean-new", cwd=work, env=env)
    check(code == 0 and err == "", f"check-fonts on clean folders: exit {code}, {err}")
    compare(out.splitlines(), CLEAN + ["check-fonts: 4 fonts, 3 can be revised, 0 problems, 2 notes"],
            "check-fonts on clean folders")
    code, out, err = run("make-package", "--classic", "clean-old", "clean-new", "clean-package", cwd=work, env=env)
    check(code == 0 and err.splitlines() == [f"make-package: {line}" for line in CLEAN],
          f"make-package on clean folders: exit {code}, {err}")
    package = work / "clean-package"
    made = {p.name: p.read_bytes()[:4] for p in package.iterdir()} if package.is_dir() else {}
    # The fifth name record a Windows one: the extended format identifies it.
    check(made == {"Fine.pa": b"XOTP", "Licence.pa": b"XOTP", "WindowsNames.pa": b"XOTE", "updater.ini": b"[UPD"},
          f"make-package's package of the clean folders: {made}")

    # By default the smallest files, compressed: Classic.ttf then gets an
    # extended one, with which the updater finds .ttf names too.
    code, out, err = run("check-fonts", "old", "new", cwd=work, env=env)
    compare(out.splitlines(), [line for line in EXPECTED if not line.endswith("[ttf-classic]")] +
            ["check-fonts: 28 fonts, 5 can be revised, 22 problems, 10 notes"], "check-fonts on the problems, smallest")
    code, out, err = run("make-package", "clean-old", "clean-new", "small-package", cwd=work, env=env)
    check(code == 0, f"make-package on clean folders, smallest: exit {code}, {err}")
    small = {p.name: p.read_bytes() for p in (work / "small-package").iterdir()}
    for name in ("Fine.pa", "Licence.pa", "WindowsNames.pa"):
        classic_size = (package / name).stat().st_size
        check(small[name][:4] == b"XOTE" and len(small[name]) < classic_size,
              f"{name}: {small[name][:4]} of {len(small[name])} bytes, the classic one {classic_size}")
        check(f"{name}  " in out and f"{len(small[name]):,}" in out and f"{classic_size:,}" in out,
              f"make-package's table lacks {name}'s sizes:\n{out}")


def check_otpa_agrees(work, otpa):
    """What the rules refuse in a font, otpa make refuses too: the rules are
    no stricter than the maker's tool."""
    for name in ("Collection", "Cut", "NotCff", "NoName", "Padded", "Swapped", "Gap", "Trailing", "Search",
                 "OddName"):
        result = subprocess.run([str(otpa), "make", f"old/{name}.otf", f"new/{name}.otf", "-o", "made.pa"],
                                cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        check(result.returncode == 1 and not (work / "made.pa").exists(),
              f"otpa make took the pair of {name}.otf, which the rules refuse")


def check_usage(env):
    for script in ("check-fonts", "make-package"):
        for option in ("--help", "-h"):
            # No otpa at hand: the usage must not need one.
            code, out, err = run(script, option, cwd=ROOT, env=dict(env, OTPA="/nonexistent"))
            check(code == 0 and out.startswith(f"usage: scripts/{script} ") and "OLD_DIR NEW_DIR" in out and
                  "otpa" not in out and err == "", f"{script} {option}: exit {code}:\n{out}{err}")


def check_readme():
    """README.md's section is the one the rules make."""
    text = (ROOT / "README.md").read_text()
    if not check(README_START in text and README_END in text, "README.md lacks the markers of the rules' section"):
        return
    section = text.split(README_START, 1)[1].split(README_END, 1)[0].strip("\n") + "\n"
    generated = subprocess.run([str(ROOT / "scripts" / "check-fonts"), "--rules"], stdout=subprocess.PIPE,
                               check=True).stdout.decode()
    check(section == generated, "README.md's \"What fonts can be revised\" differs from scripts/check-fonts "
          "--rules: put that in its place")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--otpa", type=pathlib.Path)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    parser.add_argument("--readme", action="store_true")
    args = parser.parse_args()
    if args.readme:
        check_readme()
    elif args.otpa is None:
        parser.error("--otpa is needed")
    else:
        check_all(args.otpa.resolve(), args.corpus.resolve())
    print("check_fonts: " + ("passed" if not failures else f"{len(failures)} checks failed"))
    return 1 if failures else 0


def check_all(otpa, corpus):
    with tempfile.TemporaryDirectory(prefix="otu-check-fonts-") as temporary:
        work = pathlib.Path(temporary)
        lay_out(work, corpus)
        # otpa as the check runs it, refusing the pair of Drift.otf as a
        # later otpa might refuse what the rules do not foresee.
        wrapper = work / "otpa"
        wrapper.write_text(f"#!/bin/sh\ncase \"$3\" in *Drift.otf) echo 'otpa make: a refusal of its own' >&2; "
                           f"exit 1;; esac\nexec {otpa} \"$@\"\n")
        wrapper.chmod(0o755)
        env = dict(os.environ, OTPA=str(wrapper))
        check_reports(work, env)
        check_otpa_agrees(work, otpa)
        check_usage(env)


if __name__ == "__main__":
    sys.exit(main())
