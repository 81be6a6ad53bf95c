"""Where an anchor of a note leads in the site, or why it is dead.

The target is the link's target as written in the note. External links
keep it; any other target is a path below the note's folder (below the
notes folder when it starts with `/`), matched exactly against the listing:
a note (with or without its suffix), a folder that holds notes, or any
other file of the notes, which the site then carries too.
"""

from __future__ import annotations

from typing import NamedTuple

from brelim_cli.site.listing import Listing
from brelim_cli.site.urls import INDEX, Place, external_href, is_external, page_key, tag_page

# Why a link is dead, as the report words it.
NOTHING = "finds nothing"
OUTSIDE = "leads outside the notes"
HIDDEN = "leads into a hidden file or folder"
INTO_OUT = "leads into the site's own folder"
SCRIPT = "is a script URL"
OWN = "names a file the site keeps for its own"


class Resolved(NamedTuple):
    """A live anchor: the site's file it leads to, or an external URL."""

    place: Place | None  # None for an external URL
    url: str = ""  # the external URL's href
    page: int = -1  # the number of the note whose page it reaches, if any
    attachment: bool = False  # a file the site carries for it


class Dead(NamedTuple):
    reason: str


def resolve(
    target: str, hashtag: bool, runs_script: bool, folder: Place, listing: Listing, own: frozenset[str]
) -> Resolved | Dead:
    """What an anchor of a note in `folder` leads to. `own` holds the keys of the site's own files."""
    if hashtag:
        return Resolved(tag_page(target))
    if runs_script:
        return Dead(SCRIPT)
    if ":" in target and is_external(target):  # a scheme has its colon
        return Resolved(None, external_href(target))
    parts: list[str] = [] if target.startswith("/") else list(folder)
    for part in target.split("/"):
        if part in ("", "."):
            continue
        if part == "..":
            if not parts:
                return Dead(OUTSIDE)
            parts.pop()
            continue
        parts.append(part)
    place = tuple(parts)
    if any(part[:1] == "." for part in place):
        return Dead(HIDDEN)
    if listing.out is not None and place[: len(listing.out)] == listing.out:
        return Dead(INTO_OUT)
    wants_folder = target.endswith(("/", "/.", "/..")) or target in (".", "..")
    if not wants_folder:
        note = listing.by_place.get(place) or listing.by_stem.get(place)
        if note is not None:
            return Resolved(note.page, page=note.number)
    if place in listing.folders:
        index = listing.index_note(place)
        return Resolved((*place, INDEX), page=-1 if index is None else index.number)
    if place[-1:] == ("index",) and place[:-1] in listing.folders:
        return Resolved((*place[:-1], INDEX))
    if not wants_folder and place in listing.files:
        if page_key(place) in own:
            return Dead(OWN)
        return Resolved(place, attachment=True)
    for depth in range(1, len(place) + 1):
        if place[:depth] in listing.outside:
            return Dead(OUTSIDE)
        if place[:depth] in listing.refused:
            return Dead(OWN)
    return Dead(NOTHING)
