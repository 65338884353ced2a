#!/usr/bin/env python3
"""rehearse.py --otpa OTPA [--windows] PACKAGE_DIR [LAYOUT]: the rehearsal's
steps after scripts/rehearse has installed what they need (see there). Also
the demo's throw-away machine (scripts/demo.py)."""
import argparse
import json
import os
import pathlib
import re
import signal
import string
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
import e2e  # noqa: E402

# A layout line: "d:/Fonts/Sub = ../old/ExSans-Regular.otf".
LAYOUT_LINE = re.compile(r"^([a-z]):/?(.*?)\s+=\s+(.+?)\s*$")
POSIX_DRIVES = string.ascii_lowercase[3:]   # d to z, each /media/<letter>
WINDOWS_DRIVES = "de"                       # what the Windows test bed maps


class LayoutError(Exception):
    pass


class Placed:
    """One installed font of the rehearsal: where it lies, its bytes, and
    what the package makes of it (None: nothing, it must stay as it is)."""

    def __init__(self, letter, folder, source, old, new):
        self.letter, self.folder, self.source, self.old, self.new = letter, folder, source, old, new
        self.name = source.name

    @property
    def relative(self):
        return f"{self.folder}/{self.name}" if self.folder else self.name


def read_layout(path, drives):
    """(letter, folder, font path) of each line of a layout file; blank lines
    and lines starting with "#" are left out, font paths are relative to
    the file's folder."""
    entries, seen = [], set()
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        match = LAYOUT_LINE.match(line.strip())
        if not match:
            raise LayoutError(f"{path}:{number}: not \"DRIVE:/FOLDER = FONT\": {line.strip()}")
        letter, folder, font = match.group(1), match.group(2).strip("/"), path.parent / match.group(3)
        if letter not in drives:
            raise LayoutError(f"{path}:{number}: drive {letter}: is not one of {', '.join(drives)}")
        if ".." in folder.split("/"):
            raise LayoutError(f"{path}:{number}: the folder leaves its drive: {folder}")
        if not font.is_file():
            raise LayoutError(f"{path}:{number}: no such font file: {font}")
        where = (letter, folder, font.name)
        if where in seen:
            raise LayoutError(f"{path}:{number}: {letter}:/{folder} holds {font.name} twice")
        seen.add(where)
        entries.append((letter, folder, font))
    if not entries:
        raise LayoutError(f"{path}: names no font")
    return entries


