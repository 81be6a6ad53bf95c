"""Small documents: the fixed cost of a call.

Web back ends convert many small notes one call at a time, where the fixed
cost of a call weighs as much as the throughput. The yardstick is str.upper
of the same string: a call that also reads the whole string and builds a
new one.
"""

from __future__ import annotations

import timeit

import brelim
from benchmarks import documents
from benchmarks.harness import mbps, note
from benchmarks.tables import SMALL_TARGET, verdict

# (label, size of a notes document; 0 for the tiny headline "* a")
SMALL_DOCUMENTS = (('`"* a"`', 0), ("1 KB note", 1_000), ("64 KB note", 64_000))
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
            f"| {label} | {len(document):,} B | {brelim_time * 1e9:,.0f} | {mbps(len(document), brelim_time):,.0f} | "
            f"{upper_time * 1e9:,.0f} | {mbps(len(document), upper_time):,.0f} | {ratio:.2f}x |"
        )
        row += f" <= {SMALL_TARGET:.0f}x | {verdict(ratio <= SMALL_TARGET)} |" if not size else " | |"
        rows.append(row)
        if verbose:
            for name, runs_of in times.items():
                note(
                    f"  {label}: {name}, {calls[name]} calls a run, fastest runs (ns a call) "
                    + ", ".join(f"{t * 1e9:.1f}" for t in sorted(runs_of)[:5])
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
