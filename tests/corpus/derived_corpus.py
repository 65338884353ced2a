"""What the corpus derivations share: a stamp of what a corpus is made from,
one derivation at a time for every build folder that shares the corpus, and
files written whole."""

import contextlib
import fcntl
import hashlib
import os
import time

import fontTools


def stamp_text(script, sources):
    """Names what a corpus is made from: the deriving script, the fontTools
    version and each source font (its size and modification time: a package
    update may keep a file's size)."""
    digest = hashlib.sha256()
    with open(os.path.abspath(script), "rb") as f:
        digest.update(f.read())
    digest.update(fontTools.version.encode())
    for source in sources:
        info = os.stat(source)
        digest.update(("%s:%d:%d" % (source, info.st_size, info.st_mtime_ns)).encode())
    return digest.hexdigest() + "\n"


def write_atomically(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


@contextlib.contextmanager
def deriving(out, stamp, expected, label):
    """Yields True when the corpus in `out` must be derived again (the stamp
    is written once the caller has written every file), False when its stamp
    and the files `expected` (paths below `out`) are there already."""
    os.makedirs(out, exist_ok=True)
    stamp_path = os.path.join(out, "stamp")
    with open(os.path.join(out, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(stamp_path) as f:
                current = f.read() == stamp
        except OSError:
            current = False
        if current and all(os.path.isfile(os.path.join(out, path)) for path in expected):
            print("%s up to date in %s" % (label, out))
            yield False
            return
        started = time.time()
        if os.path.exists(stamp_path):
            os.remove(stamp_path)
        yield True
        write_atomically(stamp_path, stamp.encode())
        print("%s generated in %.0f s" % (label, time.time() - started))
