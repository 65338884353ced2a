"""Layout of a difference file (.pa), shared by the Python writer and checker:
a 53-byte header, one 18-byte record per table of the new font, then the
difference blocks. Big-endian, no padding anywhere."""

import struct

MAGIC = b"XOTP"
NAME_SIZE = 32

# magic, font name, expected revision, new file length, table count, date
HEADER = struct.Struct(">4s32sIIB8s")
# tag, new index, order, block offset, new length, new offset
RECORD = struct.Struct(">4sBBIII")
COUNT = struct.Struct(">I")
# source offset in the old table, length, destination offset in the new one
COPY_RUN = struct.Struct(">III")
# destination offset, length; the literal bytes follow
INSERT_RUN = struct.Struct(">II")

FIRST_TABLE = 12  # a font's offset table; each directory entry adds 16 bytes


def round_up4(n):
    return (n + 3) & ~3


def encode_block(copies, inserts):
    """copies: (source, length, destination); inserts: (destination, bytes)."""
    parts = [COUNT.pack(len(copies))]
    parts += [COPY_RUN.pack(*run) for run in copies]
    parts.append(COUNT.pack(len(inserts)))
    for destination, literal in inserts:
        parts.append(INSERT_RUN.pack(destination, len(literal)))
        parts.append(literal)
    return b"".join(parts)


# The extended format: its own magic and version, a header of fixed fields
# followed by the identity text (records start at the header size it
# states), 30-byte records with flags, block length and the old table's
# checksum.
EXT_MAGIC = b"XOTE"
EXT_MAJOR = 1
# magic, major, minor, flags, header size, expected revision, old sfnt
# version, new sfnt version, new file length, date, table count, old table
# count, identity name ID, identity length; the identity follows
EXT_HEADER = struct.Struct(">4sBBHIIIII8sHHHB")
# tag, new index, order, flags, encoding, block offset, block length, new
# length, new offset, old checksum
EXT_RECORD = struct.Struct(">4sHHBBIIIII")
EXT_HAS_BLOCK = 0x01
EXT_NEW_TABLE = 0x02
EXT_RUNS = 0  # the block encoding: copy and insert runs
# Compressed add-and-copy: three varint lengths (control, difference and
# extra bytes), then one zlib stream of the three streams back to back. A
# control step is three varints: seek (zigzag), add, extra.
EXT_ADD_COPY = 1
