"""Which documents a run converts, and where each page goes: one job for each."""

from __future__ import annotations

import errno
import os
import sys
import unicodedata
from collections.abc import Callable
from pathlib import Path

import brelim
from brelim_cli.convert import Job, decode_outline, html_path, read_outline
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.search import find_files
from brelim_cli.streams import was_closed
from brelim_cli.targets import names_folder

# No shell expands `*.outline` on Windows: the command does, as programs there are expected to.
EXPANDS_WILDCARDS = sys.platform == "win32"

# A single document larger than this, or whose fragment is, takes long enough
# to convert that it is converted in a worker process: parse_string holds the
# interpreter for the whole call, and the command must act on a Ctrl-C at once.
APART_DOCUMENT = 16 << 20
APART_FRAGMENT = 32 << 20


def page_key(target: Path) -> str:
    # Two pages clash when they differ only in letter case or Unicode composition,
    # as on the file systems of Windows and macOS (and on FAT or SMB disks anywhere).
    return unicodedata.normalize("NFC", str(target)).casefold()


def expand_wildcards(sources: list[str], wildcards: bool = EXPANDS_WILDCARDS) -> list[str]:
    """The sources with `*`, `?` and `[...]` expanded where no shell did it; a name that matches nothing stays."""
    if not wildcards:
        return sources
    import glob

    expanded: list[str] = []
    for name in sources:
        magic = name != "-" and any(mark in name for mark in "*?[") and not os.path.lexists(name)
        expanded.extend((sorted(glob.glob(name)) or [name]) if magic else [name])
    return expanded


def pages_into(sources: list[str], out: Path, pattern: str, error: Callable[[str], None]) -> list[Job]:
    """Every file to convert into the folder `out`, with its page; tells `error` of the sources that give none.

    A folder's files keep their paths below it; a file named on its own goes
    straight into `out`, even with a hidden name. The folder `out` is never
    searched. Two files whose pages would land on one path, letter case
    aside, are an error for the second, not a silent overwrite.
    """
    try:
        skip: os.stat_result | None = os.stat(out)
    except OSError:
        skip = None
    claimed: dict[str, tuple[Path, Path]] = {}  # each page's key: its source and the page
    seen: set[tuple[int, int] | str] = set()  # the files already planned, however they were named
    folder_errors: list[str] = []

    def count_error(message: str) -> None:
        folder_errors.append(message)
        error(message)

    for name in sources:
        source = Path(name)
        if source.is_dir():
            if skip is not None and os.path.samestat(os.stat(source), skip):
                error(f"{shown(source)}: is the output folder, never a source")
                continue
            failures = len(folder_errors)
            found = find_files(source, pattern, count_error, skip)
            if not found and len(folder_errors) == failures:
                error(f"{shown(source)}: no file in this folder matches {shown(pattern)}")
            pages = [(path, html_path(path, source, out)) for path in found]
        else:  # a file, or a name that reading will report as missing
            pages = [(source, html_path(source, source.parent, out))]
        for path, target in pages:
            identity = file_identity(path)
            if identity in seen:
                continue
            seen.add(identity)
            first = claimed.setdefault(page_key(target), (path, target))
            if first[0] != path:
                error(f"{shown(path)}: its page {shown(target)} would replace {clash(first, (path, target))}")
    return [Job(str(path), str(target)) for path, target in claimed.values()]


def file_identity(path: Path) -> tuple[int, int] | str:
    """What tells a file from any other, however its folders are named: its device and number, or its absolute
    path. A symbolic link is a file of its own, whose name decides its page, wherever it leads."""
    try:
        status = os.lstat(path)
    except OSError:
        return os.path.abspath(path)
    return (status.st_dev, status.st_ino)


def clash(first: tuple[Path, Path], second: tuple[Path, Path]) -> str:
    """How the page of `second` would replace that of `first` (each a source and its page), named so that
    the two can be told apart."""
    (first_source, first_page), (second_source, second_page) = first, second
    if first_page == second_page:
        return f"that of {shown(first_source)}"
    if unicodedata.normalize("NFC", str(first_page)) == unicodedata.normalize("NFC", str(second_page)):
        return (
            f"that of {shown(first_source)}: the same name in two Unicode compositions "
            f"({composition(second_source)} and {composition(first_source)}), which some disks do not tell apart"
        )
    return f"that of {shown(first_source)} on a disk that ignores letter case"


def composition(path: Path) -> str:
    for form in ("NFC", "NFD"):
        if unicodedata.is_normalized(form, str(path)):
            return form
    return "mixed"


def single_job(source: str, out: str | None) -> tuple[Job, bool]:
    """The job of a run of one file or standard input, and whether it is converted apart, in a worker process,
    for it could keep the interpreter from a Ctrl-C for more than a moment. Raises ConversionError.

    `out` is the page's file, a folder for it, or None for standard output. The
    document is read here, save for a file too large to read twice over.
    """
    if source == "-":
        if out is not None and reads_from(out):
            raise ConversionError("standard input: would be overwritten by its own page")
        text = read_stdin()
        return Job(None, out, text), takes_long(text)
    target = out
    if out is not None and names_folder(out):
        target = str(html_path(Path(source), Path(source).parent, Path(out)))
    try:
        if os.path.getsize(source) > APART_DOCUMENT:
            return Job(source, target), True
    except OSError:
        return Job(source, target), False  # told by the conversion, which reads the file again
    text = read_outline(source)
    return Job(source, target, text), takes_long(text)


def takes_long(text: str) -> bool:
    """Whether converting `text` could keep the interpreter from a Ctrl-C for more than a moment."""
    return len(text) > APART_DOCUMENT or brelim._fragment_size(text, APART_FRAGMENT)[0] > APART_FRAGMENT


def read_stdin() -> str:
    try:
        if was_closed(0):  # the null device stands in for it: reading it would give an empty page
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        data = sys.stdin.buffer.read()
    except OSError as error:
        raise ConversionError(f"standard input: cannot read: {os_message(error)}") from None
    return decode_outline(data, "standard input")


def reads_from(target: str) -> bool:
    """Whether standard input is the file `target`."""
    try:
        return not was_closed(0) and os.path.samestat(os.fstat(0), os.stat(target))
    except OSError:
        return False
