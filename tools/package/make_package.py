#!/usr/bin/env python3
"""make_package.py: scripts/make-package, an updater package from the maker's
fonts, as USAGE says. The fonts are checked first by font_rules.py, which
makes the difference files of the pairs that pass; resource ids count from
2001; the start text lists the revised families with their weights.
"""
import argparse
import datetime
import pathlib
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "resources"))
import package  # noqa: E402
import font_rules  # noqa: E402
from opentype import english_names, revision_text  # noqa: E402

USAGE = """scripts/make-package [--classic] [--products TEXT] [--maker NAME --title TEXT [--icon FILE]
           [--language ja|en] [--version X.Y.Z] [--copyright TEXT] [--company TEXT]]
           OLD_DIR NEW_DIR PACKAGE_DIR

Writes an updater package from the maker's fonts: for every .otf and .ttf in
NEW_DIR, one difference file per older revision of the same file name under
OLD_DIR (any depth), and updater.ini. Checks the fonts first as
scripts/check-fonts does and writes nothing while there is a problem. Two
older revisions of one font give NAME_1.pa and NAME_2.pa. --maker and
--title make another maker's updater; --language en writes its texts in
English. The difference files are the smallest that can be made
(compressed where that is smaller); --classic makes classic ones, which
every release of the updater reads. Prints a table of what it made, with
the classic file's size beside each. PACKAGE_DIR may hold a former
package, which is replaced. Beside it, PACKAGE_DIR.layout names the older
fonts as scripts/rehearse lays them out on its throw-away machine."""

FIRST_RESOURCE_ID = 2001
CONFIGURATION_NAME = "updater.ini"
# What scripts/rehearse lays out on its throw-away machine unless told
# otherwise: each older revision a difference file was made from, the
# oldest on drive d:, the next on e:, ... (one folder holds one file name).
# Written beside the package folder as PACKAGE_DIR.layout: the folder holds
# what the programs carry and nothing else.
REHEARSAL_DRIVES = "defghijklmnopqrstuvwxyz"


class Refusal(Exception):
    pass


def family_and_weight(font):
    """The family and the weight as the start text lists them: the full name
    is "family weight" in the maker's fonts ("SampleGothic ProN Bold"), the
    typographic family and subfamily where the full name says otherwise."""
    names = english_names(font)
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
    """One new font and the difference files that revise its older
    revisions, oldest first."""

    def __init__(self, revisable):
        self.new_path = revisable.path
        self.name = revisable.path.name
        self.revision = revisable.font.revision
        base = revisable.path.stem
        self.differences = [  # (revision, difference file name, bytes)
            (revision, f"{base}_{part}.pa" if len(revisable.olds) > 1 else f"{base}.pa", data)
            for part, (revision, _, data) in enumerate(revisable.olds, 1)]
        self.old_paths = [path for _, path, _ in revisable.olds]
        self.family = family_and_weight(revisable.font)


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
        limit = 1023 if line.startswith("MAIN_TEXTTITLE=") else package.MAX_VALUE_BYTES
        if len(shift_jis(value, line.split("=", 1)[0])) > limit:
            raise Refusal(f"{line.split('=', 1)[0]} would be longer than the {limit} bytes the updater reads")
    # Shift-JIS, CR LF, no line break after the last line: as the program
    # carries it.
    return shift_jis("\r\n".join(lines), "the configuration")


def prepare_folder(folder):
    if folder.exists():
        others = [p.name for p in folder.iterdir()
                  if p.suffix.lower() not in (".ini", ".pa", ".ico") or not p.is_file()]
        if others:
            raise Refusal(f"{folder} holds other files than a package's: {', '.join(sorted(others))}")
        for stale in folder.iterdir():
            stale.unlink()
    folder.mkdir(parents=True, exist_ok=True)


def rehearsal_layout_path(package_dir):
    return package_dir.resolve().parent / (package_dir.resolve().name + ".layout")


