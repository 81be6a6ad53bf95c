"""The complete HTML page around a fragment.

The page fetches nothing: its stylesheet is written into it, unless the user
names one of their own. The fragment goes in exactly as `parse_string`
returns it, after the title's `<h1>`, so that a list the fragment leaves open
(browsers close it) can never take the heading in.

A page whose document lost headlines, or that has none, says so at its foot,
since a person who opens it never sees the command's report. The fragment is
then held in `<main>`, whose end closes every list the fragment leaves open,
so that the note stands below the lists rather than inside the last item.
"""

from __future__ import annotations

import html
import re

import brelim
from brelim_cli import left_out as reasons
from brelim_cli.errors import ESCAPED_BYTES, readable
from brelim_cli.page_options import PageOptions

# A name's bytes that are not UTF-8, as Python keeps them (see errors.ESCAPED_BYTES).
BYTES = re.compile("[\udc80-\udcff]")

# A readable line length in the system's own font, light or dark as the
# reader's system is, and black on white without the width limit on paper.
#
# The outline has three levels, so three indents. The list scaffolding opens
# at most one list per headline, and a document that cycles through the levels
# sinks one list deeper each time round: lists below the third are not
# indented further, so that such a page never runs off to the side.
STYLE = """<style>
:root { color-scheme: light dark; --text: #1d2126; --back: #fcfcfa; --soft: #6a737d; --link: #0b5cad; }
@media (prefers-color-scheme: dark) {
  :root { --text: #e3e5e8; --back: #17191c; --soft: #8d96a0; --link: #7ab7ff; }
}
html { background: var(--back); color: var(--text); }
body {
  max-width: 70ch; margin: 0 auto; padding: 2.5rem 1.25rem 4rem;
  font: 1.0625rem/1.6 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "Helvetica Neue", Arial, sans-serif;
  overflow-wrap: break-word;
}
h1 { font-size: 1.875rem; line-height: 1.25; margin: 0 0 1.5rem; }
ul { margin: 0.25rem 0; padding-left: 1.4em; }
ul ul ul ul { margin: 0; padding-left: 0; }
li { margin: 0.3rem 0; }
li::marker { color: var(--soft); }
a { color: var(--link); text-underline-offset: 0.15em; }
footer { margin-top: 2.5rem; padding-top: 0.75rem; border-top: 1px solid var(--soft); color: var(--soft); font-size: 0.875rem; }
@media print {
  :root { color-scheme: light; --text: #000; --back: #fff; --soft: #555; --link: #000; }
  body { max-width: none; padding: 0; font-size: 11pt; }
  h1 { break-after: avoid; }
  li { break-inside: avoid; }
  a[href^="http"]::after { content: " (" attr(href) ")"; color: var(--soft); font-size: 0.85em; }
}
</style>"""

# The start of every page the command writes, a site's pages too, up to the
# viewport: a template with {title}.
HEAD_START = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<meta name="viewport" content="width=device-width, initial-scale=1">
"""

PAGE = (
    HEAD_START
    + """{style}
</head>
<body>
{heading}{fragment}{note}
</body>
</html>
"""
)


# What each reason for leaving a headline out makes it hold, in the note at the
# foot of a page; the characters the format does not accept are named apart.
HOLDS = {
    reasons.HASHTAG: "a # that starts no hashtag",
    reasons.LINK: "a [ that starts no complete link",
    reasons.CLOSING_BRACKET: "a ] that closes no link",
    reasons.NO_TEXT: "a later headline's asterisks with no text after them",
    reasons.MANY_STARS: "five or more asterisks within the line",
}


def left_out_note(document: str, left_out: list[tuple[int, int, int]], shown: bool) -> str:
    """The note at the foot of a page, or "" when there is nothing to say: that
    no headline is shown, and what was left out and why, in a few words."""
    if not left_out:
        return "" if shown else note("This outline has no headline: no line starts with one to three asterisks.")
    codes = {code for _, _, code in left_out}
    characters = ["letters beyond ASCII"] if reasons.NON_ASCII in codes else []
    if reasons.CHARACTER in codes:
        sample = dict.fromkeys(reasons.characters_left_out(document, left_out))
        characters += [f"punctuation like {character}" for character in sample if character.isprintable()][:1]
        characters += [reasons.control_name(character) for character in sample if not character.isprintable()]
    held = ["characters the outline format does not accept, such as " + and_list(characters)] if characters else []
    held += [words for code, words in HOLDS.items() if code in codes]
    if len(held) > 1:
        held[-2:] = [f"{held[-2]} or {held[-1]}"]
    one = len(left_out) == 1
    if shown:
        said = f"{len(left_out):,} " + (
            "headline is not shown: it holds " if one else "headlines are not shown: they hold "
        )
    else:
        said = "No headline is shown: " + ("the one of this outline holds " if one else f"all {len(left_out):,} hold ")
    said += ", ".join(held) + "."
    return note(said, f"<code>brelim --warn</code> {'lists it' if one else 'lists them'}.")


def and_list(words: list[str]) -> str:
    return words[0] if len(words) == 1 else f"{', '.join(words[:-1])} and {words[-1]}"


def note(text: str, markup: str = "") -> str:
    """A footer of `text` (escaped here) and `markup`."""
    return f"<footer>\n<p>{html.escape(text, quote=False)}{' ' + markup if markup else ''}</p>\n</footer>"


def url_of(name: str) -> str:
    """`name` as a URL in a UTF-8 page: each byte of it that is not UTF-8 percent-encoded, as the file's name has it."""
    if ESCAPED_BYTES and BYTES.search(name):
        name = BYTES.sub(lambda byte: f"%{ord(byte[0]) - 0xDC00:02X}", name)
    return readable(name)


def render_page(
    document: str, title: str, css: str | None = None, left_out: list[tuple[int, int, int]] | None = None
) -> str:
    """The complete HTML page of one outline document, titled `title` (escaped here).

    The page carries its own stylesheet, or links `css` (a URL, escaped here)
    instead. An empty title gives no heading. `left_out` is what
    `brelim._left_out(document)` gives, when the caller has it already.
    """
    return page_html(document, title, PageOptions(css=css), left_out)


def page_html(
    document: str, title: str, options: PageOptions, left_out: list[tuple[int, int, int]] | None = None
) -> str:
    """The page of `document` as `options` make it (see render_page); the one place that reads them."""
    css = options.css
    style = STYLE if css is None else f'<link rel="stylesheet" href="{html.escape(url_of(css))}">'
    title = html.escape(title)
    heading = f"<h1>{title}</h1>\n" if title else ""
    fragment = brelim.parse_string(document)
    if left_out is None:
        left_out = brelim._left_out(document)
    note = left_out_note(document, left_out, "<li>" in fragment)
    if note:
        fragment, note = f"<main>\n{fragment}\n</main>", f"\n{note}"
    return PAGE.format(title=title, style=style, heading=heading, fragment=fragment, note=note)
