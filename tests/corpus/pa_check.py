"""pa_check.py FILE.pa [--old OLD.otf]

Checks that a difference file is well-formed: its records, the layout of the
new font they describe, its blocks and their runs; with --old, also that it
fits that installed font. Exit 0 when it is; otherwise one line saying why,
and exit 1. Every read is bounds-checked: the file under test may be anything."""

import argparse
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pa_format  # noqa: E402
import sfnt  # noqa: E402


class Malformed(Exception):
    pass


def unpack(layout, data, offset, what):
    if offset + layout.size > len(data):
        raise Malformed("%s runs past the end of the file (offset %d)" % (what, offset))
    return layout.unpack_from(data, offset)


class Record:
    def __init__(self, fields):
        self.tag, self.index, self.order, self.block, self.length, self.offset = fields
        self.copies = []   # (source, length, destination)
        self.inserts = []  # (destination, length)
        self.encoding = pa_format.EXT_RUNS
        self.adds = []     # compressed blocks: (old offset, length)
        # Extended files only.
        self.new_table = False
        self.block_length = None
        self.old_checksum = None


class Identity:
    """What a file says of the font it revises."""

    def __init__(self, name, revision, extended=False, name_id=None, old_sfnt=None, old_count=None):
        self.name = name
        self.revision = revision
        self.extended = extended
        self.name_id = name_id
        self.old_sfnt = old_sfnt
        self.old_count = old_count


def read_block(data, offset, record):
    """Decodes one block, returns the offset right after it."""
    what = "block of %r" % record.tag
    (copy_count,) = unpack(pa_format.COUNT, data, offset, what)
    offset += pa_format.COUNT.size
    if copy_count * pa_format.COPY_RUN.size > len(data) - offset:
        raise Malformed("%s: %d copy runs cannot fit" % (what, copy_count))
    for _ in range(copy_count):
        record.copies.append(pa_format.COPY_RUN.unpack_from(data, offset))
        offset += pa_format.COPY_RUN.size
    (insert_count,) = unpack(pa_format.COUNT, data, offset, what)
    offset += pa_format.COUNT.size
    if insert_count * pa_format.INSERT_RUN.size > len(data) - offset:
        raise Malformed("%s: %d insert runs cannot fit" % (what, insert_count))
    for _ in range(insert_count):
        destination, length = unpack(pa_format.INSERT_RUN, data, offset, what)
        offset += pa_format.INSERT_RUN.size
        if length > len(data) - offset:
            raise Malformed("%s: literal bytes at %d run past the end of the file"
                            % (what, offset))
        record.inserts.append((destination, length))
        offset += length
    return offset


def read_varint(data, offset, end, what):
    value = 0
    for k in range(5):
        if offset + k >= end:
            raise Malformed("%s: a number runs past the block" % what)
        byte = data[offset + k]
        value |= (byte & 0x7F) << (7 * k)
        if byte < 0x80:
            if value > 0xFFFFFFFF:
                raise Malformed("%s: a number of more than 32 bits" % what)
            return value, offset + k + 1
    raise Malformed("%s: a number longer than five bytes" % what)


def read_add_copy_block(data, offset, record):
    """Decodes one compressed block, returns the offset right after it."""
    what = "block of %r" % record.tag
    end = offset + record.block_length
    if end > len(data):
        raise Malformed("%s runs past the end of the file" % what)
    sizes = []
    for _ in range(3):
        size, offset = read_varint(data, offset, end, what)
        sizes.append(size)
    control_size, difference_size, extra_size = sizes
    if extra_size > record.length:
        raise Malformed("%s: %d extra bytes for a table of %d" % (what, extra_size, record.length))
    inflater = zlib.decompressobj()
    try:
        raw = inflater.decompress(data[offset:end], sum(sizes) + 1)
    except zlib.error as error:
        raise Malformed("%s: damaged stream (%s)" % (what, error))
    if len(raw) != sum(sizes) or not inflater.eof or inflater.unused_data:
        raise Malformed("%s: its stream does not inflate to exactly %d bytes" % (what, sum(sizes)))
    # The differences: stretches of so many zeros and so many other bytes.
    stretches = raw[control_size:control_size + difference_size]
    differences = stretch_at = 0
    while stretch_at < difference_size:
        zeros, stretch_at = read_varint(stretches, stretch_at, difference_size, what)
        others, stretch_at = read_varint(stretches, stretch_at, difference_size, what)
        if zeros + others == 0 or stretch_at + others > difference_size:
            raise Malformed("%s: a stretch of differences is empty or runs past its stream" % what)
        differences += zeros + others
        stretch_at += others
    difference_size = differences
    at = differences = extras = old = 0
    offset_in_control = 0
    while offset_in_control < control_size:
        step = []
        for _ in range(3):
            value, offset_in_control = read_varint(raw, offset_in_control, control_size, what)
            step.append(value)
        seek, add, extra = step
        old += -(seek + 1) // 2 if seek & 1 else seek // 2
        if add + extra == 0:
            raise Malformed("%s: a step makes no byte" % what)
        if at + add + extra > record.length or differences + add > difference_size or \
                extras + extra > extra_size:
            raise Malformed("%s: a step at new byte %d runs past the table or a stream" % (what, at))
        if add:
            if old < 0:
                raise Malformed("%s: a step adds to old bytes before the table" % what)
            record.adds.append((old, add))
        at, differences, extras, old = at + add + extra, differences + add, extras + extra, old + add
    if (at, differences, extras) != (record.length, difference_size, extra_size):
        raise Malformed("%s: its steps make %d of %d new bytes" % (what, at, record.length))
    return end


