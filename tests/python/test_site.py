"""A folder of notes as a site: links resolved, dead ones reported, nothing leaked, rebuilds."""

import os
import pickle
import re
import subprocess
import sys
from pathlib import Path

import pytest

import brelim
from brelim_cli.left_out import Findings
from brelim_cli.page import render_page
from brelim_cli.report import Reporter
from brelim_cli.site import SiteOptions, build_site
from brelim_cli.site.note_pages import DeadLink, NoteResult

ANCHOR = re.compile(r"(<a href=')([^']*)(')")


def write(root: Path, files: dict[str, str]) -> None:
    for name, text in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


def build(notes: Path, out: Path, capsys, quiet=False, strict=False) -> tuple[int, int, list[str]]:
    """Builds the site; the dead links' count, the failures' count, and the lines told on standard error."""
    reporter = Reporter(quiet=quiet, strict=strict)
    dead = build_site(SiteOptions(notes, out, jobs=2), reporter)
    reporter.finish()
    return dead, reporter.failed, capsys.readouterr().err.splitlines()


# One headline for each case, in `notes/sub/a.outline`: the href its anchor gets, or None when it is dead.
CASES = [
    ("[[../b.outline]]", "../b.html"),
    ("[[../b]]", "../b.html"),
    ("[[c]]", "c.html"),
    ("[[/deep]]", "../deep/index.html"),
    ("[[/deep/]]", "../deep/index.html"),
    ("[[index]]", "index.html"),
    ("[[../img/a.png]]", "../img/a.png"),
    ("[[/sub/c.outline]]", "c.html"),
    ("[[../50% off]]", "../50%25%20off.html"),
    ("[[https://example.org/it's]]", "https://example.org/it&#39;s"),
    ("[[ftp://x/a]]", "ftp://x/a"),
    ("[[mailto:me]]", "mailto:me"),
    ("[[Meeting: Monday]]", None),
    ("[[javascript:alert(1) http]]", None),
    ("[[../../x]]", None),
    ("[[../.hidden]]", None),
    ("[[../.git/x]]", None),
    ("[[../site/index.html]]", None),
    ("[[nothing]]", None),
    ("[[C]]", None),
    ("#Books", "../tags/books.html"),
    ("#con", "../tags/_con.html"),
    ("#t [[t]]", None),
]
REASONS = {
    "[[Meeting: Monday]]": "finds nothing",
    "[[javascript:alert(1) http]]": "is a script URL",
    "[[../../x]]": "leads outside the notes",
    "[[../.hidden]]": "leads into a hidden file or folder",
    "[[../.git/x]]": "leads into a hidden file or folder",
    "[[../site/index.html]]": "leads into the site's own folder",
    "[[nothing]]": "finds nothing",
    "[[C]]": "finds nothing",
    "#t [[t]]": "finds nothing",
}


@pytest.fixture(scope="module")
def resolved(tmp_path_factory):
    root = tmp_path_factory.mktemp("resolution")
    notes = root / "notes"
    write(
        notes,
        {
            "b.outline": "* b\n",
            "sub/c.outline": "* c\n",
            "deep/er/d.outline": "* d\n",
            "50% off.outline": "* x\n",
            "img/a.png": "png",
            ".hidden": "h",
            ".git/x": "g",
            "sub/a.outline": "".join(f"* {case}\n" for case, _ in CASES),
        },
    )
    reporter = Reporter()
    build_site(SiteOptions(notes, notes / "site", jobs=1), reporter)
    return notes, (notes / "site/sub/a.html").read_text()


@pytest.mark.parametrize("number, case, href", [(number, *case) for number, case in enumerate(CASES)])
def test_each_target_resolves_or_is_dead(number: int, case: str, href: str | None, resolved):
    notes, page = resolved
    item = page[page.index("<main>") :].split("<li>")[number + 1]
    expected = brelim.parse_string(f"* {case}\n").split("<li>")[1]
    got = {match.group(2) for match in ANCHOR.finditer(item)}
    assert ANCHOR.sub("", item).startswith(ANCHOR.sub("", expected).removesuffix("\n</li></ul>"))
    assert got == ({href} if href is not None else {match.group(2) for match in ANCHOR.finditer(expected)})
    if href is not None and not re.match("[a-z]+:", href):
        assert (notes / "site/sub" / href.replace("%25", "%").replace("%20", " ")).resolve().is_file()


