"""Derives revision pairs shaped like the fonts makers really ship, from Debian's
Noto Sans CJK (CFF) and DejaVu Serif (TrueType).

Two fictitious families, two weights each: Example Sans JP Semi Condensed
(CFF, .otf) and Example Serif Text Semi Condensed (TrueType, .ttf). Each pair
is release 1.000 and its next release, revised the way makers revise:

- outlines redrawn: a fixed-seed sample of glyphs has points moved by a few
  units; the CFF ones are drawn again through a pen (so they lose their hints
  and subroutine calls), the TrueType ones keep their instructions; the
  bounding boxes, side bearings and font-wide extents follow them;
- layout changed: kerning values of the kern feature changed; the sans adds
  an ss01 feature with a lookup of its own and gives its encoded, unclassified
  glyphs the base class in GDEF; the serif drops its salt feature (its lookup
  goes and the lookups after it are renumbered), adds ss01 with a lookup of
  its own and gains a GDEF mark glyph set (GDEF 1.2);
- one table dropped and one added: the sans drops BASE, the serif drops the
  legacy kern table, and both add STAT (weight and width axes, their names
  as name IDs 256 and up);
- both releases carry a DSIG stub (version 1, no signatures, flags 1), as
  makers who once signed their fonts still ship it.

The name table has Windows records only (3, 1, 0x409) and no unique
identifier (ID 3): copyright, family, subfamily, then the full name would be
the fourth record and the version string is the fifth, so that an updater
which takes the fifth record for the full name sees two releases of one font
as two fonts. Full names are longer than 31 bytes, the licence description
(ID 13) is the OFL 1.1 text, over 255 bytes as UTF-16, the same in both
releases. Fonts are saved by fontTools: tables in ascending tag order in the
directory, back to back on 4-byte boundaries, checksums right.

Output: OUT/<pair>/old.<otf|ttf>, new.<otf|ttf> and OUT/manifest.json. The
pairs are regenerated only when this script, the fontTools version or the
source fonts change (OUT/stamp); the output is deterministic.

Run with /usr/bin/python3 (the interpreter that has fontTools).
"""

import argparse
import io
import json
import os
import random
import sys
from concurrent.futures import ProcessPoolExecutor

from fontTools import subset
from fontTools.otlLib import builder as otl
from fontTools.pens.recordingPen import RecordingPen
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.ttLib import TTCollection, TTFont, newTable
from fontTools.ttLib.tables import otTables

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import derived_corpus  # noqa: E402

NOTO_DIR = "/usr/share/fonts/opentype/noto"
DEJAVU_DIR = "/usr/share/fonts/truetype/dejavu"
JP_FACE = 0  # the Japanese face comes first in the collections

OFL_DESCRIPTION = ("This Font Software is licensed under the SIL Open Font License, Version 1.1. "
                   "This license is available with a FAQ at: https://openfontlicense.org")
OFL_URL = "https://openfontlicense.org"

LONG_DATE_1970 = 2082844800  # seconds from 1904-01-01 to 1970-01-01
CREATED = LONG_DATE_1970 + 1677628800        # 2023-03-01
MODIFIED_OLD = LONG_DATE_1970 + 1705276800   # 2024-01-15
MODIFIED_NEW = LONG_DATE_1970 + 1727654400   # 2024-09-30

DSIG_STUB = b"\0\0\0\1\0\0\0\1"

