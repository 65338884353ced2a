#!/usr/bin/env python3
"""Package folders: what the program carries besides its string table.

A package folder holds one configuration (*.ini, UTF-8 or Shift-JIS, any line
ends) and the difference files its FONT_PAFILEn keys name; FONT_RESNUMn gives
each file's resource id. An optional [UPDATER_PROGRAM] section names the
maker whose updater it is (its title, name, copyright, company, version,
download folders and files, icon and language); without it the program is
Tavrelon's, exactly as the resource script has it.

  package.py sample INI OUT_DIR
      Makes a package from INI alone: placeholder difference files (a header
      naming the font, no tables) for every FONT_PAFILEn.
  package.py embed PACKAGE_DIR STRINGS_RC rc|cpp OUT
      rc:  a resource script including STRINGS_RC, with the configuration in
           Shift-JIS (written beside OUT) and the difference files. With an
           [UPDATER_PROGRAM] section it includes a copy of STRINGS_RC (or of
           its English counterpart) made beside OUT, the package's values in
           the places that carry the title, the maker, the copyright, the
           company, the version and the icon.
      cpp: a C++ source defining the POSIX program's resource tables, with the
           configuration in UTF-8 and the difference files in one array that
           otpa can find in the program (platform/posix/embedded_resources.h),
           and the string table and dialog templates taken from STRINGS_RC
           (or that copy).
The configuration is stored as the program reads it: CR LF line ends, no
byte-order mark, no line break after the last line.
"""
import pathlib
import re
import struct
import sys

CONFIGURATION_ID = 2000


def fail(message):
    sys.exit(f"package.py: {message}")


def read_configuration_text(path):
    raw = path.read_bytes()
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        try:
            text = raw.decode("cp932")
        except UnicodeDecodeError:
            fail(f"{path}: neither UTF-8 nor Shift-JIS")
    return "\r\n".join(text.splitlines()).rstrip("\r\n")


def section(text, wanted):
    """Keys of the first section named `wanted` (upper case), first of
    duplicates kept; None without such a section."""
    keys, inside, seen = {}, False, False
    for line in text.split("\r\n"):
        line = line.strip()
        if line.startswith("[") and "]" in line:
            name = line[1:line.rindex("]")]
            inside = name.upper() == wanted and not seen
            seen = seen or inside
        elif inside and "=" in line:
            key, value = (part.strip() for part in line.split("=", 1))
            if len(value) >= 2 and value[0] in "\"'" and value[-1] == value[0]:
                value = value[1:-1]
            keys.setdefault(key.upper(), value)
    return keys if seen else None


def without_section(text, wanted):
    """The configuration text without the lines of the first section named
    `wanted` (its header included)."""
    kept, inside, seen = [], False, False
    for line in text.split("\r\n"):
        stripped = line.strip()
        if stripped.startswith("[") and "]" in stripped:
            inside = stripped[1:stripped.rindex("]")].upper() == wanted and not seen
            seen = seen or inside
        if not inside:
            kept.append(line)
    return "\r\n".join(kept)


def difference_files(text):
    """(resource id, file name) for every FONT_PAFILEn that has a FONT_RESNUMn."""
    keys = section(text, "UPDATE_FONT") or {}
    files = {}
    for key, value in keys.items():
        match = re.fullmatch(r"FONT_PAFILE(\d+)", key)
        if not match or f"FONT_RESNUM{match.group(1)}" not in keys:
            continue
        digits = re.match(r"[+-]?\d+", keys[f"FONT_RESNUM{match.group(1)}"])
        resource_id = int(digits.group(0)) if digits else 0
        name = re.split(r"[\\/]", value)[-1]
        if not 1 <= resource_id <= 0xFFFF:
            fail(f"{key}: resource id {resource_id} is not usable")
        if files.get(resource_id, name) != name:
            fail(f"resource id {resource_id} names two files")
        files[resource_id] = name
    return sorted(files.items())


def configuration_file(folder):
    found = sorted(folder.glob("*.ini"))
    if len(found) != 1:
        fail(f"{folder}: expected one .ini file, found {len(found)}")
    return found[0]


