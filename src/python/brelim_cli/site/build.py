"""A folder of notes into a site: the passes of a build.

1. The listing (`listing`): every note, folder and file of the notes, once.
2. The notes' pages, in worker processes (`note_pages`): each note converted,
   its anchors pointed, its page's start written to its temporary file (in its
   place, when the site's folder held nothing); back come its dead links, and the
   headlines that carry hashtags or link to pages.
3. What needs every note: the dead links told in the notes' order, then in
   workers each page finished (its folder's list, its backlinks) and written
   when its bytes changed; the indexes, tag pages, stylesheet and linked
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
from dataclasses import replace
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
        results = start_pages(first, options.jobs, reporter)
        dead = tell_dead_links(results, listing, reporter)
        run = SecondPass(out, read_manifest(out), tag, fresh=fresh)
        finish_site(options, listing, results, run, reporter, kept is not None, written)
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


def is_empty(folder: Path) -> bool:
    """Whether `folder` holds nothing, as a folder just made does. Raises OSError."""
    with os.scandir(folder) as entries:
        return next(entries, None) is None


def own_files(listing: Listing) -> frozenset[str]:
    """The keys of the files the site writes of its own accord: no file of the notes may land on one."""
    own = {page_key(note.page) for note in listing.notes} | {page_key((*f, INDEX)) for f in listing.folders}
    return frozenset(own | {STYLESHEET, MANIFEST})


def start_pages(first: FirstPass, jobs: int, reporter: Reporter) -> list[NoteResult]:
    """The first pass over every note, in workers; the results in the notes' order."""
    notes = first.listing.notes
    results: list[NoteResult | None] = [None] * len(notes)
    reporter.start_progress(len(notes))
    reporter.expect_files([str(note.source) for note in notes])

    def done(result: NoteResult) -> None:
        results[result.number] = result
        reporter.file_done(result.error, result.findings)

    def died(note, how: str) -> None:  # type: ignore[no-untyped-def]
        reporter.failure(f"{shown(note.source)}: the process converting it ended ({how})")
        if first.fresh:  # its page may be begun in its place, and no second pass ends it
            with contextlib.suppress(OSError):
                first.out.joinpath(*note.page).unlink()

    def clean_up(note) -> None:  # type: ignore[no-untyped-def]
        with contextlib.suppress(OSError):
            first.part(note).unlink()

    try:
        work = functools.partial(start_note_page, first)
        run_in_processes(notes, jobs, work, done, died, clean_up, batch=NOTES_AT_ONCE)
    finally:
        reporter.close_progress()
    return [result for result in results if result is not None]


def tell_dead_links(results: list[NoteResult], listing: Listing, reporter: Reporter) -> int:
    """Tells each dead link, in the notes' order and their lines', unless quiet; returns their count."""
    count = 0
    for result in results:
        name = shown(listing.notes[result.number].source)
        for line, column, target, reason in result.dead or ():
            count += 1
            if not reporter.quiet:
                reporter.print_line(f"brelim: {name}:{line + 1}:{column + 1}: dead link: {target!r} {reason}")
    return count


def finish_site(
    options: SiteOptions,
    listing: Listing,
    results: list[NoteResult],
    run: SecondPass,
    reporter: Reporter,
    keep: bool = False,
    written: set[str] | None = None,
) -> None:
    """Every note's page finished, the site's own pages, the linked files, then the manifest and the removals.
    With `keep`, the results keep their tags and links, from which a later change is rebuilt. `written` learns
    each file written, as it is."""
    site = options.site_title()
    headlines = {result.number: result.headlines for result in results if result.error is None}
    pages = Pages(listing, site, options.css, headlines)
    tagged, linked, counts = pages.tagged, pages.linked, pages.tag_counts
    attachments: set[Place] = set()
    # Each tag's and each linked page's groups of headlines, joined below into one string, which the second
    # pass's workers inherit: reading it costs them no copy of the memory pages that a count of references to
    # each of its many parts would make. With the number of the first note that has one.
    tag_chunks: dict[str, list[str]] = {}
    tag_first: dict[str, int] = {}
    link_chunks: dict[int, list[str]] = {}
    link_first: dict[int, int] = {}
    for result in results:
        number = result.number
        for word, count, chunk in result.tags or ():
            if word in counts:
                counts[word] += count
                tag_chunks[word].append(chunk)
            else:
                counts[word] = count
                tag_chunks[word] = [chunk]
                tag_first[word] = number
        for target, chunk in result.links or ():
            if target in link_chunks:
                link_chunks[target].append(chunk)
            else:
                link_chunks[target] = [chunk]
                link_first[target] = number
        if result.files:
            attachments |= result.files
        if not keep:
            result.tags = result.links = None  # their strings stay in `tagged` and `linked` alone
    for word, chunks in tag_chunks.items():
        tagged[word] = [(tag_first[word], chunks[0] if len(chunks) == 1 else "".join(chunks))]
    for target, chunks in link_chunks.items():
        linked[target] = [(link_first[target], chunks[0] if len(chunks) == 1 else "".join(chunks))]
    del tag_chunks, link_chunks
    generated = [(*folder, INDEX) for folder in sorted(listing.folders) if listing.index_note(folder) is None]
    planned = {"/".join(listing.notes[number].page) for number in headlines}
    planned |= {"/".join(place) for place in generated} | {f"{TAGS}/{ALL_TAGS}"}
    planned |= {"/".join(tag_page(word)) for word in tagged} | {"/".join(place) for place in attachments}
    if options.css is None:
        planned.add(STYLESHEET)
    write_manifest(run.out, set(run.earlier | planned), run.tag)  # a stopped build still knows its files next time
    if written is None:
        written = set()

    def done(outcome: Written) -> None:
        if outcome.error is None:
            written.add("/".join(outcome.place))
        else:
            reporter.failure(outcome.error)

    def died(item: Finishing, how: str) -> None:
        reporter.failure(f"{shown(run.out.joinpath(*item.place))}: the process writing it ended ({how})")
        clean_up(item)

    def clean_up(item: Finishing) -> None:
        if item.number >= 0:
            discard_temporary(run.out.joinpath(*item.place), run.tag)
        if item.in_place or (run.fresh and item.number < 0):  # a page begun in its place, or written there
            with contextlib.suppress(OSError):
                run.out.joinpath(*item.place).unlink()

    started = {result.number for result in results if result.in_place}
    items = [Finishing(listing.notes[number].page, number, "", number in started) for number in headlines]
    items += [Finishing(tag_page(word), -1, word) for word in sorted(tagged)]
    run = replace(run, pages=pages)
    run_in_processes(items, options.jobs, functools.partial(finish_page, run), done, died, clean_up)
    for place in generated:
        done(run.put(place, pages.index_page(place[:-1]).encode("utf-8", "replace")))
    done(run.put((TAGS, ALL_TAGS), pages.all_tags_page().encode("utf-8", "replace")))
    if options.css is None:
        done(run.put((STYLESHEET,), SITE_STYLE.encode()))
    for place in sorted(attachments):
        done(copy_attachment(run, place, listing.files[place]))
    for message in remove_stale(run.out, run.earlier - planned, written):
        reporter.failure(message)
    write_manifest(run.out, written | (run.earlier & planned), run.tag)
