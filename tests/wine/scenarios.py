#!/usr/bin/env python3
"""scenarios.py --build BUILD [--corpus DIR] [--only NAME ...] [--list] [--shots DIR] [--keep]

The Windows updater end to end under Wine: every scenario starts the real
program (one per scenario package, BUILD/bin/scenarios/<package>/) through
our UI driver (BUILD/bin/ui_driver.exe) inside a virtual desktop on an Xvfb
display of its own, and then checks the driver's transcript (which dialogs
came, in which order, with which texts) and the files on the sandbox drives.

The test bed: a 64-bit Wine prefix of its own, BUILD/ui-wine, made once and
reused (drive Z: removed, C: the prefix's own, D: and E: sandbox folders made
afresh for each scenario under BUILD/ui-sandbox/), code page 932 and the
Japanese font replacements. The prefix's wineserver is ended after every
scenario. Nothing of the machine's own fonts, caches or power state is
touched: the restart request ends only the processes of this prefix.

--only NAME runs the scenarios named (see --list); --shots DIR also writes a
PNG of every dialog the scenarios show into DIR; --keep keeps the sandbox
folders of passed scenarios (those of failed ones are always kept).
"""
import argparse
import fcntl
import hashlib
import json
import os
import pathlib
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The texts the dialogs must show ("\r\n" as the string table stores it).
M102 = ("フォントの改訂を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
        "中止しない場合は、”いいえ”ボタンを押してください。")
M105 = ("改訂が正常に終了しました。\r\n\r\n改訂したフォントを有効にする為に、システムを再起動します。\r\n"
        "再起動する場合は、”再起動”を押してください。")
M106 = "フォントの改訂を中止しました。"
M107 = "該当するフォントがありませんでした。\r\n\r\n改訂プログラムを終了します。"
M108 = "改訂対象となるフォントが存在しません。\r\n改訂を開始できません。"
M110 = "このOSはサポートしていません。\r\n動作環境をご確認下さい。"
M113 = "改訂ファイル({})の読み込みに失敗しました。"
M114 = "改訂元ファイル({})の読み込みに失敗しました。"
M116 = ("改訂対象フォントの検索を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
        "中止しない場合は、”いいえ”ボタンを押してください。")
M119 = "改訂プログラムの差分ファイルの読み込みに失敗しました。"
M122 = "改訂後のフォントファイル({})の作成に失敗しました。"
M125 = "使用中の{}個のフォントは、再起動した後に改訂されます。"
START_TEXT = ("タブレロンフォント製品をご利用のお客様は、下記3フォントが改訂対象です。\n\n"
              "\u3000\u3000・SampleMincho ProN R\n\u3000\u3000・SampleGothic ProN M\n"
              "\u3000\u3000・SampleGothic Pr6N M\n")
ABOUT_TEXT = "TAVRELONフォント 改訂プログラム Version 1.0.0"
FILE_TEXT = "{}の改訂をしています。"

# The three targets of the main package: installed file name and corpus pair.
MINCHO = ("SampleMinchoProN-R.otf", "small")
GOTHIC = ("SampleGothicProN-M.otf", "glyphs-added")
GOTHIC6 = ("SampleGothicPr6N-M.otf", "name-head")

# Where the main layout puts them, in the order the walk meets them (Wine
# lists a folder's entries sorted by name). Folder names whose second byte in
# code page 932 is 0x5C: ソ (83 5C) and 表 (95 5C).
MAIN_TARGETS = [
    ("ソフト", MINCHO),
    ("ソフト/表示", GOTHIC),
    ("フォント/表示/1/2/3/4", GOTHIC6),  # six folder names below the root: still searched
]

SCREEN = "1024x768"
HANG_GUARD_S = 180  # a session that has not ended by then is stuck


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def digest(data):
    return hashlib.sha256(data).hexdigest()


def windows_path(drive, relative):
    return f"{drive}:\\" + relative.replace("/", "\\")


class Corpus:
    def __init__(self, folder):
        self.folder = folder
        self.cache = {}

    def bytes(self, pair, side):
        key = (pair, side)
        if key not in self.cache:
            self.cache[key] = (self.folder / pair / f"{side}.otf").read_bytes()
        return self.cache[key]


class Transcript:
    """The driver's lines, parsed; a line cut off by the end of the
    processes (the restart) is left out."""

    def __init__(self, path):
        self.events = []
        self.cut = False
        if path.exists():
            for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
                try:
                    self.events.append(json.loads(line))
                except json.JSONDecodeError:
                    self.cut = True

    def of(self, ev):
        return [e for e in self.events if e["ev"] == ev]

    def shows(self):
        return self.of("show")

    def sequence(self):
        return [e["t"] for e in self.shows()]

    def show(self, template, nth=0):
        matching = [e for e in self.shows() if e["t"] == template]
        check(len(matching) > nth, f"dialog {template} (#{nth + 1}) never appeared; dialogs: {self.sequence()}")
        return matching[nth]

    def ended_ok(self):
        ends = self.of("end")
        return bool(ends) and ends[-1].get("ok") is True

    def failure(self):
        fails = self.of("fail")
        return fails[-1]["why"] if fails else None

    def dump(self, limit=400):
        out = []
        for e in self.events:
            text = json.dumps(e, ensure_ascii=False)
            out.append(text if len(text) <= limit else text[:limit] + "…")
        return "\n".join(out)


