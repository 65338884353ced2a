"""The resources of a Windows program, read from its file: what a maker's
updater carries (its version resource, string table, dialogs and icon)
checked without starting it.

  resources(data)         {(type, name, language): bytes}
  version_info(data)      the fixed version, the string blocks and the
                          translations of the version resource
  strings(data)           {(id, language): text} of the string table
  icon_images(data)       the images of the program's first icon group
  ico_images(data)        the images of an .ico file, in its order
"""
import struct

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION = 3, 5, 6, 14, 16


def _sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size
    sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(count)]
    return resource_rva, sections  # (virtual size, rva, raw size, raw offset)


def resources(data):
    resource_rva, sections = _sections(data)

    def offset(rva):
        for virtual_size, start, raw_size, raw in sections:
            if start <= rva < start + max(virtual_size, raw_size):
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} outside every section")

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", data, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for language, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found[(kind, name, language)] = data[offset(rva):offset(rva) + size]
    return found


def _version_node(data, at):
    """(key, value bytes, children, end) of one node of a version resource."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node = _version_node(data, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def version_info(data):
    """{"version": (a, b, c, d), "strings": {block: {key: text}},
    "translations": [(language, code page)]} of the version resource."""
    blocks = [v for (kind, _, _), v in resources(data).items() if kind == RT_VERSION]
    if len(blocks) != 1:
        raise ValueError(f"{len(blocks)} version resources")
    key, fixed, children, _ = _version_node(blocks[0], 0)
    ms, ls = struct.unpack_from("<II", fixed, 8)
    info = {"version": (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), "strings": {}, "translations": []}
    for child_key, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for block, _, values, _ in grandchildren:
                info["strings"][block] = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in values}
        elif child_key == "VarFileInfo":
            for _, value, _, _ in grandchildren:
                info["translations"] += list(struct.iter_unpack("<HH", value))
    return info


def strings(data):
    found = {}
    for (kind, block, language), value in resources(data).items():
        if kind != RT_STRING:
            continue
        at = 0
        for index in range(16):
            length = struct.unpack_from("<H", value, at)[0]
            if length:
                found[((block - 1) * 16 + index, language)] = value[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
    return found


def icon_images(data):
    table = resources(data)
    groups = sorted((name, value) for (kind, name, _), value in table.items() if kind == RT_GROUP_ICON)
    _, group = groups[0]
    count = struct.unpack_from("<H", group, 4)[0]
    images = {name: value for (kind, name, _), value in table.items() if kind == RT_ICON}
    return [images[struct.unpack_from("<H", group, 6 + 14 * i + 12)[0]] for i in range(count)]


def ico_images(data):
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        images.append(data[offset:offset + size])
    return images
