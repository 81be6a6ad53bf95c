"""Where pages go: files replaced whole, special files written in place, standard output."""

from __future__ import annotations

import contextlib
import errno
import io
import os
import secrets
import stat
import sys
from pathlib import Path

from brelim_cli import streams

STDOUT = "-"

# Pages are bytes: no newline translation where the C runtime would make one (Windows).
BINARY = getattr(os, "O_BINARY", 0)


def new_tag() -> str:
    """A mark for the temporary files of one run, so that the run can find and remove its own."""
    return secrets.token_hex(6)


def resolve_target(target: Path | str) -> tuple[Path, os.stat_result | None]:
    """The file that writing to `target` changes, and its status; None for a file not there yet.

    A symbolic link is followed to the file it names, and its status is taken
    through the link: /dev/stdout names a pipe that realpath cannot. Raises
    OSError, save for a missing file (new, or named by a dangling link).
    """
    final = Path(target)
    status: os.stat_result | None = None
    with contextlib.suppress(FileNotFoundError):
        status = os.lstat(final)
        if stat.S_ISLNK(status.st_mode):
            status = None
            final = Path(os.path.realpath(final))
            status = os.stat(target)
    return final, status


# The bytes of a page's name that its temporary name keeps: with the dots, the
# tag and the suffix (18 bytes), any name the file system takes (255 bytes
# at most) gives a temporary name it takes too.
KEPT_BYTES = 100


def temporary_beside(final: Path, tag: str) -> Path:
    kept = final.name[:KEPT_BYTES]
    while len(os.fsencode(kept)) > KEPT_BYTES:  # counted in the file system's encoding, not in characters
        kept = kept[:-1]
    return final.with_name(f".{kept}.{tag}.tmp")


def temporary_path(target: Path | str, tag: str) -> Path:
    """The temporary file that `write_file(target, ..., tag=tag)` writes before renaming it into place."""
    return temporary_beside(resolve_target(target)[0], tag)


def discard_temporary(target: Path | str, tag: str) -> None:
    """Removes what a writer of `target` stopped before renaming, if anything."""
    # A target that cannot be looked at now could not be when it was written: no temporary was made.
    with contextlib.suppress(OSError):
        os.unlink(temporary_path(target, tag))


def write_all(descriptor: int, data: bytes) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(descriptor, view) :]


def write_in_place(path: Path, data: bytes) -> None:
    # A FIFO's reader, a device, a terminal: renaming over them would replace them, not feed them.
    descriptor = os.open(path, os.O_WRONLY | os.O_TRUNC | BINARY)
    try:
        write_all(descriptor, data)
    finally:
        os.close(descriptor)


def write_file(target: Path | str, data: bytes, *, tag: str | None = None) -> None:
    """Writes `data` to `target` whole or not at all.

    A regular file (or a new one) is replaced: the bytes go to a temporary
    file beside it, which is then renamed over it, so a reader never sees a
    partial page and a failure leaves whatever was there before; the file
    keeps its permissions. A symbolic link is written through: the file it
    names is replaced and the link stays. A file that is not a regular one (a
    FIFO, a device) is written in place. Missing parent folders are created.
    `tag` names the temporary file (see `temporary_path`); a fresh one by
    default. Raises OSError.
    """
    final, status = resolve_target(target)
    if status is not None and stat.S_ISDIR(status.st_mode):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), str(target))
    if status is not None and not stat.S_ISREG(status.st_mode):
        write_in_place(Path(target), data)
        return
    if status is None:
        final.parent.mkdir(parents=True, exist_ok=True)
    temporary = temporary_beside(final, tag or new_tag())
    # O_EXCL: never reuse someone else's file; 0o666 lets the umask decide, as for any new file.
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | BINARY, 0o666)
    try:
        try:
            if status is not None and hasattr(os, "fchmod"):
                os.fchmod(descriptor, stat.S_IMODE(status.st_mode))
            write_all(descriptor, data)
        finally:
            os.close(descriptor)
        os.replace(temporary, final)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


def write_stdout(data: bytes) -> None:
    """Writes `data` to standard output, unbuffered: a failure is the caller's to report, not the interpreter's at exit.

    Raises OSError (BrokenPipeError when the reader went away).
    """
    stream = sys.stdout
    if stream is None or streams.was_closed(1):  # started with it closed: the page must not go to the null device
        raise OSError(errno.EBADF, os.strerror(errno.EBADF))
    stream.flush()
    try:
        descriptor = stream.fileno()
    except (AttributeError, ValueError, io.UnsupportedOperation):  # replaced by an object without one
        stream.buffer.write(data)
        stream.buffer.flush()
        return
    if sys.platform == "win32":
        import msvcrt

        msvcrt.setmode(descriptor, os.O_BINARY)
    write_all(descriptor, data)


def names_folder(out: str) -> bool:
    """Whether `-o out` means a folder: it ends with a path separator or is one."""
    return out.endswith(tuple(filter(None, (os.sep, os.altsep)))) or os.path.isdir(out)
