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
from brelim_cli.site.urls import ALL_TAGS, INDEX, TAGS, Place
from brelim_cli.targets import BINARY, temporary_beside, write_all


@dataclass(frozen=True)
class SecondPass:
    out: Path
    earlier: frozenset[str]  # what the earlier build wrote
    tag: str  # the build's temporary files
    pages: Pages | None = None  # what the pages of the second pass are made of
    fresh: bool = False  # the site's folder held nothing when the build began

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
            # A new file: nothing in the way, nothing to compare, no reader of an earlier one.
            if write_new(target, data, missing_only=True):
                return Written(place, None)
            refused = self.stranger(place)
            if refused is not None:
                return refused
            write_if_changed(target, data, self.tag)
        except OSError as error:
            return Written(place, f"{shown(target)}: cannot write: {os_message(error)}")
        return Written(place, None)


class Written(NamedTuple):
    place: Place
    error: str | None


class Finishing(NamedTuple):
    """A page the second pass makes, in a worker: a note's (`number` 0 or more), a tag's (`word`), or else a
    folder's generated index or the list of tags, by its place."""

    place: Place
    number: int
    word: str = ""
    in_place: bool = False  # the note's page was new: its start is at its place already


def finish_in_place(target: Path, tail: bytes, place: Place) -> Written:
    """Ends the page at `target`, whose start the first pass wrote there; a failure removes it."""
    try:
        descriptor = os.open(target, os.O_WRONLY | os.O_APPEND | BINARY)
        try:
            write_all(descriptor, tail)
        finally:
            os.close(descriptor)
    except OSError as error:
        with contextlib.suppress(OSError):
            os.unlink(target)
        return Written(place, f"{shown(target)}: cannot write: {os_message(error)}")
    return Written(place, None)


def finish_page(run: SecondPass, item: Finishing) -> Written:
    """A page the site makes (see `Finishing`), or a note's page from its start in the first pass, its lists,
    backlinks and end."""
    pages = run.pages
    assert pages is not None
    if item.number < 0:
        if item.word:
            return run.put(item.place, pages.tag_page(item.word))
        page = pages.all_tags_page() if item.place == (TAGS, ALL_TAGS) else pages.index_page(item.place[:-1])
        return run.put(item.place, page.encode("utf-8", "replace"))
    target = run.out.joinpath(*item.place)
    folder = item.place[:-1]
    lists = pages.folder_lists(folder) if item.place[-1] == INDEX else ""
    tail = lists + backlinks(pages.link_groups_of(item.number)) + END
    if item.in_place:
        return finish_in_place(target, tail.encode("utf-8", "replace"), item.place)
    part = temporary_beside(target, run.tag)
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
