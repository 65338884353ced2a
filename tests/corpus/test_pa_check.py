"""Checks the difference-file checker and the simple writer on small fonts
built in memory: files the writer makes pass and reproduce the new font,
each kind of damage is named, and the command line reports as documented."""

import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import pa_check  # noqa: E402
import pa_format  # noqa: E402
import sfnt  # noqa: E402
import simple_diff  # noqa: E402

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def name_table(full_name):
    """Five Macintosh records, the fifth being the full name, then a licence."""
    strings = [b"c", b"Fam", b"R", b"uid", full_name, b"licence"]
    ids = [0, 1, 2, 3, 4, 13]
    storage = b""
    records = b""
    for name_id, text in zip(ids, strings):
        records += struct.pack(">6H", 1, 0, 0, name_id, len(text), len(storage))
        storage += text
    return struct.pack(">3H", 0, len(ids), 6 + 12 * len(ids)) + records + storage


def head_table(revision, modified):
    return (struct.pack(">III", 0x00010000, revision, 0) + bytes(16)
            + struct.pack(">Q", modified) + bytes(18))


def build_font(tables, physical=None):
    """tables: tag -> bytes. physical: the tags in file order (default sorted)."""
    tags = sorted(tables)
    physical = physical or tags
    offset = pa_format.FIRST_TABLE + 16 * len(tags)
    offsets = {}
    body = b""
    for tag in physical:
        offsets[tag] = offset + len(body)
        body += tables[tag] + bytes(pa_format.round_up4(len(tables[tag])) - len(tables[tag]))
    directory = b"".join(struct.pack(">4sIII", tag, 0, offsets[tag], len(tables[tag]))
                         for tag in tags)
    return struct.pack(">IHHHH", 0x4F54544F, len(tags), 0, 0, 0) + directory + body


def apply_difference(old_bytes, difference):
    """Rebuilds every table a difference file describes: tag -> new bytes."""
    _, _, records = pa_check.check(difference)
    old = sfnt.table_map(sfnt.read_tables(old_bytes))
    tables = {}
    for record in records:
        if record.block == 0:
            tables[record.tag] = old[record.tag].data
            continue
        new = bytearray(record.length)
        for source, length, destination in record.copies:
            new[destination:destination + length] = old[record.tag].data[source:source + length]
        offset = record.block + 4 + 12 * len(record.copies) + 4
        for destination, length in record.inserts:
            offset += 8
            new[destination:destination + length] = difference[offset:offset + length]
            offset += length
        tables[record.tag] = bytes(new)
    return tables


OLD_TABLES = {
    b"CFF ": bytes(range(200)),
    b"cmap": b"cmap-unchanged-x",
    b"head": head_table(0x00010042, 100),
    b"name": name_table(b"SampleMincho ProN R"),
    b"vmtx": b"\x01\x02\x03\x04\x05\x06",
}
NEW_TABLES = dict(OLD_TABLES)
NEW_TABLES[b"CFF "] = bytes(range(50)) + b"edited middle" + bytes(range(120, 200))
NEW_TABLES[b"head"] = head_table(0x00010083, 200)
NEW_TABLES[b"vmtx"] = b"\x09" + OLD_TABLES[b"vmtx"][1:]  # no common prefix
OLD_TABLES[b"post"] = b"abababab"
NEW_TABLES[b"post"] = b"abab"  # prefix and suffix would overlap
OLD = build_font(OLD_TABLES)
NEW = build_font(NEW_TABLES, physical=[b"head", b"name", b"cmap", b"post", b"CFF ", b"vmtx"])


