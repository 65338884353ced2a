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
