"""The lists the site adds to its pages: a folder's folders and pages, the tags, and a page's backlinks."""

from __future__ import annotations

import functools
import html
from collections.abc import Iterable

from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.note_pages import Items, note_title
from brelim_cli.site.urls import INDEX, Place, display, relative_url, tag_page


def plural(count: int, word: str) -> str:
    return f"{count:,} {word}{'' if count == 1 else 's'}"


@functools.lru_cache(maxsize=1 << 16)
def page_link(note: Note, site: str, here: Place) -> str:
    return f'<a href="{relative_url(here, note.page)}">{shown_title(note, site)}</a>'


@functools.cache  # a title for each note
def shown_title(note: Note, site: str) -> str:
    return html.escape(note_title(note, site))


def section(heading: str, items: Iterable[str]) -> str:
    listed = "".join(f"<li>{item}</li>\n" for item in items)
    return f"<section>\n<h2>{heading}</h2>\n<ul>\n{listed}</ul>\n</section>\n" if listed else ""


def folder_lists(
    listing: Listing, folder: Place, children: list[Place], notes: list[Note], headlines: dict[int, int], site: str
) -> str:
    """A folder's subfolders and pages (its own index aside), each page with its number of headlines."""
    folders = (
        f'<a href="{relative_url(folder, (*child, INDEX))}">{html.escape(display(child[-1]))}/</a>'
        for child in children
    )
    pages = (
        f'{page_link(note, site, folder)} <span class="count">{plural(headlines.get(note.number, 0), "headline")}'
        "</span>"
        for note in notes
        if note.page[-1] != INDEX
    )
    return section("Folders", folders) + section("Pages", pages)


def tag_list(counts: dict[str, int], here: Place) -> str:
    """Every tag, with its number of headlines, for a page in the folder `here`."""
    tags = (
        f'<a href="{relative_url(here, tag_page(word))}">#{word}</a> '
        f'<span class="count">{plural(counts[word], "headline")}</span>'
        for word in sorted(counts)
    )
    return section("Tags", tags)


def grouped(entries: list[tuple[int, Items]]) -> Items:
    """Headlines grouped by the page they stand on, in the order of the notes and their lines: each entry is
    one note's group, made by the first pass for the page that lists it."""
    return "".join(items for _, items in entries)


def backlinks(groups: Items) -> str:
    """The pages that link to a page, each with its headlines that do: their `grouped` groups."""
    return f"<section>\n<h2>Linked from</h2>\n{groups}</section>\n" if groups else ""
