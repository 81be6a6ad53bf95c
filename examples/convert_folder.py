#!/usr/bin/env python3
"""Convert every outline file of a folder into an HTML page, on all cores.

Usage: convert_folder.py SOURCE_DIR TARGET_DIR [--jobs N]

Each SOURCE_DIR/**/NAME.outline becomes TARGET_DIR/**/NAME.html, the page the
`brelim` command makes. Progress is written to stderr as documents finish.
The exit status is 1 when a document could not be converted (the others are
still written), else 0. (`brelim SOURCE_DIR -o TARGET_DIR` does the same with
a progress bar; this shows the process pool on its own.)
"""

import argparse
import os
import sys
import time
from concurrent.futures import ProcessPoolExecutor, as_completed
from pathlib import Path

from brelim_cli import ConversionError, convert_file, html_path, outline_files


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description="Convert a folder of outline files into HTML pages.")
    parser.add_argument("source", type=Path, help="folder searched for *.outline files")
    parser.add_argument("target", type=Path, help="folder that receives the .html files")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="worker processes (default: all cores)")
    args = parser.parse_args(argv[1:])
    if not args.source.is_dir():
        parser.error(f"{args.source} is not a folder")

    try:
        paths = outline_files(args.source)
    except ConversionError as error:  # a folder that cannot be read
        print(f"FAILED: {error}", file=sys.stderr)
        return 1
    started = time.perf_counter()
    failed = 0
    written = 0
    # Each worker reads, converts and writes one whole document: only paths
    # and sizes travel between processes.
    with ProcessPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        jobs = {pool.submit(convert_file, path, html_path(path, args.source, args.target)): path for path in paths}
        for done, job in enumerate(as_completed(jobs), start=1):
            path = jobs[job]
            try:
                written += job.result()
            except Exception as error:  # noqa: BLE001 - one bad file must not stop the others
                failed += 1
                print(f"[{done}/{len(paths)}] FAILED: {error}", file=sys.stderr)
            else:
                print(f"[{done}/{len(paths)}] {path}", file=sys.stderr)
    seconds = time.perf_counter() - started
    print(
        f"{len(paths) - failed} of {len(paths)} documents converted, {written:,} bytes of HTML in {seconds:.2f} s",
        file=sys.stderr,
    )
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