PROGRAM_SECTION = "UPDATER_PROGRAM"
RESOURCES = pathlib.Path(__file__).resolve().parent
ENGLISH_RC = RESOURCES / "program_en.rc"
LANGUAGES = {"ja": "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT", "en": "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US"}
# The delivery software's file names are compared against eight slots.
DOWNLOAD_FILE_SLOTS = 8
# Download folders read, at most; the program stops at the first gap.
MAX_DOWNLOAD_FOLDERS = 64
# Values are read into 255-byte buffers.
MAX_VALUE_BYTES = 254

# Where each resource script carries the values a package may replace: the
# literal as the script has it, the key whose value takes its place, and how
# often the literal must occur (a script edited so that a place moved fails
# the build rather than keep Tavrelon's text). The system menu's entry takes
# "&&" for a "&" of the title, which would otherwise mark its key.
PLACES = {
    "ja": [('101 "TAVRELONフォント 改訂プログラム', "MENU_TITLE", '101 "{}', 1),
           ("TAVRELONフォント 改訂プログラム", "TITLE", "{}", 6),
           ("タブレロン", "MAKER", "{}", 1),
           ("Copyright (C) 2026 Tavrelon Type Foundry", "COPYRIGHT", "{}", 2),
           ('"CompanyName", "Tavrelon Type Foundry"', "COMPANY", '"CompanyName", "{}"', 1)],
    "en": [('101 "&About TAVRELON Font Updater', "MENU_TITLE", '101 "&About {}', 1),
           ("TAVRELON Font Updater", "TITLE", "{}", 6),
           ("updates Tavrelon OpenType", "MAKER", "updates {} OpenType", 1),
           ("Copyright (C) 2026 Tavrelon Type Foundry", "COPYRIGHT", "{}", 2),
           ('"CompanyName", "Tavrelon Type Foundry"', "COMPANY", '"CompanyName", "{}"', 1)],
}

# Widths in dialog units, which scale with the dialog's font: a character's
# width in them is about the same at 9-point ＭＳ Ｐゴシック and at 8-point MS
# Shell Dlg 2. Each class is taken at its wider members, so that an estimate
# errs towards refusing.
NARROW = set(" ilI.,:;'!|`")
SLIM = set("fjtr()[]{}-\"/\\")
WIDE = set("MWmw@%")
FULL_WIDTH = 8


def char_width(c):
    if c in NARROW:
        return 2
    if c in SLIM:
        return 3
    if c in WIDE:
        return 7
    if "a" <= c <= "z":
        return 4
    if " " <= c <= "~":
        return 5
    if "\uff61" <= c <= "\uff9f":   # half-width katakana
        return 4
    return FULL_WIDTH


def text_width(text):
    return sum(char_width(c) for c in text)


# The lines and captions that carry the title or the maker: (what, dialog
# units of room, the text with "{}" for the value, scale). A caption is drawn
# in the system's caption font, about 9 points: over a dialog whose units come
# from an 8-point font it takes 9/8 of its estimate. Captions lose 10 units to
# the frame, and 60 more to the icon and the buttons where the dialog has a
# system menu.
ROOMS = {
    "ja": {
        "TITLE": [("the about box's version line", 186, "{} Version {version}", 1),
                  ("the about box's caption", 235 - 10, "{}のﾊﾞｰｼﾞｮﾝ情報", 9 / 8),
                  ("the start dialog's caption", 321 - 10, "{}", 1),
                  ("the main dialog's caption", 443 - 70, "{}", 1)],
        "MAKER": [("the start dialog's first line", 297, "{}のOpenTypeフォント製品に対する改訂プログラムです。", 1)],
        "COPYRIGHT": [("the about box's copyright line", 186, "{}", 1)],
    },
    "en": {
        "TITLE": [("the about box's version line", 186, "{} Version {version}", 1),
                  ("the about box's caption", 235 - 10, "About {}", 9 / 8),
                  ("the start dialog's caption", 321 - 10, "{}", 9 / 8),
                  ("the main dialog's caption", 443 - 70, "{}", 9 / 8)],
        "MAKER": [("the start dialog's first line", 297, "This program updates {} OpenType font products.", 1)],
        "COPYRIGHT": [("the about box's copyright line", 186, "{}", 1)],
    },
}


