#!/usr/bin/env python3
"""Convert every outline file of a folder into an HTML page, with Dask.

Usage: convert_folder_dask.py SOURCE_DIR TARGET_DIR [--cluster ADDRESS]

Without --cluster the work runs on this machine with Dask's processes
scheduler. With --cluster it runs on the Dask cluster at ADDRESS (needs
dask.distributed, and brelim installed on every worker: the tasks use the
`brelim_cli` helpers there). The workers read and write the files themselves,
so both folders must be at the same path on every worker (a shared file
system).

Every document is converted whole by one task, never split into lines: brelim
splits it itself, and where a headline goes in the lists depends on the lines
before it.
"""

import argparse
import sys
from pathlib import Path

import dask.bag as db

from brelim_cli import ConversionError, convert_file, html_path, outline_files


def convert(path: str, source: str, target: str) -> tuple[str, int, str]:
    """(path, bytes written, error message or "") for one document."""
    try:
        return path, convert_file(path, html_path(Path(path), Path(source), Path(target))), ""
    except Exception as error:  # noqa: BLE001 - reported per document, the others go on
        return path, 0, str(error) if isinstance(error, ConversionError) else f"{path}: {error!r}"


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description="Convert a folder of outline files into HTML pages with Dask.")
    parser.add_argument("source", type=Path, help="folder searched for *.outline files")
    parser.add_argument("target", type=Path, help="folder that receives the .html files")
    parser.add_argument("--cluster", metavar="ADDRESS", help="scheduler address, e.g. tcp://10.0.0.5:8786")
    args = parser.parse_args(argv[1:])
    if not args.source.is_dir():
        parser.error(f"{args.source} is not a folder")

    source, target = args.source.resolve(), args.target.resolve()
    try:
        paths = [str(path) for path in outline_files(source)]
    except ConversionError as error:  # a folder that cannot be read
        print(f"FAILED: {error}", file=sys.stderr)
        return 1
    if not paths:
        print("0 of 0 documents converted", file=sys.stderr)
        return 0
    bag = db.from_sequence(paths).map(convert, str(source), str(target))

    if args.cluster:
        from dask.distributed import Client, progress

        with Client(args.cluster) as client:
            future = client.compute(bag)
            progress(future)
            results = future.result()
    else:
        from dask.diagnostics import ProgressBar

        with ProgressBar(out=sys.stderr):
            results = bag.compute(scheduler="processes")

    failed = [(path, error) for path, _, error in results if error]
    for _, error in failed:
        print(f"FAILED: {error}", file=sys.stderr)
    written = sum(size for _, size, _ in results)
    print(f"{len(paths) - len(failed)} of {len(paths)} documents converted, {written:,} bytes of HTML", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
