"""What every part measures with: timing, child processes and instruction counts."""

from __future__ import annotations

import contextlib
import gc
import json
import os
import subprocess
import sys
import time
from collections.abc import Callable, Iterator
from pathlib import Path

MB = 1_000_000
ROOT = Path(__file__).resolve().parent.parent
# The script a child runs: it finds the package wherever the child starts.
SCRIPT = ROOT / "benchmarks" / "run.py"


def time_once(function: Callable, argument) -> float:
    """Seconds for one call; the result is released outside the timing."""
    start = time.perf_counter()
    result = function(argument)
    elapsed = time.perf_counter() - start
    del result
    return elapsed


def best(function: Callable, argument, repeat: int) -> float:
    return min(time_once(function, argument) for _ in range(repeat))


@contextlib.contextmanager
def gc_off() -> Iterator[None]:
    enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if enabled:
            gc.enable()


def mbps(size: int, seconds: float) -> float:
    return size / seconds / MB


def ms(times: list[float], digits: int = 1) -> str:
    """Times in seconds as a list of milliseconds, for the -v lines."""
    return ", ".join(f"{t * 1e3:.{digits}f}" for t in times)


def note(text: str) -> None:
    """A -v line: on stderr, beside the tables."""
    print(text, file=sys.stderr)


def child_command(name: str, *arguments) -> list[str]:
    """The command that runs child `name` of benchmarks.parts.CHILDREN with
    these arguments, each passed as JSON, in a fresh interpreter."""
    return [sys.executable, str(SCRIPT), "--child", name, *map(json.dumps, arguments)]


def child(name: str, *arguments, **options) -> str:
    """The standard output of child `name`, run in a fresh interpreter;
    `options` go to subprocess.run (input, env)."""
    return subprocess.run(child_command(name, *arguments), capture_output=True, text=True, check=True, **options).stdout


def instructions(name: str, *arguments) -> int | None:
    """Instructions of child `name`'s whole process, counted by callgrind,
    or None where valgrind is missing or the child failed. A difference of
    two such counts leaves the interpreter's start-up out."""
    command = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", *child_command(name, *arguments)]
    try:
        completed = subprocess.run(
            command, capture_output=True, check=False, text=True, env={**os.environ, "PYTHONHASHSEED": "0"}
        )
    except FileNotFoundError:
        return None
    found = [line for line in completed.stderr.splitlines() if "Collected :" in line]
    if completed.returncode != 0 or not found:
        return None
    return int(found[-1].rsplit(":", 1)[1])
