"""Which files a run converts, and where each page goes."""

from __future__ import annotations

import os
import sys
import unicodedata
from collections.abc import Callable
from pathlib import Path
from typing import NamedTuple

from brelim_cli.convert import find_files, html_path
from brelim_cli.errors import shown

# No shell expands `*.outline` on Windows: the command does, as programs there are expected to.
EXPANDS_WILDCARDS = sys.platform == "win32"


class Page(NamedTuple):
    """One file to convert, and the page it becomes."""

    source: Path
    target: Path


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


def pages_into(sources: list[str], out: Path, pattern: str, error: Callable[[str], None]) -> list[Page]:
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
    claimed: dict[str, Page] = {}
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
            pages = [Page(path, html_path(path, source, out)) for path in found]
        else:  # a file, or a name that reading will report as missing
            pages = [Page(source, html_path(source, source.parent, out))]
        for page in pages:
            identity = file_identity(page.source)
            if identity in seen:
                continue
            seen.add(identity)
            first = claimed.setdefault(page_key(page.target), page)
            if first.source != page.source:
                error(f"{shown(page.source)}: its page {shown(page.target)} would replace {clash(first, page)}")
    return list(claimed.values())


def file_identity(path: Path) -> tuple[int, int] | str:
    """What tells a file from any other, however it is named: its device and number, or its absolute path."""
    try:
        status = os.stat(path)
    except OSError:
        return os.path.abspath(path)
    return (status.st_dev, status.st_ino)


def clash(first: Page, second: Page) -> str:
    """How the page of `second` would replace that of `first`, named so that the two can be told apart."""
    if first.target == second.target:
        return f"that of {shown(first.source)}"
    if unicodedata.normalize("NFC", str(first.target)) == unicodedata.normalize("NFC", str(second.target)):
        return (
            f"that of {shown(first.source)}: the same name in two Unicode compositions "
            f"({composition(second.source)} and {composition(first.source)}), which some disks do not tell apart"
        )
    return f"that of {shown(first.source)} on a disk that ignores letter case"


def composition(path: Path) -> str:
    for form in ("NFC", "NFD"):
        if unicodedata.is_normalized(form, str(path)):
            return form
    return "mixed"