def test_dead_links_are_told_in_the_notes_order_with_where_and_why(tmp_path: Path, capsys):
    notes = tmp_path / "notes"
    write(notes, {"a.outline": "* ok [[b]]\n\n*** see [[../x]]\n", "b.outline": "* [[nope]] then #t\n* [[gone]]\n"})
    dead, failed, lines = build(notes, tmp_path / "site", capsys)
    assert (dead, failed) == (2, 0)
    assert lines == [
        f"brelim: {notes}/a.outline:3:9: dead link: '../x' leads outside the notes",
        f"brelim: {notes}/b.outline:2:3: dead link: 'gone' finds nothing",
        "brelim: 2 dead links",
    ]
    assert build(notes, tmp_path / "site", capsys, quiet=True)[2] == []
    assert build(notes, tmp_path / "site", capsys, quiet=True, strict=True)[2] == ["brelim: --strict: 2 dead links"]


@pytest.fixture
def site(tmp_path: Path, capsys):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(
        notes,
        {
            "a.outline": "* to [[sub/b]] and [[b.pdf]]\n** #Tag here\n*** #x and [[missing]]\n",
            "b.pdf": "pdf",
            "sub/b.outline": "* #tag back to [[../a.outline][a]]\n",
            "sub/index.outline": "* #tag\n",
            "x/y/z.outline": "* [[/a]]\n",
            "c.outline": "* c\n",
        },
    )
    build(notes, out, capsys)
    return notes, out


def test_the_fragment_stays_but_for_its_hrefs(site):
    notes, out = site
    for source in notes.rglob("*.outline"):
        page = (out / source.relative_to(notes)).with_suffix(".html").read_text()
        shown = page[page.index("<main>\n") + 7 : page.index("\n</main>")]
        fragment = brelim.parse_string(source.read_text())
        original = [match.group(2) for match in ANCHOR.finditer(fragment)]
        assert ANCHOR.findall(shown).__len__() == len(original)
        assert ANCHOR.sub(r"\1\3", shown) == ANCHOR.sub(r"\1\3", fragment)


def test_indexes_tags_and_backlinks(site):
    _notes, out = site
    assert sorted(str(p.relative_to(out)) for p in out.rglob("*") if p.is_file()) == [
        ".brelim-site.json",
        "a.html",
        "b.pdf",
        "c.html",
        "index.html",
        "style.css",
        "sub/b.html",
        "sub/index.html",
        "tags/all-tags.html",
        "tags/tag.html",
        "tags/x.html",
        "x/index.html",
        "x/y/index.html",
        "x/y/z.html",
    ]
    root = (out / "index.html").read_text()
    assert '<a href="a.html">a</a> <span class="count">3 headlines</span>' in root
    assert '<a href="tags/tag.html">#tag</a> <span class="count">3 headlines</span>' in root
    assert '<a href="x/index.html">x/</a>' in root and "sub/index.html" in root
    tag = (out / "tags/tag.html").read_text()
    assert tag.index('href="../a.html"') < tag.index('href="../sub/b.html"') < tag.index('href="../sub/index.html"')
    assert "<li> #tag back to <a href='../a.html'>a</a></li>" in tag
    a = (out / "a.html").read_text()
    assert "Linked from" in a and a.index('<a href="sub/b.html">b</a>') < a.index('<a href="x/y/z.html">z</a>')
    assert "<li> #tag back to <a href='a.html'>a</a></li>" in a
    assert "Linked from" not in (out / "c.html").read_text()


