"""Standard streams that a cron job or a script may have closed.

A closed standard stream is opened on the null device at start-up, as
long-lived Unix tools do: a file the command opens afterwards can then never
take its number, so that no message lands in a page, and nothing fails for
want of a stream. The command remembers which were closed: a page meant for
a closed standard output is still an error, never a page thrown away.
"""

from __future__ import annotations

import io
import os
import sys

# The standard descriptors that were closed when the command started.
closed: set[int] = set()

NAMES = {0: "stdin", 1: "stdout", 2: "stderr"}


def open_closed_streams() -> None:
    """Opens the null device on each closed standard descriptor, and a Python stream on it where there is none."""
    for number, name in NAMES.items():
        try:
            os.fstat(number)
            continue
        except OSError:
            closed.add(number)
        null = os.open(os.devnull, os.O_RDONLY if number == 0 else os.O_WRONLY)
        if null != number:
            os.dup2(null, number)
            os.close(null)
        if getattr(sys, name) is None:
            setattr(sys, name, stream_on(number))


def stream_on(number: int) -> io.TextIOWrapper:
    if number == 0:
        return io.TextIOWrapper(io.FileIO(number, "r", closefd=False), encoding="utf-8")
    errors = "backslashreplace" if number == 2 else "strict"
    return io.TextIOWrapper(io.FileIO(number, "w", closefd=False), encoding="utf-8", errors=errors, line_buffering=True)


def was_closed(number: int) -> bool:
    """Whether the standard descriptor `number` was closed when the command started."""
    return number in closed
