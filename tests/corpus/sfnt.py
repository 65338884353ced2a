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


MAC_LICENCE = (1, 0, 0, 13)
WINDOWS_LICENCE = (3, 1, 0x409, 13)


def name_records(name_data):
    """[(platform, encoding, language, name ID, string bytes)] in record order."""
    count, string_offset = unpack_from(">2xHH", name_data, 0, "name header")
    records = []
    for r in range(count):
        fields = unpack_from(">6H", name_data, 6 + 12 * r, "name record %d" % r)
        start = string_offset + fields[5]
        if start + fields[4] > len(name_data):
            raise FontError("name string %d lies outside the name table" % r)
        records.append(fields[:4] + (name_data[start:start + fields[4]],))
    return records


def compile_name(records):
    """A format-0 name table of `records`, strings back to back in record order."""
    header = struct.pack(">3H", 0, len(records), 6 + 12 * len(records))
    entries, storage = [], b""
    for platform, encoding, language, name_id, text in records:
        entries.append(struct.pack(">6H", platform, encoding, language, name_id, len(text), len(storage)))
        storage += text
    return header + b"".join(entries) + storage


def with_tables(data, replaced):
    """The font with the tables of `replaced` (tag -> bytes) in place of its
    own: tables laid out again in their stored order, 4-byte aligned, with
    their checksums and checkSumAdjustment made right."""
    tables = read_tables(data)
    stored = sorted(range(len(tables)), key=lambda k: tables[k].offset)
    out = bytearray(data[:12 + 16 * len(tables)])
    for k in stored:
        table = tables[k]
        body = replaced.get(table.tag, table.data)
        if table.tag == b"head":
            body = body[:8] + bytes(4) + body[12:]
        struct.pack_into(">4sIII", out, 12 + 16 * k, table.tag, word_sum(body), len(out), len(body))
        out += body + bytes(-len(body) % 4)
    head = 12 + 16 * [t.tag for t in tables].index(b"head")
    (head_offset,) = struct.unpack_from(">I", out, head + 8)
    struct.pack_into(">I", out, head_offset + 8, (0xB1B0AFBA - word_sum(bytes(out))) & 0xFFFFFFFF)
    return bytes(out)


def with_licence_texts(data, texts):
    """The font as a customer has it: the License Description strings of the
    records in `texts` ((platform, encoding, language, 13) -> bytes) replaced,
    whatever their length; the name table written again around them."""
    name = required_table(read_tables(data), b"name")
    records = [fields[:4] + (texts.get(fields[:4], fields[4]),) for fields in name_records(name.data)]
    return with_tables(data, {b"name": compile_name(records)})


def licence_texts(data):
    """The first (1, 0, 0, 13) and (3, 1, 0x409, 13) strings of the font."""
    found = {}
    for fields in name_records(required_table(read_tables(data), b"name").data):
        found.setdefault(fields[:4], fields[4])
    return found.get(MAC_LICENCE), found.get(WINDOWS_LICENCE)


def carried(data, macintosh, windows):
    """The font with the installed License Description texts carried into
    every name ID 13 record: the Macintosh text into platform 1 records, the
    Windows text into all others, each cut or padded with zero bytes to the
    record's length; the name checksum and checkSumAdjustment made right."""
    data = bytearray(data)
    tables = read_tables(bytes(data))
    name = required_table(tables, b"name")
    count, string_offset = unpack_from(">2xHH", name.data, 0, "name header")
    for r in range(count):
        platform, _, _, name_id, length, offset = unpack_from(">6H", name.data, 6 + 12 * r, "name record")
        if name_id == 13:
            text = (macintosh if platform == 1 else windows)[:length]
            start = name.offset + string_offset + offset
            data[start:start + length] = text + bytes(length - len(text))
    entry = 12 + 16 * [t.tag for t in tables].index(b"name")
    struct.pack_into(">I", data, entry + 4, word_sum(bytes(data[name.offset:name.offset + name.length])))
    head = required_table(tables, b"head")
    struct.pack_into(">I", data, head.offset + 8, 0)
    struct.pack_into(">I", data, head.offset + 8, (0xB1B0AFBA - word_sum(bytes(data))) & 0xFFFFFFFF)
    return bytes(data)