def test_nothing_outside_or_hidden_leaks(tmp_path: Path, capsys):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(tmp_path, {"outside.txt": "SECRET-OUTSIDE", "outside.outline": "* SECRETNOTE\n"})
    write(
        notes,
        {
            "a.outline": "* [[../outside.txt]] [[link.txt]] [[evil]] [[.h.outline]] [[alias]]\n",
            ".h.outline": "* HIDDENNOTE\n",
            ".git/x.outline": "* HIDDENNOTE\n",
            "b.outline": "* ALIASED\n",
        },
    )
    (notes / "link.txt").symlink_to(tmp_path / "outside.txt")
    (notes / "evil.outline").symlink_to(tmp_path / "outside.outline")
    (notes / "alias.outline").symlink_to("b.outline")
    _dead, _failed, lines = build(notes, out, capsys)
    assert f"brelim: {notes}/evil.outline: a symbolic link that leads outside the notes: no page" in lines
    assert (out / "alias.html").is_file() and not (out / "evil.html").exists()
    for path in out.rglob("*"):
        if path.is_file():
            data = path.read_bytes()
            assert not any(secret in data for secret in (b"SECRET", b"HIDDENNOTE")), path


def test_clashing_names_are_refused(tmp_path: Path, capsys):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, {"a.outline": "* #index #con #nul [[style.css]]\n", "style.css": "mine", "tags/t.outline": "* t\n"})
    dead, failed, _lines = build(notes, out, capsys)
    assert failed == 2 and dead == 1
    assert (out / "style.css").read_text() != "mine"
    assert {p.name for p in (out / "tags").iterdir()} == {"all-tags.html", "index.html", "_con.html", "_nul.html"}


def test_rebuilds_remove_only_their_own_and_keep_unchanged_pages(tmp_path: Path, capsys):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, {"a.outline": "* [[b]]\n** #t\n", "b.outline": "* b\n", "c.outline": "* [[f.txt]]\n", "f.txt": "f"})
    build(notes, out, capsys)
    write(out, {"mine.txt": "mine"})
    os.utime(out / "b.html", (1_000_000_000, 1_000_000_000))
    (notes / "c.outline").unlink()
    (notes / "a.outline").write_text("* [[b]]\n")
    assert build(notes, out, capsys)[:2] == (0, 0)
    assert not (out / "c.html").exists() and not (out / "f.txt").exists() and not (out / "tags/t.html").exists()
    assert (out / "mine.txt").read_text() == "mine"
    assert os.stat(out / "b.html").st_mtime == 1_000_000_000
    write(out, {"d.html": "someone's page", "e.html": render_page("* e\n", "e")})
    write(notes, {"d.outline": "* d\n", "e.outline": "* e\n"})
    _dead, failed, lines = build(notes, out, capsys)
    assert failed == 1 and lines[0].startswith(f"brelim: {out}/d.html: is in the way")
    assert (out / "d.html").read_text() == "someone's page"
    assert "brelim --site" in (out / "e.html").read_text()


def test_names_that_are_not_utf8_are_linked_by_their_bytes(tmp_path: Path, capsys):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, {os.fsdecode(b"caf\xe9.outline"): "* [[/index]]\n"})
    assert build(notes, out, capsys)[:2] == (0, 0)
    assert (out / os.fsdecode(b"caf\xe9.html")).is_file()
    assert '<a href="caf%E9.html">caf\ufffd</a>' in (out / "index.html").read_text()


@pytest.mark.parametrize(
    "args, status, told",
    [
        ([], 0, ["dead link: '../x' leads outside the notes", "brelim: 1 dead link"]),
        (["-q"], 0, []),
        (["--strict"], 1, ["dead link: '../x'", "brelim: --strict: 1 dead link"]),
        (["-q", "--strict"], 1, ["brelim: --strict: 1 dead link"]),
        (["--fragment"], 2, ["--fragment makes no pages"]),
        (["-o", "NOTES"], 2, ["is the folder of notes"]),
    ],
)
def test_the_command_builds_a_site(args: list[str], status: int, told: list[str], tmp_path: Path):
    write(tmp_path / "notes", {"a.outline": "*** see [[../x]]\n"})
    args = [str(tmp_path / "notes") if arg == "NOTES" else arg for arg in args]
    run = subprocess.run(
        [sys.executable, "-m", "brelim_cli", str(tmp_path / "notes"), "-o", str(tmp_path / "site"), "--site", *args],
        capture_output=True,
        text=True,
        check=False,
    )
    assert run.returncode == status
    lines = run.stderr.splitlines()
    assert len([line for line in lines if not line.startswith("usage") and not line.startswith(" ")]) == len(told)
    assert all(any(part in line for line in lines) for part in told)