def default_version():
    """The version resources/version.h gives a program without a section."""
    text = (RESOURCES / "version.h").read_text(encoding="utf-8")
    return re.search(r'^#define OTU_VERSION_TEXT "([^"]*)"', text, re.M).group(1)


def icon_problem(data):
    """Why `data` is not an icon file the program can carry, or None."""
    if len(data) < 6:
        return "it is too short for an icon file"
    reserved, kind, count = struct.unpack_from("<HHH", data)
    if reserved != 0 or kind != 1 or count == 0:
        return "it is not an icon file (no icon directory at its start)"
    if 6 + 16 * count > len(data):
        return f"its directory of {count} images runs past the end of the file"
    for index in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * index + 8)
        if size < 40 or offset < 6 + 16 * count or offset + size > len(data):
            return f"image {index + 1} lies outside the file"
        image = data[offset:offset + size]
        if image.startswith(b"\x89PNG\r\n\x1a\n"):
            return f"image {index + 1} is compressed as PNG, which Windows XP cannot show"
        if struct.unpack_from("<I", image)[0] != 40:
            return f"image {index + 1} is not a bitmap"
    return None


def program_values(keys, version=None):
    """The section's values with the defaults filled in."""
    language = keys.get("LANGUAGE", "ja") or "ja"
    company = keys.get("COMPANY") or keys.get("MAKER", "")
    version = keys.get("VERSION") or version or default_version()
    if re.fullmatch(r"\d{1,5}\.\d{1,5}\.\d{1,5}", version):
        version = ".".join(str(int(number)) for number in version.split("."))
    return {"TITLE": keys.get("TITLE", ""), "MAKER": keys.get("MAKER", ""),
            "COMPANY": company, "COPYRIGHT": keys.get("COPYRIGHT") or f"Copyright (C) {company}",
            "VERSION": version,
            "LANGUAGE": language, "ICON": keys.get("ICON", "")}


def numbered(keys, prefix):
    """{n: value} of the keys PREFIXn."""
    found = {}
    for key, value in keys.items():
        match = re.fullmatch(prefix + r"(\d+)", key)
        if match and not match.group(1).startswith("0"):
            found[int(match.group(1))] = value
    return found


