"""Which files a run converts, and where each page goes."""

from __future__ import annotations

import os
import sys
import unicodedata
from collections.abc import Callable
from pathlib import Path
from typing import NamedTuple

from brelim_cli.convert import find_files, html_path

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
    folder_errors: list[str] = []

    def count_error(message: str) -> None:
        folder_errors.append(message)
        error(message)

    for name in sources:
        source = Path(name)
        if source.is_dir():
            if skip is not None and os.path.samestat(os.stat(source), skip):
                error(f"{source}: is the output folder, never a source")
                continue
            failures = len(folder_errors)
            found = find_files(source, pattern, count_error, skip)
            if not found and len(folder_errors) == failures:
                error(f"{source}: no file in this folder matches {pattern}")
            pages = [Page(path, html_path(path, source, out)) for path in found]
        else:  # a file, or a name that reading will report as missing
            pages = [Page(source, html_path(source, source.parent, out))]
        for page in pages:
            first = claimed.setdefault(page_key(page.target), page)
            if first.source != page.source:
                aside = "" if first.target == page.target else " on a disk that ignores letter case"
                error(f"{page.source}: its page {page.target} would replace that of {first.source}{aside}")
    return list(claimed.values())
