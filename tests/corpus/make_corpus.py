"""Derives revision pairs of CFF OpenType fonts from Debian's Noto CJK collections.

Every font has exactly the fifteen tables an updatable font carries, a name
table whose fifth record is the Macintosh full name, and the same License
Description texts in both revisions. Output: OUT/<pair>/old.otf and new.otf.
The pairs are regenerated only when this script, the fontTools version or the
source collections change (OUT/stamp); the output is deterministic.

Run with /usr/bin/python3 (the interpreter that has fontTools).
"""

import argparse
import io
import os
import random
import sys
from concurrent.futures import ProcessPoolExecutor

from fontTools import subset
from fontTools.misc.arrayTools import intRect
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTCollection, TTFont, getTableClass, newTable

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import derived_corpus  # noqa: E402

NOTO_DIR = "/usr/share/fonts/opentype/noto"
SERIF = os.path.join(NOTO_DIR, "NotoSerifCJK-Regular.ttc")
SANS = os.path.join(NOTO_DIR, "NotoSansCJK-Regular.ttc")
JP_FACE = 0  # the Japanese face comes first in both collections

TABLES = sorted(["BASE", "CFF ", "GPOS", "GSUB", "OS/2", "VORG", "cmap", "head", "hhea",
                 "hmtx", "maxp", "name", "post", "vhea", "vmtx"])

# 16.16 revisions chosen as exact fixed-point values so that a compiled font
# carries precisely these integers.
REV_OLD = 0x00010042  # about 1.001
REV_NEW = 0x00010083  # about 1.002

LONG_DATE_1970 = 2082844800  # seconds from 1904-01-01 to 1970-01-01
CREATED = LONG_DATE_1970 + 1262304000   # 2010-01-01
MODIFIED_OLD = LONG_DATE_1970 + 1577836800  # 2020-01-01
MODIFIED_NEW = LONG_DATE_1970 + 1622505600  # 2021-06-01

LICENSE = ("This Font Software is a test derivative of Noto CJK and is licensed "
           "under the SIL Open Font License, Version 1.1.")
COPYRIGHT = "Test derivative of Noto CJK (c) 2014-2021 Adobe (http://www.adobe.com/)."

PAIRS = ["small", "outlines", "glyphs-added", "name-head", "renumbered", "redrawn"]

# Macintosh full name (the name the updater compares), PostScript name, family.
IDENTITY = {
    "small": ("SampleMincho ProN R", "SampleMinchoProN-R", "SampleMincho ProN"),
    "outlines": ("SampleMincho Pr6N R", "SampleMinchoPr6N-R", "SampleMincho Pr6N"),
    "glyphs-added": ("SampleGothic ProN M", "SampleGothicProN-M", "SampleGothic ProN"),
    "name-head": ("SampleGothic Pr6N M", "SampleGothicPr6N-M", "SampleGothic Pr6N"),
    "renumbered": ("SampleMincho Std R", "SampleMinchoStd-R", "SampleMincho Std"),
    "redrawn": ("SampleMincho StdN R", "SampleMinchoStdN-R", "SampleMincho StdN"),
}

SERIF_HAN = 8000    # about 15,500 glyphs with their layout closure, 5.6 MB
SANS_HAN = 10000    # about 19,300 glyphs, 5 MB
SMALL_HAN = 1500    # about 3,000 glyphs
ADDED_HAN = 1000    # Han characters the new revision of glyphs-added adds
SMALL_EDITS = 300
OUTLINE_EDITS = 3000
# renumbered: each revision subset from the collection on its own, the new
# one with more Han characters, so that the subsetter keeps other
# subroutines and numbers them otherwise: most shared charstrings differ in
# the operands of their subroutine calls (4.0 -> 4.6 MB, tens of thousands of
# copy and insert runs in the CFF block). redrawn: the same, with this many
# outlines of the new revision redrawn as well.
RENUMBERED_OLD_HAN = 5700
RENUMBERED_NEW_HAN = 6600
REDRAWN_OUTLINES = 2000


def subset_font(font, unicodes, keep_subroutines=False):
    """Subsets in place, keeping the CFF flavour and every layout feature.

    keep_subroutines leaves the subroutines (and so every kept charstring's
    bytes) as they are instead of dropping the unused ones and renumbering."""
    options = subset.Options()
    options.layout_features = ["*"]
    options.drop_tables = [t for t in options.drop_tables if t != "BASE"] + ["GDEF"]
    options.no_subset_tables += ["BASE"]
    options.notdef_outline = True
    options.glyph_names = False
    options.recalc_timestamp = False
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=unicodes)
    font.recalcBBoxes = True
    cff_class = getTableClass("CFF ")
    prune = cff_class.remove_unused_subroutines
    if keep_subroutines:
        cff_class.remove_unused_subroutines = lambda self: None
    try:
        subsetter.subset(font)
    finally:
        cff_class.remove_unused_subroutines = prune


def to_bytes(font):
    out = io.BytesIO()
    font.save(out)
    return out.getvalue()


