"""Where a site's anchors lead: each hashtag's tag page and each link's target, resolved once for a build."""

from __future__ import annotations

import functools

from brelim_cli.site.listing import Listing
from brelim_cli.site.resolve import Dead, resolve
from brelim_cli.site.urls import TAGS, Place, relative_url, root_url, tag_page

TAGS_HERE = (TAGS,)  # the folder of the tag pages

# A hashtag's tag page: its place, its URL from the site's root, and from the tag pages' folder.
Tag = tuple[Place, str, str]
# A link's target: its place (None when external or dead), its URL from the site's root (or the external URL),
# the number of the note whose page it reaches (or ATTACHMENT, or -1), its URL from that page's folder, and why
# it is dead ("" when it is not).
Link = tuple[Place | None, str, int, str, str]
ATTACHMENT = -2  # a file of the notes that the site carries


class Hrefs:
    """Where each anchor's target leads, remembered for a build: a hashtag's as a `Tag`, and a link's as a
    `Link`, by its folder and target as `shared_key` makes them and whether it runs a script."""

    def __init__(self, listing: Listing, own: frozenset[str]) -> None:
        self.listing = listing
        self.own = own
        self.tags: dict[str, Tag] = {}
        self.links: dict[tuple[Place, str, bool], Link] = {}

    def tag(self, word: str) -> Tag:
        place = tag_page(word)
        found = self.tags[word] = (place, root_url(place), relative_url(TAGS_HERE, place))
        return found

    def link(self, key: tuple[Place, str, bool]) -> Link:
        folder, target, script = key
        resolved = resolve(target, False, script, folder, self.listing, self.own)
        found: Link
        if isinstance(resolved, Dead):
            found = (None, "", -1, "", resolved.reason)
        elif resolved.place is None:
            found = (None, resolved.url, -1, "", "")
        else:
            place, page = resolved.place, resolved.page
            there = relative_url(self.listing.notes[page].page[:-1], place) if page >= 0 else ""
            found = (place, root_url(place), ATTACHMENT if resolved.attachment else page, there, "")
        self.links[key] = found
        return found


@functools.lru_cache(maxsize=4)
def hrefs_of(listing: Listing, own: frozenset[str]) -> Hrefs:
    """The build's `Hrefs`, made once in each process that starts its pages."""
    return Hrefs(listing, own)


def shared_key(folder: Place, target: str) -> tuple[Place, str]:
    """The folder and target that `target` in `folder` resolves as, so that notes of many folders share one
    resolution: `../x` in `a/b` is `x` in `a`, and a target from the notes' root is alike in every folder."""
    if target[:1] == "/":
        return (), target
    if ":" not in target:  # "../" never uncovers an external link
        while folder and target[:3] == "../" and target[3:4] not in ("", "/"):
            folder, target = folder[:-1], target[3:]
    return folder, target
