"""How large a page the command agrees to build.

The format repeats the label of a link in every later plain link of its
headline, so a page can be far larger than its document: a line of 100 KB can
give 500 MB. A page over the limit is refused before it is built, from the
module's own measure of the fragment, which costs less than the conversion.
"""

from __future__ import annotations

import os
import re
import sys

import brelim
from brelim_cli.errors import ConversionError, shown

# By default: 16 times the document, at least this, never more than a quarter of the machine's memory.
GROWTH = 16
LEAST = 64 << 20
UNITS = {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
SIZE = re.compile(r"(\d+)([KMG]?)", re.IGNORECASE)


def parse_size(text: str) -> int:
    """Bytes from `123`, `64K`, `16M` or `2G` (powers of 1024); raises ValueError."""
    found = SIZE.fullmatch(text.strip())
    if found is None:
        raise ValueError(f"not a size: {text!r} (bytes, or with K, M or G)")
    return int(found[1]) * UNITS[found[2].upper()]


def shown_size(size: int) -> str:
    for unit in ("G", "M", "K"):
        if size >= UNITS[unit] and size % UNITS[unit] == 0:
            return f"{size // UNITS[unit]} {unit}B"
    return f"{size:,} bytes"


def machine_memory() -> int | None:
    """The machine's memory in bytes, where the system tells it."""
    if sys.platform == "win32":
        import ctypes

        class Status(ctypes.Structure):
            _fields_ = [
                ("length", ctypes.c_ulong),
                ("load", ctypes.c_ulong),
                ("physical", ctypes.c_ulonglong),
                ("rest", ctypes.c_ulonglong * 6),
            ]

        status = Status()
        status.length = ctypes.sizeof(Status)
        return status.physical if ctypes.windll.kernel32.GlobalMemoryStatusEx(ctypes.byref(status)) else None
    try:
        return os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")
    except (AttributeError, ValueError, OSError):
        return None


def default_limit(document_size: int) -> int:
    limit = max(GROWTH * document_size, LEAST)
    memory = machine_memory()
    return limit if memory is None else min(limit, memory // 4)


def document_size(text: str) -> int:
    return len(text) if text.isascii() else len(text.encode("utf-8", "surrogatepass"))


def page_limit(text: str, limit: int | None) -> int:
    """The limit in bytes on the page of `text`: `limit`, or the default when None; 0 for none."""
    return default_limit(document_size(text)) if limit is None else limit


def check_page_size(name: str, text: str, limit: int | None) -> None:
    """Raises ConversionError when the page of `text` would be larger than `limit` bytes (None: the default, 0: none).

    The page's own frame (heading, stylesheet, note) is a few kilobytes, which the limit leaves aside.
    """
    limit = page_limit(text, limit)
    if limit == 0:
        return
    size, line, carried = brelim._fragment_size(text, limit)
    if size <= limit:
        return
    why = ""
    if carried and line is not None:  # a carried label always comes with its line
        why = f": line {line + 1} repeats the label of a link in every later link of its headline"
    elif line is not None:
        why = f": its largest headline is on line {line + 1}"
    raise ConversionError(f"{shown(name)}: page refused: more than {shown_size(limit)} (--max-page-size){why}")
