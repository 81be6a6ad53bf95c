"""Converts outline documents into HTML fragments of nested lists."""

__all__ = ["parse_string"]

class PanicException(BaseException):
    """An internal fault of the conversion; never raised for well-formed input."""

def parse_string(str: str) -> str:
    """Converts a whole outline document into its HTML fragment.

    Lines that are not headlines of level 1 to 3 are left out. Raises
    TypeError for anything but a str and UnicodeEncodeError for a str that
    holds lone surrogates.
    """

def _left_out(document: str, /) -> list[tuple[int, int, int]]:
    """Private, for the brelim command: the lines left out though they start
    like a headline of level 1 to 3, as (line index, byte offset in the
    line's UTF-8, reason code) tuples."""

_left_out_reasons: tuple[str, ...]
"""Private, for the brelim command: the names of _left_out's reason codes,
indexed by code."""
