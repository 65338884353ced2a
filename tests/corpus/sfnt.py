"""Reads what the difference tools need from an OpenType file, with nothing
but the struct module, so that they stay independent of the engine and of
fontTools. Every read is bounds-checked; a malformed font raises FontError."""

import struct


class FontError(Exception):
    pass


class Table:
    def __init__(self, tag, checksum, offset, length, data):
        self.tag = tag
        self.checksum = checksum
        self.offset = offset
        self.length = length
        self.data = data  # the table's bytes, without padding


def unpack_from(fmt, data, offset, what):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise FontError("%s lies outside its data" % what)
    return struct.unpack_from(fmt, data, offset)


def read_tables(data):
    """The tables in directory order."""
    (count,) = unpack_from(">H", data, 4, "the offset table")
    tables = []
    for i in range(count):
        tag, checksum, offset, length = unpack_from(">4sIII", data, 12 + 16 * i,
                                                    "directory entry %d" % i)
        if offset + length > len(data):
            raise FontError("table %r lies outside the file" % tag)
        tables.append(Table(tag, checksum, offset, length, data[offset:offset + length]))
    return tables


def table_map(tables):
    return {t.tag: t for t in tables}


def required_table(tables, tag):
    table = table_map(tables).get(tag)
    if table is None:
        raise FontError("no %s table" % tag.decode("latin-1").strip())
    return table


def font_revision(tables):
    """head fontRevision as the 16.16 integer."""
    return unpack_from(">I", required_table(tables, b"head").data, 4, "head fontRevision")[0]


def head_modified(tables):
    data = required_table(tables, b"head").data
    if len(data) < 36:
        raise FontError("head table too short for its modified date")
    return data[28:36]


def font_name(tables):
    """The string of the fifth name record, which in an updatable font is the
    Macintosh full name that the updater compares."""
    name = required_table(tables, b"name")
    count, string_offset = unpack_from(">2xHH", name.data, 0, "name header")
    if count < 5:
        raise FontError("name table has fewer than five records")
    length, offset = unpack_from(">8xHH", name.data, 6 + 12 * 4, "fifth name record")
    start = string_offset + offset
    if start + length > len(name.data):
        raise FontError("fifth name string lies outside the name table")
    return name.data[start:start + length]


def word_sum(data):
    """The OpenType checksum: big-endian 32-bit words, a partial last word
    padded with zeros, summed modulo 2^32."""
    padded = data + bytes(-len(data) % 4)
    return sum(struct.unpack(">%dI" % (len(padded) // 4), padded)) & 0xFFFFFFFF


def with_revision(data, revision):
    """The same font with head fontRevision set to `revision` (16.16), its
    head checksum and checkSumAdjustment made right again: another revision of
    it as far as the updater can tell, every other byte kept."""
    data = bytearray(data)
    tables = read_tables(bytes(data))
    head = required_table(tables, b"head")
    if head.length < 54:
        raise FontError("head table too short")
    entry = 12 + 16 * [t.tag for t in tables].index(b"head")
    struct.pack_into(">I", data, head.offset + 4, revision)
    struct.pack_into(">I", data, head.offset + 8, 0)
    struct.pack_into(">I", data, entry + 4, word_sum(bytes(data[head.offset:head.offset + head.length])))
    struct.pack_into(">I", data, head.offset + 8, (0xB1B0AFBA - word_sum(bytes(data))) & 0xFFFFFFFF)
    return bytes(data)
