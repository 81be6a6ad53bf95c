"""A folder of notes into a site: the passes of a build.

1. The listing (`listing`): every note, folder and file of the notes, once.
2. The notes' pages, in worker processes (`note_pages`): each note converted,
   its anchors pointed, its page's start written to its temporary file (in its
   place, when the site's folder held nothing); back come its dead links, and the
   headlines that carry hashtags or link to pages.
3. What needs every note, gathered as the results come in: the dead links
   told in the notes' order, then in workers each page finished (its
   folder's list, its backlinks) and the tag pages, indexes and list of tags
   made, each written when its bytes changed; the stylesheet and linked
   files written here.
4. The manifest, and the removal of what an earlier build wrote and this one
   did not.

No page is held longer than it takes to write it.
"""

from __future__ import annotations

import contextlib
import functools
import gc
import os
from pathlib import Path

from brelim_cli.errors import os_message, shown
from brelim_cli.pool import run_in_processes
from brelim_cli.report import Reporter
from brelim_cli.site.finish import Finishing, SecondPass, Written, copy_attachment, finish_page
from brelim_cli.site.generated import Pages
from brelim_cli.site.hrefs import hrefs_of
from brelim_cli.site.layout import SITE_STYLE
from brelim_cli.site.listing import Listing, list_notes
from brelim_cli.site.lists import page_link, plural, shown_title
from brelim_cli.site.manifest import read_manifest, remove_stale, write_manifest
from brelim_cli.site.note_pages import FirstPass, NoteResult, start_note_page
from brelim_cli.site.options import SiteOptions
from brelim_cli.site.urls import ALL_TAGS, INDEX, MANIFEST, STYLESHEET, TAGS, Place, page_key, tag_page
from brelim_cli.targets import discard_temporary, new_tag


def build_site(
    options: SiteOptions, reporter: Reporter, kept: list[tuple[Listing, list[NoteResult]]] | None = None
) -> int:
    """Builds the site of `options.notes` into `options.out`, telling `reporter`; returns the dead links' count.

    `kept`, when given, receives the listing and the notes' results, from which a later change is rebuilt.
    """
    listing = list_notes(options.notes, options.out, options.glob, reporter.failure)
    if not listing.notes:
        if not reporter.failed:
            reporter.failure(f"{shown(options.notes)}: no file in this folder matches {shown(options.glob)}")
        return 0
    out = options.out
    try:
        out.mkdir(parents=True, exist_ok=True)
        fresh = is_empty(out)
    except OSError as error:
        reporter.failure(f"{shown(out)}: cannot make this folder: {os_message(error)}")
        return 0
    tag = new_tag()
    site = options.site_title()
    pages = Pages(listing, site, options.css, {})
    first = FirstPass(
        listing, own_files(listing), site, options.css, out, tag, options.warn, options.max_page_size, fresh
    )
    written: set[str] = set()
    finished = False
    # The build makes a few objects for every link and tag of the notes, and none of them in a cycle: the
    # cyclic collector, run again and again over all of them, would only cost time.
    collecting = gc.isenabled()
    gc.disable()
    try:
        results = start_pages(first, options.jobs, reporter, pages, kept is not None)
        dead = tell_dead_links(results, listing, reporter)
        run = SecondPass(out, read_manifest(out), tag, pages, fresh)
        finish_site(options, listing, results, run, reporter, written)
        finished = True
        if kept is not None:
            kept.append((listing, results))
    finally:
        for remembered in (hrefs_of, page_link, shown_title):  # they hold this build's notes
            remembered.cache_clear()
        if collecting:
            gc.enable()
        if not finished:  # stopped: the pages' starts that wait for the second pass go
            for note in listing.notes:
                with contextlib.suppress(OSError):
                    first.part(note).unlink()
                if fresh and "/".join(note.page) not in written:  # nothing was there: a start in its place
                    with contextlib.suppress(OSError):
                        first.out.joinpath(*note.page).unlink()
    if dead and reporter.strict:
        reporter.print_line(f"brelim: --strict: {plural(dead, 'dead link')}")
    elif dead and not reporter.quiet:
        reporter.print_line(f"brelim: {plural(dead, 'dead link')}")
    return dead


# A note's result carries its headlines' groups, about 7 KB: the answer to a batch of 8 fits the buffer of the
# worker's socket, so that the worker goes on with its next batch while this process is busy (a batch of 32
# stalled it: 10,000 notes 23% slower).
NOTES_AT_ONCE = 8
# The second pass's items and answers are numbers: a batch of 128 rather than 32 makes a quarter of the round
# trips (10,000 notes: the workers' processor time 2.5% less, the pass 20 ms shorter).
PAGES_AT_ONCE = 128


def is_empty(folder: Path) -> bool:
    """Whether `folder` holds nothing, as a folder just made does. Raises OSError."""
    with os.scandir(folder) as entries:
        return next(entries, None) is None


def own_files(listing: Listing) -> frozenset[str]:
    """The keys of the files the site writes of its own accord: no file of the notes may land on one."""
    own = {page_key(note.page) for note in listing.notes} | {page_key((*f, INDEX)) for f in listing.folders}
    return frozenset(own | {STYLESHEET, MANIFEST})