def program_problems(keys, folder):
    """What keeps an [UPDATER_PROGRAM] section from making a program: one
    line each, empty when it is sound."""
    problems = []
    known = {"TITLE", "MAKER", "COPYRIGHT", "COMPANY", "VERSION", "ICON", "LANGUAGE"}
    folders, files = numbered(keys, "DOWNLOAD_FOLDER"), numbered(keys, "DOWNLOAD_FILE")
    known |= {f"DOWNLOAD_FOLDER{n}" for n in folders}
    known |= {f"DOWNLOAD_FILE{n}" for n in files if n <= DOWNLOAD_FILE_SLOTS}
    for key in sorted(set(keys) - known):
        problems.append(f"{PROGRAM_SECTION} has an unknown key {key}")
    values = program_values(keys)
    language = values["LANGUAGE"]
    if language not in LANGUAGES:
        problems.append(f"{PROGRAM_SECTION} LANGUAGE is {language}: ja or en")
        language = "ja"
    for key in ("TITLE", "MAKER"):
        if not keys.get(key):
            problems.append(f"{PROGRAM_SECTION} lacks {key}")
    version = values["VERSION"]
    numbers = version.split(".")
    if len(numbers) != 3 or not all(re.fullmatch(r"\d{1,5}", n) and int(n) <= 0xFFFF for n in numbers):
        problems.append(f"{PROGRAM_SECTION} VERSION is {version}: three numbers from 0 to 65535, as 1.2.0")
        # The title is measured with the version a program without one has.
        version = default_version()
    # Only what the section says is named; the copyright and the company made
    # from the maker's name are as sound as the name.
    texts = [(key, keys[key]) for key in ("TITLE", "MAKER", "COPYRIGHT", "COMPANY") if keys.get(key)]
    texts += [(f"DOWNLOAD_FOLDER{n}", v) for n, v in sorted(folders.items())]
    texts += [(f"DOWNLOAD_FILE{n}", v) for n, v in sorted(files.items())]
    readable = {}
    for key, value in texts:
        if any(ord(c) < 0x20 or c == "\x7f" for c in value):
            problems.append(f"{PROGRAM_SECTION} {key} holds a control character")
        elif key in ("MAKER", "COPYRIGHT") and "&" in value:
            # The lines that carry them mark a key with "&".
            problems.append(f'{PROGRAM_SECTION} {key} holds "&", which its line in the dialog would take '
                            "for the mark of a key")
        elif language == "en" and not value.isascii():
            problems.append(f"{PROGRAM_SECTION} {key} is not ASCII: an English program shows it "
                            "on systems of every code page")
        else:
            try:
                size = len(value.encode("cp932"))
            except UnicodeEncodeError as error:
                problems.append(f"{PROGRAM_SECTION} {key}: {value[error.start:error.end]!r} has no Shift-JIS form")
                continue
            if size > MAX_VALUE_BYTES:
                problems.append(f"{PROGRAM_SECTION} {key} is {size} bytes long; the program reads {MAX_VALUE_BYTES}")
                continue
            readable[key] = value
    source = "COMPANY" if keys.get("COMPANY") else "MAKER"
    if not keys.get("COPYRIGHT") and source in readable:
        readable["COPYRIGHT"] = values["COPYRIGHT"]
        if source == "COMPANY" and "&" in values["COPYRIGHT"]:
            problems.append(f'{PROGRAM_SECTION} has no COPYRIGHT, and the line made from COMPANY holds "&", '
                            "which the dialog would take for the mark of a key")
    failed = set()
    for key, rooms in ROOMS[language].items():
        # A copyright line made from the maker's name is not named again for
        # the name's length.
        if key not in readable or (key == "COPYRIGHT" and "COPYRIGHT" not in keys and failed):
            continue
        for what, room, text, scale in rooms:
            width = text_width(text.replace("{version}", version).format(readable[key])) * scale
            if width > room:
                problems.append(f"{PROGRAM_SECTION} {key} is too long for {what}: about {width:.0f} of "
                                f"{room} dialog units")
                failed.add(key)
                break
    icon = values["ICON"]
    if icon:
        path = folder / icon
        if re.search(r"[\\/]", icon) or not icon.lower().endswith(".ico"):
            problems.append(f"{PROGRAM_SECTION} ICON is {icon}: the name of a .ico file in the package folder")
        elif not path.is_file():
            problems.append(f"{PROGRAM_SECTION} ICON: {icon} is missing")
        else:
            why = icon_problem(path.read_bytes())
            if why:
                problems.append(f"{PROGRAM_SECTION} ICON: {icon}: {why}")
    count = 0
    while count + 1 in folders:
        count += 1
    if len(folders) > count:
        problems.append(f"{PROGRAM_SECTION} has no DOWNLOAD_FOLDER{count + 1}: the program stops there")
    if count > MAX_DOWNLOAD_FOLDERS:
        problems.append(f"{PROGRAM_SECTION} names {count} download folders; the program reads {MAX_DOWNLOAD_FOLDERS}")
    for n, value in sorted(folders.items()):
        if not (len(value) >= 3 and value.startswith("\\") and value.endswith("\\")) or "/" in value \
                or "\\\\" in value:
            problems.append(f"{PROGRAM_SECTION} DOWNLOAD_FOLDER{n} is {value}: folder names between "
                            "backslashes, as \\Maker\\Download\\")
    for n, value in sorted(files.items()):
        if n <= DOWNLOAD_FILE_SLOTS and (not value or re.search(r"[\\/:*?\"<>|]", value)):
            problems.append(f"{PROGRAM_SECTION} DOWNLOAD_FILE{n} is {value!r}: a file name without folders")
    if folders and not files:
        problems.append(f"{PROGRAM_SECTION} names download folders but no DOWNLOAD_FILE: nothing would be deleted")
    if files and not folders:
        problems.append(f"{PROGRAM_SECTION} names download files but no DOWNLOAD_FOLDER: none would be deleted")
    return problems


def rc_escape(value):
    return value.replace("\\", "\\\\").replace('"', '""')


