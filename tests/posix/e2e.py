#!/usr/bin/env python3
"""e2e.py --build BUILD [--corpus DIR] [--only NAME ...] [--list] [--screens DIR] [--keep] [--work DIR]

opentype-updater end to end: every scenario starts the real program (one per
scenario package, BUILD/bin/scenarios/<package>/opentype-updater) on a
throw-away machine, drives its dialogs like a user and then checks what the
dialogs said and what happened to the files.

The machine: fresh PID, mount and network namespaces (unshare -m -p -f -n
--mount-proc) whose init is sandbox.sh; it pivots into a tmpfs root with
read-only /usr and /etc, its own /dev, /proc, /tmp, /run and
/var/cache/fontconfig (with fake caches), and the scenario's drives: ext4
images made here with mkfs.ext4 -d and loop-mounted as /media/d, /media/e
(and /media/r read-only). The program's restart request ends only that
namespace. Afterwards the images are read with debugfs, never mounted here.

Inside, this same file runs as the driver (--inside NAME): through tmux on a
pseudo-terminal (send-keys, capture-pane) or through pipes (one answer per
prompt, Ctrl-C as SIGINT). It writes its observations to a transcript that
the outer half reads.

--only NAME runs the scenarios named (see --list); --screens DIR writes the
captured terminal screens (main-list.txt, progress.txt) into DIR; --keep keeps
the sandbox folders of passed scenarios (failed ones are always kept).
Needs root (namespaces, loop devices); exits 77 without it.
"""
import argparse
import fcntl
import hashlib
import json
import os
import pathlib
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unicodedata

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]

# The texts the dialogs must show ("\r\n" as the string table stores it).
M102 = ("フォントの改訂を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
        "中止しない場合は、”いいえ”ボタンを押してください。")
M105 = ("改訂が正常に終了しました。\r\n\r\n改訂したフォントを有効にする為に、システムを再起動します。\r\n"
        "再起動する場合は、”再起動”を押してください。")
M106 = "フォントの改訂を中止しました。"
M107 = "該当するフォントがありませんでした。\r\n\r\n改訂プログラムを終了します。"
M111 = ("現在、ログオンしているユーザの権限では、改訂できません。\r\n"
        "Administrator権限のあるユーザで、ログオンしなおしてください。")
M116 = ("改訂対象フォントの検索を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
        "中止しない場合は、”いいえ”ボタンを押してください。")
M122 = "改訂後のフォントファイル({})の作成に失敗しました。"
M114 = "改訂元ファイル({})の読み込みに失敗しました。"
M121 = "テンポラリフォルダからフォント({})の再構築に失敗しました。"
START_TOP = "タブレロンのOpenTypeフォント製品に対する改訂プログラムです。"
START_TEXT = ("タブレロンフォント製品をご利用のお客様は、下記3フォントが改訂対象です。\n\n"
              "\u3000\u3000・SampleMincho ProN R\n\u3000\u3000・SampleGothic ProN M\n"
              "\u3000\u3000・SampleGothic Pr6N M")
MAKERS_START_TEXT = ("タブレロンフォント製品をご利用のお客様は、下記4フォントが改訂対象です。\n\n"
                     "\u3000\u3000・Example Sans JP Semi Condensed Bold\n"
                     "\u3000\u3000・Example Sans JP Semi Condensed Regular\n"
                     "\u3000\u3000・Example Serif Text Semi Condensed Bold\n"
                     "\u3000\u3000・Example Serif Text Semi Condensed Regular")
LIST_TEXT = "検索した結果、下記のフォントが改訂の対象となります。\n\n\n改訂を実行する場合は、”実行”を押してください。"
FILE_TEXT = "{}の改訂をしています。"
DRIVE_TEXT = "{}ドライブを検索しました。"
FOLDER_TEXT = "{}を検索しています。"
# The progress points of one font: current percent and step text ({} = the
# file's base name).
STEPS = [(10, "{}のファイルをオープンしています。"), (20, "{}のファイルを読み込んでいます。"),
         (30, "タグデータを読み込みました。"), (40, "{}のファイルをオープンしています。"),
         (55, "{}のファイルを読み込んでいます。"), (65, "{}のファイルにシリアルナンバーを書き込んでいます。"),
         (75, "{}のファイルにチェックサムを再計算しています。"), (90, "{}のファイルを作成しています。"),
         (100, "テンポラリフォルダからファイルをコピーしています。")]

MAIN_CAPTION = "TAVRELONフォント 改訂プログラム"
ASK_CAPTION = "確　認"
PROGRESS_CAPTION = "フォントを改訂中"
WAIT_CAPTION = "検索中"
START_BUTTONS = ["次へ", "中　止"]
LIST_BUTTONS = ["実行", "中止"]
QUESTION_BUTTONS = ["はい", "いいえ"]
OK_BUTTONS = ["はい"]
RESTART_BUTTONS = ["再起動", "キャンセル"]

# The three targets of the main package: installed file name and corpus pair.
MINCHO = ("SampleMinchoProN-R.otf", "small")
GOTHIC = ("SampleGothicProN-M.otf", "glyphs-added")
GOTHIC6 = ("SampleGothicPr6N-M.otf", "name-head")
PACKAGE_FILES = {MINCHO: "SampleMinchoProN-R.pa", GOTHIC: "SampleGothicProN-M.pa", GOTHIC6: "SampleGothicPr6N-M.pa"}
# Where they are installed, in the order the walk meets them (a folder's
# entries sorted by their bytes); the last lies six folder names below the
# drive root, the deepest the search still reaches.
MAIN_TARGETS = [("d", "ソフト", MINCHO), ("d", "ソフト/表示", GOTHIC), ("d", "フォント/表示/1/2/3/4", GOTHIC6)]
TWO_DRIVE_TARGETS = MAIN_TARGETS[:2] + [("e", "フォント/表示/1/2/3/4", GOTHIC6)]

MOUNTS = {"d": "/media/d", "e": "/media/e", "r": "/media/r"}
PROGRAM = "/opt/otu/opentype-updater"
REPORT = pathlib.Path("/report")
FONT_CACHES = pathlib.Path("/var/cache/fontconfig")
FAKE_CACHES = ["0d8a3ab3b0a2e4d0e8b1f5f6ad3ae9c1-le64.cache-9", "7e1f2f7bd22d8e8c44a6a5a2e3c1b0d9-le64.cache-7"]
CACHE_TAG = "CACHEDIR.TAG"

HANG_GUARD_S = 120   # a sandbox that has not ended by then is stuck
STEP_GUARD_S = 60    # nor does any single step of a driver take this long
TTY_SIZE = (100, 40)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def digest(data):
    return hashlib.sha256(data).hexdigest()


def inside_path(letter, relative):
    return f"{MOUNTS[letter]}/{relative}"


def overall_percent(index, count, point):
    """The overall percent of a progress point: integer steps up to 75, then
    single-precision quotients whose sum is truncated."""
    if point <= 75:
        return index * 100 // count + point // count
    single = lambda value: struct.unpack("f", struct.pack("f", value))[0]
    return int(single(index * 100 / count) + single(point / count))


# --- what a dialog shows ------------------------------------------------------
def columns(text):
    """Terminal columns of a text: two for wide and full-width characters,
    none for combining marks, one for the rest (ambiguous ones included)."""
    return sum(0 if unicodedata.combining(c) else 2 if unicodedata.east_asian_width(c) in "WF" else 1
               for c in text)


class Box:
    """One dialog box as drawn: caption, close box, content lines (padding
    dropped) and its buttons with the focus."""

    BUTTON = re.compile(r"(<|\[) (.+?) (>|\])")

    def __init__(self, lines):
        check(len(lines) >= 3 and lines[0].startswith("┌") and lines[-1].startswith("└"),
              f"not a box: {lines}")
        top = re.match(r"^┌─ (.*?) ─*(\[×\])?┐$", lines[0])
        check(top is not None, f"box top line {lines[0]!r}")
        self.caption = top.group(1)
        widths = {columns(line) for line in lines}
        check(len(widths) == 1, f"box lines of different widths {sorted(widths)}:\n" + "\n".join(lines))
        self.close_box = top.group(2) is not None
        self.lines = lines
        interior = []
        for line in lines[1:-1]:
            check(line.startswith("│ ") and line.endswith(" │"), f"box line {line!r} in {self.caption}")
            interior.append(line[2:-2].rstrip(" "))
        self.buttons = []
        if interior and re.fullmatch(r"\s*((<|\[) .+? (>|\])\s*)+", interior[-1]):
            self.buttons = [(label, opening == "<") for opening, label, _ in self.BUTTON.findall(interior[-1])]
            interior = interior[:-1]
        self.content = interior

    def labels(self):
        return [label for label, _ in self.buttons]

    def focus(self):
        focused = [label for label, on in self.buttons if on]
        return focused[0] if len(focused) == 1 else None

    def is_dialog(self, caption, labels):
        return self.caption == caption and self.labels() == labels

    def shows(self, text):
        """Whether the content holds `text` line by line, each line possibly
        wrapped into pieces."""
        want = text.replace("\r\n", "\n").split("\n")
        for start in range(len(self.content)):
            at = start
            ok = True
            for line in want:
                if at >= len(self.content):
                    ok = False
                    break
                got = self.content[at]
                at += 1
                while got != line and len(got) < len(line) and line.startswith(got) and at < len(self.content):
                    got += self.content[at]
                    at += 1
                if got != line:
                    ok = False
                    break
            if ok:
                return True
        return False

    def expect(self, caption, labels, text=None, close_box=None):
        check(self.is_dialog(caption, labels),
              f"expected [{caption}] {labels}, got [{self.caption}] {self.labels()}:\n" + "\n".join(self.lines))
        if text is not None:
            check(self.shows(text), f"[{caption}] does not show {text!r}:\n" + "\n".join(self.lines))
        if close_box is not None:
            check(self.close_box == close_box, f"[{caption}] close box {self.close_box}, expected {close_box}")
        return self

    def record(self):
        return {"caption": self.caption, "buttons": self.buttons, "content": self.content}


def boxes_of(lines):
    boxes = []
    current = None
    for line in lines:
        if line.startswith("┌"):
            current = [line]
        elif current is not None:
            current.append(line)
            if line.startswith("└"):
                boxes.append(Box(current))
                current = None
    return boxes


def progress_state(box):
    """File text and current percent of a progress window's box."""
    file_lines = []
    for line in box.content:
        if not line:
            if file_lines:
                break
            continue
        file_lines.append(line)
    percents = [int(m.group(1)) for m in (re.search(r"\] +(\d+)%$", line) for line in box.content) if m]
    check(len(percents) == 2, f"progress bars in {box.content}")
    return "".join(file_lines), percents[1]


# --- the inside: guards, transcript, the program through pipes or tmux --------
def assert_sandboxed():
    """Nothing starts the program but from inside the sandbox's namespaces."""
    outer = os.environ.get("OTU_OUTER_PIDNS", "")
    check(outer != "" and os.readlink("/proc/self/ns/pid") != outer, "not inside a PID namespace of our own")
    init = pathlib.Path("/proc/1/cmdline").read_bytes().split(b"\0")
    check(any(part.endswith(b"sandbox.sh") for part in init), f"PID 1 is not the sandbox's init: {init}")
    check(pathlib.Path("/opt/otu/harness").is_dir() and REPORT.is_dir(), "not in the sandbox's root")


class Transcript:
    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8")

    def __call__(self, ev, **fields):
        fields["ev"] = ev
        self.file.write(json.dumps(fields, ensure_ascii=False) + "\n")
        self.file.flush()
        os.fsync(self.file.fileno())


