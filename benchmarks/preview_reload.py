#!/usr/bin/env python3
"""The preview's time to reload: from a one-note save to the reload event, in a generated folder of notes.

    python3 -m benchmarks.preview_reload --notes 10000     # the site of site_scale's folder
    python3 -m benchmarks.preview_reload --notes 1000 --saves 10

The folder is site_scale's. `brelim NOTES --serve` runs in a process of its
own, on 127.0.0.1 and a free port; once it serves, a reader follows its
reload stream, and each save (a note written whole, in place) is timed from
just before the write to the event that names the note's page.
"""

from __future__ import annotations

import argparse
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from benchmarks.site_scale import generate

TARGET = 0.3  # seconds


def follow(port: int) -> socket.socket:
    stream = socket.create_connection(("127.0.0.1", port), timeout=30)
    stream.sendall(b"GET /.brelim/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    seen = b""
    while b"retry:" not in seen:
        seen += stream.recv(4096)
    return stream


def wait_for(stream: socket.socket, page: str) -> None:
    seen = b""
    while page.encode() not in seen:
        chunk = stream.recv(65536)
        if not chunk:
            raise RuntimeError("the reload stream ended")
        seen += chunk


def rows(notes: int = 10_000, saves: int = 5, work: Path | None = None) -> list[dict[str, object]]:
    with tempfile.TemporaryDirectory(dir=work) as temporary:
        root = Path(temporary)
        generate(root / "notes", notes)
        command = [sys.executable, "-m", "brelim_cli", str(root / "notes"), "-o", str(root / "site"), "-q"]
        started = time.perf_counter()
        process = subprocess.Popen([*command, "--serve", "--port", "0"], stderr=subprocess.PIPE, text=True)
        assert process.stderr is not None
        try:
            for line in process.stderr:
                if found := re.search(r"127\.0\.0\.1:(\d+)/", line):
                    break
            else:
                raise RuntimeError("the preview did not start")
            first = time.perf_counter() - started
            stream = follow(int(found.group(1)))
            times = []
            per_folder = max(1, notes // 100)
            for save in range(saves):
                number = (save * 7919) % notes
                path = root / "notes" / f"f{number // per_folder}" / f"n{number}.outline"
                text = path.read_text(encoding="utf-8") + f"* saved {save} #saved\n"
                time.sleep(0.5)  # each save apart from the last one's rebuild
                start = time.perf_counter()
                path.write_text(text, encoding="utf-8")
                wait_for(stream, f"f{number // per_folder}/n{number}.html")
                times.append(time.perf_counter() - start)
            stream.close()
        finally:
            process.send_signal(signal.SIGINT)
            process.wait(30)
    return [
        {
            "notes": notes,
            "first build (s)": first,
            "saves": saves,
            "median (ms)": statistics.median(times) * 1000,
            "slowest (ms)": max(times) * 1000,
        }
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--notes", type=int, default=10_000)
    parser.add_argument("--saves", type=int, default=5)
    parser.add_argument("--work", type=Path, default=None, help="where the generated folder goes (default: the temp)")
    options = parser.parse_args()
    (row,) = rows(options.notes, options.saves, options.work)
    print("| Notes | First build (s) | Saves | Save to reload, median (ms) | Slowest (ms) |")
    print("|---|---|---|---|---|")
    print(
        f"| {row['notes']:,} | {row['first build (s)']:.1f} | {row['saves']} | {row['median (ms)']:.0f} "
        f"| {row['slowest (ms)']:.0f} |"
    )
    return 0 if row["slowest (ms)"] <= TARGET * 1000 else 1  # type: ignore[operator]


if __name__ == "__main__":
    sys.exit(main())
