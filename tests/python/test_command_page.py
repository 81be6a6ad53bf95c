"""The note at the foot of a page whose document lost headlines or has none."""

import re
from pathlib import Path

import pytest

import brelim
from brelim_cli.page import render_page
from test_command import brelim_command, installed_command  # noqa: F401 (a fixture)

FOOTER = re.compile(r"\n</main>\n<footer>\n<p>(.*)</p>\n</footer>\n</body>", re.DOTALL)


@pytest.mark.parametrize(
    "document, note",
    [
        ("* a\n** b #c\n", None),
        ("prose\n**** four\n*", "This outline has no headline: no line starts with one to three asterisks."),
        ("", "This outline has no headline: no line starts with one to three asterisks."),
        (
            "* caf\u00e9",
            "No headline is shown: the one of this outline holds characters the outline format does not accept, "
            "such as letters beyond ASCII. <code>brelim --warn</code> lists it.",
        ),
        (
            "* a\n* b!\n* \u00e9!\n* C# x",
            "3 headlines are not shown: they hold characters the outline format does not accept, such as letters "
            "beyond ASCII and punctuation like ! or a # that starts no hashtag. "
            "<code>brelim --warn</code> lists them.",
        ),
        (
            "* a\r",
            "No headline is shown: the one of this outline holds characters the outline format does not accept, "
            "such as a carriage return. <code>brelim --warn</code> lists it.",
        ),
        (
            "* a\r\n* b\x00\n* c?!\n* \u00e9\t\n" + "\n" * 10_000 + "* d\x1b\n* e\x00",
            "5 headlines are not shown: they hold characters the outline format does not accept, such as letters "
            "beyond ASCII, punctuation like !, a NUL and the control character U+001B. "
            "<code>brelim --warn</code> lists them.",
        ),
        (
            "*** a\n* [x] & <b>\n* x] * y\n* a **\n* b ***** c\n" + "* a!\n" * 1000,
            "1,004 headlines are not shown: they hold characters the outline format does not accept, such as "
            "punctuation like !, a [ that starts no complete link, a ] that closes no link, a later "
            "headline's asterisks with no text after them or five or more asterisks within the line. "
            "<code>brelim --warn</code> lists them.",
        ),
    ],
)
def test_what_the_foot_of_a_page_says(document: str, note: str | None):
    page = render_page(document, "t")
    found = FOOTER.search(page)
    assert (found and found.group(1)) == note
    fragment = brelim.parse_string(document)
    assert f"\n{fragment}\n</body>" in page if note is None else f"<main>\n{fragment}\n</main>" in page


def test_the_command_writes_the_note_into_pages_only(tmp_path: Path):
    (tmp_path / "todo.outline").write_text("* Купить молоко\n", encoding="utf-8")
    result = brelim_command("todo.outline", "-o", "todo.html", cwd=tmp_path)
    assert "<footer>" in (tmp_path / "todo.html").read_text(encoding="utf-8")
    assert result.stderr == b"todo.outline: 1 headline left out (--warn lists them)\n"
    result = brelim_command("--fragment", "todo.outline", cwd=tmp_path)
    assert result.stdout == brelim.parse_string("* Купить молоко\n").encode()
