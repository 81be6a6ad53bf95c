"""Writing the site's files: a note's page finished from its start, and every other file, never over a stranger's.

Each file is written only when its bytes changed (so its time stays), and
never over a file in the way that no earlier build wrote (see `manifest`).
"""

from __future__ import annotations

import contextlib
import os
import stat
from dataclasses import dataclass
from pathlib import Path
from typing import NamedTuple

from brelim_cli.errors import os_message, shown
from brelim_cli.site.generated import Pages
from brelim_cli.site.layout import END
from brelim_cli.site.lists import backlinks
from brelim_cli.site.manifest import in_the_way, same_bytes, write_if_changed
from brelim_cli.site.note_pages import write_new
from brelim_cli.site.urls import INDEX, Place
from brelim_cli.targets import temporary_beside


@dataclass(frozen=True)
class SecondPass:
    out: Path
    earlier: frozenset[str]  # what the earlier build wrote
    tag: str  # the build's temporary files
    pages: Pages | None = None  # what the pages of the second pass are made of

    def stranger(self, place: Place) -> Written | None:
        """The refusal of a file at `place` that no earlier build wrote, if one is there."""
        if in_the_way(self.out, place, self.earlier):
            target = self.out.joinpath(*place)
            return Written(
                place,
                f"{shown(target)}: is in the way: no earlier build of this site wrote it; "
                "move it, or build the site into another folder",
            )
        return None

    def put(self, place: Place, data: bytes) -> Written:
        """Writes the site's file at `place`, unless a stranger's file is in the way."""
        target = self.out.joinpath(*place)
        try:
            if not os.path.lexists(target):  # a new file: nothing in the way, nothing to compare
                write_fresh(target, data, self.tag)
                return Written(place, None)
            refused = self.stranger(place)
            if refused is not None:
                return refused
            write_if_changed(target, data, self.tag)
        except OSError as error:
            return Written(place, f"{shown(target)}: cannot write: {os_message(error)}")
        return Written(place, None)


def write_fresh(target: Path, data: bytes, tag: str) -> None:
    """Writes the file `target`, not there yet, whole or not at all: by way of its temporary file, which is
    renamed into place. Makes the folders that are missing. Raises OSError."""
    temporary = temporary_beside(target, tag)
    try:
        write_new(temporary, data)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


class Written(NamedTuple):
    place: Place
    error: str | None


class Finishing(NamedTuple):
    """A page the second pass makes, in a worker: a note's (`number` 0 or more) or a tag's (`word`)."""

    place: Place
    number: int
    word: str = ""


def finish_page(run: SecondPass, item: Finishing) -> Written:
    """A tag's page, or a note's page from its start in the first pass, its lists, backlinks and end."""
    assert run.pages is not None
    if item.number < 0:
        tagged = run.pages.tagged[item.word]
        return run.put(item.place, run.pages.tag_page(item.word, tagged).encode("utf-8", "replace"))
    target = run.out.joinpath(*item.place)
    part = temporary_beside(target, run.tag)
    pages = run.pages
    folder = item.place[:-1]
    lists = pages.folder_lists(folder) if item.place[-1] == INDEX else ""
    tail = lists + backlinks(pages.linked.get(item.number, []), pages.listing, pages.site, folder) + END
    try:
        try:
            status: os.stat_result | None = os.lstat(target)
        except FileNotFoundError:
            status = None  # a new page: nothing in the way, nothing to compare
        refused = None if status is None else run.stranger(item.place)
        if refused is not None:
            os.unlink(part)
            return refused
        with open(part, "ab") as file:
            file.write(tail.encode("utf-8", "replace"))
        if status is not None and same_bytes(part, target):
            os.unlink(part)
            return Written(item.place, None)
        if status is not None and stat.S_ISREG(status.st_mode):  # the page keeps its permissions
            os.chmod(part, stat.S_IMODE(status.st_mode))
        os.replace(part, target)
    except OSError as error:
        with contextlib.suppress(OSError):
            os.unlink(part)
        return Written(item.place, f"{shown(target)}: cannot write: {os_message(error)}")
    return Written(item.place, None)


def copy_attachment(run: SecondPass, place: Place, source: Path) -> Written:
    """A file of the notes that a note links to, copied to the same place in the site when it changed.

    The copy takes its source's time, by which a later build knows it unchanged without reading it.
    """
    target = run.out.joinpath(*place)
    try:
        status = os.stat(source)
        with contextlib.suppress(OSError):
            copy = os.stat(target)
            if (
                copy.st_size == status.st_size
                and copy.st_mtime_ns == status.st_mtime_ns
                and ("/".join(place) in run.earlier)
            ):
                return Written(place, None)
        written = run.put(place, source.read_bytes())
        if written.error is None:
            os.utime(target, ns=(status.st_atime_ns, status.st_mtime_ns))
        return written
    except OSError as error:
        return Written(place, f"{shown(source)}: cannot copy into the site: {os_message(error)}")
