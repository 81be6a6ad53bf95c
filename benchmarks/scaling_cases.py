"""The scaling documents, and their timing at n and 2n in a child process.

Lines built to make a careless grammar or renderer go quadratic. Each is
timed at n and 2n; a linear conversion takes twice as long at 2n.
"""

from __future__ import annotations

import json
import math
import sys
from collections.abc import Callable

import brelim
from benchmarks.harness import best, gc_off, time_once

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

# Calls at n and at 2n before the timed runs of the warm-server column.
SERVER_WARM_CALLS = 4


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
        elapsed = best(brelim.parse_string, document, 2)
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
    with gc_off():
        for _ in range(repeat):
            for document, runs in zip((small, large), times, strict=True):
                runs.append(sum(time_once(brelim.parse_string, document) for _ in range(calls)) / calls)
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
    """Prints, as JSON, every case (or those whose document holds `only`),
    calibrated and timed in this process."""
    results = []
    for index, (label, build, first) in enumerate(SCALING_CASES):
        if only and only not in label:
            continue
        n, calls = _calibrate(build, first, min_time, max_bytes)
        results.append(_time_case(index, n, calls, repeat, 0))
    json.dump(results, sys.stdout)


def server_child(repeat: int) -> None:
    """The cases read from stdin (index, n and calls of each), timed after
    SERVER_WARM_CALLS calls at n and 2n, in this one process: the allocator
    is in the state of a server that has already served many requests."""
    results = [
        _time_case(case["index"], case["n"], case["calls"], repeat, SERVER_WARM_CALLS) for case in json.load(sys.stdin)
    ]
    json.dump(results, sys.stdout)


def count_child(index: int, n: int, convert: bool) -> None:
    """Builds case `index` at n and converts it if `convert`: the pair of
    processes whose instructions differ by one conversion."""
    document = SCALING_CASES[index][1](n)
    if convert:
        brelim.parse_string(document)
