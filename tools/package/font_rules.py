"""What a maker's fonts must be for the updater to revise them, and the check
of an old and a new folder against it: scripts/check-fonts, and the first
step of scripts/make-package.

Every rule has a short id, the sentence that README.md's "What fonts can be
revised" carries (`scripts/check-fonts --rules` writes that section) and its
check below. The check names every problem of every font in one run, each
with what to do about it, and notes what it leaves out. Once the rules pass
for a pair, `otpa make` makes its difference file: a refusal the rules did
not foresee is a problem too, so that the rules and otpa cannot part
silently.
"""
import pathlib
import re
import subprocess
import sys
import tempfile
import textwrap

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "resources"))
from package import MAX_VALUE_BYTES  # noqa: E402
from opentype import (CLASSIC_TAGS, FONT_CHECKSUM_TOTAL, LICENCE_ID, MAC_ROMAN, MAX_CLASSIC_NAME,
                      MAX_EXTENDED_NAME, MAX_LICENCE_TEXT, OFFSET_TABLE_SIZE, DIRECTORY_ENTRY_SIZE, PLATFORMS,
                      SFNT_OTTO, WINDOWS_ENGLISH, Font, FontError, licence_texts, name_text, revision_text,
                      search_fields, tag_text, word_sum)  # noqa: E402

# The extensions the updater looks for.
FONT_EXTENSIONS = (".otf", ".ttf")
COLLECTION_EXTENSIONS = (".ttc", ".otc")
WEB_FONT_EXTENSIONS = (".woff", ".woff2")
# The program reads an installed file name ("BASE.otf") into 256 bytes (a
# difference file's name, a configuration value, into MAX_VALUE_BYTES + 1).
MAX_TARGET_BYTES = 255
CLASSIC_MAGIC = b"XOTP"
# What lays a font out as the updater rebuilds it.
SAVE_AGAIN = "save it again from your font editor, or with fontTools: TTFont(path).save(path)"


class Rule:
    def __init__(self, rule_id, group, text, note=False):
        self.id = rule_id
        self.group = group
        self.text = text
        self.note = note


GROUPS = [
    ("names", "File names", "in NEW_DIR. The updater finds a customer's copy of a font by its file name: the name "
              "of the difference file, cut at its first \"_\", followed by \".otf\" (or \".ttf\"), with two or "
              "three more bytes allowed before the extension."),
    ("files", "Every font file", "new and older."),
    ("older", "Older revisions", "under OLD_DIR, as the customers have them installed."),
    ("new", "New fonts", "The updater rebuilds a font from its tables, laid out back to back in the order of their "
            "offsets, and computes every checksum: a new font must come out of that byte for byte. Font editors "
            "and fontTools (`TTFont(path).save(path)`) write fonts so."),
    ("pairs", "Pairs", "of a new font and each older revision."),
    ("notes", "Notes", "what is left out, and what a maker should know."),
]

