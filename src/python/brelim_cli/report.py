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

    The bar is shown when standard error is a terminal and there are several
    files. A run of several files tells what each file left out only when
    asked (`verbose`, `warn`), in the order of its files whatever order they
    finish in, and ends with one total; one file tells its own count.
    """

    def __init__(self, quiet: bool = False, verbose: bool = False, warn: bool = False, strict: bool = False) -> None:
        self.failed = 0
        self.left_out = 0  # headlines, over all files
        self.losing = 0  # files that left out some
        self.quiet = quiet
        self.verbose = verbose
        self.warn = warn
        self.strict = strict
        self.bar: Any = None
        self.order: dict[str, int] | None = None  # a run of several files: each one's place
        self.waiting: dict[int, Findings] = {}  # findings that came before those of earlier files
        self.told = 0  # files whose findings are told

    def start_progress(self, total: int) -> None:
        if total > 1 and sys.stderr.isatty():
            with contextlib.suppress(ImportError):  # a bare PYTHONPATH run may lack tqdm: no bar then
                from tqdm import tqdm

                tqdm.monitor_interval = 0  # no thread of its own: worker processes are forked after this
                self.bar = tqdm(total=total, unit="file", file=sys.stderr, dynamic_ncols=True)

    def expect_files(self, names: list[str]) -> None:
        """A run of several files, named in the order their findings are told."""
        self.order = {name: place for place, name in enumerate(names)}

    def failure(self, message: str, trace: str | None = None) -> None:
        """A file (or folder) that failed: counted, and told as `brelim: MESSAGE`, after the `trace` of a fault."""
        self.failed += 1
        if trace:
            self.print_line(trace.rstrip("\n"))
        self.print_line(f"brelim: {message}")

    def print_line(self, line: str) -> None:
        if self.bar is None:
            print_error_line(line)
        else:
            with contextlib.suppress(OSError):
                self.bar.write(line, file=sys.stderr)  # keeps the bar below the message

    def add_findings(self, findings: Findings) -> None:
        """Counts what one document left out, and prints its lines when they are due."""
        self.left_out += findings.count
        self.losing += findings.count > 0
        if self.order is None:
            for line in findings.notices(self.quiet):
                self.print_line(line)
            return
        self.waiting[self.order.get(findings.name, len(self.order))] = findings
        while self.told in self.waiting:
            self.tell(self.waiting.pop(self.told))

    def tell(self, findings: Findings) -> None:
        self.told += 1
        if self.verbose or self.warn:
            for line in findings.notices(False):
                self.print_line(line)

    def file_done(self, error: str | None, findings: Findings | None = None, trace: str | None = None) -> None:
        """One file of the run finished, with the message of its failure or None; the bar moves on."""
        if error is not None:
            self.failure(error, trace)
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

    def finish(self) -> None:
        """The run's last word: the findings still waiting, the total of a run of several files, and a
        failure that --strict makes of a headline left out, told even when quiet."""
        for place in sorted(self.waiting):
            self.tell(self.waiting.pop(place))
        if not self.left_out:
            return
        counted = f"{self.left_out:,} headline{'' if self.left_out == 1 else 's'} left out"
        if self.order is not None:
            counted += f", in {self.losing:,} of {len(self.order):,} files"
        if self.strict:
            self.print_line(f"brelim: --strict: {counted}")
        elif self.order is not None and not self.quiet:
            self.print_line(f"brelim: {counted}" + ("" if self.warn else " (--warn lists them)"))