def program_script(keys, strings_rc, folder):
    """The resource script of a maker's program: program.rc or its English
    counterpart with the section's values in the places that carry them,
    every other character as it is."""
    values = program_values(keys)
    language = values["LANGUAGE"]
    source_path = ENGLISH_RC if language == "en" else strings_rc
    source = source_path.read_text(encoding="utf-8")
    places = PLACES[language]
    for literal, _, _, count in places:
        if source.count(literal) != count:
            fail(f"{source_path}: {literal!r} occurs {source.count(literal)} times, not {count}")
    values["MENU_TITLE"] = values["TITLE"].replace("&", "&&")
    replacements = {literal: form.format(rc_escape(values[key])) for literal, key, form, _ in places}
    pattern = "|".join(re.escape(literal) for literal, _, _, _ in places)
    source = re.sub(pattern, lambda m: replacements[m.group(0)], source)
    major, minor, patch = values["VERSION"].split(".")
    lines = []
    for line in source.split("\n"):
        if line == '#include "version.h"':
            lines += [f"#define OTU_VERSION_MAJOR {int(major)}", f"#define OTU_VERSION_MINOR {int(minor)}",
                      f"#define OTU_VERSION_PATCH {int(patch)}",
                      f'#define OTU_VERSION_TEXT "{int(major)}.{int(minor)}.{int(patch)}"']
        elif line == '#include "resource_ids.h"':
            lines.append(f'#include "{(RESOURCES / "resource_ids.h").as_posix()}"')
        elif line == 'IDR_MAINFRAME ICON "program.ico"' and values["ICON"]:
            lines.append(f'IDR_MAINFRAME ICON "{(folder / values["ICON"]).resolve().as_posix()}"')
        else:
            lines.append(line)
    return "\n".join(lines)


def make_sample(ini, out_dir):
    text = read_configuration_text(ini)
    out_dir.mkdir(parents=True, exist_ok=True)
    for stale in list(out_dir.glob("*.pa")) + list(out_dir.glob("*.ini")):
        stale.unlink()
    (out_dir / "package.ini").write_text(text, encoding="utf-8", newline="")
    for resource_id, name in difference_files(text):
        font_name = name.rsplit(".", 1)[0].split("_", 1)[0].encode("ascii")[:31]
        header = b"XOTP" + font_name.ljust(32, b"\0")
        header += struct.pack(">IIB", 0x00010000 + resource_id % 0x100, 12, 0) + bytes(8)
        (out_dir / name).write_bytes(header)


def unescape(match, escapes, rc_path):
    if match.group(1) is None:
        return '"'
    if match.group(1) not in escapes:
        fail(f"{rc_path}: unsupported escape \\{match.group(1)}")
    return escapes[match.group(1)]


def string_table(rc_path, source=None):
    """The STRINGTABLE entries of a resource script (its text `source` when
    given), escapes resolved."""
    source = rc_path.read_text(encoding="utf-8") if source is None else source
    block = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", source, re.S | re.M)
    if not block:
        fail(f"{rc_path}: no STRINGTABLE block")
    strings = []
    for line in block.group(1).splitlines():
        match = re.fullmatch(r'\s*(\d+)\s+"((?:[^"\\]|\\.|"")*)"\s*', line)
        if not match:
            if line.strip():
                fail(f"{rc_path}: cannot read string table line: {line}")
            continue
        strings.append((int(match.group(1)), rc_text(match.group(2), rc_path)))
    return strings


CONTROL_KINDS = {"LTEXT": "kText", "EDITTEXT": "kEdit", "PUSHBUTTON": "kButton",
                 "DEFPUSHBUTTON": "kDefaultButton", "ICON": "kIcon"}
CONTROL_CLASSES = {"SysListView32": "kList", "msctls_progress32": "kBar"}


def resource_ids():
    """The numeric ids the resource scripts name: their header's defines and
    the system's button ids."""
    ids = {"IDOK": 1, "IDCANCEL": 2}
    header = RESOURCES / "resource_ids.h"
    for name, value in re.findall(r"^#define\s+(\w+)\s+\(?(-?(?:0x)?[0-9A-Fa-f]+)\)?\s*$",
                                   header.read_text(encoding="utf-8"), re.M):
        ids[name] = int(value, 0)
    return ids