def test_writer():
    difference = simple_diff.make_difference(OLD, NEW)
    expect(pa_check.verdict(difference) is None, "writer output is well-formed")
    expect(pa_check.verdict(difference, OLD) is None, "writer output fits the old font")
    expect(apply_difference(OLD, difference) == NEW_TABLES, "writer output rebuilds NEW")
    _, name, revision, length, count, date = pa_format.HEADER.unpack_from(difference)
    expect(name == b"SampleMincho ProN R" + bytes(13), "font name NUL-padded to 32")
    expect(revision == 0x00010042, "expected revision is the old fontRevision")
    expect(length == len(NEW) and count == 6, "new file length and table count")
    expect(date == struct.pack(">Q", 200), "date is the new head modified")
    records = pa_check.check(difference)[2]
    # Directory order: CFF, cmap, head, name, post, vmtx.
    expect([r.order for r in records] == [4, 2, 0, 1, 3, 5], "order bytes give the physical order")
    expect([r.block == 0 for r in records] == [False, True, False, True, False, False],
           "exactly the changed tables get blocks")
    runs = [(r.copies, r.inserts) for r in records]
    expect(runs[0] == ([(0, 50, 0), (120, 80, 63)], [(50, 13)]),
           "prefix copy, middle insert, suffix copy: %r" % (runs[0],))
    expect(runs[4] == ([(0, 4, 0)], []), "shorter table: a prefix copy only: %r" % (runs[4],))
    expect(runs[5] == ([(1, 5, 1)], [(0, 1)]), "no common prefix: %r" % (runs[5],))


SMALL_NAME = name_table(b"SampleMincho ProN R")
SMALL_OLD = build_font({b"CFF ": b"\x01\x02\x03\x04\x05", b"head": head_table(0x00010042, 1),
                        b"name": SMALL_NAME})
SMALL_BLOCK = pa_format.encode_block([(0, 4, 0)], [(4, b"\xAA\xBB\xCC\xDD")])


class Raw(int):
    """A block offset given as is rather than laid out by small_file."""


def small_file(name=b"SampleMincho ProN R", revision=0x00010042, length=None,
               records=None, blocks=(SMALL_BLOCK,), tail=b""):
    """A well-formed three-table file for SMALL_OLD (a CFF table rebuilt from
    a copy and an insert; head and name carried over), with parts replaced.
    records: [tag, index, order, block, new length, new offset], where block is
    None (no block), the number of one of blocks, or a Raw offset."""
    if records is None:
        records = small_records()
    start = pa_format.HEADER.size + pa_format.RECORD.size * len(records)
    offsets = []
    for block in blocks:
        offsets.append(start)
        start += len(block)
    packed = b""
    for tag, index, order, block, new_length, offset in records:
        if block is None:
            block = 0
        elif not isinstance(block, Raw):
            block = offsets[block]
        packed += pa_format.RECORD.pack(tag, index, order, block, new_length, offset)
    if length is None:
        length = 124 + len(SMALL_NAME)
    head = pa_format.HEADER.pack(pa_format.MAGIC, name, revision, length, len(records), bytes(8))
    return head + packed + b"".join(blocks) + tail


def small_records(i=None, field=None, value=None):
    """The records of small_file, optionally with one field replaced."""
    records = [[b"CFF ", 0, 0, 0, 8, 60], [b"head", 1, 1, None, 54, 68],
               [b"name", 2, 2, None, len(SMALL_NAME), 124]]
    if i is not None:
        records[i][field] = value
    return records


def block(copies, inserts):
    return (pa_format.encode_block(copies, inserts),)


