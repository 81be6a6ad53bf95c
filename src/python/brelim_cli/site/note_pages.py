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
import html
import os
from dataclasses import dataclass
from pathlib import Path
from typing import Any, NamedTuple

import brelim
from brelim_cli.convert import read_outline
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.left_out import Findings
from brelim_cli.limits import check_page_size
from brelim_cli.page import left_out_note
from brelim_cli.site.hrefs import ATTACHMENT, TAGS_HERE, hrefs_of, shared_key
from brelim_cli.site.layout import crumbs, page_start
from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.urls import TAGS, Place, display, relative_url
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


def write_new(path: Path, data: bytes, missing_only: bool = False) -> bool:
    """Writes `data` into the new file `path`, making its folders when they are missing; True when written.

    With `missing_only`, anything already at `path` (a dangling link too) is left alone and False returned;
    a failure after the file was made removes it. Raises OSError.
    """
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | BINARY
    try:
        try:
            descriptor = os.open(path, flags, 0o666)
        except FileNotFoundError:
            path.parent.mkdir(parents=True, exist_ok=True)
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


def start_note_page(run: FirstPass, note: Note) -> NoteResult:
    """The first pass over one note, in a worker; a failure is its result's message, never an exception."""
    result = NoteResult(note.number, None, Findings(str(note.source), run.warn))
    try:
        text = read_outline(note.source)
        check_page_size(str(note.source), text, run.max_page_size)
        try:
            fragment = brelim.parse_string(text)
            headlines, rows = brelim._anchors(text)
            left_out = brelim._left_out(text)
        except MemoryError:
            raise ConversionError(f"{shown(note.source)}: out of memory") from None
        result.headlines = headlines
        result.dead, result.files = [], set()
        body = point_anchors(run, note, fragment, rows, result)
        title = note_title(note, run.site)
        index = note.page[-1] == "index.html"
        trail = crumbs(run.site, note.folder, None if index else title, index)
        foot = left_out_note(text, left_out, "<li>" in fragment)
        page = page_start(title, display(run.site), note.folder, trail, run.css)
        # Encoded apart: joined to the head's "·", the body would be encoded a character at a time.
        tail = f"{foot}\n".encode() if foot else b""
        start = b"".join((page.encode(), b"<main>\n", body.encode(), b"\n</main>\n", tail))
        try:
            result.in_place = run.fresh and write_new(run.out.joinpath(*note.page), start, missing_only=True)
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


def point_anchors(run: FirstPass, note: Note, fragment: str, rows: list[Any], result: NoteResult) -> str:
    """The fragment with each anchor's href pointed where the site resolves it; fills `result` on the way.

    The loop runs once for each anchored headline of the site: each row costs a lookup or two in `Hrefs`.
    """
    assert result.dead is not None and result.files is not None
    found = hrefs_of(run.listing, run.own)
    tags, links = found.tags, found.links
    pieces: list[str] = []
    add = pieces.append
    done = 0
    folder, number, notes = note.folder, note.number, run.listing.notes
    up = "../" * len(folder)
    top = folder[0] if folder else None
    tagged: dict[str, list[str]] = {}  # a word's headlines, as its tag page shows them
    linked: dict[int, list[str]] = {}  # the headlines that link to a note, as its page shows them
    for line, column, kind, target, script, begin, end, size, hrefs, words in rows:
        place: Place | None
        if kind == 1:
            place, href, shown = tags.get(target) or found.tag(target)
            href = up + href if top != TAGS else relative_url(folder, place)
        else:
            if target[:1] == "/":
                key: tuple[Place, str, bool] = ((), target, script)
            elif top is not None and target[:3] == "../":
                key = (*shared_key(folder, target), script)
            else:
                key = (folder, target, script)
            place, href, page, there, dead = links.get(key) or found.link(key)
            if dead:
                result.dead.append(DeadLink(line, column, target, dead))
                href = fragment[hrefs[0] : hrefs[0] + size]
            elif place is not None:
                href = up + href if top != place[0] else relative_url(folder, place)
                if page >= 0:
                    if page != number:
                        if page in linked:
                            linked[page].append(item(fragment, begin, end, hrefs, size, there))
                        else:
                            linked[page] = [item(fragment, begin, end, hrefs, size, there)]
                elif page == ATTACHMENT:
                    result.files.add(place)
            shown = ""
        if len(hrefs) == 1:
            at = hrefs[0]
            add(fragment[done:at])
            add(href)
            done = at + size
        else:
            for at in hrefs:
                add(fragment[done:at])
                add(href)
                done = at + size
        if words:
            if not shown:
                shown = href if place is None else relative_url(TAGS_HERE, place)
            listed = item(fragment, begin, end, hrefs, size, shown)
            if len(words) == 1:
                word = words[0].lower()
                if word in tagged:
                    tagged[word].append(listed)
                else:
                    tagged[word] = [listed]
                continue
            for word in dict.fromkeys([word.lower() for word in words]):
                if word in tagged:
                    tagged[word].append(listed)
                else:
                    tagged[word] = [listed]
    add(fragment[done:])
    title = html.escape(note_title(note, run.site))
    if tagged:
        heading = group_heading(note, title, TAGS_HERE)
        result.tags = [(word, len(items), f"{heading}{''.join(items)}</ul>\n") for word, items in tagged.items()]
    else:
        result.tags = []
    mine = note.page
    result.links = [  # group_heading's, inlined: one for each page linked to
        (
            page,
            f'<h3><a href="{relative_url(notes[page].page[:-1], mine)}">{title}</a></h3>\n<ul>\n'
            f"{''.join(items)}</ul>\n",
        )
        for page, items in linked.items()
    ]
    return "".join(pieces)


def group_heading(note: Note, title: str, here: Place) -> str:
    return f'<h3><a href="{relative_url(here, note.page)}">{title}</a></h3>\n<ul>\n'


def item(fragment: str, begin: int, end: int, hrefs: tuple[int, ...], size: int, href: str) -> str:
    """The headline's HTML from `begin` to `end` as a list item, its anchor's hrefs replaced by `href`."""
    if len(hrefs) == 1:
        at = hrefs[0]
        return f"<li>{fragment[begin:at]}{href}{fragment[at + size : end]}</li>\n"
    pieces = ["<li>"]
    for at in hrefs:
        pieces.append(fragment[begin:at])
        pieces.append(href)
        begin = at + size
    pieces.append(fragment[begin:end])
    pieces.append("</li>\n")
    return "".join(pieces)
