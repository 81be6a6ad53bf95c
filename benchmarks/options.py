"""The options of a run, as every part reads them."""

from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class Options:
    size: int  # bytes of each generated document
    repeat: int  # runs per measurement, the best taken
    shapes: tuple[str, ...]  # of benchmarks.documents.SHAPES
    lines: int  # lines of each short-lines document
    seed: int  # of the generated documents
    scaling_min_time: float  # seconds of one conversion at n
    scaling_max_bytes: int  # of a scaling document or output at 2n
    case: str | None  # only the scaling cases whose document holds this text
    instructions: bool  # callgrind's counts in the scaling table
    verbose: bool  # raw runs and figures on stderr
    site_notes: int  # notes of the site part's generated folder
