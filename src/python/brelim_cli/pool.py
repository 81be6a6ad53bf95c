"""Files converted side by side, in worker processes that the command owns and can end at any moment.

Each worker has a pipe of its own: the parent sends it batches of jobs and
it answers each batch as a whole, so the parent always knows which files
may be in flight. When the run is stopped, the parent kills the workers
(never waiting for a file to finish; a Ctrl-C kills them as well) and
removes the temporary files of the pages they may have been writing. A
worker that dies alone (killed from outside, out of memory) costs no file
by itself: the files of its batch are tried again one by one, and only a
file that a worker dies on alone fails.
"""

from __future__ import annotations

import collections
import contextlib
import multiprocessing
import sys
from multiprocessing.connection import wait
from pathlib import Path
from typing import Any, Callable, NamedTuple

from brelim_cli.signals import become_worker, held
from brelim_cli.targets import discard_temporary

# Batches a worker has in hand: enough for it never to wait on a parent slowed down by a busy machine.
AHEAD = 4
BATCH = 32
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
    css: str | None  # a stylesheet to link instead of the page's own
    warn: bool  # list the headlines left out, not only count them


def worker_count(requested: int, jobs: int, platform: str = sys.platform) -> int:
    return max(1, min(requested, jobs, MOST_WORKERS.get(platform, requested)))


def serve(connection: Any, work: Callable[[Job], Any], inherited: list[Any]) -> None:
    """A worker's life: answer every batch, until told to stop or the parent is gone."""
    become_worker()
    for other in inherited:  # the parent's ends, copied by fork: held here, they would hide the parent's death
        other.close()
    try:
        while (batch := connection.recv()) is not None:
            connection.send([work(job) for job in batch])
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
        self.pending: collections.deque[list[Job]] = collections.deque()  # batches sent, unanswered

    def send(self, batch: list[Job]) -> None:
        self.pending.append(batch)  # before sending: a stop in between must still find them
        with contextlib.suppress(OSError):  # the worker died: reading its answer will tell
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
        for batch in self.pending:
            for job in batch:
                discard_temporary(job.target, job.tag)


class Run:
    """The workers of one run and the jobs not yet handed out."""

    def __init__(self, jobs: list[Job], workers: int, work: Callable[[Job], Any]) -> None:
        self.workers = workers
        self.work = work
        self.queue = collections.deque(jobs)
        self.alone: collections.deque[Job] = collections.deque()  # to be tried one by one
        self.context = multiprocessing.get_context(START)
        self.pool: list[Worker] = []

    def start(self) -> None:
        with held():  # the worker is in the pool before a stop can be raised
            self.pool.append(Worker(self.context, self.work, self.pool))
        self.feed(self.pool[-1])

    def feed(self, worker: Worker) -> None:
        while len(worker.pending) < AHEAD and (self.alone or self.queue):
            if self.alone:
                worker.send([self.alone.popleft()])
            else:
                # Many small files must not cost a round trip each, yet the batches
                # shrink as the queue does, so that the workers end together.
                size = max(1, min(BATCH, len(self.queue) // (self.workers * AHEAD * 2)))
                worker.send([self.queue.popleft() for _ in range(size)])

    def lost(self, worker: Worker, error: Callable[[str], None]) -> None:
        worker.end(kill=True)
        self.pool.remove(worker)
        first = worker.pending.popleft()
        if len(first) == 1:
            error(f"{first[0].source}: the process converting it ended ({describe(worker.process.exitcode)})")
        else:
            self.alone.extend(first)
        self.queue.extendleft(job for batch in reversed(worker.pending) for job in reversed(batch))
        if self.alone or self.queue:
            self.start()


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
    state = Run(jobs, workers, work)
    stopped = True
    try:
        for _ in range(workers):
            state.start()
        while state.pool:
            busy = {worker.connection: worker for worker in state.pool if worker.pending}
            if not busy:
                break
            for connection in wait(list(busy), timeout=0.25):  # a timeout: Windows may not wake for Ctrl-C
                worker = busy[connection]
                try:
                    results = worker.connection.recv()
                except (EOFError, OSError):
                    state.lost(worker, error)
                    continue
                worker.pending.popleft()
                for result in results:
                    done(result)
                state.feed(worker)
        stopped = False
    finally:
        if stopped:
            for worker in state.pool:
                worker.process.terminate()
        for worker in state.pool:
            worker.end(kill=stopped)


def run_here(jobs: list[Job], work: Callable[[Job], Any], done: Callable[[Any], None]) -> None:
    for job in jobs:
        try:
            result = work(job)
        except BaseException:
            discard_temporary(job.target, job.tag)
            raise
        done(result)
