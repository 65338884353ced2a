"""simple_diff.py OLD NEW -o OUT.pa

Writes a plain difference file turning OLD into NEW (both with the same table
set): an unchanged table is carried over, a changed one becomes at most three
runs, copying the common prefix and suffix from the old table and inserting
the middle. A reference for the real maker, not a competitor to it."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pa_format  # noqa: E402
import sfnt  # noqa: E402


def common_prefix(a, b):
    limit = min(len(a), len(b))
    n = 0
    # Compare in chunks first: tables run to megabytes.
    step = 4096
    while n + step <= limit and a[n:n + step] == b[n:n + step]:
        n += step
    while n < limit and a[n] == b[n]:
        n += 1
    return n


def common_suffix(a, b, limit):
    n = 0
    step = 4096
    la, lb = len(a), len(b)
    while n + step <= limit and a[la - n - step:la - n] == b[lb - n - step:lb - n]:
        n += step
    while n < limit and a[la - n - 1] == b[lb - n - 1]:
        n += 1
    return n


def table_block(old, new):
    """Copy runs for the common prefix and suffix, one insert for the rest;
    only runs of non-zero length."""
    prefix = common_prefix(old, new)
    suffix = common_suffix(old, new, min(len(old), len(new)) - prefix)
    copies = []
    inserts = []
    if prefix:
        copies.append((0, prefix, 0))
    if suffix:
        copies.append((len(old) - suffix, suffix, len(new) - suffix))
    middle = new[prefix:len(new) - suffix]
    if middle:
        inserts.append((prefix, middle))
    return pa_format.encode_block(copies, inserts)


def make_difference(old_bytes, new_bytes):
    old_tables = sfnt.read_tables(old_bytes)
    new_tables = sfnt.read_tables(new_bytes)
    old_by_tag = sfnt.table_map(old_tables)
    if sorted(old_by_tag) != sorted(t.tag for t in new_tables):
        raise sfnt.FontError("OLD and NEW have different table sets")
    name = sfnt.font_name(old_tables)
    if len(name) >= pa_format.NAME_SIZE:
        raise sfnt.FontError("font name longer than %d bytes" % (pa_format.NAME_SIZE - 1))

    count = len(new_tables)
    if count > 255:
        raise sfnt.FontError("more than 255 tables")
    physical = sorted(range(count), key=lambda i: new_tables[i].offset)
    order = {index: position for position, index in enumerate(physical)}

    blocks = []
    records = []
    next_block = pa_format.HEADER.size + pa_format.RECORD.size * count
    for index, table in enumerate(new_tables):
        old = old_by_tag[table.tag].data
        block_offset = 0
        if old != table.data:
            block = table_block(old, table.data)
            block_offset = next_block
            next_block += len(block)
            blocks.append(block)
        records.append(pa_format.RECORD.pack(table.tag, index, order[index], block_offset,
                                             table.length, table.offset))

    header = pa_format.HEADER.pack(pa_format.MAGIC, name, sfnt.font_revision(old_tables),
                                   len(new_bytes), count, sfnt.head_modified(new_tables))
    return header + b"".join(records) + b"".join(blocks)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args()
    with open(args.old, "rb") as f:
        old_bytes = f.read()
    with open(args.new, "rb") as f:
        new_bytes = f.read()
    try:
        difference = make_difference(old_bytes, new_bytes)
    except sfnt.FontError as error:
        print("simple_diff: %s" % error, file=sys.stderr)
        return 1
    with open(args.output, "wb") as f:
        f.write(difference)
    return 0


if __name__ == "__main__":
    sys.exit(main())