def from_bytes(data):
    # Recomputing the bounding boxes draws every outline (twice), by far the
    # slowest step; the callers that change outlines keep them right themselves.
    return TTFont(io.BytesIO(data), recalcTimestamp=False, recalcBBoxes=False)


def base_unicodes(font, han_count):
    """ASCII, kana and the first han_count CJK unified ideographs."""
    cmap = sorted(font.getBestCmap())
    basic = [u for u in cmap if u < 0x80 or 0x3040 <= u < 0x3100]
    han = [u for u in cmap if 0x4E00 <= u < 0xA000]
    return basic + han[:han_count]


def make_base(source, han_count):
    """The JP face of a collection cut down to the updatable table set."""
    font = TTCollection(source, lazy=True).fonts[JP_FACE]
    font.recalcTimestamp = False
    missing = [t for t in TABLES if t not in font]
    if missing:
        raise SystemExit("%s lacks %s" % (source, " ".join(missing)))
    subset_font(font, base_unicodes(font, han_count))
    return to_bytes(font)


def set_identity(font, pair, revision, modified, version_text=None):
    full, postscript, family = IDENTITY[pair]
    version = version_text or "Version %.3f" % (revision / 65536.0)
    texts = {0: COPYRIGHT, 1: family, 2: "Regular", 3: "%s;%s" % (postscript, version),
             4: full, 5: version, 6: postscript, 13: LICENSE}
    name = newTable("name")
    name.names = []
    for name_id, text in texts.items():
        name.setName(text, name_id, 1, 0, 0)
        name.setName(text, name_id, 3, 1, 0x409)
    font["name"] = name

    head = font["head"]
    head.fontRevision = revision / 65536.0
    head.created = CREATED
    head.modified = modified

    for tag in list(font.keys()):
        if tag != "GlyphOrder" and tag not in TABLES:
            del font[tag]


def finish(font, pair, revision, modified, version_text=None):
    set_identity(font, pair, revision, modified, version_text)
    data = to_bytes(font)
    check_shape(data, pair)
    return data


def check_shape(data, pair):
    """The properties the updater relies on, checked on the compiled bytes."""
    font = TTFont(io.BytesIO(data))
    tags = sorted(t for t in font.reader.keys())
    if tags != TABLES:
        raise SystemExit("%s: table set %s" % (pair, tags))
    fifth = font["name"].names[4]
    if (fifth.platformID, fifth.platEncID, fifth.langID, fifth.nameID) != (1, 0, 0, 4):
        raise SystemExit("%s: fifth name record is not the Macintosh full name" % pair)
    if len(fifth.string) > 31:
        raise SystemExit("%s: Macintosh full name longer than 31 bytes" % pair)


def shift_first_move(charstring, dx, dy):
    """Moves the whole outline by editing its first moveto, when that moveto
    is reached before any subroutine call (so it is certainly the first one).
    Type 2 coordinates are relative, so only those few bytes change."""
    program = charstring.program
    for i, token in enumerate(program):
        if token in ("callsubr", "callgsubr"):
            return False
        if token == "rmoveto":
            program[i - 2] += dx
            program[i - 1] += dy
        elif token == "hmoveto":
            program[i - 1:i + 1] = [program[i - 1] + dx, dy, "rmoveto"]
        elif token == "vmoveto":
            program[i - 1:i + 1] = [dx, program[i - 1] + dy, "rmoveto"]
        else:
            continue
        charstring.setProgram(program)
        return True
    return False


def redraw_scaled(font, name, charstrings, scale, dx, dy):
    """Replaces an outline by a slightly scaled copy, drawn without hints or
    subroutines."""
    old = charstrings[name]
    private = old.private
    advance = font["hmtx"][name][0]
    width = None if advance == private.defaultWidthX else advance - private.nominalWidthX
    pen = T2CharStringPen(width, None)
    old.draw(TransformPen(pen, (scale, 0, 0, scale, dx, dy)))
    charstrings[name] = pen.getCharString(private=private, globalSubrs=old.globalSubrs)


def widen_metrics(font, name, bounds):
    """Gives an edited glyph its side bearings and lets the font-wide extents
    cover it. The extents only grow: a box that still holds every glyph."""
    x_min, y_min, x_max, y_max = intRect(bounds)
    advance, _ = font["hmtx"][name]
    font["hmtx"][name] = (advance, x_min)
    advance_height, _ = font["vmtx"][name]
    top = font["VORG"][name] - y_max
    font["vmtx"][name] = (advance_height, top)

    head = font["head"]
    head.xMin, head.yMin = min(head.xMin, x_min), min(head.yMin, y_min)
    head.xMax, head.yMax = max(head.xMax, x_max), max(head.yMax, y_max)
    top_dict = font["CFF "].cff.topDictIndex[0]
    top_dict.FontBBox = [head.xMin, head.yMin, head.xMax, head.yMax]
    hhea = font["hhea"]
    hhea.minLeftSideBearing = min(hhea.minLeftSideBearing, x_min)
    hhea.minRightSideBearing = min(hhea.minRightSideBearing, advance - x_max)
    hhea.xMaxExtent = max(hhea.xMaxExtent, x_max)
    vhea = font["vhea"]
    vhea.minTopSideBearing = min(vhea.minTopSideBearing, top)
    vhea.minBottomSideBearing = min(vhea.minBottomSideBearing,
                                    advance_height - top - (y_max - y_min))
    vhea.yMaxExtent = max(vhea.yMaxExtent, top + y_max - y_min)


