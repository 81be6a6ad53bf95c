"""Levels of the byte layer: `parse_file` of the C++ core at every level,
forced at run time by brelim_levels (benchmarks/levels.cpp)."""

from __future__ import annotations

import subprocess
import sys
import tempfile
from collections.abc import Sequence
from pathlib import Path

import brelim
from benchmarks import documents, programs
from benchmarks.harness import MB, ROOT
from benchmarks.throughput import CACHED_SIZE


def levels_table(labels: dict[str, str], results: list[dict]) -> list[str]:
    """The rows of brelim_levels's JSON lines, one per file (labelled by
    `labels`, path to label): MB/s at each level, then each level's MB/s over
    the last level's, the widest the processor has."""
    names = list(dict.fromkeys(result["level"] for result in results))
    best = names[-1]
    header = (
        "| Shape | Document | "
        + " | ".join(f"{name} MB/s" for name in names)
        + " | "
        + " | ".join(f"{name} / {best}" for name in names[:-1])
        + " |"
    )
    rule = "|---|---:|" + "---:|" * (2 * len(names) - 1)
    rows = []
    for path, label in labels.items():
        rates = {result["level"]: result["mbps"] for result in results if result["file"] == path}
        sizes = [result["bytes"] for result in results if result["file"] == path]
        if not rates:
            continue
        cells = [f"{rates[name]:,.0f}" if name in rates else "n/a" for name in names]
        cells += [
            f"{rates[name] / rates[best]:.2f}" if name in rates and best in rates else "n/a" for name in names[:-1]
        ]
        rows.append(f"| {label} | {sizes[0] / MB:.1f} MB | " + " | ".join(cells) + " |")
    return [header, rule, *rows]


def levels(shapes: Sequence[str], size: int, repeat: int, seed: int, verbose: bool) -> list[str]:
    program = programs.build("brelim_levels", verbose)
    if isinstance(program, str):
        return [f"Levels: skipped, {program}."]
    with tempfile.TemporaryDirectory() as folder:
        labels: dict[str, str] = {}
        for shape, shape_size, label in [(shape, size, shape) for shape in shapes] + (
            [("notes", CACHED_SIZE, f"notes, {CACHED_SIZE / MB:.0f} MB")] if "notes" in shapes else []
        ):
            path = Path(folder) / f"{label.replace(', ', '-').replace(' ', '')}.outline"
            path.write_bytes(documents.outline(shape, shape_size, seed).encode("ascii"))
            labels[str(path)] = label
        completed = subprocess.run(
            [str(program), "--repeat", str(repeat), *labels], capture_output=True, check=False, text=True
        )
    results = programs.json_lines(completed.stdout)
    if verbose:
        print(completed.stdout, end="", file=sys.stderr)
    shown = program.relative_to(ROOT) if program.is_relative_to(ROOT) else program
    lines = [
        "Levels: `parse_file` of the C++ core (no Python) at each level of the byte layer, forced at run",
        f"time by `{shown}`; MB/s of the document, best of {repeat} conversions (of",
        f"as many as make {repeat * 20} MB for a smaller document), the levels in turn, and each level over",
        "the widest level the processor has. scalar is the byte-at-a-time level. The module runs at",
        f"{brelim._level()}: a level is picked only where it pays.",
        "",
    ]
    if results:
        lines += levels_table(labels, results)
    if completed.returncode != 0:
        lines += ["", f"**brelim_levels failed** (status {completed.returncode}): {completed.stderr.strip()}"]
    return lines