FAMILIES = {
    "sans": {
        "flavour": "cff",
        "extension": "otf",
        "family": "Example Sans JP Semi Condensed",
        "postscript_family": "ExampleSansJPSemiCondensed",
        "copyright": "Copyright 2023-2024 The Example Sans JP Project Authors. "
                     "Derived from Noto Sans CJK, (c) 2014-2021 Adobe (http://www.adobe.com/).",
        # 1.000 -> 1.001, exact 16.16 values.
        "revisions": (0x00010000, 0x00010042),
        "dropped": "BASE",
        "tables_old": ["BASE", "CFF ", "DSIG", "GDEF", "GPOS", "GSUB", "OS/2", "VORG", "cmap",
                       "head", "hhea", "hmtx", "maxp", "name", "post", "vhea", "vmtx"],
        "redrawn": 150,
    },
    "serif": {
        "flavour": "truetype",
        "extension": "ttf",
        "family": "Example Serif Text Semi Condensed",
        "postscript_family": "ExampleSerifTextSemiCondensed",
        "copyright": "Copyright 2023-2024 The Example Serif Text Project Authors. "
                     "Derived from DejaVu Serif, (c) 2003 Bitstream, Inc.; DejaVu changes are "
                     "in public domain.",
        # 1.000 -> 1.010
        "revisions": (0x00010000, 0x0001028F),
        "dropped": "kern",
        "tables_old": ["DSIG", "GDEF", "GPOS", "GSUB", "OS/2", "cmap", "cvt ", "fpgm", "gasp",
                       "glyf", "head", "hhea", "hmtx", "kern", "loca", "maxp", "name", "post",
                       "prep"],
        "redrawn": 60,
    },
}

# pair -> (family, style, source, seed)
PAIRS = {
    "sans-regular": ("sans", "Regular", os.path.join(NOTO_DIR, "NotoSansCJK-Regular.ttc"), 11),
    "sans-bold": ("sans", "Bold", os.path.join(NOTO_DIR, "NotoSansCJK-Bold.ttc"), 12),
    "serif-regular": ("serif", "Regular", os.path.join(DEJAVU_DIR, "DejaVuSerif.ttf"), 21),
    "serif-bold": ("serif", "Bold", os.path.join(DEJAVU_DIR, "DejaVuSerif-Bold.ttf"), 22),
}

# Every 40th of the CJK unified ideographs Noto covers: about 520 of them,
# spread over the block so that simple and dense characters both occur.
HAN_STEP = 40
KERN_CHANGE_ODDS = 0.2   # share of the kerning values a release touches
SS01_SIZE = 24           # substitutions in the ss01 lookup a release adds

# Kept for the serif: Latin, the combining marks (so that mark positioning and
# the mark glyph set have something to hold), Greek and some punctuation.
SERIF_RANGES = [(0x20, 0x7F), (0xA0, 0x180), (0x300, 0x370), (0x370, 0x400), (0x2010, 0x2030)]


def family_names(family, style):
    traits = FAMILIES[family]
    full = "%s %s" % (traits["family"], style)
    postscript = "%s-%s" % (traits["postscript_family"], style)
    return full, postscript


def subset_font(font, unicodes, flavour):
    options = subset.Options()
    options.layout_features = ["*"]
    options.notdef_outline = True
    options.recalc_bounds = True
    options.recalc_timestamp = False
    options.hinting = True
    if flavour == "cff":
        options.drop_tables = [t for t in options.drop_tables if t != "BASE"]
        options.no_subset_tables += ["BASE"]
        options.glyph_names = False
    else:
        # TrueType makers ship post format 2 and, next to GPOS, the legacy kern table.
        options.glyph_names = True
        options.legacy_kern = True
        options.drop_tables += ["FFTM", "MATH"]
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=unicodes)
    subsetter.subset(font)


def to_bytes(font):
    out = io.BytesIO()
    font.save(out)
    return out.getvalue()


def from_bytes(data):
    return TTFont(io.BytesIO(data), recalcTimestamp=False, recalcBBoxes=True)


def source_font(source):
    if source.endswith(".ttc"):
        font = TTCollection(source, lazy=True).fonts[JP_FACE]
    else:
        font = TTFont(source, lazy=True)
    font.recalcTimestamp = False
    font.recalcBBoxes = True
    return font