def runs_i386_programs():
    """Whether this machine starts i386 programs. Some kernels are built or
    booted without them ("Exec format error"), and Wine's 32-bit loader then
    cannot start."""
    try:
        return subprocess.run(["/lib/ld-linux.so.2", "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def is_i386_program(path):
    """Whether a Windows program is built for i386 (its PE machine field)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    at = int.from_bytes(head[0x3C:0x40], "little")
    return head[at + 4:at + 6] == b"\x4c\x01"


class Bed:
    """The prefix, the X display and one scenario's drives."""

    def __init__(self, build, shots):
        self.build = build
        self.prefix = build / "ui-wine"
        self.sandbox = build / "ui-sandbox"
        self.shots = shots
        self.display = None
        self.xvfb = None
        self.bin = build / "bin"
        self.env = dict(os.environ)
        for key in list(self.env):
            if key.startswith("WINE") or key in ("DISPLAY", "XAUTHORITY"):
                del self.env[key]
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "ja_JP.UTF-8",
            "LC_ALL": "ja_JP.UTF-8",
        })
        if not runs_i386_programs():
            # Wine's 64-bit loader under the names Debian's scripts start.
            self.env["PATH"] = f"{ROOT / 'scripts' / 'wine64-only'}:{self.env.get('PATH', '')}"

    # --- the X display ---------------------------------------------------
    def start_x(self):
        for number in range(73, 140):
            if pathlib.Path(f"/tmp/.X{number}-lock").exists() or pathlib.Path(f"/tmp/.X11-unix/X{number}").exists():
                continue
            self.xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", f"{SCREEN}x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            socket = pathlib.Path(f"/tmp/.X11-unix/X{number}")
            for _ in range(100):
                if socket.exists() or self.xvfb.poll() is not None:
                    break
                time.sleep(0.05)
            if socket.exists() and self.xvfb.poll() is None:
                self.display = f":{number}"
                self.env["DISPLAY"] = self.display
                return
            self.xvfb.kill()
            self.xvfb.wait()
        raise Failure("no free X display number for Xvfb")

    def stop_x(self):
        if self.xvfb is not None and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self.xvfb = None

    # --- the prefix --------------------------------------------------------
    def run(self, *command, check_rc=True, cwd=None, timeout=120):
        result = subprocess.run(list(command), env=self.env, cwd=cwd or self.prefix, timeout=timeout,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if check_rc and result.returncode != 0:
            raise Failure(f"{' '.join(command)} failed: {result.stdout.decode(errors='replace')[-2000:]}")
        return result

    def kill_server(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def ensure_prefix(self):
        """Makes the prefix once; a prefix without the marker (an interrupted
        creation) is made again."""
        marker = self.prefix / ".otu-ready"
        if not marker.exists():
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix.mkdir(parents=True)
            self.run("wineboot", "-i", timeout=300)
            self.run("wineserver", "-w", timeout=120)
            (self.prefix / "dosdevices" / "z:").unlink(missing_ok=True)
            # regedit reads a file without a byte-order mark in the ANSI code
            # page: UTF-16 with its mark keeps the Japanese names intact.
            replacements = self.prefix / "drive_c" / "font-replacements.reg"
            replacements.write_bytes(b"\xff\xfe" + (
                "Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n" +
                "".join(f'"{name}"="Noto Sans CJK JP"\r\n' for name in (
                    "MS UI Gothic", "MS Shell Dlg", "MS Shell Dlg 2", "Tahoma", "ＭＳ Ｐゴシック",
                    "ＭＳ ゴシック"))).encode("utf-16-le"))
            self.run("wine", "regedit", "C:\\font-replacements.reg")
            self.run("wineserver", "-w", timeout=120)
            marker.touch()
        # Caption buttons are drawn with Marlett. Debian's Wine looks for its
        # own fonts (package fonts-wine, /usr/share/wine/fonts) in a folder
        # that does not exist, but it reads C:\windows\Fonts.
        marlett = pathlib.Path("/usr/share/wine/fonts/marlett.ttf")
        fonts = self.prefix / "drive_c" / "windows" / "Fonts"
        if marlett.exists() and not (fonts / marlett.name).exists():
            fonts.mkdir(parents=True, exist_ok=True)
            shutil.copy(marlett, fonts / marlett.name)
        self.kill_server()
        # A run cut short may have left another Windows version set.
        self.set_version(None)
        self.kill_server()

    def set_version(self, version):
        if version is None:
            self.run("wine", "reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f", check_rc=False)
        else:
            self.run("wine", "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f")

    def user_folder(self):
        users = [p for p in (self.prefix / "drive_c" / "users").iterdir() if p.name != "Public" and p.is_dir()]
        check(len(users) == 1, f"cannot tell the prefix's user folder: {users}")
        return users[0]

    def temp_folder(self):
        return self.user_folder() / "Temp"

    def map_drives(self, drives):
        devices = self.prefix / "dosdevices"
        for link in devices.iterdir():
            if len(link.name) == 2 and link.name[1] == ":" and link.name != "c:":
                link.unlink()
        for letter, folder in drives.items():
            (devices / f"{letter}:").symlink_to(folder)


class Scenario:
    """One scenario's sandbox drives, script, run and files."""

    def __init__(self, bed, corpus, name, package="main"):
        self.bed = bed
        self.corpus = corpus
        self.name = name
        self.package = package
        self.program = bed.bin / "scenarios" / package / "OpenTypeUpdater.exe"
        self.root = bed.sandbox / name
        shutil.rmtree(self.root, ignore_errors=True)
        self.d = self.root / "d"
        self.d.mkdir(parents=True)
        self.e = None
        self.files = {}  # path -> [expected state, {state: digest}]
        self.removed = []  # the downloaded files a full success deletes
        self.transcript = None
        self.version = None
        self.temp_limit = None  # bytes of a size-limited temporary folder
        self.run_seconds = 0.0
        self.asks = {}  # what the driver's `ask NAME` has the harness do
        self.ask_errors = []
        windows = bed.prefix / "drive_c" / "windows"
        self.cache_real = windows / "system32" / "fntcache.dat"
        self.cache_wow = windows / "syswow64" / "fntcache.dat"

    # --- layout ------------------------------------------------------------
    def drive(self, letter):
        return self.d if letter == "d" else self.use_e()

    def use_e(self):
        if self.e is None:
            self.e = self.root / "e"
            self.e.mkdir(parents=True)
        return self.e

    def put(self, letter, relative, data, states, expected="same", read_only=False):
        path = self.drive(letter) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        if read_only:
            path.chmod(0o444)
        self.files[path] = [expected, {k: digest(v) for k, v in states.items()}]
        return path

    def put_font(self, letter, folder, target, expected="old"):
        """An installed old revision of a target; returns its Windows path."""
        file_name, pair = target
        relative = f"{folder}/{file_name}"
        self.put(letter, relative, self.corpus.bytes(pair, "old"),
                 {"old": self.corpus.bytes(pair, "old"), "new": self.corpus.bytes(pair, "new")}, expected)
        return windows_path(letter.upper(), relative)

    def expect(self, windows_file, state):
        for path, record in self.files.items():
            if self.windows_of(path) == windows_file:
                record[0] = state
                return
        raise Failure(f"no such placed file {windows_file}")

    def windows_of(self, path):
        for letter, folder in (("D", self.d), ("E", self.e)):
            if folder is not None and folder in path.parents:
                return windows_path(letter, str(path.relative_to(folder)))
        return str(path)

    def main_fonts(self, letter="d"):
        return [self.put_font(letter, folder, target) for folder, target in MAIN_TARGETS]

    def decoys(self):
        """Files that look like targets but must not become candidates, each
        for one rule of the search and the matching; all stay as they are."""
        old = lambda pair: self.corpus.bytes(pair, "old")
        same = lambda data: {"same": data}
        self.put("d", "ソフト/読取専用/SampleMinchoProN-R.otf", old("small"), same(old("small")), read_only=True)
        self.put("d", "大文字/SampleMinchoProN-R.OTF", old("small"), same(old("small")))
        self.put("d", "大文字/SampleMinchoProN-R.otf.bak", old("small"), same(old("small")))
        self.put("d", "別名/OtherMincho-R.otf", old("small"), same(old("small")))
        new6 = self.corpus.bytes("name-head", "new")
        self.put("d", "改訂済/SampleGothicPr6N-M.otf", new6, same(new6))
        self.put("d", "深い/1/2/3/4/5/6/SampleMinchoProN-R.otf", old("small"), same(old("small")))

    def download_files(self):
        """The maker's downloaded files (removed after a full success) and
        near misses (never removed)."""
        data = b"downloaded font data\r\n"
        self.removed = [
            self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10001", data, {"same": data}),
            self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10008", data, {"same": data}),
            self.put("d", "Users/Public/Pennrook/Fonts/Download/add/10004", data, {"same": data}),
        ]
        self.put("d", "Tavrelon/Fonts/Download/add/10002", data, {"same": data})  # marker at position 2
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10001.tmp", data, {"same": data})
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10009", data, {"same": data})
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/10003", data, {"same": data})

    def slow_tree(self, letter, top, count=3000):
        """A tree of `count` empty folders, 60 a level, so that the walk lasts."""
        base = self.drive(letter) / top
        made = 0
        for a in range(0, (count + 59) // 60):
            for b in range(60):
                if made == count:
                    return
                (base / f"{a:04d}" / f"{b:02d}").mkdir(parents=True, exist_ok=True)
                made += 1

    # --- the run -------------------------------------------------------------
    def run(self, script):
        hung = self.session(script)
        if hung and not (self.d / "transcript.txt").exists():
            # Wine failed before the UI driver started, so the program under
            # test never ran (seen once in a CI run: explorer's desktop ended
            # on "Unhandled page fault on execute access to
            # 0000000000000000 ... starting debugger"): once more.
            first = (self.root / "wine.log").read_text(errors="replace").strip().splitlines()[:1]
            print(f"  {self.name}: the UI driver never started ({' '.join(first)}); once more", flush=True)
            hung = self.session(script)
        self.transcript = Transcript(self.d / "transcript.txt")
        check(not hung, "the session did not end:\n" + self.transcript.dump())
        check(not self.ask_errors, f"what the driver asked for failed: {self.ask_errors}")
        return self.transcript

    def session(self, script):
        """One session of the driver and the program: true when it hung."""
        bed = self.bed
        shutil.copy(self.program, self.d / "OpenTypeUpdater.exe")
        shutil.copy(bed.bin / "ui_driver.exe", self.d / "ui_driver.exe")
        (self.d / "script.txt").write_text("\n".join(script) + "\n", encoding="utf-8")
        self.cache_real.write_bytes(b"real system folder cache")
        self.cache_wow.write_bytes(b"32-bit system folder cache")
        temp = bed.temp_folder()
        temp.mkdir(exist_ok=True)
        for entry in temp.iterdir():
            shutil.rmtree(entry) if entry.is_dir() else entry.unlink()
        bed.map_drives({"d": self.d} if self.e is None else {"d": self.d, "e": self.e})
        # A scenario may run the program more than once.
        handshake = self.d / "handshake"
        shutil.rmtree(handshake, ignore_errors=True)
        handshake.mkdir()
        (self.d / "transcript.txt").unlink(missing_ok=True)
        command = ["wine", "explorer", f"/desktop=otu,{SCREEN}", "D:\\ui_driver.exe", "D:\\script.txt",
                   "D:\\transcript.txt", "D:\\handshake"]
        if bed.shots is not None:
            command.append("shots")
        if self.temp_limit is not None:
            # The wineserver must start inside the namespace: no version
            # change (which starts one outside) goes with a small folder.
            check(self.version is None, "a small temporary folder and another version in one scenario")
            # Only this session's processes (the wineserver included, which
            # opens the files) see the small temporary folder; the mount ends
            # with them and never reaches the machine's own namespace.
            command = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                       'mount -t tmpfs -o size="$1" otu-temp "$2" && shift 2 && exec "$@"', "sh",
                       str(self.temp_limit), str(temp)] + command
        bed.kill_server()
        if self.version is not None:
            bed.set_version(self.version)
        log = open(self.root / "wine.log", "wb")
        started = time.monotonic()
        process = subprocess.Popen(command, cwd=self.d, env=bed.env, stdout=log, stderr=subprocess.STDOUT)
        hung = False
        try:
            while process.poll() is None:
                if bed.shots is not None:
                    self.take_shot(handshake)
                self.answer_ask(handshake)
                if time.monotonic() - started > HANG_GUARD_S:
                    hung = True
                    break
                time.sleep(0.05)
        finally:
            bed.kill_server()
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            log.close()
            self.run_seconds = time.monotonic() - started
            if self.version is not None:
                bed.set_version(None)
                bed.kill_server()
        return hung

    def answer_ask(self, handshake):
        """Does what the driver's `ask NAME` wants (self.asks[NAME]) and
        answers; a failure is noted and answered all the same, so that the
        session goes on to its end."""
        request = handshake / "ask.req"
        if not request.exists():
            return
        name = request.read_text().strip()
        request.unlink()
        try:
            self.asks[name]()
        except Exception as error:  # noqa: BLE001 - reported after the run
            self.ask_errors.append(f"{name}: {error!r}")
        (handshake / "ask.done").write_text("done\n")

    def take_shot(self, handshake):
        request = handshake / "shot.req"
        if not request.exists():
            return
        name, left, top, right, bottom = request.read_text().split()
        request.unlink()
        left, top, right, bottom = int(left), int(top), int(right), int(bottom)
        whole = self.root / "screen.png"
        subprocess.run(["import", "-display", self.bed.display, "-window", "root", str(whole)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        (self.bed.shots / f"{name}.png").parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["convert", str(whole), "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        "-strip", "-define", "png:compression-level=9", str(self.bed.shots / f"{name}.png")],
                       check=True)
        (handshake / "shot.done").write_text("done\n")

    # --- checks ----------------------------------------------------------------
    def check_files(self):
        for path, (expected, states) in self.files.items():
            where = self.windows_of(path)
            if expected == "gone":
                check(not path.exists(), f"{where} should have been removed")
                continue
            check(path.exists(), f"{where} is gone")
            actual = digest(path.read_bytes())
            check(expected in states, f"{where}: no {expected} revision to compare with")
            check(actual == states[expected],
                  f"{where} is not the {expected} revision: "
                  f"{[k for k, v in states.items() if v == actual] or 'other bytes'}")

    def check_clean_up(self, done):
        for path in self.removed:
            check(path.exists() != done, f"{self.windows_of(path)} {'still there' if done else 'deleted'}")
        check(self.cache_real.exists() != done,
              f"system32\\fntcache.dat {'still there' if done else 'deleted'}")
        check(self.cache_wow.exists(), "syswow64\\fntcache.dat (the 32-bit view) was deleted")

    def mark_removed(self):
        for path in self.removed:
            self.files[path][0] = "gone"

    def check_temp_empty(self):
        left = sorted(p.name for p in self.bed.temp_folder().iterdir())
        check(not left, f"temporary files left behind: {left}")

    def check_ended(self):
        tr = self.transcript
        check(tr.failure() is None, f"driver: {tr.failure()}")
        check(tr.ended_ok(), "the script did not run to its end")
        exits = tr.of("exit")
        check(exits and exits[-1]["code"] == 0, f"the updater's exit: {exits}")


def expect_font_change(tr):
    """WM_FONTCHANGE goes to every top-level window once after each run of
    the updates, whatever its outcome, and never without one. A quiet run
    shows no progress window: its exit code tells whether it ran them."""
    quiet = any("/quiet" in e.get("arguments", "").lower() for e in tr.of("start"))
    ran_updates = {3010, 1641, 1603, 1602}
    runs = sum(e["code"] in ran_updates for e in tr.of("exit")) if quiet else tr.sequence().count(130)
    changes = len(tr.of("fontchange"))
    check(changes == runs, f"{changes} font-change broadcasts for {runs} runs of the updates")


def expect_sequence(tr, expected):
    check(tr.sequence() == expected, f"dialogs {tr.sequence()}, expected {expected}")


def expect_message(tr, template, text, nth=0):
    control = "1013" if template in (131, 134) else "1017"
    shown = tr.show(template, nth)["controls"].get(control)
    check(shown == text, f"dialog {template} says {shown!r}, expected {text!r}")


def expect_start_dialog(tr):
    shown = tr.show(129)["controls"].get("1023")
    check(shown == START_TEXT, f"start text {shown!r}")


def expect_rows(tr, rows, nth=0):
    shown = tr.show(102, nth)
    check(shown["rows"] == rows, f"main list {shown['rows']}, expected {rows}")
    # The column is made only once the search has run.
    columns = [{"heading": "フォント名", "width": 600}] if tr.sequence().count(170) else []
    check(shown["columns"] == columns, f"main list columns {shown['columns']}, expected {columns}")


# Script pieces ------------------------------------------------------------
START = ["start D:\\OpenTypeUpdater.exe", "wait 129 30000"]
TO_LIST = START + ["key enter", "wait 170 30000", "wait 102 120000"]
QUIT_FROM_START = ["press 2", "wait 132 10000", "press 1", "exit 30000"]

SCENARIOS = {}


def scenario(name, package="main"):
    def register(function):
        SCENARIOS[name] = (function, package)
        return function
    return register


def revise_all(s, answer):
    fonts = s.main_fonts()
    s.decoys()
    s.download_files()
    tr = s.run(TO_LIST + ["shot 102-main-list", "press 1", "wait 130 30000", "wait 134 120000",
                          "shot 134-normal-end", f"press {answer}", "exit 30000"] +
               # The restart request ends the processes of the prefix a moment
               # after the updater's own end; the driver goes on listening
               # until then (bounded only so that a session never hangs).
               (["linger 30000"] if answer == 1 else []))
    expect_start_dialog(tr)
    expect_rows(tr, fonts)
    expect_message(tr, 134, M105)
    for f in fonts:
        s.expect(f, "new")
    s.mark_removed()
    return tr


@scenario("revise-restart")
def revise_restart(s):
    """Three fonts revised, clean-up done, "再起動": the restart request ends
    every process of the prefix at once, the driver included."""
    tr = revise_all(s, 1)
    expect_sequence(tr, [129, 170, 102, 130, 134])
    presses = [i for i, e in enumerate(tr.events) if e["ev"] == "press" and e["t"] == 134]
    check(len(presses) == 1 and tr.events[presses[0]]["label"] == "再起動", f"presses in 134: {presses}")
    after = [e["ev"] for e in tr.events[presses[0] + 1:]]
    check(set(after) <= {"hide", "exit"}, f"after 再起動: {after}")
    check(not tr.of("lingered") and not tr.of("end"), "the driver lived on after the restart request")
    exits = tr.of("exit")
    check(not exits or exits[0]["code"] == 0, f"the updater's exit: {exits}")
    s.check_clean_up(done=True)
    s.check_files()


@scenario("revise-cancel")
def revise_cancel(s):
    """Three fonts revised, clean-up done, "キャンセル": the program ends
    normally and leaves no temporary file."""
    tr = revise_all(s, 2)
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 134])
    s.check_clean_up(done=True)
    s.check_files()
    s.check_temp_empty()


@scenario("font-in-use")
def font_in_use(s):
    """The first of three fonts is held open by another program: its new
    revision is staged beside it and waits for the restart, the run goes on
    and ends with 105 and a line on the waiting font; at the prefix's next
    start the font is the new revision and the staged file is gone."""
    fonts = s.main_fonts()
    s.download_files()
    staged = s.d / MAIN_TARGETS[0][0] / (MINCHO[0][:-len(".otf")] + ".otu-staged")
    tr = s.run(["hold " + fonts[0]] + TO_LIST +
               ["press 1", "wait 130 30000", "wait 134 120000", "shot 134-normal-end-in-use", "press 2",
                "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 134])
    expect_rows(tr, fonts)
    expect_message(tr, 134, M105 + "\r\n\r\n" + M125.format(1))
    for f in fonts[1:]:
        s.expect(f, "new")
    s.mark_removed()
    s.check_clean_up(done=True)
    s.check_files()
    s.check_temp_empty()
    new = s.corpus.bytes(MINCHO[1], "new")
    check(staged.exists() and digest(staged.read_bytes()) == digest(new),
          f"{s.windows_of(staged)} does not hold the new revision")
    pending = [line for line in (s.bed.prefix / "system.reg").read_text(errors="replace").splitlines()
               if line.startswith('"PendingFileRenameOperations"')]
    check(pending, "no rename waits for the restart")
    # The next start of the prefix is the restart.
    s.bed.run("wine", "cmd", "/c", "exit")
    s.bed.kill_server()
    s.expect(fonts[0], "new")
    s.check_files()
    check(not staged.exists(), f"{s.windows_of(staged)} is still there after the restart")


@scenario("user-fonts")
def user_fonts(s):
    """A font installed for one user lies seven folders below C:, one more
    than the walk of the drives lists: found in the user's own fonts folder
    after the drives and revised. A target in the system's fonts folder,
    which the walk of C: meets, is listed once."""
    user = s.bed.user_folder()
    user_fonts = user / "AppData" / "Local" / "Microsoft" / "Windows" / "Fonts"
    system_fonts = s.bed.prefix / "drive_c" / "windows" / "Fonts"
    placed = []
    try:
        old = s.corpus.bytes(MINCHO[1], "old")
        states = {"old": old, "new": s.corpus.bytes(MINCHO[1], "new")}
        for folder in (user_fonts, system_fonts):
            folder.mkdir(parents=True, exist_ok=True)
            path = folder / MINCHO[0]
            path.write_bytes(old)
            placed.append(path)
            s.files[path] = ["new", {k: digest(v) for k, v in states.items()}]
        gothic = s.put_font("d", "ソフト", GOTHIC)
        user_path = f"C:\\users\\{user.name}\\AppData\\Local\\Microsoft\\Windows\\Fonts\\{MINCHO[0]}"
        system_path = f"C:\\windows\\Fonts\\{MINCHO[0]}"
        tr = s.run(TO_LIST + ["press 1", "wait 130 30000", "wait 134 120000", "press 2", "exit 30000"])
        s.check_ended()
        rows = tr.show(102)["rows"]
        check([r.lower() for r in rows] == [system_path.lower(), gothic.lower(), user_path.lower()],
              f"main list {rows}")
        expect_message(tr, 134, M105)
        s.expect(gothic, "new")
        s.check_files()
        s.check_temp_empty()
    finally:
        for path in placed:
            path.unlink(missing_ok=True)


@scenario("write-fails")
def write_fails(s):
    """The second of three fails with result 11 (its temporary file does not
    fit the temporary folder): message 122 with its path, the first revised,
    the second and third untouched, no clean-up."""
    fonts = s.main_fonts()
    s.download_files()
    # The first (1.1 MB) revised font fits, the second (4.9 MB) does not.
    s.temp_limit = 2 * 1024 * 1024
    tr = s.run(TO_LIST + ["press 1", "wait 130 30000", "wait 131 120000", "shot 131-end", "press 1",
                          "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 131])
    expect_rows(tr, fonts)
    expect_message(tr, 131, M122.format(fonts[1]))
    s.expect(fonts[0], "new")
    s.check_clean_up(done=False)
    s.check_files()


@scenario("stop-update-yes")
def stop_update_yes(s):
    """Stop pressed in the progress window and confirmed: message 106; the
    fonts before the one in progress revised, it and the later ones not."""
    fonts = s.main_fonts()
    s.download_files()
    tr = s.run(["on 132 texts 130", "on 132 press 1", "on 131 press 1",
                "on 134 press 2"] + TO_LIST + ["press 1", "wait 130 30000", "press 1006",
                                               "exit 120000"])
    s.check_ended()
    questions = [e for e in tr.shows() if e["t"] == 132]
    check(questions, f"no question after Stop: {tr.sequence()}")
    for q in questions:
        check(q["controls"].get("1017") == M102, f"question {q['controls']}")
    # The progress window's texts while the last question was up: the font in
    # progress. A stop answered at the 100 % report is not obeyed (the file is
    # copied already) and the next font asks again.
    progress = [e for e in tr.of("texts") if e["t"] == 130]
    check(len(progress) == len(questions), "progress texts missing")
    in_progress = []
    for p in progress:
        matching = [i for i, f in enumerate(fonts) if p["controls"]["1012"] == FILE_TEXT.format(f)]
        check(len(matching) == 1, f"progress file text {p['controls']['1012']!r}")
        in_progress.append(matching[0])
    last = in_progress[-1]
    for p in progress[:-1]:
        check(p["controls"]["1010"] == "100%", f"a stop obeyed before the last question: {p['controls']}")
    if progress[-1]["controls"]["1010"] == "100%" and last == len(fonts) - 1:
        # The stop came at the very last report: nothing was left to stop.
        expect_sequence(tr, [129, 170, 102, 130] + [132] * len(questions) + [134])
        for f in fonts:
            s.expect(f, "new")
    else:
        expect_sequence(tr, [129, 170, 102, 130] + [132] * len(questions) + [131])
        expect_message(tr, 131, M106)
        for f in fonts[:last]:
            s.expect(f, "new")
        s.check_clean_up(done=False)
    s.check_files()


@scenario("stop-update-no")
def stop_update_no(s):
    """Stop pressed in the progress window and answered "いいえ": the run goes
    on to message 105."""
    fonts = s.main_fonts()
    s.download_files()
    tr = s.run(["on 132 press 2"] + TO_LIST + ["press 1", "wait 130 30000", "shot 130-progress 150", "press 1006",
                                               "wait 134 120000",
                                               "press 2", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 132, 134])
    expect_message(tr, 132, M102)
    expect_message(tr, 134, M105)
    for f in fonts:
        s.expect(f, "new")
    s.mark_removed()
    s.check_clean_up(done=True)
    s.check_files()


@scenario("stop-search-found")
def stop_search_found(s):
    """The search stopped on E: after the fonts on D: were found: the main
    list holds those, and they are revised; the font at the end of E: is
    never reached."""
    fonts = s.main_fonts()
    s.slow_tree("e", "森")
    late = s.put_font("e", "森/9999", MINCHO, expected="old")
    tr = s.run(START + ["key enter", "wait 170 30000", "waittext 1077 60000 E:\\森\\", "shot 170-search 0",
                        "press 1076", "wait 132 30000", "press 1", "wait 102 60000", "press 1", "wait 134 120000",
                        "press 2", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 132, 102, 130, 134])
    expect_message(tr, 132, M116)
    expect_rows(tr, fonts)
    for f in fonts:
        s.expect(f, "new")
    s.expect(late, "old")
    s.check_files()


@scenario("stop-search-early")
def stop_search_early(s):
    """The search stopped before it met any candidate: message 107 and the
    end, nothing revised."""
    s.main_fonts()
    s.slow_tree("d", "0森")  # walked before the font folders (sorted first)
    tr = s.run(START + ["key enter", "wait 170 30000", "waittext 1077 60000 D:\\0森\\", "press 1076",
                        "wait 132 30000", "press 1", "wait 133 30000", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 132, 133])
    expect_message(tr, 132, M116)
    expect_message(tr, 133, M107)
    s.check_files()
    s.check_temp_empty()


@scenario("no-candidates")
def no_candidates(s):
    """Only near misses on the drive (read-only, .OTF, .otf.bak, another
    name, already revised, seven folders deep): message 107."""
    s.decoys()
    s.download_files()
    tr = s.run(START + ["key enter", "wait 133 120000", "shot 133-ok-message", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 133])
    expect_message(tr, 133, M107)
    s.check_clean_up(done=False)
    s.check_files()
    s.check_temp_empty()


@scenario("short-package", package="short")
def short_package(s):
    """Declared and loaded counts differ: message 119, the main dialog with
    an empty list, "実行" answers 108 and the dialog stays; no search."""
    s.main_fonts()
    tr = s.run(["start D:\\OpenTypeUpdater.exe", "wait 133 30000", "press 1", "wait 102 30000", "press 1",
                "wait 133 30000", "press 1", "closed 10000", "visible 102", "press 2", "wait 132 10000",
                "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [133, 102, 133, 132])
    expect_message(tr, 133, M119)
    expect_rows(tr, [])
    expect_message(tr, 133, M108, nth=1)
    check(tr.of("visible")[0]["visible"], "the main dialog closed after message 108")
    s.check_files()
    s.check_temp_empty()


@scenario("damaged-difference", package="damaged")
def damaged_difference(s):
    """The second font's difference file is cut after its header: message
    113 naming it; the first font revised, the others untouched."""
    fonts = s.main_fonts()
    s.download_files()
    tr = s.run(TO_LIST + ["press 1", "wait 131 120000", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 131])
    expect_message(tr, 131, M113.format("SampleGothicProN-M.pa"))
    s.expect(fonts[0], "new")
    s.check_clean_up(done=False)
    s.check_files()
    s.check_temp_empty()


MAKERS_START_TEXT = ("タブレロンフォント製品をご利用のお客様は、下記4フォントが改訂対象です。\n\n"
                     "\u3000\u3000・Example Sans JP Semi Condensed Bold\n"
                     "\u3000\u3000・Example Sans JP Semi Condensed Regular\n"
                     "\u3000\u3000・Example Serif Text Semi Condensed Bold\n"
                     "\u3000\u3000・Example Serif Text Semi Condensed Regular\n")


@scenario("makers-fonts", package="makers")
def makers_fonts(s):
    """Another maker's CFF and TrueType fonts side by side (.otf on D:, .ttf
    on E: six folders down), in the extended format: listed in the walk's
    order, revised into the new releases byte for byte; a .ttf of the new
    revision stays as it is."""
    manifest = json.loads((s.bed.makers_corpus / "manifest.json").read_text())
    fonts = []
    for n, (pair, info) in enumerate(sorted(manifest["pairs"].items())):
        extension = info["file"].rsplit(".", 1)[1]
        old, new = ((s.bed.makers_corpus / pair / f"{side}.{extension}").read_bytes() for side in ("old", "new"))
        letter, folder = ("d", "Fonts/Example") if extension == "otf" else ("e", f"Library/Fonts/{n}/a/b/c")
        path = s.put(letter, f"{folder}/{info['file']}", old, {"old": old, "new": new}, "new")
        fonts.append(s.windows_of(path))
        if extension == "ttf":
            s.put("d", f"Others/{info['file']}", new, {"same": new})
    tr = s.run(TO_LIST + ["press 1", "wait 130 30000", "wait 134 120000", "press 2", "exit 30000"])
    s.check_ended()
    shown = tr.show(129)["controls"].get("1023")
    check(shown == MAKERS_START_TEXT, f"start text {shown!r}")
    expect_rows(tr, sorted(fonts))
    expect_message(tr, 134, M105)
    s.check_files()
    s.check_temp_empty()


@scenario("compact-package", package="compact")
def compact_package(s):
    """The package with the smallest difference files otpa makes, whose
    blocks are compressed: all as revise-cancel with the classic ones."""
    revise_cancel(s)


@scenario("damaged-font")
def damaged_font(s):
    """The second installed font still matches but carries a table the
    update refuses (its BASE entry renamed DSIG): message 114 with its path."""
    fonts = s.main_fonts()
    s.download_files()
    path = [p for p in s.files if s.windows_of(p) == fonts[1]][0]
    data = bytearray(path.read_bytes())
    count = struct.unpack(">H", data[4:6])[0]
    tags = [bytes(data[12 + 16 * i:16 + 16 * i]) for i in range(count)]
    check(b"BASE" in tags, f"no BASE table in {tags}")
    at = 12 + 16 * tags.index(b"BASE")
    data[at:at + 4] = b"DSIG"
    s.put("d", str(path.relative_to(s.d)), bytes(data), {"same": bytes(data)})
    tr = s.run(TO_LIST + ["press 1", "wait 131 120000", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 131])
    expect_rows(tr, fonts)
    expect_message(tr, 131, M114.format(fonts[1]))
    s.expect(fonts[0], "new")
    s.check_clean_up(done=False)
    s.check_files()
    s.check_temp_empty()


@scenario("start-cancel")
def start_cancel(s):
    """The start dialog's "中　止" and Esc ask 102; "いいえ" keeps it, "はい"
    ends the program without a search."""
    s.main_fonts()
    tr = s.run(START + ["shot 129-start", "press 2", "wait 132 10000", "shot 132-question", "press 2",
                        "closed 10000", "visible 129", "key esc", "wait 132 10000", "press 2", "closed 10000",
                        "visible 129", "press 2", "wait 132 10000", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 132, 132, 132])
    for n in range(3):
        expect_message(tr, 132, M102, nth=n)
    check([v["visible"] for v in tr.of("visible")] == [True, True], "the start dialog did not stay")
    check(tr.of("key")[0]["focus"] == 1, f"focus in the start dialog: {tr.of('key')}")
    s.check_files()
    s.check_temp_empty()


@scenario("instances")
def instances(s):
    """A second start of the same file leaves without a window while the
    first runs; a copy under another file name runs (its start dialog)."""
    shutil.copy(s.bed.bin / "scenarios" / "main" / "OpenTypeUpdater.exe", s.d / "OpenTypeUpdater2.exe")
    tr = s.run(START + ["second 30000 - D:\\OpenTypeUpdater.exe", "second 30000 129 D:\\OpenTypeUpdater2.exe"] +
               QUIT_FROM_START)
    s.check_ended()
    same, copy = tr.of("second")
    check(same["ended"] and same["windows"] == [], f"the second instance: {same}")
    check(not copy["ended"] and copy["windows"] == [129], f"the copy: {copy}")
    expect_sequence(tr, [129, 132])


# --- unattended runs: Windows Installer's switches and exit codes ------------
LOG_LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*)$")


def log_events(path):
    """The log's lines without their time stamps; every line must have one
    and end with CR LF."""
    raw = path.read_bytes().decode("utf-8")
    check(raw.endswith("\r\n") and "\n" not in raw.replace("\r\n", ""), "log lines not ended by CR LF")
    events = []
    for line in raw.split("\r\n")[:-1]:
        match = LOG_LINE.match(line)
        check(match is not None, f"a log line without its time stamp: {line!r}")
        events.append(match.group(1) if match else line)
    return events


def quiet_run(s, *switches):
    """The updater started with `switches` and left to end: the transcript
    and its exit code. No window of it may ever show."""
    tr = s.run([f"start D:\\OpenTypeUpdater.exe {' '.join(switches)}", "exit 180000"])
    check(tr.failure() is None and tr.ended_ok(), f"driver: {tr.failure()}")
    check(not tr.shows(), f"a quiet run showed windows: {tr.sequence()}")
    exits = tr.of("exit")
    return tr, exits[-1]["code"] if exits else None


@scenario("quiet")
def quiet(s):
    """/quiet /norestart /log: no window at all, the three fonts revised, the
    clean-up done, no restart, exit code 3010; the log (UTF-8, CR LF) holds
    the drive, each font's candidate and update lines and the exit. A
    second run finds nothing: 0, appended to the same log."""
    fonts = s.main_fonts()
    s.download_files()
    tr, code = quiet_run(s, "/quiet", "/norestart", "/log", "D:\\fleet.log")
    check(code == 3010, f"exit code {code}")
    check(not tr.of("fontchange") or len(tr.of("fontchange")) == 1, "font change broadcasts")
    for f in fonts:
        s.expect(f, "new")
    s.mark_removed()
    s.check_clean_up(done=True)
    s.check_files()
    events = log_events(s.d / "fleet.log")
    check(events[0] == "program: OpenTypeUpdater.exe 1.0.0" and events[1].startswith("machine: ") and
          ", Windows " in events[1] and "search: drive D:\\" in events, f"the log's first lines: {events[:4]}")
    for f in fonts:
        check(f"candidate: {f}: installed revision 1.001, revised to 1.002" in events and
              f"update: {f}: result 0" in events, f"{f} in the log: {events}")
    check(events[-1] == "exit 3010: success, a restart is needed for the revised fonts to take effect",
          f"the log's last line: {events[-1]}")
    tr, code = quiet_run(s, "-QUIET", "-log", "D:\\fleet.log")
    events = log_events(s.d / "fleet.log")
    check(code == 0 and events[-1] == "exit 0: success, nothing left to do", f"the second run: {code} {events[-2:]}")


@scenario("quiet-write-fails")
def quiet_write_fails(s):
    """/quiet where the second font's temporary file does not fit: 1603, the
    first font revised, the log naming the failing font, its result and
    the message the dialog would have shown."""
    fonts = s.main_fonts()
    s.download_files()
    s.temp_limit = 2 * 1024 * 1024
    tr, code = quiet_run(s, "/quiet", "/log", "D:\\fail.log")
    check(code == 1603, f"exit code {code}")
    s.expect(fonts[0], "new")
    s.check_clean_up(done=False)
    s.check_files()
    events = log_events(s.d / "fail.log")
    check(f"update: {fonts[1]}: result 11" in events and f"message: {M122.format(fonts[1])}" in events and
          events[-1] == "exit 1603: a font could not be revised", f"the log: {events}")


@scenario("passive-and-switches")
def passive_and_switches(s):
    """/passive shows the wait and the progress windows and nothing else,
    and ends with 3010; beside a running instance /quiet ends at once with
    1618; a bad switch ends with 1639, without a window when quiet and with
    the usage box otherwise."""
    fonts = s.main_fonts()
    tr = s.run(START + ["second 30000 - D:\\OpenTypeUpdater.exe /quiet",
                        "second 30000 - D:\\OpenTypeUpdater.exe /quiet /frobnicate",
                        "second 3000 - D:\\OpenTypeUpdater.exe /frobnicate"] + QUIT_FROM_START)
    beside, bad_quiet, bad = tr.of("second")
    check(beside["ended"] and beside["windows"] == [] and beside["code"] == 1618, f"beside a running one: {beside}")
    check(bad_quiet["ended"] and bad_quiet["windows"] == [] and bad_quiet["code"] == 1639, f"quiet and bad: {bad_quiet}")
    check(not bad["ended"] and bad["windows"], f"a bad switch without /quiet shows the usage: {bad}")
    tr = s.run(["start D:\\OpenTypeUpdater.exe /Passive", "wait 170 30000", "wait 130 120000", "exit 180000"])
    check(tr.failure() is None and tr.ended_ok(), f"driver: {tr.failure()}")
    check(set(tr.sequence()) == {170, 130}, f"a passive run showed {tr.sequence()}")
    check(tr.of("exit")[-1]["code"] == 3010, f"exit: {tr.of('exit')}")
    for f in fonts:
        s.expect(f, "new")
    s.check_files()


@scenario("signed")
def signed(s):
    """The program signed with Authenticode by a throw-away certificate runs
    as the unsigned one: a quiet run revises the fonts with 3010."""
    fonts = s.main_fonts()
    keys = s.root / "keys"
    keys.mkdir()
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Tavrelon Test Signing", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", str(keys / "key.pem"), "-out", str(keys / "cert.pem")], check=True, capture_output=True)
    subprocess.run(["osslsigncode", "sign", "-certs", str(keys / "cert.pem"), "-key", str(keys / "key.pem"),
                    "-h", "sha256", "-in", str(s.program), "-out", str(keys / "OpenTypeUpdater.exe")],
                   check=True, capture_output=True)
    s.program = keys / "OpenTypeUpdater.exe"
    tr, code = quiet_run(s, "/quiet", "/norestart")
    check(code == 3010, f"exit code of the signed program {code}")
    for f in fonts:
        s.expect(f, "new")
    s.check_files()


@scenario("keys-ignored")
def keys_ignored(s):
    """Enter and Esc in the wait and the progress window do nothing: Tab
    first makes the Stop button the focused default button (as a user would),
    so an Enter that got through would press it and bring up a question."""
    fonts = s.main_fonts()
    s.slow_tree("e", "森")
    keys = ["key tab", "key enter", "key esc"]
    tr = s.run(["on 132 press 2"] + START + ["key enter", "wait 170 30000", "waittext 1077 60000 E:\\森\\"] + keys +
               # two later search texts: the keys were drained while the window was up
               ["waitchange 1077 60000", "waitchange 1077 60000", "wait 102 120000", "press 1", "wait 130 30000"] +
               keys + [f"waittext 1012 60000 {FILE_TEXT.format(fonts[2])}", "wait 134 120000", "press 2",
                       "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 134])
    focus = [(k["t"], k["key"], k["focus"]) for k in tr.of("key") if k["key"] != "tab"]
    check(focus == [(129, "enter", 1), (170, "enter", 1076), (170, "esc", 1076), (130, "enter", 1006),
                    (130, "esc", 1006)], f"key focus {focus}")
    for f in fonts:
        s.expect(f, "new")
    s.check_files()


def version_scenario(version, refused):
    def run(s):
        s.version = version
        if refused:
            tr = s.run(["start D:\\OpenTypeUpdater.exe", "wait 133 30000", "press 1", "exit 30000"])
            s.check_ended()
            expect_sequence(tr, [133])
            expect_message(tr, 133, M110)
        else:
            tr = s.run(START + QUIT_FROM_START)
            s.check_ended()
            expect_sequence(tr, [129, 132])
            expect_start_dialog(tr)
    run.__doc__ = f"Wine set to report {version}: " + ("refused with 110" if refused else "runs to the start dialog")
    return run


for _version, _refused in (("win2k", True), ("nt40", True), ("win98", True), ("winxp", False),
                           ("win2003", False)):
    scenario(f"version-{_version}")(version_scenario(_version, _refused))


@scenario("about")
def about(s):
    """The about box from the system menu of the main dialog; "中止" in the
    main dialog answered "いいえ" keeps the list."""
    fonts = s.main_fonts()
    tr = s.run(TO_LIST + ["shot 102-main-list", "sysmenu 16", "wait 100 10000", "shot 100-about", "press 1",
                          "closed 10000", "visible 102", "press 2", "wait 132 10000", "press 2", "closed 10000",
                          "visible 102", "press 2", "wait 132 10000", "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 100, 132, 132])
    shown = tr.show(100)["controls"].get("1100")
    check(shown == ABOUT_TEXT, f"about box says {shown!r}")
    check([v["visible"] for v in tr.of("visible")] == [True, True], "the main dialog did not stay")
    expect_rows(tr, fonts)
    s.check_files()
    s.check_temp_empty()


# --- another maker's English program (the package brand) ---------------------
BRAND_TITLE = "Northwind Font Updater"
BRAND_CAPTIONS = {100: "About " + BRAND_TITLE, 102: BRAND_TITLE, 129: BRAND_TITLE, 130: "Updating Fonts",
                  131: "Confirm", 132: "Confirm", 133: "Confirm", 134: "Confirm", 170: "Searching"}
BRAND_START_TOP = "This program updates Northwind Type OpenType font products."
BRAND_START_TEXT = ("For users of Northwind fonts, the following 3 fonts will be updated.\n\n"
                    "  - SampleMincho ProN R\n  - SampleGothic ProN M\n  - SampleGothic Pr6N M\n")
BRAND_M102 = "This stops the font update.\r\n\r\nTo stop, click Yes.\r\nTo continue, click No."
BRAND_M105 = ("The fonts were updated.\r\n\r\nThe system must restart before the updated fonts take effect.\r\n"
              "To restart now, click Restart.")
BRAND_M107 = "No fonts to update were found.\r\n\r\nThe updater will now close."
BRAND_M122 = "Could not create the updated font file ({})."
BRAND_M125 = "Fonts in use: {}. They will be updated when the system restarts."
BRAND_BUTTONS = {129: ["Next", "Cancel"], 102: ["Update", "Cancel"], 130: ["Stop"], 170: ["Stop"],
                 131: ["OK"], 132: ["Yes", "No"], 133: ["OK"], 134: ["Restart", "Cancel"], 100: ["OK"]}
BRAND_SCRIPT = [f"caption {t} {c}" for t, c in BRAND_CAPTIONS.items()]
ENGLISH = 0x409


def brand_downloads(s):
    """Tavrelon's downloaded files, which another maker's program leaves, and
    the maker's own (removed after a full success) with near misses."""
    s.download_files()
    data = b"downloaded font data\r\n"
    s.removed = [s.put("d", "ProgramData/Northwind/Updates/fonts.pkg", data, {"same": data}),
                 s.put("d", "Users/Public/NWT Fonts/Cache/fonts-2.pkg", data, {"same": data})]
    s.put("d", "ProgramData/Northwind/Updates/fonts.pkg.old", data, {"same": data})
    s.put("d", "Northwind/Updates/fonts.pkg", data, {"same": data})  # marker at position 2
    s.put("d", "ProgramData/Northwind/Updates/10001", data, {"same": data})


def expect_brand_dialogs(tr):
    """Every dialog the run showed in English: its caption, its buttons, the
    dialog font's texts."""
    for shown in tr.shows():
        t = shown["t"]
        check(t in BRAND_CAPTIONS, f"an unknown dialog: {shown['caption']!r} {shown['ids']}")
        check(shown["caption"] == BRAND_CAPTIONS[t], f"dialog {t} caption {shown['caption']!r}")
        buttons = [shown["controls"].get(str(i)) for i in (1, 2, 1006, 1076) if str(i) in shown["controls"]]
        check(buttons == BRAND_BUTTONS[t], f"dialog {t} buttons {buttons}")


def expect_brand_resources(s):
    """The program file: the version resource with the package's version,
    title, company and copyright in an English block; every dialog, string
    and the icon marked English; the dialogs in MS Shell Dlg 2; the icon the
    package's own."""
    import pe_resources
    import scenario_packages
    data = s.program.read_bytes()
    info = pe_resources.version_info(data)
    check(info["version"] == (2, 5, 1, 0), f"file version {info['version']}")
    check(info["translations"] == [(ENGLISH, 1200)], f"translations {info['translations']}")
    check(list(info["strings"]) == ["040904b0"], f"version blocks {list(info['strings'])}")
    values = info["strings"]["040904b0"]
    for key, value in (("ProductName", BRAND_TITLE), ("FileDescription", BRAND_TITLE),
                       ("CompanyName", "Northwind Type Co."), ("FileVersion", "2.5.1"), ("ProductVersion", "2.5.1"),
                       ("LegalCopyright", "Copyright (C) 2026 Northwind Type Co.")):
        check(values.get(key) == value, f"version resource {key} = {values.get(key)!r}")
    table = pe_resources.resources(data)
    marked = {(kind, language) for (kind, _, language) in table if kind != 24}  # the manifest aside
    check({language for _, language in marked} == {ENGLISH}, f"resource languages {sorted(marked, key=str)}")
    strings = pe_resources.strings(data)
    check(strings.get((101, ENGLISH)) == f"&About {BRAND_TITLE}...", f"string 101 {strings.get((101, ENGLISH))!r}")
    check(not any("フォント" in text or "TAVRELON" in text for text in strings.values()), "Japanese strings left")
    for (kind, name, _), value in table.items():
        if kind == pe_resources.RT_DIALOG:
            check("MS Shell Dlg 2".encode("utf-16-le") in value, f"dialog {name} not in MS Shell Dlg 2")
    icon = pe_resources.icon_images(data)
    check(icon == pe_resources.ico_images(scenario_packages.brand_icon()), "the icon is not the package's brand.ico")


@scenario("maker-program", package="brand")
def maker_program(s):
    """Another maker's English program (the package brand): the file's
    version resource, string table, dialogs and icon are the package's and
    English; the start dialog's Cancel asks and No keeps it; the search, the
    list, the about box from the system menu, the progress and message 105 in
    English; the maker's downloaded files deleted, Tavrelon's kept."""
    expect_brand_resources(s)
    fonts = s.main_fonts()
    brand_downloads(s)
    s.slow_tree("e", "森", count=600)
    late = s.put_font("e", "森/9999", MINCHO, expected="new")
    tr = s.run(BRAND_SCRIPT + START + [
        "shot en/129-start", "press 2", "wait 132 10000", "shot en/132-question", "press 2", "closed 10000",
        "visible 129", "key enter", "wait 170 30000", "waittext 1077 60000 Searching E:\\森\\", "shot en/170-search 0",
        "wait 102 120000", "shot en/102-main-list", "sysmenu 16", "wait 100 10000", "shot en/100-about", "press 1",
        "closed 10000", "visible 102", "press 1", "wait 130 30000", "waittext 1012 60000 Updating D:\\",
        "shot en/130-progress 150", "wait 134 120000",
        "shot en/134-normal-end", "press 2", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 132, 170, 102, 100, 130, 134])
    expect_brand_dialogs(tr)
    start = tr.show(129)
    check(start["statics"][0] == BRAND_START_TOP, f"start dialog's first line {start['statics']}")
    check(start["controls"].get("1023") == BRAND_START_TEXT, f"start text {start['controls'].get('1023')!r}")
    expect_message(tr, 132, BRAND_M102)
    rows = fonts + [late]
    shown = tr.show(102)
    check(shown["rows"] == rows and shown["columns"] == [{"heading": "Font name", "width": 600}],
          f"main list {shown['rows']} {shown['columns']}")
    about = tr.show(100)["controls"].get("1100")
    check(about == f"{BRAND_TITLE} Version 2.5.1", f"about box says {about!r}")
    check(tr.show(100)["statics"][-1] == "Copyright (C) 2026 Northwind Type Co.", f"about box {tr.show(100)['statics']}")
    searched = [e["text"] for e in tr.of("text") if e["t"] == 170]
    check(searched and searched[0].startswith("Searching E:\\森\\"), f"search text {searched}")
    # Texts read while a job runs are those of the previous progress point:
    # the file text is waited for.
    updating = [e["text"] for e in tr.of("text") if e["t"] == 130 and e["id"] == 1012]
    check(updating and updating[0].startswith("Updating D:\\"), f"progress file text {updating}")
    step = tr.show(130)["controls"].get("1011", "")
    check(step.isascii(), f"progress step text {step!r}")
    expect_message(tr, 134, BRAND_M105)
    for f in rows:
        s.expect(f, "new")
    s.mark_removed()
    s.check_clean_up(done=True)
    s.check_files()
    s.check_temp_empty()


@scenario("maker-write-fails", package="brand")
def maker_write_fails(s):
    """Another maker's English program: the second font does not fit the
    temporary folder: message 122 in English, no clean-up."""
    fonts = s.main_fonts()
    brand_downloads(s)
    s.temp_limit = 2 * 1024 * 1024
    tr = s.run(BRAND_SCRIPT + TO_LIST + ["press 1", "wait 130 30000", "wait 131 120000", "shot en/131-end",
                                         "press 1", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 131])
    expect_brand_dialogs(tr)
    expect_message(tr, 131, BRAND_M122.format(fonts[1]))
    s.expect(fonts[0], "new")
    s.check_clean_up(done=False)
    s.check_files()


@scenario("maker-no-candidates", package="brand")
def maker_no_candidates(s):
    """Another maker's English program finds only near misses: message 107
    in English, nothing deleted."""
    s.decoys()
    brand_downloads(s)
    tr = s.run(BRAND_SCRIPT + START + ["key enter", "wait 133 120000", "shot en/133-ok-message", "press 1",
                                       "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 133])
    expect_brand_dialogs(tr)
    expect_message(tr, 133, BRAND_M107)
    s.check_clean_up(done=False)
    s.check_files()


@scenario("maker-font-in-use", package="brand")
def maker_font_in_use(s):
    """Another maker's English program with the first font held open: message
    105 and the line on the font that waits for the restart, in English."""
    fonts = s.main_fonts()
    brand_downloads(s)
    tr = s.run(["hold " + fonts[0]] + BRAND_SCRIPT + TO_LIST +
               ["press 1", "wait 130 30000", "wait 134 120000", "shot en/134-normal-end-in-use", "press 2",
                "exit 30000"])
    s.check_ended()
    expect_brand_dialogs(tr)
    expect_message(tr, 134, BRAND_M105 + "\r\n\r\n" + BRAND_M125.format(1))
    for f in fonts[1:]:
        s.expect(f, "new")
    s.mark_removed()
    s.check_clean_up(done=True)
    s.check_files()


# --- links, and a user who attacks the administrator's program ---------------
# No Windows program can make a folder link under Wine 8 (CreateSymbolicLinkW
# returns success and makes nothing, FSCTL_SET_REPARSE_POINT is refused), but
# a Unix link to a folder inside a drive is one to Windows programs: its
# listing entry and GetFileAttributes carry FILE_ATTRIBUTE_REPARSE_POINT. The
# harness makes those links.
def folder_link(path, target):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.symlink_to(target, target_is_directory=True)


@scenario("walk-links")
def walk_links(s):
    """Links in the walk, none followed: a folder link to its own folder
    beside a font, one to a folder of fonts deeper than the walk reaches, one
    to the other drive, and the download folder "add" linking to a folder of
    the administrator's; a font with two names (hard links). The list holds
    the font and the other drive's font where they lie, once each; the deep
    and the hard-linked fonts stay as they were; after the success the user's
    own download is deleted, the administrator's file of a download name
    stays."""
    gothic = s.put_font("d", "Fonts", GOTHIC, expected="new")
    folder_link(s.d / "Fonts" / "again", ".")
    mincho = s.corpus.bytes(MINCHO[1], "old")
    s.put("d", f"System/Deep/1/2/3/4/5/6/{MINCHO[0]}", mincho, {"same": mincho})
    folder_link(s.d / "deep", s.d / "System/Deep/1/2/3/4/5/6")
    other = s.put_font("e", "Library", MINCHO, expected="new")
    folder_link(s.d / "other", s.use_e())
    six = s.corpus.bytes(GOTHIC6[1], "old")
    first = s.put("d", f"Hard/{GOTHIC6[0]}", six, {"same": six})
    second = s.d / "Hard2" / GOTHIC6[0]
    second.parent.mkdir()
    os.link(first, second)
    s.files[second] = ["same", {"same": digest(six)}]
    data = b"downloaded font data\r\n"
    s.removed = [s.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10002", data, {"same": data})]
    s.put("d", "System/keep/10001", data, {"same": data})
    folder_link(s.d / "Users/Public/Pennrook/Fonts/Download/add", s.d / "System/keep")
    tr = s.run(TO_LIST + ["press 1", "wait 130 30000", "wait 134 120000", "press 2", "exit 30000"])
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 134])
    expect_rows(tr, [gothic, other])
    expect_message(tr, 134, M105)
    s.check_clean_up(done=True)
    s.mark_removed()
    s.check_files()
    s.check_temp_empty()


@scenario("attack-folder-swap")
def attack_folder_swap(s):
    """A user's fonts folder, while the update of its font waits at the stop
    question (answered "いいえ" afterwards): a program of the user's cannot
    rename it, the updater holding it; put in its place (which Wine lets no
    Windows program prevent) is a Unix link to a folder of the
    administrator's, where another name of the very font file has been made:
    the update ends with message 114, having changed nothing there (neither
    that name nor the administrator's file of the staged name) nor the user's
    font. No copy and no temporary file is left."""
    home = "Users/user/Fonts"
    font = s.put_font("d", home, GOTHIC, expected="old")
    admin = s.d / "System/1/2/3/4/5/6/Fonts"  # deeper than the walk reaches
    own = b"the administrator's own file\r\n"
    s.put("d", f"{admin.relative_to(s.d)}/{GOTHIC[0][:-len('.otf')]}.otu-staged", own, {"same": own})
    fonts, held = s.d / home, s.d / (home + ".held")

    def swap():
        fonts.rename(held)
        os.link(held / GOTHIC[0], admin / GOTHIC[0])
        old = s.corpus.bytes(GOTHIC[1], "old")
        s.files[admin / GOTHIC[0]] = ["same", {"same": digest(old)}]
        folder_link(fonts, admin)

    s.asks["swap"] = swap
    folder = windows_path("D", home)
    try:
        tr = s.run(TO_LIST + ["press 1", "wait 130 30000", "press 1006", "wait 132 60000", "texts 130",
                              f"move {folder} {folder}.moved", "ask swap 30000", "press 2", "wait 131|134 120000",
                              "press 1", "exit 30000"])
    finally:
        if fonts.is_symlink():
            fonts.unlink()
            held.rename(fonts)
    s.check_ended()
    expect_sequence(tr, [129, 170, 102, 130, 132, 131])
    expect_rows(tr, [font])
    progress = tr.of("texts")[0]["controls"]
    check(progress["1012"] == FILE_TEXT.format(font) and progress["1010"] != "100%",
          f"the question did not come while the font was revised: {progress}")
    moves = tr.of("move")
    check(len(moves) == 1 and not moves[0]["ok"] and moves[0]["error"] == 32,
          f"the user's program could rename the folder held: {moves}")
    expect_message(tr, 131, M114.format(font))
    s.check_files()
    check((admin / GOTHIC[0]).stat().st_ino == (fonts / GOTHIC[0]).stat().st_ino,
          "the administrator's name of the font names another file")
    copies = [str(path) for path in s.root.rglob("*.otu-copy")]
    check(not copies, f"copies left: {copies}")
    s.check_temp_empty()


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--build", required=True, type=pathlib.Path)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    parser.add_argument("--makers-corpus", type=pathlib.Path, default=ROOT / "build" / "corpus-makers")
    parser.add_argument("--only", nargs="*", default=None)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--shots", type=pathlib.Path)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    if args.list:
        for name, (function, _) in SCENARIOS.items():
            print(f"{name:20} {' '.join((function.__doc__ or '').split())}")
        return 0
    names = args.only if args.only else list(SCENARIOS)
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        print(f"unknown scenarios: {unknown}; see --list", file=sys.stderr)
        return 2
    build = args.build.resolve()
    for needed in [build / "bin" / "ui_driver.exe"] + [build / "bin" / "scenarios" / p / "OpenTypeUpdater.exe"
                                                        for p in {SCENARIOS[n][1] for n in names}]:
        if not needed.exists():
            print(f"missing {needed}: build with -DOTU_SCENARIO_PACKAGES", file=sys.stderr)
            return 2
    for pair in ("small", "glyphs-added", "name-head"):
        for side in ("old", "new"):
            if not (args.corpus / pair / f"{side}.otf").exists():
                print(f"missing {args.corpus / pair / side}.otf: make the corpus with scripts/corpus", file=sys.stderr)
                return 2
    # Wine takes code page 932 from the locale only when it is generated.
    locales = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE, text=True).stdout.split()
    if not any(name.lower() in ("ja_jp.utf8", "ja_jp.utf-8") for name in locales):
        print("the locale ja_JP.UTF-8 is not generated (scripts/lib.sh need_japanese_locale)", file=sys.stderr)
        return 2
    if not runs_i386_programs() and is_i386_program(build / "bin" / "ui_driver.exe"):
        # CTest counts status 77 as a test skipped.
        print("skipped: this machine runs no i386 programs, so Wine cannot start this build's", file=sys.stderr)
        return 77
    # ctest ends a test that overruns with SIGTERM: still stop Xvfb and Wine.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    corpus = Corpus(args.corpus.resolve())
    bed = Bed(build, args.shots.resolve() if args.shots else None)
    bed.makers_corpus = args.makers_corpus.resolve()
    lock = open(build / "ui-wine.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    failed = []
    began = time.monotonic()
    try:
        bed.start_x()
        bed.ensure_prefix()
        for name in names:
            function, package = SCENARIOS[name]
            s = Scenario(bed, corpus, name, package)
            try:
                function(s)
                expect_font_change(s.transcript)
                print(f"PASS {name} ({s.run_seconds:.1f} s)", flush=True)
                if not args.keep:
                    shutil.rmtree(s.root, ignore_errors=True)
            except (Failure, subprocess.SubprocessError, OSError) as error:
                failed.append(name)
                print(f"FAIL {name}: {error}", flush=True)
                if s.transcript is not None:
                    print("  transcript:\n    " + s.transcript.dump().replace("\n", "\n    "), flush=True)
                print(f"  sandbox kept: {s.root}", flush=True)
    finally:
        bed.kill_server()
        bed.map_drives({})
        bed.stop_x()
    print(f"{len(names) - len(failed)} of {len(names)} scenarios passed in {time.monotonic() - began:.0f} s"
          + (f"; failed: {' '.join(failed)}" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
