#!/usr/bin/env python3
"""check_fonts.py: scripts/check-fonts, the font check of font_rules.py on
its own, and the README section made from its rules."""
import argparse
import pathlib
import sys

import font_rules

USAGE = """scripts/check-fonts [--classic] OLD_DIR NEW_DIR
       scripts/check-fonts --rules

Checks every .otf and .ttf in NEW_DIR, and each with every older revision of
the same file name under OLD_DIR (any depth), against what the updater needs
to revise them: one line per problem, each with what to do about it, and
per note (what is left out, and why), then a summary. Writes nothing; exits
0 when there is no problem, 1 otherwise. --classic checks for the classic
difference files of make-package --classic. --rules prints the rules as
README.md's section "What fonts can be revised" carries them."""


def main():
    parser = argparse.ArgumentParser(usage=USAGE)
    parser.add_argument("--otpa", help=argparse.SUPPRESS)
    parser.add_argument("--rules", action="store_true", help="print the rules (Markdown) and stop")
    parser.add_argument("--classic", action="store_true",
                        help="check for classic difference files (make-package --classic)")
    parser.add_argument("old_dir", type=pathlib.Path, nargs="?", metavar="OLD_DIR")
    parser.add_argument("new_dir", type=pathlib.Path, nargs="?", metavar="NEW_DIR")
    args = parser.parse_args()
    if args.rules:
        sys.stdout.write(font_rules.markdown())
        return 0
    if args.new_dir is None or args.otpa is None:
        parser.error("OLD_DIR and NEW_DIR are needed")
    for folder in (args.old_dir, args.new_dir):
        if not folder.is_dir():
            print(f"check-fonts: {folder}: no such folder", file=sys.stderr)
            return 1
    report = font_rules.check(args.otpa, args.old_dir, args.new_dir, args.classic)
    for finding in report.findings:
        print(finding.line())
    print(f"check-fonts: {report.summary()}")
    return 1 if report.problems else 0


if __name__ == "__main__":
    sys.exit(main())
