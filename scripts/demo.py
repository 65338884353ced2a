#!/usr/bin/env python3
"""demo.py [--windows] [--maker NAME] [--language en]: the demo's steps after
scripts/demo has installed and built what they need (see scripts/demo)."""
import argparse
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
sys.path.insert(0, str(ROOT / "tests" / "corpus"))
import e2e  # noqa: E402
import rehearse  # noqa: E402

BUILD = ROOT / "build"
DEMO = BUILD / "demo"
OTPA = BUILD / "host" / "bin" / "otpa"

# The fonts installed on the demo machine: (drive, folder, file, corpus pair).
# The Mincho is there twice, in two revisions; None stands for the older one,
# made from the pair's old font.
INSTALLED = [
    ("d", "Fonts", "SampleMinchoProN-R.otf", "small"),
    ("d", "Fonts", "SampleGothicProN-M.otf", "glyphs-added"),
    ("e", "旧版/Fonts", "SampleMinchoProN-R.otf", None),
    ("e", "Fonts", "SampleMinchoStd-R.otf", "renumbered"),
]


def write_if_changed(path, data):
    if not path.exists() or path.read_bytes() != data:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


def installed_fonts(corpus):
    """(drive, folder, file, installed bytes, new bytes) of each installed font."""
    fonts = []
    for letter, folder, name, pair in INSTALLED:
        old = e2e.oldest(corpus) if pair is None else corpus.bytes(pair, "old")
        new = corpus.bytes(pair or e2e.MINCHO[1], "new")
        fonts.append((letter, folder, name, old, new))
    return fonts


def lay_out_maker_folders(fonts):
    """What the maker has: the revisions it shipped (old/) and the new ones (new/)."""
    for letter, folder, name, old, new in fonts:
        write_if_changed(DEMO / "fonts" / "old" / letter / folder / name, old)
        write_if_changed(DEMO / "fonts" / "new" / name, new)


def script(name, *arguments):
    env = dict(os.environ, OTPA=str(OTPA))
    subprocess.run([str(ROOT / "scripts" / name), *map(str, arguments)], env=env, check=True)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--maker", help="another maker's updater, in its name")
    parser.add_argument("--language", choices=("ja", "en"), help="the updater's language")
    args = parser.parse_args()
    program = []
    title = None
    if args.maker or args.language:
        maker = args.maker or "Tavrelon"
        english = args.language == "en"
        title = f"{maker} Font Updater" if english else f"{maker}フォント 改訂プログラム"
        program = ["--maker", maker, "--title", title] + (["--language", args.language] if args.language else [])
    corpus = e2e.Corpus(BUILD / "corpus")
    fonts = installed_fonts(corpus)

    rehearse.say("The maker's side: a package from the shipped and the new fonts")
    lay_out_maker_folders(fonts)
    script("make-package", *program, DEMO / "fonts" / "old", DEMO / "fonts" / "new", DEMO / "package")
    rehearse.say("The programs that carry it")
    script("package", DEMO / "package", DEMO / "programs", *([] if args.windows else ["host"]))
    placed = [rehearse.Placed(letter, folder, DEMO / "fonts" / "old" / letter / folder / name, old, new)
              for letter, folder, name, old, new in fonts]
    if args.windows:
        import demo_windows
        return 0 if demo_windows.run(placed, DEMO, title, args.language == "en") else 1
    return 0 if rehearse.rehearse_posix(OTPA, DEMO / "programs" / "opentype-updater", placed, DEMO,
                                        args.language == "en") else 1


if __name__ == "__main__":
    sys.exit(main())
