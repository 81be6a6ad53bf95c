"""What a run tells its user on standard error: failures, headlines left out, and a progress bar."""

from __future__ import annotations

import contextlib
import sys
from typing import Any

from brelim_cli.left_out import Findings


def print_error_line(message: str) -> None:
    """One line on standard error; a closed one is no reason to fail."""
    with contextlib.suppress(OSError, ValueError, AttributeError):
        print(message, file=sys.stderr, flush=True)


class Reporter:
    """Counts the failures and the headlines left out, and prints them, below the progress bar when there is one.

    The bar is shown when standard error is a terminal and there are several files.
    """

    def __init__(self, quiet: bool = False) -> None:
        self.failed = 0
        self.left_out = 0  # headlines, over all files
        self.quiet = quiet
        self.bar: Any = None

    def start_progress(self, total: int) -> None:
        if total > 1 and sys.stderr.isatty():
            with contextlib.suppress(ImportError):  # a bare PYTHONPATH run may lack tqdm: no bar then
                from tqdm import tqdm

                tqdm.monitor_interval = 0  # no thread of its own: worker processes are forked after this
                self.bar = tqdm(total=total, unit="file", file=sys.stderr, dynamic_ncols=True)

    def failure(self, message: str) -> None:
        """A file (or folder) that failed: counted, and told as `brelim: MESSAGE`."""
        self.failed += 1
        self.print_line(f"brelim: {message}")

    def print_line(self, line: str) -> None:
        if self.bar is None:
            print_error_line(line)
        else:
            with contextlib.suppress(OSError):
                self.bar.write(line, file=sys.stderr)  # keeps the bar below the message

    def add_findings(self, findings: Findings) -> None:
        """Counts what one document left out, and prints its lines."""
        self.left_out += findings.count
        for line in findings.notices(self.quiet):
            self.print_line(line)

    def file_done(self, error: str | None, findings: Findings | None = None) -> None:
        """One file of the run finished, with the message of its failure or None; the bar moves on."""
        if error is not None:
            self.failure(error)
        if findings is not None:
            self.add_findings(findings)
        if self.bar is not None:
            with contextlib.suppress(OSError):
                self.bar.update(1)

    def close_progress(self) -> None:
        if self.bar is not None:
            with contextlib.suppress(OSError):
                self.bar.close()
            self.bar = None