@pytest.mark.parametrize("limit, refused", [(16 << 10, True), (None, False), (0, False)])
def test_a_note_whose_headlines_fill_many_tag_pages_is_held_to_the_page_limit(limit, refused, tmp_path, capsys):
    # 100 hashtags: the headline on 100 tag pages, 75 KB where its page takes 2 KB.
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, {"a.outline": "* a\n* " + " ".join(f"#t{n}" for n in range(100)) + "\n", "b.outline": "* #t7\n"})
    reporter = Reporter()
    build_site(SiteOptions(notes, out, jobs=1, max_page_size=limit), reporter)
    tags = sorted(path.name for path in (out / "tags").iterdir())
    if refused:
        assert capsys.readouterr().err == (
            f"brelim: {notes}/a.outline: page refused: its headlines, listed on tag pages and as backlinks, would "
            "take more than 16 KB (--max-page-size): the headline of line 2 is listed 100 times\n"
        )
        assert reporter.failed == 1 and not (out / "a.html").exists() and tags == ["all-tags.html", "t7.html"]
    else:
        assert reporter.failed == 0 and len(tags) == 101 and "a.html" in (out / "tags/t99.html").read_text()


def test_a_relative_stylesheet_is_taken_from_the_root(tmp_path: Path):
    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, {"a.outline": "* #t\n", "b/c/d.outline": "* d\n"})
    build_site(SiteOptions(notes, out, css="css/s.css", title="Mine"), Reporter())
    for page, href in (("a.html", "css/s.css"), ("b/c/d.html", "../../css/s.css"), ("tags/t.html", "../css/s.css")):
        assert f'<link rel="stylesheet" href="{href}">' in (out / page).read_text()
    assert not (out / "style.css").exists() and "<title>Mine</title>" in (out / "index.html").read_text()


@pytest.mark.parametrize("document, error", [(b"* a", TypeError), ("* \ud800", UnicodeEncodeError)])
def test_anchors_refuses_what_parse_string_refuses(document, error):
    with pytest.raises(error):
        brelim._anchors(document)


def test_anchors_rows_point_into_the_fragment():
    text = "* x\n** see [[a b]] and #t\n*** #T [[http://x/it's]]\n"
    fragment = brelim.parse_string(text)
    headlines, rows = brelim._anchors(text)
    assert headlines == 3
    assert [row[:5] for row in rows] == [(1, 19, 1, "t", False), (2, 7, 0, "http://x/it's", False)]
    assert [fragment[at : at + row[7]] for row in rows for at in row[8]] == ["t", "http://x/it&#39;s"]
    assert [row[9] for row in rows] == [("t",), ("T",)]


@pytest.mark.parametrize(
    "text, row, html",
    [
        ("* [[javascript:x]]\n", (0, 2, 0, "javascript:x", True), " <a href='javascript%3Ax'>javascript:x</a>"),
        ("* a\n** [[b]] #c #d\n", (1, 12, 1, "d", False), " [[b]] #c <a href='d'>#d</a>"),
        ("* a\n* [[x]] [[x]]\n", (1, 8, 0, "x", False), " <a href='x'>x</a> <a href='x'>x</a>"),
    ],
)
def test_anchors_rows_hold_the_headline_and_its_hrefs(text, row, html):
    fragment = brelim.parse_string(text)
    _, rows = brelim._anchors(text)
    line, column, kind, target, script, begin, end, size, hrefs, _ = rows[-1]
    assert (line, column, kind, target, script) == row
    assert fragment[begin:end] == html
    assert [fragment[at - 6 : at + size + 1] for at in hrefs] == [f"href='{fragment[hrefs[0] : hrefs[0] + size]}'"] * (
        html.count("href=")
    )
    assert all(begin < at < end for at in hrefs)


