"""Scaling: t(2n)/t(n) of every case of benchmarks.scaling_cases, in a child
whose heap stays resident and in a child that runs as a warm server, and
optionally in instructions."""

from __future__ import annotations

import json
import os

from benchmarks.harness import MB, child, instructions, ms, note
from benchmarks.scaling_cases import SCALING_CASES, SERVER_WARM_CALLS
from benchmarks.tables import SCALING_TARGET

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
    """Instructions of one conversion of case `index` at n: a run that
    converts less a run that only builds the document."""
    counts = []
    for convert in (True, False):
        count = instructions("count", index, n, convert)
        if count is None:
            return None
        counts.append(count)
    return counts[0] - counts[1]


def _instructions_cell(index: int, n: int, label: str, verbose: bool) -> str:
    # Counts do not depend on caches or load, so a smaller n will do.
    m = max(1024, n // 8)
    counted = _instructions(index, m), _instructions(index, 2 * m)
    if verbose:
        note(f"  {label}: instructions at {m} and {2 * m}: {counted}")
    if None in counted or counted[0] <= 0:
        return " n/a |"
    # small counts are blurred by the interpreter's own start-up
    return f" {counted[1] / counted[0]:.2f} ({counted[0] / 1e6:,.1f} M at m) |"


def scaling(min_time: float, repeat: int, max_bytes: int, only: str | None, counts: bool, verbose: bool) -> list[str]:
    resident = json.loads(child("scaling", min_time, repeat, max_bytes, only, env={**plain_environment(), **WARM_HEAP}))
    plan = [server_plan(result, max_bytes) for result in resident]
    server = json.loads(child("server", repeat, input=json.dumps(plan), env=plain_environment()))
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
        if counts:
            row += _instructions_cell(result["index"], n, label, verbose)
        rows.append(row + f" {verdict} |")
        if verbose:
            for name, times in (("resident heap", result["times"]), ("warm server", served["times"])):
                note(f"  {label}: n={n} {name}: runs at n (ms) {ms(times[0])}; at 2n {ms(times[1])}")
    header = "| Document | n | Input at n | Output at n | t(n) ms | t(2n) ms | t(2n)/t(n) | Warm server t(2n)/t(n) |"
    rule = "|---|---:|---:|---:|---:|---:|---:|---:|"
    if counts:
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
    if counts:
        lines.append("Instructions: the conversion's instructions at 2m over those at m = n/8 (at least 1024),")
        lines.append("counted by callgrind: the same ratio without caches, page faults or load.")
    return [*lines, "", header + " |", rule + "---|", *rows]
