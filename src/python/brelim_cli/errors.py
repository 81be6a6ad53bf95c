"""How the command's failures are told: one line each, naming the file."""

from __future__ import annotations

import os
import unicodedata

# Control and format characters, line and paragraph separators, and bytes of a
# name that are not UTF-8 (which Python keeps as lone surrogates).
UNREADABLE = {"Cc", "Cf", "Zl", "Zp", "Cs"}


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
    return repr(text)
