"""check_makers_corpus.py DIR

Checks that the corpus make_makers_corpus.py derived into DIR has the shape
the updater's tests rely on: four pairs of two families, CFF and TrueType;
a DSIG stub in both releases; one table dropped and STAT added; GDEF, GSUB,
GPOS and the outlines changed, exactly the glyphs the manifest lists
redrawn; Windows-only names whose fifth record is not the full name, long full
names, the OFL licence description the same in both releases; a higher
revision and a later date in the new release; and a manifest that tells the
truth about all of it. One line per problem; exit status 1 when there is any.
"""

import io
import json
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import sfnt  # noqa: E402

from fontTools.ttLib import TTFont  # noqa: E402

DSIG_STUB = b"\0\0\0\1\0\0\0\1"
OFL_DESCRIPTION = ("This Font Software is licensed under the SIL Open Font License, Version 1.1. "
                   "This license is available with a FAQ at: https://openfontlicense.org")
OFL_URL = "https://openfontlicense.org"
WINDOWS = (3, 1, 0x409)
RESERVED = ("noto", "dejavu", "source", "bitstream", "vera")

SANS_OLD = ["BASE", "CFF ", "DSIG", "GDEF", "GPOS", "GSUB", "OS/2", "VORG", "cmap", "head",
            "hhea", "hmtx", "maxp", "name", "post", "vhea", "vmtx"]
SERIF_OLD = ["DSIG", "GDEF", "GPOS", "GSUB", "OS/2", "cmap", "cvt ", "fpgm", "gasp", "glyf",
             "head", "hhea", "hmtx", "kern", "loca", "maxp", "name", "post", "prep"]

# pair -> flavour, sfnt version, extension, old tables, dropped table, size range
PAIRS = {
    "sans-regular": ("cff", b"OTTO", "otf", SANS_OLD, "BASE", (200000, 600000)),
    "sans-bold": ("cff", b"OTTO", "otf", SANS_OLD, "BASE", (200000, 600000)),
    "serif-regular": ("truetype", b"\0\1\0\0", "ttf", SERIF_OLD, "kern", (30000, 300000)),
    "serif-bold": ("truetype", b"\0\1\0\0", "ttf", SERIF_OLD, "kern", (30000, 300000)),
}


def tag_text(tag):
    return tag.decode("latin-1")


def decoded(records, name_id):
    return [r[4].decode("utf-16-be", "replace") for r in records if r[3] == name_id]


def check_names(records, entry):
    problems = []
    others = sorted({r[:3] for r in records} - {WINDOWS})
    if others:
        problems.append("name records other than Windows English: %s" % others)
    if len(records) < 5:
        return problems + ["fewer than five name records"]
    if records[4][3] == 4:
        problems.append("the fifth name record is the full name")
    for name_id in (1, 2, 4, 5, 6, 13, 14):
        if len(decoded(records, name_id)) != 1:
            problems.append("%d records of name ID %d" % (len(decoded(records, name_id)), name_id))
    full = [r[4] for r in records if r[3] == 4]
    if full and not (len(full[0]) > 31 and len(decoded(records, 4)[0]) > 31):
        problems.append("full name %r not longer than 31" % decoded(records, 4)[0])
    if decoded(records, 4) != [entry.get("full_name")]:
        problems.append("full name %s, manifest %r" % (decoded(records, 4), entry.get("full_name")))
    postscript = decoded(records, 6)
    if postscript != [entry.get("postscript_name")]:
        problems.append("PostScript name %s, manifest %r" % (postscript, entry.get("postscript_name")))
    elif not (postscript[0].isascii() and 0 < len(postscript[0]) <= 63 and " " not in postscript[0]):
        problems.append("PostScript name %r not ASCII of at most 63 characters" % postscript[0])
    licence = [r[4] for r in records if r[3] == 13]
    if decoded(records, 13) != [OFL_DESCRIPTION]:
        problems.append("licence description is not the OFL 1.1 text")
    elif len(licence[0]) <= 255:
        problems.append("licence description only %d bytes" % len(licence[0]))
    if decoded(records, 14) != [OFL_URL]:
        problems.append("licence URL %s" % decoded(records, 14))
    for name_id in (1, 4, 6):
        for text in decoded(records, name_id):
            if any(word in text.lower() for word in RESERVED):
                problems.append("name ID %d %r uses a reserved font name" % (name_id, text))
    return problems