RULES = [
    Rule("extension", "names", "The name ends in \".otf\" or \".ttf\", in small letters: the updater looks for no "
         "other names, so it never finds a copy named \".OTF\"."),
    Rule("one-extension", "names", "NEW_DIR does not hold both X.otf and X.ttf: both would make the difference "
         "file X.pa."),
    Rule("underscore", "names", "The name holds no \"_\": the updater reads what follows the first \"_\" of a "
         "difference file's name as a part number (X_1.pa and X_2.pa revise two older revisions of X.otf), and "
         "would look for the name before it."),
    Rule("shift-jis", "names", "The name has a Shift-JIS form: the Windows program reads file names and its "
         "configuration in Shift-JIS."),
    Rule("name-length", "names", f"In Shift-JIS the name is at most {MAX_TARGET_BYTES} bytes and its difference "
         f"file's name (X.pa, or X_1.pa, X_2.pa, ...) at most {MAX_VALUE_BYTES}: the updater reads no longer "
         "ones."),
    Rule("ttf-classic", "names", "A font named \".ttf\" is one the updater revises with an extended difference "
         "file (TrueType outlines, other tables than the classic ones or another identification, say): with a "
         "classic one it looks for \".otf\" names only."),
    Rule("readable", "files", "The file can be read."),
    Rule("single-font", "files", "It is a single font, not a collection (ttcf) nor a web font (WOFF, WOFF2): the "
         "updater revises installed font files one by one."),
    Rule("sfnt", "files", "It is an OpenType font: sfnt version OTTO (CFF outlines), or 00010000 or 'true' with a "
         "'glyf' table (TrueType outlines)."),
    Rule("directory", "files", "Its table directory and every table lie inside the file, each tag once, with a "
         "'head' table of at least 54 bytes."),
    Rule("identity", "older", "The updater can tell which installed font it is. Where the classic difference "
         "file fits the pair (both fonts with CFF outlines and only the classic tables "
         f"{', '.join(repr(t) for t in CLASSIC_TAGS)}; the same tables and the same searchRange, entrySelector "
         "and rangeShift in both), by its fifth name record (record index 4, whatever its name ID) holding an "
         f"8-bit name of 1 to {MAX_CLASSIC_NAME} bytes, and its License Description records (1, 0, 0, 13) and "
         f"(3, 1, 0x409, 13) of at most {MAX_LICENCE_TEXT} bytes each; otherwise by its PostScript name (name "
         f"ID 6), or its full name (name ID 4) where it has none, of at most {MAX_EXTENDED_NAME} bytes in a "
         "well-formed name table."),
    Rule("tag-order", "new", "Its directory lists the tags in ascending order."),
    Rule("alignment", "new", "Every table starts on a 4-byte boundary."),
    Rule("overlap", "new", "No table overlaps the directory or another table."),
    Rule("gap", "new", "The tables follow the directory and each other without a gap."),
    Rule("padding", "new", "The padding after each table, up to its 4-byte boundary, is zero bytes."),
    Rule("trailing", "new", "Nothing follows the last table."),
    Rule("table-checksum", "new", "Each directory checksum is its table's own (the 'head' table's with "
         "checkSumAdjustment taken as zero)."),
    Rule("font-checksum", "new", "head.checkSumAdjustment brings the checksum of the whole file to 0xB1B0AFBA."),
    Rule("search-fields", "new", "Its searchRange, entrySelector and rangeShift are those its table count gives "
         "(with a classic difference file: those of its older revision)."),
    Rule("name-table", "new", "With an extended difference file, its name table is well-formed (records and "
         "strings inside the table, UTF-16 strings of an even length): the updater carries the customer's "
         "License Description texts into it."),
    Rule("same-revision", "pairs", "An older copy with the new font's revision (head.fontRevision) is byte for "
         "byte the new font: the updater tells revisions apart by it."),
    Rule("one-copy", "pairs", "The older copies of one revision are byte for byte the same: one difference file "
         "revises one revision."),
    Rule("newer", "pairs", "The new font's revision is above each older one's: the updater would otherwise take "
         "the customers back to an older revision."),
    Rule("otpa", "pairs", "`otpa make` makes the difference file of the pair: a refusal the rules above did not "
         "foresee is a problem too."),
    Rule("licence", "notes", "The new font's License Description texts (name ID 13) may differ from the older "
         "revision's: the customers keep theirs, since the updater carries each customer's texts into the new "
         "font.", note=True),
    Rule("no-older", "notes", "A new font with no older revision of its name under OLD_DIR is left out: nobody "
         "has it to revise.", note=True),
    Rule("no-newer", "notes", "An older font with no new one of its name is left out.", note=True),
    Rule("same-bytes", "notes", "An older copy byte for byte the new font is left out: it is revised already.",
         note=True),
    Rule("passed-over", "notes", "Other files are passed over: folders in NEW_DIR, collections (.ttc), web fonts "
         "(.woff) and other files that are not named .otf or .ttf.", note=True),
]
RULE = {rule.id: rule for rule in RULES}
ORDER = {rule.id: k for k, rule in enumerate(RULES)}


class Finding:
    def __init__(self, rule_id, label, text):
        self.rule = RULE[rule_id]
        self.label = label
        self.text = text

    def line(self):
        return f"{'note: ' if self.rule.note else ''}{self.label}: {self.text} [{self.rule.id}]"


