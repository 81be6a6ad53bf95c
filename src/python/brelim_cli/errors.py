"""How the command's failures are told: one line each, naming the file."""

from __future__ import annotations


class ConversionError(Exception):
    """One file could not be converted; the message names it, on one line."""


def reason(error: OSError) -> str:
    return error.strerror or str(error)
