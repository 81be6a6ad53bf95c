"""Properties of the conversion over generated outline documents."""

import re

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brelim
from conftest import HEADLINES

PLAIN = "abcXYZ019 \"%&'()+,-./:=?_"
ALNUM = "abcxyzABC0189"

plain_run = st.text(PLAIN, min_size=1, max_size=8)
word = st.text(ALNUM, min_size=1, max_size=6)
target = plain_run | st.sampled_from(
    ["http://x.org/a?b=c&d", "javascript:alert(1)//http", "  Data:text/html,http", "it's http", "VBScript:http"]
)
inline = st.one_of(
    plain_run,
    word.map("#".__add__),
    target.map(lambda t: "[[" + t + "]]"),
    st.tuples(target, target).map(lambda td: "[[" + td[0] + "][" + td[1] + "]]"),
)
# Characters and fragments outside the grammar.
foreign = st.sampled_from(
    [
        "[",
        "]",
        "[[a]",
        "[[a][b]",
        "#",
        "!",
        "*",
        "<b>",
        ">",
        "\t",
        "\x00",
        "\u00e9",
        "\U0001f600",
        "\u2028",
        "\ufeff",
        "\x85",
        "\r",
    ]
)
piece = st.one_of(inline, inline, inline, foreign)
content = st.lists(piece, min_size=1, max_size=5).map("".join)
stars = st.sampled_from(["*", "*", "**", "**", "***", "***", "****", "*****", "", " *"])
headline = st.tuples(stars, content).map("".join)
line = st.one_of(headline, st.lists(headline, min_size=2, max_size=3).map("".join), content, st.just(""))
lines = st.lists(line, max_size=10)
documents = st.tuples(lines, st.booleans()).map(lambda lf: "\n".join(lf[0]) + ("\n" if lf[1] else ""))

# Lines that write nothing and keep the depth: any line that does not start
# with an asterisk, and any line whose first headline has level 4.
silent_line = st.one_of(
    st.text().filter(lambda s: "\n" not in s and not s.startswith("*")),
    st.tuples(content, st.lists(headline, max_size=2).map("".join)).map(lambda ch: "****" + ch[0] + ch[1]),
)

SETTINGS = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])

TAG = re.compile(r"<(?:ul>|/ul>|li>|/li>|a href='|/a>)")
ANCHOR = re.compile(r"<a href='([^'<>]*)'>[^<]*</a>")
SCRIPT_SCHEME = re.compile(r"(?i)(?:javascript|vbscript|data):")


def check_fragment(fragment):
    # The bytes too, not only the flag: a str built on the full API is not checked.
    assert type(fragment) is str and fragment.isascii() and fragment.encode().isascii()
    assert fragment.startswith("<ul>") and fragment.endswith("\n</li></ul>")
    assert all(TAG.match(fragment, at.start()) for at in re.finditer("<", fragment))
    opened = fragment.count("<a href='")
    hrefs = ANCHOR.findall(fragment)
    assert len(hrefs) == opened, "an href broken out of, or an anchor not closed"
    for href in hrefs:
        assert not SCRIPT_SCHEME.match(href.lstrip("".join(map(chr, range(0x21))))), href


@SETTINGS
@given(documents)
def test_fragment_is_well_formed_ascii_and_deterministic(document):
    fragment = brelim.parse_string(document)
    check_fragment(fragment)
    assert brelim.parse_string(document) == fragment


@SETTINGS
@given(documents.map(lambda d: d.replace("\r", "")))
def test_line_endings_do_not_matter(document):
    fragment = brelim.parse_string(document)
    assert brelim.parse_string(document.replace("\n", "\r\n")) == fragment
    assert brelim.parse_string(document + "\n") == fragment
    assert brelim.parse_string(document.replace("\n", "\r\n") + "\r\n") == fragment


@SETTINGS
@given(lines.map(lambda ls: [s.replace("\r", "") for s in ls]), st.lists(st.tuples(st.integers(0), silent_line)))
def test_silent_lines_never_change_the_fragment(base, inserted):
    fragment = brelim.parse_string("\n".join(base))
    grown = list(base)
    for at, silent in inserted:
        grown.insert(at % (len(grown) + 1), silent)
    assert brelim.parse_string("\n".join(grown)) == fragment


def scaffolding(document):
    """The list tags the scaffolding writes for the document, by depth and level."""
    pieces = document.split("\n")
    if pieces[-1] == "":
        pieces.pop()
    # A carriage return is part of the ending only right before a line feed.
    fed = len(pieces) if document.endswith("\n") else len(pieces) - 1
    out, depth = ["<ul>"], 0
    for index, piece in enumerate(pieces):
        match = HEADLINES.fullmatch(piece[:-1] if index < fed and piece.endswith("\r") else piece)
        level = len(match.group(1)) if match else 0
        if level == 1:
            out += ["</li>"] * (depth > 0) + ["</ul>"] * (depth > 1) + ["<li>"]
        elif level == 2:
            out += ["<ul>" if depth < 2 else "</li>" if depth == 2 else "</ul>", "<li>"]
        elif level == 3:
            out += ["<ul>" if depth < 3 else "</li>", "<li>"]
        depth = level if level in (1, 2, 3) else depth
    return out + ["</li>", "</ul>"]


@SETTINGS
@given(documents)
def test_scaffolding_follows_the_line_levels(document):
    fragment = brelim.parse_string(document)
    assert re.findall(r"</?(?:ul|li)>", fragment) == scaffolding(document)
