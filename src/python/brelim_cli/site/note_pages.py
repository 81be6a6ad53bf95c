"""A note's page, up to what the whole site decides (its folder's list, its backlinks): the first pass.

A worker converts the note, points every anchor where the site resolves
it, and writes the page's start to the page's temporary file (to the page itself in
a site folder that held nothing); only what the rest of the
build needs crosses back: the dead links, the headlines that carry each
hashtag and those that link to another page, already rendered as the page
that lists them shows them (one string for each tag or linked page). Only
hrefs change: every other byte of the fragment is `parse_string`'s.
"""

from __future__ import annotations

import contextlib
import dataclasses
import functools
import html
import operator
import os
from dataclasses import dataclass
from pathlib import Path
from typing import NamedTuple

import brelim
from brelim_cli.convert import read_outline
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.left_out import Findings
from brelim_cli.limits import check_page_size, page_limit, shown_size
from brelim_cli.page import left_out_note
from brelim_cli.site.hrefs import TAGS_HERE, folder_prefixes, hrefs_of
from brelim_cli.site.layout import crumbs, page_start
from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.urls import Place, display, relative_url, root_url
from brelim_cli.targets import BINARY, temporary_beside, write_all

# A note's headlines as the page that lists them shows them: a heading that links to the note, then a list item
# for each headline. One string for each note and tag (shown on the tag's page) or note and page it links to
# (shown on that page), rendered in the first pass: many cross between processes and stay till the end.
Items = str


class DeadLink(NamedTuple):
    line: int  # from 0
    column: int  # from 0
    target: str
    reason: str


@dataclass
class NoteResult:
    number: int
    error: str | None
    findings: Findings
    headlines: int = 0
    dead: list[DeadLink] | None = None
    # (word in lower case, its headlines' count, their items), in the order the words first appear
    tags: list[tuple[str, int, Items]] | None = None
    links: list[tuple[int, Items]] | None = None  # (the number of the note linked to, the headlines' items)
    files: set[Place] | None = None  # the other files of the notes it links to
    in_place: bool = False  # its page's start is at the page's own place, not in its temporary file

    def __reduce__(self) -> tuple[type[NoteResult], tuple[object, ...]]:
        # Sent from a worker for every note: its fields in order cost less to send and rebuild than its dict.
        return (NoteResult, result_fields(self))


result_fields = operator.attrgetter(*(field.name for field in dataclasses.fields(NoteResult)))


@dataclass(frozen=True)
class FirstPass:
    """What a worker needs to start every note's page."""

    listing: Listing
    own: frozenset[str]  # the keys of every file the site writes itself (see urls.page_key)
    site: str
    css: str | None
    out: Path
    tag: str  # the build's temporary files, where the pages' starts wait
    warn: bool = False
    max_page_size: int | None = None
    fresh: bool = False  # the site's folder held nothing: a page's start is written in its place

    def part(self, note: Note) -> Path:
        """Where the start of the note's page waits for the second pass: its temporary file."""
        return temporary_beside(self.out.joinpath(*note.page), self.tag)


def write_new(path: Path | str, data: bytes, missing_only: bool = False) -> bool:
    """Writes `data` into the new file `path`, making its folders when they are missing; True when written.

    With `missing_only`, anything already at `path` (a dangling link too) is left alone and False returned;
    a failure after the file was made removes it. Raises OSError.
    """
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | BINARY
    try:
        try:
            descriptor = os.open(path, flags, 0o666)
        except FileNotFoundError:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            descriptor = os.open(path, flags, 0o666)
    except FileExistsError:
        if missing_only:
            return False
        raise
    try:
        try:
            write_all(descriptor, data)
        finally:
            os.close(descriptor)
    except BaseException:
        if missing_only:
            with contextlib.suppress(OSError):
                os.unlink(path)
        raise
    return True


def note_title(note: Note, site: str) -> str:
    if note.page[-1] == "index.html":
        return display(note.folder[-1]) if note.folder else site
    return display(note.stem)


@functools.lru_cache(maxsize=1 << 12)
def folder_trail(site: str, folder: Place, index: bool) -> str:
    """The way up from a page in `folder` (`index`: the folder's own) as far as the page's title: the same for
    every note of the folder."""
    return crumbs(site, folder, None, index)


def start_note_page(run: FirstPass, note: Note) -> NoteResult:
    """The first pass over one note, in a worker; a failure is its result's message, never an exception."""
    result = NoteResult(note.number, None, Findings(str(note.source), run.warn))
    try:
        text = read_outline(note.source)
        limit = page_limit(text, run.max_page_size)
        check_page_size(str(note.source), text, limit)
        title = note_title(note, run.site)
        shown_title = html.escape(title)
        try:
            body = point_anchors(run, note, text, shown_title, result, limit)
            left_out = brelim._left_out(text)
        except MemoryError:
            raise ConversionError(f"{shown(note.source)}: out of memory") from None
        index = note.page[-1] == "index.html"
        trail = folder_trail(run.site, note.folder, index)
        if not index:
            trail = f"{trail} / {shown_title}"
        foot = left_out_note(text, left_out, result.headlines > 0)
        page = page_start(title, display(run.site), note.folder, trail, run.css)
        # Encoded apart: joined to the head's "·", the body would be encoded a character at a time.
        tail = f"{foot}\n".encode() if foot else b""
        start = b"".join((page.encode(), b"<main>\n", body, b"\n</main>\n", tail))
        try:
            # A str, not a Path: one for each note, a Path's parsing costs as much as the write.
            result.in_place = run.fresh and write_new(os.path.join(run.out, *note.page), start, missing_only=True)
            if not result.in_place:
                write_new(run.part(note), start)
        except OSError as error:
            raise ConversionError(f"{shown(note.source)}: cannot write its page: {os_message(error)}") from None
        result.findings.check(text, left_out)
    except ConversionError as error:
        result.error = str(error)
    except Exception as error:  # noqa: BLE001 - a fault of this program: told, and the other notes still built
        result.error = f"{shown(note.source)}: internal fault: {type(error).__name__}: {error}"
    if result.error is not None and result.in_place:  # no second pass ends it
        result.in_place = False
        with contextlib.suppress(OSError):
            run.out.joinpath(*note.page).unlink()
    return result


def point_anchors(run: FirstPass, note: Note, text: str, title: str, result: NoteResult, limit: int) -> bytes:
    """The note's fragment, as UTF-8, with each anchor's href pointed where the site resolves it; fills `result`
    with the headline count, the dead links, the carried files and the headlines' groups (`title` as HTML).

    Raises ConversionError when the groups would take more than `limit` bytes (0: no limit): a headline is
    copied once for each hashtag it carries, which grows with the square of its length.
    """
    folder, page = note.folder, note.page
    answer = brelim._site_page(
        text,
        hrefs_of(run.listing, run.own),
        folder_prefixes(folder),
        root_url(folder) if folder else "",
        root_url(page),
        relative_url(TAGS_HERE, page),
        note.number,
        title,
        limit,
    )
    if len(answer) == 3:
        _, line, copies = answer
        why = f"is listed {copies:,} times" if copies > 1 else "takes the most"
        raise ConversionError(
            f"{shown(note.source)}: page refused: its headlines, listed on tag pages and as backlinks, would take "
            f"more than {shown_size(limit)} (--max-page-size): the headline of line {line + 1} {why}"
        )
    headlines, body, dead, tags, links, files = answer
    result.headlines, result.tags, result.links = headlines, tags, links
    result.dead = [DeadLink._make(row) for row in dead]
    result.files = set(files)
    return body