def chosen_unicodes(font, family):
    cmap = sorted(font.getBestCmap())
    if family == "sans":
        # The combining accents are all GDEF classifies in the source: without
        # them the subsetter would drop GDEF.
        basic = [u for u in cmap if 0x20 <= u < 0x7F or 0x300 <= u < 0x370 or 0x3040 <= u < 0x3100]
        han = [u for u in cmap if 0x4E00 <= u < 0xA000]
        return basic + han[::HAN_STEP]
    return [u for u in cmap if any(lo <= u < hi for lo, hi in SERIF_RANGES)]


def set_names(font, family, style, revision):
    """A Windows-only name table, see the docstring at the top."""
    traits = FAMILIES[family]
    full, postscript = family_names(family, style)
    texts = [
        (0, traits["copyright"]),
        (1, traits["family"]),
        (2, style),
        # No ID 3: see the docstring.
        (4, full),
        (5, version_string(revision)),
        (6, postscript),
        (8, "Example Type Foundry"),
        (9, "Example Type Foundry design team"),
        (13, OFL_DESCRIPTION),
        (14, OFL_URL),
    ]
    name = newTable("name")
    name.names = []
    for name_id, text in texts:
        name.setName(text, name_id, 3, 1, 0x409)
    font["name"] = name


def version_string(revision):
    return "Version %d.%03d" % (revision >> 16, round((revision & 0xFFFF) / 65.536))


def set_release(font, revision, modified):
    head = font["head"]
    head.fontRevision = revision / 65536.0
    head.created = CREATED
    head.modified = modified
    names = font["name"]
    names.setName(version_string(revision), 5, 3, 1, 0x409)


def first_release(family, style, source):
    traits = FAMILIES[family]
    font = source_font(source)
    subset_font(font, chosen_unicodes(font, family), traits["flavour"])
    for tag in list(font.keys()):
        if tag != "GlyphOrder" and tag not in traits["tables_old"]:
            del font[tag]
    set_names(font, family, style, traits["revisions"][0])
    set_release(font, traits["revisions"][0], MODIFIED_OLD)
    os2 = font["OS/2"]
    os2.usWidthClass = 4  # semi-condensed, as the names say
    os2.fsType = 0        # installable: the OFL allows it
    os2.achVendID = "XMPL"
    dsig = newTable("DSIG")
    dsig.decompile(DSIG_STUB, font)
    font["DSIG"] = dsig
    missing = sorted(set(traits["tables_old"]) - set(font.keys()))
    if missing:
        raise SystemExit("%s %s lacks %s" % (source, style, " ".join(missing)))
    return to_bytes(font)


# --- outlines ------------------------------------------------------------

def glyph_bounds(font, name):
    """(xMin, yMin, xMax, yMax) or None for an empty glyph."""
    if "glyf" in font:
        glyf = font["glyf"]
        glyph = glyf[name]
        if glyph.numberOfContours == 0:
            return None
        glyph.recalcBounds(glyf)
        return (glyph.xMin, glyph.yMin, glyph.xMax, glyph.yMax)
    charstrings = font["CFF "].cff.topDictIndex[0].CharStrings
    bounds = charstrings[name].calcBounds(charstrings)
    return None if bounds is None else tuple(round(v) for v in bounds)


def nudges(rng, count):
    """count small moves, none of them zero."""
    steps = [-3, -2, -1, 1, 2, 3]
    return [(rng.choice(steps), rng.choice(steps)) for _ in range(count)]


