"""Throughput: MB/s of the generated documents beside a floor and the peer."""

from __future__ import annotations

import hashlib
from collections.abc import Sequence

import brelim
from benchmarks import documents
from benchmarks.harness import MB, best, gc_off, mbps, ms, note, time_once
from benchmarks.memory_floor import MemoryFloor
from benchmarks.peer import cmarkgfm
from benchmarks.tables import PEER_RATE_TARGETS, PEER_TARGET, THROUGHPUT_TARGETS, target_cells, verdict

# A notes document that stays in the last-level cache, document and output:
# the conversion's own speed, without the memory's.
CACHED_SIZE = MB
CACHED_RUNS = 10  # times --repeat: a run takes about a millisecond


def throughput(shapes: Sequence[str], size: int, repeat: int, seed: int, verbose: bool) -> list[str]:
    peer = None  # the size and best time of cmarkgfm on the notes written as Markdown
    if cmarkgfm is not None and any(s == "notes" or s in PEER_RATE_TARGETS for s in shapes):
        markdown = documents.markdown("notes", size, seed)
        cmarkgfm.markdown_to_html(markdown[:100_000])
        with gc_off():
            peer = len(markdown), best(cmarkgfm.markdown_to_html, markdown, repeat)
        del markdown
    peer_rate = mbps(*peer) if peer else None
    rows = []
    notes_time = None
    for shape in shapes:
        document = documents.outline(shape, size, seed)
        data = document.encode("ascii")
        output_size, floor_times, memory_times, brelim_times = timed_beside(document, data, repeat)
        brelim_rate = mbps(len(document), min(brelim_times))
        floor_rate = mbps(len(data), min(floor_times))
        target = THROUGHPUT_TARGETS[shape]
        row = (
            f"| {shape} | {len(document) / MB:.1f} MB | {output_size / MB:.1f} MB | {brelim_rate:,.0f} |"
            + target_cells(brelim_rate, target, f"{target:,} MB/s")
        )
        rate_target = PEER_RATE_TARGETS.get(shape)
        if rate_target is None:
            row += " | | |"
        elif peer_rate is None:
            row += f" n/a | >= {rate_target:.0f}x | |"
        else:
            multiple = brelim_rate / peer_rate
            row += f" {multiple:.1f}x |" + target_cells(multiple, rate_target, f"{rate_target:.0f}x")
        rows.append(row + floor_cells(floor_rate, brelim_rate, len(data), min(memory_times), min(brelim_times)))
        if shape == "notes":
            notes_time = min(brelim_times)
        if verbose:
            digest = hashlib.sha256(data).hexdigest()[:16]
            note(
                f"  {shape}: sha256 {digest}, brelim runs (ms) {ms(brelim_times)}; floor runs (ms) {ms(floor_times, 2)};"
                f" memory floor runs (ms) {ms(memory_times, 2)}"
            )
        del document, data
    if "notes" in shapes:
        rows.append(cached_notes_row(repeat, seed, verbose))

    lines = [
        f"Throughput: MB/s of the document's size (1 MB = 10^6 bytes), best of {repeat}. x cmarkgfm is",
        "brelim's MB/s over cmarkgfm's MB/s on the notes (below), each of its own document.",
        "The floor is `bytes.decode('ascii')` of the document's bytes, measured beside each run. The",
        "memory floor, measured beside it, reads the document's bytes once, writes the fragment's bytes",
        "once and makes the str from them; x memory floor is brelim's time over that floor's.",
        f"The notes of {CACHED_SIZE / MB:.0f} MB fit in the cache: best of {CACHED_RUNS} times as many runs, no target.",
        "",
        (
            "| Shape | Document | Output | brelim MB/s | Target | Met | x cmarkgfm | Target | Met "
            "| Floor MB/s | brelim / floor | Memory floor MB/s | x memory floor |"
        ),
        "|---|---:|---:|---:|---|---|---:|---|---|---:|---:|---:|---:|",
        *rows,
    ]
    if "notes" not in shapes and not peer:
        return lines
    if peer is None:
        peer_row = f"| cmarkgfm.markdown_to_html | not installed | | | >= {PEER_TARGET:.0f}x | |"
    elif notes_time is None:
        peer_row = (
            f"| cmarkgfm.markdown_to_html | {peer[0] / MB:.1f} MB | {peer_rate:,.0f} | "
            f"notes not run | >= {PEER_TARGET:.0f}x | |"
        )
    else:
        speedup = peer[1] / notes_time
        peer_row = (
            f"| cmarkgfm.markdown_to_html | {peer[0] / MB:.1f} MB | {peer_rate:,.0f} | "
            f"{speedup:.1f}x | >= {PEER_TARGET:.0f}x | {verdict(speedup >= PEER_TARGET)} |"
        )
    return [
        *lines,
        "",
        "The notes again, written as a Markdown nested list, through the peer; the speedup is",
        "its time over brelim's time for the same notes.",
        "",
        "| Peer on the notes | Markdown document | MB/s | brelim speedup | Target | Met |",
        "|---|---:|---:|---:|---|---|",
        peer_row,
    ]


def timed_beside(document: str, data: bytes, runs: int) -> tuple[int, list[float], list[float], list[float]]:
    """The fragment's size, and the seconds of the decode floor, the memory
    floor and brelim, each run side by side so that all three see the same
    state of the machine."""
    fragment = brelim.parse_string(document)  # also warms the code up
    output_size = len(fragment)
    memory_floor = MemoryFloor(data, fragment)
    del fragment
    floor_times: list[float] = []
    memory_times: list[float] = []
    brelim_times: list[float] = []
    with gc_off():
        for _ in range(runs):
            floor_times.append(time_once(data.decode, "ascii"))
            memory_times.append(memory_floor.seconds())
            brelim_times.append(time_once(brelim.parse_string, document))
    memory_floor.release()
    return output_size, floor_times, memory_times, brelim_times


def cached_notes_row(repeat: int, seed: int, verbose: bool) -> str:
    document = documents.outline("notes", CACHED_SIZE, seed)
    data = document.encode("ascii")
    output_size, floor_times, memory_times, brelim_times = timed_beside(document, data, repeat * CACHED_RUNS)
    brelim_rate = mbps(len(document), min(brelim_times))
    floor_rate = mbps(len(data), min(floor_times))
    if verbose:
        note(f"  notes, {CACHED_SIZE / MB:.0f} MB: fastest brelim runs (ms) {ms(sorted(brelim_times)[:5], 3)}")
    return (
        f"| notes, {CACHED_SIZE / MB:.0f} MB | {len(document) / MB:.1f} MB | {output_size / MB:.1f} MB | "
        f"{brelim_rate:,.0f} | | | | | |"
        + floor_cells(floor_rate, brelim_rate, len(data), min(memory_times), min(brelim_times))
    )


def floor_cells(floor_rate: float, brelim_rate: float, size: int, memory_time: float, brelim_time: float) -> str:
    """The floors' cells of a row: the decode's MB/s and brelim's rate over it,
    the memory floor's MB/s and brelim's time over it."""
    return (
        f" {floor_rate:,.0f} | {brelim_rate / floor_rate:.3f} |"
        f" {mbps(size, memory_time):,.0f} | {brelim_time / memory_time:.2f}x |"
    )
