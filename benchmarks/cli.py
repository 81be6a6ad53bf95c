"""Throughput, peak memory and scaling of brelim.parse_string.

    python3 -m pip install . -r benchmarks/requirements.txt
    python3 benchmarks/run.py                  # everything, 20 MB documents
    python3 benchmarks/run.py --size 2 --repeat 3 --parts throughput
    python3 benchmarks/run.py --parts small     # the fixed cost of a call
    python3 benchmarks/run.py --parts lines     # the cost of a short line
    python3 benchmarks/run.py --parts levels    # every level of the byte layer (builds with cmake)

`python3 -m benchmarks`, from the repository's root, is the same command.
Prints Markdown tables that go into benchmarks/README.md as they are. The times
are wall-clock times, best of --repeat runs: close other work first, and
look at the load averages printed with the machine.
"""

from __future__ import annotations

import argparse
import json
import sys

import brelim
from benchmarks import documents
from benchmarks.harness import MB
from benchmarks.lines import LINES
from benchmarks.machine import load_average, machine_description
from benchmarks.options import Options
from benchmarks.parts import CHILDREN, PARTS


def parser(prog: str | None = None) -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=prog, description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
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
    parser.add_argument(
        "--site-notes", type=int, default=10_000, help="notes of the site part's generated folder, default 10,000"
    )
    parser.add_argument("--child", nargs="+", help=argparse.SUPPRESS)  # NAME and the JSON of each argument
    return parser


def main(argv: list[str] | None = None, command: str = "python3 benchmarks/run.py", prog: str | None = None) -> int:
    """The benchmark command; `command` is how the run's head names it, `prog` how its messages do."""
    options_parser = parser(prog)
    args = options_parser.parse_args(argv)
    if args.child:  # one call of a child, in a process of its own
        name, *arguments = args.child
        CHILDREN[name](*map(json.loads, arguments))
        return 0

    shapes = tuple(s for s in args.shapes.split(",") if s)
    parts = [p for p in args.parts.split(",") if p]
    for kind, chosen, known in (("shape", shapes, documents.SHAPES), ("part", parts, PARTS)):
        for name in chosen:
            if name not in known:
                options_parser.error(f"unknown {kind} {name!r}")
    if args.repeat < 1:
        options_parser.error("--repeat must be at least 1")
    if args.lines < 1:
        options_parser.error("--lines must be at least 1")
    options = Options(
        size=int(args.size * MB),
        repeat=args.repeat,
        shapes=shapes,
        lines=args.lines,
        seed=args.seed,
        scaling_min_time=args.scaling_min_ms / 1e3,
        scaling_max_bytes=int(args.scaling_max_mb * MB),
        case=args.case,
        instructions=args.instructions,
        verbose=args.verbose,
        site_notes=args.site_notes,
    )

    sys.stdout.reconfigure(line_buffering=True)  # keeps the tables and the -v lines in order
    print(*machine_description(), sep="\n")
    if options.verbose:
        print(f"  brelim from {brelim.__file__}", file=sys.stderr)
    print(f"- Load average at the start: {load_average()}")
    print(f"- Command: `{' '.join([command, *(argv if argv is not None else sys.argv[1:])])}`")
    for name, part in PARTS.items():
        if name in parts:
            print()
            print(*part(options), sep="\n")
    print()
    print(f"Load average at the end: {load_average()}")
    return 0
