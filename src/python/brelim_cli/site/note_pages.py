"""A note's page, up to what the whole site decides (its folder's list, its backlinks): the first pass.

A worker converts the note, points every anchor where the site resolves
it, and writes the page's start to the page's temporary file; only what the rest of the
build needs crosses back: the dead links, the headlines that carry each
hashtag and those that link to another page, already rendered as the page
that lists them shows them (one string for each tag or linked page). Only
hrefs change: every other byte of the fragment is `parse_string`'s.
"""

from __future__ import annotations

import functools
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
from brelim_cli.site.layout import crumbs, page_start
from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.resolve import Dead, Resolved, resolve
from brelim_cli.site.urls import TAGS, Place, display, relative_url, tag_page
from brelim_cli.targets import BINARY, temporary_beside, write_all

# A note's headlines as the page that lists them shows them: a heading that links to the note, then a list item
# for each headline. One string for each note and tag (shown on the tag's page) or note and page it links to
# (shown on that page), rendered in the first pass: many cross between processes and stay till the end.
Items = str


TAGS_HERE = (TAGS,)  # the folder of the tag pages


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

    def part(self, note: Note) -> Path:
        """Where the start of the note's page waits for the second pass: its temporary file."""
        return temporary_beside(self.out.joinpath(*note.page), self.tag)


def write_new(path: Path, data: bytes) -> None:
    """Writes `data` into the new file `path`, making its folders when they are missing."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | BINARY
    try:
        descriptor = os.open(path, flags, 0o666)
    except FileNotFoundError:
        path.parent.mkdir(parents=True, exist_ok=True)
        descriptor = os.open(path, flags, 0o666)
    try:
        write_all(descriptor, data)
    finally:
        os.close(descriptor)


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
        start = f"{page}<main>\n{body}\n</main>\n{foot + chr(10) if foot else ''}".encode()
        try:
            write_new(run.part(note), start)
        except OSError as error:
            raise ConversionError(f"{shown(note.source)}: cannot write its page: {os_message(error)}") from None
        result.findings.check(text, left_out)
    except ConversionError as error:
        result.error = str(error)
    except Exception as error:  # noqa: BLE001 - a fault of this program: told, and the other notes still built
        result.error = f"{shown(note.source)}: internal fault: {type(error).__name__}: {error}"
    return result


def point_anchors(run: FirstPass, note: Note, fragment: str, rows: list[Any], result: NoteResult) -> str:
    """The fragment with each anchor's href pointed where the site resolves it; fills `result` on the way.

    The loop runs once for each anchored headline of the site: it looks each value up once.
    """
    assert result.dead is not None and result.files is not None
    pieces: list[str] = []
    add = pieces.append
    done = 0
    folder, number, notes = note.folder, note.number, run.listing.notes
    tagged: dict[str, list[str]] = {}  # a word's headlines, as its tag page shows them
    linked: dict[int, list[str]] = {}  # the headlines that link to a note, as its page shows them
    for line, column, kind, target, script, begin, end, size, hrefs, words in rows:
        if kind == 1:
            place = tag_page(target)
            href = relative_url(folder, place)
        else:
            found = resolve_in(run.listing, run.own, *shared_key(folder, target), False, script)
            if isinstance(found, Dead):
                result.dead.append(DeadLink(line, column, target, found.reason))
                href, place = fragment[hrefs[0] : hrefs[0] + size], None
            else:
                place = found.place
                href = found.url if place is None else relative_url(folder, place)
                if found.page >= 0 and found.page != number:
                    there = relative_url(notes[found.page].page[:-1], place)  # type: ignore[arg-type]
                    linked.setdefault(found.page, []).append(item(fragment, begin, end, hrefs, size, there))
                elif found.attachment:
                    result.files.add(place)  # type: ignore[arg-type]
        for at in hrefs:
            add(fragment[done:at])
            add(href)
            done = at + size
        if words:
            shown = item(fragment, begin, end, hrefs, size, href if place is None else relative_url(TAGS_HERE, place))
            for word in dict.fromkeys([word.lower() for word in words]) if len(words) > 1 else (words[0].lower(),):
                tagged.setdefault(word, []).append(shown)
    add(fragment[done:])
    title = html.escape(note_title(note, run.site))
    result.tags = [(word, len(items), group(note, title, TAGS_HERE, items)) for word, items in tagged.items()]
    result.links = [(page, group(note, title, notes[page].page[:-1], items)) for page, items in linked.items()]
    return "".join(pieces)


def group(note: Note, title: str, here: Place, items: list[str]) -> Items:
    """The note's headlines `items` under a heading that links to its page, for a page in the folder `here`."""
    return f'<h3><a href="{relative_url(here, note.page)}">{title}</a></h3>\n<ul>\n{"".join(items)}</ul>\n'


def shared_key(folder: Place, target: str) -> tuple[Place, str]:
    """The folder and target that `target` in `folder` resolves as, so that notes of many folders share one
    resolution: `../x` in `a/b` is `x` in `a`, and a target from the notes' root is alike in every folder."""
    if target[:1] == "/":
        return (), target
    if ":" not in target:  # "../" never uncovers an external link
        while folder and target[:3] == "../" and target[3:4] not in ("", "/"):
            folder, target = folder[:-1], target[3:]
    return folder, target


@functools.lru_cache(maxsize=1 << 16)
def resolve_in(
    listing: Listing, own: frozenset[str], folder: Place, target: str, hashtag: bool, script: bool
) -> Resolved | Dead:
    """`resolve`, remembered: within a folder, a target is resolved once."""
    return resolve(target, hashtag, script, folder, listing, own)


def item(fragment: str, begin: int, end: int, hrefs: tuple[int, ...], size: int, href: str) -> str:
    """The headline's HTML from `begin` to `end` as a list item, its anchor's hrefs replaced by `href`."""
    pieces = ["<li>"]
    for at in hrefs:
        pieces.append(fragment[begin:at])
        pieces.append(href)
        begin = at + size
    pieces.append(fragment[begin:end])
    pieces.append("</li>\n")
    return "".join(pieces)
