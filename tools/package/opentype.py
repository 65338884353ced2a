"""An OpenType file read as the updater and otpa read it, with nothing but
struct: its offset table, directory, tables and name records, and the facts
the font rules ask about them. Every read is bounds-checked; a file that
cannot be read as a single OpenType font raises FontError."""
import struct

SFNT_OTTO = 0x4F54544F
SFNT_TRUETYPE = 0x00010000
SFNT_TRUE = 0x74727565
COLLECTION = 0x74746366           # 'ttcf'
WEB_FONTS = {0x774F4646: "WOFF", 0x774F4632: "WOFF2"}
OFFSET_TABLE_SIZE = 12
DIRECTORY_ENTRY_SIZE = 16
HEAD_SIZE = 54
# Lengths above it the updater does not hold.
MAX_TABLE_LENGTH = 0x7FFFFFF0
FONT_CHECKSUM_TOTAL = 0xB1B0AFBA
# The tables a classic difference file carries (engine/font_model.cpp).
CLASSIC_TAGS = ("BASE", "CFF ", "GPOS", "GSUB", "OS/2", "VORG", "cmap", "head", "hhea",
                "hmtx", "maxp", "name", "post", "vhea", "vmtx", "EBDT", "EBLC")
# The longest font name a classic difference file holds, and the longest
# License Description text the updater carries in it.
MAX_CLASSIC_NAME = 31
MAX_LICENCE_TEXT = 255
# The longest name an extended difference file knows a font by.
MAX_EXTENDED_NAME = 255
LICENCE_ID = 13
# The platform, encoding and language of the records the classic format
# reads: Macintosh Roman and Windows Unicode in US English.
MAC_ROMAN = (1, 0, 0)
WINDOWS_ENGLISH = (3, 1, 0x409)
PLATFORMS = {0: "Unicode", 1: "Macintosh", 3: "Windows"}


class FontError(Exception):
    """A file that is no single OpenType font: `kind` is "collection",
    "web-font", "sfnt" or "directory"; the message says why in a maker's
    words."""

    def __init__(self, kind, message):
        super().__init__(message)
        self.kind = kind


def tag_text(tag):
    return "'" + tag.decode("latin-1") + "'"


def revision_text(revision):
    """A head fontRevision (16.16) as makers write it: 1.002."""
    return f"{revision / 65536:.3f}"


def word_sum(data):
    """The OpenType checksum: big-endian 32-bit words, a partial last word
    padded with zeros, summed modulo 2^32."""
    padded = bytes(data) + bytes(-len(data) % 4)
    return sum(struct.unpack(f">{len(padded) // 4}I", padded)) & 0xFFFFFFFF


def search_fields(count):
    """searchRange, entrySelector and rangeShift as a table count gives them."""
    if count == 0:
        return 0, 0, 0
    selector = min(count.bit_length() - 1, 15)
    search_range = DIRECTORY_ENTRY_SIZE << selector
    return search_range & 0xFFFF, selector, (DIRECTORY_ENTRY_SIZE * count - search_range) & 0xFFFF


class Table:
    def __init__(self, tag, checksum, offset, length, file):
        self.tag = tag
        self.checksum = checksum
        self.offset = offset
        self.length = length
        self.data = file[offset:offset + length]
        # The padding to the next 4-byte boundary, as far as the file holds it.
        self.padding = file[offset + length:offset + length + (-length % 4)]

    @property
    def padded_end(self):
        return self.offset + self.length + (-self.length % 4)

    def computed_checksum(self):
        """The checksum the updater gives the table: head's
        checkSumAdjustment counts as zero."""
        data = self.data
        if self.tag == b"head" and len(data) >= 12:
            data = data[:8] + bytes(4) + data[12:]
        return word_sum(data)


class NameRecord:
    def __init__(self, platform, encoding, language, name_id, start, length, table):
        self.platform = platform
        self.encoding = encoding
        self.language = language
        self.name_id = name_id
        self.start = start
        self.length = length
        self.raw = table[start:start + length]

    @property
    def key(self):
        return self.platform, self.encoding, self.language

    def text(self):
        """UTF-16 text as str, other text as Mac Roman."""
        if self.platform in (0, 3):
            return self.raw.decode("utf-16-be", "replace")
        return self.raw.decode("mac_roman")


