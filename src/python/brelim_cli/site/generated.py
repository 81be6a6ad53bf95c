"""The pages the site makes of its own: the folders' indexes, the tag pages, and the list of tags."""

from __future__ import annotations

from brelim_cli.site.layout import END, crumbs, page_start
from brelim_cli.site.listing import Listing, Note
from brelim_cli.site.lists import folder_lists, grouped, tag_list
from brelim_cli.site.note_pages import Items, NoteResult
from brelim_cli.site.urls import ALL_TAGS, TAGS, Place, display, relative_url


class Pages:
    """What the generated pages are made of, gathered once the notes' pages are started."""

    def __init__(self, listing: Listing, site: str, css: str | None, headlines: dict[int, int]) -> None:
        self.listing = listing
        self.site = site
        self.shown_site = display(site)
        self.css = css
        self.headlines = headlines
        self.children: dict[Place, list[Place]] = {}
        for folder in sorted(listing.folders):
            if folder:
                self.children.setdefault(folder[:-1], []).append(folder)
        self.notes_in: dict[Place, list[Note]] = {}
        for note in listing.notes:
            self.notes_in.setdefault(note.folder, []).append(note)
        self.tag_counts: dict[str, int] = {}
        # What the second pass's workers read, inherited rather than sent: the headlines that carry each tag,
        # and those that link to each note, in the notes' order; one entry for each note that has some.
        self.tagged: dict[str, list[tuple[int, Items]]] = {}
        self.linked: dict[int, list[tuple[int, Items]]] = {}
        # The same, as a build gathers them (`add`): only the groups, each list joined by the worker that writes
        # its page. A list of strings joins without a count of references to each of its parts, which would
        # copy, in every worker, the memory pages that hold them.
        self.tag_groups: dict[str, list[Items]] = {}
        self.link_groups: dict[int, list[Items]] = {}

    def add(self, result: NoteResult, keep: bool = False) -> None:
        """Gathers a note's headlines, tags and links; the notes' results come in their order. Without `keep`,
        the result lets go of its tags and links, whose strings stay here alone."""
        if result.error is None:
            self.headlines[result.number] = result.headlines
        tags = result.tags
        if tags:
            counts, groups = self.tag_counts, self.tag_groups
            for word, count, group in tags:
                have = groups.get(word)
                if have is None:
                    groups[word] = [group]
                    counts[word] = count
                else:
                    have.append(group)
                    counts[word] += count
        links = result.links
        if links:
            groups_of = self.link_groups
            for target, group in links:
                have = groups_of.get(target)
                if have is None:
                    groups_of[target] = [group]
                else:
                    have.append(group)
        if not keep:
            result.tags = result.links = None

    def tag_groups_of(self, word: str) -> Items:
        """The headlines that carry the tag `word`, grouped by page in the notes' order."""
        groups = self.tag_groups.get(word)
        return grouped(self.tagged.get(word, [])) if groups is None else "".join(groups)

    def link_groups_of(self, number: int) -> Items:
        """The headlines that link to the note `number`, grouped by page in the notes' order."""
        groups = self.link_groups.get(number)
        return grouped(self.linked.get(number, [])) if groups is None else "".join(groups)

    def folder_lists(self, folder: Place) -> str:
        """What a folder's index lists: below its index note, or alone on a generated index."""
        lists = folder_lists(
            self.listing,
            folder,
            self.children.get(folder, []),
            self.notes_in.get(folder, []),
            self.headlines,
            self.site,
        )
        if not folder:
            lists += tag_list(self.tag_counts, folder)
        return lists

    def index_page(self, folder: Place) -> str:
        """The generated index of a folder without an index note."""
        title = display(folder[-1]) if folder else self.shown_site
        trail = crumbs(self.site, folder, None, folder_page=True)
        return page_start(title, self.shown_site, folder, trail, self.css) + self.folder_lists(folder) + END

    def tag_page(self, word: str) -> bytes:
        """The tag's page, encoded: its head apart, as its "·" would make the whole text encode slowly."""
        here = (TAGS,)
        title = f"#{word}"
        all_tags = f'<a href="{relative_url(here, (TAGS, ALL_TAGS))}">Tags</a>'
        trail = crumbs(self.site, here, title, shown=(), between=(all_tags,))
        body = self.tag_groups_of(word) + END
        head = page_start(title, self.shown_site, here, trail, self.css)
        return head.encode("utf-8", "replace") + body.encode("utf-8", "replace")

    def all_tags_page(self) -> str:
        here = (TAGS,)
        trail = crumbs(self.site, here, "Tags", shown=())
        body = tag_list(self.tag_counts, here) or "<p>No headline carries a hashtag.</p>\n"
        return page_start("Tags", self.shown_site, here, trail, self.css) + body + END