class PipeProgram:
    """The program with standard input and output on pipes: each modal
    dialog printed once and answered by a line; kept windows as status lines."""

    def __init__(self, log, argv=(PROGRAM,), user=None, pipe_size=None, name="program"):
        assert_sandboxed()
        self.log = log
        self.name = name
        argv = list(argv)
        if user is not None:
            argv = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups"] + argv
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if pipe_size is not None:
            fcntl.fcntl(self.proc.stdout.fileno(), 1031, pipe_size)  # F_SETPIPE_SZ
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.raw = b""
        self.eof = False
        self.state = "idle"
        self.box = []
        self.hint = None
        self.shown = {}         # hint line -> the box last printed with it
        self.answered = None
        self.statuses = []      # status lines since the last dialog
        self.all_statuses = []
        self.dialogs = []
        log("start", program=self.name, mode="pipe", argv=argv)

    def _pump(self, timeout):
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not ready:
            return
        chunk = os.read(self.proc.stdout.fileno(), 65536)
        if not chunk:
            self.eof = True
            return
        self.raw += chunk

    def _lines(self):
        """Complete lines read so far, one at a time."""
        while b"\n" in self.raw:
            line, self.raw = self.raw.split(b"\n", 1)
            try:
                yield line.decode("utf-8")
            except UnicodeDecodeError:
                raise Failure(f"{self.name} wrote no UTF-8: {line!r}")

    def _feed(self, line):
        """Returns a status line, or None."""
        if line.startswith("> "):
            rest = line[2:]
            if self.state == "answered":
                check(rest == self.answered, f"echo {rest!r} of the answer {self.answered!r}")
                self.state = "idle"
                return None
            # A prompt answered by the end of input runs into the next box.
            check(rest.startswith("┌"), f"unexpected line {line!r}")
            line = rest
        if self.state == "box":
            self.box.append(line)
            if line.startswith("└"):
                self.state = "after-box"
            return None
        if line.startswith("┌"):
            self.state = "box"
            self.box = [line]
            return None
        if self.state == "after-box":
            check(line.startswith("[") and "] 1 = " in line, f"no answer hint after a box: {line!r}")
            self.hint = line
            self.shown[line] = self.box
            self.state = "prompt"
            return None
        if self.state == "idle" and line in self.shown:
            # A dialog that stays open after the question it asked asks
            # again, with its hint alone.
            self.hint = line
            self.box = self.shown[line]
            self.state = "prompt"
            return None
        check(self.state == "idle", f"line {line!r} while {self.state}")
        self.statuses.append(line)
        self.all_statuses.append(line)
        return line

    def _step(self, deadline, what):
        if self.eof:
            raise Failure(f"{self.name} ended ({self.proc.wait()}) while waiting for {what}; "
                          f"stderr {self.proc.stderr.read().decode(errors='replace')!r}")
        if time.monotonic() > deadline:
            raise Failure(f"{self.name}: no {what} in {STEP_GUARD_S} s; last statuses {self.statuses[-5:]}")
        self._pump(0.2)

    def wait_status(self, predicate, what):
        deadline = time.monotonic() + STEP_GUARD_S
        while True:
            for line in self._lines():
                status = self._feed(line)
                if status is not None and predicate(status):
                    self.log("status", program=self.name, text=status)
                    return status
            self._step(deadline, what)

    def next_dialog(self):
        """The next dialog that waits for its answer, as a Box (its status
        lines before it in .statuses)."""
        deadline = time.monotonic() + STEP_GUARD_S
        while True:
            for line in self._lines():
                self._feed(line)
            if self.state == "prompt" and self.raw == b"> ":
                box = Box(self.box)
                box.hint = self.hint
                box.statuses = self.statuses
                self.statuses = []
                self.dialogs.append(box)
                self.log("dialog", program=self.name, mode="pipe", hint=self.hint, statuses=box.statuses,
                         **box.record())
                return box
            self._step(deadline, "dialog")

    def answer(self, text):
        check(self.state == "prompt", f"answer {text!r} without a prompt")
        self.state = "answered"
        self.answered = text
        self.log("answer", program=self.name, text=text)
        self.proc.stdin.write((text + "\n").encode("utf-8"))
        self.proc.stdin.flush()

    def interrupt(self):
        self.log("interrupt", program=self.name)
        # At a prompt Ctrl-C is the answer: the dialog shown is done with.
        if self.state == "prompt":
            self.state = "interrupted"
        os.kill(self.proc.pid, signal.SIGINT)

    def expect_exit(self):
        """Closes the input and reads to the end: no further dialog may come.
        Returns the exit status."""
        self.proc.stdin.close()
        deadline = time.monotonic() + STEP_GUARD_S
        while not self.eof:
            for line in self._lines():
                self._feed(line)
            check(self.state in ("idle", "answered"), f"{self.name} showed another dialog:\n" + "\n".join(self.box))
            check(time.monotonic() < deadline, f"{self.name} did not end")
            self._pump(0.2)
        for line in self._lines():
            self._feed(line)
        check(self.raw == b"", f"{self.name} left an unfinished line {self.raw!r}")
        code = self.proc.wait()
        errors = self.proc.stderr.read().decode(errors="replace")
        self.log("exit", program=self.name, code=code, stderr=errors, statuses=self.statuses)
        check(errors == "", f"{self.name} wrote to standard error: {errors!r}")
        return code


class TmuxProgram:
    """The program on a pseudo-terminal: a tmux session of its own inside the
    sandbox; keys through send-keys, the screen through capture-pane."""

    def __init__(self, log, argv=(PROGRAM,), size=TTY_SIZE, keep_pane=False):
        assert_sandboxed()
        self.log = log
        self.env = dict(os.environ, TMUX_TMPDIR="/run")
        self.exit_file = pathlib.Path("/run/otu-exit")
        conf = pathlib.Path("/run/tmux.conf")
        # A kept pane shows what the program left on the terminal after it.
        conf.write_text("set -g status off\n" + ("set -g remain-on-exit on\n" if keep_pane else ""))
        pane = pathlib.Path("/run/otu-pane.sh")
        # Ctrl-C reaches the whole foreground group, this shell included: it
        # must outlive the signal to tell how the program ended.
        pane.write_text('trap : INT\n"$@"\necho $? >/run/otu-exit.new && mv /run/otu-exit.new /run/otu-exit\n')
        self.tmux("-f", str(conf), "new-session", "-d", "-s", "otu", "-x", str(size[0]), "-y", str(size[1]),
                  "sh", str(pane), *argv)
        log("start", program="program", mode="tty", argv=list(argv))

    def tmux(self, *arguments):
        result = subprocess.run(["tmux", "-u", *arguments], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=STEP_GUARD_S)
        check(result.returncode == 0, f"tmux {arguments[0]}: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode("utf-8")

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "otu").split("\n")

    def keys(self, *keys):
        self.log("keys", keys=list(keys))
        self.tmux("send-keys", "-t", "otu", *keys)

    def wait(self, predicate, what):
        """The boxes on screen once predicate(boxes) holds. A frame reaches
        tmux in pieces, so a screen counts only when two captures in a row
        agree and every box on it is whole."""
        deadline = time.monotonic() + STEP_GUARD_S
        previous = None
        while True:
            check(not self.exit_file.exists(), f"the program ended ({self.exit_code()}) waiting for {what}")
            lines = self.screen()
            if lines == previous:
                try:
                    boxes = boxes_of(lines)
                    wanted = predicate(boxes)
                except Failure as error:
                    boxes, wanted = None, False
                    problem = str(error)
                else:
                    problem = None
                if wanted:
                    self.lines = lines
                    self.log("screen", what=what, lines=lines)
                    return boxes
            else:
                problem = None
            check(time.monotonic() < deadline, f"no {what} on screen" + (f" ({problem})" if problem else "") +
                  ":\n" + "\n".join(lines))
            previous = lines
            time.sleep(0.03)

    def wait_dialog(self, caption, labels, what):
        boxes = self.wait(lambda b: bool(b) and b[-1].is_dialog(caption, labels), what)
        return boxes[-1], boxes[:-1]

    def exit_code(self):
        return int(self.exit_file.read_text()) if self.exit_file.exists() else None

    def expect_exit(self):
        deadline = time.monotonic() + STEP_GUARD_S
        while not self.exit_file.exists():
            if time.monotonic() > deadline:
                raise Failure("the program did not end:\n" + "\n".join(self.screen()))
            time.sleep(0.05)
        code = self.exit_code()
        self.log("exit", program="program", code=code)
        return code


class Inside:
    """What a scenario's driver has inside the sandbox."""

    def __init__(self):
        self.layout = json.loads((REPORT / "layout.json").read_text(encoding="utf-8"))
        self.log = Transcript(REPORT / "transcript.jsonl")
        self.fonts = self.layout["fonts"]

    def pipe(self, **options):
        return PipeProgram(self.log, **options)

    def tty(self, **options):
        return TmuxProgram(self.log, **options)

    def caches(self):
        names = sorted(os.listdir(FONT_CACHES))
        self.log("caches", names=names)
        return names

    def temporary_files(self):
        names = sorted(os.listdir("/tmp"))
        self.log("tmp", names=names)
        return names

    def save_screen(self, name, lines):
        while lines and not lines[-1].strip():
            lines = lines[:-1]
        folder = REPORT / "screens"
        folder.mkdir(exist_ok=True)
        (folder / f"{name}.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")


# unlink and unlinkat: the first call of a replacement that writes to the drive.
UNLINK_CALLS = {"x86_64": {87, 263}, "aarch64": {35}, "i686": {10, 301}}.get(os.uname().machine, set())


class FrozenDrive:
    """A sandbox drive frozen with fsfreeze: reading goes on, but the first
    change to it waits, uninterruptibly, until thaw(). The program is then
    held between two progress reports for as long as a scenario needs,
    without any clock deciding where it stands."""

    def __init__(self, log, letter):
        self.log = log
        self.point = MOUNTS[letter]
        self.frozen = False

    def __enter__(self):
        run(["fsfreeze", "--freeze", self.point])
        self.frozen = True
        self.log("freeze", drive=self.point)
        return self

    def thaw(self):
        if self.frozen:
            self.frozen = False
            run(["fsfreeze", "--unfreeze", self.point])
            self.log("thaw", drive=self.point)

    def __exit__(self, *_):
        self.thaw()


def program_pid():
    """The one running program of the sandbox."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.readlink(f"/proc/{entry}/exe") == PROGRAM:
                    found.append(int(entry))
            except OSError:
                pass
    check(len(found) == 1, f"programs running: {found}")
    return found[0]


def wait_held_by_frozen_drive(pid, what):
    """Until the program sleeps uninterruptibly in the unlink with which a
    replacement starts: only the frozen drive can hold it there."""
    deadline = time.monotonic() + STEP_GUARD_S
    while True:
        try:
            state = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
            call = pathlib.Path(f"/proc/{pid}/syscall").read_text().split()[0]
        except (OSError, IndexError):
            raise Failure(f"the program ended while waiting for {what}")
        if state == "D" and call.isdigit() and (int(call) in UNLINK_CALLS or not UNLINK_CALLS):
            return
        check(time.monotonic() < deadline, f"the program never waited for the frozen drive ({what}): {state} {call}")
        time.sleep(0.02)


def wait_signal_pending(pid, number, what):
    """Until signal `number` waits for delivery to the program (sent to its
    process group or to itself)."""
    deadline = time.monotonic() + STEP_GUARD_S
    while True:
        masks = [int(line.split()[1], 16) for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines()
                 if line.startswith(("SigPnd:", "ShdPnd:"))]
        if any(mask >> (number - 1) & 1 for mask in masks):
            return
        check(time.monotonic() < deadline, f"signal {number} never reached the program ({what})")
        time.sleep(0.02)


def expect_caches_cleaned(inside):
    names = inside.caches()
    check(CACHE_TAG in names and not [n for n in names if ".cache-" in n],
          f"after a full success the fontconfig caches should be gone: {names}")


def expect_caches_kept(inside, broadcast):
    """The fake caches stay; the font-change broadcast (fc-cache -f) adds the
    cache of fontconfig's own font folder, and only a run of the updates makes it."""
    names = inside.caches()
    check(all(n in names for n in FAKE_CACHES + [CACHE_TAG]), f"fontconfig caches deleted: {names}")
    made = [n for n in names if ".cache-" in n and n not in FAKE_CACHES]
    check(bool(made) == broadcast, f"fontconfig caches {names}: broadcast {'missing' if broadcast else 'unasked'}")


def expect_no_temporary_files(inside):
    left = inside.temporary_files()
    check(not left, f"temporary files left behind: {left}")


def expect_start(box, text=START_TEXT):
    box.expect(MAIN_CAPTION, START_BUTTONS, START_TOP, close_box=False)
    check(box.shows(text), "start text missing:\n" + "\n".join(box.lines))
    check(box.focus() == "次へ", f"focus in the start dialog: {box.buttons}")


def expect_list(box, fonts):
    box.expect(MAIN_CAPTION, LIST_BUTTONS, LIST_TEXT, close_box=True)
    heading = box.content.index("フォント名") if "フォント名" in box.content else -1
    check(heading >= 0 and set(box.content[heading + 1]) == {"─"}, f"list heading: {box.content}")
    rows = [line for line in box.content[heading + 2:] if line]
    check(rows == fonts, f"main list {rows}, expected {fonts}")
    check(box.focus() == "実行", f"focus in the main list: {box.buttons}")


def expected_progress(fonts, caption=PROGRESS_CAPTION, file_text=FILE_TEXT, steps=STEPS):
    """Every state of the progress window over a full run, as status lines."""
    lines = [caption]
    for index, font in enumerate(fonts):
        base = font.rsplit("/", 1)[1].rsplit(".", 1)[0]
        for point, step in steps:
            lines.append(" | ".join([caption, file_text.format(font),
                                     f"{overall_percent(index, len(fonts), point)}%", step.format(base), f"{point}%"]))
    return lines


# --- the outside: one scenario's machine ----------------------------------------
class Corpus:
    def __init__(self, folder):
        self.folder = folder
        self.cache = {}

    def bytes(self, pair, side):
        key = (pair, side)
        if key not in self.cache:
            self.cache[key] = (self.folder / pair / f"{side}.otf").read_bytes()
        return self.cache[key]