class Font:
    """A single OpenType font with CFF or TrueType outlines whose directory
    and tables lie inside the file, each tag once, with a head table of 54
    bytes (what otpa make reads); FontError otherwise."""

    def __init__(self, data):
        self.data = data
        version = struct.unpack_from(">I", data, 0)[0] if len(data) >= 4 else None
        if version == COLLECTION:
            raise FontError("collection", "a font collection (ttcf), not a single font")
        if version in WEB_FONTS:
            raise FontError("web-font", f"a web font ({WEB_FONTS[version]}), not an installed font")
        if version not in (SFNT_OTTO, SFNT_TRUETYPE, SFNT_TRUE) or len(data) < OFFSET_TABLE_SIZE:
            start = data[:4].hex().upper() or "nothing"
            raise FontError("sfnt", f"not an OpenType font: it starts with {start}, not with the sfnt version "
                                    "OTTO, 00010000 or 'true'")
        self.version = version
        count, *fields = struct.unpack_from(">4H", data, 4)
        self.search_fields = tuple(fields)
        if OFFSET_TABLE_SIZE + DIRECTORY_ENTRY_SIZE * count > len(data):
            raise FontError("directory", f"its table directory ({count} tables) runs past the end of the file")
        self.tables = []
        for k in range(count):
            tag, checksum, offset, length = struct.unpack_from(
                ">4sIII", data, OFFSET_TABLE_SIZE + DIRECTORY_ENTRY_SIZE * k)
            if offset + length > len(data) or length > MAX_TABLE_LENGTH:
                raise FontError("directory", f"table {tag_text(tag)} runs past the end of the file")
            self.tables.append(Table(tag, checksum, offset, length, data))
        self.by_tag = {}
        for table in self.tables:
            if table.tag in self.by_tag:
                raise FontError("directory", f"table {tag_text(table.tag)} is listed twice in its directory")
            self.by_tag[table.tag] = table
        if version != SFNT_OTTO and b"glyf" not in self.by_tag:
            version_text = "'true'" if version == SFNT_TRUE else f"{version:08X}"
            raise FontError("sfnt", "not an OpenType font with CFF outlines (sfnt version OTTO) nor one with "
                                    f"TrueType outlines (its sfnt version is {version_text} but it has no "
                                    "'glyf' table)")
        head = self.by_tag.get(b"head")
        if head is None or head.length < HEAD_SIZE:
            raise FontError("directory", f"it has no 'head' table of {HEAD_SIZE} bytes")
        self.revision = struct.unpack_from(">I", head.data, 4)[0]

    @property
    def tags(self):
        return [table.tag for table in self.tables]

    def physical_order(self):
        """The tables in the order of their offsets (an empty table before a
        table at the same offset)."""
        return sorted(self.tables, key=lambda table: (table.offset, table.length))

    def checksum_adjustment(self):
        return struct.unpack_from(">I", self.by_tag[b"head"].data, 8)[0]

    def name_table(self):
        table = self.by_tag.get(b"name")
        return None if table is None else table.data

    def loose_names(self):
        """The name records as the classic updater reads them: every record
        and its string inside the table, nothing else asked. None when there
        is no name table or a record or string lies outside it."""
        table = self.name_table()
        if table is None or len(table) < 6:
            return None
        count, storage = struct.unpack_from(">2xHH", table, 0)
        records = []
        for r in range(count):
            if 6 + 12 * r + 12 > len(table):
                return None
            fields = struct.unpack_from(">6H", table, 6 + 12 * r)
            start = storage + fields[5]
            if start + fields[4] > len(table):
                return None
            records.append(NameRecord(*fields[:4], start, fields[4], table))
        return records

    def names(self):
        """(records, None) of a well-formed name table: the records (and, in
        format 1, the language-tag records) lie inside it before the string
        storage, every string lies in the storage, UTF-16 strings (Unicode and
        Windows platforms) have an even length; (None, why) otherwise."""
        table = self.name_table()
        if table is None:
            return None, "it has no name table"
        if len(table) < 6:
            return None, "its name table is not well-formed: it is shorter than its header"
        form, count, storage = struct.unpack_from(">3H", table, 0)
        end = 6 + 12 * count
        if end > len(table):
            return None, f"its name table is not well-formed: its {count} records run past it"
        fields = [struct.unpack_from(">6H", table, 6 + 12 * r) for r in range(count)]
        if form == 1:
            if end + 2 > len(table):
                return None, "its name table is not well-formed: its language tags run past it"
            (tags,) = struct.unpack_from(">H", table, end)
            if end + 2 + 4 * tags > len(table):
                return None, "its name table is not well-formed: its language tags run past it"
            fields += [(0, 0, 0, None) + struct.unpack_from(">2H", table, end + 2 + 4 * t) for t in range(tags)]
            end += 2 + 4 * tags
        if not end <= storage <= len(table):
            return None, "its name table is not well-formed: its string storage starts inside its records or past it"
        records = []
        for r, (platform, encoding, language, name_id, length, offset) in enumerate(fields):
            what = f"record {r}" if name_id is not None else "a language tag"
            if storage + offset + length > len(table):
                return None, f"its name table is not well-formed: the string of {what} lies outside it"
            if platform in (0, 3) and length % 2:
                return None, f"its name table is not well-formed: the UTF-16 string of {what} has an odd length"
            if name_id is not None:
                records.append(NameRecord(platform, encoding, language, name_id, storage + offset, length, table))
        return records, None


def name_text(records, name_id):
    """The record an extended difference file names a font by: of the
    records with `name_id`, the first Windows one in US English, else the
    first Windows one, else the first Macintosh one, else the first Unicode
    one; its text in bytes (UTF-16 as UTF-8), None when there is none or it
    is empty."""
    def rank(record):
        if record.platform == 3:
            return 0 if record.language == 0x409 else 1
        return {1: 2, 0: 3}.get(record.platform, 4)

    best = None
    for record in records:
        if record.name_id == name_id and rank(record) < 4 and (best is None or rank(record) < rank(best)):
            best = record
    if best is None or not best.raw:
        return None
    return best.text().encode("utf-8") if best.platform in (0, 3) else best.raw


def licence_texts(records):
    """{(platform, encoding, language): text} of the first License
    Description record of each."""
    texts = {}
    for record in records:
        if record.name_id == LICENCE_ID:
            texts.setdefault(record.key, record.raw)
    return texts


def english_names(font):
    """{name id: text} of the font's Windows English records, the Macintosh
    Roman ones where those are missing."""
    found = {}
    for record in font.loose_names() or []:
        if record.key == WINDOWS_ENGLISH:
            found[record.name_id] = record.text()
        elif record.key == MAC_ROMAN:
            found.setdefault(record.name_id, record.text())
    return found