def rc_text(literal, rc_path):
    """A string of a resource script with its escapes resolved."""
    escapes = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", '"': '"'}
    return re.sub(r'\\(.)|""', lambda m: unescape(m, escapes, rc_path), literal)


def dialogs(rc_path, source=None):
    """The DIALOGEX templates of a resource script (its text `source` when
    given): (id, caption, close box, width, height, controls), each control
    (kind, id, text, x, y, width, height) in the template's order."""
    source = rc_path.read_text(encoding="utf-8") if source is None else source
    ids = resource_ids()
    number = lambda token: ids[token] if token in ids else int(token, 0)
    found = []
    blocks = re.finditer(r"^(\w+) DIALOGEX \d+, \d+, (\d+), (\d+)\n(.*?)^BEGIN\n(.*?)^END", source, re.S | re.M)
    for block in blocks:
        header = block.group(4)
        caption = re.search(r'^CAPTION "((?:[^"\\]|\\.)*)"', header, re.M)
        style = re.search(r"^STYLE (.*)$", header, re.M)
        controls = []
        for line in block.group(5).splitlines():
            line = line.strip()
            if not line:
                continue
            keyword = line.split()[0]
            text_match = re.match(r'\w+ "((?:[^"\\]|\\.|"")*)",\s*(.*)', line)
            text, rest = (rc_text(text_match.group(1), rc_path), text_match.group(2)) if text_match else \
                ("", line[len(keyword):].strip())
            fields = [f.strip() for f in rest.split(",")]
            if keyword == "CONTROL":
                kind = CONTROL_CLASSES.get(fields[1].strip('"'))
                geometry = fields[3:7]
            elif keyword == "ICON":
                # The icon's resource comes first, then the control's id.
                kind, geometry = CONTROL_KINDS[keyword], fields[2:6]
                fields = fields[1:]
            else:
                kind, geometry = CONTROL_KINDS.get(keyword), fields[1:5]
            if kind is None:
                fail(f"{rc_path}: cannot read dialog line: {line}")
            controls.append((kind, number(fields[0]), text) + tuple(int(g) for g in geometry))
        found.append((number(block.group(1)), rc_text(caption.group(1), rc_path) if caption else "",
                      bool(style) and "WS_SYSMENU" in style.group(1),
                      int(block.group(2)), int(block.group(3)), controls))
    return found


def c_bytes(data):
    rows = [", ".join(f"0x{b:02x}" for b in data[i:i + 16]) for i in range(0, len(data), 16)]
    return "{\n    " + ",\n    ".join(rows) + ",\n}" if rows else "{0}"


def c_string(text):
    return '"' + "".join(f"\\{b:03o}" if b < 0x20 or b >= 0x7f or chr(b) in '"\\?'
                         else chr(b) for b in text.encode("utf-8")) + '"'


# The package of a POSIX program as one array, laid out as
# platform/posix/embedded_resources.h says.
PACKAGE_MAGIC = b"\x89OTUPKG\n"
PACKAGE_HEADER = ">8sIH"
PACKAGE_ENTRY = ">8sHII"


def package_bytes(resources):
    """The array for (type, id, bytes) resources, and where each one's bytes
    start in it."""
    at = struct.calcsize(PACKAGE_HEADER) + struct.calcsize(PACKAGE_ENTRY) * len(resources)
    starts = []
    for _, _, data in resources:
        starts.append(at)
        at += len(data)
    if at > 0xFFFFFFFF:
        fail(f"the package takes {at} bytes; a program carries at most 4 GiB")
    index = b"".join(struct.pack(PACKAGE_ENTRY, kind.encode("ascii"), rid, start, len(data))
                     for (kind, rid, data), start in zip(resources, starts))
    array = struct.pack(PACKAGE_HEADER, PACKAGE_MAGIC, at, len(resources)) + index
    return array + b"".join(data for _, _, data in resources), starts


