"""Short lines: documents of one short line repeated, what a line costs when
there is hardly anything in it, beside the peer on the same items as a
Markdown list and beside the floor sketch (benchmarks/floor.cpp)."""

from __future__ import annotations

import subprocess
import sys
import tempfile
from pathlib import Path

import brelim
from benchmarks import programs
from benchmarks.harness import gc_off, ms, note, time_once
from benchmarks.peer import cmarkgfm
from benchmarks.tables import LINE_FLOOR_TARGET, LINE_PEER_TARGET, target_cells, verdict

# (label, outline lines taken in turn, the same as Markdown, target ns per line)
LINE_SHAPES: list[tuple[str, tuple[str, ...], tuple[str, ...], int]] = [
    ("`* a`", ("* a",), ("- a",), 12),
    ("`* a` / `** b` / `*** c`", ("* a", "** b", "*** c"), ("- a", "  - b", "    - c"), 15),
    ("`* abcdefghij klmnopqrst uvwxyz`", ("* abcdefghij klmnopqrst uvwxyz",), ("- abcdefghij klmnopqrst uvwxyz",), 25),
    ("`* call #home`", ("* call #home",), ("- call [#home](home)",), 30),
    ("`* see [[a/b.txt]] now`", ("* see [[a/b.txt]] now",), ("- see [a/b.txt](a%2Fb.txt) now",), 30),
]
LINES = 250_000  # so that every output stays under glibc's 32 MiB mmap ceiling


def lines_document(lines: tuple[str, ...], count: int) -> str:
    """`count` lines, taken from `lines` in turn, each ended by a line feed."""
    whole, part = divmod(count, len(lines))
    return "".join(line + "\n" for line in lines) * whole + "".join(line + "\n" for line in lines[:part])


def floor_times(documents_by_label: dict[str, str], repeat: int, verbose: bool) -> dict[str, float] | str:
    """Seconds of the floor sketch (benchmarks/floor.cpp) for each document it
    takes, by label, or why there are none."""
    program = programs.build("brelim_floor", verbose)
    if isinstance(program, str):
        return program
    with tempfile.TemporaryDirectory() as folder:
        paths = {}
        for index, (label, document) in enumerate(documents_by_label.items()):
            path = Path(folder) / f"lines{index}.outline"
            path.write_bytes(document.encode("ascii"))
            paths[str(path)] = label
        completed = subprocess.run(
            [str(program), "--repeat", str(repeat), *paths], check=False, capture_output=True, text=True
        )
    if verbose:
        print(completed.stdout, end="", file=sys.stderr)
    if completed.returncode != 0:
        return f"brelim_floor failed (status {completed.returncode}): {completed.stderr.strip()}"
    results = programs.json_lines(completed.stdout)
    return {paths[result["file"]]: result["seconds"] for result in results if result["seconds"] is not None}


def short_lines(count: int, repeat: int, verbose: bool) -> list[str]:
    rows = []
    floors = floor_times(
        {label: lines_document(outline_lines, count) for label, outline_lines, *_ in LINE_SHAPES}, repeat, verbose
    )
    for label, outline_lines, markdown_lines, target in LINE_SHAPES:
        document = lines_document(outline_lines, count)
        markdown = lines_document(markdown_lines, count)
        brelim.parse_string(document)
        if cmarkgfm is not None:
            cmarkgfm.markdown_to_html(markdown)
        brelim_times: list[float] = []
        peer_times: list[float] = []
        with gc_off():
            for _ in range(repeat):
                brelim_times.append(time_once(brelim.parse_string, document))
                if cmarkgfm is not None:
                    peer_times.append(time_once(cmarkgfm.markdown_to_html, markdown))
        ns = min(brelim_times) / count * 1e9
        row = f"| {label} | {len(document) / count:.0f} B | {ns:,.1f} | <= {target:.0f} ns | {verdict(ns <= target)} |"
        if peer_times:
            peer_ns = min(peer_times) / count * 1e9
            multiple = peer_ns / ns
            row += f" {peer_ns:,.0f} | {multiple:.0f}x |" + target_cells(
                multiple, LINE_PEER_TARGET, f"{LINE_PEER_TARGET:.0f}x"
            )
        else:
            row += f" not installed | | >= {LINE_PEER_TARGET:.0f}x | |"
        if isinstance(floors, dict) and label in floors:
            floor_ns = floors[label] / count * 1e9
            met = verdict(ns <= LINE_FLOOR_TARGET * floor_ns)
            row += f" {floor_ns:,.1f} | {ns / floor_ns:.2f}x | <= {LINE_FLOOR_TARGET}x | {met} |"
        else:
            row += " | | | |"
        rows.append(row)
        if verbose:
            note(f"  {label}: brelim runs (ms) {ms(brelim_times)}; cmarkgfm runs (ms) {ms(peer_times)}")
    return [
        f"Short lines: documents of {count:,} lines, each line one of the items (in turn), in ns per line,",
        f"best of {repeat}. The peer converts the same items as a Markdown list (nested by indentation; the",
        "hashtag as the link `[#home](home)`, which gives the same anchor), timed beside each run; x cmarkgfm",
        "is its time over brelim's. Bytes: of a line, its line feed included (on average). The floor is a",
        "sketch that converts plain headlines only (`benchmarks/floor.cpp`, in C++ without the call: masks",
        "of 64 bytes, fixed-size moves, the fragment copied once more as into a str), best of as many runs.",
        *([] if isinstance(floors, dict) else ["", f"Floor: not measured, {floors}."]),
        "",
        "| Lines | Bytes/line | brelim ns/line | Target | Met | cmarkgfm ns/line | x cmarkgfm | Target | Met"
        " | Floor ns/line | brelim / floor | Target | Met |",
        "|---|---:|---:|---|---|---:|---:|---|---|---:|---:|---|---|",
        *rows,
    ]