def test_damage():
    good = small_file()
    expect(pa_check.verdict(good) is None, "the small file is well-formed")
    expect(pa_check.verdict(good, SMALL_OLD) is None, "the small file fits its old font")
    expect(pa_check.verdict(small_file(length=122 + len(SMALL_NAME) + 2)) is None,
           "a new file length without the last padding is accepted")
    cases = [
        ("bad magic", good.replace(b"XOTP", b"XOTQ", 1), "magic"),
        ("truncated header", good[:40], "header runs past"),
        ("truncated records", good[:100], "record 2 runs past"),
        ("name without NUL", small_file(name=b"N" * 32), "NUL"),
        ("name with junk after NUL", small_file(name=b"N\0x"), "NUL"),
        ("records out of index order", small_file(records=small_records(0, 1, 1)), "new index"),
        ("tags not ascending", small_file(records=small_records(1, 0, b"CFF ")), "ascend"),
        ("order not a permutation", small_file(records=small_records(1, 2, 0)), "permutation"),
        ("table not after the directory", small_file(records=small_records(0, 5, 64)),
         "offset 64, expected 60"),
        ("gap between tables", small_file(records=small_records(1, 5, 72)), "expected 68"),
        ("new file length wrong", small_file(length=240), "new file length"),
        ("trailing bytes", small_file(tail=b"\0"), "after the last block"),
        ("gap before a block", small_file(records=small_records(0, 3, Raw(108))),
         "at 108, expected 107"),
        ("truncated block", good[:-2], "past the end"),
        ("copy count cannot fit", small_file(blocks=(struct.pack(">I", 0x10000000),)),
         "cannot fit"),
        ("insert count cannot fit", small_file(blocks=(bytes(4) + struct.pack(">I", 9),)),
         "cannot fit"),
        ("runs leave a gap", small_file(blocks=block([(0, 3, 0)], [(4, b"1234")])),
         "not written"),
        ("runs overlap", small_file(blocks=block([(0, 5, 0)], [(4, b"1234")])), "written twice"),
        ("runs too short", small_file(blocks=block([(0, 4, 0)], [(4, b"1")])), "cover 5 of 8"),
        ("copy runs descending", small_file(blocks=block([(4, 1, 4), (0, 4, 0)], [(5, b"123")])),
         "copy runs not in ascending"),
        ("insert runs descending", small_file(blocks=block([], [(4, b"1234"), (0, b"1234")])),
         "insert runs not in ascending"),
    ]
    for what, data, reason in cases:
        got = pa_check.verdict(data)
        expect(got is not None and reason in got, "%s: got %r" % (what, got))
    # An empty insert run is allowed and is followed directly by the next one.
    expect(pa_check.verdict(small_file(blocks=block([(0, 4, 0)], [(4, b""), (4, b"1234")])))
           is None, "empty insert run")


def test_fit():
    cases = [
        ("font name differs", small_file(name=b"SampleMincho ProN B"), SMALL_OLD, "font name"),
        ("revision differs", small_file(revision=0x00010083), SMALL_OLD, "expected revision"),
        ("copy past the old table", small_file(blocks=block([(2, 4, 0)], [(4, b"1234")])),
         SMALL_OLD, "copies old bytes 2..6 of 5"),
        ("carried-over length differs", small_file(), build_font(
            {b"CFF ": b"\x01\x02\x03\x04\x05", b"head": head_table(0x00010042, 1) + b"\0\0",
             b"name": SMALL_NAME}), "carried over"),
        ("table sets differ", small_file(), build_font(
            {b"CFF ": b"\x01\x02\x03\x04\x05", b"head": head_table(0x00010042, 1),
             b"name": SMALL_NAME, b"post": bytes(32)}), "differ from the records"),
        ("old font without its name", small_file(), build_font(
            {b"CFF ": b"\x01\x02\x03\x04\x05", b"head": head_table(0x00010042, 1)}),
         "no name table"),
        ("old font truncated", small_file(), SMALL_OLD[:100], "outside the file"),
    ]
    for what, data, old, reason in cases:
        got = pa_check.verdict(data, old)
        expect(got is not None and reason in got, "%s: got %r" % (what, got))


def test_command_line(tmp):
    difference = os.path.join(tmp, "good.pa")
    broken = os.path.join(tmp, "broken.pa")
    old = os.path.join(tmp, "old.otf")
    new = os.path.join(tmp, "new.otf")
    for path, data in ((old, OLD), (new, NEW)):
        with open(path, "wb") as f:
            f.write(data)
    script = os.path.join(HERE, "simple_diff.py")
    written = subprocess.run([sys.executable, script, old, new, "-o", difference])
    expect(written.returncode == 0, "simple_diff exits 0")
    with open(difference, "rb") as f:
        data = f.read()
    with open(broken, "wb") as f:
        f.write(data[:-1])
    checker = os.path.join(HERE, "pa_check.py")
    ok = subprocess.run([sys.executable, checker, difference, "--old", old],
                        capture_output=True, text=True)
    expect(ok.returncode == 0 and ok.stdout == "", "pa_check accepts: %r" % ok.stdout)
    bad = subprocess.run([sys.executable, checker, broken], capture_output=True, text=True)
    expect(bad.returncode == 1 and bad.stdout.count("\n") == 1,
           "pa_check rejects with one line: %r" % bad.stdout)


def main():
    import tempfile
    test_writer()
    test_damage()
    test_fit()
    with tempfile.TemporaryDirectory() as tmp:
        test_command_line(tmp)
    for failure in failures:
        print("FAILED: %s" % failure)
    print("%s" % ("ok" if not failures else "%d failed" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
