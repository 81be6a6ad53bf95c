"""The machine, the software and the load, as the head of every run prints them."""

from __future__ import annotations

import contextlib
import datetime
import os
import platform
from pathlib import Path

from benchmarks.peer import cmarkgfm


def proc_fields(path: str) -> dict[str, str]:
    """The "key: value" lines of a file under /proc, the first of each key; raises OSError."""
    fields: dict[str, str] = {}
    for line in Path(path).read_text().splitlines():
        key, _, value = line.partition(":")
        fields.setdefault(key.strip(), value.strip())
    return fields


def machine_description() -> list[str]:
    cpu, memory_text, cache_text = "unknown CPU", "", ""
    with contextlib.suppress(OSError):
        cpu = proc_fields("/proc/cpuinfo").get("model name", cpu)
    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    with contextlib.suppress(OSError, KeyError, ValueError):
        memory = int(proc_fields("/proc/meminfo")["MemTotal"].split()[0]) * 1024
        memory_text = f", {memory / 2**30:.0f} GiB"
    # The last level of cache, which decides what "warm" means in the tables.
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