class Bed:
    """A scenario's drives, its sandbox run and what is on the drives after."""

    def __init__(self, harness, name, package):
        self.harness = harness
        self.corpus = harness.corpus
        self.name = name
        self.package = package
        # A scenario without a package of its own runs the program given.
        self.program = harness.program if package is None else \
            harness.build / "bin" / "scenarios" / package / "opentype-updater"
        self.root = harness.work / name
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        (self.root / "report").mkdir()
        (self.root / "newroot").mkdir()
        self.drives = {}            # letter -> read_only
        self.files = {}             # (letter, relative) -> [expected state, {state: digest}]
        self.layout = {"fonts": []}
        self.tmp_size = None
        self.home_fonts = None      # root's own fonts folder, when the scenario has one
        self.hang_guard_s = HANG_GUARD_S
        self.rc = None
        self.transcript = []
        self.seconds = 0.0

    # layout
    def folder(self, letter):
        return self.root / "drives" / letter

    def use(self, letter, read_only=False):
        if letter not in self.drives:
            self.drives[letter] = read_only
            self.folder(letter).mkdir(parents=True)

    def put(self, letter, relative, data, states=None, expected="same", read_only=False):
        self.use(letter)
        path = self.folder(letter) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        if read_only:
            path.chmod(0o444)
        states = states or {"same": data}
        self.files[(letter, relative)] = [expected, {k: digest(v) for k, v in states.items()}]
        return inside_path(letter, relative)

    def put_font(self, letter, folder, target, expected="old"):
        file_name, pair = target
        old, new = self.corpus.bytes(pair, "old"), self.corpus.bytes(pair, "new")
        return self.put(letter, f"{folder}/{file_name}", old, {"old": old, "new": new}, expected)

    def main_fonts(self, targets=MAIN_TARGETS):
        self.layout["fonts"] = [self.put_font(letter, folder, target) for letter, folder, target in targets]
        return self.layout["fonts"]

    def expect(self, font, state):
        for (letter, relative), record in self.files.items():
            if inside_path(letter, relative) == font:
                record[0] = state
                return
        raise Failure(f"no such placed file {font}")

    def expect_fonts_revised(self):
        for font in self.layout["fonts"]:
            self.expect(font, "new")

    def decoys(self):
        """Files that look like targets but must not become candidates, each
        for one rule of the search and the matching; all stay as they are."""
        old = self.corpus.bytes("small", "old")
        self.put("d", "ソフト/読取専用/SampleMinchoProN-R.otf", old, read_only=True)
        self.put("d", "大文字/SampleMinchoProN-R.OTF", old)
        self.put("d", "大文字/SampleMinchoProN-R.otf.bak", old)
        self.put("d", "別名/OtherMincho-R.otf", old)
        self.put("d", "改訂済/SampleGothicPr6N-M.otf", self.corpus.bytes("name-head", "new"))
        self.put("d", "深い/1/2/3/4/5/6/SampleMinchoProN-R.otf", old)

    def read_only_drive(self):
        """A read-only file system: listed as a drive, never searched."""
        self.use("r", read_only=True)
        self.put("r", "ソフト/SampleMinchoProN-R.otf", self.corpus.bytes("small", "old"))

    def download_files(self):
        """The maker's downloaded files (deleted after a full success) and
        near misses (never deleted)."""
        data = b"downloaded font data\n"
        self.removed = [("d", "ProgramData/Tavrelon/Fonts/Download/add/10001"),
                        ("d", "ProgramData/Tavrelon/Fonts/Download/add/10008"),
                        ("d", "Users/Public/Pennrook/Fonts/Download/add/10004")]
        for letter, relative in self.removed:
            self.put(letter, relative, data)
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10001.tmp", data)
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/add/10009", data)
        self.put("d", "ProgramData/Tavrelon/Fonts/Download/10003", data)

    def downloads_removed(self):
        for key in self.removed:
            self.files[key][0] = "gone"

    def slow_tree(self, letter, top, count=3000):
        """`count` empty folders, 60 a level, so that the walk lasts longer
        than a full output pipe lets it run on."""
        self.use(letter)
        base = self.folder(letter) / top
        for n in range(count):
            (base / f"{n // 60:04d}" / f"{n % 60:02d}").mkdir(parents=True, exist_ok=True)

    # the run
    def make_images(self):
        for letter in self.drives:
            folder = self.folder(letter)
            size = sum(p.stat().st_size for p in folder.rglob("*") if p.is_file())
            entries = sum(1 for _ in folder.rglob("*"))
            megabytes = max(16, int(size * 1.3 / 2**20) + 16)
            # No journal: debugfs replays none, so what the program wrote must
            # stand in place once the file system is unmounted.
            run(["mkfs.ext4", "-q", "-F", "-O", "^has_journal", "-N",
                 str(entries + 1024), "-L", f"otu-{letter}", "-d", str(folder), str(self.image(letter)),
                 f"{megabytes}M"])

    def image(self, letter):
        return self.root / f"{letter}.img"

    def sandbox(self, inner_command):
        """The command line and environment that run `inner_command` inside
        the scenario's throw-away machine."""
        (self.root / "report" / "layout.json").write_text(json.dumps(self.layout, ensure_ascii=False),
                                                          encoding="utf-8")
        env = dict(os.environ)
        env.update({
            "OTU_OUTER_PIDNS": os.readlink("/proc/self/ns/pid"),
            "OTU_OUTER_MNTNS": os.readlink("/proc/self/ns/mnt"),
            "OTU_SANDBOX_ROOT": str(self.root / "newroot"),
            "OTU_SANDBOX_PROGRAM": str(self.program),
            "OTU_SANDBOX_NAME": "opentype-updater",
            "OTU_SANDBOX_HARNESS": str(HERE),
            "OTU_SANDBOX_REPORT": str(self.root / "report"),
            "OTU_SANDBOX_FONT": str(self.harness.system_font),
            "OTU_SANDBOX_DRIVES": "\n".join(f"{self.image(letter)} {MOUNTS[letter]} {'ro' if ro else 'rw'}"
                                            for letter, ro in self.drives.items()),
        })
        if self.tmp_size is not None:
            env["OTU_SANDBOX_TMP_SIZE"] = self.tmp_size
        if self.home_fonts is not None:
            env["OTU_SANDBOX_HOME_FONTS"] = str(self.home_fonts)
        if self.harness.valgrind:
            env["OTU_SANDBOX_VALGRIND"] = "1"
        return ["unshare", "-m", "-p", "-f", "-n", "--mount-proc", str(HERE / "sandbox.sh")] + inner_command, env

    def run(self, inner_arguments):
        command, env = self.sandbox(["/usr/bin/python3", "/opt/otu/harness/e2e.py"] + inner_arguments)
        started = time.monotonic()
        with open(self.root / "sandbox.log", "wb") as log:
            process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT)
            try:
                self.rc = process.wait(self.hang_guard_s)
            except subprocess.TimeoutExpired:
                # The sandbox's init is unshare's only child: ending it ends
                # every process of the namespace.
                for child in children(process.pid):
                    os.kill(child, signal.SIGKILL)
                self.rc = process.wait(30)
                raise Failure(f"the sandbox did not end in {self.hang_guard_s} s")
            finally:
                self.seconds = time.monotonic() - started
                self.transcript = read_transcript(self.root / "report" / "transcript.jsonl")
        return self.rc

    def log_text(self):
        return (self.root / "sandbox.log").read_text(encoding="utf-8", errors="replace")

    # afterwards
    def read_drives(self):
        """Each writable drive's files, read from its image with debugfs once
        the namespace has let go of it (the loop device detaches then), in
        place of what an earlier read found."""
        deadline = time.monotonic() + 30
        shutil.rmtree(self.root / "after", ignore_errors=True)
        for letter in self.drives:
            while run(["losetup", "-j", str(self.image(letter))], capture=True).strip():
                check(time.monotonic() < deadline, f"{self.image(letter)} is still attached to a loop device")
                time.sleep(0.05)
            out = self.root / "after" / letter
            out.mkdir(parents=True)
            run(["debugfs", "-R", f"rdump / {out}", str(self.image(letter))], capture=True)

    def check_files(self):
        self.read_drives()
        for (letter, relative), (expected, states) in self.files.items():
            path = self.root / "after" / letter / relative
            where = inside_path(letter, relative)
            if expected == "gone":
                check(not path.exists(), f"{where} should have been deleted")
                continue
            check(path.is_file(), f"{where} is gone")
            actual = digest(path.read_bytes())
            check(actual == states[expected], f"{where} is not the {expected} revision: "
                  f"{[k for k, v in states.items() if v == actual] or 'other bytes'}")
        kept = {(l, r) for (l, r), (e, _) in self.files.items() if e != "gone"}
        for letter in self.drives:
            top = self.root / "after" / letter
            found = {(letter, str(p.relative_to(top))) for p in top.rglob("*")
                     if p.is_file() and "lost+found" not in p.parts}
            check(found <= kept, f"files nobody put on {MOUNTS[letter]}: {sorted(r for _, r in found - kept)}")

    def events(self, ev):
        return [e for e in self.transcript if e["ev"] == ev]

    def expect_driver_ok(self):
        fails = self.events("fail")
        check(not fails, f"driver: {fails[-1]['why'] if fails else ''}")
        check(self.events("end"), "the driver did not finish")
        check(self.rc == 0, f"the sandbox ended with {self.rc}:\n{self.log_text()[-3000:]}")


def children(pid):
    try:
        found = set()
        for task in pathlib.Path(f"/proc/{pid}/task").iterdir():
            found.update(int(c) for c in (task / "children").read_text().split())
        return sorted(found)
    except OSError:
        return []


def read_transcript(path):
    events = []
    if path.exists():
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            try:
                events.append(json.loads(line))
            except json.JSONDecodeError:
                pass
    return events


def run(command, capture=False):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if result.returncode != 0:
        raise Failure(f"{' '.join(command)}: {result.stdout.decode(errors='replace')[-2000:]}")
    return result.stdout.decode(errors="replace") if capture else None


# --- the scenarios -----------------------------------------------------------------
SCENARIOS = {}


def scenario(name, package="main"):
    """A scenario: layout(bed) outside, drive(inside) inside the sandbox,
    verify(bed) outside afterwards."""
    def register(cls):
        cls.name = name
        cls.package = package
        SCENARIOS[name] = cls
        return cls
    return register


class Scenario:
    def layout(self, bed):
        pass

    def drive(self, inside):
        raise NotImplementedError

    def verify(self, bed):
        bed.expect_driver_ok()
        bed.check_files()


def revise_through_pipes(inside):
    """Through pipes: the start, the list of the fonts, "実行", message 105
    and "キャンセル"; a normal end that leaves no temporary file."""
    p = inside.pipe()
    expect_start(p.next_dialog())
    p.answer("")
    expect_list(p.next_dialog(), inside.fonts)
    p.answer("1")
    p.next_dialog().expect(ASK_CAPTION, RESTART_BUTTONS, M105)
    p.answer("キャンセル")
    check(p.expect_exit() == 0, "exit status")
    expect_no_temporary_files(inside)


def revise_all_layout(bed):
    bed.main_fonts(TWO_DRIVE_TARGETS)
    bed.decoys()
    bed.download_files()
    bed.read_only_drive()


def revised(bed):
    bed.expect_fonts_revised()
    bed.downloads_removed()


@scenario("tty-restart")
class TtyRestart(Scenario):
    """On a terminal: start, search, the list of three fonts on two drives,
    the progress window, message 105 after the clean-up, "再起動": the restart
    request ends the sandbox's PID namespace (its init dies of SIGHUP) and
    nothing outside it; the fonts are the new revisions, the downloaded files
    and the fontconfig caches are gone."""

    def layout(self, bed):
        revise_all_layout(bed)

    def drive(self, inside):
        tty = inside.tty()
        start, _ = tty.wait_dialog(MAIN_CAPTION, START_BUTTONS, "start dialog")
        expect_start(start)
        tty.keys("Enter")
        listing, under = tty.wait_dialog(MAIN_CAPTION, LIST_BUTTONS, "main list")
        expect_list(listing, inside.fonts)
        check(not under, f"windows left over the main list: {[b.caption for b in under]}")
        inside.save_screen("main-list", tty.lines)
        tty.keys("Enter")
        # The window as it shows the second font.
        boxes = tty.wait(lambda b: len(b) == 1 and b[0].caption == PROGRESS_CAPTION and
                         progress_state(b[0])[0] == FILE_TEXT.format(inside.fonts[1]), "progress of the second font")
        check(boxes[0].labels() == ["中　止"] and not boxes[0].close_box, f"progress window {boxes[0].lines}")
        inside.save_screen("progress", tty.lines)
        end, under = tty.wait_dialog(ASK_CAPTION, RESTART_BUTTONS, "message 105")
        end.expect(ASK_CAPTION, RESTART_BUTTONS, M105, close_box=True)
        check(end.focus() == "再起動" and not under, f"message 105 on screen: {tty.lines}")
        expect_caches_cleaned(inside)
        inside.log("restart-requested")
        tty.keys("Enter")
        # From here on only the end of the namespace ends this driver.
        deadline = time.monotonic() + STEP_GUARD_S
        while time.monotonic() < deadline:
            check(not tty.exit_file.exists(), f"the program ended ({tty.exit_code()}) and the namespace lived on")
            time.sleep(0.05)
        raise Failure("the restart request did not end the namespace")

    def verify(self, bed):
        check(not bed.events("fail"), f"driver: {bed.events('fail')[-1]['why'] if bed.events('fail') else ''}")
        asked = [i for i, e in enumerate(bed.transcript) if e["ev"] == "restart-requested"]
        after = [e["ev"] for e in bed.transcript[asked[0] + 1:]] if asked else None
        check(after == ["keys"], f"the driver went on after 再起動: {bed.transcript[-3:]}")
        # unshare reports its child's death by SIGHUP as 128 + 1 (or dies of
        # the same signal itself).
        check(bed.rc in (128 + signal.SIGHUP, -signal.SIGHUP),
              f"the sandbox's init did not die of SIGHUP: {bed.rc}\n{bed.log_text()[-2000:]}")
        check(bed.harness.sentinel.poll() is None, "a process outside the sandbox died with it")
        revised(bed)
        bed.check_files()