def package_result(otpa, package, old):
    """The bytes a difference file of the package makes of `old`, or None
    when none of them revises it."""
    with tempfile.TemporaryDirectory() as work:
        source, out = pathlib.Path(work) / "old", pathlib.Path(work) / "new"
        source.write_bytes(old)
        for difference in sorted(package.glob("*.pa")):
            result = subprocess.run([str(otpa), "apply", str(source), str(difference), "-o", str(out)],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if result.returncode == 0:
                return out.read_bytes()
    return None


def say(text):
    print(f"\n\033[1m== {text}\033[0m" if sys.stdout.isatty() else f"\n== {text}", flush=True)


# Inside the sandbox: the program as a process group of its own, made the
# terminal's foreground group before it starts, so that Ctrl-C reaches the
# program alone and not the sandbox's init. The terminal goes back to the
# rehearsal when the sandbox has ended (the group outside cannot be named in
# here).
FOREGROUND = """
import os, signal, sys
signal.signal(signal.SIGTTOU, signal.SIG_IGN)
pid = os.fork()
if pid == 0:
    os.setpgid(0, 0)
    os.tcsetpgrp(0, os.getpid())
    signal.signal(signal.SIGTTOU, signal.SIG_DFL)
    os.execv(sys.argv[1], sys.argv[1:])
_, status = os.waitpid(pid, 0)
sys.exit(os.waitstatus_to_exitcode(status) % 256)
"""


def run_attached(command, env):
    """The sandbox as the terminal's foreground job, the program inside it as
    the foreground job there: keys and Ctrl-C go to the program."""
    terminal = sys.stdin.fileno()
    process = subprocess.Popen(command, env=env, process_group=0)
    previous = signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    try:
        os.tcsetpgrp(terminal, process.pid)
        return process.wait()
    finally:
        os.tcsetpgrp(terminal, os.getpgrp())
        signal.signal(signal.SIGTTOU, previous)


def run_piped(command, env):
    """Without a terminal: the default answer to the start dialog and to the
    list, then the end of the input, which answers the restart question as
    Esc does (キャンセル)."""
    process = subprocess.Popen(command, env=env, stdin=subprocess.PIPE)
    process.communicate(b"\n\n")
    return process.returncode


def font_info(otpa, data):
    """otpa's description of a font held in memory, None when it reads none."""
    with tempfile.NamedTemporaryFile() as font:
        font.write(data)
        font.flush()
        result = subprocess.run([str(otpa), "info", font.name, "--json"], stdout=subprocess.PIPE, text=True)
    return json.loads(result.stdout) if result.returncode == 0 else None


def describe(info):
    if info is None:
        return "not a readable font"
    return (f"{info.get('fontName') or info.get('postScriptName', '?')}, revision "
            f"{int(info['fontRevision'], 16) / 65536:.3f}, {info['fileLength']:,} bytes")


def show_font(otpa, where, placed, after):
    """Prints a font before and after; true when it became what the package
    makes of it (or stayed as it was, where the package has nothing for it)."""
    before = font_info(otpa, placed.old)
    print(where)
    print(f"  before: {describe(before)}")
    if after is None:
        print("  after:  gone")
        return False
    wanted = placed.old if placed.new is None else placed.new
    if after == wanted:
        verdict = ("left as it was: no difference file of the package revises it" if placed.new is None else
                   "byte for byte what the package makes of it")
    else:
        verdict = ("NOT what the package makes of it" if placed.new is not None else
                   "CHANGED, though the package has nothing for it")
    now = font_info(otpa, after)
    print(f"  after:  {describe(now)}: {verdict}")
    if before is not None and now is not None and after != placed.old:
        old_tables = {t["tag"]: (t["length"], t["checksum"]) for t in before["tables"]}
        changed = [t["tag"].strip() for t in now["tables"] if old_tables.get(t["tag"]) != (t["length"], t["checksum"])]
        print(f"  tables changed: {', '.join(changed) if changed else 'none'}")
    return after == wanted


def rehearse_posix(otpa, program, fonts, work, english=False):
    """Runs `program` on a throw-away machine with `fonts` on its drives and
    shows each before and after; true when every font came out as wanted."""
    say("A throw-away machine with the installed fonts on its drives")
    harness = e2e.Harness(None, None, work / "sandbox", program, system_font=fonts[0].source)
    bed = e2e.Bed(harness, "machine", None)
    for placed in fonts:
        e2e.MOUNTS.setdefault(placed.letter, f"/media/{placed.letter}")
        print(f"  {bed.put(placed.letter, placed.relative, placed.old)}")
    bed.make_images()
    attached = sys.stdin.isatty() and sys.stdout.isatty()
    inside = ["/opt/otu/opentype-updater"]
    command, env = bed.sandbox(["/usr/bin/python3", "-c", FOREGROUND] + inside if attached else inside)
    stop, cancel = ("Stop", "Cancel") if english else ("中止", "キャンセル")
    say("opentype-updater " + (f"(Enter presses the marked button, Esc or q cancels, Ctrl-C is {stop})"
                               if attached else f"(each default answer, then {cancel} at the restart question)"))
    rc = run_attached(command, env) if attached else run_piped(command, env)
    if rc in (128 + signal.SIGHUP, -signal.SIGHUP):
        print("\nThe restart request ended the throw-away machine; this machine was not restarted.")
    elif rc != 0:
        print(f"\nThe sandbox ended with status {rc}.")

    say("Before and after")
    bed.read_drives()
    results = []
    for placed in fonts:
        path = bed.root / "after" / placed.letter / placed.relative
        after = path.read_bytes() if path.is_file() else None
        results.append(show_font(otpa, e2e.inside_path(placed.letter, placed.relative), placed, after))
    revised = sum(1 for placed, ok in zip(fonts, results) if ok and placed.new is not None)
    print(f"\n{revised} of {sum(p.new is not None for p in fonts)} fonts the package revises are the new revision"
          f"{'' if all(results) else '; some fonts are not as they should be'}. "
          "The machine's own fonts, caches and power state were not touched.")
    return all(results)


def program_section(package):
    """(title, English) from the package's [UPDATER_PROGRAM] section."""
    sys.path.insert(0, str(ROOT / "resources"))
    import package as package_tool
    text = package_tool.read_configuration_text(package_tool.configuration_file(package))
    keys = package_tool.section(text, package_tool.PROGRAM_SECTION) or {}
    return keys.get("TITLE"), keys.get("LANGUAGE") == "en"


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--otpa", type=pathlib.Path, required=True)
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("package", type=pathlib.Path)
    parser.add_argument("layout", type=pathlib.Path, nargs="?")
    args = parser.parse_args()
    # make-package writes PACKAGE_DIR.layout beside the package folder.
    layout = args.layout or args.package.resolve().parent / (args.package.resolve().name + ".layout")
    if not layout.is_file():
        print(f"rehearse: {layout}: no such layout file" +
              ("" if args.layout else " (make-package writes one; or name a LAYOUT)"), file=sys.stderr)
        return 2
    try:
        entries = read_layout(layout, WINDOWS_DRIVES if args.windows else POSIX_DRIVES)
    except LayoutError as error:
        print(f"rehearse: {error}", file=sys.stderr)
        return 2
    fonts = []
    for letter, folder, source in entries:
        old = source.read_bytes()
        fonts.append(Placed(letter, folder, source, old, package_result(args.otpa, args.package, old)))
    title, english = program_section(args.package)
    work = ROOT / "build" / "rehearse"
    say("The program that carries the package")
    subprocess.run([str(ROOT / "scripts" / "package"), str(args.package), str(work / "programs"),
                    "win32" if args.windows else "host"], env=dict(os.environ, OTPA=str(args.otpa)), check=True)
    if args.windows:
        import demo_windows
        return 0 if demo_windows.run(fonts, work, title, english) else 1
    return 0 if rehearse_posix(args.otpa, work / "programs" / "opentype-updater", fonts, work, english) else 1


if __name__ == "__main__":
    sys.exit(main())