class Targets:
    """A table of targets that counts what it is asked, for brelim._site_page."""

    def __init__(self, fails: bool = False) -> None:
        self.asked: list[object] = []
        self.fails = fails

    def tag(self, word):
        self.asked.append(word)
        return (("tags", f"{word}.html"), f"tags/{word}.html", f"{word}.html")

    def link(self, key):
        self.asked.append(key)
        if self.fails:
            raise LookupError(key)
        folder, target, _ = key
        place = (*folder, target)
        if target == "gone":
            return (None, "", -1, "", "finds nothing", "")
        page = int(target[1:]) + 1 if target[:1] == "n" and target[1:].isdigit() else -2  # nK: note K + 1's page
        return (place, "/".join(place), page, place[-1] if page >= 0 else "", "", "")


def test_site_page_asks_the_table_once_for_each_target():
    table = Targets()
    prefixes = ((), ("f",), ("f", "g"))
    for number in range(2):
        headlines, body, dead, tags, links, files = brelim._site_page(
            "* #T [[../x]]\n* [[gone]]\n* #t\n", table, prefixes, "f/g", "f/g/a.html", "../f/g/a.html", number, "A", 0
        )
        assert headlines == 3 and links == [] and files == [("f", "x")]
        assert dead == [(1, 2, "gone", "finds nothing")]
        assert b"<a href='../x'>#T</a>" in body and b"<a href='../../tags/t.html'>#t</a>" in body
        assert [(word, count) for word, count, _ in tags] == [("t", 2)]
    assert table.asked == [(("f",), "x", False), (("f", "g"), "gone", False), "t"]


@pytest.mark.parametrize(
    "arguments, error",
    [
        (("* [[x]]\n", Targets(fails=True), ((),), "", "a.html", "../a.html", 0, "A", 0), LookupError),
        (("* [[x]]\n", Targets(), [()], "", "a.html", "../a.html", 0, "A", 0), TypeError),
        ((b"* a", Targets(), ((),), "", "a.html", "../a.html", 0, "A", 0), TypeError),
        (("* a", Targets(), ((),), "", "a.html", "../a.html", 0, "A"), TypeError),
        (("* a", Targets(), ((),), "", "a.html", "../a.html", 0, "A", -1), OverflowError),
    ],
)
def test_site_page_refuses_what_it_cannot_use(arguments, error):
    with pytest.raises(error):
        brelim._site_page(*arguments)


# The groups of a headline with many hashtags hold it once for each: past the limit, only their size
# and the line of the headline whose copies take most come back.
@pytest.mark.parametrize(
    "document, heavy_line",
    [
        ("* a\n* " + " ".join(f"#t{n}" for n in range(40)) + "\n* #x\n", 1),
        ("* [[n1]]\n* [[n2]] #x\n* [[n1]]\n", 1),
        ("* #x #y #w\n* " + "#X #x " * 3 + "\n", 0),  # a word again, in any case, is listed once
    ],
)
def test_site_page_stops_at_a_limit_on_its_groups(document, heavy_line):
    arguments = (Targets(), ((),), "", "a.html", "a.html", 0, "A")
    *_, tags, links, _ = brelim._site_page(document, *arguments, 0)
    size = sum(len(html) for *_, html in tags + links)
    assert brelim._site_page(document, *arguments, size) == brelim._site_page(document, *arguments, 0)
    assert brelim._site_page(document, *arguments, size - 1)[:2] == (size, heavy_line)


NOTES = {
    "a.outline": "* to [[sub/b]] and [[f.txt]]\n** #Tag here #two\n",
    "sub/b.outline": "* #tag back to [[../a.outline][a]]\n",
    "sub/index.outline": "* #two\n",
    "f.txt": "f",
}


def site_files(out: Path) -> dict[str, bytes]:
    return {str(path.relative_to(out)): path.read_bytes() for path in sorted(out.rglob("*")) if path.is_file()}


