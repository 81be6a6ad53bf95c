"""Where a site's anchors lead: each hashtag's tag page and each link's target, resolved once for a build."""

from __future__ import annotations

import functools

from brelim_cli.site.listing import Listing
from brelim_cli.site.resolve import Dead, resolve
from brelim_cli.site.urls import TAGS, Place, quote_part, relative_url, root_url, tag_page

TAGS_HERE = (TAGS,)  # the folder of the tag pages

# A hashtag's tag page: its place, its URL from the site's root, and from the tag pages' folder.
Tag = tuple[Place, str, str]
# A link's target: its place (None when external or dead), its URL from the site's root (or the external URL),
# the number of the note whose page it reaches (or ATTACHMENT, or -1), its URL from that page's folder, why
# it is dead ("" when it is not), and its URL from the tag pages' folder.
Link = tuple[Place | None, str, int, str, str, str]
ATTACHMENT = -2  # a file of the notes that the site carries


class Hrefs:
    """Where each anchor's target leads, for a build: a hashtag's as a `Tag`, and a link's as a `Link`.
    `brelim._site_page` asks once in each process for each target and keeps the answer on this object.

    A link is asked for by the folder and target it resolves as, so that notes of many folders share one
    answer: `../x` in `a/b` is `x` in `a` (unless the target has a colon), and a target from the notes' root
    (`/x`) is alike in every folder, asked for from the root's ()."""

    def __init__(self, listing: Listing, own: frozenset[str]) -> None:
        self.listing = listing
        self.own = own

    def tag(self, word: str) -> Tag:
        place = tag_page(word)
        return (place, root_url(place), relative_url(TAGS_HERE, place))

    def link(self, key: tuple[Place, str, bool]) -> Link:
        folder, target, script = key
        resolved = resolve(target, False, script, folder, self.listing, self.own)
        found: Link
        if isinstance(resolved, Dead):
            found = (None, "", -1, "", resolved.reason, "")
        elif resolved.place is None:
            found = (None, resolved.url, -1, "", "", "")
        else:
            place, page = resolved.place, resolved.page
            # A page reached is the note's own page, at `place`: from its folder, its URL is its name.
            there = quote_part(place[-1]) if page >= 0 else ""
            kind = ATTACHMENT if resolved.attachment else page
            found = (place, root_url(place), kind, there, "", relative_url(TAGS_HERE, place))
        return found


@functools.lru_cache(maxsize=4)
def hrefs_of(listing: Listing, own: frozenset[str]) -> Hrefs:
    """The build's `Hrefs`, made once in each process that starts its pages."""
    return Hrefs(listing, own)


@functools.cache  # the notes' folders
def folder_prefixes(folder: Place) -> tuple[Place, ...]:
    """The folder cut at each depth, from the root's () to the folder itself: the folders a link's key names."""
    return tuple(folder[:depth] for depth in range(len(folder) + 1))
