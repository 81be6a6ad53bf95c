#!/usr/bin/env python3
"""Throughput, peak memory and scaling of brelim.parse_string.

    python3 -m pip install . -r benchmarks/requirements.txt
    python3 benchmarks/run.py                  # everything, 20 MB documents
    python3 benchmarks/run.py --size 2 --repeat 3 --parts throughput
    python3 benchmarks/run.py --parts small     # the fixed cost of a call
    python3 benchmarks/run.py --parts lines     # the cost of a short line
    python3 benchmarks/run.py --parts levels    # every level of the byte layer (builds with cmake)

Prints Markdown tables that go into benchmarks/README.md as they are. The times
are wall-clock times, best of --repeat runs: close other work first, and
look at the load averages printed with the machine.
"""

from __future__ import annotations

import argparse
import contextlib
import ctypes
import datetime
import gc
import hashlib
import json
import math
import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time
import timeit
from collections.abc import Callable
from pathlib import Path

SCRIPT = Path(__file__).resolve()
sys.path.insert(0, str(SCRIPT.parent))

import brelim  # noqa: E402
import documents  # noqa: E402

try:
    import cmarkgfm
except ImportError:  # the peer is optional; its row says so
    cmarkgfm = None

MB = 1_000_000
PARTS = ("throughput", "lines", "small", "memory", "scaling", "levels")
ROOT = SCRIPT.parent.parent

# Targets for 20 MB documents on the two-core development machine.
THROUGHPUT_TARGETS = {"notes": 2000, "prose": 500, "links": 1000, "long": 2000}  # MB/s
PEER_TARGET = 30.0  # cmarkgfm's time over brelim's on the same notes
# brelim's MB/s on a shape over cmarkgfm's MB/s on the notes: the figure that
# still holds on a machine that runs everything at half the speed.
PEER_RATE_TARGETS = {"links": 25.0, "long": 25.0}
MEMORY_TARGET = 2.2  # times the output's size, plus MEMORY_ALLOWANCE
MEMORY_ALLOWANCE = MB  # bytes, so that a tiny output does not ask for nothing
SCALING_TARGET = 2.3  # t(2n) / t(n)


# --------------------------------------------------------------------------
# Timing


def _time_once(function: Callable, argument) -> float:
    """Seconds for one call; the result is released outside the timing."""
    start = time.perf_counter()
    result = function(argument)
    elapsed = time.perf_counter() - start
    del result
    return elapsed


def _best(function: Callable, argument, repeat: int) -> float:
    return min(_time_once(function, argument) for _ in range(repeat))


@contextlib.contextmanager
def _gc_off():
    enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if enabled:
            gc.enable()


def _child_command(name: str, *arguments) -> list[str]:
    """The command that runs `{name}_child(*arguments)` of this script in a fresh interpreter."""
    return [sys.executable, str(SCRIPT), "--child", name, *map(json.dumps, arguments)]


def _child(name: str, *arguments, **options) -> str:
    """The standard output of `{name}_child(*arguments)`, run in a fresh interpreter."""
    return subprocess.run(
        _child_command(name, *arguments), capture_output=True, text=True, check=True, **options
    ).stdout


def _mbps(size: int, seconds: float) -> float:
    return size / seconds / MB


def _verdict(ok: bool) -> str:
    return "yes" if ok else "**no**"


def _ms(times: list[float], digits: int = 1) -> str:
    """Times in seconds as a list of milliseconds, for the -v lines."""
    return ", ".join(f"{t * 1e3:.{digits}f}" for t in times)


# --------------------------------------------------------------------------
# The machine


def _proc_fields(path: str) -> dict[str, str]:
    """The "key: value" lines of a file under /proc, the first of each key; raises OSError."""
    fields: dict[str, str] = {}
    for line in Path(path).read_text().splitlines():
        key, _, value = line.partition(":")
        fields.setdefault(key.strip(), value.strip())
    return fields


def machine_description() -> list[str]:
    cpu, memory_text, cache_text = "unknown CPU", "", ""
    with contextlib.suppress(OSError):
        cpu = _proc_fields("/proc/cpuinfo").get("model name", cpu)
    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    with contextlib.suppress(OSError, KeyError, ValueError):
        memory = int(_proc_fields("/proc/meminfo")["MemTotal"].split()[0]) * 1024
        memory_text = f", {memory / 2**30:.0f} GiB"
    # The last level of cache, which decides what "warm" means below.
    with contextlib.suppress(OSError, ValueError):
        last = max(
            Path("/sys/devices/system/cpu/cpu0/cache").glob("index*"), key=lambda p: int((p / "level").read_text())
        )
        size_text = (last / "size").read_text().strip()
        kib = int(size_text.rstrip("KkMm")) * (1024 if size_text[-1] in "Mm" else 1)
        amount = f"{kib // 1024} MiB" if kib >= 1024 else f"{kib} KiB"
        cache_text = f", {amount} L{(last / 'level').read_text().strip()} cache"
    versions = [f"Python {platform.python_version()}"]
    with contextlib.suppress(Exception):  # an uninstalled build still runs
        from importlib.metadata import version

        versions.append(f"brelim {version('brelim')}")
        if cmarkgfm is not None:
            versions.append(f"cmarkgfm {version('cmarkgfm')}")
    return [
        f"- Date: {datetime.date.today().isoformat()}",
        f"- Machine: {cpu}, {cores} cores{cache_text}{memory_text}, {platform.system()} {platform.release()}",
        f"- Software: {', '.join(versions)}",
    ]


