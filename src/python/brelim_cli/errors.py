"""How the command's failures are told: one line each, naming the file."""

from __future__ import annotations

import os
import re
import sys
import unicodedata

# Control and format characters, line and paragraph separators, and bytes of a
# name that are not UTF-8 (which Python keeps as lone surrogates).
UNREADABLE = {"Cc", "Cf", "Zl", "Zp", "Cs"}

# Where the system's names are bytes, Python keeps each byte that is not UTF-8 as a
# surrogate from U+DC80 to U+DCFF; where they are UTF-16 (Windows), a lone surrogate is its own.
ESCAPED_BYTES = sys.getfilesystemencodeerrors() == "surrogateescape"
SURROGATES = re.compile("[\ud800-\udfff]")


class ConversionError(Exception):
    """One file could not be converted; the message names it, on one line."""


def os_message(error: OSError) -> str:
    """What the system says went wrong (`No such file or directory`), without the path, which the caller names."""
    return error.strerror or str(error)


def shown(name: object) -> str:
    """A name as a message shows it: quoted, with escapes, when it would otherwise be unreadable or could
    break the line (empty, blanks at the ends of a part, control characters such as a line feed)."""
    text = str(name)
    parts = text.replace(os.altsep, os.sep).split(os.sep) if os.altsep else text.split(os.sep)
    blanks = any(part != part.strip() for part in parts)
    if text and not blanks and not any(unicodedata.category(c) in UNREADABLE for c in text):
        return text
    if ESCAPED_BYTES and SURROGATES.search(text):
        return quoted_with_bytes(text)
    return repr(text)


def quoted_with_bytes(text: str) -> str:
    """`repr(text)`, with each byte of a name that is not UTF-8 shown as the byte it is (`\\xff`)."""
    quote = '"' if "'" in text and '"' not in text else "'"
    shown = []
    for character in text:
        if "\udc80" <= character <= "\udcff":
            shown.append(f"\\x{ord(character) - 0xDC00:02x}")
        elif character == quote:
            shown.append("\\" + quote)
        else:
            shown.append(repr(character)[1:-1])
    return quote + "".join(shown) + quote


def readable(name: str) -> str:
    """`name` with each byte that is not UTF-8 (or lone surrogate) as U+FFFD, the replacement character."""
    return SURROGATES.sub("\ufffd", name)
