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