def embed(package, strings_rc, form, out):
    text = read_configuration_text(configuration_file(package))
    differences = []
    for resource_id, name in difference_files(text):
        path = package / name
        if not path.is_file():
            fail(f"{path}: difference file named by the configuration is missing")
        differences.append((resource_id, path))
    out.parent.mkdir(parents=True, exist_ok=True)
    keys = section(text, PROGRAM_SECTION)
    script, values = None, None
    if keys is not None:
        problems = program_problems(keys, package)
        if problems:
            fail(f"{package}: {problems[0]}")
        values = program_values(keys)
        script = program_script(keys, strings_rc, package)
    if form == "rc":
        ini = out.with_suffix(".ini")
        ini.write_bytes(text.encode("cp932"))
        included = strings_rc.resolve()
        if script is not None:
            included = out.with_name(out.stem + "_program.rc").resolve()
            included.write_text(script, encoding="utf-8")
        lines = [f'#include "{included.as_posix()}"',
                 LANGUAGES[values["LANGUAGE"] if values else "ja"],
                 f'{CONFIGURATION_ID} INIFILE "{ini.resolve().as_posix()}"']
        lines += [f'{rid} FONT_PA "{path.resolve().as_posix()}"' for rid, path in differences]
        out.write_text("\n".join(lines) + "\n", encoding="utf-8")
        return
    resources = [("INIFILE", CONFIGURATION_ID, text.encode("utf-8"))]
    resources += [("FONT_PA", rid, path.read_bytes()) for rid, path in differences]
    package_array, starts = package_bytes(resources)
    strings = string_table(strings_rc, script)
    lines = ["// Generated by resources/package.py: do not edit.",
             '#include "platform/posix/embedded_resources.h"',
             '#include "resources/version.h"',
             "", "namespace platform {", "namespace {",
             f"const uint8_t kPackage[] = {c_bytes(package_array)};",
             "}  // namespace", "", "const EmbeddedResource kEmbeddedResources[] = {"]
    lines += [f'    {{"{kind}", {rid}, kPackage + {start}, {len(data)}}},'
              for (kind, rid, data), start in zip(resources, starts)]
    lines += ["};", f"const size_t kEmbeddedResourceCount = {len(resources)};", "",
              "const EmbeddedString kEmbeddedStrings[] = {"]
    lines += [f"    {{{sid}, {c_string(value)}}}," for sid, value in strings]
    lines += ["};", f"const size_t kEmbeddedStringCount = {len(strings)};", ""]
    if values is None:
        lines += ['const EmbeddedProgram kEmbeddedProgram = {"", "", OTU_VERSION_TEXT, "ja"};', ""]
    else:
        lines += [f"const EmbeddedProgram kEmbeddedProgram = {{{c_string(values['TITLE'])}, "
                  f"{c_string(values['MAKER'])}, {c_string(values['VERSION'])}, {c_string(values['LANGUAGE'])}}};", ""]
    templates = dialogs(strings_rc, script)
    lines.append("namespace {")
    for index, (_, _, _, _, _, controls) in enumerate(templates):
        lines.append(f"const EmbeddedControl kControls{index}[] = {{")
        lines += [f"    {{ControlKind::{kind}, {cid}, {c_string(text)}, {x}, {y}, {w}, {h}}},"
                  for kind, cid, text, x, y, w, h in controls]
        lines.append("};")
    lines += ["}  // namespace", "", "const EmbeddedDialog kEmbeddedDialogs[] = {"]
    lines += [f"    {{{did}, {c_string(caption)}, {'true' if close else 'false'}, {w}, {h}, kControls{index}, "
              f"{len(controls)}}},"
              for index, (did, caption, close, w, h, controls) in enumerate(templates)]
    lines += ["};", f"const size_t kEmbeddedDialogCount = {len(templates)};", "",
              "}  // namespace platform"]
    out.write_text("\n".join(lines) + "\n", encoding="utf-8")


def main(argv):
    if len(argv) == 4 and argv[1] == "sample":
        make_sample(pathlib.Path(argv[2]), pathlib.Path(argv[3]))
    elif len(argv) == 6 and argv[1] == "embed" and argv[4] in ("rc", "cpp"):
        embed(pathlib.Path(argv[2]), pathlib.Path(argv[3]), argv[4], pathlib.Path(argv[5]))
    else:
        fail(__doc__)


if __name__ == "__main__":
    main(sys.argv)
