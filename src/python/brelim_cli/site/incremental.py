"""A site kept up to date as its notes change: a full build once, then only what each change touches.

A note whose text changed gets its page again, and so do the pages that
show what it changed: the tag pages of the tags whose headlines changed,
the pages whose backlinks changed, the indexes whose lists or counts
changed, and the list of tags. A note added, removed or renamed, or any
other file of the notes changed, changes what every link resolves to: that
is a full build. A note that cannot be read (an editor's save half done)
keeps its page and is handed back to be tried again.
"""

from __future__ import annotations

import contextlib
import os
from collections.abc import Iterable
from dataclasses import dataclass, field
from pathlib import Path

from brelim_cli.report import Reporter
from brelim_cli.site.build import build_site, own_files, tell_dead_links
from brelim_cli.site.finish import Finishing, SecondPass, Written, copy_attachment, finish_page
from brelim_cli.site.generated import Pages
from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.manifest import read_manifest, write_manifest
from brelim_cli.site.note_pages import FirstPass, Items, NoteResult, start_note_page
from brelim_cli.site.options import SiteOptions
from brelim_cli.site.urls import ALL_TAGS, INDEX, TAGS, Place, tag_page
from brelim_cli.targets import new_tag


@dataclass
class Touched:
    """What a rebuild changed: the site's files (as `/`-joined places) written, or None for all of them;
    the pages removed, each with the index a reader of it goes to; the notes to be read again."""

    changed: set[str] | None = field(default_factory=set)
    removed: dict[str, str] = field(default_factory=dict)
    unreadable: list[tuple[Path, str]] = field(default_factory=list)  # each with why


def replaced(entries: list[tuple[int, Items]], number: int, items: Items | None) -> list[tuple[int, Items]]:
    """`entries` with the note `number`'s replaced by `items` (or removed, for None), in the notes' order."""
    kept = [entry for entry in entries if entry[0] != number]
    if items is not None:
        kept.append((number, items))
        kept.sort(key=lambda entry: entry[0])
    return kept


class LiveSite:
    """The site of `options.notes` in `options.out`, with what rebuilding one note needs kept in memory."""

    def __init__(self, options: SiteOptions, reporter: Reporter) -> None:
        self.options = options
        self.reporter = reporter
        self.listing = Listing(options.notes)
        self.results: dict[int, NoteResult] = {}
        self.by_source: dict[str, Note] = {}
        self.pages: Pages | None = None
        self.files: frozenset[str] = frozenset()  # what the site serves: the manifest's files
        self.own_pages: frozenset[str] = frozenset()  # the pages the site made; the rest are the notes' files

    def build(self) -> Touched:
        """A full build; every page counts as changed, and the pages it no longer has as removed."""
        kept: list[tuple[Listing, list[NoteResult]]] = []
        before = self.files
        build_site(self.options, self.reporter, kept)
        # None kept: no note, or the site's folder could not be made
        self.listing, results = kept[0] if kept else (Listing(self.options.notes), [])
        listing = self.listing
        self.results = {result.number: result for result in results if result.error is None}
        self.by_source = {os.path.normcase(os.path.abspath(note.source)): note for note in listing.notes}
        self.pages = pages = Pages(listing, self.options.site_title(), self.options.css, {})
        for number, result in self.results.items():
            pages.headlines[number] = result.headlines
            for word, count, items in result.tags or ():
                pages.tagged.setdefault(word, []).append((number, items))
                pages.tag_counts[word] = pages.tag_counts.get(word, 0) + count
            for target, items in result.links or ():
                pages.linked.setdefault(target, []).append((number, items))
        self.files = read_manifest(self.options.out)
        own = {"/".join(note.page) for note in listing.notes} | {"/".join((*f, INDEX)) for f in listing.folders}
        self.own_pages = frozenset(own | {name for name in self.files if name.startswith(f"{TAGS}/")})
        gone = {name for name in before - self.files if name.endswith(".html")}
        return Touched(None, {name: self.landing(name) for name in gone})

    def landing(self, name: str) -> str:
        """Where a reader of the removed page `name` goes: the nearest index the site still has."""
        folder = name.split("/")[:-1]
        while folder and "/".join([*folder, INDEX]) not in self.files:
            folder.pop()
        return "/".join([*folder, INDEX])

    def note_of(self, path: Path) -> Note | None:
        return self.by_source.get(os.path.normcase(os.path.abspath(path)))

    def knows(self, path: Path) -> bool:
        """Whether `path` is a folder or a file (not a note) of the notes that the last build listed."""
        try:
            place = Path(os.path.relpath(path, self.options.notes)).parts
        except ValueError:  # another drive
            return False
        return place in self.listing.files or place in self.listing.folders

    def update(self, paths: Iterable[Path]) -> Touched | None:
        """Rebuilds what the changed notes at `paths` touch; None when only a full build will do."""
        notes = []
        for path in paths:
            note = self.note_of(path)
            if note is None or not os.path.isfile(path) or note.number not in self.results:
                return None
            notes.append(note)
        touched = Touched()
        run = Rebuild(self, new_tag())
        try:
            for note in notes:
                error = run.change(note, touched)
                if error is not None:
                    touched.unreadable.append((note.source, error))
            run.write_manifest()
        finally:
            run.discard_parts()
        return touched