def load_average() -> str:
    try:
        return " ".join(f"{x:.2f}" for x in os.getloadavg())
    except (AttributeError, OSError):  # AttributeError: Windows has none
        return "unknown"


# --------------------------------------------------------------------------
# Throughput


def _target_cells(value: float, target: float, text: str) -> str:
    return f" >= {text} | {_verdict(value >= target)} |"


def throughput(shapes: list[str], size: int, repeat: int, seed: int, verbose: bool) -> list[str]:
    peer = None  # the size and best time of cmarkgfm on the notes written as Markdown
    if cmarkgfm is not None and any(s == "notes" or s in PEER_RATE_TARGETS for s in shapes):
        markdown = documents.markdown("notes", size, seed)
        cmarkgfm.markdown_to_html(markdown[:100_000])
        with _gc_off():
            peer = len(markdown), _best(cmarkgfm.markdown_to_html, markdown, repeat)
        del markdown
    peer_rate = _mbps(*peer) if peer else None
    rows = []
    notes_time = None
    for shape in shapes:
        document = documents.outline(shape, size, seed)
        data = document.encode("ascii")
        output_size = len(brelim.parse_string(document))  # also warms the code up
        floor_times: list[float] = []
        brelim_times: list[float] = []
        with _gc_off():  # side by side, so that both see the same state of the machine
            for _ in range(repeat):
                floor_times.append(_time_once(data.decode, "ascii"))
                brelim_times.append(_time_once(brelim.parse_string, document))
        brelim_rate = _mbps(len(document), min(brelim_times))
        floor_rate = _mbps(len(data), min(floor_times))
        target = THROUGHPUT_TARGETS[shape]
        row = (
            f"| {shape} | {len(document) / MB:.1f} MB | {output_size / MB:.1f} MB | {brelim_rate:,.0f} |"
            + _target_cells(brelim_rate, target, f"{target:,} MB/s")
        )
        rate_target = PEER_RATE_TARGETS.get(shape)
        if rate_target is None:
            row += " | | |"
        elif peer_rate is None:
            row += f" n/a | >= {rate_target:.0f}x | |"
        else:
            multiple = brelim_rate / peer_rate
            row += f" {multiple:.1f}x |" + _target_cells(multiple, rate_target, f"{rate_target:.0f}x")
        rows.append(row + f" {floor_rate:,.0f} | {brelim_rate / floor_rate:.3f} |")
        if shape == "notes":
            notes_time = min(brelim_times)
        if verbose:
            digest = hashlib.sha256(data).hexdigest()[:16]
            print(
                f"  {shape}: sha256 {digest}, brelim runs (ms) {_ms(brelim_times)}; "
                f"floor runs (ms) {_ms(floor_times, 2)}",
                file=sys.stderr,
            )
        del document, data
    if "notes" in shapes:
        rows.append(cached_notes_row(repeat, seed, verbose))

    lines = [
        f"Throughput: MB/s of the document's size (1 MB = 10^6 bytes), best of {repeat}. x cmarkgfm is",
        "brelim's MB/s over cmarkgfm's MB/s on the notes (below), each of its own document.",
        "The floor is `bytes.decode('ascii')` of the document's bytes, measured beside each run.",
        f"The notes of {CACHED_SIZE / MB:.0f} MB fit in the cache: best of {CACHED_RUNS} times as many runs, no target.",
        "",
        (
            "| Shape | Document | Output | brelim MB/s | Target | Met | x cmarkgfm | Target | Met "
            "| Floor MB/s | brelim / floor |"
        ),
        "|---|---:|---:|---:|---|---|---:|---|---|---:|---:|",
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
            f"{speedup:.1f}x | >= {PEER_TARGET:.0f}x | {_verdict(speedup >= PEER_TARGET)} |"
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


# A notes document that stays in the last-level cache, document and output:
# the conversion's own speed, without the memory's.
CACHED_SIZE = MB
CACHED_RUNS = 10  # times --repeat: a run takes about a millisecond


def cached_notes_row(repeat: int, seed: int, verbose: bool) -> str:
    document = documents.outline("notes", CACHED_SIZE, seed)
    data = document.encode("ascii")
    output_size = len(brelim.parse_string(document))
    floor_times: list[float] = []
    brelim_times: list[float] = []
    with _gc_off():
        for _ in range(repeat * CACHED_RUNS):
            floor_times.append(_time_once(data.decode, "ascii"))
            brelim_times.append(_time_once(brelim.parse_string, document))
    brelim_rate = _mbps(len(document), min(brelim_times))
    floor_rate = _mbps(len(data), min(floor_times))
    if verbose:
        print(
            f"  notes, {CACHED_SIZE / MB:.0f} MB: fastest brelim runs (ms) {_ms(sorted(brelim_times)[:5], 3)}",
            file=sys.stderr,
        )
    return (
        f"| notes, {CACHED_SIZE / MB:.0f} MB | {len(document) / MB:.1f} MB | {output_size / MB:.1f} MB | "
        f"{brelim_rate:,.0f} | | | | | | {floor_rate:,.0f} | {brelim_rate / floor_rate:.3f} |"
    )


# --------------------------------------------------------------------------
# Short lines
#
# Documents of one short line repeated: what a line costs when there is
# hardly anything in it, beside the peer on the same items as a Markdown list.

# (label, outline lines taken in turn, the same as Markdown, target ns per line)
LINE_SHAPES: list[tuple[str, tuple[str, ...], tuple[str, ...], int]] = [
    ("`* a`", ("* a",), ("- a",), 12),
    ("`* a` / `** b` / `*** c`", ("* a", "** b", "*** c"), ("- a", "  - b", "    - c"), 15),
    ("`* abcdefghij klmnopqrst uvwxyz`", ("* abcdefghij klmnopqrst uvwxyz",), ("- abcdefghij klmnopqrst uvwxyz",), 25),
    ("`* call #home`", ("* call #home",), ("- call [#home](home)",), 30),
    ("`* see [[a/b.txt]] now`", ("* see [[a/b.txt]] now",), ("- see [a/b.txt](a%2Fb.txt) now",), 30),
]
LINES = 250_000  # so that every output stays under glibc's 32 MiB mmap ceiling
LINE_PEER_TARGET = 70.0  # cmarkgfm's time per line over brelim's
LINE_FLOOR_TARGET = 1.3  # brelim's time per plain line over the floor sketch's


def lines_document(lines: tuple[str, ...], count: int) -> str:
    """`count` lines, taken from `lines` in turn, each ended by a line feed."""
    whole, part = divmod(count, len(lines))
    return "".join(line + "\n" for line in lines) * whole + "".join(line + "\n" for line in lines[:part])


def floor_times(documents_by_label: dict[str, str], repeat: int, verbose: bool) -> dict[str, float] | str:
    """Seconds of the floor sketch (benchmarks/floor.cpp) for each document it
    takes, by label, or why there are none."""
    program = build_benchmark_program("brelim_floor", verbose)
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
    results = [json.loads(line) for line in completed.stdout.splitlines() if line.startswith("{")]
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
        with _gc_off():
            for _ in range(repeat):
                brelim_times.append(_time_once(brelim.parse_string, document))
                if cmarkgfm is not None:
                    peer_times.append(_time_once(cmarkgfm.markdown_to_html, markdown))
        ns = min(brelim_times) / count * 1e9
        row = f"| {label} | {len(document) / count:.0f} B | {ns:,.1f} | <= {target:.0f} ns | {_verdict(ns <= target)} |"
        if peer_times:
            peer_ns = min(peer_times) / count * 1e9
            multiple = peer_ns / ns
            row += f" {peer_ns:,.0f} | {multiple:.0f}x |" + _target_cells(
                multiple, LINE_PEER_TARGET, f"{LINE_PEER_TARGET:.0f}x"
            )
        else:
            row += f" not installed | | >= {LINE_PEER_TARGET:.0f}x | |"
        if isinstance(floors, dict) and label in floors:
            floor_ns = floors[label] / count * 1e9
            met = _verdict(ns <= LINE_FLOOR_TARGET * floor_ns)
            row += f" {floor_ns:,.1f} | {ns / floor_ns:.2f}x | <= {LINE_FLOOR_TARGET}x | {met} |"
        else:
            row += " | | | |"
        rows.append(row)
        if verbose:
            print(
                f"  {label}: brelim runs (ms) {_ms(brelim_times)}; cmarkgfm runs (ms) {_ms(peer_times)}",
                file=sys.stderr,
            )
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


# --------------------------------------------------------------------------
# Small documents
#
# Web back ends convert many small notes one call at a time, where the fixed
# cost of a call weighs as much as the throughput. The yardstick is
# str.upper of the same string: a call that also reads the whole string and
# builds a new one.

# (label, size of a notes document; 0 for the tiny headline "* a")
SMALL_DOCUMENTS = (('`"* a"`', 0), ("1 KB note", 1_000), ("64 KB note", 64_000))
SMALL_TARGET = 3.0  # the tiny call's time over str.upper's
SMALL_RUN_TIME = 0.002  # seconds of calls in one timed run
SMALL_RUNS = 20  # timed runs for each of --repeat


def _calls_per_run(timer: timeit.Timer) -> int:
    calls = 1
    while timer.timeit(calls) < SMALL_RUN_TIME:
        calls *= 2
    return calls


def small_documents(repeat: int, seed: int, verbose: bool) -> list[str]:
    runs = SMALL_RUNS * repeat
    rows = []
    for label, size in SMALL_DOCUMENTS:
        document = documents.outline("notes", size, seed) if size else "* a"
        timers = {
            name: timeit.Timer("f(x)", globals={"f": function, "x": document})
            for name, function in (("brelim", brelim.parse_string), ("str.upper", str.upper))
        }
        calls = {name: _calls_per_run(timer) for name, timer in timers.items()}
        times: dict[str, list[float]] = {name: [] for name in timers}
        for _ in range(runs):  # side by side, so that both see the same state of the machine
            for name, timer in timers.items():
                times[name].append(timer.timeit(calls[name]) / calls[name])
        brelim_time, upper_time = min(times["brelim"]), min(times["str.upper"])
        ratio = round(brelim_time / upper_time, 2)  # judged as shown, so that "3.00x" is not a miss
        row = (
            f"| {label} | {len(document):,} B | {brelim_time * 1e9:,.0f} | {_mbps(len(document), brelim_time):,.0f} | "
            f"{upper_time * 1e9:,.0f} | {_mbps(len(document), upper_time):,.0f} | {ratio:.2f}x |"
        )
        row += f" <= {SMALL_TARGET:.0f}x | {_verdict(ratio <= SMALL_TARGET)} |" if not size else " | |"
        rows.append(row)
        if verbose:
            for name, runs_of in times.items():
                print(
                    f"  {label}: {name}, {calls[name]} calls a run, fastest runs (ns a call) "
                    + ", ".join(f"{t * 1e9:.1f}" for t in sorted(runs_of)[:5]),
                    file=sys.stderr,
                )
    return [
        f"Small documents: time of one call in ns and MB/s of the document's size, best of {runs} runs of",
        f"{SMALL_RUN_TIME * 1e3:.0f} ms of calls each. `str.upper` of the same string, timed beside each run, is the",
        "yardstick: it reads the string and builds a new one too. The target is for the tiny document,",
        "where the fixed cost of the call is all there is.",
        "",
        (
            "| Document | Size | brelim ns | brelim MB/s | str.upper ns | str.upper MB/s | brelim / str.upper "
            "| Target | Met |"
        ),
        "|---|---:|---:|---:|---:|---:|---:|---|---|",
        *rows,
    ]


# --------------------------------------------------------------------------
# Peak memory
#
# Measured in a fresh interpreter, so that nothing of this process's history
# (freed arenas, cached buffers) hides or adds memory. The child builds the
# document, hands freed heap memory back to the system, resets the
# resident-set high-water mark (writing 5 to /proc/self/clear_refs) and runs
# one conversion; (VmHWM after - VmRSS before) is the conversion's peak.

# Documents of one line of about the --size: whatever the conversion keeps
# per token of a line shows here in full.
MEMORY_LINES: list[tuple[str, str, str]] = [
    # (the document, as Python, what comes before the repeated piece, the piece)
    ('"* " + "[[x]]"*n', "* ", "[[x]]"),
    ('"* " + "[[abcdefgh][ijklmnop]] "*n', "* ", "[[abcdefgh][ijklmnop]] "),
    ('"* " + "#a"*n', "* ", "#a"),
    ('"* a #b "*n', "", "* a #b "),
]
MEMORY_DOCUMENTS = ("notes, ASCII", "notes, one non-ASCII character", *(label for label, _, _ in MEMORY_LINES))


def memory_document(kind: int, size: int, seed: int) -> str:
    """Document `kind` of MEMORY_DOCUMENTS, of about `size` bytes."""
    if kind < 2:
        document = documents.outline("notes", size, seed)
        return "* caf\u00e9\n" + document if kind == 1 else document
    _, head, piece = MEMORY_LINES[kind - 2]
    return head + piece * max(1, (size - len(head)) // len(piece))


def _status() -> dict[str, int]:
    fields = _proc_fields("/proc/self/status")
    return {key: int(fields[key].split()[0]) * 1024 for key in ("VmRSS", "VmHWM")}


def _peak_of(work: Callable) -> dict[str, int]:
    gc.collect()
    with contextlib.suppress(OSError, AttributeError):  # not glibc: the figure may read a little low
        ctypes.CDLL(None).malloc_trim(0)
    before = _status()
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")  # resets the high-water mark
    reset = _status()
    result = work()
    after = _status()
    return {
        "rss_before": before["VmRSS"],
        "hwm_before_reset": before["VmHWM"],
        "hwm_after_reset": reset["VmHWM"],
        "hwm_after": after["VmHWM"],
        "extra": after["VmHWM"] - before["VmRSS"],
        "result": len(result),
    }


def memory_child(size: int, seed: int, kind: int) -> None:
    document = memory_document(kind, size, seed)
    probe_size = 16 * 2**20
    try:
        # A control: a buffer of known size written in full must show up as such.
        probe = _peak_of(lambda: b"x" * probe_size)
        conversion = _peak_of(lambda: brelim.parse_string(document))
    except (OSError, KeyError) as error:  # no /proc, or no VmHWM in it
        json.dump({"document": len(document), "error": str(error) or type(error).__name__}, sys.stdout)
        return
    json.dump(
        {"document": len(document), "probe_size": probe_size, "probe": probe, "conversion": conversion}, sys.stdout
    )


def memory(size: int, seed: int, verbose: bool) -> list[str]:
    rows = []
    for kind, label in enumerate(MEMORY_DOCUMENTS):
        report = json.loads(_child("memory", size, seed, kind))
        name = label if kind < 2 else f"`{label}`"
        if "error" in report:
            rows.append(
                f"| {name} | {report['document'] / MB:.1f} MB | not measurable here: {report['error']} | | | | | |"
            )
            continue
        probe, conversion = report["probe"], report["conversion"]
        extra, output = conversion["extra"], conversion["result"]
        probe_ratio = probe["extra"] / report["probe_size"]
        works = probe["hwm_after_reset"] < probe["hwm_before_reset"] or probe["hwm_before_reset"] == probe["rss_before"]
        if verbose:
            print(f"  memory ({label}): {json.dumps(report)}", file=sys.stderr)
        if not 0.95 < probe_ratio < 1.1:
            print(
                f"warning: the control buffer of {report['probe_size']} bytes raised the high-water mark by "
                f"{probe['extra']} bytes; the memory figures may be wrong here",
                file=sys.stderr,
            )
        if not works:
            print("warning: the high-water mark did not reset; the memory figures may be wrong here", file=sys.stderr)
        if kind == 1:
            limit, met = "none: the document's UTF-8 copy is expected", ""
        else:
            allowed = MEMORY_TARGET * output + MEMORY_ALLOWANCE
            limit, met = f"{allowed / MB:,.2f}", _verdict(extra <= allowed)
        # Over an output smaller than the allowance, the share says nothing.
        share = f"{extra / output:,.2f}x" if output >= MEMORY_ALLOWANCE else ""
        rows.append(
            f"| {name} | {report['document'] / MB:.1f} MB | {output / MB:,.2f} | {extra / MB:,.2f} | "
            f"{share} | {limit} | {met} | {probe_ratio:.2f} |"
        )
    return [
        "Peak extra memory of one conversion, in a fresh process: resident-set high-water mark",
        "after the call (reset just before it) less the resident set before it. The limit is",
        f"{MEMORY_TARGET} times the output plus {MEMORY_ALLOWANCE / MB:.0f} MB, on every document. The control is the same",
        "measure for a 16 MiB buffer, over its size; it should read 1.00. Extra / output is shown",
        f"for outputs of {MEMORY_ALLOWANCE / MB:.0f} MB or more.",
        "",
        "| Document | Size | Output MB | Extra MB | Extra / output | Limit MB | Met | Control |",
        "|---|---:|---:|---:|---:|---:|---|---:|",
        *rows,
    ]


# --------------------------------------------------------------------------
# Scaling
#
# Lines built to make a careless grammar or renderer go quadratic. Each is
# timed at n and 2n; a linear conversion takes twice as long at 2n.

SCALING_DOCUMENTS = [
    # (the document, as a Python expression of n, the smallest n to try)
    ('"* [[" + "a"*n', 1024),
    ('"* " + "#"*n', 1024),
    ('"* " + "[[a]["*n', 1024),
    ('"* " + ("#" + "a"*256 + " ")*n', 1024),
    ('"* " + ("#" + "a"*255 + " ")*n + "#" + "a"*256', 1024),
    ('"* " + "#ab"*n + "#a"', 1024),
    ('"* a"*n', 1024),
    ('"* a\\n"*n', 2**21),  # millions of lines
    ('"* a\\n** b\\n*** c\\n**** d\\n"*n', 2**19),
    ('"*"*n', 1024),
    ('"* " + ("[[" + "a"*16)*n', 1024),
    ('"* [[a][" + "b"*n', 1024),
    ('"* " + ("[[" + "a"*64 + "][" + "b"*64 + "]] ")*n', 1024),
    ('"* " + "[[a]]"*n', 1024),
    ('"* " + "a "*n + "[[x]]"', 1024),
    ('"* " + "a b "*n + "!"', 1024),
    ('"* " + "#a"*n', 1024),
    ('"* " + "a#b"*n', 1024),
    ('"* #" + "a"*n', 1024),
    ('"* [[" + "a/"*n + "]]"', 1024),
    ('"* [[http" + "\'"*n + "]]"', 1024),
    ('"* caf\\u00e9\\n"*n', 1024),
    # The visible text of a plain link is the description seen last: each of
    # the n links carries all n bytes of it, so the output grows as n*n.
    ('"* [[a][" + "d"*n + "]] " + "[[b]]"*n', 1024),
    ('"* #" + "d"*n + " " + "[[b]]"*n', 1024),
]
# (the expression, which labels the row, the function of n made of that same expression, the smallest n)
SCALING_CASES: list[tuple[str, Callable[[int], str], int]] = [
    (label, eval(f"lambda n: {label}"), first) for label, first in SCALING_DOCUMENTS
]


def _calibrate(build: Callable[[int], str], first: int, min_time: float, max_bytes: int) -> tuple[int, int]:
    """n and the number of conversions per timed run. n is the smallest power
    of two from `first` at which one conversion takes min_time, unless the
    document or the output at 2n would pass max_bytes; then the runs repeat the
    conversion until they take min_time."""
    one, two = len(build(1)), len(build(2))

    def size(m: int) -> int:  # every case's length is affine in n
        return one + (two - one) * (m - 1)

    n = first
    previous_output = None
    while True:
        document = build(n)
        output = len(brelim.parse_string(document))
        elapsed = _best(brelim.parse_string, document, 2)
        if elapsed >= min_time:
            return n, 1
        growth = output / previous_output if previous_output else 2.0
        if size(4 * n) > max_bytes or output * growth * growth > max_bytes:
            return n, math.ceil(min_time / max(elapsed, 1e-6))
        previous_output = max(output, 1)
        n *= 2


def _time_case(index: int, n: int, calls: int, repeat: int, warm_calls: int) -> dict:
    build = SCALING_CASES[index][1]
    small, large = build(n), build(2 * n)
    out_small, out_large = len(brelim.parse_string(small)), len(brelim.parse_string(large))
    for _ in range(warm_calls * calls):
        brelim.parse_string(small)
        brelim.parse_string(large)
    times: list[list[float]] = [[], []]  # at n, at 2n
    with _gc_off():
        for _ in range(repeat):
            for document, runs in zip((small, large), times, strict=True):
                runs.append(sum(_time_once(brelim.parse_string, document) for _ in range(calls)) / calls)
    utf8 = [0, 0] if small.isascii() else [len(small.encode()), len(large.encode())]
    return {
        "index": index,
        "n": n,
        "calls": calls,
        "input": len(small),
        "utf8": utf8,
        "output": [out_small, out_large],
        "times": times,
    }


def scaling_child(min_time: float, repeat: int, max_bytes: int, only: str | None) -> None:
    results = []
    for index, (label, build, first) in enumerate(SCALING_CASES):
        if only and only not in label:
            continue
        n, calls = _calibrate(build, first, min_time, max_bytes)
        results.append(_time_case(index, n, calls, repeat, 0))
    json.dump(results, sys.stdout)


# Calls at n and at 2n before the timed runs of the warm-server column.
SERVER_WARM_CALLS = 4


def server_child(repeat: int) -> None:
    """The cases read from stdin (index, n and calls of each), timed after
    SERVER_WARM_CALLS calls at n and 2n, in this one process: the allocator
    is in the state of a server that has already served many requests."""
    results = [
        _time_case(case["index"], case["n"], case["calls"], repeat, SERVER_WARM_CALLS) for case in json.load(sys.stdin)
    ]
    json.dump(results, sys.stdout)


# glibc: no fresh mappings for large blocks, and nothing handed back, so
# that every run after the first finds its memory resident. Otherwise a
# buffer that crosses the allocator's mmap ceiling (32 MiB) between n and 2n
# pays for page faults at 2n only, and the ratio measures the allocator.
WARM_HEAP = {"MALLOC_MMAP_MAX_": "0", "MALLOC_TRIM_THRESHOLD_": str(2**40)}


# glibc's steps: a block over its largest mmap threshold (32 MiB) is mapped
# afresh and faulted in on every call, unless the heap's free top, kept warm up
# to the trim threshold (twice that), can hold it. Python's own blocks take
# these steps: bytes.decode into 25 MB takes 1.4 ms here, into 50 MB 22 ms.
ALLOCATOR_STEPS = (32 * 2**20, 64 * 2**20)


def server_plan(result: dict, max_bytes: int) -> dict:
    """The case as the warm-server column times it: at n, or at the first of
    2n and 4n at which neither the result str nor a non-ASCII document's UTF-8
    copy crosses one of glibc's steps between n and 2n (within the cap), so
    that the ratio shows the conversion's own memory and not the interpreter's
    step for those blocks. A quadratic output is left as it is."""
    plan = {key: result[key] for key in ("index", "n", "calls")}
    out_small, out_large = result["output"]
    if out_large > SCALING_TARGET * max(out_small, 1):
        return plan
    pairs = [(out_small, out_large), tuple(result.get("utf8", (0, 0)))]
    for doubling in range(3):
        grown = [(small << doubling, large << doubling) for small, large in pairs]
        if doubling and any(large > max_bytes for _, large in grown):
            break
        if not any(small < step <= large for small, large in grown for step in ALLOCATOR_STEPS):
            plan["n"] <<= doubling
            break
    return plan


def plain_environment() -> dict[str, str]:
    """This process's environment without any allocator settings: glibc's defaults."""
    return {
        key: value for key, value in os.environ.items() if not key.startswith("MALLOC_") and key != "GLIBC_TUNABLES"
    }


def scaling_verdict(ratios: list[float], output_growth: float) -> str:
    """The verdict on a case from its t(2n)/t(n) in each column (resident
    heap, warm server) and the growth of its output from n to 2n."""
    if all(ratio <= SCALING_TARGET for ratio in ratios):
        return "linear"
    if output_growth > SCALING_TARGET:
        return f"**superlinear: the output grows {output_growth:.1f}x**"
    if ratios[0] <= SCALING_TARGET:
        return "**superlinear in a warm server**"
    if ratios[1] <= SCALING_TARGET:
        return "**superlinear with a resident heap**"
    return "**superlinear**"


def _instructions(index: int, n: int) -> int | None:
    """Instructions of one conversion of case `index` at n, counted by
    callgrind: a run that converts less a run that only builds the document."""
    counts = []
    for convert in (True, False):
        command = [
            "valgrind",
            "--tool=callgrind",
            "--callgrind-out-file=/dev/null",
            *_child_command("count", index, n, convert),
        ]
        completed = subprocess.run(
            command, capture_output=True, check=False, text=True, env={**os.environ, "PYTHONHASHSEED": "0"}
        )
        found = [line for line in completed.stderr.splitlines() if "Collected :" in line]
        if completed.returncode != 0 or not found:
            return None
        counts.append(int(found[-1].rsplit(":", 1)[1]))
    return counts[0] - counts[1]


def count_child(index: int, n: int, convert: bool) -> None:
    document = SCALING_CASES[index][1](n)
    if convert:
        brelim.parse_string(document)


def scaling(
    min_time: float, repeat: int, max_bytes: int, only: str | None, instructions: bool, verbose: bool
) -> list[str]:
    resident = json.loads(
        _child("scaling", min_time, repeat, max_bytes, only, env={**plain_environment(), **WARM_HEAP})
    )
    plan = [server_plan(result, max_bytes) for result in resident]
    server = json.loads(_child("server", repeat, input=json.dumps(plan), env=plain_environment()))
    rows = []
    for result, served in zip(resident, server, strict=True):
        label = SCALING_CASES[result["index"]][0]
        n = result["n"]
        out_small, out_large = result["output"]
        t_small, t_large = map(min, result["times"])
        ratio = t_large / t_small
        server_ratio = min(served["times"][1]) / min(served["times"][0])
        server_at = f" (at {served['n'] // n}n)" if served["n"] != n else ""
        verdict = scaling_verdict([ratio, server_ratio], out_large / max(out_small, 1))
        if result["calls"] > 1:
            verdict += f" ({result['calls']} conversions a run)"
        row = (
            f"| `{label}` | {n:,} | {result['input'] / MB:.2f} MB | {out_small / MB:.2f} MB | "
            f"{t_small * 1e3:.1f} | {t_large * 1e3:.1f} | {ratio:.2f} | {server_ratio:.2f}{server_at} |"
        )
        if instructions:
            # Counts do not depend on caches or load, so a smaller n will do.
            m = max(1024, n // 8)
            counted = _instructions(result["index"], m), _instructions(result["index"], 2 * m)
            if None in counted or counted[0] <= 0:
                row += " n/a |"
            else:  # small counts are blurred by the interpreter's own start-up
                row += f" {counted[1] / counted[0]:.2f} ({counted[0] / 1e6:,.1f} M at m) |"
            if verbose:
                print(f"  {label}: instructions at {m} and {2 * m}: {counted}", file=sys.stderr)
        rows.append(row + f" {verdict} |")
        if verbose:
            for name, times in (("resident heap", result["times"]), ("warm server", served["times"])):
                print(
                    f"  {label}: n={n} {name}: runs at n (ms) {_ms(times[0])}; at 2n {_ms(times[1])}", file=sys.stderr
                )
    header = "| Document | n | Input at n | Output at n | t(n) ms | t(2n) ms | t(2n)/t(n) | Warm server t(2n)/t(n) |"
    rule = "|---|---:|---:|---:|---:|---:|---:|---:|"
    if instructions:
        header += " Instructions 2m/m |"
        rule += "---:|"
    lines = [
        f"Scaling: one conversion of the document at n and at 2n, best of {repeat} each, in a fresh process",
        "whose heap stays resident between runs; a linear conversion gives t(2n)/t(n) near 2 (target",
        f"<= {SCALING_TARGET}). n is the smallest power of two from 1024 at which a conversion takes",
        f"{min_time * 1e3:.0f} ms, within {max_bytes / MB:.0f} MB of document or output at 2n; where that cap comes first, each",
        f"timed run repeats the conversion until it takes {min_time * 1e3:.0f} ms, and the time of one is shown.",
        "Warm server: the same n and runs again, in one other process with glibc's default allocator",
        f"settings, each case timed after {SERVER_WARM_CALLS} runs at n and at 2n, as in a server that has served many",
        f"requests; the target (<= {SCALING_TARGET}) holds for both columns. Where the result str, or a",
        "non-ASCII document's UTF-8 copy, would cross one of glibc's steps between n and 2n (a block",
        "over 32 MiB is mapped and faulted in afresh on each call unless the heap's free top, kept up",
        "to 64 MiB, holds it), this column times 2n or 4n instead, as the cell says: those steps are",
        "the interpreter's, whatever made the str (bytes.decode takes them too), not the conversion's.",
    ]
    if instructions:
        lines.append("Instructions: the conversion's instructions at 2m over those at m = n/8 (at least 1024),")
        lines.append("counted by callgrind: the same ratio without caches, page faults or load.")
    return [*lines, "", header + " |", rule + "---|", *rows]


# --------------------------------------------------------------------------
# Levels of the byte layer
#
# The module runs at the best level the processor has and offers no switch,
# so the levels are timed on the C++ core alone by brelim_levels
# (benchmarks/levels.cpp), built here with cmake.

LEVELS_BUILD = ROOT / "build" / "benchmarks"


def build_levels_program(verbose: bool) -> Path | str:
    """brelim_levels, built (Release) in build/benchmarks, or why it was not."""
    return build_benchmark_program("brelim_levels", verbose)


def build_benchmark_program(target: str, verbose: bool) -> Path | str:
    """A program of benchmarks/, built (Release) in build/benchmarks, or why it was not."""
    cmake = shutil.which("cmake")
    if cmake is None:
        return "cmake is not installed"
    if not (ROOT / "CMakeLists.txt").is_file():
        return f"no sources at {ROOT}"
    steps = [
        (
            [
                cmake,
                "-S",
                str(ROOT),
                "-B",
                str(LEVELS_BUILD),
                "-DCMAKE_BUILD_TYPE=Release",
                "-DBRELIM_BUILD_MODULE=OFF",
                "-DBRELIM_BUILD_TESTS=OFF",
                "-DBRELIM_BUILD_BENCHMARKS=ON",
            ],
            "cmake could not configure a build (no C++ compiler?)",
        ),
        (
            [cmake, "--build", str(LEVELS_BUILD), "--config", "Release", "--target", target, "--parallel", "2"],
            "the build failed",
        ),
    ]
    for command, failure in steps:
        completed = subprocess.run(command, capture_output=True, check=False, text=True)
        if completed.returncode != 0:
            if verbose:
                print(completed.stdout[-4000:], completed.stderr[-4000:], sep="\n", file=sys.stderr)
            return f"{failure} (-v shows cmake's output)"
    for candidate in (target, f"{target}.exe", f"Release/{target}.exe", f"Release/{target}"):
        if (LEVELS_BUILD / candidate).is_file():
            return LEVELS_BUILD / candidate
    return f"no {target} in {LEVELS_BUILD} after the build"


def levels_table(labels: dict[str, str], results: list[dict]) -> list[str]:
    """The rows of brelim_levels's JSON lines, one per file (labelled by
    `labels`, path to label): MB/s at each level, then each level's MB/s over
    the last level's, the best the processor has."""
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


def levels(shapes: list[str], size: int, repeat: int, seed: int, verbose: bool) -> list[str]:
    program = build_levels_program(verbose)
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
    results = [json.loads(line) for line in completed.stdout.splitlines() if line.startswith("{")]
    if verbose:
        print(completed.stdout, end="", file=sys.stderr)
    lines = [
        "Levels: `parse_file` of the C++ core (no Python) at each level of the byte layer, forced at run",
        (
            f"time by `{program.relative_to(ROOT) if program.is_relative_to(ROOT) else program}`; MB/s of the document,"
            f" best of {repeat} conversions (of"
        ),
        f"as many as make {repeat * 20} MB for a smaller document), and each level over the best level the",
        "processor has. scalar is the byte-at-a-time level.",
        "",
    ]
    if results:
        lines += levels_table(labels, results)
    if completed.returncode != 0:
        lines += ["", f"**brelim_levels failed** (status {completed.returncode}): {completed.stderr.strip()}"]
    return lines


# --------------------------------------------------------------------------


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--size", type=float, default=20, help="document size in MB (10^6 bytes), default 20")
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement, best taken, default 5")
    parser.add_argument(
        "--shapes",
        default=",".join(documents.SHAPES),
        help=f"comma-separated shapes, default {','.join(documents.SHAPES)}",
    )
    parser.add_argument("--parts", default=",".join(PARTS), help=f"comma-separated parts, default {','.join(PARTS)}")
    parser.add_argument(
        "--lines", type=int, default=LINES, help=f"lines of each document of the short-lines table, default {LINES:,}"
    )
    parser.add_argument("--seed", type=int, default=documents.DEFAULT_SEED, help="generator seed")
    parser.add_argument(
        "--scaling-min-ms",
        type=float,
        default=20,
        help="time of one conversion at n in the scaling table, default 20 ms",
    )
    parser.add_argument(
        "--scaling-max-mb",
        type=float,
        default=256,
        help="largest document or output (at 2n) of the scaling table, default 256 MB; "
        "well above the last-level cache, so that n and 2n see the same memory",
    )
    parser.add_argument("--case", help="only the scaling cases whose document contains this text")
    parser.add_argument("--verbose", "-v", action="store_true", help="raw runs and memory figures on stderr")
    parser.add_argument(
        "--instructions",
        action="store_true",
        help="add instruction counts by callgrind to the scaling table (needs valgrind; slow)",
    )
    parser.add_argument("--child", nargs="+", help=argparse.SUPPRESS)  # NAME and the JSON of each argument
    args = parser.parse_args(argv)
    if args.child:  # one call of a *_child function, in a process of its own
        name, *arguments = args.child
        globals()[f"{name}_child"](*map(json.loads, arguments))
        return 0

    size = int(args.size * MB)
    sys.stdout.reconfigure(line_buffering=True)  # keeps the tables and the -v lines in order
    shapes = [s for s in args.shapes.split(",") if s]
    parts = [p for p in args.parts.split(",") if p]
    for kind, chosen, known in (("shape", shapes, documents.SHAPES), ("part", parts, PARTS)):
        for name in chosen:
            if name not in known:
                parser.error(f"unknown {kind} {name!r}")
    if args.repeat < 1:
        parser.error("--repeat must be at least 1")
    if args.lines < 1:
        parser.error("--lines must be at least 1")

    print(*machine_description(), sep="\n")
    if args.verbose:
        print(f"  brelim from {brelim.__file__}", file=sys.stderr)
    print(f"- Load average at the start: {load_average()}")
    command = " ".join(["python3 benchmarks/run.py", *(argv if argv is not None else sys.argv[1:])])
    print(f"- Command: `{command}`")
    if "throughput" in parts:
        print()
        print(*throughput(shapes, size, args.repeat, args.seed, args.verbose), sep="\n")
    if "lines" in parts:
        print()
        print(*short_lines(args.lines, args.repeat, args.verbose), sep="\n")
    if "small" in parts:
        print()
        print(*small_documents(args.repeat, args.seed, args.verbose), sep="\n")
    if "memory" in parts:
        print()
        print(*memory(size, args.seed, args.verbose), sep="\n")
    if "scaling" in parts:
        print()
        print(
            *scaling(
                args.scaling_min_ms / 1e3,
                args.repeat,
                int(args.scaling_max_mb * MB),
                args.case,
                args.instructions,
                args.verbose,
            ),
            sep="\n",
        )
    if "levels" in parts:
        print()
        print(*levels(shapes, size, args.repeat, args.seed, args.verbose), sep="\n")
    print()
    print(f"Load average at the end: {load_average()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
