"""Which files a run converts, and where each page goes."""

from __future__ import annotations

import fnmatch
import os
import stat
import sys
import unicodedata
from pathlib import Path
from typing import Callable

from brelim_cli.errors import ConversionError, reason

DEFAULT_GLOB = "*.outline"

# Explorer's hidden files are skipped there as dot-files are everywhere.
HIDDEN = stat.FILE_ATTRIBUTE_HIDDEN if sys.platform == "win32" else 0
# No shell expands `*.outline` on Windows: the command does, as programs there are expected to.
EXPANDS_WILDCARDS = sys.platform == "win32"


def hidden(entry: os.DirEntry) -> bool:
    if entry.name.startswith("."):
        return True
    return bool(HIDDEN and getattr(entry.stat(follow_symlinks=False), "st_file_attributes", 0) & HIDDEN)


def matches(entry: os.DirEntry, pattern: str, folder: Path | None) -> bool:
    """Whether `entry`'s name matches `pattern`, or with `folder`, the end of its path below `folder`."""
    if folder is None:
        return fnmatch.fnmatch(entry.name, pattern)
    return Path(entry.path).relative_to(folder).match(pattern)  # sub/*.outline, as Path.rglob had it


def walk(folder: Path, pattern: str, error: Callable[[str], None], skip: os.stat_result | None = None) -> list[Path]:
    """The files under `folder` whose names match `pattern`, sorted; hidden names and the folder `skip` are passed by.

    A pattern with a path separator is matched against the end of the
    path below `folder`. Symbolic links to files count, links to folders are
    not followed (no loops). Each folder that cannot be read is told to
    `error`. The match ignores letter case where the file system does
    (Windows).
    """
    while pattern.startswith(("**/", "**" + os.sep)):  # every depth is searched anyway
        pattern = pattern[3:]
    below = folder if any(separator in pattern for separator in filter(None, (os.sep, os.altsep))) else None
    found: list[Path] = []
    folders = [folder]
    while folders:
        current = folders.pop()
        try:
            with os.scandir(current) as listing:
                entries = list(listing)
        except OSError as failure:
            error(f"{current}: cannot read this folder: {reason(failure)}")
            continue
        for entry in entries:
            try:
                if hidden(entry):
                    continue
                if entry.is_dir(follow_symlinks=False):
                    # os.lstat: a DirEntry's own stat has no inode on Windows.
                    if skip is None or not os.path.samestat(os.lstat(entry.path), skip):
                        folders.append(Path(entry.path))
                elif matches(entry, pattern, below) and entry.is_file():
                    found.append(Path(entry.path))
            except OSError as failure:
                error(f"{entry.path}: cannot read: {reason(failure)}")
    return sorted(found)


def outline_files(folder: Path | str, pattern: str = DEFAULT_GLOB) -> list[Path]:
    """The files under `folder`, at any depth, whose names match `pattern`, sorted.

    Names that start with `.` (and hidden files on Windows) are left out, in
    `folder` and below. Raises ConversionError when a folder cannot be read.
    """

    def fail(message: str) -> None:
        raise ConversionError(message)

    return walk(Path(folder), pattern, fail)


def html_path(path: Path, folder: Path, out: Path) -> Path:
    """Where the page of `path`, found under `folder`, goes under `out`."""
    return out / path.relative_to(folder).with_suffix(".html")


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


def plan(sources: list[str], out: Path, pattern: str, error: Callable[[str], None]) -> list[tuple[Path, Path]]:
    """(source, target) of every file to convert into the folder `out`; tells `error` of the sources that give none.

    A folder's files keep their paths below it; a file named on its own goes
    straight into `out`, even with a hidden name. The folder `out` is never
    searched. Two files whose pages would land on one path, letter case
    aside, are an error for the second, not a silent overwrite.
    """
    try:
        skip: os.stat_result | None = os.stat(out)
    except OSError:
        skip = None
    claimed: dict[str, tuple[Path, Path]] = {}
    told: list[str] = []

    def tell(message: str) -> None:
        told.append(message)
        error(message)

    for name in sources:
        source = Path(name)
        if source.is_dir():
            if skip is not None and os.path.samestat(os.stat(source), skip):
                error(f"{source}: is the output folder, never a source")
                continue
            failures = len(told)
            found = walk(source, pattern, tell, skip)
            if not found and len(told) == failures:
                error(f"{source}: no file in this folder matches {pattern}")
            pairs = [(path, html_path(path, source, out)) for path in found]
        else:  # a file, or a name that reading will report as missing
            pairs = [(source, out / Path(source.name).with_suffix(".html"))]
        for path, target in pairs:
            first, first_target = claimed.setdefault(page_key(target), (path, target))
            if first != path:
                aside = "" if first_target == target else " on a disk that ignores letter case"
                error(f"{path}: its page {target} would replace that of {first}{aside}")
    return list(claimed.values())