class Rebuild:
    """One incremental rebuild: the pages to start again, finish and write."""

    def __init__(self, live: LiveSite, tag: str) -> None:
        options = live.options
        self.live = live
        assert live.pages is not None
        self.pages = live.pages
        self.first = FirstPass(
            live.listing, own_files(live.listing), options.site_title(), options.css, options.out, tag,
            options.warn, options.max_page_size,
        )  # fmt: skip
        self.run = SecondPass(options.out, live.files, tag, live.pages)
        self.files = set(live.files)
        self.started: set[int] = set()  # pages whose start waits to be finished
        self.finished: set[int] = set()

    def start(self, note: Note) -> NoteResult:
        result = start_note_page(self.first, note)
        if result.error is None:
            self.started.add(note.number)
        return result

    def change(self, note: Note, touched: Touched) -> str | None:
        """The note's page and what its change touches; the error when the note could not be read."""
        result = self.start(note)
        if result.error is not None:
            return result.error
        number = note.number
        old = self.live.results[number]
        self.live.results[number] = result
        tell_dead_links([result], self.live.listing, self.live.reporter)
        pages = self.pages
        folders: set[Place] = set()
        if pages.headlines.get(number) != result.headlines:
            pages.headlines[number] = result.headlines
            folders.add(note.folder)
        tags_before = {word: (count, items) for word, count, items in old.tags or ()}
        tags_after = {word: (count, items) for word, count, items in result.tags or ()}
        words = {w for w in tags_before.keys() | tags_after.keys() if tags_before.get(w) != tags_after.get(w)}
        counts = dict(pages.tag_counts)
        for word in words:
            had, has = tags_before.get(word, (0, None)), tags_after.get(word, (0, None))
            entries = replaced(pages.tagged.get(word, []), number, has[1])
            if entries:
                pages.tagged[word] = entries
                pages.tag_counts[word] = pages.tag_counts.get(word, 0) - had[0] + has[0]
            else:
                pages.tagged.pop(word, None)
                pages.tag_counts.pop(word, None)
        before, after = dict(old.links or ()), dict(result.links or ())
        linked = [m for m in before.keys() | after.keys() if before.get(m) != after.get(m)]
        for target in linked:
            pages.linked[target] = replaced(pages.linked.get(target, []), number, after.get(target))
        self.finish(note, touched)
        self.attachments(old.files or set(), result.files or set(), touched)
        for target in sorted(linked):
            self.restart(self.live.listing.notes[target], touched)
        for word in sorted(words):
            self.tag_page(word, touched)
        if counts != pages.tag_counts:
            folders.add(())
            self.put((TAGS, ALL_TAGS), pages.all_tags_page(), touched)
        for folder in sorted(folders):
            index = self.live.listing.index_note(folder)
            if index is None:
                self.put((*folder, INDEX), pages.index_page(folder), touched)
            else:
                self.restart(index, touched)
        return None

    def restart(self, note: Note, touched: Touched) -> None:
        """A page whose note did not change, but whose lists did."""
        if note.number in self.started or note.number in self.finished:
            return
        result = self.start(note)
        if result.error is None:
            self.live.results[note.number] = result
            self.finish(note, touched)
        else:
            self.live.reporter.print_line(f"brelim: {result.error}")

    def finish(self, note: Note, touched: Touched) -> None:
        self.told(finish_page(self.run, Finishing(note.page, note.number)), touched)
        self.started.discard(note.number)
        self.finished.add(note.number)

    def attachments(self, before: set[Place], after: set[Place], touched: Touched) -> None:
        """The files of the notes the note links to copied, and those that no note links to any more removed."""
        for place in sorted(after - before):
            self.told(copy_attachment(self.run, place, self.live.listing.files[place]), touched)
        results = self.live.results.values()
        for place in sorted(before - after):
            if not any(place in (result.files or ()) for result in results):
                self.remove(place)

    def remove(self, place: Place) -> None:
        with contextlib.suppress(OSError):
            self.run.out.joinpath(*place).unlink()
        self.files.discard("/".join(place))

    def tag_page(self, word: str, touched: Touched) -> None:
        place = tag_page(word)
        if self.pages.tagged.get(word):
            self.told(self.run.put(place, self.pages.tag_page(word)), touched)
            return
        self.remove(place)
        touched.removed["/".join(place)] = f"{TAGS}/{ALL_TAGS}"

    def put(self, place: Place, page: str, touched: Touched) -> None:
        self.told(self.run.put(place, page.encode("utf-8", "replace")), touched)

    def told(self, written: Written, touched: Touched) -> None:
        if written.error is not None:
            self.live.reporter.print_line(f"brelim: {written.error}")
            return
        name = "/".join(written.place)
        assert touched.changed is not None
        touched.changed.add(name)
        self.files.add(name)

    def write_manifest(self) -> None:
        if self.files != self.live.files:
            write_manifest(self.run.out, self.files, self.run.tag)
            self.live.files = frozenset(self.files)
            self.live.own_pages = self.live.own_pages | {name for name in self.files if name.startswith(f"{TAGS}/")}

    def discard_parts(self) -> None:
        """The starts of pages not finished, when a rebuild was stopped half-way."""
        for number in self.started:
            with contextlib.suppress(OSError):
                self.first.part(self.live.listing.notes[number]).unlink()
