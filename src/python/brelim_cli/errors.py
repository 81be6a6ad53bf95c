"""How the command's failures are told: one line each, naming the file."""

from __future__ import annotations


class ConversionError(Exception):
    """One file could not be converted; the message names it, on one line."""


def os_message(error: OSError) -> str:
    """What the system says went wrong (`No such file or directory`), without the path, which the caller names."""
    return error.strerror or str(error)