class Revisable:
    """A new font that can be revised: `olds` are (revision, older copy,
    difference file bytes), oldest first."""

    def __init__(self, path, font, olds):
        self.path = path
        self.font = font
        self.olds = olds


class Report:
    def __init__(self):
        self.findings = []
        self.fonts = 0
        self.revisable = []

    @property
    def problems(self):
        return [f for f in self.findings if not f.rule.note]

    @property
    def notes(self):
        return [f for f in self.findings if f.rule.note]

    def summary(self):
        def count(n, word):
            return f"{n} {word}{'' if n == 1 else 's'}"
        return (f"{count(self.fonts, 'font')}, {len(self.revisable)} can be revised, "
                f"{count(len(self.problems), 'problem')}, {count(len(self.notes), 'note')}")


def markdown():
    """README's section: the rules by group, wrapped as README is."""
    def wrapped(text, indent=""):
        return textwrap.fill(text, width=78, subsequent_indent=indent, break_long_words=False,
                             break_on_hyphens=False)

    lines = ["### What fonts can be revised",
             wrapped("`scripts/check-fonts OLD_DIR NEW_DIR` checks every font and every pair against these rules: "
                     "it names every problem in one run, each with what to do about it, and notes what it leaves "
                     "out, each line ending with its rule's id; then a summary line. It writes nothing and exits 1 "
                     "when there is a problem. `make-package` runs the same check first and writes nothing while "
                     "there is one.")]
    for group, title, explanation in GROUPS:
        lines += ["", wrapped(f"**{title}**{' ' if explanation[0].isupper() else ', '}{explanation}"), ""]
        lines += [wrapped(f"- `{rule.id}`: {rule.text}", "  ") for rule in RULES if rule.group == group]
    return "\n".join(lines) + "\n"


def target_name(value):
    """The installed file name a difference file revises: the file name
    without folder and extension, cut at its first "_", then ".otf"."""
    stem = re.split(r"[\\/]", value)[-1]
    stem = stem.rsplit(".", 1)[0] if "." in stem else stem
    return stem.split("_", 1)[0] + ".otf"


def sjis_length(text):
    return len(text.encode("cp932", "replace"))


