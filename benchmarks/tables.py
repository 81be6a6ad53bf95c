"""What the tables share: the targets, and the cells that judge a figure by them.

The targets are for 20 MB documents on the two-core development machine; the
short lines carry theirs in benchmarks.lines.LINE_SHAPES.
"""

from __future__ import annotations

from benchmarks.harness import MB

THROUGHPUT_TARGETS = {"notes": 2000, "prose": 500, "links": 1000, "long": 2000}  # MB/s
PEER_TARGET = 30.0  # cmarkgfm's time over brelim's on the same notes
# brelim's MB/s on a shape over cmarkgfm's MB/s on the notes: the figure that
# still holds on a machine that runs everything at half the speed.
PEER_RATE_TARGETS = {"links": 25.0, "long": 25.0}
LINE_PEER_TARGET = 70.0  # cmarkgfm's time per line over brelim's
LINE_FLOOR_TARGET = 1.3  # brelim's time per plain line over the floor sketch's
SMALL_TARGET = 3.0  # the tiny call's time over str.upper's
MEMORY_TARGET = 2.2  # times the output's size, plus MEMORY_ALLOWANCE
MEMORY_ALLOWANCE = MB  # bytes, so that a tiny output does not ask for nothing
SCALING_TARGET = 2.3  # t(2n) / t(n)


def verdict(ok: bool) -> str:
    """The Met cell."""
    return "yes" if ok else "**no**"


def target_cells(value: float, target: float, text: str) -> str:
    """The Target and Met cells of a figure that must reach `target`."""
    return f" >= {text} | {verdict(value >= target)} |"
