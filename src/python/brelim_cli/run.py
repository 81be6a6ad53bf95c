"""A run's jobs converted, here or in worker processes, each result told to the reporter.

Every run goes through `run_jobs`, one document or ten thousand: the same
worker function converts each job, a dead worker's job fails with one
message, and a stop removes the temporary files of the jobs in hand.
"""

from __future__ import annotations

import functools
import traceback
from typing import NamedTuple

from brelim_cli.convert import Job, convert_job
from brelim_cli.errors import ConversionError, shown
from brelim_cli.left_out import Findings
from brelim_cli.page_options import PageOptions
from brelim_cli.pool import run_in_processes
from brelim_cli.report import Reporter
from brelim_cli.targets import discard_temporary


class Outcome(NamedTuple):
    """What a job gives back: only names, messages and counts cross processes."""

    error: str | None  # the message of its failure
    findings: Findings  # what the document left out
    trace: str | None = None  # where an internal fault happened, with --debug


def convert_in_worker(options: PageOptions, warn: bool, debug: bool, job: Job) -> Outcome:
    """The one worker function: a job, in a worker or in this process."""
    findings = Findings(job.name, warn)
    try:
        convert_job(job, options, findings)
    except ConversionError as error:
        return Outcome(str(error), findings)
    except Exception as error:  # noqa: BLE001 - a fault of this program: told, and the other files still converted
        where = "" if debug else " (--debug shows where)"
        message = f"{shown(job.name)}: internal fault: {type(error).__name__}: {error}{where}"
        return Outcome(message, findings, traceback.format_exc() if debug else None)
    return Outcome(None, findings)


def run_jobs(
    jobs: list[Job],
    workers: int,
    options: PageOptions,
    warn: bool,
    reporter: Reporter,
    apart: bool = False,
    debug: bool = False,
) -> None:
    """Converts every job in at most `workers` processes (in this one for a single worker, unless `apart`).

    `options.tag` marks the run's temporary files, which a stop removes.
    """

    def worker_died(job: Job, how: str) -> None:
        reporter.failure(f"{shown(job.name)}: the process converting it ended ({how})")
        reporter.add_findings(Findings(job.name, warn))  # none, and the files after it are told

    def clean_up(job: Job) -> None:
        if job.target is not None:
            discard_temporary(job.target, options.tag or "")

    def done(outcome: Outcome) -> None:
        reporter.file_done(*outcome)

    work = functools.partial(convert_in_worker, options, warn, debug)
    run_in_processes(jobs, workers, work, done, worker_died, clean_up, apart=apart)
