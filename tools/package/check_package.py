#!/usr/bin/env python3
"""check_package.py --otpa OTPA PACKAGE_DIR

Checks a package folder before a program is built with it, the way the
program will read it: one configuration; MAXNUM of UPDATE_FONT equal to the
difference entries FONT_PAFILE1, FONT_PAFILE2, ... it numbers without a gap;
every entry's resource id within 1 to 65535 and used once; every named file
present, starting with "XOTP" (or "XOTE", the extended format), its font
name and revision readable by otpa;
two entries for one installed file name for different revisions; a start
text; no value longer than the program reads; an [UPDATER_PROGRAM] section,
where there is one, with known keys only, a title and a maker that fit the
dialogs' lines and captions and have a Shift-JIS form (ASCII for an English
program), a version X.Y.Z, a sound .ico, a language ja or en and download
folders and files that name each other. Prints one line per problem and
exits 1 if there is any.
"""
import argparse
import json
import pathlib
import re
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "resources"))
import package  # noqa: E402
from font_rules import MAX_TARGET_BYTES, sjis_length, target_name  # noqa: E402

MAX_TITLE_BYTES = 1023      # MAIN_TEXTTITLE, read into 1024 bytes


def leading_integer(value):
    """The value as the program converts it: an optional sign and the digits
    that follow, None when it does not start with them."""
    match = re.match(r"[+-]?\d+", value)
    return int(match.group(0)) if match else None


def difference_identity(otpa, path):
    result = subprocess.run([otpa, "info", str(path), "--json"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        lines = result.stderr.decode("utf-8", "replace").strip().splitlines()
        return None, lines[-1] if lines else "otpa info failed"
    info = json.loads(result.stdout)
    if info.get("kind") != "difference":
        return None, "otpa does not read it as a difference file"
    return (info["fontName"], info["expectedRevision"]), None


def check_values(name, keys, problems):
    for key, value in keys.items():
        limit = MAX_TITLE_BYTES if key == "MAIN_TEXTTITLE" else package.MAX_VALUE_BYTES
        if sjis_length(value) > limit:
            problems.append(f"{name} {key} is {sjis_length(value)} bytes long; the program reads {limit}")


def check_entries(otpa, folder, keys, problems):
    declared = leading_integer(keys.get("MAXNUM", ""))
    if declared is None or declared < 1:
        problems.append(f"UPDATE_FONT MAXNUM is {keys.get('MAXNUM', 'missing')!s}: "
                        "it must count the difference files, at least one")
    count = 0
    while f"FONT_PAFILE{count + 1}" in keys:
        count += 1
    later = sorted(int(k[11:]) for k in keys if re.fullmatch(r"FONT_PAFILE\d+", k) and int(k[11:]) > count + 1)
    if later:
        problems.append(f"UPDATE_FONT has no FONT_PAFILE{count + 1}: the program stops there, "
                        f"FONT_PAFILE{later[0]} and after are never read")
    if declared is not None and declared >= 1 and declared != count:
        problems.append(f"UPDATE_FONT MAXNUM is {declared} but FONT_PAFILE1 to FONT_PAFILE{count} "
                        f"name {count} difference files")
    ids, revisions = {}, {}
    for n in range(1, count + 1):
        value = keys[f"FONT_PAFILE{n}"]
        key = f"FONT_PAFILE{n}"
        if not value:
            problems.append(f"{key} is empty")
            continue
        resnum = keys.get(f"FONT_RESNUM{n}")
        resource_id = leading_integer(resnum) if resnum is not None else None
        if resnum is None:
            problems.append(f"FONT_RESNUM{n} is missing")
        elif resource_id is None or not 1 <= resource_id <= 0xFFFF:
            problems.append(f"FONT_RESNUM{n} is {resnum}: resource ids run from 1 to 65535")
        elif resource_id in ids:
            problems.append(f"FONT_RESNUM{n} is {resource_id}, as FONT_RESNUM{ids[resource_id]} is")
        else:
            ids[resource_id] = n
        target = target_name(value)
        if sjis_length(target) > MAX_TARGET_BYTES:
            problems.append(f"{key}: the installed file name {target} is longer than {MAX_TARGET_BYTES} bytes")
        file_name = re.split(r"[\\/]", value)[-1]
        path = folder / file_name
        if not path.is_file():
            problems.append(f"{key}: {file_name} is missing")
            continue
        with open(path, "rb") as stream:
            magic = stream.read(4)
        if magic not in (b"XOTP", b"XOTE"):
            problems.append(f'{key}: {file_name} is not a difference file (it does not start with "XOTP") '
                            'nor an extended one ("XOTE")')
            continue
        identity, why = difference_identity(otpa, path)
        if identity is None:
            problems.append(f"{key}: {file_name}: its font name and revision cannot be read ({why})")
            continue
        other = revisions.setdefault((target, identity[1]), n)
        if other != n:
            problems.append(f"FONT_PAFILE{other} and {key} both revise {target} at revision {identity[1]}")


def check(otpa, folder):
    problems = []
    found = sorted(p for p in folder.glob("*.ini") if p.is_file())
    if len(found) != 1:
        return [f"{folder}: expected one configuration (.ini), found {len(found)}"]
    # One line and an exit when it is neither UTF-8 nor Shift-JIS.
    text = package.read_configuration_text(found[0])
    # The program section's values are checked, and named, on their own.
    rest = package.without_section(text, package.PROGRAM_SECTION)
    try:
        rest.encode("cp932")
    except UnicodeEncodeError as error:
        problems.append(f"{found[0].name}: {rest[error.start:error.end]!r} has no Shift-JIS form")
    fonts = package.section(text, "UPDATE_FONT")
    if fonts is None:
        problems.append(f"{found[0].name}: no [UPDATE_FONT] section")
    else:
        check_values("UPDATE_FONT", fonts, problems)
        check_entries(otpa, folder, fonts, problems)
    start = package.section(text, "UPDATE_STARTDLG_STRING")
    if start is None or not start.get("MAIN_TEXTTITLE") or not start.get("MAXNUM"):
        missing = "the section" if start is None else "MAIN_TEXTTITLE" if not start.get("MAIN_TEXTTITLE") \
            else "MAXNUM"
        problems.append(f"no start text: UPDATE_STARTDLG_STRING lacks {missing}")
    if start is not None:
        check_values("UPDATE_STARTDLG_STRING", start, problems)
    program = package.section(text, package.PROGRAM_SECTION)
    if program is not None:
        problems += package.program_problems(program, folder)
    return problems


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--otpa", required=True)
    parser.add_argument("package_dir", type=pathlib.Path)
    args = parser.parse_args()
    if not args.package_dir.is_dir():
        print(f"package: {args.package_dir}: no such folder", file=sys.stderr)
        return 1
    problems = check(args.otpa, args.package_dir)
    for problem in problems:
        print(f"package: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
