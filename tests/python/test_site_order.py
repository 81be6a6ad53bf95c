"""The notes' order: the listing's, by which notes are numbered, and the site's lists, whatever order the
workers answer in."""

from pathlib import Path

import pytest
from test_site import site_files, write

from brelim_cli.report import Reporter
from brelim_cli.site import SiteOptions, build_site
from brelim_cli.site import build as site_build
from brelim_cli.site.listing import list_notes


# Each tree: its files, its links (name: target, from the tree's folder), the notes in the listing's order, and
# the number of names told.
@pytest.mark.parametrize(
    "files, links, order, told",
    [
        ({"z.outline": "", "a/y.outline": "", "a.outline": ""}, {}, ["a.outline", "z.outline", "a/y.outline"], 0),
        ({"b/c/x.outline": "", "b/a.outline": "", "ab/x.outline": ""}, {}, ["ab/x.outline", "b/a.outline", "b/c/x.outline"], 0),
        ({"a.outline": "", ".h.outline": "", ".git/x.outline": "", "n.txt": ""}, {}, ["a.outline"], 0),
        ({"a/x.outline": ""}, {"in.outline": "a/x.outline", "gone.outline": "nowhere", "again": "a"}, ["in.outline", "a/x.outline"], 0),
        ({"tags/x.outline": "", "Style.css": "", "x.outline": ""}, {}, ["x.outline"], 2),
        ({"x.outline": "", "site/y.outline": ""}, {}, ["x.outline"], 0),
        ({"x.outline": "", "X.md": ""}, {"loop.outline": "loop.outline"}, ["x.outline"], 1),
    ],
)  # fmt: skip
def test_the_listing_walks_files_before_folders_in_name_order(files, links, order, told, tmp_path: Path):
    notes = tmp_path / "notes"
    write(notes, files)
    for name, target in links.items():
        (notes / name).symlink_to(target)
    lines: list[str] = []
    listing = list_notes(notes, notes / "site", "*.outline", lines.append)
    assert ["/".join(note.place) for note in listing.notes] == order
    assert [note.number for note in listing.notes] == list(range(len(order)))
    assert all(
        listing.by_place[note.place] is note and note.source == notes.joinpath(*note.place) for note in listing.notes
    )
    assert len(lines) == told, lines


NOTES = {
    "a.outline": "* #t one [[c]]\n",
    "b.outline": "* #t two [[c]]\n",
    "c.outline": "* #t three\n",
    "d/index.outline": "* #t four [[../c]]\n",
}


def answering(order: str, dying: int | None):  # type: ignore[no-untyped-def]
    """A pool whose first run answers in `order` and dies on the note `dying`; later runs answer in order."""
    runs = []

    def run_in_processes(items, workers, work, done, failed, clean_up, apart=False, batch=32):  # type: ignore[no-untyped-def]
        first = not runs
        runs.append(items)
        ordered = {"forward": items, "backward": items[::-1], "odd first": items[1::2] + items[::2]}[order]
        for item in ordered if first else items:
            if first and item == dying:
                failed(item, "killed by signal 9")
            else:
                done(work(item))

    return run_in_processes


@pytest.mark.parametrize("order", ["forward", "backward", "odd first"])
@pytest.mark.parametrize("dying", [None, 1])
def test_lists_keep_the_notes_order_whatever_order_results_come_in(order, dying, tmp_path: Path, monkeypatch):
    notes = tmp_path / "notes"
    write(notes, NOTES)
    build_site(SiteOptions(notes, tmp_path / "plain", jobs=1), Reporter(quiet=True))
    expected = site_files(tmp_path / "plain")
    monkeypatch.setattr(site_build, "run_in_processes", answering(order, dying))
    reporter = Reporter(quiet=True)
    build_site(SiteOptions(notes, tmp_path / "site", jobs=1), reporter)
    made = site_files(tmp_path / "site")
    if dying is None:
        assert made == expected and not reporter.failed
        return
    assert reporter.failed == 1 and "b.html" not in made
    tag = made["tags/t.html"].decode()
    assert tag.index("one") < tag.index("three") < tag.index("four") and "two" not in tag
    backlinks = made["c.html"].decode()
    assert backlinks.index("one") < backlinks.index("four") and "two" not in backlinks