def check_font(data, entry, side, flavour, version):
    """Problems of one release, as texts."""
    problems = []
    if data[:4] != version:
        problems.append("sfnt version %r, expected %r" % (data[:4], version))
    if problems:
        return problems
    # Checksums and layout: otpa make refuses a new font the updater would
    # not reproduce, and the maker round trip applies to each old one.
    tables = sfnt.table_map(sfnt.read_tables(data))
    tags = sorted(tag_text(t) for t in tables)
    if tags != entry[side].get("tables"):
        problems.append("tables %s, manifest %s" % (tags, entry[side].get("tables")))
    dsig = tables.get(b"DSIG")
    if dsig is None or dsig.data != DSIG_STUB:
        problems.append("DSIG is not the 8-byte stub: %r" % (dsig and dsig.data[:16]))
    revision = sfnt.font_revision(list(tables.values()))
    if revision != entry[side].get("revision"):
        problems.append("fontRevision %#x, manifest %r" % (revision, entry[side].get("revision")))
    records = sfnt.name_records(tables[b"name"].data)
    problems += check_names(records, entry)
    wanted = "Version %d.%03d" % (revision >> 16, round((revision & 0xFFFF) / 65.536))
    if decoded(records, 5) != [wanted] or entry[side].get("version") != wanted:
        problems.append("version string %s for revision %#x, manifest %r"
                        % (decoded(records, 5), revision, entry[side].get("version")))
    if flavour == "truetype":
        for tag in (b"fpgm", b"prep", b"cvt ", b"gasp"):
            if tag not in tables or not tables[tag].data:
                problems.append("hinting table %s missing" % tag_text(tag))
    return problems


def raw_glyphs(font, data):
    """Glyph name -> the glyph's bytes as stored."""
    tables = sfnt.table_map(sfnt.read_tables(data))
    order = font.getGlyphOrder()
    if b"glyf" in tables:
        long_offsets = font["head"].indexToLocFormat == 1
        loca = tables[b"loca"].data
        count = len(order) + 1
        offsets = (struct.unpack(">%dI" % count, loca[:4 * count]) if long_offsets
                   else [2 * o for o in struct.unpack(">%dH" % count, loca[:2 * count])])
        glyf = tables[b"glyf"].data
        return {name: glyf[offsets[i]:offsets[i + 1]] for i, name in enumerate(order)}
    charstrings = font["CFF "].cff.topDictIndex[0].CharStrings
    result = {}
    for name in order:
        charstring, _ = charstrings.getItemAndSelector(name)
        result[name] = charstring.bytecode
    return result


def check_outlines(old_data, new_data, entry):
    problems = []
    old = TTFont(io.BytesIO(old_data), lazy=False)
    new = TTFont(io.BytesIO(new_data), lazy=False)
    if old.getGlyphOrder() != new.getGlyphOrder():
        return ["glyph orders differ"]
    redrawn = entry.get("redrawn_glyphs") or []
    if not redrawn or len(redrawn) != len(set(redrawn)):
        problems.append("manifest lists no redrawn glyphs, or some twice")
    old_raw, new_raw = raw_glyphs(old, old_data), raw_glyphs(new, new_data)
    differing = {n for n in old_raw if old_raw[n] != new_raw[n]}
    missing = sorted(set(redrawn) - differing)
    if missing:
        problems.append("%d listed glyphs not redrawn, e.g. %s" % (len(missing), missing[0]))
    for name in sorted(differing - set(redrawn), key=new.getGlyphOrder().index):
        # A composite of a redrawn glyph only has its box changed.
        glyph = new_raw[name]
        composite = "glyf" in new and len(glyph) >= 10 and struct.unpack_from(">h", glyph)[0] < 0
        if not composite or glyph[10:] != old_raw[name][10:]:
            problems.append("glyph %s changed though not listed as redrawn" % name)
    return problems


def stat_names(font):
    stat = font["STAT"].table
    ids = {stat.ElidedFallbackNameID}
    ids.update(a.AxisNameID for a in stat.DesignAxisRecord.Axis)
    if stat.AxisValueArray:
        ids.update(v.ValueNameID for v in stat.AxisValueArray.AxisValue)
    return ids


def features(font, tag):
    return sorted({r.FeatureTag for r in font[tag].table.FeatureList.FeatureRecord})


def licence_records(tables):
    return [r for r in sfnt.name_records(tables[b"name"].data) if r[3] == 13]


