#!/usr/bin/env python3
"""A folder of notes as a site, against the same folder's plain conversion, timed in the same run.

    python3 benchmarks/site_scale.py --notes 10000     # 100 MB, a million headlines (a few minutes)
    python3 benchmarks/site_scale.py --notes 1000 --jobs 2

The folder is generated: at 10,000 notes, 100 MB in 100 folders, a million
headlines, 5,000 tags and 200,000 links between notes (every size scales with
--notes). Each build runs as the `brelim` command in a process of its own;
its time is wall-clock, its peak memory the largest resident size of the
command or any of its workers. `part()` is the benchmark's `site` part; this
file needs nothing else, and runs on its own too.
"""

from __future__ import annotations

import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HEADLINES = 100  # a note's
LINKS = 20  # a note's links to other notes
TAGS_PER_NOTE = 0.5  # distinct tags in all: half the notes
WORDS = "the a plan notes garden review of and to for with draft idea list later week".split()


def note_text(rng: random.Random, number: int, notes: int, per_folder: int) -> str:
    """A note of about 10 KB: HEADLINES headlines at three levels, LINKS of them with a link, a tenth with tags."""
    tags = max(1, int(notes * TAGS_PER_NOTE))
    linked = set(rng.sample(range(HEADLINES), LINKS))
    lines = []
    for headline in range(HEADLINES):
        stars = "*" * (1 + headline % 3)
        text = " ".join(rng.choice(WORDS) for _ in range(9 + rng.randrange(6)))
        if headline in linked:
            other = rng.randrange(notes)
            folder = other // per_folder
            target = f"../f{folder}/n{other}" if rng.random() < 0.5 else f"/f{folder}/n{other}.outline"
            text += f" see [[{target}][note {other}]]"
        if headline % 10 == number % 10:
            text += f" #t{rng.randrange(tags)} #t{rng.randrange(tags)}"
        lines.append(
            f"{stars} {text.ljust(88, '.')[:88]}"
            if headline not in linked and headline % 10 != number % 10
            else f"{stars} {text}"
        )
    return "\n".join(lines) + "\n"


def generate(folder: Path, notes: int, seed: int = 1) -> int:
    """Writes the notes under `folder`; returns their bytes."""
    rng = random.Random(seed)
    per_folder = max(1, notes // 100)
    total = 0
    for number in range(notes):
        path = folder / f"f{number // per_folder}" / f"n{number}.outline"
        path.parent.mkdir(parents=True, exist_ok=True)
        data = note_text(rng, number, notes, per_folder).replace("...", " ..").encode()
        path.write_bytes(data)
        total += len(data)
    return total


def run_measured(args: list[str]) -> tuple[float, float, int, str]:
    """Runs the command; its wall-clock seconds, the processor seconds of it and its workers, its largest
    resident size in bytes, and what it told."""
    start = time.perf_counter()
    process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    assert process.stderr is not None
    told = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    seconds = time.perf_counter() - start
    scale = 1 if sys.platform == "darwin" else 1024  # ru_maxrss: bytes on macOS, KiB elsewhere
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * scale, told.decode(errors="replace")


SITE_OPTIONS = {"plain": [], "site": ["--site"]}  # each build's options beside the folder's


def rows(
    notes: int = 10_000, jobs: int | None = None, work: Path | None = None, rounds: int = 3
) -> list[dict[str, object]]:
    """The plain and the site build of one generated folder, `rounds` times each, alternating which goes first:
    a row for each build with its best round (its median in brackets), the site's with its ratio to the plain,
    the median of the rounds' ratios, each measured beside the other."""
    if jobs is None:
        jobs = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count() or 1
    with tempfile.TemporaryDirectory(dir=work) as temporary:
        root = Path(temporary)
        size = generate(root / "notes", notes)
        command = [sys.executable, "-m", "brelim_cli", str(root / "notes"), "--jobs", str(jobs), "-q"]
        builds: dict[str, list[tuple[float, float, int, str, Path]]] = {"plain": [], "site": []}
        # Every output stays until the last round: ext4 makes a new file skip every inode removed in the last
        # minute or more, so removing one build's output right before another would slow the other's files.
        for round_number in range(rounds):
            order = ("plain", "site") if round_number % 2 == 0 else ("site", "plain")
            for name in order:
                out = root / f"{name}-{round_number}"
                seconds, processor, peak, told = run_measured([*command, "-o", str(out), *SITE_OPTIONS[name]])
                builds[name].append((seconds, processor, peak, told, out))
        found = []
        for name, measured in builds.items():
            times = sorted(seconds for seconds, *_ in measured)
            found.append(
                {
                    "build": name,
                    "notes": notes,
                    "MB": size / 1e6,
                    "jobs": jobs,
                    "seconds": times[0],
                    "median": statistics.median(times),
                    "processor": min(processor for _, processor, *_ in measured),
                    "peak MB": max(peak for _, _, peak, *_ in measured) / 1e6,
                    "pages": sum(1 for _ in measured[0][4].rglob("*.html")),
                    "told": measured[0][3].strip().splitlines()[-1:],
                }
            )
        ratios = [site[0] / plain[0] for plain, site in zip(builds["plain"], builds["site"], strict=True)]
        found[1]["ratio"] = statistics.median(ratios)
        found[1]["rounds"] = rounds
        return found


def table(found: list[dict[str, object]]) -> str:
    lines = [
        "| Build | Notes | MB | Jobs | Pages | Time (s) | Processor (s) | Peak memory (MB) | Site / plain |",
        "|---" * 9 + "|",
    ]
    for row in found:
        ratio = f"{row['ratio']:.2f}x (median of {row['rounds']})" if "ratio" in row else ""
        lines.append(
            f"| {row['build']} | {row['notes']:,} | {row['MB']:.0f} | {row['jobs']} | {row['pages']:,} "
            f"| {row['seconds']:.2f} ({row['median']:.2f}) | {row['processor']:.1f} | {row['peak MB']:.0f} | {ratio} |"
        )
    return "\n".join(lines)


def part(notes: int) -> list[str]:
    """The benchmark's part: the table and what it measures."""
    return [
        "",
        "### A folder of notes as a site",
        "",
        f"A generated folder of {notes:,} notes converted by the `brelim` command, plain and with `--site`, "
        "in alternating rounds; time is the best round's (the median's in brackets), the ratio the median of "
        "the rounds' own; peak memory is the largest resident size of the command or a worker.",
        "",
        table(rows(notes)),
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--notes", type=int, default=10_000)
    parser.add_argument("--jobs", type=int, default=None)
    parser.add_argument("--work", type=Path, default=None, help="where the generated folder goes (default: the temp)")
    parser.add_argument("--rounds", type=int, default=3, help="builds of each kind, alternating (default: 3)")
    options = parser.parse_args()
    found = rows(options.notes, options.jobs, options.work, options.rounds)
    print(table(found))
    return 0 if found[1]["ratio"] <= 2 else 1  # type: ignore[operator]


if __name__ == "__main__":
    sys.exit(main())
