#!/usr/bin/env python3
"""make_package.py --otpa OTPA [--products TEXT] [--maker NAME --title TEXT [--icon FILE]
                   [--language ja|en] [--version X.Y.Z] [--copyright TEXT] [--company TEXT]]
                   OLD_DIR NEW_DIR PACKAGE_DIR

Writes an updater package from fonts: for every .otf and .ttf in NEW_DIR,
one difference file (made by `otpa make`) per distinct older revision of the
same file name under OLD_DIR, and updater.ini naming them. Two older revisions of
one font give BASE_1.pa and BASE_2.pa (oldest first), one gives BASE.pa;
resource ids count from 2001. The start text lists the revised families with
their weights.

--maker and --title make the package another maker's updater: they and the
options after them go into an [UPDATER_PROGRAM] section (the icon copied into
the package folder); --language en writes the start text in English too.

A font with no older revision, or whose older copies are all byte for byte
the new one, is passed over with a note. Anything that keeps a pair from being
revised is named with its reason and nothing is written. PACKAGE_DIR may hold
a former package (.ini and .pa files), which is replaced.
"""
import argparse
import datetime
import functools
import json
import pathlib
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "resources"))
import package  # noqa: E402

FIRST_RESOURCE_ID = 2001
# The fonts the updater finds: CFF and TrueType OpenType files.
FONT_EXTENSIONS = (".otf", ".ttf")
CONFIGURATION_NAME = "updater.ini"
# What scripts/rehearse lays out on its throw-away machine unless told
# otherwise: each older revision a difference file was made from, the
# oldest on drive d:, the next on e:, ... (one folder holds one file name).
REHEARSAL_LAYOUT = "rehearsal.layout"
REHEARSAL_DRIVES = "defghijklmnopqrstuvwxyz"
# The program reads the list lines of its start text into 255-byte buffers
# and a target file name ("BASE.otf") into 256 bytes.
MAX_VALUE_BYTES = 254
MAX_TARGET_BYTES = 255


class Refusal(Exception):
    pass


