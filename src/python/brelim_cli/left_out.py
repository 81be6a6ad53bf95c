"""The report of headlines a document loses.

The format leaves out, without a word, every line that holds something it has
no place for: `** Buy milk!` or `** Call Zoë` give nothing. The module finds
those lines (only the ones that start with one to three asterisks and more,
so prose and level 4 headlines are never reported) and says where and why; this
turns its findings into the lines the command prints.
"""

from __future__ import annotations

import brelim
from brelim_cli.errors import shown

# The module's reason codes, by the names it gives them.
CHARACTER, NON_ASCII, HASHTAG, LINK, CLOSING_BRACKET, NO_TEXT, MANY_STARS = (
    brelim._left_out_reasons.index(name)
    for name in ("character", "non_ascii", "hashtag", "link", "closing_bracket", "no_text", "many_stars")
)

# Names of the control characters that a headline may be left out for; the others are told by number.
CONTROL_NAMES = {"\0": "a NUL", "\t": "a tab", "\r": "a carriage return"}
# The foot of a page names the characters by example: the first headlines left out for one suffice.
SAMPLED = 32
# How far the search for a line jumps at once, counting the line ends in between.
STRIDE = 4096


class Findings:
    """What one document loses: how many headlines and, when asked, the lines
    that list them. Small and picklable: a worker process sends it back whole."""

    def __init__(self, name: str, listed: bool) -> None:
        self.name = name
        self.listed = listed
        self.count = 0
        self.lines: list[str] = []

    def check(self, text: str, found: list[tuple[int, int, int]] | None = None) -> None:
        """Finds what `text` leaves out, unless `found` says it: what `brelim._left_out(text)` gives."""
        if found is None:
            found = brelim._left_out(text)
        self.count = len(found)
        if self.listed:
            self.lines = listing(shown(self.name), text, found)

    def notices(self, quiet: bool) -> list[str]:
        """The lines for standard error: the listing, or one summary line unless `quiet`."""
        if self.listed:
            return self.lines
        if self.count and not quiet:
            headlines = "headline" if self.count == 1 else "headlines"
            return [f"{shown(self.name)}: {self.count} {headlines} left out (--warn lists them)"]
        return []


def listing(name: str, text: str, found: list[tuple[int, int, int]]) -> list[str]:
    """One line for each headline `found` left out of `text`: `NAME:LINE:COLUMN: left out: REASON`.

    LINE and COLUMN count from 1, COLUMN in characters.
    """
    if not found:
        return []
    lines = text.split("\n")  # the module's lines: a carriage return stays with its line
    listed = []
    for index, offset, code in found:
        line = lines[index]
        column = character_column(line, offset)
        listed.append(f"{name}:{index + 1}:{column + 1}: left out: {why_left_out(line, column, code)}")
    return listed


def character_column(line: str, offset: int) -> int:
    """The character at byte `offset` of the line's UTF-8, counted from 0."""
    if line.isascii():
        return offset
    return len(line.encode("utf-8")[:offset].decode("utf-8", "replace"))


def why_left_out(line: str, column: int, code: int) -> str:
    """Why the headline `line` was left out at character `column`, for the reason `code`."""
    character = repr(line[column])  # control characters and invisible ones escaped: '\t', '\xa0'
    if code == CHARACTER:
        return f"{character} is not part of the format"
    if code == NON_ASCII:
        return f"non-ASCII {character}"
    if code == HASHTAG:
        return "'#' does not start a hashtag"
    if code == LINK:
        return "'[' does not start a link"
    if code == CLOSING_BRACKET:
        return "']' closes no link"
    rest = line[column:]
    stars = "*" * (len(rest) - len(rest.lstrip("*")))
    if code == NO_TEXT:
        return f"'{stars}' has no text after it"
    if code == MANY_STARS:
        return f"'{stars}' starts no headline (four asterisks at most)"
    return f"unknown reason {code}"


def characters_left_out(text: str, found: list[tuple[int, int, int]]) -> list[str]:
    """The character each headline of `text` left out for a character the format does not accept
    (reason CHARACTER) was lost for, in order, for the first SAMPLED of them; `found` is what
    `brelim._left_out(text)` gives. One pass over the text at most, which reads no line but theirs.
    """
    characters: list[str] = []
    position = line = 0
    for index, offset, code in found:
        if code != CHARACTER:
            continue
        position, line = line_after(text, position, index - line), index
        end = text.find("\n", position)
        here = text[position : len(text) if end < 0 else end]
        characters.append(here[character_column(here, offset)])
        if len(characters) == SAMPLED:
            break
    return characters


def line_after(text: str, position: int, lines: int) -> int:
    """Where the line `lines` lines after the one at `position` starts."""
    while lines:
        end = position + STRIDE
        skipped = text.count("\n", position, end)
        if skipped >= lines or end >= len(text):
            for _ in range(lines):
                position = text.index("\n", position) + 1
            return position
        position, lines = end, lines - skipped
    return position


def control_name(character: str) -> str:
    """A control character, as the foot of a page names it."""
    return CONTROL_NAMES.get(character, f"the control character U+{ord(character):04X}")
