"""The site's paths and the relative URLs between them.

A place in the site is a tuple of its path's parts below the site's root.
Every href the site writes is relative, each part percent-encoded on its own
(bytes of a name that are not UTF-8 too), so that a browser, a static host
and `file://` resolve it alike.
"""

from __future__ import annotations

import functools
import os
import re
from urllib.parse import quote

Place = tuple[str, ...]

TAGS = "tags"
STYLESHEET = "style.css"
INDEX = "index.html"
MANIFEST = ".brelim-site.json"
# Tag pages are named after a word of letters and digits: a hyphen or an
# underscore keeps these names from every tag's.
ALL_TAGS = "all-tags.html"
# Names Windows keeps for devices, with any suffix: such a tag's page is moved aside.
RESERVED = {"con", "prn", "aux", "nul"} | {f"{port}{n}" for port in ("com", "lpt") for n in range(1, 10)}

EXTERNAL = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*://")
SCHEME = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*:")


def is_external(target: str) -> bool:
    return EXTERNAL.match(target) is not None or target.startswith("mailto:")


def external_href(target: str) -> str:
    """The href of an external link: its target as written, its apostrophes escaped for the attribute."""
    return target.replace("'", "&#39;")


def tag_word(word: str) -> str:
    return word.lower()


@functools.lru_cache(maxsize=1 << 16)
def tag_page(word: str) -> Place:
    """The page of a tag (any letter case) at the site's root."""
    name = tag_word(word)
    return (TAGS, f"_{name}.html" if name in RESERVED else f"{name}.html")


UNRESERVED = re.compile(r"[A-Za-z0-9._~-]*")


@functools.lru_cache(maxsize=1 << 16)
def quote_part(part: str) -> str:
    if UNRESERVED.fullmatch(part):
        return part
    return quote(os.fsencode(part), safe="")


@functools.cache  # the site's files: its notes, folders, tags and linked files
def quoted(place: Place) -> tuple[str, ...]:
    return tuple(map(quote_part, place))


@functools.cache  # the site's files
def root_url(place: Place) -> str:
    """The URL of the file at `place` from the site's root."""
    return "/".join(map(quote_part, place))


def relative_url(here: Place, place: Place) -> str:
    """The URL of the file at `place` from a page in the folder `here`."""
    if not here or here[0] != place[0]:  # no folder in common: by way of the root
        return "../" * len(here) + root_url(place)
    return folder_url(here, place)


@functools.lru_cache(maxsize=1 << 16)
def folder_url(here: Place, place: Place) -> str:
    common = 0
    most = min(len(here), len(place) - 1)
    while common < most and here[common] == place[common]:
        common += 1
    return "../" * (len(here) - common) + "/".join(quoted(place)[common:])


def root_prefix(here: Place) -> str:
    """The way from a page in the folder `here` up to the site's root."""
    return "../" * len(here)


def stylesheet_href(css: str, here: Place) -> str:
    """The user's stylesheet as a page in `here` links it: a relative URL is taken from the site's root."""
    if SCHEME.match(css) or css.startswith(("/", "\\", "#")):
        return css
    return root_prefix(here) + css


@functools.lru_cache(maxsize=1 << 16)
def display(part: str) -> str:
    """A name as a page shows it: bytes that are not UTF-8 as replacement characters."""
    return os.fsencode(part).decode("utf-8", "replace")


def page_key(place: Place) -> str:
    # Two files clash when their names differ only in letter case, as on the disks of Windows and macOS.
    return "/".join(place).casefold()