# --- the restart through the init system ------------------------------------
FAKE_COMMANDS = pathlib.Path("/opt/otu/bin")    # the sandbox's first folder on PATH
CALLS = pathlib.Path("/run/otu-calls.jsonl")
SYSTEMD_MARK = pathlib.Path("/run/systemd/system")
COMMAND_ENVIRONMENT = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL": "C"}
REBOOT = ["reboot", "--check-inhibitors=yes"]
INHIBITED = ('Operation inhibited by "backup" (PID 42 "tar", user root), reason is "Backup in progress".\n'
             "Please retry operation after closing inhibitors and logging out other users.\n"
             "Alternatively, ignore inhibitors and users with 'systemctl reboot -i'.\n")
FAKE_COMMAND_BODY = """import json, os, sys
parent = os.getppid()
record = {"file": sys.argv[0], "arguments": sys.argv[1:], "environment": dict(os.environ),
          "folder": os.getcwd(), "own_group": os.getpgid(0) == os.getpid(),
          "streams": [os.readlink(f"/proc/self/fd/{n}") for n in range(3)],
          "parent_errors": os.readlink(f"/proc/{parent}/fd/2")}
with open(CALLS, "a") as log:
    log.write(json.dumps(record) + "\\n")
print("scribbled on standard output", flush=True)
sys.stderr.write(ERRORS)
sys.exit(STATUS)
"""


def fake_command(name, status=0, errors="", folder=FAKE_COMMANDS):
    """`name` in `folder`: records how it was called in CALLS, writes to both
    its standard streams and ends with `status`."""
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / name
    path.write_text(f"#!/usr/bin/python3\nSTATUS, ERRORS, CALLS = {status!r}, {errors!r}, {str(CALLS)!r}\n"
                    + FAKE_COMMAND_BODY)
    path.chmod(0o755)


def expect_calls(inside, wanted):
    """The fake commands called, as (file, arguments), each run cleanly: the
    fixed environment, "/", a process group of its own, no standard stream on
    the program's terminal or pipes (its standard error read by the program)."""
    calls = [json.loads(line) for line in CALLS.read_text().splitlines()] if CALLS.exists() else []
    inside.log("calls", calls=calls)
    check([(c["file"], c["arguments"]) for c in calls] == wanted, f"commands called: {calls}")
    for call in calls:
        check(call["environment"] == COMMAND_ENVIRONMENT, f"environment of {call['file']}: {call['environment']}")
        check(call["folder"] == "/" and call["own_group"], f"{call['file']} ran in {call['folder']}, "
              f"own process group {call['own_group']}")
        streams = call["streams"]
        check(streams[:2] == ["/dev/null", "/dev/null"] and streams[2].startswith("pipe:") and
              streams[2] != call["parent_errors"], f"standard streams of {call['file']}: {streams}, "
              f"the program's standard error {call['parent_errors']}")


def revise_and_restart_through_pipes(inside, argv=(PROGRAM,)):
    """Through pipes to message 105 and "再起動": the program then ends as
    after "キャンセル", with nothing on standard error or output."""
    p = inside.pipe(argv=argv)
    expect_start(p.next_dialog())
    p.answer("")
    expect_list(p.next_dialog(), inside.fonts)
    p.answer("1")
    p.next_dialog().expect(ASK_CAPTION, RESTART_BUTTONS, M105)
    expect_caches_cleaned(inside)
    p.answer("再起動")
    check(p.expect_exit() == 0, "exit status")
    check(not p.statuses, f"written after 再起動: {p.statuses}")


class RestartScenario(Scenario):
    def layout(self, bed):
        bed.main_fonts()

    def verify(self, bed):
        bed.expect_fonts_revised()
        # The driver's normal end: reboot(2) did not end the namespace.
        super().verify(bed)


@scenario("restart-systemd")
class RestartSystemd(RestartScenario):
    """Where systemd runs: "再起動" runs systemctl reboot respecting inhibitor
    locks, found on PATH but not in a folder someone else owns, run cleanly;
    it accepts, and the program ends as after "キャンセル"."""

    def drive(self, inside):
        SYSTEMD_MARK.mkdir(parents=True)
        fake_command("systemctl")
        fake_command("shutdown")
        planted = pathlib.Path("/run/planted")
        fake_command("systemctl", folder=planted)
        os.chown(planted, 65534, 65534)
        revise_and_restart_through_pipes(inside, ["env", f"PATH={planted}:{os.environ['PATH']}", PROGRAM])
        expect_calls(inside, [(str(FAKE_COMMANDS / "systemctl"), REBOOT)])


@scenario("restart-shutdown")
class RestartShutdown(RestartScenario):
    """Where systemd does not run: "再起動" runs shutdown -r now, never
    systemctl, and the program ends as after "キャンセル"."""

    def drive(self, inside):
        fake_command("systemctl")
        fake_command("shutdown")
        revise_and_restart_through_pipes(inside)
        expect_calls(inside, [(str(FAKE_COMMANDS / "shutdown"), ["-r", "now"])])


@scenario("restart-refused")
class RestartRefused(RestartScenario):
    """On a terminal, systemctl refuses (an inhibitor lock): the program
    ends as after "キャンセル", and what it leaves on the terminal is one line
    with systemctl's reason, nothing that systemctl wrote."""

    def drive(self, inside):
        SYSTEMD_MARK.mkdir(parents=True)
        fake_command("systemctl", status=1, errors=INHIBITED)
        fake_command("shutdown")
        tty = inside.tty(keep_pane=True)
        tty.wait_dialog(MAIN_CAPTION, START_BUTTONS, "start dialog")
        tty.keys("Enter")
        tty.wait_dialog(MAIN_CAPTION, LIST_BUTTONS, "main list")
        tty.keys("Enter")
        end, _ = tty.wait_dialog(ASK_CAPTION, RESTART_BUTTONS, "message 105")
        end.expect(ASK_CAPTION, RESTART_BUTTONS, M105, close_box=True)
        tty.keys("Enter")
        check(tty.expect_exit() == 0, "exit status")
        # The line names the program's file: under valgrind, the one valgrind runs.
        name = pathlib.Path(PROGRAM + ".bin" if os.path.exists(PROGRAM + ".bin") else PROGRAM).name
        wanted = [f'{name}: restart refused: systemctl: Operation inhibited by "backup" '
                  '(PID 42 "tar", user root), reason is "Backup in progress".']
        # The terminal's whole history, wrapped lines joined; tmux's own note
        # on the ended pane left out.
        deadline = time.monotonic() + STEP_GUARD_S
        while True:
            lines = tty.tmux("capture-pane", "-p", "-J", "-S", "-", "-t", "otu").split("\n")
            left = [line.rstrip() for line in lines if line.strip() and not line.startswith("Pane is dead")]
            if left == wanted:
                break
            check(time.monotonic() < deadline, f"left on the terminal: {left}")
            time.sleep(0.05)
        inside.log("terminal", lines=left)
        expect_calls(inside, [(str(FAKE_COMMANDS / "systemctl"), REBOOT)])


@scenario("pipe-cancel")
class PipeCancel(Scenario):
    """Through pipes: the drives the search reports (only the sandbox's, the
    read-only one unsearched), the list, every progress state of the three
    fonts, message 105 and "キャンセル": a normal end, the fonts revised, the
    downloaded files and the caches gone, no temporary file left."""

    def layout(self, bed):
        revise_all_layout(bed)

    def drive(self, inside):
        p = inside.pipe()
        expect_start(p.next_dialog())
        p.answer("")
        listing = p.next_dialog()
        expect_list(listing, inside.fonts)
        wait = [s for s in listing.statuses if s.startswith(WAIT_CAPTION)]
        texts = [s.split(" | ", 1)[1] for s in wait if " | " in s]
        drives = [t for t in texts if t.endswith("ドライブを検索しました。")]
        check(drives == [DRIVE_TEXT.format(MOUNTS[letter] + "/") for letter in "der"],
              f"drives reported {drives}")
        folders = [t for t in texts if t not in drives]
        check(folders and all(re.fullmatch(r"/media/[de]/.+/を検索しています。", t) for t in folders),
              f"folders reported {folders}")
        p.answer("1")
        end = p.next_dialog()
        end.expect(ASK_CAPTION, RESTART_BUTTONS, M105)
        progress = [s for s in end.statuses if s.startswith(PROGRESS_CAPTION)]
        wanted = expected_progress(inside.fonts)
        check(progress == wanted, "progress window states:\n  " + "\n  ".join(progress) +
              "\nexpected:\n  " + "\n  ".join(wanted))
        expect_caches_cleaned(inside)
        p.answer("キャンセル")
        check(p.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)

    def verify(self, bed):
        revised(bed)
        super().verify(bed)


@scenario("write-fails")
class WriteFails(Scenario):
    """/tmp too small for the second font's temporary file (result 11):
    message 122 with its path; the first font revised, the second and third
    untouched, nothing deleted, the caches kept but refreshed."""

    def layout(self, bed):
        bed.main_fonts()
        bed.download_files()
        # The first revised font (1.1 MB) fits, the second (4.9 MB) does not.
        bed.tmp_size = "2m"

    def drive(self, inside):
        p = inside.pipe()
        p.next_dialog()
        p.answer("")
        p.next_dialog()
        p.answer("")
        end = p.next_dialog()
        end.expect(ASK_CAPTION, OK_BUTTONS, M122.format(inside.fonts[1]), close_box=False)
        expect_caches_kept(inside, broadcast=True)
        p.answer("")
        check(p.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)

    def verify(self, bed):
        bed.expect(bed.layout["fonts"][0], "new")
        super().verify(bed)


# A tree of empty folders the search needs a while for; its long name makes
# each of its reports long.
SLOW_TREE = "深い森の奥の長い名前のフォルダ"


@scenario("stop-search")
class StopSearch(Scenario):
    """Ctrl-C (SIGINT) while the search walks the second drive, confirmed
    (116): the list holds the fonts found on the first drive, and they are
    revised; the font at the end of the second drive is never reached."""

    def layout(self, bed):
        bed.main_fonts()
        bed.slow_tree("e", SLOW_TREE)
        bed.layout["late"] = bed.put_font("e", f"{SLOW_TREE}/9999", MINCHO)

    def drive(self, inside):
        # A small pipe: once it is full the walk waits for us, so it is still
        # in the tree when the signal comes. By then it has written at most
        # the rest of what was read and one pipe's worth more: with the long
        # name of the tree's top, well under 80 of its about 150 reports.
        p = inside.pipe(pipe_size=4096)
        p.next_dialog()
        p.answer("")
        p.wait_status(lambda s: s.startswith(f"{WAIT_CAPTION} | /media/e/{SLOW_TREE}/"), "search in the second drive")
        p.interrupt()
        question = p.next_dialog()
        question.expect(ASK_CAPTION, QUESTION_BUTTONS, M116, close_box=True)
        check(question.focus() == "はい", f"focus {question.buttons}")
        p.answer("はい")
        expect_list(p.next_dialog(), inside.fonts)
        p.answer("実行")
        p.next_dialog().expect(ASK_CAPTION, RESTART_BUTTONS, M105)
        p.answer("2")
        check(p.expect_exit() == 0, "exit status")

    def verify(self, bed):
        bed.expect_fonts_revised()
        super().verify(bed)


