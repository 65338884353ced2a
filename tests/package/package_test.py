#!/usr/bin/env python3
"""package_test.py --build BUILD [--corpus DIR]

The maker's path from fonts to programs: scripts/make-package on corpus fonts
laid out as old and new folders (two installed revisions of one font, one of
another, a font with no older revision), its table and its updater.ini;
what it refuses; scripts/package's refusals on broken copies of the package,
each with its line and nothing built; the refusals of an [UPDATER_PROGRAM]
section; then scripts/package on the package and the POSIX program it built,
run on a throw-away machine by the end-to-end harness (made-package): the
installed fonts become the new ones; and another maker's English package
(make-package --maker ... --language en) built into both programs, whose
files carry its title, version, copyright, company, icon and English texts.
`otpa info` on each program so built lists the package it was built from
(the configuration, each difference file as `otpa info` tells the file
alone), and refuses the programs cut short or with their package's index
lying, with one line. Needs root for the sandbox (exits 77 without it).
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
sys.path.insert(0, str(ROOT / "tests" / "corpus"))
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(ROOT / "resources"))
import e2e  # noqa: E402
import package as package_script  # noqa: E402
import pe_resources  # noqa: E402
import sfnt  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", flush=True)
    return condition


def run(script, *arguments, env):
    result = subprocess.run([str(ROOT / "scripts" / script), *map(str, arguments)], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=1800)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def lay_out(work, corpus):
    """OLD: two revisions of the Mincho, one of the Gothic; NEW: both revised
    and a font that has no older revision."""
    old, new = work / "old", work / "new"
    mincho, gothic = e2e.MINCHO, e2e.GOTHIC
    for path, data in [
            (old / "a" / mincho[0], corpus.bytes(mincho[1], "old")),
            (old / "b" / "c" / mincho[0], e2e.oldest(corpus)),
            (old / gothic[0], corpus.bytes(gothic[1], "old")),
            (new / mincho[0], corpus.bytes(mincho[1], "new")),
            (new / gothic[0], corpus.bytes(gothic[1], "new")),
            (new / "SampleMinchoPr6N-R.otf", corpus.bytes("outlines", "new"))]:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return old, new


def check_made_package(package, code, out, err):
    if not check(code == 0, f"make-package failed ({code}): {err}"):
        return
    rows = [line.split() for line in out.splitlines()[1:4]]
    expected = [["SampleGothicProN-M.otf", "1.001", "→", "1.002", "SampleGothicProN-M.pa"],
                ["SampleMinchoProN-R.otf", "1.000", "→", "1.002", "SampleMinchoProN-R_1.pa"],
                ["SampleMinchoProN-R.otf", "1.001", "→", "1.002", "SampleMinchoProN-R_2.pa"]]
    check([row[:5] for row in rows] == expected, f"make-package table:\n{out}")
    for row in rows:
        pa = package / row[4]
        check(pa.is_file() and f"{pa.stat().st_size:,}" == row[5], f"{row[4]}: size in the table {row[5]}")
    check("SampleMinchoPr6N-R.otf: passed over, no older revision" in err, f"the lone font's note: {err}")
    raw = (package / "updater.ini").read_bytes()
    text = raw.decode("cp932")
    check(not raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b""), "updater.ini line ends")
    check(text.split("\r\n") == [
        "[UPDATE_FONT]", "MAXNUM=3",
        "FONT_PAFILE1=SampleGothicProN-M.pa", "FONT_RESNUM1=2001",
        "FONT_PAFILE2=SampleMinchoProN-R_1.pa", "FONT_RESNUM2=2002",
        "FONT_PAFILE3=SampleMinchoProN-R_2.pa", "FONT_RESNUM3=2003",
        "[UPDATE_STARTDLG_STRING]",
        "MAIN_TEXTTITLE=" + e2e.MADE_START_TEXT.split("\n")[0], "MAXNUM=2",
        "FONT_TEXTTITLE1=\u3000\u3000・SampleGothic ProN M", "FONT_TEXTTITLE2=\u3000\u3000・SampleMincho ProN R"],
        f"updater.ini:\n{text}")
    check(sorted(p.name for p in package.iterdir()) ==
          ["SampleGothicProN-M.pa", "SampleMinchoProN-R_1.pa", "SampleMinchoProN-R_2.pa", "updater.ini"],
          f"package files {sorted(p.name for p in package.iterdir())}")


def check_make_refusals(work, corpus, env):
    """Fonts that cannot be revised: each named with its reason, nothing
    written."""
    old, new = work / "bad-old", work / "bad-new"
    for folder in (old, new):
        folder.mkdir()
    small_old, small_new = corpus.bytes("small", "old"), corpus.bytes("small", "new")
    (old / "NotCff.otf").write_bytes(b"\0\1\0\0" + small_old[4:])
    (new / "NotCff.otf").write_bytes(b"\0\1\0\0" + small_new[4:])
    (old / "Part_1.otf").write_bytes(small_old)
    (new / "Part_1.otf").write_bytes(small_new)
    (old / "SameRevision.otf").write_bytes(sfnt.with_revision(small_old, 0x00010083))
    (new / "SameRevision.otf").write_bytes(small_new)
    (old / "Fine.otf").write_bytes(small_old)
    (new / "Fine.otf").write_bytes(small_new)
    package = work / "bad-package"
    code, out, err = run("make-package", old, new, package, env=env)
    check(code == 1 and out == "", f"make-package on unrevisable fonts: {code} {out}")
    for line in ["NotCff.otf: ", 'Part_1.otf: its name holds "_"',
                 "SameRevision.otf: ", "has the new font's revision 1.002 with other bytes", "nothing written"]:
        check(line in err, f"make-package refusal {line!r} missing: {err}")
    check("not an OpenType font with CFF outlines" in err.split("NotCff.otf: ", 1)[-1].splitlines()[0],
          f"the reason for NotCff.otf: {err}")
    check(not package.exists(), "make-package wrote a refused package")


def check_package_refusals(work, package, env):
    """Broken copies of a good package: one line each, no output."""
    def broken(name, change):
        copy = work / name
        shutil.copytree(package, copy)
        ini = copy / "updater.ini"
        text = ini.read_bytes().decode("cp932")
        # A change returns the configuration's new text, or changes files.
        result = change(copy, text)
        if isinstance(result, str):
            ini.write_bytes(result.encode("cp932"))
        return copy

    cases = [
        ("missing-file", lambda c, t: (c / "SampleMinchoProN-R_1.pa").unlink(),
         "package: FONT_PAFILE2: SampleMinchoProN-R_1.pa is missing"),
        ("duplicated-id", lambda c, t: t.replace("FONT_RESNUM3=2003", "FONT_RESNUM3=2001"),
         "package: FONT_RESNUM3 is 2001, as FONT_RESNUM1 is"),
        ("wrong-maxnum", lambda c, t: t.replace("MAXNUM=3", "MAXNUM=4", 1),
         "package: UPDATE_FONT MAXNUM is 4 but FONT_PAFILE1 to FONT_PAFILE3 name 3 difference files"),
        ("not-a-difference", lambda c, t: shutil.copy(c / "updater.ini", c / "SampleGothicProN-M.pa"),
         'package: FONT_PAFILE1: SampleGothicProN-M.pa is not a difference file (it does not start with "XOTP")'),
        ("cut-difference", lambda c, t: (c / "SampleGothicProN-M.pa").write_bytes(b"XOTP" + bytes(20)),
         "package: FONT_PAFILE1: SampleGothicProN-M.pa: its font name and revision cannot be read"),
        ("same-revision", lambda c, t: shutil.copy(c / "SampleMinchoProN-R_2.pa", c / "SampleMinchoProN-R_1.pa"),
         "package: FONT_PAFILE2 and FONT_PAFILE3 both revise SampleMinchoProN-R.otf at revision 0x00010042"),
        ("no-start-text", lambda c, t: re.sub(r"MAIN_TEXTTITLE=[^\r]*\r\n", "", t),
         "package: no start text: UPDATE_STARTDLG_STRING lacks MAIN_TEXTTITLE"),
    ]
    for name, change, line in cases:
        copy = broken(name, change)
        out_dir = work / f"{name}-out"
        code, out, err = run("package", copy, out_dir, env=env)
        lines = err.splitlines()
        check(code == 1 and lines == [line] or (code == 1 and len(lines) == 1 and lines[0].startswith(line)),
              f"package {name}: exit {code}, said {lines}, expected {line!r}")
        check(not out_dir.exists() and out == "", f"package {name} made output")


SECTION = "[UPDATER_PROGRAM]\r\nTITLE=ノースウィンド 改訂プログラム\r\nMAKER=ノースウィンド\r\n"


def check_section_refusals(work, package, env):
    """Broken [UPDATER_PROGRAM] sections: one line each, nothing built."""
    icon = work / "good.ico"
    subprocess.run([sys.executable, str(ROOT / "resources" / "make_icon.py"), str(icon)], check=True)
    good = icon.read_bytes()
    png = bytearray(good)
    offset = int.from_bytes(good[18:22], "little")
    png[offset:offset + 8] = b"\x89PNG\r\n\x1a\n"
    cases = [
        ("unknown-key", SECTION + "NAME=x", {}, "package: UPDATER_PROGRAM has an unknown key NAME"),
        ("no-maker", "[UPDATER_PROGRAM]\r\nTITLE=x", {}, "package: UPDATER_PROGRAM lacks MAKER"),
        ("bad-version", SECTION + "VERSION=1.2", {},
         "package: UPDATER_PROGRAM VERSION is 1.2: three numbers from 0 to 65535, as 1.2.0"),
        ("big-version", SECTION + "VERSION=1.65536.0", {}, "package: UPDATER_PROGRAM VERSION is 1.65536.0"),
        ("language", SECTION + "LANGUAGE=fr", {}, "package: UPDATER_PROGRAM LANGUAGE is fr: ja or en"),
        ("missing-icon", SECTION + "ICON=maker.ico", {}, "package: UPDATER_PROGRAM ICON: maker.ico is missing"),
        ("cut-icon", SECTION + "ICON=maker.ico", {"maker.ico": good[:100]},
         "package: UPDATER_PROGRAM ICON: maker.ico: image 1 lies outside the file"),
        ("not-an-icon", SECTION + "ICON=maker.ico", {"maker.ico": b"GIF89a" + bytes(40)},
         "package: UPDATER_PROGRAM ICON: maker.ico: it is not an icon file"),
        ("png-icon", SECTION + "ICON=maker.ico", {"maker.ico": bytes(png)},
         "package: UPDATER_PROGRAM ICON: maker.ico: image 1 is compressed as PNG, which Windows XP cannot show"),
        ("long-title", "[UPDATER_PROGRAM]\r\nMAKER=ノースウィンド\r\nTITLE=ノースウィンドフォント製品 改訂プログラム", {},
         "package: UPDATER_PROGRAM TITLE is too long for the about box's version line: about 211 of 186"),
        ("long-maker", "[UPDATER_PROGRAM]\r\nTITLE=x\r\nMAKER=ノースウィンド・タイプ・ファウンドリー", {},
         "package: UPDATER_PROGRAM MAKER is too long for the start dialog's first line: about 354 of 297"),
        ("not-shift-jis", SECTION.replace("ノースウィンド\r\n", "ノースウィンド€\r\n"), {},
         "package: UPDATER_PROGRAM MAKER: '€' has no Shift-JIS form"),
        ("english-not-ascii", "[UPDATER_PROGRAM]\r\nTITLE=Café Updater\r\nMAKER=Cafe\r\nLANGUAGE=en", {},
         "package: UPDATER_PROGRAM TITLE is not ASCII"),
        ("ampersand", SECTION.replace("MAKER=ノースウィンド", "MAKER=ノース&ウィンド"), {},
         'package: UPDATER_PROGRAM MAKER holds "&", which its line in the dialog would take for the mark of a key'),
        ("folders-no-files", SECTION + "DOWNLOAD_FOLDER1=\\Maker\\Download\\", {},
         "package: UPDATER_PROGRAM names download folders but no DOWNLOAD_FILE"),
        ("folder-slashes", SECTION + "DOWNLOAD_FOLDER1=/Maker/Download/\r\nDOWNLOAD_FILE1=a", {},
         "package: UPDATER_PROGRAM DOWNLOAD_FOLDER1 is /Maker/Download/: folder names between backslashes"),
        ("ninth-file", SECTION + "DOWNLOAD_FOLDER1=\\M\\\r\nDOWNLOAD_FILE9=a", {},
         "package: UPDATER_PROGRAM has an unknown key DOWNLOAD_FILE9"),
    ]
    for name, section, files, line in cases:
        copy = work / f"section-{name}"
        shutil.copytree(package, copy)
        ini = copy / "updater.ini"
        # UTF-8: the package may hold what Shift-JIS cannot.
        ini.write_bytes((ini.read_bytes().decode("cp932") + "\r\n" + section).encode("utf-8"))
        for file_name, data in files.items():
            (copy / file_name).write_bytes(data)
        out_dir = work / f"section-{name}-out"
        code, out, err = run("package", copy, out_dir, env=env)
        lines = err.splitlines()
        check(code == 1 and len(lines) == 1 and lines[0].startswith(line),
              f"package {name}: exit {code}, said {lines}, expected {line!r}")
        check(not out_dir.exists() and out == "", f"package {name} made output")


def check_maker_package(work, old, new, env):
    """make-package for another maker, in English, and the programs that
    scripts/package builds from it."""
    icon = work / "northwind.ico"
    subprocess.run([sys.executable, str(ROOT / "resources" / "make_icon.py"), str(icon), "--ground", "6A1B9A"],
                   check=True)
    package = work / "maker-package"
    options = ["--maker", "Northwind Type", "--title", "Northwind Font Updater", "--icon", icon,
               "--language", "en", "--version", "3.1.4", "--copyright", "Copyright (C) 2027 Northwind Type Co.",
               "--company", "Northwind Type Co."]
    code, out, err = run("make-package", "--maker", "Northwind Type", old, new, work / "half", env=env)
    check(code == 2 and "--maker and --title go together" in err and not (work / "half").exists(),
          f"make-package with --maker alone: {code} {err}")
    code, out, err = run("make-package", "--maker", "Northwind Type", "--title", "Café Updater", "--language", "en",
                         old, new, work / "cafe", env=env)
    check(code == 1 and "make-package: UPDATER_PROGRAM TITLE is not ASCII" in err and not (work / "cafe").exists(),
          f"make-package with a title an English program cannot show: {code} {err}")
    code, out, err = run("make-package", *options, old, new, package, env=env)
    if not check(code == 0, f"make-package for another maker failed ({code}): {err}"):
        return
    text = (package / "updater.ini").read_bytes().decode("cp932")
    lines = text.split("\r\n")
    check(lines[lines.index("[UPDATE_STARTDLG_STRING]"):] == [
        "[UPDATE_STARTDLG_STRING]",
        "MAIN_TEXTTITLE=For users of Northwind Type fonts, the following 2 fonts will be updated.", "MAXNUM=2",
        'FONT_TEXTTITLE1="  - SampleGothic ProN M"', 'FONT_TEXTTITLE2="  - SampleMincho ProN R"',
        "[UPDATER_PROGRAM]", "TITLE=Northwind Font Updater", "MAKER=Northwind Type",
        "COPYRIGHT=Copyright (C) 2027 Northwind Type Co.", "COMPANY=Northwind Type Co.", "VERSION=3.1.4",
        "LANGUAGE=en", "ICON=northwind.ico"], f"the maker's updater.ini:\n{text}")
    check((package / "northwind.ico").read_bytes() == icon.read_bytes(), "the icon was not copied into the package")

    out_dir = work / "maker-programs"
    code, out, err = run("package", package, out_dir, env=env)
    if not check(code == 0, f"scripts/package of the maker's package failed ({code}): {err[-3000:]}"):
        return
    check_programs(out_dir, out)
    check_updater_info(env["OTPA"], package, out_dir)
    exe = (out_dir / "OpenTypeUpdater.exe").read_bytes()
    info = pe_resources.version_info(exe)
    values = info["strings"].get("040904b0", {})
    check(info["version"] == (3, 1, 4, 0) and info["translations"] == [(0x409, 1200)], f"version resource {info}")
    check(values.get("ProductName") == "Northwind Font Updater" and values.get("FileVersion") == "3.1.4" and
          values.get("LegalCopyright") == "Copyright (C) 2027 Northwind Type Co." and
          values.get("CompanyName") == "Northwind Type Co.", f"version strings {values}")
    strings = pe_resources.strings(exe)
    check(strings.get((101, 0x409)) == "&About Northwind Font Updater..." and
          strings.get((107, 0x409)) == "No fonts to update were found.\r\n\r\nThe updater will now close.",
          f"string table {strings}")
    check(pe_resources.icon_images(exe) == pe_resources.ico_images(icon.read_bytes()),
          "the program's icon is not the package's")
    posix = (out_dir / "opentype-updater").read_bytes()
    for carried in (b"Northwind Font Updater", b"3.1.4", b"This program updates Northwind Type OpenType font products.",
                    b"Copyright (C) 2027 Northwind Type Co."):
        check(carried in posix, f"the POSIX program lacks {carried!r}")
    check("タブレロンのOpenType".encode() not in posix and "のﾊﾞｰｼﾞｮﾝ情報".encode() not in posix,
          "the POSIX program still carries the Japanese string table or dialogs")


def otpa_info(otpa, path, *options):
    result = subprocess.run([otpa, "info", str(path), *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def check_updater_info(otpa, package, out_dir):
    """otpa info on both programs: the package folder's configuration and
    each difference file it names, as otpa info tells the file alone."""
    configuration = package_script.read_configuration_text(package_script.configuration_file(package))
    named = {resource_id: name for resource_id, name in package_script.difference_files(configuration)}
    for program, kind in [(out_dir / "OpenTypeUpdater.exe", "Windows program (PE32)"),
                          (out_dir / "opentype-updater", "POSIX program")]:
        code, out, err = otpa_info(otpa, program, "--json")
        if not check(code == 0 and err == "", f"otpa info {program.name} --json: exit {code}: {err}"):
            continue
        info = json.loads(out)
        check(info["kind"] == "updater" and info["program"] == kind, f"otpa info {program.name}: {info['program']}")
        check(info["configuration"] == configuration,
              f"otpa info {program.name}: the configuration\n{info['configuration']}\nis not the package's\n{configuration}")
        listed = {entry["resourceId"]: entry["file"] for entry in info["differenceFiles"]}
        check(listed == named and info["unnamedResources"] == [],
              f"otpa info {program.name} lists {listed}, the configuration names {named}")
        code, text, err = otpa_info(otpa, program)
        lines = text.splitlines()
        expected = ["  " + line for line in configuration.split("\r\n")]
        check(code == 0 and lines[0] == f"updater: {kind}" and lines[2:2 + len(expected)] == expected,
              f"otpa info {program.name} text:\n{text}")
        for entry in info["differenceFiles"]:
            pa = package / entry["file"]
            _, alone, _ = otpa_info(otpa, pa, "--json")
            check(entry["length"] == pa.stat().st_size and entry["difference"] == json.loads(alone),
                  f"otpa info {program.name}: {entry['file']} is not the package's: {entry}")
            _, alone_text, _ = otpa_info(otpa, pa)
            header = (f"{entry['key']}={entry['file']}: FONT_PA {entry['resourceId']}, {entry['length']:,} bytes, "
                      f"revises {entry['targetFile']}")
            summary = [header] + ["  " + line for line in alone_text.splitlines()]
            at = lines.index(header) if header in lines else -1
            check(at >= 0 and lines[at:at + len(summary)] == summary,
                  f"otpa info {program.name}: {entry['file']}'s lines are not otpa info's of the file:\n{text}")
    check_damaged_programs(otpa, out_dir, configuration)


def check_damaged_programs(otpa, out_dir, configuration):
    """The programs cut short, or with their package's index lying: one line,
    exit 1."""
    exe = (out_dir / "OpenTypeUpdater.exe").read_bytes()
    # The resource section need not end the file: it is cut in the middle of
    # the configuration the program carries.
    stored = exe.find(configuration.encode("cp932"))
    if not check(stored > 0, "OpenTypeUpdater.exe does not carry the configuration in Shift-JIS"):
        return
    posix = (out_dir / "opentype-updater").read_bytes()
    start = posix.find(package_script.PACKAGE_MAGIC)
    if not check(start > 0, "the POSIX program carries no package magic"):
        return
    count = start + struct.calcsize(package_script.PACKAGE_HEADER) - 2
    # The length field of the index's second entry, the first difference file's.
    length = start + struct.calcsize(package_script.PACKAGE_HEADER) + struct.calcsize(package_script.PACKAGE_ENTRY) + 14
    damaged = {
        "exe-cut-half": exe[:len(exe) // 2],
        "exe-cut-in-configuration": exe[:stored + 10],
        "exe-no-pe": exe[:0x3C] + b"\xff\xff\xff\x7f" + exe[0x40:],
        "posix-cut-in-package": posix[:start + 100],
        "posix-count-lying": posix[:count] + b"\xff\xff" + posix[count + 2:],
        "posix-length-lying": posix[:length] + b"\x7f\xff\xff\xff" + posix[length + 4:],
    }
    with tempfile.TemporaryDirectory(prefix="otu-damaged-") as folder:
        for name, data in damaged.items():
            path = pathlib.Path(folder) / name
            path.write_bytes(data)
            code, out, err = otpa_info(otpa, path)
            check(code == 1 and out == "" and len(err.splitlines()) == 1 and err.startswith(f"otpa info: {path}: "),
                  f"otpa info on {name}: exit {code}, said {err!r}")


def check_programs(out_dir, out):
    exe, posix = out_dir / "OpenTypeUpdater.exe", out_dir / "opentype-updater"
    for program in (exe, posix):
        check(program.is_file() and f"{program}  {program.stat().st_size:,} bytes" in out,
              f"scripts/package's size line for {program}: {out}")
    data = exe.read_bytes() if exe.is_file() else b""
    pe = int.from_bytes(data[0x3C:0x40], "little") if len(data) > 0x40 else 0
    check(data[:2] == b"MZ" and data[pe:pe + 6] == b"PE\0\0\x4c\x01", "OpenTypeUpdater.exe is not an i686 PE file")
    check(posix.is_file() and os.access(posix, os.X_OK) and posix.read_bytes()[:4] == b"\x7fELF",
          "opentype-updater is not a program of this machine")
    # Linked statically, it asks nothing of the C library of the Linux it
    # runs on.
    headers = subprocess.run(["readelf", "-lW", str(posix)], stdout=subprocess.PIPE, text=True).stdout
    check("INTERP" not in headers and "DYNAMIC" not in headers, f"opentype-updater is linked dynamically: {headers}")
    check(f"{posix}: statically linked: needs no glibc, Linux " in out, f"scripts/package's glibc line: {out}")


def check_signing(work, package, env):
    """scripts/package --sign with a throw-away code-signing certificate: a
    signature osslsigncode verifies; a wrong password or a damaged
    certificate fails with one line and leaves no program behind."""
    keys = work / "signing"
    keys.mkdir()
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Tavrelon Test Signing", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", keys / "key.pem", "-out", keys / "cert.pem"], check=True, capture_output=True)
    (keys / "password").write_text("correct horse")
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", keys / "key.pem", "-in", keys / "cert.pem",
                    "-out", keys / "cert.pfx", "-passout", f"file:{keys / 'password'}"], check=True)
    (keys / "damaged.pfx").write_bytes((keys / "cert.pfx").read_bytes()[:200])
    (keys / "wrong").write_text("battery staple")
    out_dir = work / "signed"
    exe = out_dir / "OpenTypeUpdater.exe"
    code, out, err = run("package", "--sign", keys / "cert.pfx", "--password-file", keys / "password",
                         package, out_dir, "win32", env=env)
    verified = subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", keys / "cert.pem"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(code == 0 and "(i686 Windows program, XP and later, signed)" in out and verified.returncode == 0 and
          "Signature verification: ok" in verified.stdout and "sha256" in verified.stdout.lower(),
          f"signing ({code}): {err[-1500:]}\n{verified.stdout[-1500:]}")
    check(sorted(p.name for p in out_dir.iterdir()) == ["OpenTypeUpdater.exe"], "signing left files behind")
    code, out, err = run("package", "--sign", keys / "cert.pfx", package, out_dir, "win32",
                         env=dict(env, OTU_SIGN_PASSWORD="correct horse"))
    check(code == 0 and exe.is_file(), f"signing with OTU_SIGN_PASSWORD ({code}): {err[-1500:]}")
    for certificate, password, reason in [
            (keys / "cert.pfx", keys / "wrong", "(Wrong password?)"),
            (keys / "damaged.pfx", keys / "password", "damaged.pfx")]:
        code, out, err = run("package", "--sign", certificate, "--password-file", password, package, out_dir,
                             "win32", env=env)
        lines = err.strip().splitlines()
        check(code == 1 and len(lines) == 1 and lines[0].startswith("scripts/package: signing failed: ") and
              reason in lines[0] and not any(out_dir.iterdir()),
              f"signing with {certificate.name} and {password.name}: ({code}) {err!r} {list(out_dir.iterdir())}")
    code, out, err = run("package", "--sign", keys / "cert.pfx", package, out_dir, "win32",
                         env={k: v for k, v in env.items() if k != "OTU_SIGN_PASSWORD"})
    check(code == 2 and "OTU_SIGN_PASSWORD" in err, f"signing without a password ({code}): {err}")


def check_rehearsal(work, package, env):
    """scripts/rehearse on the package: the fonts make-package revised, and a
    layout of the maker's own with a font no difference file revises."""
    code, out, err = run("rehearse", package, env=env)
    revised = out.count("byte for byte what the package makes of it")
    check(code == 0 and revised == 3 and "3 of 3 fonts the package revises are the new revision" in out,
          f"rehearsal of the package ({code}): {out[-2000:]} {err[-2000:]}")
    layout = work / "rehearsal" / "mine.layout"
    layout.parent.mkdir()
    layout.write_text("# two drives\nd:/Fonts = ../old/a/SampleMinchoProN-R.otf\n"
                      "z:/ソフト/旧 = ../new/SampleGothicProN-M.otf\n", encoding="utf-8")
    code, out, err = run("rehearse", package, layout, env=env)
    check(code == 0 and "/media/z/ソフト/旧/SampleGothicProN-M.otf\n" in out and
          out.count("byte for byte what the package makes of it") == 1 and
          "left as it was: no difference file of the package revises it" in out,
          f"rehearsal with a layout ({code}): {out[-2000:]} {err[-2000:]}")
    layout.write_text("d:/Fonts = ../old/a/SampleMinchoProN-R.otf\nc: = ../new/SampleGothicProN-M.otf\n")
    code, out, err = run("rehearse", package, layout, env=env)
    check(code == 2 and err.strip().endswith(f"rehearse: {layout}:2: drive c: is not one of "
                                             "d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z"),
          f"a layout naming drive c: ({code}): {err[-2000:]}")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--build", type=pathlib.Path, required=True)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("SKIP: the sandbox needs root (namespaces, loop devices)")
        return 77
    build = args.build.resolve()
    corpus = e2e.Corpus(args.corpus.resolve())
    env = dict(os.environ, OTPA=str(build / "bin" / "otpa"), OTU_PACKAGE_BUILD=str(build / "package-test"))
    with tempfile.TemporaryDirectory(prefix="otu-package-") as temporary:
        work = pathlib.Path(temporary)
        old, new = lay_out(work, corpus)
        package = work / "package"
        check_made_package(package, *run("make-package", old, new, package, env=env))
        check_make_refusals(work, corpus, env)
        if failures:
            return 1
        check_package_refusals(work, package, env)
        check_section_refusals(work, package, env)
        out_dir = work / "programs"
        code, out, err = run("package", package, out_dir, env=env)
        if check(code == 0, f"scripts/package failed ({code}): {err[-3000:]}"):
            check_programs(out_dir, out)
            check_updater_info(env["OTPA"], package, out_dir)
            result = subprocess.run(["/usr/bin/python3", str(ROOT / "tests" / "posix" / "e2e.py"),
                                     "--build", str(build), "--corpus", str(args.corpus.resolve()),
                                     "--only", "made-package", "--program", str(out_dir / "opentype-updater")])
            check(result.returncode == 0, "the made program's end-to-end run failed")
            check_rehearsal(work, package, env)
            check_signing(work, package, env)
        check_maker_package(work, old, new, env)
    print("packaging: " + ("passed" if not failures else f"{len(failures)} checks failed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