def check_pair(pair, old_data, new_data, entry, old_tables, dropped):
    problems = []
    old = sfnt.table_map(sfnt.read_tables(old_data))
    new = sfnt.table_map(sfnt.read_tables(new_data))
    old_tags = sorted(tag_text(t) for t in old)
    new_tags = sorted(tag_text(t) for t in new)
    if old_tags != old_tables:
        problems.append("old tables %s, expected %s" % (old_tags, old_tables))
    expected_new = sorted(set(old_tables) - {dropped} | {"STAT"})
    if new_tags != expected_new:
        problems.append("new tables %s, expected %s" % (new_tags, expected_new))
    if (entry.get("dropped_tables") != sorted(set(old_tags) - set(new_tags))
            or entry.get("added_tables") != sorted(set(new_tags) - set(old_tags))):
        problems.append("manifest dropped/added tables do not match the fonts")
    outline = b"CFF " if entry.get("flavour") == "cff" else b"glyf"
    for tag in (b"GDEF", b"GSUB", b"GPOS", outline):
        if tag in old and tag in new and old[tag].data == new[tag].data:
            problems.append("%s the same in both releases" % tag_text(tag))
    old_list, new_list = list(old.values()), list(new.values())
    if not sfnt.font_revision(old_list) < sfnt.font_revision(new_list):
        problems.append("fontRevision does not increase")
    if not sfnt.head_modified(old_list) < sfnt.head_modified(new_list):
        problems.append("modified date does not increase")
    if licence_records(old) != licence_records(new):
        problems.append("licence description differs between the releases")
    if problems:
        return problems

    old_font = TTFont(io.BytesIO(old_data), lazy=True)
    new_font = TTFont(io.BytesIO(new_data), lazy=True)
    if features(old_font, "GSUB") == features(new_font, "GSUB"):
        problems.append("GSUB has the same features in both releases")
    named = {r[3] for r in sfnt.name_records(new[b"name"].data)}
    unnamed = sorted(stat_names(new_font) - named)
    if unnamed:
        problems.append("STAT refers to missing name IDs %s" % unnamed)
    if "glyf" in new_font:
        glyf = new_font["glyf"]
        if not any(getattr(glyf[n], "program", None) and glyf[n].program.getBytecode()
                   for n in new_font.getGlyphOrder()):
            problems.append("no glyph keeps its instructions")
    problems += check_outlines(old_data, new_data, entry)
    return problems


def check_entry(pair, entry, flavour, extension):
    problems = []
    postscript = entry.get("postscript_name", "")
    if entry.get("flavour") != flavour:
        problems.append("manifest flavour %r" % entry.get("flavour"))
    if entry.get("file") != "%s.%s" % (postscript, extension) or "_" in entry.get("file", "_"):
        problems.append("installed file name %r" % entry.get("file"))
    for side in ("old", "new"):
        if not isinstance(entry.get(side), dict):
            problems.append("manifest has no %s release" % side)
        elif entry[side].get("path") != "%s/%s.%s" % (pair, side, extension):
            problems.append("manifest %s path %r" % (side, entry[side].get("path")))
    return problems


def guarded(check, *args):
    """A font broken in a way the checks do not expect is one problem, not a
    traceback that hides the other pairs'."""
    try:
        return check(*args)
    except Exception as e:  # noqa: BLE001
        return ["unreadable: %s: %s" % (type(e).__name__, e)]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[0])
        return 1
    corpus = sys.argv[1]
    try:
        with open(os.path.join(corpus, "manifest.json")) as f:
            manifest = json.load(f)
    except (OSError, ValueError) as e:
        print("manifest: %s" % e)
        return 1
    entries = manifest.get("pairs", {})
    problems = []
    if sorted(entries) != sorted(PAIRS):
        problems.append("manifest: pairs %s, expected %s" % (sorted(entries), sorted(PAIRS)))
    folders = sorted(p for p in os.listdir(corpus) if os.path.isdir(os.path.join(corpus, p)))
    if folders != sorted(PAIRS):
        problems.append("folders %s, expected %s" % (folders, sorted(PAIRS)))
    postscript_names = [e.get("postscript_name") for e in entries.values()]
    if len(set(postscript_names)) != len(postscript_names):
        problems.append("manifest: PostScript names not unique: %s" % postscript_names)

    for pair, (flavour, version, extension, old_tables, dropped, sizes) in PAIRS.items():
        entry = entries.get(pair)
        if entry is None:
            continue
        pair_problems = check_entry(pair, entry, flavour, extension)
        fonts = {}
        for side in ("old", "new"):
            path = os.path.join(corpus, pair, "%s.%s" % (side, extension))
            try:
                with open(path, "rb") as f:
                    fonts[side] = f.read()
            except OSError as e:
                pair_problems.append("%s: %s" % (side, e))
                continue
            size = len(fonts[side])
            if not sizes[0] <= size <= sizes[1]:
                pair_problems.append("%s: %d bytes, outside %d-%d" % (side, size, sizes[0], sizes[1]))
            if isinstance(entry.get(side), dict):
                pair_problems += ["%s: %s" % (side, p) for p in
                                  guarded(check_font, fonts[side], entry, side, flavour, version)]
        # The comparisons assume two sound fonts and a sound manifest entry.
        if not pair_problems:
            pair_problems += guarded(check_pair, pair, fonts["old"], fonts["new"], entry,
                                     old_tables, dropped)
        problems += ["%s: %s" % (pair, p) for p in pair_problems]

    for problem in problems:
        print(problem)
    print("%d pairs checked, %d problems" % (len(entries), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
