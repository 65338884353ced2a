#!/usr/bin/env python3
"""Package folders: what the program carries besides its string table.

A package folder holds one configuration (*.ini, UTF-8 or Shift-JIS, any line
ends) and the difference files its FONT_PAFILEn keys name; FONT_RESNUMn gives
each file's resource id.

  package.py sample INI OUT_DIR
      Makes a package from INI alone: placeholder difference files (a header
      naming the font, no tables) for every FONT_PAFILEn.
  package.py embed PACKAGE_DIR STRINGS_RC rc|cpp OUT
      rc:  a resource script including STRINGS_RC, with the configuration in
           Shift-JIS (written beside OUT) and the difference files.
      cpp: a C++ source defining the POSIX program's resource tables, with the
           configuration in UTF-8, and the string table and dialog templates
           taken from STRINGS_RC.
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


def string_table(rc_path):
    """The STRINGTABLE entries of a resource script, escapes resolved."""
    source = rc_path.read_text(encoding="utf-8")
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


def resource_ids(rc_path):
    """The numeric ids the resource script names: its own header's defines and
    the system's button ids."""
    ids = {"IDOK": 1, "IDCANCEL": 2}
    header = rc_path.parent / "resource_ids.h"
    for name, value in re.findall(r"^#define\s+(\w+)\s+\(?(-?(?:0x)?[0-9A-Fa-f]+)\)?\s*$",
                                   header.read_text(encoding="utf-8"), re.M):
        ids[name] = int(value, 0)
    return ids


def rc_text(literal, rc_path):
    """A string of a resource script with its escapes resolved."""
    escapes = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", '"': '"'}
    return re.sub(r'\\(.)|""', lambda m: unescape(m, escapes, rc_path), literal)


def dialogs(rc_path):
    """The DIALOGEX templates of a resource script: (id, caption, close box,
    width, height, controls), each control (kind, id, text, x, y, width,
    height) in the template's order."""
    source = rc_path.read_text(encoding="utf-8")
    ids = resource_ids(rc_path)
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


def embed(package, strings_rc, form, out):
    text = read_configuration_text(configuration_file(package))
    differences = []
    for resource_id, name in difference_files(text):
        path = package / name
        if not path.is_file():
            fail(f"{path}: difference file named by the configuration is missing")
        differences.append((resource_id, path))
    out.parent.mkdir(parents=True, exist_ok=True)
    if form == "rc":
        ini = out.with_suffix(".ini")
        ini.write_bytes(text.encode("cp932"))
        lines = [f'#include "{strings_rc.resolve().as_posix()}"',
                 "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT",
                 f'{CONFIGURATION_ID} INIFILE "{ini.resolve().as_posix()}"']
        lines += [f'{rid} FONT_PA "{path.resolve().as_posix()}"' for rid, path in differences]
        out.write_text("\n".join(lines) + "\n", encoding="utf-8")
        return
    resources = [("INIFILE", CONFIGURATION_ID, text.encode("utf-8"))]
    resources += [("FONT_PA", rid, path.read_bytes()) for rid, path in differences]
    strings = string_table(strings_rc)
    lines = ["// Generated by resources/package.py: do not edit.",
             '#include "platform/posix/embedded_resources.h"',
             "", "namespace platform {", "namespace {"]
    for index, (_, _, data) in enumerate(resources):
        lines.append(f"const uint8_t kBytes{index}[] = {c_bytes(data)};")
    lines += ["}  // namespace", "", "const EmbeddedResource kEmbeddedResources[] = {"]
    lines += [f'    {{"{kind}", {rid}, kBytes{index}, {len(data)}}},'
              for index, (kind, rid, data) in enumerate(resources)]
    lines += ["};", f"const size_t kEmbeddedResourceCount = {len(resources)};", "",
              "const EmbeddedString kEmbeddedStrings[] = {"]
    lines += [f"    {{{sid}, {c_string(value)}}}," for sid, value in strings]
    lines += ["};", f"const size_t kEmbeddedStringCount = {len(strings)};", ""]
    templates = dialogs(strings_rc)
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
