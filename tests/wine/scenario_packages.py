#!/usr/bin/env python3
"""scenario_packages.py --otpa OTPA --corpus DIR --makers-corpus DIR --out DIR

Writes the packages that the end-to-end scenarios embed, each a folder of
OUT with updater.ini and its difference files, made by `otpa make` from the
corpus pairs, classic ones (`otpa make --classic`) but for compact's:
  main     three target fonts (small, glyphs-added, name-head)
  short    declares three difference files but names only two
  damaged  main with the glyphs-added difference file cut after its header
  makers   the four fonts of the makers corpus, CFF and TrueType, in the
           extended format
  compact  main's fonts with the smallest difference files `otpa make` makes,
           extended ones with compressed blocks
  brand    main's fonts in another maker's English updater: an
           [UPDATER_PROGRAM] section with its title, maker, copyright,
           company, version, icon (brand.ico) and download places
A file is written only when its bytes change, so that a build that embeds the
packages is not redone for nothing.
"""
import argparse
import json
import pathlib
import subprocess
import sys
import tempfile

# (corpus pair, difference file name): the installed file each revises is the
# name without its extension, plus ".otf".
TARGETS = [
    ("small", "SampleMinchoProN-R.pa", "SampleMincho ProN R"),
    ("glyphs-added", "SampleGothicProN-M.pa", "SampleGothic ProN M"),
    ("name-head", "SampleGothicPr6N-M.pa", "SampleGothic Pr6N M"),
]
FIRST_RESOURCE_ID = 2001
HEADER_SIZE = 53
ROOT = pathlib.Path(__file__).resolve().parents[2]

# The other maker of the brand package, as its programs must show it.
BRAND = [
    "[UPDATER_PROGRAM]",
    "TITLE=Northwind Font Updater",
    "MAKER=Northwind Type",
    "COPYRIGHT=Copyright (C) 2026 Northwind Type Co.",
    "COMPANY=Northwind Type Co.",
    "VERSION=2.5.1",
    "LANGUAGE=en",
    "ICON=brand.ico",
    "DOWNLOAD_FOLDER1=\\Northwind\\Updates\\",
    "DOWNLOAD_FOLDER2=\\NWT Fonts\\Cache\\",
    "DOWNLOAD_FILE1=fonts.pkg",
    "DOWNLOAD_FILE2=fonts-2.pkg",
]
# Its icon: ours drawn on green.
BRAND_GROUND = "2E7D32"


def configuration(targets, declared, program=None):
    lines = ["[UPDATE_FONT]", f"MAXNUM={declared}"]
    for n, (_, pa_name, _) in enumerate(targets, 1):
        lines += [f"FONT_PAFILE{n}={pa_name}", f"FONT_RESNUM{n}={FIRST_RESOURCE_ID + n - 1}"]
    if program is None:
        lines += ["[UPDATE_STARTDLG_STRING]",
                  f"MAIN_TEXTTITLE=タブレロンフォント製品をご利用のお客様は、下記{len(targets)}フォントが改訂対象です。",
                  f"MAXNUM={len(targets)}"]
        lines += [f"FONT_TEXTTITLE{n}=\u3000\u3000・{family}" for n, (_, _, family) in enumerate(targets, 1)]
    else:
        lines += ["[UPDATE_STARTDLG_STRING]",
                  f"MAIN_TEXTTITLE=For users of Northwind fonts, the following {len(targets)} fonts will be updated.",
                  f"MAXNUM={len(targets)}"]
        # Quoted: the reader drops the blanks around a value, not those inside quotes.
        lines += [f'FONT_TEXTTITLE{n}="  - {family}"' for n, (_, _, family) in enumerate(targets, 1)]
        lines += program
    return "\r\n".join(lines).encode("utf-8")


def brand_icon():
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work) / "brand.ico"
        subprocess.run([sys.executable, str(ROOT / "resources" / "make_icon.py"), str(out), "--ground", BRAND_GROUND],
                       check=True)
        return out.read_bytes()


def write_if_changed(path, data):
    if path.exists() and path.read_bytes() == data:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def make_difference(otpa, corpus, pair, extension="otf", options=("--classic",)):
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work) / "diff.pa"
        subprocess.run([otpa, "make", *options, str(corpus / pair / f"old.{extension}"),
                        str(corpus / pair / f"new.{extension}"), "-o", str(out)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return out.read_bytes()


def makers_targets(corpus):
    """(pair, difference file name, full name, file extension) of each pair of
    the makers corpus, the installed file being the name with the extension."""
    manifest = json.loads((corpus / "manifest.json").read_text())
    return [(pair, info["file"].rsplit(".", 1)[0] + ".pa", info["full_name"], info["file"].rsplit(".", 1)[1])
            for pair, info in sorted(manifest["pairs"].items())]


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--corpus", required=True, type=pathlib.Path)
    parser.add_argument("--makers-corpus", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()
    differences = {pa: make_difference(args.otpa, args.corpus, pair) for pair, pa, _ in TARGETS}
    makers = makers_targets(args.makers_corpus)
    differences.update({pa: make_difference(args.otpa, args.makers_corpus, pair, extension)
                        for pair, pa, _, extension in makers})

    compact = {pa: make_difference(args.otpa, args.corpus, pair, options=()) for pair, pa, _ in TARGETS}

    packages = {
        "main": (TARGETS, len(TARGETS), {}, None),
        "compact": (TARGETS, len(TARGETS), compact, None),
        "short": (TARGETS[:2], len(TARGETS), {}, None),
        "damaged": (TARGETS, len(TARGETS), {TARGETS[1][1]: differences[TARGETS[1][1]][:HEADER_SIZE]}, None),
        "makers": ([target[:3] for target in makers], len(makers), {}, None),
        "brand": (TARGETS, len(TARGETS), {}, BRAND),
    }
    for name, (targets, declared, replaced, program) in packages.items():
        folder = args.out / name
        write_if_changed(folder / "updater.ini", configuration(targets, declared, program))
        for _, pa_name, _ in targets:
            write_if_changed(folder / pa_name, replaced.get(pa_name, differences[pa_name]))
        if program is not None:
            write_if_changed(folder / "brand.ico", brand_icon())
    return 0


if __name__ == "__main__":
    sys.exit(main())