@scenario("tty-stop-update")
class TtyStopUpdate(Scenario):
    """On a terminal: q in the start dialog and Esc in the list ask 102, and
    "いいえ" (focus moved with Tab and the arrow key) keeps them; then Ctrl-C
    while the first font is being replaced (its drive frozen, so the press
    comes between its 90 % and 100 % reports): 102 at the 100 % report,
    answered "はい", cannot stop that font any more, and the flag stays, so
    the second font asks again at its first report; "はい": message 106, the
    first font revised, the second and third untouched, nothing deleted."""

    def layout(self, bed):
        bed.main_fonts()
        bed.download_files()

    def drive(self, inside):
        tty = inside.tty()
        tty.wait_dialog(MAIN_CAPTION, START_BUTTONS, "start dialog")
        tty.keys("q")
        question, under = tty.wait_dialog(ASK_CAPTION, QUESTION_BUTTONS, "102 over the start dialog")
        question.expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        check([b.caption for b in under] == [MAIN_CAPTION] and question.focus() == "はい", f"screen {tty.lines}")
        tty.keys("Tab")
        tty.wait(lambda b: b[-1].is_dialog(ASK_CAPTION, QUESTION_BUTTONS) and b[-1].focus() == "いいえ",
                 "focus on いいえ")
        tty.keys("Enter")
        start, under = tty.wait_dialog(MAIN_CAPTION, START_BUTTONS, "start dialog again")
        check(start.focus() == "次へ" and not under, f"screen {tty.lines}")
        tty.keys("Enter")
        tty.wait_dialog(MAIN_CAPTION, LIST_BUTTONS, "main list")
        tty.keys("Escape")
        tty.wait_dialog(ASK_CAPTION, QUESTION_BUTTONS, "102 over the list")[0].expect(ASK_CAPTION, QUESTION_BUTTONS,
                                                                                        M102)
        tty.keys("Right")
        tty.wait(lambda b: b[-1].is_dialog(ASK_CAPTION, QUESTION_BUTTONS) and b[-1].focus() == "いいえ",
                 "focus on いいえ")
        tty.keys("Enter")
        listing, _ = tty.wait_dialog(MAIN_CAPTION, LIST_BUTTONS, "main list again")
        expect_list(listing, inside.fonts)
        first, second = (FILE_TEXT.format(font) for font in inside.fonts[:2])

        pid = program_pid()
        with FrozenDrive(inside.log, "d") as frozen:
            tty.keys("Enter")
            wait_held_by_frozen_drive(pid, "the replacement of the first font")
            boxes = tty.wait(lambda b: len(b) == 1 and b[0].caption == PROGRESS_CAPTION and
                             progress_state(b[0]) == (first, 90), "the first font at 90 %")
            check(boxes[0].labels() == ["中　止"] and not boxes[0].close_box, f"progress window {boxes[0].lines}")
            tty.keys("C-c")
            wait_signal_pending(pid, signal.SIGINT, "Ctrl-C")
            frozen.thaw()
        boxes = tty.wait(lambda b: len(b) == 2 and b[-1].is_dialog(ASK_CAPTION, QUESTION_BUTTONS), "102 at 100 %")
        boxes[-1].expect(ASK_CAPTION, QUESTION_BUTTONS, M102, close_box=True)
        check(boxes[0].caption == PROGRESS_CAPTION and progress_state(boxes[0]) == (first, 100),
              f"102 not asked at the first font's 100 % report: {tty.lines}")
        check(boxes[-1].focus() == "はい", f"focus {boxes[-1].buttons}")
        tty.keys("Enter")
        # No second Ctrl-C: the flag that the answer left raised asks again.
        boxes = tty.wait(lambda b: len(b) == 2 and b[-1].is_dialog(ASK_CAPTION, QUESTION_BUTTONS) and
                         progress_state(b[0]) != (first, 100), "102 at the second font")
        boxes[-1].expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        check(progress_state(boxes[0]) == (second, 10), f"102 not asked at the second font's first report: {tty.lines}")
        tty.keys("Enter")
        end, under = tty.wait_dialog(ASK_CAPTION, OK_BUTTONS, "message 106")
        end.expect(ASK_CAPTION, OK_BUTTONS, M106, close_box=False)
        check(not under, f"windows left under 106: {[b.caption for b in under]}")
        expect_caches_kept(inside, broadcast=True)
        tty.keys("Enter")
        check(tty.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)

    def verify(self, bed):
        bed.expect(bed.layout["fonts"][0], "new")
        super().verify(bed)


@scenario("stop-update-no")
class StopUpdateNo(Scenario):
    """Ctrl-C (SIGINT) in the progress window answered "いいえ": the run goes
    on to message 105 and everything is revised and cleaned up."""

    def layout(self, bed):
        bed.main_fonts()
        bed.download_files()

    def drive(self, inside):
        p = inside.pipe()
        p.next_dialog()
        p.answer("")
        p.next_dialog()
        p.answer("")
        p.wait_status(lambda s: s.startswith(PROGRESS_CAPTION + " | "), "progress")
        p.interrupt()
        question = p.next_dialog()
        question.expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        p.answer("いいえ")
        end = p.next_dialog()
        end.expect(ASK_CAPTION, RESTART_BUTTONS, M105)
        # The run went on: every font's last report came after the question.
        reports = [s for s in end.statuses if s.startswith(PROGRESS_CAPTION)]
        check(reports and reports[-1].endswith("テンポラリフォルダからファイルをコピーしています。 | 100%") and
              FILE_TEXT.format(inside.fonts[-1]) in reports[-1], f"progress after the question: {reports}")
        expect_caches_cleaned(inside)
        p.answer("キャンセル")
        check(p.expect_exit() == 0, "exit status")

    def verify(self, bed):
        revised(bed)
        super().verify(bed)


@scenario("no-candidates")
class NoCandidates(Scenario):
    """Only near misses on the drive (read-only, .OTF, .otf.bak, another
    name, already revised, seven folders deep): message 107 and the end;
    nothing changed, no font-change broadcast."""

    def layout(self, bed):
        bed.decoys()
        bed.download_files()

    def drive(self, inside):
        p = inside.pipe()
        p.next_dialog()
        p.answer("")
        message = p.next_dialog()
        message.expect(ASK_CAPTION, OK_BUTTONS, M107, close_box=True)
        check(any(s.startswith(WAIT_CAPTION) for s in message.statuses), "no search before 107")
        p.answer("")
        check(p.expect_exit() == 0, "exit status")
        expect_caches_kept(inside, broadcast=False)
        expect_no_temporary_files(inside)


@scenario("user-fonts")
class UserFonts(Scenario):
    """A font in root's own fonts folder, which is on no drive: found after
    the drives' fonts, listed last and revised; the system's fonts folders
    show nothing of the machine's own."""

    HOME_FONT = "/root/.local/share/fonts/" + MINCHO[0]

    def layout(self, bed):
        bed.layout["fonts"] = [bed.put_font("d", "ソフト", GOTHIC), self.HOME_FONT]
        bed.home_fonts = bed.root / "home-fonts"
        bed.home_fonts.mkdir()
        (bed.home_fonts / MINCHO[0]).write_bytes(bed.corpus.bytes(MINCHO[1], "old"))

    def drive(self, inside):
        check(not any(pathlib.Path("/usr/share/fonts").iterdir()), "the machine's own fonts are in the sandbox")
        revise_through_pipes(inside)

    def verify(self, bed):
        bed.expect(bed.layout["fonts"][0], "new")
        left = sorted(p.name for p in bed.home_fonts.iterdir())
        check(left == [MINCHO[0]], f"root's fonts folder holds {left}")
        check(digest((bed.home_fonts / MINCHO[0]).read_bytes()) == digest(bed.corpus.bytes(MINCHO[1], "new")),
              f"{self.HOME_FONT} is not the new revision")
        super().verify(bed)


@scenario("not-root")
class NotRoot(Scenario):
    """Started by another user than root: message 111 first and only."""

    def layout(self, bed):
        bed.main_fonts()

    def drive(self, inside):
        p = inside.pipe(user=65534)
        p.next_dialog().expect(ASK_CAPTION, OK_BUTTONS, M111, close_box=True)
        p.answer("")
        check(p.expect_exit() == 0, "exit status")
        check(len(p.dialogs) == 1 and not p.all_statuses, f"more than message 111: {p.all_statuses}")
        expect_caches_kept(inside, broadcast=False)


@scenario("second-instance")
class SecondInstance(Scenario):
    """A second start of the program while the first waits in its start
    dialog ends at once, silently, with status 0; a copy under another file
    name runs; the first then goes on: Ctrl-C (SIGINT) at its prompt is
    Cancel, which asks 102, and "いいえ" keeps the start dialog; 中止 typed
    without the ideographic space names "中　止"."""

    def layout(self, bed):
        bed.main_fonts()

    def drive(self, inside):
        first = inside.pipe()
        expect_start(first.next_dialog())
        second = subprocess.run([PROGRAM], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=STEP_GUARD_S)
        inside.log("second", code=second.returncode, out=second.stdout.decode(errors="replace"),
                   err=second.stderr.decode(errors="replace"))
        check(second.returncode == 0 and second.stdout == b"" and second.stderr == b"",
              f"the second instance: {second}")
        shutil.copy(PROGRAM, "/opt/otu/other-updater")
        copy = inside.pipe(argv=["/opt/otu/other-updater"], name="copy")
        expect_start(copy.next_dialog())
        copy.answer("2")
        copy.next_dialog().expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        copy.answer("1")
        check(copy.expect_exit() == 0, "the copy's exit status")
        first.interrupt()
        first.next_dialog().expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        first.answer("いいえ")
        expect_start(first.next_dialog())
        first.answer("中止")
        first.next_dialog().expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        first.answer("はい")
        check(first.expect_exit() == 0, "exit status")
        check(len(first.dialogs) == 4 and not first.all_statuses,
              f"dialogs of the first: {[d.caption for d in first.dialogs]}, statuses {first.all_statuses}")


@scenario("command-line")
class CommandLine(Scenario):
    """--help and --version print and exit 0 without any dialog; an unknown
    argument is refused with status 2."""

    def drive(self, inside):
        assert_sandboxed()
        runs = {}
        for argument in ("--help", "--version", "--frobnicate"):
            done = subprocess.run([PROGRAM, argument], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=STEP_GUARD_S)
            runs[argument] = (done.returncode, done.stdout.decode(), done.stderr.decode())
            inside.log("command", argument=argument, code=done.returncode, out=runs[argument][1],
                       err=runs[argument][2])
        code, out, err = runs["--help"]
        check(code == 0 and err == "" and out.startswith("Usage: opentype-updater\n") and "--version" in out
              and "┌" not in out, f"--help: {runs['--help']}")
        check(runs["--version"] == (0, "opentype-updater 1.0.0\n", ""), f"--version: {runs['--version']}")
        code, out, err = runs["--frobnicate"]
        check(code == 2 and out == "" and "unrecognized argument '--frobnicate'" in err, f"unknown: {runs['--frobnicate']}")
        check(not os.listdir("/tmp"), "a command-line answer left files")


class UpdateFault(Scenario):
    """The three fonts of one drive with a fault made for the second (index
    `failing`): `prepare` before the program starts, `strike` once the list
    is shown. The message is the one its result selects; the fonts before
    it are revised, it and those after are as the fault left them; no
    temporary file and no copy of the replacement is left."""
    failing = 1
    message = None          # the message's template, formatted with the failing font
    argv = (PROGRAM,)

    def layout(self, bed):
        bed.main_fonts()

    def prepare(self, inside, font):
        pass

    def strike(self, inside, font):
        pass

    def undo(self, inside, font):
        pass

    def drive(self, inside):
        font = inside.fonts[self.failing]
        self.prepare(inside, font)
        try:
            p = inside.pipe(argv=self.argv)
            p.next_dialog()
            p.answer("")
            expect_list(p.next_dialog(), inside.fonts)
            self.strike(inside, font)
            p.answer("")
            end = p.next_dialog()
            if self.message is None:
                end.expect(ASK_CAPTION, RESTART_BUTTONS, M105)
                p.answer("キャンセル")
            else:
                end.expect(ASK_CAPTION, OK_BUTTONS, self.message.format(font), close_box=False)
                p.answer("")
            check(p.expect_exit() == 0, "exit status")
        finally:
            self.undo(inside, font)
        expect_no_temporary_files(inside)
        copies = [str(path) for path in pathlib.Path(MOUNTS["d"]).rglob("*.otu-copy")]
        check(not copies, f"copies left beside the fonts: {copies}")

    def verify(self, bed):
        fonts = bed.layout["fonts"]
        for font in fonts[:self.failing] if self.message is not None else fonts:
            bed.expect(font, "new")
        self.expect_failing(bed, fonts[self.failing])
        super().verify(bed)

    def expect_failing(self, bed, font):
        pass


@scenario("full-drive")
class FullDrive(UpdateFault):
    """The drive has room for the first font's replacement but not for the
    second's (result 10, message 121)."""
    message = M121

    def prepare(self, inside, font):
        free = os.statvfs(MOUNTS["d"])
        room = free.f_bavail * free.f_frsize - 3 * 2**20
        with open(f"{MOUNTS['d']}/filler", "wb") as filler:
            filler.truncate(0)
            block = bytes(2**20)
            while room > 0:
                filler.write(block[:min(room, len(block))])
                room -= len(block)

    def undo(self, inside, font):
        os.unlink(f"{MOUNTS['d']}/filler")


@scenario("immutable-folder")
class ImmutableFolder(UpdateFault):
    """The second font's folder takes no new file and no rename, not even
    from root (chattr +i): result 10, message 121."""
    message = M121

    def prepare(self, inside, font):
        run(["chattr", "+i", str(pathlib.Path(font).parent)])

    def undo(self, inside, font):
        run(["chattr", "-i", str(pathlib.Path(font).parent)])


@scenario("font-vanished")
class FontVanished(UpdateFault):
    """The second font is deleted between the search and the update: result
    1, message 114; the third is left as it was."""
    message = M114

    def strike(self, inside, font):
        os.unlink(font)

    def expect_failing(self, bed, font):
        bed.expect(font, "gone")


@scenario("font-replaced")
class FontReplaced(UpdateFault):
    """The second font is replaced, between the search and the update, by
    another font of the same revision: its difference file is not applied
    to it (result 1, message 114) and it stays as it is."""
    message = M114

    def layout(self, bed):
        super().layout(bed)
        # What the driver puts in its place: the third font's old revision.
        bed.layout["replacement"] = bed.layout["fonts"][2]

    def strike(self, inside, font):
        shutil.copy(inside.layout["replacement"], font)

    def expect_failing(self, bed, font):
        for (letter, relative), record in bed.files.items():
            if inside_path(letter, relative) == font:
                record[1]["other"] = digest(bed.corpus.bytes(GOTHIC6[1], "old"))
                record[0] = "other"