def run_otpa(otpa, *arguments):
    """otpa's standard output, or Refusal with its one-line reason."""
    result = subprocess.run([otpa, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        reason = result.stderr.decode("utf-8", "replace").strip().splitlines()
        raise Refusal(reason[-1] if reason else f"otpa {arguments[0]} failed ({result.returncode})")
    return result.stdout


@functools.lru_cache(maxsize=None)
def font_identity(otpa, path):
    """(font name, revision) of a font, asked of otpa once per file."""
    info = json.loads(run_otpa(otpa, "info", str(path), "--json"))
    if info.get("kind") != "font":
        raise Refusal(f"{path}: not a font")
    return info["fontName"], int(info["fontRevision"], 16)


def revision_text(revision):
    return f"{revision / 65536:.3f}"


def name_strings(data):
    """{name id: text} of a font's name table: the Windows English records,
    the Macintosh Roman ones where those are missing."""
    def unpack(fmt, offset):
        if offset + struct.calcsize(fmt) > len(data):
            raise Refusal("its name table lies outside the file")
        return struct.unpack_from(fmt, data, offset)

    (count,) = unpack(">H", 4)
    name = None
    for i in range(count):
        tag, _, offset, length = unpack(">4sIII", 12 + 16 * i)
        if tag == b"name":
            name = (offset, length)
    if name is None:
        raise Refusal("it has no name table")
    base, size = name
    records, storage = unpack(">2xHH", base)
    found = {}
    for i in range(records):
        platform, encoding, language, name_id, length, offset = unpack(">6H", base + 6 + 12 * i)
        start = base + storage + offset
        if storage + offset + length > size or start + length > len(data):
            raise Refusal("a name string lies outside the name table")
        raw = data[start:start + length]
        if (platform, encoding, language) == (3, 1, 0x409):
            found[name_id] = raw.decode("utf-16-be", "replace")
        elif (platform, encoding, language) == (1, 0, 0):
            found.setdefault(name_id, raw.decode("mac_roman"))
    return found


def family_and_weight(data):
    """The family and the weight as the start text lists them: the full name
    is "family weight" in the maker's fonts ("SampleGothic ProN Bold"), the
    typographic family and subfamily where the full name says otherwise."""
    names = name_strings(data)
    family = names.get(16) or names.get(1)
    full = names.get(4, "")
    if not family:
        raise Refusal("its name table gives no family name")
    if full.startswith(family + " ") and len(full) > len(family) + 1:
        return family, full[len(family) + 1:]
    return family, names.get(17) or names.get(2) or ""


def shift_jis(text, what):
    try:
        return text.encode("cp932")
    except UnicodeEncodeError:
        raise Refusal(f"{what} holds characters that Shift-JIS cannot hold: {text}") from None


class Target:
    """One new font and the older revisions it revises, oldest first."""

    def __init__(self, new_path):
        self.new_path = new_path
        self.name = new_path.name
        self.base = new_path.stem
        self.olds = []          # (revision, path)
        self.differences = []   # (revision, difference file name, bytes)
        self.family = None      # (family, weight)


def choose_pairs(otpa, old_dir, new_dir, problems, notes):
    new_fonts = sorted(p for p in new_dir.iterdir() if p.is_file() and p.suffix in FONT_EXTENSIONS)
    if not new_fonts:
        problems.append(f"{new_dir}: no .otf or .ttf file")
    # The updater finds an installed font by its base name: "X.otf" and
    # "X.ttf" would be one target.
    stems = {}
    for path in new_fonts:
        stems.setdefault(path.stem, []).append(path.name)
    for names in stems.values():
        if len(names) > 1:
            problems.append(f"{' and '.join(names)}: one name with two extensions, which the updater "
                            "cannot tell apart: rename one")
    older = {}
    for path in sorted(old_dir.rglob("*")):
        if path.is_file():
            older.setdefault(path.name, []).append(path)
    targets = []
    for new_path in new_fonts:
        target = Target(new_path)
        if not older.get(target.name):
            notes.append(f"{target.name}: passed over, no older revision of it under {old_dir}")
            continue
        try:
            if "_" in target.base:
                # The updater cuts a difference file's name at its first "_".
                raise Refusal('its name holds "_", which the updater reads as the start of a part number')
            if len(shift_jis(target.base + ".otf", "its name")) > MAX_TARGET_BYTES:
                raise Refusal(f"its name is longer than {MAX_TARGET_BYTES} bytes")
            _, new_revision = font_identity(otpa, new_path)
            new_bytes = new_path.read_bytes()
            by_revision = {}
            for old_path in older[target.name]:
                _, old_revision = font_identity(otpa, old_path)
                old_bytes = old_path.read_bytes()
                if old_bytes == new_bytes:
                    continue
                if old_revision == new_revision:
                    raise Refusal(f"{old_path} has the new font's revision {revision_text(new_revision)} "
                                  "with other bytes: the updater could not tell the two apart")
                kept = by_revision.setdefault(old_revision, old_path)
                if kept != old_path and kept.read_bytes() != old_bytes:
                    raise Refusal(f"{kept} and {old_path} are both revision {revision_text(old_revision)} "
                                  "but differ: one difference file cannot revise both")
            if not by_revision:
                notes.append(f"{target.name}: passed over, its older copies are already this revision")
                continue
            target.olds = sorted(by_revision.items())
            target.family = family_and_weight(new_bytes)
            targets.append(target)
        except Refusal as refusal:
            problems.append(f"{new_path.name}: {refusal}")
        except OSError as error:
            problems.append(f"{new_path.name}: {error.strerror}: {error.filename}")
    return targets


def make_differences(otpa, targets, problems):
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work) / "out.pa"
        for target in targets:
            for part, (revision, old_path) in enumerate(target.olds, 1):
                name = f"{target.base}_{part}.pa" if len(target.olds) > 1 else f"{target.base}.pa"
                try:
                    run_otpa(otpa, "make", str(old_path), str(target.new_path), "-o", str(out))
                    target.differences.append((revision, name, out.read_bytes()))
                except Refusal as refusal:
                    problems.append(f"{old_path} → {target.new_path}: {refusal}")


def start_lines(targets, english=False):
    """One line per family, in the order the fonts come, with its weights.
    English lines are quoted: the program drops the blanks around a value,
    not those inside quotes."""
    families = {}
    for target in targets:
        family, weight = target.family
        weights = families.setdefault(family, [])
        if weight not in weights:
            weights.append(weight)
    if english:
        return ['"  - ' + " ".join(filter(None, [family, "/".join(filter(None, weights))])) + '"'
                for family, weights in families.items()]
    return ["\u3000\u3000・" + " ".join(filter(None, [family, "／".join(filter(None, weights))]))
            for family, weights in families.items()]


def program_section(program):
    """The [UPDATER_PROGRAM] lines of another maker's updater, or none."""
    if program is None:
        return []
    lines = ["[UPDATER_PROGRAM]"]
    for key in ("TITLE", "MAKER", "COPYRIGHT", "COMPANY", "VERSION", "LANGUAGE", "ICON"):
        if program.get(key):
            lines.append(f"{key}={program[key]}")
    return lines


def configuration(targets, products, program=None):
    entries = [name for target in targets for _, name, _ in target.differences]
    lines = ["[UPDATE_FONT]", f"MAXNUM={len(entries)}"]
    for n, name in enumerate(entries, 1):
        lines += [f"FONT_PAFILE{n}={name}", f"FONT_RESNUM{n}={FIRST_RESOURCE_ID + n - 1}"]
    english = program is not None and program.get("LANGUAGE") == "en"
    listed = start_lines(targets, english)
    title = (f"For users of {products}, the following {len(targets)} fonts will be updated." if english else
             f"{products}をご利用のお客様は、下記{len(targets)}フォントが改訂対象です。")
    lines += ["[UPDATE_STARTDLG_STRING]", f"MAIN_TEXTTITLE={title}", f"MAXNUM={len(listed)}"]
    lines += [f"FONT_TEXTTITLE{n}={line}" for n, line in enumerate(listed, 1)]
    lines += program_section(program)
    for line in lines:
        if "=" not in line:
            continue
        value = line.split("=", 1)[-1].strip('"')
        limit = 1023 if line.startswith("MAIN_TEXTTITLE=") else MAX_VALUE_BYTES
        if len(shift_jis(value, line.split("=", 1)[0])) > limit:
            raise Refusal(f"{line.split('=', 1)[0]} would be longer than the {limit} bytes the updater reads")
    # Shift-JIS, CR LF, no line break after the last line: as the program
    # carries it.
    return shift_jis("\r\n".join(lines), "the configuration")


def prepare_folder(folder):
    if folder.exists():
        others = [p.name for p in folder.iterdir()
                  if p.suffix.lower() not in (".ini", ".pa", ".ico", ".layout") or not p.is_file()]
        if others:
            raise Refusal(f"{folder} holds other files than a package's: {', '.join(sorted(others))}")
        for stale in folder.iterdir():
            stale.unlink()
    folder.mkdir(parents=True, exist_ok=True)


def rehearsal_layout(targets):
    lines = ["# The installed fonts scripts/rehearse places on its throw-away machine:",
             "# DRIVE:/FOLDER = FONT, one per line."]
    for target in targets:
        for part, (_, old_path) in enumerate(target.olds):
            drive, round_ = REHEARSAL_DRIVES[part % len(REHEARSAL_DRIVES)], part // len(REHEARSAL_DRIVES)
            lines.append(f"{drive}:/Fonts{round_ or ''} = {old_path.resolve()}")
    return "\n".join(lines) + "\n"


def print_table(otpa, targets):
    rows = [("font", "revision", "difference file", ".pa bytes", "of the font")]
    for target in targets:
        new_size = target.new_path.stat().st_size
        new_revision = font_identity(otpa, target.new_path)[1]
        for revision, name, data in target.differences:
            rows.append((target.name, f"{revision_text(revision)} → {revision_text(new_revision)}", name,
                         f"{len(data):,}", f"{100 * len(data) / new_size:.1f} %"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    for row in rows:
        print("  ".join(cell.ljust(w) if i < 3 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths))))


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--products", help="what the start text calls the maker's fonts "
                        "(タブレロンフォント製品; with --maker: its name and フォント製品, or \"fonts\" in English)")
    parser.add_argument("--maker", help="another maker's updater: its name, as the start dialog says it")
    parser.add_argument("--title", help="the updater's title (captions, about box, version resource)")
    parser.add_argument("--icon", type=pathlib.Path, help="the updater's icon, a .ico file")
    parser.add_argument("--language", choices=("ja", "en"), help="the updater's language (ja)")
    parser.add_argument("--version", help="the updater's version, X.Y.Z")
    parser.add_argument("--copyright", help="the about box's copyright line")
    parser.add_argument("--company", help="the company the version resource names (the maker)")
    parser.add_argument("old_dir", type=pathlib.Path)
    parser.add_argument("new_dir", type=pathlib.Path)
    parser.add_argument("package_dir", type=pathlib.Path)
    args = parser.parse_args()
    for folder in (args.old_dir, args.new_dir):
        if not folder.is_dir():
            print(f"make-package: {folder}: no such folder", file=sys.stderr)
            return 1

    program = None
    if args.maker is not None or args.title is not None:
        if not args.maker or not args.title:
            print("make-package: --maker and --title go together", file=sys.stderr)
            return 2
        company = args.company or args.maker
        program = {"TITLE": args.title, "MAKER": args.maker, "COMPANY": company,
                   "COPYRIGHT": args.copyright or f"Copyright (C) {datetime.date.today().year} {company}",
                   "VERSION": args.version, "LANGUAGE": args.language or "ja",
                   "ICON": args.icon.name if args.icon else None}
    elif any(v is not None for v in (args.icon, args.language, args.version, args.copyright, args.company)):
        print("make-package: --icon, --language, --version, --copyright and --company need --maker and --title",
              file=sys.stderr)
        return 2
    products = args.products
    if products is None:
        products = "タブレロンフォント製品" if program is None else \
            f"{args.maker} fonts" if program["LANGUAGE"] == "en" else f"{args.maker}フォント製品"

    problems, notes = [], []
    if program is not None:
        keys = {key: value for key, value in program.items() if value}
        with tempfile.TemporaryDirectory() as work:
            # The section checked as scripts/package will check it, the icon
            # beside it as in the package folder.
            if args.icon is not None:
                if args.icon.is_file():
                    (pathlib.Path(work) / args.icon.name).write_bytes(args.icon.read_bytes())
                else:
                    problems.append(f"{args.icon}: no such file")
            problems += [p for p in package.program_problems(keys, pathlib.Path(work))
                         if args.icon is None or args.icon.is_file() or "ICON" not in p]
    targets = choose_pairs(args.otpa, args.old_dir, args.new_dir, problems, notes)
    # Every pair that passed is made even when others were refused: what otpa
    # refuses (a font it cannot read, say) is named in the same run.
    make_differences(args.otpa, targets, problems)
    if not problems and not targets:
        problems.append("no font to revise: no .otf or .ttf in NEW_DIR has an older revision under OLD_DIR")
    ini = None
    if not problems:
        try:
            ini = configuration(targets, products, program)
            prepare_folder(args.package_dir)
        except Refusal as refusal:
            problems.append(str(refusal))
    for note in notes:
        print(f"make-package: {note}", file=sys.stderr)
    if problems:
        for problem in problems:
            print(f"make-package: {problem}", file=sys.stderr)
        print("make-package: nothing written", file=sys.stderr)
        return 1
    for target in targets:
        for _, name, data in target.differences:
            (args.package_dir / name).write_bytes(data)
    (args.package_dir / CONFIGURATION_NAME).write_bytes(ini)
    (args.package_dir / REHEARSAL_LAYOUT).write_text(rehearsal_layout(targets), encoding="utf-8")
    if args.icon is not None:
        (args.package_dir / args.icon.name).write_bytes(args.icon.read_bytes())
    print_table(args.otpa, targets)
    entries = sum(len(t.differences) for t in targets)
    print(f"{args.package_dir}: {CONFIGURATION_NAME} and {entries} difference files for {len(targets)} fonts")
    return 0


if __name__ == "__main__":
    sys.exit(main())
