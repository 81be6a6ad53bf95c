"""The parts of a run, in the order they print, and the children they start.

A part is a function of the run's options that returns the lines of its
table; its name in PARTS is its value of --parts. A child is a function run
in a fresh interpreter (benchmarks.harness.child), which prints its figures
as JSON; its name in CHILDREN is the one the part passes.
"""

from __future__ import annotations

from collections.abc import Callable

from benchmarks import levels, lines, memory, scaling, scaling_cases, site_scale, small, throughput
from benchmarks.options import Options

PARTS: dict[str, Callable[[Options], list[str]]] = {
    "throughput": lambda o: throughput.throughput(o.shapes, o.size, o.repeat, o.seed, o.verbose),
    "lines": lambda o: lines.short_lines(o.lines, o.repeat, o.verbose),
    "small": lambda o: small.small_documents(o.repeat, o.seed, o.verbose),
    "memory": lambda o: memory.memory(o.size, o.seed, o.verbose),
    "scaling": lambda o: scaling.scaling(
        o.scaling_min_time, o.repeat, o.scaling_max_bytes, o.case, o.instructions, o.verbose
    ),
    "levels": lambda o: levels.levels(o.shapes, o.size, o.repeat, o.seed, o.verbose),
    "site": lambda o: site_scale.part(o.site_notes),
}

CHILDREN: dict[str, Callable[..., None]] = {
    "memory": memory.memory_child,
    "scaling": scaling_cases.scaling_child,
    "server": scaling_cases.server_child,
    "count": scaling_cases.count_child,
}