@scenario("no-temporary-folder")
class NoTemporaryFolder(UpdateFault):
    """No temporary folder can be made (the program, run as root, makes its
    own in /tmp, which is read-only for it; TMPDIR, which anyone could have
    set, is not looked at): the first font's temporary file cannot be made
    (result 11, message 122); nothing changes."""
    failing = 0
    message = M122
    argv = ("env", "TMPDIR=/run/", "unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount -o remount,ro /tmp && exec "$0"', PROGRAM)


@scenario("font-held-open")
class FontHeldOpen(UpdateFault):
    """Another process holds the second font open for the whole run: the
    replacement does not wait for it and every font is revised; that
    process goes on reading the old revision it opened."""

    def prepare(self, inside, font):
        self.holder = open(font, "rb")
        self.held = self.holder.read(4096)

    def undo(self, inside, font):
        self.holder.seek(0)
        whole = self.holder.read()
        self.holder.close()
        check(whole[:4096] == self.held and digest(whole) == inside.layout["digests"][font]["old"],
              "the holder of the old font no longer reads it whole")

    def layout(self, bed):
        super().layout(bed)
        bed.layout["digests"] = {font: {"old": digest(bed.corpus.bytes(pair, "old"))}
                                 for font, (_, _, (_, pair)) in zip(bed.layout["fonts"], MAIN_TARGETS)}


KILLS = 200


# --- a user who attacks the root program -------------------------------------
# The user's own folder on the drive, d: home/user, which its user (not root)
# changes while the program runs; root's own folder d: System beside it.
USER_ID = 65534
USER_HOME = "home/user"


def as_user(command):
    """`command` (a shell line) run by the user, who owns only their folder."""
    subprocess.run(["setpriv", f"--reuid={USER_ID}", f"--regid={USER_ID}", "--clear-groups", "sh", "-c",
                    command], check=True, cwd=inside_path("d", USER_HOME))


class Attack(Scenario):
    """The program revises the fonts while the user attacks: `prepare` before
    it starts; with `paused`, `attack` while the program waits at a question
    (Ctrl-C, answered "いいえ") put in the middle of the attacked font's
    update, after that font was read; `undo` puts the user's files back, for
    the check of the drive afterwards. The run ends with `message` (105 when
    None); nothing outside the user's folder changes but what the run
    revises; no temporary file and no copy is left."""
    paused = False
    message = None
    start_text = START_TEXT
    package_fonts = ()      # (folder on d:, target): the fonts placed as old revisions to revise
    attacked = 0            # which of them the attack is on

    def layout(self, bed):
        fonts = [bed.put_font("d", folder, target, "new") for folder, target in self.package_fonts]
        bed.layout["fonts"] = fonts
        bed.layout["attacked"] = fonts[self.attacked] if fonts else None
        bed.use("d")
        (bed.folder("d") / USER_HOME).mkdir(parents=True, exist_ok=True)
        self.place(bed)

    def place(self, bed):
        pass

    def listed(self, inside):
        # The walk's order: a folder's entries by their bytes.
        return sorted(inside.fonts)

    def prepare(self, inside):
        pass

    def attack(self, inside):
        pass

    def undo(self, inside):
        pass

    def drive(self, inside):
        subprocess.run(["chown", "-R", f"{USER_ID}:{USER_ID}", inside_path("d", USER_HOME)], check=True)
        self.prepare(inside)
        p = inside.pipe()
        expect_start(p.next_dialog(), self.start_text)
        p.answer("")
        expect_list(p.next_dialog(), self.listed(inside))
        p.answer("")
        if self.paused:
            target = inside.layout["attacked"]
            p.wait_status(lambda s: s.startswith(f"{PROGRESS_CAPTION} | {FILE_TEXT.format(target)} | ") and
                          s.endswith("| 10%"), "the attacked font read")
            p.interrupt()
            question = p.next_dialog()
            question.expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
            shown = [s for s in question.statuses if s.startswith(PROGRESS_CAPTION)]
            check(shown and FILE_TEXT.format(target) in shown[-1] and not shown[-1].endswith("| 100%"),
                  f"the question came after the attacked font was replaced: {shown[-1:]}")
            self.attack(inside)
            p.answer("いいえ")
        end = p.next_dialog()
        if self.message is None:
            end.expect(ASK_CAPTION, RESTART_BUTTONS, M105)
            p.answer("キャンセル")
        else:
            end.expect(ASK_CAPTION, OK_BUTTONS, self.message.format(inside.layout["attacked"]), close_box=False)
            p.answer("")
        check(p.expect_exit() == 0, "exit status")
        self.undo(inside)
        expect_no_temporary_files(inside)
        copies = [str(path) for path in pathlib.Path(MOUNTS["d"]).rglob("*.otu-copy")]
        check(not copies, f"copies left: {copies}")


ROOT_FONTS = "System/Fonts"


@scenario("attack-folder-link")
class AttackFolderLink(Attack):
    """The user swaps their fonts folder for a link to root's fonts folder
    after the font was read: the program goes on in the folder it holds open
    (now under another name), revises the user's font there and leaves
    root's folder, its font and its staged file, as they were."""
    paused = True
    package_fonts = ((f"{USER_HOME}/Fonts", GOTHIC),)

    def place(self, bed):
        old = bed.corpus.bytes(GOTHIC[1], "old")
        bed.put("d", f"{ROOT_FONTS}/{GOTHIC[0]}", old, read_only=True)
        bed.put("d", f"{ROOT_FONTS}/SampleGothicProN-M.otu-staged", b"root's own file\n")

    def attack(self, inside):
        as_user(f"mv Fonts Fonts.held && ln -s {inside_path('d', ROOT_FONTS)} Fonts")

    def undo(self, inside):
        home = inside_path("d", USER_HOME)
        os.unlink(f"{home}/Fonts")
        os.rename(f"{home}/Fonts.held", f"{home}/Fonts")


@scenario("attack-setuid-link")
class AttackSetuidLink(Attack):
    """The user puts a link to root's set-user-ID program where their font
    was, after it was read: the font is not revised (message 114), no file
    with a set-id bit appears in the user's folder, the program stays as it
    was."""
    paused = True
    message = M114
    package_fonts = ((f"{USER_HOME}/Fonts", GOTHIC),)

    def layout(self, bed):
        super().layout(bed)
        bed.expect(bed.layout["fonts"][0], "old")

    def place(self, bed):
        bed.put("d", "System/bin/tool", b"#!/bin/true\n")

    def prepare(self, inside):
        os.chmod(inside_path("d", "System/bin/tool"), 0o4755)

    def attack(self, inside):
        as_user(f"mv Fonts/{GOTHIC[0]} Fonts/{GOTHIC[0]}.moved && ln -s {inside_path('d', 'System/bin/tool')} "
                f"Fonts/{GOTHIC[0]}")

    def undo(self, inside):
        home = inside_path("d", USER_HOME)
        set_id = [str(path) for path in pathlib.Path(home).rglob("*")
                  if not path.is_symlink() and path.stat().st_mode & 0o6000]
        check(not set_id, f"set-id files in the user's folder: {set_id}")
        check(os.stat(inside_path("d", "System/bin/tool")).st_mode & 0o7777 == 0o4755, "the program changed")
        self.put_back()

    def put_back(self):
        """The user's font where it was, in place of what the attack put there."""
        fonts = inside_path("d", f"{USER_HOME}/Fonts")
        os.unlink(f"{fonts}/{GOTHIC[0]}")
        os.rename(f"{fonts}/{GOTHIC[0]}.moved", f"{fonts}/{GOTHIC[0]}")


@scenario("attack-fifo")
class AttackFifo(AttackSetuidLink):
    """The user puts a named pipe where their font was, after it was read:
    the program does not wait for a writer; the font is not revised
    (message 114)."""

    def place(self, bed):
        pass

    def prepare(self, inside):
        pass

    def attack(self, inside):
        as_user(f"mv Fonts/{GOTHIC[0]} Fonts/{GOTHIC[0]}.moved && mkfifo Fonts/{GOTHIC[0]}")

    def undo(self, inside):
        self.put_back()


@scenario("attack-walk-links")
class AttackWalkLinks(Attack):
    """Links in the user's folder: 60 links to their own folder, one to "/",
    one to another drive, and one to a folder of root's that holds a target
    font too deep for the walk: none is followed; the walk ends at once and
    lists the user's own font and root's (found where it lies, once)."""
    package_fonts = ((f"{USER_HOME}/Fonts", GOTHIC), ("System/Fonts", MINCHO))
    DEEP = "System/Deep/1/2/3/4/5/6"

    def place(self, bed):
        bed.put_font("d", self.DEEP, GOTHIC6, "old")
        bed.use("e")

    def prepare(self, inside):
        links = " && ".join(f"ln -s . Loops/loop{n}" for n in range(60))
        as_user(f"mkdir Loops && {links} && ln -s / root && ln -s {MOUNTS['e']} other && "
                f"ln -s {inside_path('d', self.DEEP)} deep")


@scenario("attack-download-link")
class AttackDownloadLink(Attack):
    """The user's delivery software folder "add" is a link to a folder of
    root's that holds a file of a download name: after a full success the
    user's own downloaded file is deleted, root's file stays."""
    package_fonts = ((f"{USER_HOME}/Fonts", GOTHIC),)

    def place(self, bed):
        data = b"downloaded font data\n"
        bed.put("d", "System/keep/10001", data)
        bed.put("d", f"{USER_HOME}/Tavrelon/Fonts/Download/add/10002", data, expected="gone")
        (bed.folder("d") / USER_HOME / "Pennrook/Fonts/Download").mkdir(parents=True)

    def prepare(self, inside):
        as_user(f"ln -s {inside_path('d', 'System/keep')} Pennrook/Fonts/Download/add")


@scenario("attack-font-links")
class AttackFontLinks(Attack):
    """The user's folder holds a link to a font of root's and a second name
    (a hard link, made by root: the system keeps users from linking root's
    files) of another: neither name of the hard-linked font is listed, and it
    stays as it was; the linked font is listed and revised where it lies."""
    package_fonts = ((ROOT_FONTS, MINCHO),)

    def place(self, bed):
        bed.put_font("d", "System/Fonts2", GOTHIC, "old")

    def prepare(self, inside):
        os.link(inside_path("d", f"System/Fonts2/{GOTHIC[0]}"), inside_path("d", f"{USER_HOME}/{GOTHIC[0]}"))
        as_user(f"ln -s {inside_path('d', f'{ROOT_FONTS}/{MINCHO[0]}')} {MINCHO[0]}")

    def undo(self, inside):
        os.unlink(inside_path("d", f"{USER_HOME}/{GOTHIC[0]}"))


@scenario("attack-temporary-names")
class AttackTemporaryNames(Attack):
    """The user points TMPDIR at a folder of their own and makes there files
    under every name that the time and a number below 255 give for the next
    minute: the program, run as root, does not use that folder, revises the
    fonts and leaves the user's files as they were."""
    package_fonts = ((f"{USER_HOME}/Fonts", GOTHIC), (f"{USER_HOME}/Fonts", MINCHO))
    NAMES = 61 * 255

    def prepare(self, inside):
        now = int(time.time())
        as_user("mkdir /tmp/mine && cd /tmp/mine && for t in $(seq %d %d); do for n in $(seq 0 254); do "
                ": > $t$n; done; done" % (now, now + 60))
        os.environ["TMPDIR"] = "/tmp/mine/"

    def undo(self, inside):
        made = os.listdir("/tmp/mine")
        check(len(made) == self.NAMES and all(os.path.getsize(f"/tmp/mine/{name}") == 0 for name in made),
              f"the user's files changed: {len(made)} of {self.NAMES} left")
        shutil.rmtree("/tmp/mine")


@scenario("attack-modified-font", package="makers")
class AttackModifiedFont(Attack):
    """A font of another maker whose GSUB table was changed after it was
    installed (its checksums made right again): its extended difference file
    knows the bytes of every table it rebuilds from, and the font is neither
    revised nor touched (message 114)."""
    message = M114
    start_text = MAKERS_START_TEXT

    def layout(self, bed):
        sfnt = corpus_tools()
        manifest = json.loads((bed.harness.makers_corpus / "manifest.json").read_text())
        info = manifest["pairs"]["serif-regular"]
        old = (bed.harness.makers_corpus / "serif-regular" / "old.ttf").read_bytes()
        gsub = bytearray(sfnt.required_table(sfnt.read_tables(old), b"GSUB").data)
        gsub[-1] ^= 1
        changed = sfnt.with_tables(old, {b"GSUB": bytes(gsub)})
        font = bed.put("d", f"{USER_HOME}/Fonts/{info['file']}", changed)
        bed.layout["fonts"] = [font]
        bed.layout["attacked"] = font


@scenario("killed-updates")
class KilledUpdates(Scenario):
    """SIGKILL at 200 random instants of runs that revise the three fonts
    from the old revision (a random font and progress point, then up to
    60 ms): after every kill each installed file is the old or the new
    revision byte for byte, nothing else is in the fonts' folders but the
    replacement's own copy and nothing in the temporary folder but the
    program's temporary files; a last run revises all three and leaves no
    copy behind."""

    def layout(self, bed):
        bed.main_fonts()
        bed.layout["digests"] = {font: {"old": digest(bed.corpus.bytes(pair, "old")),
                                        "new": digest(bed.corpus.bytes(pair, "new"))}
                                 for font, (_, _, (_, pair)) in zip(bed.layout["fonts"], MAIN_TARGETS)}
        bed.hang_guard_s = 600

    def drive(self, inside):
        fonts = inside.fonts
        digests = inside.layout["digests"]
        originals = {font: pathlib.Path(font).read_bytes() for font in fonts}
        folders = {str(pathlib.Path(font).parent) for font in fonts}
        names = {pathlib.Path(font).name for font in fonts}

        def state(font):
            actual = digest(pathlib.Path(font).read_bytes())
            return next((k for k, v in digests[font].items() if v == actual), "other bytes")

        def run(target=None):
            """A run through a pipe (Enter at the start dialog and the list,
            then the end of input: キャンセル at the restart question); with
            `target` (font, point, delay) killed `delay` seconds after the
            progress line of that font at that point."""
            program = subprocess.Popen([PROGRAM], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
            program.stdin.write(b"\n\n")
            program.stdin.close()
            if target is None:
                program.stdout.read()
                return program.wait(STEP_GUARD_S)
            font, point, delay = target
            wanted = (f"{FILE_TEXT.format(font)} | ", f"| {point}%")
            for raw in program.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\n")
                if wanted[0] in line and line.endswith(wanted[1]):
                    break
            time.sleep(delay)
            program.kill()
            program.stdout.close()
            return program.wait(STEP_GUARD_S)

        def temporary_files():
            """What killed runs left in the temporary folder: the program's
            own folders there and in them its temporary files only (named by
            digits), removed here so that they do not fill it."""
            folders = os.listdir("/tmp")
            check(all(re.fullmatch(r"opentype-updater-\w{6}", name) for name in folders),
                  f"the temporary folder holds {folders}")
            left = [f"/tmp/{folder}/{name}" for folder in folders for name in os.listdir(f"/tmp/{folder}")]
            check(all(re.fullmatch(r"/tmp/[\w-]+/\d+", path) for path in left), f"the temporary folders hold {left}")
            for path in left:
                os.unlink(path)
            for folder in folders:
                os.rmdir(f"/tmp/{folder}")
            return len(left)

        def strays():
            return sorted(f"{folder}/{name}" for folder in folders for name in os.listdir(folder)
                          if name not in names and not os.path.isdir(f"{folder}/{name}"))

        def put_back(chosen):
            for font in chosen:
                pathlib.Path(font).write_bytes(originals[font])

        check(run() == 0, "a whole run failed")
        check([state(f) for f in fonts] == ["new"] * len(fonts), "a whole run did not revise the fonts")
        rng = random.Random(20261209)
        points = [point for point, _ in STEPS]
        changed_counts, temporary_left = {}, 0
        for kill in range(KILLS):
            put_back([f for f in fonts if state(f) != "old"])
            # Half the kills fall just after a font's temporary file is
            # written, where its replacement happens.
            point = 90 if rng.random() < 0.5 else rng.choice(points)
            target = (rng.choice(fonts), point, rng.uniform(0, 0.06))
            run(target)
            after = [state(f) for f in fonts]
            what = f"kill {kill} ({target[0]} at {target[1]}% + {target[2] * 1000:.0f} ms)"
            check("other bytes" not in after, f"{what}: fonts {after}")
            left = [s for s in strays() if not s.endswith(".otu-copy")]
            check(not left, f"{what} left {left}")
            changed = after.count("new")
            changed_counts[changed] = changed_counts.get(changed, 0) + 1
            temporary_left += temporary_files()
        inside.log("kills", fonts_new_after_kill=changed_counts, temporary_files_left=temporary_left,
                   copies_left=len(strays()))
        put_back(fonts)
        check(run() == 0, "the last run failed")
        check([state(f) for f in fonts] == ["new"] * len(fonts), "the last run did not revise every font")
        check(not strays(), f"the last run left {strays()}")

    def verify(self, bed):
        bed.expect_fonts_revised()
        super().verify(bed)
        print("    " + json.dumps(bed.events("kills")[-1], ensure_ascii=False), flush=True)


# What scripts/make-package writes for OLD_REVISIONS and the corpus's new
# revisions of them (the package test lays out the same folders).
MADE_START_TEXT = ("タブレロンフォント製品をご利用のお客様は、下記2フォントが改訂対象です。\n\n"
                   "\u3000\u3000・SampleGothic ProN M\n\u3000\u3000・SampleMincho ProN R")
# An older revision of the small pair's old font: only its head revision.
OLDEST_REVISION = 0x00010000


def corpus_tools():
    # Outside the sandbox only: the harness folder there holds this file alone.
    sys.path.insert(0, str(ROOT / "tests" / "corpus"))
    import sfnt
    return sfnt


def oldest(corpus):
    return corpus_tools().with_revision(corpus.bytes(MINCHO[1], "old"), OLDEST_REVISION)


@scenario("makers-fonts", package="makers")
class MakersFonts(Scenario):
    """Another maker's CFF and TrueType fonts side by side (.otf and .ttf,
    DSIG, a table dropped and one added, Windows-only names longer than 31
    bytes): found, listed in the walk's order and revised through pipes into
    the new releases byte for byte; a .ttf of another revision and an upper-
    case .TTF copy stay as they are."""

    def layout(self, bed):
        manifest = json.loads((bed.harness.makers_corpus / "manifest.json").read_text())
        pairs = sorted(manifest["pairs"].items())
        placed = []
        for n, (pair, info) in enumerate(pairs):
            extension = info["file"].rsplit(".", 1)[1]
            old, new = ((bed.harness.makers_corpus / pair / f"{side}.{extension}").read_bytes()
                        for side in ("old", "new"))
            letter, folder = ("d", "Fonts/Example") if extension == "otf" else ("e", f"Library/Fonts/{n}/a/b/c")
            placed.append((inside_path(letter, f"{folder}/{info['file']}"),
                           bed.put(letter, f"{folder}/{info['file']}", old, {"old": old, "new": new}, "new")))
            if extension == "ttf":
                bed.put("d", f"Others/{info['file']}", new)
                bed.put("d", f"Upper/{info['file'].rsplit('.', 1)[0]}.TTF", old)
        bed.layout["fonts"] = [path for path, _ in sorted(placed)]

    def drive(self, inside):
        p = inside.pipe()
        start = p.next_dialog()
        start.expect(MAIN_CAPTION, START_BUTTONS, START_TOP, close_box=False)
        check(start.shows(MAKERS_START_TEXT), "start text of the makers' package:\n" + "\n".join(start.lines))
        p.answer("")
        expect_list(p.next_dialog(), inside.fonts)
        p.answer("1")
        p.next_dialog().expect(ASK_CAPTION, RESTART_BUTTONS, M105)
        p.answer("キャンセル")
        check(p.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)


@scenario("compact-package", package="compact")
class CompactPackage(Scenario):
    """The package with the smallest difference files otpa makes, whose
    blocks are compressed: the three fonts on two drives revised through
    pipes into the new revisions byte for byte, the downloaded files gone;
    `otpa info` on the program names its compressed blocks."""

    def layout(self, bed):
        revise_all_layout(bed)

    def drive(self, inside):
        revise_through_pipes(inside)

    def verify(self, bed):
        program = bed.harness.build / "bin" / "scenarios" / "compact" / "opentype-updater"
        info = run([str(bed.harness.build / "bin" / "otpa"), "info", str(program)], capture=True)
        check(info.count(": compressed, ") >= len(bed.layout["fonts"]),
              f"otpa info shows fewer compressed blocks than fonts:\n{info}")
        revised(bed)
        super().verify(bed)


@scenario("customer-licence")
class CustomerLicence(Scenario):
    """The third font as a customer has it, its License Description texts
    longer than the maker's (every string after them stored elsewhere than in
    the font the package was made from): revised with the other two, through
    pipes; it becomes the new revision with the customer's texts carried into
    its licence records, every other byte the new revision's."""

    def layout(self, bed):
        sfnt = corpus_tools()
        letter, folder, (file_name, pair) = MAIN_TARGETS[2]
        old = bed.corpus.bytes(pair, "old")
        macintosh, windows = sfnt.licence_texts(old)
        macintosh += b" No. 12"
        windows += " No. 12".encode("utf-16-be")
        customer = sfnt.with_licence_texts(old, {sfnt.MAC_LICENCE: macintosh, sfnt.WINDOWS_LICENCE: windows})
        carried = sfnt.carried(bed.corpus.bytes(pair, "new"), macintosh, windows)
        bed.layout["fonts"] = [bed.put_font(letter, folder, target) for letter, folder, target in MAIN_TARGETS[:2]]
        bed.layout["fonts"].append(bed.put(letter, f"{folder}/{file_name}", customer,
                                           {"old": customer, "new": carried}, "old"))

    def drive(self, inside):
        revise_through_pipes(inside)

    def verify(self, bed):
        bed.expect_fonts_revised()
        super().verify(bed)


@scenario("made-package", package=None)
class MadePackage(Scenario):
    """The program that scripts/package built from the package that
    scripts/make-package made (--program): two installed revisions of one
    font and one of another, through pipes with the default answers and
    "キャンセル" at the end; every installed file is the new revision."""

    def layout(self, bed):
        fonts = bed.main_fonts(MAIN_TARGETS[:2])
        new = bed.corpus.bytes(MINCHO[1], "new")
        older = oldest(bed.corpus)
        fonts.append(bed.put("e", f"古い版/{MINCHO[0]}", older, {"old": older, "new": new}, "old"))

    def drive(self, inside):
        p = inside.pipe()
        start = p.next_dialog()
        start.expect(MAIN_CAPTION, START_BUTTONS, START_TOP, close_box=False)
        check(start.shows(MADE_START_TEXT), "start text of the made package:\n" + "\n".join(start.lines))
        p.answer("")
        expect_list(p.next_dialog(), inside.fonts)
        p.answer("")
        p.next_dialog().expect(ASK_CAPTION, RESTART_BUTTONS, M105)
        expect_caches_cleaned(inside)
        p.answer("キャンセル")
        check(p.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)

    def verify(self, bed):
        bed.expect_fonts_revised()
        super().verify(bed)


# --- unattended runs: switches, exit statuses, the log ------------------------
LOG_LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*)$")
EXIT_REVISED = "exit 3: success, a restart is needed for the revised fonts to take effect"


def run_unattended(inside, *arguments, name="unattended"):
    """The program with `arguments` and no input: (status, output, errors)."""
    done = subprocess.run([PROGRAM, *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=STEP_GUARD_S * 4)
    out, err = done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")
    inside.log(name, arguments=list(arguments), code=done.returncode, out=out[-4000:], err=err)
    return done.returncode, out, err


def log_events(path):
    """The log's lines without their time stamps; every line must have one."""
    events = []
    for line in path.read_text(encoding="utf-8").splitlines():
        match = LOG_LINE.match(line)
        check(match is not None, f"a log line without its time stamp: {line!r}")
        events.append(match.group(1) if match else line)
    return events


@scenario("unattended-quiet")
class UnattendedQuiet(Scenario):
    """--quiet --log: no dialog and nothing on standard output, the fonts of
    both drives revised, the downloaded copies and caches gone, no restart,
    status 3 and its line on standard error; the log holds each drive,
    candidate, update and clean-up, and the exit. A second run finds
    nothing left to do: status 0, its lines appended to the same log."""

    def layout(self, bed):
        revise_all_layout(bed)

    def drive(self, inside):
        log = REPORT / "fleet.log"
        code, out, err = run_unattended(inside, "--quiet", "--log", str(log))
        check(code == 3 and out == "" and err == f"opentype-updater: {EXIT_REVISED}\n",
              f"quiet run: {code} {out!r} {err!r}")
        expect_caches_cleaned(inside)
        expect_no_temporary_files(inside)
        events = log_events(log)
        check(events[0] == "program: opentype-updater 1.0.0" and events[1].startswith("machine: ") and
              ", user root, Linux " in events[1], f"the log's first lines: {events[:2]}")
        for drive in ("d", "e"):
            check(f"search: drive {MOUNTS[drive]}/" in events, f"drive {drive} not in the log: {events}")
        revisions = {MINCHO: "1.001", GOTHIC: "1.001", GOTHIC6: "1.001"}
        for font, (_, _, target) in zip(inside.fonts, TWO_DRIVE_TARGETS):
            check(f"candidate: {font}: installed revision {revisions[target]}, revised to 1.002" in events and
                  f"update: {font}: result 0" in events, f"{font} in the log: {events}")
        check(sum(e.startswith("clean-up: ") and e.endswith(": deleted") for e in events) >= 3,
              f"the clean-up in the log: {events}")
        check(events[-1] == EXIT_REVISED, f"the log's last line: {events[-1]}")
        again, out, err = run_unattended(inside, "--quiet", "--log", str(log), name="again")
        events = log_events(log)
        check(again == 0 and err == "opentype-updater: exit 0: success, nothing left to do\n" and
              events[-1] == "exit 0: success, nothing left to do" and events.count("program: opentype-updater 1.0.0") == 2,
              f"the second run: {again} {err!r} {events[-3:]}")

    def verify(self, bed):
        revised(bed)
        super().verify(bed)


@scenario("unattended-write-fails")
class UnattendedWriteFails(WriteFails):
    """--quiet with /tmp too small for the second font: status 1; the log
    names the font, its result code and the message the dialog would show."""

    def drive(self, inside):
        log = REPORT / "fail.log"
        code, out, err = run_unattended(inside, "--quiet", "--log", str(log))
        check(code == 1 and out == "" and err == "opentype-updater: exit 1: a font could not be revised\n",
              f"quiet run: {code} {out!r} {err!r}")
        events = log_events(log)
        failing = inside.fonts[1]
        check(f"update: {inside.fonts[0]}: result 0" in events and f"update: {failing}: result 11" in events and
              f"message: {M122.format(failing)}" in events and not any(failing in e for e in events[-1:]) and
              events[-1] == "exit 1: a font could not be revised", f"the log: {events}")
        expect_no_temporary_files(inside)


@scenario("unattended-passive")
class UnattendedPassive(Scenario):
    """--passive through pipes: the search's and the updates' progress on
    standard output, no dialog and no question; status 3 and the fonts
    revised. A passive run while another instance runs ends with 5; a bad
    option with 2, a quiet one shows nothing; a log path that is a link is
    not followed: the run goes on and says the log could not be written."""

    def layout(self, bed):
        bed.main_fonts()

    def drive(self, inside):
        first = inside.pipe()
        expect_start(first.next_dialog())
        code, out, err = run_unattended(inside, "--passive", name="second")
        check(code == 5 and out == "" and err == "opentype-updater: exit 5: another instance of the program is running\n",
              f"beside a running instance: {code} {out!r} {err!r}")
        first.answer("中止")
        first.next_dialog().expect(ASK_CAPTION, QUESTION_BUTTONS, M102)
        first.answer("はい")
        check(first.expect_exit() == 0, "the attended run's exit status")
        code, out, err = run_unattended(inside, "--quiet", "--frobnicate", name="bad")
        check(code == 2 and out == "" and "unrecognized argument '--frobnicate'" in err, f"bad option: {code} {err!r}")
        target = pathlib.Path("/tmp/elsewhere.log")
        target.write_text("")
        pathlib.Path("/tmp/planted.log").symlink_to(target)
        code, out, err = run_unattended(inside, "--passive", "--log", "/tmp/planted.log")
        check(code == 3 and target.read_text() == "" and
              err == f"opentype-updater: {EXIT_REVISED}; the log /tmp/planted.log could not be written\n",
              f"passive run with a planted log link: {code} {err!r}")
        check(f"フォントを改訂中 | {FILE_TEXT.format(inside.fonts[2])}" in out and "> " not in out and
              "次へ" not in out and "再起動" not in out, f"passive output: {out[-2000:]}")
        for planted in ("/tmp/planted.log", "/tmp/elsewhere.log"):
            os.unlink(planted)
        expect_no_temporary_files(inside)

    def verify(self, bed):
        bed.expect_fonts_revised()
        super().verify(bed)


# --- another maker's English program (the package brand) -----------------------
BRAND_CAPTION = "Northwind Font Updater"
BRAND_START_TOP = "This program updates Northwind Type OpenType font products."
BRAND_START_TEXT = ("For users of Northwind fonts, the following 3 fonts will be updated.\n\n"
                    "  - SampleMincho ProN R\n  - SampleGothic ProN M\n  - SampleGothic Pr6N M")
BRAND_LIST_TEXT = "The search found the following fonts to update.\n\n\nTo update them, click Update."
BRAND_M105 = ("The fonts were updated.\r\n\r\nThe system must restart before the updated fonts take effect.\r\n"
              "To restart now, click Restart.")
BRAND_STEPS = [(10, "Opening {}"), (20, "Reading {}"), (30, "Table data read"), (40, "Opening {}"),
               (55, "Reading {}"), (65, "Writing the serial number to {}"),
               (75, "Recalculating the checksums of {}"), (90, "Creating {}"),
               (100, "Copying the file from the temporary folder")]


@scenario("maker-program", package="brand")
class MakerProgram(Scenario):
    """Another maker's English updater (the package brand) through pipes:
    its title in every caption that carries it, --help and --version with
    its title, maker and version, every dialog, button, search and progress
    text in English; after the full success the downloaded files in the
    maker's own folders are deleted and Tavrelon's stay."""

    def layout(self, bed):
        bed.main_fonts(TWO_DRIVE_TARGETS)
        bed.download_files()
        data = b"downloaded font data\n"
        bed.maker_removed = [("d", "ProgramData/Northwind/Updates/fonts.pkg"), ("e", "NWT Fonts/Cache/fonts-2.pkg")]
        for letter, relative in bed.maker_removed:
            bed.put(letter, relative, data)
        bed.put("d", "ProgramData/Northwind/Updates/fonts.pkg.old", data)
        bed.put("d", "ProgramData/Northwind/fonts.pkg", data)
        bed.put("d", "ProgramData/Northwind/Updates/10001", data)

    def drive(self, inside):
        runs = {}
        for argument in ("--help", "--version"):
            done = subprocess.run([PROGRAM, argument], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=STEP_GUARD_S)
            runs[argument] = (done.returncode, done.stdout.decode(), done.stderr.decode())
        check(runs["--version"] == (0, "opentype-updater 2.5.1\n", ""), f"--version: {runs['--version']}")
        code, out, err = runs["--help"]
        check(code == 0 and err == "" and out.startswith("Usage: opentype-updater\nNorthwind Font Updater\n")
              and "OpenType fonts of Northwind Type found" in out and "TAVRELON" not in out, f"--help: {runs['--help']}")

        p = inside.pipe()
        start = p.next_dialog()
        start.expect(BRAND_CAPTION, ["Next", "Cancel"], BRAND_START_TOP, close_box=False)
        check(start.shows(BRAND_START_TEXT), "start text:\n" + "\n".join(start.lines))
        check(start.focus() == "Next", f"focus in the start dialog: {start.buttons}")
        p.answer("")
        listing = p.next_dialog()
        listing.expect(BRAND_CAPTION, ["Update", "Cancel"], BRAND_LIST_TEXT, close_box=True)
        heading = listing.content.index("Font name") if "Font name" in listing.content else -1
        check(heading >= 0 and [line for line in listing.content[heading + 2:] if line] == inside.fonts,
              f"main list: {listing.content}")
        texts = [s.split(" | ", 1)[1] for s in listing.statuses if s.startswith("Searching | ")]
        drives = [t for t in texts if t.startswith("Searched drive ")]
        check(drives == [f"Searched drive {MOUNTS[letter]}/" for letter in "de"], f"drives reported {drives}")
        check(all(re.fullmatch(r"Searching /media/[de]/.+/", t) for t in texts if t not in drives),
              f"folders reported {texts}")
        p.answer("Update")
        end = p.next_dialog()
        end.expect("Confirm", ["Restart", "Cancel"], BRAND_M105, close_box=True)
        progress = [s for s in end.statuses if s.startswith("Updating Fonts")]
        wanted = expected_progress(inside.fonts, "Updating Fonts", "Updating {}", BRAND_STEPS)
        check(progress == wanted, "progress window states:\n  " + "\n  ".join(progress) +
              "\nexpected:\n  " + "\n  ".join(wanted))
        expect_caches_cleaned(inside)
        p.answer("Cancel")
        check(p.expect_exit() == 0, "exit status")
        expect_no_temporary_files(inside)

    def verify(self, bed):
        bed.expect_fonts_revised()
        for key in bed.maker_removed:
            bed.files[key][0] = "gone"
        super().verify(bed)


# --- running them ---------------------------------------------------------------
def inside_main(name):
    inside = Inside()
    try:
        assert_sandboxed()
        check(os.getppid() == 1, "the driver is not the sandbox init's child")
        SCENARIOS[name]().drive(inside)
    except Failure as error:
        inside.log("fail", why=str(error))
        return 1
    except Exception as error:  # the outer half reports whatever went wrong
        inside.log("fail", why=f"{type(error).__name__}: {error}")
        raise
    inside.log("end")
    return 0


class Harness:
    def __init__(self, build, corpus, work, program, valgrind=False, makers_corpus=None, system_font=None):
        self.build = build
        self.corpus = Corpus(corpus)
        # The font in fontconfig's own folder of the throw-away machine.
        self.system_font = system_font or corpus / "small" / "new.otf"
        self.makers_corpus = makers_corpus
        self.work = work
        self.program = program
        self.valgrind = valgrind
        self.sentinel = None


def preconditions(build, corpus, makers_corpus, packages, program):
    for package in packages:
        if package is None:
            if program is None or not program.exists():
                return f"scenarios of a made package need --program: {program} is missing"
            continue
        program_path = build / "bin" / "scenarios" / package / "opentype-updater"
        if not program_path.exists():
            return f"missing {program_path}: configure with -DOTU_SCENARIO_PACKAGES"
    for target in (MINCHO, GOTHIC, GOTHIC6):
        for side in ("old", "new"):
            if not (corpus / target[1] / f"{side}.otf").exists():
                return f"missing {corpus / target[1] / side}.otf: make the corpus with scripts/corpus"
    if "makers" in packages and not (makers_corpus / "manifest.json").exists():
        return f"missing {makers_corpus / 'manifest.json'}: make the corpus with scripts/corpus-makers"
    for tool in ("unshare", "mkfs.ext4", "debugfs", "losetup", "tmux", "setpriv", "fc-cache"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed (scripts/lib.sh host_packages)"
    # The programs carry difference files made from the corpus: both must be
    # of one making, or every revision fails.
    cache = build / "CMakeCache.txt"
    packages_dir = re.search(r"^OTU_SCENARIO_PACKAGES:PATH=(.*)$", cache.read_text(), re.M) if cache.exists() else None
    if packages_dir and packages - {None}:
        with tempfile.TemporaryDirectory() as work:
            for target, pa in PACKAGE_FILES.items():
                out = pathlib.Path(work) / "out.otf"
                subprocess.run([str(build / "bin" / "otpa"), "apply", str(corpus / target[1] / "old.otf"),
                                str(pathlib.Path(packages_dir.group(1)) / "main" / pa), "-o", str(out)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if not out.exists() or out.read_bytes() != (corpus / target[1] / "new.otf").read_bytes():
                    return (f"the scenario packages do not turn the corpus's {target[1]}/old.otf into new.otf: "
                            "make them again (tests/wine/scenario_packages.py) and rebuild")
    return None


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--inside", help=argparse.SUPPRESS)
    parser.add_argument("--build", type=pathlib.Path)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    parser.add_argument("--makers-corpus", type=pathlib.Path, default=ROOT / "build" / "corpus-makers")
    parser.add_argument("--only", nargs="*", default=None)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--screens", type=pathlib.Path)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--work", type=pathlib.Path)
    parser.add_argument("--valgrind", action="store_true",
                        help="run the program under valgrind's memcheck (errors and leaks fail it)")
    parser.add_argument("--program", type=pathlib.Path,
                        help="the program that the scenarios of a made package run (scripts/package's output)")
    args = parser.parse_args()
    if args.inside:
        return inside_main(args.inside)
    if args.list:
        for name, cls in SCENARIOS.items():
            print(f"{name:16} {' '.join((cls.__doc__ or '').split())}")
        return 0
    if args.build is None:
        parser.error("--build is required")
    names = args.only if args.only else [n for n, cls in SCENARIOS.items() if cls.package is not None]
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        print(f"unknown scenarios: {unknown}; see --list", file=sys.stderr)
        return 2
    if os.geteuid() != 0:
        print("SKIP: the sandbox needs root (namespaces, loop devices)")
        return 77
    build = args.build.resolve()
    corpus = args.corpus.resolve()
    program = args.program.resolve() if args.program else None
    problem = preconditions(build, corpus, args.makers_corpus.resolve(), {SCENARIOS[n].package for n in names},
                            program)
    if problem:
        print(problem, file=sys.stderr)
        return 2
    # ctest ends a test that overruns with SIGTERM: still clean up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = args.work.resolve() if args.work else pathlib.Path(tempfile.mkdtemp(prefix="otu-e2e-"))
    work.mkdir(parents=True, exist_ok=True)
    harness = Harness(build, corpus, work, program, args.valgrind, args.makers_corpus.resolve())
    # A process of the harness's own namespace that must outlive every
    # restart request made inside a sandbox.
    harness.sentinel = subprocess.Popen(["sleep", "3600"])
    failed = []
    began = time.monotonic()
    try:
        for name in names:
            cls = SCENARIOS[name]
            bed = Bed(harness, name, cls.package)
            try:
                cls().layout(bed)
                bed.make_images()
                bed.run(["--inside", name])
                cls().verify(bed)
                if args.screens is not None and (bed.root / "report" / "screens").is_dir():
                    args.screens.mkdir(parents=True, exist_ok=True)
                    for screen in (bed.root / "report" / "screens").iterdir():
                        shutil.copy(screen, args.screens / screen.name)
                print(f"PASS {name} ({bed.seconds:.1f} s)", flush=True)
                if not args.keep:
                    shutil.rmtree(bed.root, ignore_errors=True)
            except (Failure, subprocess.SubprocessError, OSError) as error:
                failed.append(name)
                print(f"FAIL {name}: {error}", flush=True)
                for event in bed.transcript[-12:]:
                    text = json.dumps(event, ensure_ascii=False)
                    print("    " + (text if len(text) < 600 else text[:600] + "…"), flush=True)
                for report in sorted((bed.root / "report").glob("valgrind.*")):
                    text = report.read_text(errors="replace").strip()
                    if text:
                        print(f"  {report.name}:\n    " + text[-3000:].replace("\n", "\n    "), flush=True)
                print(f"  sandbox kept: {bed.root}", flush=True)
    finally:
        harness.sentinel.kill()
        harness.sentinel.wait()
        if not failed and not args.keep and args.work is None:
            shutil.rmtree(work, ignore_errors=True)
    print(f"{len(names) - len(failed)} of {len(names)} scenarios passed in {time.monotonic() - began:.0f} s"
          + (f"; failed: {' '.join(failed)}" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