def redraw_cff(font, name, rng):
    """Draws the glyph again with some of its segments moved by a few units."""
    charstrings = font["CFF "].cff.topDictIndex[0].CharStrings
    old = charstrings[name]
    recording = RecordingPen()
    old.draw(recording)
    segments = [i for i, (op, _) in enumerate(recording.value) if op != "closePath"]
    moved = sorted(rng.sample(segments, max(1, len(segments) // 4)))
    for i, (dx, dy) in zip(moved, nudges(rng, len(moved))):
        op, points = recording.value[i]
        recording.value[i] = (op, tuple((x + dx, y + dy) for x, y in points))
    private = old.private
    advance = font["hmtx"][name][0]
    width = None if advance == private.defaultWidthX else advance - private.nominalWidthX
    pen = T2CharStringPen(width, None)
    recording.replay(pen)
    charstrings[name] = pen.getCharString(private=private, globalSubrs=old.globalSubrs)


def redraw_truetype(font, name, rng):
    """Moves some points of the glyph; its instructions stay as they are,
    the point numbers they refer to unchanged."""
    glyph = font["glyf"][name]
    coordinates = glyph.coordinates
    moved = sorted(rng.sample(range(len(coordinates)), max(1, len(coordinates) // 4)))
    for i, (dx, dy) in zip(moved, nudges(rng, len(moved))):
        x, y = coordinates[i]
        coordinates[i] = (x + dx, y + dy)


def redraw_outlines(font, count, rng):
    """Redraws count glyphs with outlines of their own; returns their names.
    Side bearings keep their distance to the glyph's extremes, for every
    glyph whose box moved (composites of a redrawn glyph included)."""
    order = font.getGlyphOrder()
    before = {name: glyph_bounds(font, name) for name in order}
    if "glyf" in font:
        glyf = font["glyf"]
        drawable = [n for n in order[1:] if before[n] and glyf[n].numberOfContours > 0]
        redraw = redraw_truetype
    else:
        drawable = [n for n in order[1:] if before[n]]
        redraw = redraw_cff
    names = sorted(rng.sample(drawable, count), key=order.index)
    for name in names:
        redraw(font, name, rng)
    for name in order:
        old, new = before[name], glyph_bounds(font, name)
        if old == new:
            continue
        advance, lsb = font["hmtx"][name]
        font["hmtx"][name] = (advance, lsb + new[0] - old[0])
        if "vmtx" in font:
            advance_height, tsb = font["vmtx"][name]
            font["vmtx"][name] = (advance_height, tsb - (new[3] - old[3]))
    return names


# --- layout --------------------------------------------------------------

def lookups_of(table, feature_tag):
    indices = set()
    for record in table.FeatureList.FeatureRecord:
        if record.FeatureTag == feature_tag:
            indices.update(record.Feature.LookupListIndex)
    return [table.LookupList.Lookup[i] for i in sorted(indices)]


def subtables(lookup):
    for st in lookup.SubTable:
        yield st.ExtSubTable if lookup.LookupType in (7, 9) else st


def change_kerning(font, rng):
    """Moves some kerning values by a few units, as a spacing revision does."""
    changed = 0
    for lookup in lookups_of(font["GPOS"].table, "kern"):
        for st in subtables(lookup):
            if not isinstance(st, otTables.PairPos):
                continue
            if st.Format == 1:
                values = [r.Value1 for pairs in st.PairSet for r in pairs.PairValueRecord]
            else:
                values = [c2.Value1 for c1 in st.Class1Record for c2 in c1.Class2Record]
            for value in values:
                if value is None or not getattr(value, "XAdvance", 0):
                    continue
                if rng.random() < KERN_CHANGE_ODDS:
                    value.XAdvance += rng.choice([-10, -5, -2, 2, 5, 10])
                    changed += 1
    if not changed:
        raise SystemExit("no kerning value to change")
    return changed


def single_substitutions(font, feature_tag, limit):
    """Up to limit substitutions of the feature's single and alternate lookups,
    in glyph order."""
    mapping = {}
    for lookup in lookups_of(font["GSUB"].table, feature_tag):
        for st in subtables(lookup):
            if isinstance(st, otTables.SingleSubst):
                pairs = st.mapping.items()
            elif isinstance(st, otTables.AlternateSubst):
                pairs = ((g, alternates[0]) for g, alternates in st.alternates.items())
            else:
                continue
            for glyph, replacement in pairs:
                mapping.setdefault(glyph, replacement)
    order = {name: i for i, name in enumerate(font.getGlyphOrder())}
    kept = sorted(mapping, key=order.__getitem__)[:limit]
    if not kept:
        raise SystemExit("feature %s has no substitution to copy" % feature_tag)
    return {glyph: mapping[glyph] for glyph in kept}


def all_langsys(table):
    for script in table.ScriptList.ScriptRecord:
        if script.Script.DefaultLangSys is not None:
            yield script.Script.DefaultLangSys
        for record in script.Script.LangSysRecord:
            yield record.LangSys


def add_feature(table, feature_tag, lookup):
    """Appends lookup and registers feature_tag for it in every language
    system, the feature list kept in tag order."""
    table.LookupList.Lookup.append(lookup)
    table.LookupList.LookupCount = len(table.LookupList.Lookup)
    record = otTables.FeatureRecord()
    record.FeatureTag = feature_tag
    record.Feature = otTables.Feature()
    record.Feature.FeatureParams = None
    record.Feature.LookupListIndex = [table.LookupList.LookupCount - 1]
    record.Feature.LookupCount = 1
    records = table.FeatureList.FeatureRecord + [record]
    order = sorted(range(len(records)), key=lambda i: (records[i].FeatureTag, i))
    renumber = {old: new for new, old in enumerate(order)}
    table.FeatureList.FeatureRecord = [records[i] for i in order]
    table.FeatureList.FeatureCount = len(records)
    for langsys in all_langsys(table):
        langsys.FeatureIndex = sorted([renumber[i] for i in langsys.FeatureIndex]
                                      + [renumber[len(records) - 1]])
        langsys.FeatureCount = len(langsys.FeatureIndex)
        if langsys.ReqFeatureIndex != 0xFFFF:
            langsys.ReqFeatureIndex = renumber[langsys.ReqFeatureIndex]


def add_stylistic_set(font, source_feature):
    mapping = single_substitutions(font, source_feature, SS01_SIZE)
    lookup = otl.buildLookup([otl.buildSingleSubstSubtable(mapping)])
    add_feature(font["GSUB"].table, "ss01", lookup)


def drop_feature(font, feature_tag):
    gsub = font["GSUB"]
    tags = {r.FeatureTag for r in gsub.table.FeatureList.FeatureRecord}
    if feature_tag not in tags:
        raise SystemExit("no %s feature to drop" % feature_tag)
    # Methods fontTools.subset adds to the table: they renumber what follows.
    gsub.subset_feature_tags(tags - {feature_tag})
    gsub.prune_lookups()


def classify_bases(font):
    """Gives every encoded glyph GDEF left unclassified the base class."""
    classes = font["GDEF"].table.GlyphClassDef.classDefs
    encoded = set(font.getBestCmap().values())
    added = [g for g in font.getGlyphOrder() if g in encoded and g not in classes]
    if not added:
        raise SystemExit("GDEF already classifies every encoded glyph")
    for glyph in added:
        classes[glyph] = 1


def add_mark_glyph_set(font):
    gdef = font["GDEF"].table
    marks = [g for g, c in gdef.GlyphClassDef.classDefs.items() if c == 3]
    if not marks:
        raise SystemExit("no mark glyphs for a mark glyph set")
    glyph_map = font.getReverseGlyphMap()
    sets = otTables.MarkGlyphSetsDef()
    sets.MarkSetTableFormat = 1
    sets.Coverage = [otl.buildCoverage(marks, glyph_map)]
    sets.MarkSetCount = 1
    gdef.MarkGlyphSetsDef = sets
    gdef.Version = 0x00010002


def add_stat(font, style):
    weight = {"tag": "wght", "name": "Weight",
              "values": [{"value": 400, "name": "Regular", "flags": 0x2, "linkedValue": 700}
                         if style == "Regular" else {"value": 700, "name": "Bold"}]}
    width = {"tag": "wdth", "name": "Width",
             "values": [{"value": 87.5, "name": "Semi Condensed"}]}
    otl.buildStatTable(font, [weight, width], elidedFallbackName=2, macNames=False)


def next_release(old, family, style, seed):
    traits = FAMILIES[family]
    rng = random.Random(seed)
    font = from_bytes(old)
    redrawn = redraw_outlines(font, traits["redrawn"], rng)
    kerning = change_kerning(font, rng)
    changes = ["%d outlines redrawn (points moved by 1-3 units)" % len(redrawn),
               "%d kerning values of the kern feature changed" % kerning]
    if family == "sans":
        add_stylistic_set(font, "aalt")
        classify_bases(font)
        changes += ["GSUB: ss01 added with a lookup of its own",
                    "GDEF: encoded unclassified glyphs get the base class"]
    else:
        add_stylistic_set(font, "salt")
        drop_feature(font, "salt")
        add_mark_glyph_set(font)
        changes += ["GSUB: salt dropped (its lookup too), ss01 added with a lookup of its own",
                    "GDEF: version 1.2 with a mark glyph set"]
    del font[traits["dropped"]]
    add_stat(font, style)
    changes.append("%s dropped, STAT added (name IDs 256 and up)" % traits["dropped"].strip())
    set_release(font, traits["revisions"][1], MODIFIED_NEW)
    return to_bytes(font), redrawn, changes


def tags_of(data):
    return sorted(TTFont(io.BytesIO(data), lazy=True).reader.keys())


def make_pair(pair):
    family, style, source, seed = PAIRS[pair]
    traits = FAMILIES[family]
    old = first_release(family, style, source)
    new, redrawn, changes = next_release(old, family, style, seed)
    full, postscript = family_names(family, style)
    entry = {
        "file": "%s.%s" % (postscript, traits["extension"]),
        "flavour": traits["flavour"],
        "postscript_name": postscript,
        "full_name": full,
        "source": source,
        "old": {"path": "%s/old.%s" % (pair, traits["extension"]),
                "revision": traits["revisions"][0],
                "version": version_string(traits["revisions"][0]),
                "tables": tags_of(old)},
        "new": {"path": "%s/new.%s" % (pair, traits["extension"]),
                "revision": traits["revisions"][1],
                "version": version_string(traits["revisions"][1]),
                "tables": tags_of(new)},
        "dropped_tables": [traits["dropped"]],
        "added_tables": ["STAT"],
        "redrawn_glyphs": redrawn,
        "changes": changes,
    }
    return pair, old, new, entry


# --- output --------------------------------------------------------------

def sources():
    return sorted({source for _, _, source, _ in PAIRS.values()})


def expected_files():
    for pair, (family, _, _, _) in PAIRS.items():
        for side in ("old", "new"):
            yield os.path.join(pair, "%s.%s" % (side, FAMILIES[family]["extension"]))
    yield "manifest.json"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--out", default=os.path.join(root, "build", "corpus-makers"))
    args = parser.parse_args()

    missing = [s for s in sources() if not os.path.isfile(s)]
    if missing:
        raise SystemExit("missing source fonts: %s" % " ".join(missing))
    with derived_corpus.deriving(args.out, derived_corpus.stamp_text(__file__, sources()), list(expected_files()),
                                 "makers corpus") as derive:
        if not derive:
            return 0
        # The CFF pairs take most of the time: they go first, one a worker.
        with ProcessPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(make_pair, PAIRS))
        manifest = {"format": 1, "pairs": {}}
        for pair, old, new, entry in results:
            folder = os.path.join(args.out, pair)
            os.makedirs(folder, exist_ok=True)
            derived_corpus.write_atomically(os.path.join(args.out, entry["old"]["path"]), old)
            derived_corpus.write_atomically(os.path.join(args.out, entry["new"]["path"]), new)
            manifest["pairs"][pair] = entry
            print("%-13s old %7d bytes, new %7d bytes, %s" % (pair, len(old), len(new), entry["file"]))
        text = json.dumps(manifest, indent=2, sort_keys=True) + "\n"
        derived_corpus.write_atomically(os.path.join(args.out, "manifest.json"), text.encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
