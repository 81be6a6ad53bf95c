"""Which files under a folder a run converts: names matched, hidden names and links to folders passed by."""

from __future__ import annotations

import fnmatch
import os
import stat
import sys
from collections.abc import Callable
from pathlib import Path

from brelim_cli.errors import ConversionError, os_message, shown

DEFAULT_GLOB = "*.outline"

# Explorer's hidden files are skipped there as dot-files are everywhere.
HIDDEN = stat.FILE_ATTRIBUTE_HIDDEN if sys.platform == "win32" else 0


def hidden(path: str, name: str) -> bool:
    if name.startswith("."):
        return True
    return bool(HIDDEN and getattr(os.lstat(path), "st_file_attributes", 0) & HIDDEN)


def matches(path: str, name: str, pattern: str, folder: Path | None) -> bool:
    """Whether `name` matches `pattern`, or with `folder`, the end of `path` below `folder`."""
    if folder is None:
        return fnmatch.fnmatch(name, pattern)
    return Path(path).relative_to(folder).match(pattern)  # sub/*.outline, as Path.rglob had it


def is_file(path: str) -> bool:
    """Whether `path` is a regular file or a link to one; raises OSError, for a dangling link as for a loop."""
    return stat.S_ISREG(os.stat(path).st_mode)


def find_files(
    folder: Path, pattern: str, error: Callable[[str], None], skip: os.stat_result | None = None
) -> list[Path]:
    """The files under `folder` whose names match `pattern`, sorted; hidden names and the folder `skip` are passed by.

    A pattern with a path separator is matched against the end of the
    path below `folder`. Symbolic links to files count, links to folders are
    not followed (no loops). Each folder that cannot be read, and each name
    that cannot be looked at (a link to nothing, or to itself), is told to `error`. The match ignores letter
    case where the file system does (Windows).
    """
    while pattern.startswith(("**/", "**" + os.sep)):  # every depth is searched anyway
        pattern = pattern[3:]
    below = folder if any(separator in pattern for separator in filter(None, (os.sep, os.altsep))) else None
    found: list[Path] = []

    def unreadable(failure: OSError) -> None:
        error(f"{shown(Path(failure.filename))}: cannot read this folder: {os_message(failure)}")

    for top, folders, names in os.walk(folder, onerror=unreadable):
        here = str(Path(top))  # `./sub` named as `sub`
        kept = []
        for name in folders:
            path = os.path.join(here, name)
            try:
                if not hidden(path, name) and (skip is None or not os.path.samestat(os.lstat(path), skip)):
                    kept.append(name)
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
        # Searched depth first, the last listed first (which orders the folders told to `error`).
        folders[:] = reversed(kept)
        for name in names:
            path = os.path.join(here, name)
            try:
                if not hidden(path, name) and matches(path, name, pattern, below) and is_file(path):
                    found.append(Path(path))
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
    return sorted(found)


def outline_files(folder: Path | str, pattern: str = DEFAULT_GLOB) -> list[Path]:
    """The files under `folder`, at any depth, whose names match `pattern`, sorted.

    Names that start with `.` (and hidden files on Windows) are left out, in
    `folder` and below. Raises ConversionError when a folder cannot be read.
    """

    def fail(message: str) -> None:
        raise ConversionError(message)

    return find_files(Path(folder), pattern, fail)