def checksum_without_adjustment(table):
    """The table's checksum as its directory entry holds it: head's
    checkSumAdjustment counts as zero."""
    data = table.data
    if table.tag == b"head" and len(data) >= 12:
        data = data[:8] + bytes(4) + data[12:]
    return word_sum(data)


def name_text(tables, name_id):
    """The text of the record that names the font by `name_id`, as an
    extended difference file states it: the first Windows record in US
    English with that ID, else the first Windows one, else the first
    Macintosh one, else the first Unicode one; UTF-16 text as UTF-8."""
    records = name_records(required_table(tables, b"name").data)
    ranks = {3: 1, 1: 2, 0: 3}
    best = None
    for platform, _, language, record_id, text in records:
        if record_id != name_id or platform not in ranks:
            continue
        rank = 0 if (platform, language) == (3, 0x409) else ranks[platform]
        if best is None or rank < best[0]:
            best = (rank, platform, text)
    if best is None or not best[2]:
        raise FontError("no name record %d" % name_id)
    _, platform, text = best
    return text.decode("utf-16-be", "replace").encode("utf-8") if platform in (0, 3) else text


def carried_records(data, installed):
    """The font with the installed License Description records carried as an
    extended difference file carries them: `installed` maps (platform,
    encoding, language) to the text that the new font's name ID 13 record of
    that key receives. When every such text keeps its record's length and no
    such record shares bytes with another string, only those bytes change;
    otherwise the name table is written anew, records and language tags in
    their order, strings back to back in that order, and the tables after it
    move."""
    name = required_table(read_tables(data), b"name").data
    fmt, count, string_offset = unpack_from(">3H", name, 0, "name header")
    fields = [list(unpack_from(">6H", name, 6 + 12 * r, "name record")) for r in range(count)]
    tag_count = unpack_from(">H", name, 6 + 12 * count, "language tags")[0] if fmt == 1 else 0
    tags = [list(unpack_from(">2H", name, 8 + 12 * count + 4 * t, "language tag")) for t in range(tag_count)]
    # (start, length, text) of every string: records, then language tags
    spans = [(string_offset + f[5], f[4]) for f in fields] + [(string_offset + t[1], t[0]) for t in tags]
    texts = [name[start:start + length] for start, length in spans]
    carried = [f[3] == 13 and tuple(f[:3]) in installed for f in fields] + [False] * tag_count
    in_place = True
    for k, (start, length) in enumerate(spans):
        if not carried[k]:
            continue
        texts[k] = installed[tuple(fields[k][:3])]
        shares = any(j != k and length and other_length and other < start + length and start < other + other_length
                     for j, (other, other_length) in enumerate(spans))
        in_place = in_place and len(texts[k]) == length and not shares
    if in_place:
        table = bytearray(name)
        for k, (start, length) in enumerate(spans):
            if carried[k]:
                table[start:start + length] = texts[k]
        table = bytes(table)
    else:
        new_offset = 6 + 12 * count + (2 + 4 * tag_count if fmt == 1 else 0)
        storage, lengths, offsets = b"", [], []
        for text in texts:
            lengths.append(len(text))
            offsets.append(len(storage))
            storage += text
        table = struct.pack(">3H", fmt, count, new_offset)
        for r, f in enumerate(fields):
            table += struct.pack(">6H", *f[:4], lengths[r], offsets[r])
        if fmt == 1:
            table += struct.pack(">H", tag_count)
            for t in range(tag_count):
                table += struct.pack(">2H", lengths[count + t], offsets[count + t])
        table += storage
    return data if table == name else with_tables(data, {b"name": table})
