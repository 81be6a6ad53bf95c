"""The `brelim` command: a run from its options to the exit status.

A run: `options` reads the arguments; `sources` makes a job of each
document and the page it becomes; `run` converts the jobs, here or in worker
processes; `report` tells the user; `signals` stops it all cleanly.
"""

from __future__ import annotations

import signal
import traceback
from collections.abc import Iterable
from dataclasses import replace
from pathlib import Path

from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.options import RunOptions, read_options
from brelim_cli.report import Reporter, print_error_line
from brelim_cli.run import run_jobs
from brelim_cli.signals import Stopped, stopping
from brelim_cli.site import SiteOptions, build_site
from brelim_cli.sources import pages_into, single_job
from brelim_cli.streams import open_closed_streams
from brelim_cli.targets import new_tag


def convert_single(options: RunOptions, reporter: Reporter) -> None:
    """One file or standard input, to the file `-o`, into the folder `-o`, or to standard output."""
    job, apart = single_job(options.sources[0], options.out)
    run_jobs([job], 1, replace(options.page, tag=new_tag()), options.warn, reporter, apart=apart, debug=options.debug)


def convert_many(options: RunOptions, reporter: Reporter) -> None:
    """Several sources, or a folder, into the folder `-o`."""
    assert options.out is not None  # required for several sources (check_usage)
    out = Path(options.out)
    jobs = pages_into(list(options.sources), out, options.glob, reporter.failure)
    if not jobs or not made_folder(out, reporter):
        return
    reporter.start_progress(len(jobs))
    reporter.expect_files([job.name for job in jobs])
    try:
        run_jobs(jobs, options.jobs, replace(options.page, tag=new_tag()), options.warn, reporter, debug=options.debug)
    finally:
        reporter.close_progress()


def convert_site(options: RunOptions, reporter: Reporter) -> int:
    """The one folder's notes as a site in the folder `-o`; returns the number of dead links."""
    assert options.out is not None  # required for a folder (check_usage)
    page = options.page
    site = SiteOptions(
        Path(options.sources[0]),
        Path(options.out),
        options.glob,
        page.title,
        page.css,
        options.jobs,
        options.warn,
        page.max_page_size,
    )
    if options.serve:
        from brelim_cli.serve import serve_site

        serve_site(site, options.host, options.port, reporter, temporary_out=options.out == "")
        return 0
    return build_site(site, reporter)


def made_folder(out: Path, reporter: Reporter) -> bool:
    """Whether the folder `out` is there for the pages, made if need be; a failure is told."""
    try:
        out.mkdir(parents=True, exist_ok=True)
    except FileExistsError:
        reporter.failure(f"{shown(out)}: is a file, and the pages need a folder there")
        return False
    except OSError as error:
        reporter.failure(f"{shown(out)}: cannot make this folder: {os_message(error)}")
        return False
    return True


def main(argv: Iterable[str] | None = None) -> int:
    """Runs the command on `argv` (default: the process's arguments); returns the exit status.

    0: all converted; 1: a file failed; 2: a usage error; 128 plus the
    signal's number when stopped by one (130 for Ctrl-C, 143 for SIGTERM).
    """
    open_closed_streams()
    options = read_options(argv)
    reporter = Reporter(options.quiet, options.verbose, options.warn, options.strict)
    dead = 0
    try:
        with stopping():
            try:
                if options.site:
                    dead = convert_site(options, reporter)
                else:
                    (convert_single if options.single else convert_many)(options, reporter)
            except ConversionError as error:
                reporter.failure(str(error))
            reporter.finish()
    except (Stopped, KeyboardInterrupt) as stop:
        number = stop.number if isinstance(stop, Stopped) else signal.SIGINT
        stopped = "interrupted" if number == signal.SIGINT else f"stopped by {signal.Signals(number).name}"
        print_error_line(f"brelim: {stopped}")
        return 128 + number
    except Exception as error:  # noqa: BLE001 - a fault of the command: one line, or its traceback with --debug
        if options.debug:
            traceback.print_exc()
        where = "" if options.debug else " (--debug shows where)"
        print_error_line(f"brelim: internal fault: {type(error).__name__}: {error}{where}")
        return 1
    return 1 if reporter.failed or (options.strict and (reporter.left_out or dead)) else 0