def otpa_make(otpa, old_path, new_path, out, classic=False):
    """None when otpa make wrote the difference file of the pair to `out`
    (the classic one with `classic`), else its one-line reason."""
    result = subprocess.run([otpa, "make"] + (["--classic"] if classic else []) +
                            [str(old_path), str(new_path), "-o", str(out)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode == 0:
        return None
    lines = result.stderr.decode("utf-8", "replace").strip().splitlines()
    return lines[-1].removeprefix("otpa make: ") if lines else f"otpa make failed ({result.returncode})"


def classic_identity_problem(font):
    """None when the classic way of the updater identifies the installed
    font: its fifth name record holds an 8-bit name that fits a classic
    difference file, and it has both License Description records the
    updater carries. Otherwise why not."""
    if font.name_table() is None:
        return "it has no name table"
    records = font.loose_names()
    if records is None:
        return "a record or string of its name table lies outside the table"
    if len(records) < 5:
        return f"its name table has {len(records)} records, no fifth"
    fifth = records[4]
    # The updater reads at most 260 bytes of it, up to the first zero byte.
    name = fifth.raw[:260].split(b"\0", 1)[0][:254]
    where = f"its fifth name record (record index 4, name ID {fifth.name_id})"
    if not fifth.raw:
        return f"{where} is empty"
    if not name:
        if fifth.platform in (0, 3):
            return f"{where} is a {PLATFORMS[fifth.platform]} one, whose UTF-16 text is no 8-bit name"
        return f"{where} starts with a zero byte"
    if len(name) > MAX_CLASSIC_NAME:
        return f"{where} holds \"{name.decode('mac_roman')}\", {len(name)} bytes: more than {MAX_CLASSIC_NAME}"
    first = {}
    for record in records:
        if record.name_id == LICENCE_ID:
            first.setdefault(record.key, record)
    for key, record in ((MAC_ROMAN, "(1, 0, 0, 13)"), (WINDOWS_ENGLISH, "(3, 1, 0x409, 13)")):
        what = f"License Description record {record}"
        if key not in first:
            return f"it has no {what}"
        if first[key].length > MAX_LICENCE_TEXT:
            return f"its {what} is {first[key].length} bytes: more than {MAX_LICENCE_TEXT}"
    return None


def extended_identity_problem(font):
    """None when an extended difference file can name the installed font:
    its PostScript name, or its full name without one, of at most 255 bytes
    in a well-formed name table. Otherwise why not."""
    records, why = font.names()
    if records is None:
        return why
    for name_id, what in ((6, "PostScript name"), (4, "full name")):
        text = name_text(records, name_id)
        if text is None:
            continue
        if len(text) > MAX_EXTENDED_NAME:
            return f"its {what} (name ID {name_id}) is {len(text)} bytes: more than {MAX_EXTENDED_NAME}"
        return None
    return "it has no PostScript name (name ID 6) nor full name (name ID 4)"


def classic_misfit(old, new):
    """None when otpa make writes a classic difference file for the pair
    (the new font being laid out as the updater lays it out), else why not;
    with `new` None, only what the older font decides."""
    for font, whose in ((old, "the older font"), (new, "the new font")):
        if font is None:
            continue
        if font.version != SFNT_OTTO:
            return f"{whose} has TrueType outlines"
        others = [tag for tag in font.tags if tag.decode("latin-1") not in CLASSIC_TAGS]
        if others:
            return f"{whose} has table {tag_text(others[0])}, which a classic difference file does not carry"
        if font is old:
            why = classic_identity_problem(old)
            if why:
                return why
    if new is None:
        return None
    if set(old.tags) != set(new.tags):
        only = sorted(set(old.tags) ^ set(new.tags))[0]
        return f"table {tag_text(only)} is only in the {'older' if only in old.tags else 'new'} font"
    if old.search_fields != new.search_fields:
        return "the two fonts' searchRange, entrySelector or rangeShift differ"
    return None


class FontCheck:
    """The findings of one new font and its older copies."""

    def __init__(self, old_dir, new_dir, path, olds):
        self.old_dir = old_dir
        self.new_dir = new_dir
        self.path = path
        self.name = path.name
        self.olds = olds
        self.findings = []

    def add(self, rule_id, label, text):
        self.findings.append(Finding(rule_id, label, text))

    @property
    def blocked(self):
        return any(not f.rule.note for f in self.findings)

    def read(self, path, label, side):
        """The bytes of a file, None when it cannot be read."""
        if not path.is_file():
            # A link to nothing, say; a pipe would never end its reading.
            self.add("readable", label, f"not a file that can be read; {NEXT_STEPS[side]['readable']}")
            return None
        try:
            return path.read_bytes()
        except OSError as error:
            self.add("readable", label, f"cannot be read ({error.strerror}); {NEXT_STEPS[side]['readable']}")
            return None

    def parse(self, data, label, side):
        """The font in `data`, None when it is no single OpenType font."""
        if data is None:
            return None
        try:
            return Font(data)
        except FontError as error:
            rule = error.kind if error.kind in ("sfnt", "directory") else "single-font"
            self.add(rule, label, f"{error}; {NEXT_STEPS[side][error.kind].format(old=self.old_dir)}")
            return None

    def check_name(self):
        stem, extension = self.path.stem, self.path.suffix
        if extension not in FONT_EXTENSIONS:
            right = stem + extension.lower()
            self.add("extension", self.name, f"the updater looks only for names ending in \".otf\" or \".ttf\" "
                     f"and never finds a copy named {self.name}: if your customers have it as {right}, name it "
                     f"so here and under {self.old_dir}; otherwise leave it out of {self.new_dir}")
        leave_out = f"leave it out of {self.new_dir}, and give its next releases another name"
        if "_" in stem:
            self.add("underscore", self.name, f"its name holds \"_\", which the updater reads as the start of a part "
                     f"number in a difference file's name, and would know this font as {target_name(stem + '.pa')}; "
                     f"{leave_out}")
        try:
            (stem + extension).encode("cp932")
        except UnicodeEncodeError:
            others = "".join(sorted({c for c in stem + extension if not can_encode(c)}))
            self.add("shift-jis", self.name, f"its name holds {others}, which Shift-JIS cannot hold, so the "
                     f"Windows program would never find it; {leave_out}")

    def check_name_length(self, revisions):
        stem = self.path.stem
        difference = f"{stem}_{revisions}.pa" if revisions > 1 else f"{stem}.pa"
        too_long = [f"{name} is {sjis_length(name)} bytes in Shift-JIS, more than the {limit} the updater reads"
                    for name, limit in ((f"{stem}.otf", MAX_TARGET_BYTES), (difference, MAX_VALUE_BYTES))
                    if sjis_length(name) > limit]
        if too_long:
            self.add("name-length", self.name, f"{' and '.join(too_long)}; leave it out of {self.new_dir}, and give "
                     "its next releases a shorter name")

    def check_layout(self, font):
        """Whether the updater's rebuilding gives the new font byte for byte."""
        tags = font.tags
        for first, second in zip(tags, tags[1:]):
            if first >= second:
                self.add("tag-order", self.name, f"its directory lists {tag_text(first)} before "
                         f"{tag_text(second)}, not the tags in ascending order; {SAVE_AGAIN}")
                break
        misplaced = {"alignment": [], "overlap": [], "gap": [], "padding": []}
        expected = OFFSET_TABLE_SIZE + DIRECTORY_ENTRY_SIZE * len(font.tables)
        for table in font.physical_order():
            if table.offset % 4:
                misplaced["alignment"].append(table.tag)
            elif table.offset < expected:
                misplaced["overlap"].append(table.tag)
            elif table.offset > expected:
                misplaced["gap"].append(table.tag)
            if any(table.padding):
                misplaced["padding"].append(table.tag)
            expected = table.padded_end
        wording = {"alignment": ("does not start", "do not start", "on a 4-byte boundary"),
                   "overlap": ("overlaps", "overlap", "the directory or the table before it"),
                   "gap": ("follows", "follow", "a gap (tables must follow the directory and each other)"),
                   "padding": ("is followed by", "are followed by", "padding that is not zero")}
        for rule_id, misplaced_tags in misplaced.items():
            if misplaced_tags:
                one, more, what = wording[rule_id]
                verb = one if len(misplaced_tags) == 1 else more
                self.add(rule_id, self.name, f"{tables_text(misplaced_tags)} {verb} {what}; {SAVE_AGAIN}")
        if len(font.data) > expected:
            self.add("trailing", self.name, f"{len(font.data) - expected} bytes follow its last table; {SAVE_AGAIN}")
        wrong = [table for table in font.tables if table.computed_checksum() != table.checksum]
        if len(wrong) == 1:
            self.add("table-checksum", self.name, f"the directory checksum of table {tag_text(wrong[0].tag)} is "
                     f"{wrong[0].checksum:08X}, not the table's own {wrong[0].computed_checksum():08X}; {SAVE_AGAIN}")
        elif wrong:
            sums = ", ".join(f"{tag_text(t.tag)} {t.checksum:08X} for {t.computed_checksum():08X}" for t in wrong)
            self.add("table-checksum", self.name, f"the directory checksums of {tables_text(t.tag for t in wrong)} "
                     f"are not the tables' own ({sums}); {SAVE_AGAIN}")
        if word_sum(font.data) != FONT_CHECKSUM_TOTAL:
            self.add("font-checksum", self.name, f"its head.checkSumAdjustment ({font.checksum_adjustment():08X}) "
                     f"does not bring the checksum of the file to {FONT_CHECKSUM_TOTAL:08X}; {SAVE_AGAIN}")

    def run(self, otpa, work, classic=False):
        self.check_name()
        new_data = self.read(self.path, self.name, "new")
        new = self.parse(new_data, self.name, "new")
        if new is not None:
            self.check_layout(new)
        kept = {}                       # revision -> (path, bytes, Font)
        for old_path in self.olds:
            old_data = self.read(old_path, str(old_path), "old")
            if old_data is not None and old_data == new_data:
                self.add("same-bytes", str(old_path), "passed over, byte for byte the new font")
                continue
            old = self.parse(old_data, str(old_path), "old")
            if old is None:
                continue
            if new is not None and old.revision == new.revision:
                self.add("same-revision", str(old_path), "it has the new font's revision "
                         f"{revision_text(new.revision)} with other bytes: the updater could not tell the two apart; "
                         f"give {self.name} a higher fontRevision in its head table")
                continue
            if old.revision in kept:
                first = kept[old.revision][0]
                if kept[old.revision][1] != old_data:
                    self.add("one-copy", f"{first} and {old_path}", f"both revision {revision_text(old.revision)} "
                             f"but they differ: one difference file revises one revision; keep under "
                             f"{self.old_dir} only the copy your customers have")
                continue
            kept[old.revision] = (old_path, old_data, old)
            if new is not None and old.revision > new.revision:
                self.add("newer", str(old_path), f"its revision {revision_text(old.revision)} is above the new "
                         f"font's {revision_text(new.revision)}: the updater would take customers back to an older "
                         f"revision; give {self.name} a higher fontRevision, or look whether {self.old_dir} and "
                         f"{self.new_dir} are swapped")
        self.check_name_length(len(kept))
        pairs = [kept[revision] for revision in sorted(kept)]
        self.check_pairs(new, pairs)
        if self.blocked or new is None or not pairs:
            return None
        return self.make(otpa, work, new, pairs, classic)

    def check_pairs(self, new, pairs):
        wrong_fields, name_why = False, None
        for old_path, _, old in pairs:
            misfit = classic_misfit(old, new)
            why = extended_identity_problem(old) if misfit else None
            if why:
                classic = f", and {misfit}" if misfit != why else ""
                self.add("identity", str(old_path), f"the updater could not tell which installed font it is: {why}"
                         f"{classic}; it cannot revise the customers' copies of this revision: take it out of "
                         f"{self.old_dir}")
            if new is None:
                continue
            if misfit and new.search_fields != search_fields(len(new.tables)):
                wrong_fields = True
            if misfit and new.name_table() is not None and name_why is None:
                name_why = new.names()[1]
            old_records, new_records = old.names()[0], new.names()[0]
            if old_records is not None and new_records is not None:
                old_texts, new_texts = licence_texts(old_records), licence_texts(new_records)
                if any(old_texts[key] != new_texts[key] for key in old_texts.keys() & new_texts.keys()):
                    self.add("licence", self.name, f"its License Description texts (name ID 13) differ from "
                             f"{old_path}'s: the customers keep theirs, since the updater carries each customer's "
                             "texts into the new font")
        if wrong_fields:
            self.add("search-fields", self.name, f"its searchRange, entrySelector and rangeShift are "
                     f"{', '.join(map(str, new.search_fields))}, where its {len(new.tables)} tables give "
                     f"{', '.join(map(str, search_fields(len(new.tables))))}; {SAVE_AGAIN}")
        if name_why:
            self.add("name-table", self.name, f"{name_why}; export it again from your font editor")

    def make(self, otpa, work, new, pairs, classic):
        out = work / "out.pa"
        olds = []
        for old_path, _, old in pairs:
            reason = otpa_make(otpa, old_path, self.path, out, classic)
            if reason is not None:
                self.add("otpa", f"{old_path} → {self.name}", f"otpa make refuses the pair, which these rules did "
                         f"not foresee: {reason}")
                continue
            difference = out.read_bytes()
            if self.path.suffix == ".ttf" and difference[:4] == CLASSIC_MAGIC:
                self.add("ttf-classic", self.name, "the updater revises it with a classic difference file, with "
                         "which it looks for \".otf\" names only, so it never finds a copy named "
                         f"{self.name}: if your customers have it as {self.path.stem}.otf, name it so here and "
                         f"under {self.old_dir}; otherwise leave it out of {self.new_dir}")
            olds.append((old.revision, old_path, difference))
        return None if self.blocked else Revisable(self.path, new, olds)


def can_encode(character):
    try:
        character.encode("cp932")
        return True
    except UnicodeEncodeError:
        return False


def tables_text(tags):
    tags = [tag_text(tag) for tag in tags]
    return ("table " if len(tags) == 1 else "tables ") + ", ".join(tags)


def font_kind(name):
    """"font", "collection", "web font" or None, by the file name's extension."""
    extension = pathlib.PurePath(name).suffix.lower()
    if extension in FONT_EXTENSIONS:
        return "font"
    if extension in COLLECTION_EXTENSIONS:
        return "collection"
    if extension in WEB_FONT_EXTENSIONS:
        return "web font"
    return None


# What to do with a file that cannot be read as a font, new or older, by the
# FontError kind; "{old}" is OLD_DIR.
NEXT_STEPS = {
    "new": {"readable": "make it readable",
            "collection": "give its fonts one by one as .otf or .ttf files",
            "web-font": "give the OpenType font it was made from",
            "sfnt": "export it again from your font editor",
            "directory": "export it again from your font editor"},
    "old": {"readable": "make it readable",
            "collection": "the updater cannot revise a customer's collection: take it out of {old}",
            "web-font": "put the OpenType font your customers have in its place",
            "sfnt": "put the copy your customers have in its place, or take it out of {old}",
            "directory": "put the copy your customers have in its place, or take it out of {old}"},
}

PASSED_OVER = {"collection": "a font collection, which the updater cannot revise: it revises single fonts",
               "web font": "a web font, which nobody installs: the updater revises installed fonts",
               None: "not a font file name (.otf or .ttf)"}


def check(otpa, old_dir, new_dir, classic=False):
    """The report on the fonts of `new_dir` and their older revisions under
    `old_dir` (any depth, by file name), for the difference files `otpa
    make` writes (with `classic`, those of `otpa make --classic`)."""
    report = Report()

    def note(rule_id, label, text):
        report.findings.append(Finding(rule_id, label, f"passed over, {text}"))

    entries = sorted(new_dir.iterdir())
    fonts = [p for p in entries if not p.is_dir() and font_kind(p.name) == "font"]
    report.fonts = sum(1 for p in entries if not p.is_dir() and font_kind(p.name) is not None)
    old_files = sorted(p for p in old_dir.rglob("*") if p.is_file())
    older = {}
    for path in old_files:
        older.setdefault(path.name, []).append(path)

    stems = {}
    for path in fonts:
        stems.setdefault(path.stem, []).append(path.name)
    twins = [names for names in stems.values() if len(names) > 1]
    for names in twins:
        report.findings.append(Finding("one-extension", " and ".join(names), "one name with two extensions, which "
                                       f"would both make the difference file {pathlib.Path(names[0]).stem}.pa; "
                                       f"leave one of them out of {new_dir}"))

    with tempfile.TemporaryDirectory(prefix="check-fonts-") as work:
        for path in fonts:
            if path.name not in older:
                note("no-older", path.name, f"no older revision of it under {old_dir}")
                continue
            font = FontCheck(old_dir, new_dir, path, older[path.name])
            revisable = font.run(otpa, pathlib.Path(work), classic)
            report.findings += sorted(font.findings, key=lambda f: ORDER[f.rule.id])
            if revisable is not None and not any(path.name in names for names in twins):
                report.revisable.append(revisable)

    for path in entries:
        if path.is_dir():
            note("passed-over", f"{path}/", f"a folder: make-package takes the files directly in {new_dir}")
        elif font_kind(path.name) != "font":
            note("passed-over", path.name, PASSED_OVER[font_kind(path.name)])
    new_names = {path.name for path in fonts}
    for path in old_files:
        if font_kind(path.name) != "font":
            note("passed-over", str(path), PASSED_OVER[font_kind(path.name)])
        elif path.name not in new_names:
            note("no-newer", str(path), f"{new_dir} has no font of this name")
    return report
