"""Files converted side by side, in worker processes that the command owns and can end at any moment.

Each worker has a pipe of its own: the parent sends it batches of jobs and
it answers each job as it finishes, so the parent always knows which files
are in flight. When the run is stopped, the parent kills the workers
(never waiting for a file to finish) and removes the temporary files of the
pages they were writing. A worker that dies alone costs only its file: the
rest of its batch goes to a new worker.
"""

from __future__ import annotations

import collections
import multiprocessing
import sys
from multiprocessing.connection import wait
from pathlib import Path
from typing import Any, Callable, NamedTuple

from brelim_cli.signals import become_worker, held
from brelim_cli.targets import discard_temporary

# Windows waits on at most 64 handles at once, a few of which are not workers'.
MOST_WORKERS = {"win32": 61}
# Fork is the fastest start and safe here, as the parent has no threads; spawn where fork is not (safe).
START = "fork" if sys.platform.startswith("linux") else "spawn"


class Job(NamedTuple):
    """What crosses to a worker for one file (only paths and settings cross processes)."""

    source: Path
    target: Path
    title: str | None
    fragment: bool
    tag: str  # marks the run's temporary files


def worker_count(requested: int, jobs: int, platform: str = sys.platform) -> int:
    return max(1, min(requested, jobs, MOST_WORKERS.get(platform, requested)))


def serve(connection: Any, work: Callable[[Job], Any], inherited: list[Any]) -> None:
    """A worker's life: answer every job of every batch, until told to stop or the parent is gone."""
    become_worker()
    for other in inherited:  # the parent's ends, copied by fork: held here, they would hide the parent's death
        other.close()
    try:
        while (batch := connection.recv()) is not None:
            for job in batch:
                connection.send(work(job))
    except (EOFError, OSError):
        pass


def describe(exitcode: int | None) -> str:
    if exitcode is not None and exitcode < 0:
        return f"killed by signal {-exitcode}"
    return f"exit status {exitcode}"


class Worker:
    def __init__(self, context: Any, work: Callable[[Job], Any], others: list[Worker]) -> None:
        self.connection, child = context.Pipe()
        inherited = [worker.connection for worker in others] + [self.connection] if START == "fork" else []
        self.process = context.Process(target=serve, args=(child, work, inherited), daemon=True)
        self.process.start()
        child.close()
        self.pending: collections.deque[Job] = collections.deque()

    def send(self, batch: list[Job]) -> None:
        self.pending.extend(batch)  # before sending: a stop in between must still find them
        self.connection.send(batch)

    def end(self, kill: bool) -> None:
        """Ends the worker (at once with `kill`) and removes the temporary files of its unfinished pages."""
        if not kill:
            try:
                self.connection.send(None)
            except OSError:
                kill = True
        if kill:
            self.process.terminate()
        self.process.join(2)
        if self.process.is_alive():  # stuck in the kernel, or deaf to SIGTERM while a spawn starts
            self.process.kill()
            self.process.join(1)
        self.connection.close()
        for job in self.pending:
            discard_temporary(job.target, job.tag)


def run(jobs: list[Job], workers: int, work: Callable[[Job], Any], done: Callable[[Any], None],
        error: Callable[[str], None]) -> None:
    """Runs `work` on every job, in `workers` processes (in this one for a single worker); `done` gets each result.

    Stopped (or any other exception) ends the workers at once and removes
    the temporary files of the pages being written.
    """
    workers = worker_count(workers, len(jobs))
    if workers == 1:
        run_here(jobs, work, done)
        return
    # Files go out in batches, so that many small files do not cost a round
    # trip each, yet small enough for the progress bar to move and the
    # workers to end together; each worker has one batch ahead.
    chunk = max(1, min(32, len(jobs) // (workers * 8)))
    queue = collections.deque(jobs)
    context = multiprocessing.get_context(START)
    pool: list[Worker] = []

    def start() -> None:
        with held():
            pool.append(Worker(context, work, pool))

    def feed(worker: Worker) -> None:
        if queue:
            worker.send([queue.popleft() for _ in range(min(chunk, len(queue)))])

    stopped = True
    try:
        for _ in range(workers):
            start()
            feed(pool[-1])
            feed(pool[-1])
        while any(worker.pending for worker in pool):
            busy = {worker.connection: worker for worker in pool if worker.pending}
            for connection in wait(list(busy), timeout=0.25):  # a timeout: Windows may not wake for Ctrl-C
                worker = busy[connection]
                try:
                    result = worker.connection.recv()
                except (EOFError, OSError):
                    pool.remove(worker)
                    lost(worker, error, queue)
                    if queue:
                        start()
                        feed(pool[-1])
                        feed(pool[-1])
                    continue
                worker.pending.popleft()
                done(result)
                if len(worker.pending) <= chunk:
                    feed(worker)
        stopped = False
    finally:
        if stopped:
            for worker in pool:
                worker.process.terminate()
        for worker in pool:
            worker.end(kill=stopped)


def lost(worker: Worker, error: Callable[[str], None], queue: collections.deque[Job]) -> None:
    """A worker died alone (killed from outside, out of memory): its file fails, the rest of its batch goes back."""
    job = worker.pending.popleft()
    worker.end(kill=True)
    discard_temporary(job.target, job.tag)
    error(f"{job.source}: the process converting it ended ({describe(worker.process.exitcode)})")
    queue.extendleft(reversed(worker.pending))
    worker.pending.clear()


def run_here(jobs: list[Job], work: Callable[[Job], Any], done: Callable[[Any], None]) -> None:
    for job in jobs:
        try:
            result = work(job)
        except BaseException:
            discard_temporary(job.target, job.tag)
            raise
        done(result)