def check_runs(record):
    """Copy runs ascend by destination, insert runs likewise, and together
    they cover the new table exactly once."""
    what = "block of %r" % record.tag
    for kind, destinations in (("copy", [r[2] for r in record.copies]),
                               ("insert", [r[0] for r in record.inserts])):
        if destinations != sorted(destinations):
            raise Malformed("%s: %s runs not in ascending destination order" % (what, kind))
    spans = sorted([(d, n) for _, n, d in record.copies] + list(record.inserts))
    covered = 0
    for destination, length in spans:
        if length == 0:
            if destination > record.length:
                raise Malformed("%s: empty run at %d past the table's end" % (what, destination))
            continue
        if destination != covered:
            raise Malformed("%s: new bytes from %d %s" % (
                what, min(covered, destination),
                "are written twice" if destination < covered else "are not written"))
        covered += length
    if covered != record.length:
        raise Malformed("%s: runs cover %d of %d new bytes" % (what, covered, record.length))


def check_layout(records, header_count, new_length):
    """The order bytes lay the tables back to back after the directory."""
    if sorted(r.order for r in records) != list(range(header_count)):
        raise Malformed("order bytes are not a permutation of 0..%d" % (header_count - 1))
    expected = pa_format.FIRST_TABLE + 16 * header_count
    end = expected
    for record in sorted(records, key=lambda r: r.order):
        if record.offset != expected:
            raise Malformed("table %r at offset %d, expected %d"
                            % (record.tag, record.offset, expected))
        end = record.offset + record.length
        expected = record.offset + pa_format.round_up4(record.length)
    # The last table's padding may or may not be part of the file.
    if new_length not in (end, expected):
        raise Malformed("new file length %d, but the last table ends at %d" % (new_length, end))


def append_record(records, record):
    """Records are stored in new-index order, their tags ascending."""
    if record.index != len(records):
        raise Malformed("record %d has new index %d" % (len(records), record.index))
    if records and record.tag <= records[-1].tag:
        raise Malformed("tag %r does not ascend after %r" % (record.tag, records[-1].tag))
    records.append(record)


def check_blocks(data, records, offset):
    """The blocks lie back to back from `offset` in record order and end the file."""
    for record in records:
        if record.block == 0:
            continue
        if record.block != offset:
            raise Malformed("block of %r at %d, expected %d" % (record.tag, record.block, offset))
        if record.encoding == pa_format.EXT_ADD_COPY:
            offset = read_add_copy_block(data, offset, record)
            continue
        offset = read_block(data, offset, record)
        if record.block_length is not None and offset - record.block != record.block_length:
            raise Malformed("block of %r takes %d bytes, its record says %d"
                            % (record.tag, offset - record.block, record.block_length))
        check_runs(record)
    if offset != len(data):
        raise Malformed("%d bytes after the last block" % (len(data) - offset))


def check_extended(data):
    (_, major, _, flags, header_size, revision, old_sfnt, _, new_length, _, count, old_count,
     name_id, name_length) = unpack(pa_format.EXT_HEADER, data, 0, "header")
    if major != pa_format.EXT_MAJOR:
        raise Malformed("major version %d, not %d" % (major, pa_format.EXT_MAJOR))
    if flags:
        raise Malformed("flags 0x%04X set" % flags)
    name_end = pa_format.EXT_HEADER.size + name_length
    if name_length == 0 or header_size < name_end or header_size > len(data):
        raise Malformed("identity of %d bytes and header size %d do not fit" % (name_length, header_size))
    records = []
    offset = header_size
    for i in range(count):
        fields = unpack(pa_format.EXT_RECORD, data, offset, "record %d" % i)
        tag, index, order, record_flags, encoding, block, block_length, length, new_offset, checksum = fields
        offset += pa_format.EXT_RECORD.size
        if record_flags & ~(pa_format.EXT_HAS_BLOCK | pa_format.EXT_NEW_TABLE):
            raise Malformed("record %d has flags 0x%02X" % (i, record_flags))
        if encoding not in (pa_format.EXT_RUNS, pa_format.EXT_ADD_COPY) or \
                (encoding != pa_format.EXT_RUNS and not block):
            raise Malformed("record %d has block encoding %d" % (i, encoding))
        if bool(record_flags & pa_format.EXT_HAS_BLOCK) != (block != 0):
            raise Malformed("record %d: block flag and block offset %d disagree" % (i, block))
        if record_flags & pa_format.EXT_NEW_TABLE and not block:
            raise Malformed("new table %r has no block" % tag)
        record = Record((tag, index, order, block, length, new_offset))
        record.new_table = bool(record_flags & pa_format.EXT_NEW_TABLE)
        record.block_length = block_length
        record.old_checksum = checksum
        record.encoding = encoding
        append_record(records, record)
    check_layout(records, count, new_length)
    check_blocks(data, records, offset)
    identity = Identity(data[pa_format.EXT_HEADER.size:name_end], revision, True, name_id, old_sfnt, old_count)
    return identity, records


