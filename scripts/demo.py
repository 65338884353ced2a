#!/usr/bin/env python3
"""demo.py [--windows] [--maker NAME] [--language en]: the demo's steps after
scripts/demo has installed and built what they need (see scripts/demo)."""
import argparse
import json
import os
import pathlib
import signal
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
sys.path.insert(0, str(ROOT / "tests" / "corpus"))
import e2e  # noqa: E402

BUILD = ROOT / "build"
DEMO = BUILD / "demo"
OTPA = BUILD / "host" / "bin" / "otpa"

# The fonts installed on the demo machine: (drive, folder, file, corpus pair).
# The Mincho is there twice, in two revisions; None stands for the older one,
# made from the pair's old font.
INSTALLED = [
    ("d", "Fonts", "SampleMinchoProN-R.otf", "small"),
    ("d", "Fonts", "SampleGothicProN-M.otf", "glyphs-added"),
    ("e", "旧版/Fonts", "SampleMinchoProN-R.otf", None),
    ("e", "Fonts", "SampleMinchoStd-R.otf", "renumbered"),
]


def say(text):
    print(f"\n\033[1m== {text}\033[0m" if sys.stdout.isatty() else f"\n== {text}", flush=True)


def write_if_changed(path, data):
    if not path.exists() or path.read_bytes() != data:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


def installed_fonts(corpus):
    """(drive, folder, file, installed bytes, new bytes) of each installed font."""
    fonts = []
    for letter, folder, name, pair in INSTALLED:
        old = e2e.oldest(corpus) if pair is None else corpus.bytes(pair, "old")
        new = corpus.bytes(pair or e2e.MINCHO[1], "new")
        fonts.append((letter, folder, name, old, new))
    return fonts


def lay_out_maker_folders(fonts):
    """What the maker has: the revisions it shipped (old/) and the new ones (new/)."""
    for letter, folder, name, old, new in fonts:
        write_if_changed(DEMO / "fonts" / "old" / letter / folder / name, old)
        write_if_changed(DEMO / "fonts" / "new" / name, new)


def script(name, *arguments):
    env = dict(os.environ, OTPA=str(OTPA))
    subprocess.run([str(ROOT / "scripts" / name), *map(str, arguments)], env=env, check=True)


# Inside the sandbox: the program as a process group of its own, made the
# terminal's foreground group before it starts, so that Ctrl-C reaches the
# program alone and not the sandbox's init. The terminal goes back to the
# demo when the sandbox has ended (the group outside cannot be named in here).
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


def info(path):
    result = subprocess.run([str(OTPA), "info", str(path), "--json"], stdout=subprocess.PIPE, text=True)
    return json.loads(result.stdout) if result.returncode == 0 else None


def revision(value):
    return f"{int(value, 16) / 65536:.3f} ({value})"


def show_font(where, before_path, after_path, new):
    before, after = info(before_path), info(after_path) if after_path.exists() else None
    print(where)
    print(f"  before: {before['fontName']}, revision {revision(before['fontRevision'])}, "
          f"{before['fileLength']:,} bytes")
    if after is None:
        print("  after:  not a readable font")
        return False
    same = after_path.read_bytes() == new
    print(f"  after:  {after['fontName']}, revision {revision(after['fontRevision'])}, "
          f"{after['fileLength']:,} bytes, {'byte for byte the new revision' if same else 'NOT the new revision'}")
    old_tables = {t["tag"]: (t["length"], t["checksum"]) for t in before["tables"]}
    changed = [t["tag"].strip() for t in after["tables"] if old_tables.get(t["tag"]) != (t["length"], t["checksum"])]
    print(f"  tables changed: {', '.join(changed) if changed else 'none'}")
    return same


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--maker", help="another maker's updater, in its name")
    parser.add_argument("--language", choices=("ja", "en"), help="the updater's language")
    args = parser.parse_args()
    program = []
    title = None
    if args.maker or args.language:
        maker = args.maker or "Tavrelon"
        english = args.language == "en"
        title = f"{maker} Font Updater" if english else f"{maker}フォント 改訂プログラム"
        program = ["--maker", maker, "--title", title] + (["--language", args.language] if args.language else [])
    corpus = e2e.Corpus(BUILD / "corpus")
    fonts = installed_fonts(corpus)

    say("The maker's side: a package from the shipped and the new fonts")
    lay_out_maker_folders(fonts)
    script("make-package", *program, DEMO / "fonts" / "old", DEMO / "fonts" / "new", DEMO / "package")
    say("The programs that carry it")
    script("package", DEMO / "package", DEMO / "programs", *([] if args.windows else ["host"]))
    if args.windows:
        import demo_windows
        return demo_windows.run(fonts, DEMO, title, args.language == "en")

    say("A throw-away machine with the installed fonts on two drives")
    harness = e2e.Harness(BUILD / "host", corpus.folder, DEMO / "sandbox", DEMO / "programs" / "opentype-updater")
    bed = e2e.Bed(harness, "machine", None)
    placed = []
    for letter, folder, name, old, new in fonts:
        where = bed.put(letter, f"{folder}/{name}", old, {"old": old, "new": new}, "old")
        placed.append((where, letter, f"{folder}/{name}", new))
        print(f"  {where}")
    bed.make_images()
    attached = sys.stdin.isatty() and sys.stdout.isatty()
    program = ["/opt/otu/opentype-updater"]
    command, env = bed.sandbox(["/usr/bin/python3", "-c", FOREGROUND] + program if attached else program)
    stop, cancel = ("Stop", "Cancel") if args.language == "en" else ("中止", "キャンセル")
    say("opentype-updater " + (f"(Enter presses the marked button, Esc or q cancels, Ctrl-C is {stop})"
                               if attached else f"(each default answer, then {cancel} at the restart question)"))
    rc = run_attached(command, env) if attached else run_piped(command, env)
    if rc in (128 + signal.SIGHUP, -signal.SIGHUP):
        print("\nThe restart request ended the throw-away machine; this machine was not restarted.")
    elif rc != 0:
        print(f"\nThe sandbox ended with status {rc}.")

    say("Before and after")
    bed.read_drives()
    revised = [show_font(where, bed.folder(letter) / relative, bed.root / "after" / letter / relative, new)
               for where, letter, relative, new in placed]
    print(f"\n{sum(revised)} of {len(revised)} installed fonts are the new revision. "
          "The machine's own fonts, caches and power state were not touched.")
    return 0 if all(revised) else 1


if __name__ == "__main__":
    sys.exit(main())
