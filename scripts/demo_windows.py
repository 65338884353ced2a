"""The demo's Windows half: OpenTypeUpdater.exe with the demo package under
Wine, in the Windows test bed's prefix (build/win32/ui-wine) with sandbox
folders as drives D: and E:. On the user's display it waits for the user;
without one it runs on Xvfb, takes each default answer and キャンセル at the
restart question, and writes a screenshot of every dialog it passes."""
import os
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import scenarios  # noqa: E402

WIN32 = ROOT / "build" / "win32"


# What the driver does on Xvfb: the defaults, a picture of each dialog. A
# maker's program is known by its own title, an English one by its English
# captions.
def script(title=None, english=False):
    captions = dict(scenarios.BRAND_CAPTIONS) if english else {}
    if title is not None:
        captions.update({102: title, 129: title, 100: f"About {title}" if english else f"{title}のﾊﾞｰｼﾞｮﾝ情報"})
    steps = [f"caption {t} {c}" for t, c in captions.items()] + scenarios.START + ["shot demo-129-start", "key enter", "wait 170 30000", "wait 102 120000"]
    steps += ["shot demo-102-main-list", "press 1", "wait 130 30000", "shot demo-130-progress",
              "wait 134 120000", "shot demo-134-end", "press 2", "exit 30000"]
    return steps


def run(fonts, work, title=None, english=False):
    """Runs work/programs/OpenTypeUpdater.exe with `fonts` (scripts/rehearse.py's
    Placed) on D: and E:; true when each became what the package makes of it,
    or stayed as it was where the package has nothing for it."""
    corpus = scenarios.Corpus(ROOT / "build" / "corpus")
    user_display = os.environ.get("DISPLAY")
    shots = None if user_display else work / "screenshots"
    bed = scenarios.Bed(WIN32, shots)
    s = scenarios.Scenario(bed, corpus, "demo")
    s.program = work / "programs" / "OpenTypeUpdater.exe"
    for font in fonts:
        states = {"old": font.old} if font.new is None else {"old": font.old, "new": font.new}
        path = s.put(font.letter, font.relative, font.old, states, "old")
        s.expect(s.windows_of(path), "old" if font.new is None else "new")
    try:
        if user_display:
            bed.env["DISPLAY"] = user_display
            bed.ensure_prefix()
            shutil.copy(s.program, s.d / "OpenTypeUpdater.exe")
            bed.map_drives({letter: folder for letter, folder in (("d", s.d), ("e", s.e)) if folder})
            print(f"OpenTypeUpdater.exe on {user_display}: the fonts are on D: and E: of the prefix {bed.prefix}",
                  flush=True)
            subprocess.run(["wine", "D:\\OpenTypeUpdater.exe"], env=bed.env, cwd=s.d)
            bed.kill_server()
        else:
            bed.start_x()
            bed.ensure_prefix()
            print("OpenTypeUpdater.exe on Xvfb: each default answer, キャンセル at the restart question", flush=True)
            transcript = s.run(script(title, english))
            print("dialogs: " + " → ".join(str(t) for t in transcript.sequence()))
    finally:
        bed.map_drives({})
        bed.stop_x()
    as_wanted = 0
    for path, (expected, states) in s.files.items():
        now = scenarios.digest(path.read_bytes())
        state = next((k for k, v in states.items() if v == now), "other bytes")
        as_wanted += state == expected
        print(f"  {s.windows_of(path)}: {'the new revision' if state == 'new' else state}")
    if shots is not None:
        for shot in sorted(shots.glob("demo-*.png")):
            print(f"  screenshot: {shot}")
    print(f"{sum(f.new is not None for f in fonts)} installed fonts to revise, "
          f"{as_wanted} of {len(s.files)} fonts as they should be.")
    return as_wanted == len(s.files)