def check(data):
    """Returns the font name, expected revision and records of a well-formed file."""
    identity, records = check_file(data)
    return identity.name, identity.revision, records


def check_file(data):
    """Returns the identity and records of a well-formed file."""
    if data[:4] == pa_format.EXT_MAGIC:
        return check_extended(data)
    magic, name, revision, new_length, count, _ = unpack(pa_format.HEADER, data, 0, "header")
    if magic != pa_format.MAGIC:
        raise Malformed("magic is %r, not %r" % (magic, pa_format.MAGIC))
    if b"\0" not in name or name[name.index(b"\0"):].strip(b"\0"):
        raise Malformed("font name is not NUL-terminated and NUL-padded")

    records = []
    offset = pa_format.HEADER.size
    for i in range(count):
        record = Record(unpack(pa_format.RECORD, data, offset, "record %d" % i))
        offset += pa_format.RECORD.size
        append_record(records, record)
    check_layout(records, count, new_length)
    check_blocks(data, records, offset)
    return Identity(name[:name.index(b"\0")], revision), records


def check_fits(identity, records, old_bytes):
    """The file revises exactly this installed font."""
    try:
        tables = sfnt.read_tables(old_bytes)
        if identity.extended:
            old_name = sfnt.name_text(tables, identity.name_id)
        else:
            old_name = sfnt.font_name(tables)
        old_revision = sfnt.font_revision(tables)
    except sfnt.FontError as error:
        raise Malformed("old font: %s" % error)
    if identity.name != old_name:
        raise Malformed("font name %r, old font's is %r" % (identity.name, old_name))
    if identity.revision != old_revision:
        raise Malformed("expected revision 0x%08X, old font's is 0x%08X" % (identity.revision, old_revision))
    old_by_tag = sfnt.table_map(tables)
    if identity.extended:
        (old_sfnt,) = struct.unpack(">I", old_bytes[:4])
        if (old_sfnt, len(tables)) != (identity.old_sfnt, identity.old_count):
            raise Malformed("old font of sfnt version 0x%08X with %d tables, the file says 0x%08X with %d"
                            % (old_sfnt, len(tables), identity.old_sfnt, identity.old_count))
        for record in records:
            if record.new_table != (record.tag not in old_by_tag):
                raise Malformed("%r is %s the old font, but its record says otherwise"
                                % (record.tag, "not in" if record.new_table else "in"))
            if not record.new_table and record.tag != b"name" and \
                    sfnt.checksum_without_adjustment(old_by_tag[record.tag]) != record.old_checksum:
                raise Malformed("%r of the old font has another checksum than the record's" % record.tag)
    else:
        old_tags = sorted(t.tag for t in tables)
        if old_tags != sorted(r.tag for r in records):
            raise Malformed("old font's tables %s differ from the records'"
                            % b" ".join(old_tags).decode("latin-1"))
    for record in records:
        old_length = old_by_tag[record.tag].length if record.tag in old_by_tag else 0
        if record.block == 0 and old_length != record.length:
            raise Malformed("%r carried over, but its old length %d is not the new length %d"
                            % (record.tag, old_length, record.length))
        for source, length in [(source, length) for source, length, _ in record.copies] + record.adds:
            if source + length > old_length:
                raise Malformed("%r copies old bytes %d..%d of %d"
                                % (record.tag, source, source + length, old_length))
        if record.tag == b"name" and record.adds:
            raise Malformed("the name table's compressed block takes bytes of the old one")


def verdict(data, old_bytes=None):
    """None when well-formed, otherwise the reason."""
    try:
        identity, records = check_file(data)
        if old_bytes is not None:
            check_fits(identity, records, old_bytes)
    except Malformed as error:
        return str(error)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pa")
    parser.add_argument("--old")
    args = parser.parse_args()
    with open(args.pa, "rb") as f:
        data = f.read()
    old_bytes = None
    if args.old:
        with open(args.old, "rb") as f:
            old_bytes = f.read()
    reason = verdict(data, old_bytes)
    if reason:
        print("%s: %s" % (args.pa, reason))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
