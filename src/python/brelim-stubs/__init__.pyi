"""Converts outline documents into HTML fragments of nested lists."""

from typing import Any

__all__ = ["parse_string"]

class PanicException(BaseException):
    """An internal fault of the conversion; never raised for well-formed input."""

def parse_string(str: str) -> str:
    """Converts a whole outline document into its HTML fragment.

    Lines that are not headlines of level 1 to 3 are left out. Raises
    TypeError for anything but a str and UnicodeEncodeError for a str that
    holds lone surrogates.
    """

def _left_out(document: str, /) -> list[tuple[int, int, int]]:
    """Private, for the brelim command: the lines left out though they start
    like a headline of level 1 to 3, as (line index, byte offset in the
    line's UTF-8, reason code) tuples."""

_left_out_reasons: tuple[str, ...]
"""Private, for the brelim command: the names of _left_out's reason codes,
indexed by code."""

def _fragment_size(document: str, limit: int, /) -> tuple[int, int | None, bool]:
    """Private, for the brelim command: what `parse_string(document)` would
    take, measured by the conversion's own reading without building it, in
    less time than the conversion and without holding more than the
    document. `limit` is a number of bytes, 0 or more.

    Returns (size, line, carried). `size` is `len(parse_string(document))`
    when that is at most `limit`; otherwise the measure stopped at the
    headline that took it past `limit`, and `size` is the fragment's size up
    to there, more than `limit`. Past the limit, `line` is the index (from 0)
    of the line whose item was the largest measured, and `carried` tells
    whether that item repeats, at each of its anchors, a label carried over
    from an earlier link or hashtag, which makes a line's HTML grow with the
    square of its length; within it (or without any item) they are None and
    False. Raises OverflowError for a negative
    `limit`, and what parse_string raises for a str it cannot convert."""

def _anchors(
    document: str, /
) -> tuple[int, list[tuple[int, int, int, str, bool, int, int, int, tuple[int, ...], tuple[str, ...]]]]:
    """Private, for the brelim command's site: the number of headlines in
    `parse_string(document)`, and a row for each of them that has an anchor,
    in document order: (line index, byte offset in the line of the link or
    hashtag that makes the anchor, kind (0 a link, 1 a hashtag), the link's
    target as written or the hashtag's word, whether the link's scheme runs a
    script, the headline's HTML as [begin, end) offsets in the fragment, the
    size of the anchor's href, where each of the anchor's hrefs begins in the
    fragment, and the words of every hashtag in the headline's text). Offsets
    in the fragment count characters, which are bytes: it is ASCII. Raises
    what parse_string raises for a str it cannot convert."""

def _site_page(
    document: str,
    table: Any,
    prefixes: tuple[tuple[str, ...], ...],
    folder: str,
    page: str,
    from_tags: str,
    number: int,
    title: str,
    limit: int,
    /,
) -> (
    tuple[
        int,
        bytes,
        list[tuple[int, int, str, str]],
        list[tuple[str, int, str]],
        list[tuple[int, str]],
        list[tuple[str, ...]],
    ]
    | tuple[int, int, int]
):
    """Private, for the brelim command's site: the page of the note numbered
    `number`, its folder and page given as URLs from the site's root, its page
    also from the tag pages' folder, and its title as HTML. Returns (the
    number of headlines in `parse_string(document)`; that fragment as UTF-8,
    each anchor's hrefs pointed where `table` resolves it, and an href that
    leads nowhere kept; each dead link as (line index, byte offset in the
    line, target, why); for each hashtag word in lower case, in first use,
    (word, headlines, their group as a tag page lists them); for each other
    note's page linked to, in first link, (its number, the group its
    backlinks list); the place of each file a link carries into the site).
    `table.tags` and `table.links` are dicts of resolved targets, keyed by
    word and by (one of `prefixes`, target, runs script), which
    `table.tag(word)` and `table.link(key)` fill on a miss. When the groups
    together would take more than `limit` bytes (0: no limit), returns
    instead (their size, the line index of the headline whose copies in them
    take most, and the number of its copies). Raises what parse_string raises for a str it cannot convert,
    what the table raises, and OverflowError for a negative `limit`."""

def _level() -> str:
    """Private, for benchmarks and bug reports: the name of the level of the
    byte layer the module runs at, such as "ssse3" or "neon" ("scalar": a
    byte at a time)."""