# A folder that holds nothing gets its pages written in place; any other by way of temporary files.
@pytest.mark.parametrize(
    "before",
    [{}, {"mine.txt": "mine"}, {"a.html": render_page("* a\n", "a")}, {"sub/b.html": render_page("* b\n", "b")}],
)
def test_a_fresh_folder_and_a_used_one_get_the_same_pages(before: dict[str, str], tmp_path: Path, capsys):
    notes, fresh, used = tmp_path / "notes", tmp_path / "fresh", tmp_path / "used"
    write(notes, NOTES)
    write(used, before)
    assert build(notes, fresh, capsys)[:2] == build(notes, used, capsys)[:2] == (0, 0)
    made = site_files(fresh)
    theirs = {name for name in before if not name.endswith(".html")}  # a page of the command is replaced
    assert {name: data for name, data in site_files(used).items() if name not in theirs} == made
    assert not any(name.endswith(".tmp") for name in made) and b"Linked from" in made["a.html"]


@pytest.mark.parametrize("stop_in", ["finish_site", "finish_page"])
def test_a_stopped_build_into_a_fresh_folder_leaves_no_page_begun(stop_in: str, tmp_path: Path, monkeypatch):
    from brelim_cli.site import build as site_build

    notes, out = tmp_path / "notes", tmp_path / "site"
    write(notes, NOTES)

    def stop(*args, **kwargs):
        raise KeyboardInterrupt

    monkeypatch.setattr(site_build, stop_in, stop)
    with pytest.raises(KeyboardInterrupt):
        build_site(SiteOptions(notes, out, jobs=1), Reporter(quiet=True))
    assert [path for path in out.rglob("*") if path.suffix in (".html", ".tmp")] == []


@pytest.mark.parametrize("there", [None, "file", "dangling link", "missing folder"])
def test_write_new_only_where_nothing_is(there: str | None, tmp_path: Path):
    from brelim_cli.site.note_pages import write_new

    path = tmp_path / ("new/deeper/page.html" if there == "missing folder" else "page.html")
    if there == "file":
        path.write_bytes(b"kept")
    elif there == "dangling link":
        path.symlink_to(tmp_path / "nowhere")
    written = write_new(path, b"page", missing_only=True)
    assert written == (there in (None, "missing folder"))
    assert os.path.lexists(path) and (path.is_symlink() or path.read_bytes() == (b"page" if written else b"kept"))


def test_a_note_result_survives_its_trip_from_a_worker():
    result = NoteResult(3, "why", Findings("a.outline", True), 4, [DeadLink(0, 1, "x", "finds nothing")])
    result.tags, result.links, result.files, result.in_place = [("t", 1, "<h3>")], [(2, "<h3>")], {("f",)}, True
    copy = pickle.loads(pickle.dumps(result))
    assert vars(copy.findings) == vars(result.findings)
    copy.findings = result.findings
    assert copy == result


def test_a_thousand_generated_notes_make_a_site_whose_every_link_reaches_a_file(tmp_path: Path, capsys):
    from benchmarks.site_scale import generate

    notes, out = tmp_path / "notes", tmp_path / "site"
    generate(notes, 1000)
    dead, status, _ = build(notes, out, capsys)
    assert (dead, status) == (0, 0)
    pages = sorted(out.rglob("*.html"))
    assert len([page for page in pages if page.parts[-2] != "tags"]) == 1000 + 101  # the notes, the indexes
    linked = listed = 0  # links from a note to another, and the headlines its backlinks list
    for page in pages:
        text = page.read_text()
        hrefs = re.findall(r"""href=['"]([^'"]+)['"]""", text)
        assert all((page.parent / href).is_file() for href in hrefs if "://" not in href), page
        if page.parts[-2] != "tags" and page.name != "index.html":
            main, _, end = text.partition("</main>")
            for href in re.findall(r"<a href='([^']+)'>note \d+</a>", main):
                linked += (page.parent / href).resolve() != page.resolve()
            listed += end.count("<li>")
    assert linked > 15_000 and listed == linked  # each link to another note is listed on the note it reaches