def edit_outlines(font, count, seed, redraw_all=False):
    """Edits count outlines chosen with a fixed seed: each one is shifted
    where its first moveto allows it (unless redraw_all), otherwise redrawn
    slightly scaled."""
    rng = random.Random(seed)
    charstrings = font["CFF "].cff.topDictIndex[0].CharStrings
    names = font.getGlyphOrder()[1:]
    for name in sorted(rng.sample(names, count), key=names.index):
        charstring = charstrings[name]
        charstring.decompile()
        dx, dy = rng.choice([-3, -2, -1, 1, 2, 3]), rng.choice([-3, -2, -1, 1, 2, 3])
        if redraw_all or not shift_first_move(charstring, dx, dy):
            redraw_scaled(font, name, charstrings, rng.choice([0.98, 0.99, 1.01]), dx, dy)
        bounds = charstrings[name].calcBounds(charstrings)
        if bounds is not None:
            widen_metrics(font, name, bounds)


def outline_pair(base, pair, edits, seed):
    old = finish(from_bytes(base), pair, REV_OLD, MODIFIED_OLD)
    font = from_bytes(old)
    edit_outlines(font, edits, seed)
    return old, finish(font, pair, REV_NEW, MODIFIED_NEW)


def serif_pairs():
    base = make_base(SERIF, SERIF_HAN)
    small = from_bytes(base)
    subset_font(small, base_unicodes(small, SMALL_HAN))
    # The old side of the renumbered pairs is made here and their new side
    # in sans_pairs, which has the lighter load of the two.
    renumbered_old = make_base(SERIF, RENUMBERED_OLD_HAN)
    return {
        "small": outline_pair(to_bytes(small), "small", SMALL_EDITS, 1),
        "outlines": outline_pair(base, "outlines", OUTLINE_EDITS, 2),
        ("renumbered", "old"): finish(from_bytes(renumbered_old), "renumbered", REV_OLD, MODIFIED_OLD),
        ("redrawn", "old"): finish(from_bytes(renumbered_old), "redrawn", REV_OLD, MODIFIED_OLD),
    }


def renumbered_new_sides():
    base = make_base(SERIF, RENUMBERED_NEW_HAN)
    redrawn = from_bytes(base)
    edit_outlines(redrawn, REDRAWN_OUTLINES, 3, redraw_all=True)
    return {
        ("renumbered", "new"): finish(from_bytes(base), "renumbered", REV_NEW, MODIFIED_NEW),
        ("redrawn", "new"): finish(redrawn, "redrawn", REV_NEW, MODIFIED_NEW),
    }


def sans_pairs():
    base = make_base(SANS, SANS_HAN)
    fewer = from_bytes(base)
    # The added glyphs are those of the last Han characters, so that, as in a
    # maker's revision, most of them land after the old glyphs, and the
    # glyphs both revisions share keep their charstrings.
    subset_font(fewer, base_unicodes(fewer, SANS_HAN - ADDED_HAN), keep_subroutines=True)
    pairs = {
        "glyphs-added": (finish(fewer, "glyphs-added", REV_OLD, MODIFIED_OLD),
                         finish(from_bytes(base), "glyphs-added", REV_NEW, MODIFIED_NEW)),
        "name-head": (finish(from_bytes(base), "name-head", REV_OLD, MODIFIED_OLD),
                      finish(from_bytes(base), "name-head", REV_NEW, MODIFIED_NEW,
                             "Version 1.002;hotfix 2021-06")),
    }
    pairs.update(renumbered_new_sides())
    return pairs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--out", default=os.path.join(root, "build", "corpus"))
    args = parser.parse_args()

    expected = [os.path.join(pair, side) for pair in PAIRS for side in ("old.otf", "new.otf")]
    with derived_corpus.deriving(args.out, derived_corpus.stamp_text(__file__, (SERIF, SANS)), expected,
                                 "corpus") as derive:
        if not derive:
            return 0
        with ProcessPoolExecutor(max_workers=2) as pool:
            jobs = [pool.submit(serif_pairs), pool.submit(sans_pairs)]
            results = {}
            for job in jobs:
                results.update(job.result())
        # Pairs whose sides were made by different jobs.
        for pair in PAIRS:
            if pair not in results:
                results[pair] = (results.pop((pair, "old")), results.pop((pair, "new")))
        for pair in PAIRS:
            folder = os.path.join(args.out, pair)
            os.makedirs(folder, exist_ok=True)
            old, new = results[pair]
            derived_corpus.write_atomically(os.path.join(folder, "old.otf"), old)
            derived_corpus.write_atomically(os.path.join(folder, "new.otf"), new)
            print("%-13s old %9d bytes, new %9d bytes" % (pair, len(old), len(new)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