def rehearsal_layout(targets):
    lines = ["# The installed fonts scripts/rehearse places on its throw-away machine:",
             "# DRIVE:/FOLDER = FONT, one per line."]
    for target in targets:
        for part, old_path in enumerate(target.old_paths):
            drive, round_ = REHEARSAL_DRIVES[part % len(REHEARSAL_DRIVES)], part // len(REHEARSAL_DRIVES)
            lines.append(f"{drive}:/Fonts{round_ or ''} = {old_path.resolve()}")
    return "\n".join(lines) + "\n"


def classic_size(otpa, old_path, new_path):
    """The bytes of `otpa make --classic`'s file for the pair, as text."""
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work) / "classic.pa"
        if font_rules.otpa_make(otpa, old_path, new_path, out, classic=True) is not None:
            return "refused"
        return f"{out.stat().st_size:,}"


def print_table(targets, otpa):
    rows = [("font", "revision", "difference file", ".pa bytes", "of the font", "classic .pa")]
    for target in targets:
        new_size = target.new_path.stat().st_size
        for (revision, name, data), old_path in zip(target.differences, target.old_paths):
            rows.append((target.name, f"{revision_text(revision)} → {revision_text(target.revision)}", name,
                         f"{len(data):,}", f"{100 * len(data) / new_size:.1f} %",
                         classic_size(otpa, old_path, target.new_path)))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    for row in rows:
        print("  ".join(cell.ljust(w) if i < 3 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths))))


def main():
    parser = argparse.ArgumentParser(usage=USAGE)
    parser.add_argument("--otpa", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--classic", action="store_true", help="classic difference files only")
    parser.add_argument("--products", help="what the start text calls the maker's fonts "
                        "(タブレロンフォント製品; with --maker: its name and フォント製品, or \"fonts\" in English)")
    parser.add_argument("--maker", help="another maker's updater: its name, as the start dialog says it")
    parser.add_argument("--title", help="the updater's title (captions, about box, version resource)")
    parser.add_argument("--icon", type=pathlib.Path, help="the updater's icon, a .ico file")
    parser.add_argument("--language", choices=("ja", "en"), help="the updater's language (ja)")
    parser.add_argument("--version", help="the updater's version, X.Y.Z")
    parser.add_argument("--copyright", help="the about box's copyright line")
    parser.add_argument("--company", help="the company the version resource names (the maker)")
    parser.add_argument("old_dir", type=pathlib.Path, metavar="OLD_DIR")
    parser.add_argument("new_dir", type=pathlib.Path, metavar="NEW_DIR")
    parser.add_argument("package_dir", type=pathlib.Path, metavar="PACKAGE_DIR")
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

    problems = []
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
    report = font_rules.check(args.otpa, args.old_dir, args.new_dir, args.classic)
    targets = []
    for revisable in report.revisable:
        try:
            targets.append(Target(revisable))
        except Refusal as refusal:
            problems.append(f"{revisable.path.name}: {refusal}")
    if not report.problems and not problems and not targets:
        problems.append("no font to revise: no .otf or .ttf in NEW_DIR has an older revision under OLD_DIR")
    ini = None
    if not report.problems and not problems:
        try:
            ini = configuration(targets, products, program)
            prepare_folder(args.package_dir)
        except Refusal as refusal:
            problems.append(str(refusal))
    for finding in report.findings:
        print(f"make-package: {finding.line()}", file=sys.stderr)
    if problems or report.problems:
        for problem in problems:
            print(f"make-package: {problem}", file=sys.stderr)
        print("make-package: nothing written", file=sys.stderr)
        return 1
    for target in targets:
        for _, name, data in target.differences:
            (args.package_dir / name).write_bytes(data)
    (args.package_dir / CONFIGURATION_NAME).write_bytes(ini)
    rehearsal_layout_path(args.package_dir).write_text(rehearsal_layout(targets), encoding="utf-8")
    if args.icon is not None:
        (args.package_dir / args.icon.name).write_bytes(args.icon.read_bytes())
    print_table(targets, args.otpa)
    entries = sum(len(t.differences) for t in targets)
    print(f"{args.package_dir}: {CONFIGURATION_NAME} and {entries} difference files for {len(targets)} fonts")
    return 0


if __name__ == "__main__":
    sys.exit(main())