def start_pages(first: FirstPass, jobs: int, reporter: Reporter, pages: Pages, keep: bool = False) -> list[NoteResult]:
    """The first pass over every note, in workers; the results in the notes' order. `pages` gathers each
    result (see `Pages.add`, with `keep`) as soon as those of the notes before it are in, while the workers
    go on: the results come back nearly in order, fresh in the processor's cache."""
    notes = first.listing.notes
    results: list[NoteResult | None] = [None] * len(notes)
    settled = bytearray(len(notes))  # its result is in, or its worker died on it
    gathered = 0  # the notes before this one are gathered
    reporter.start_progress(len(notes))
    reporter.expect_files([str(note.source) for note in notes])

    def gather() -> None:
        nonlocal gathered
        while gathered < len(notes) and settled[gathered]:
            result = results[gathered]
            if result is not None:
                pages.add(result, keep)
            gathered += 1

    def done(result: NoteResult) -> None:
        results[result.number] = result
        settled[result.number] = True
        reporter.file_done(result.error, result.findings)
        gather()

    def died(number: int, how: str) -> None:
        note = notes[number]
        settled[number] = True
        gather()
        reporter.failure(f"{shown(note.source)}: the process converting it ended ({how})")
        if first.fresh:  # its page may be begun in its place, and no second pass ends it
            with contextlib.suppress(OSError):
                first.out.joinpath(*note.page).unlink()

    def clean_up(number: int) -> None:
        with contextlib.suppress(OSError):
            first.part(notes[number]).unlink()

    try:
        work = functools.partial(start_numbered_page, first)
        run_in_processes(list(range(len(notes))), jobs, work, done, died, clean_up, batch=NOTES_AT_ONCE)
    finally:
        reporter.close_progress()
    return [result for result in results if result is not None]


def finish_listed_page(run: SecondPass, items: list[Finishing], at: int) -> tuple[int, str | None]:
    """The second pass's item `at` of `items`, which the workers hold: its number crosses to them, not it, and
    back comes the number with the failure's message or None, not the `Written`."""
    return at, finish_page(run, items[at]).error


def start_numbered_page(first: FirstPass, number: int) -> NoteResult:
    """The first pass over the listing's note `number`, which crosses to a worker faster than the note."""
    return start_note_page(first, first.listing.notes[number])


def tell_dead_links(results: list[NoteResult], listing: Listing, reporter: Reporter) -> int:
    """Tells each dead link, in the notes' order and their lines', unless quiet; returns their count."""
    count = 0
    for result in results:
        if not result.dead:
            continue
        count += len(result.dead)
        if reporter.quiet:
            continue
        name = shown(listing.notes[result.number].source)  # a note's name, only when it has a dead link
        for line, column, target, reason in result.dead:
            reporter.print_line(f"brelim: {name}:{line + 1}:{column + 1}: dead link: {target!r} {reason}")
    return count


def finish_site(
    options: SiteOptions,
    listing: Listing,
    results: list[NoteResult],
    run: SecondPass,
    reporter: Reporter,
    written: set[str] | None = None,
) -> None:
    """Every note's page finished, the site's own pages, the linked files, then the manifest and the removals.
    `run.pages` holds every result, gathered. `written` learns each file written, as it is."""
    pages = run.pages
    assert pages is not None
    attachments: set[Place] = set()
    started: set[int] = set()  # pages begun in their place
    for result in results:
        if result.files:
            attachments |= result.files
        if result.in_place:
            started.add(result.number)
    generated = [(*folder, INDEX) for folder in sorted(listing.folders) if listing.index_note(folder) is None]
    generated.append((TAGS, ALL_TAGS))
    tags = sorted(pages.tag_counts)
    notes = listing.notes
    planned = {"/".join(notes[number].page) for number in pages.headlines}
    planned |= {"/".join(place) for place in generated}
    planned |= {"/".join(tag_page(word)) for word in tags} | {"/".join(place) for place in attachments}
    if options.css is None:
        planned.add(STYLESHEET)
    write_manifest(run.out, set(run.earlier | planned), run.tag)  # a stopped build still knows its files next time
    if written is None:
        written = set()
    items = [Finishing(notes[number].page, number, "", number in started) for number in pages.headlines]
    items += [Finishing(tag_page(word), -1, word) for word in tags]
    items += [Finishing(place, -1) for place in generated]

    def done(outcome: Written) -> None:
        if outcome.error is None:
            written.add("/".join(outcome.place))
        else:
            reporter.failure(outcome.error)

    def done_at(outcome: tuple[int, str | None]) -> None:
        at, error = outcome
        done(Written(items[at].place, error))

    def died(at: int, how: str) -> None:
        reporter.failure(f"{shown(run.out.joinpath(*items[at].place))}: the process writing it ended ({how})")
        clean_up(at)

    def clean_up(at: int) -> None:
        item = items[at]
        if item.number >= 0:
            discard_temporary(run.out.joinpath(*item.place), run.tag)
        if item.in_place or (run.fresh and item.number < 0):  # a page begun in its place, or written there
            with contextlib.suppress(OSError):
                run.out.joinpath(*item.place).unlink()

    work = functools.partial(finish_listed_page, run, items)
    run_in_processes(list(range(len(items))), options.jobs, work, done_at, died, clean_up, batch=PAGES_AT_ONCE)
    if options.css is None:
        done(run.put((STYLESHEET,), SITE_STYLE.encode()))
    for place in sorted(attachments):
        done(copy_attachment(run, place, listing.files[place]))
    for message in remove_stale(run.out, run.earlier - planned, written):
        reporter.failure(message)
    write_manifest(run.out, written | (run.earlier & planned), run.tag)
