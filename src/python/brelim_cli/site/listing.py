"""What the notes folder holds: its notes, the folders that hold notes, and the other files a note may link to.

The folder is listed once. Hidden names, the site's own folder (when it
lies inside the notes) and everything a symbolic link leads to outside the
notes are never listed, so nothing outside is read or copied. Names are
kept exactly as the folder lists them: a link must match them, letter case
included, on any disk.
"""

from __future__ import annotations

import os
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

from brelim_cli.errors import os_message, shown
from brelim_cli.search import hidden, matches
from brelim_cli.site.urls import STYLESHEET, TAGS, Place


@dataclass(frozen=True, eq=False)
class Note:
    """One note: its file, its place below the notes folder, and its page's place in the site."""

    number: int  # its place in the listing's order
    source: Path
    place: Place
    page: Place
    stem: str  # its name without its suffix

    @property
    def folder(self) -> Place:
        return self.place[:-1]


@dataclass(eq=False)
class Listing:
    """The notes folder as the site sees it."""

    root: Path
    notes: list[Note] = field(default_factory=list)
    by_place: dict[Place, Note] = field(default_factory=dict)
    by_stem: dict[Place, Note] = field(default_factory=dict)  # a note named without its suffix
    folders: set[Place] = field(default_factory=set)  # folders that hold notes, directly or below
    files: dict[Place, Path] = field(default_factory=dict)  # every other regular file, by its place
    outside: set[Place] = field(default_factory=set)  # symbolic links that lead out of the notes
    out: Place | None = None  # the site's folder, when it lies inside the notes
    refused: set[Place] = field(default_factory=set)  # names the site keeps for its own files

    def index_note(self, folder: Place) -> Note | None:
        return self.by_stem.get((*folder, "index"))


def inside(path: str, root: str) -> bool:
    return path == root or path.startswith(root.rstrip(os.sep) + os.sep)


def refused(listing: Listing, place: Place, path: str, error: Callable[[str], None]) -> bool:
    """Whether a name at the site's root would land on one of the site's own files (letter case aside):
    it is then kept out of the site, and told."""
    if len(place) != 1 or place[0].casefold() not in (TAGS, STYLESHEET):
        return False
    listing.refused.add(place)
    error(f"{shown(path)}: is named as the site's own {shown(place[0])}: rename it to have it in the site")
    return True


def stem_of(name: str) -> str:
    suffix = os.path.splitext(name)[1]
    return name[: len(name) - len(suffix)] if suffix else name


def list_notes(notes: Path, out: Path, pattern: str, error: Callable[[str], None]) -> Listing:
    """Lists `notes`; tells `error` of what cannot be read and of notes that get no page."""
    listing = Listing(notes)
    root = os.path.realpath(notes)
    real_out = os.path.realpath(out)
    if inside(real_out, root) and real_out != root:
        listing.out = tuple(Path(os.path.relpath(real_out, root)).parts)
    below = notes if any(separator in pattern for separator in filter(None, (os.sep, os.altsep))) else None
    pages: dict[str, Note] = {}
    # Each folder once, in the order of a walk from the top, folders and names sorted: the notes' numbers.
    # Its entries tell folders, files and links apart without a look at each file, but for links.
    waiting: list[tuple[str, Place]] = [(os.fspath(notes), ())]
    while waiting:
        top, here = waiting.pop()
        try:
            with os.scandir(top) as listed:
                entries = list(listed)
        except OSError as failure:
            error(f"{shown(Path(failure.filename))}: cannot read this folder: {os_message(failure)}")
            continue
        folders: list[tuple[str, os.DirEntry[str]]] = []
        others: list[tuple[str, os.DirEntry[str]]] = []
        for entry in entries:
            try:
                is_folder = entry.is_dir()
            except OSError:
                is_folder = False
            (folders if is_folder else others).append((entry.name, entry))
        folders.sort()
        others.sort()
        below_here = []
        for name, entry in folders:
            path = os.path.join(top, name)
            place = (*here, name)
            try:
                if hidden(path, name) or place == listing.out:
                    continue
                link = entry.is_symlink()
                if link and not inside(os.path.realpath(path), root):
                    listing.outside.add(place)
                    continue
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
                continue
            if refused(listing, place, path, error):
                continue
            if not link:  # a link to a folder of the notes is not walked again
                below_here.append((path, place))
        waiting += reversed(below_here)
        for name, entry in others:
            path = os.path.join(top, name)
            place = (*here, name)
            try:
                if hidden(path, name):
                    continue
                link = entry.is_symlink()
                if not entry.is_file():  # a dangling link too: a link to it finds nothing
                    continue
            except FileNotFoundError:
                continue  # gone since the folder was read
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
                continue
            is_note = matches(path, name, pattern, below)
            if link and not inside(os.path.realpath(path), root):
                listing.outside.add(place)
                if is_note:
                    error(f"{shown(path)}: a symbolic link that leads outside the notes: no page")
                continue
            if refused(listing, place, path, error):
                continue
            if not is_note:
                listing.files[place] = Path(path)
                continue
            stem = stem_of(name)
            add_note(listing, Note(len(listing.notes), Path(path), place, (*here, stem + ".html"), stem), pages, error)
    for folder in {note.place[:-1] for note in listing.notes}:
        for depth in range(len(folder) + 1):
            listing.folders.add(folder[:depth])
    return listing


def add_note(listing: Listing, note: Note, pages: dict[str, Note], error: Callable[[str], None]) -> None:
    # Two pages clash when they differ only in letter case, as on the disks of Windows and macOS.
    key = "/".join(note.page).casefold()
    first = pages.setdefault(key, note)
    if first is not note:
        error(f"{shown(note.source)}: its page would replace that of {shown(first.source)}")
        return
    listing.notes.append(note)
    listing.by_place[note.place] = note
    listing.by_stem.setdefault((*note.folder, note.stem), note)
