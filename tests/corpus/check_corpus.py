"""check_corpus.py DIR

Checks on the bytes of every generated pair what the updater and its tests
rely on: the fifteen tables in ascending tag order, 4-byte aligned with zero
padding, right checksums and checkSumAdjustment; the Macintosh full name as the
fifth name record; both License Description records, the same in both
revisions; and a new revision with a higher fontRevision and a later date."""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pa_format  # noqa: E402
import sfnt  # noqa: E402

TAGS = [b"BASE", b"CFF ", b"GPOS", b"GSUB", b"OS/2", b"VORG", b"cmap", b"head", b"hhea",
        b"hmtx", b"maxp", b"name", b"post", b"vhea", b"vmtx"]


def name_records(tables):
    """(platform, encoding, language, name id) -> string bytes, in table order."""
    name = sfnt.required_table(tables, b"name").data
    count, storage = struct.unpack_from(">2xHH", name, 0)
    records = []
    for i in range(count):
        key = struct.unpack_from(">4H", name, 6 + 12 * i)
        length, offset = struct.unpack_from(">HH", name, 6 + 12 * i + 8)
        records.append((key, name[storage + offset:storage + offset + length]))
    return records


def check_font(data):
    """Problems of one font, as texts."""
    problems = []
    tables = sfnt.read_tables(data)
    if [t.tag for t in tables] != TAGS:
        problems.append("tables %s" % b" ".join(t.tag for t in tables).decode())
    end = pa_format.FIRST_TABLE + 16 * len(tables)
    for table in sorted(tables, key=lambda t: t.offset):
        if table.offset != end:
            problems.append("%r at %d, expected %d" % (table.tag, table.offset, end))
        padding = data[table.offset + table.length:table.offset + pa_format.round_up4(table.length)]
        if padding.strip(b"\0"):
            problems.append("%r padding not zero" % table.tag)
        body = table.data
        if table.tag == b"head":
            body = body[:8] + bytes(4) + body[12:]
        if sfnt.word_sum(body) != table.checksum:
            problems.append("%r checksum" % table.tag)
        end = table.offset + pa_format.round_up4(table.length)
    if end != len(data):
        problems.append("file is %d bytes, tables end at %d" % (len(data), end))
    if sfnt.word_sum(data) != 0xB1B0AFBA:
        problems.append("checkSumAdjustment")

    records = name_records(tables)
    key, full_name = records[4]
    if key != (1, 0, 0, 4) or not 0 < len(full_name) <= 31 or not full_name.isascii():
        problems.append("fifth name record %r %r" % (key, full_name))
    licences = dict(records)
    for key in ((1, 0, 0, 13), (3, 1, 0x409, 13)):
        if not 0 < len(licences.get(key, b"")) <= 255:
            problems.append("License Description %r missing or too long" % (key,))
    return problems


def check_pair(old_bytes, new_bytes):
    old, new = sfnt.read_tables(old_bytes), sfnt.read_tables(new_bytes)
    problems = []
    if sfnt.font_revision(new) <= sfnt.font_revision(old):
        problems.append("fontRevision does not increase")
    if sfnt.head_modified(new) <= sfnt.head_modified(old):
        problems.append("modified date does not increase")
    licence = lambda records: [r for r in records if r[0][3] == 13]  # noqa: E731
    if licence(name_records(old)) != licence(name_records(new)):
        problems.append("License Description texts differ")
    return problems


def main():
    corpus = sys.argv[1]
    pairs = sorted(p for p in os.listdir(corpus) if os.path.isdir(os.path.join(corpus, p)))
    failed = 0
    for pair in pairs:
        fonts = {}
        for side in ("old", "new"):
            with open(os.path.join(corpus, pair, side + ".otf"), "rb") as f:
                fonts[side] = f.read()
        problems = ["%s: %s" % (side, p) for side in fonts for p in check_font(fonts[side])]
        problems += check_pair(fonts["old"], fonts["new"])
        for problem in problems:
            print("%s: %s" % (pair, problem))
        failed += bool(problems)
    print("%d pairs checked, %d with problems" % (len(pairs), failed))
    return 1 if failed or not pairs else 0


if __name__ == "__main__":
    sys.exit(main())
