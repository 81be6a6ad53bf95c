"""Work items handled side by side, in worker processes that the caller owns and can end at any moment.

The pool knows nothing of what an item is: its caller gives the items, the
function a worker runs on each, and what to do with each result. Each
worker has a pipe of its own: the parent sends it batches of items and it
answers each batch as a whole, so the parent always knows which items may
be in flight. When the run is stopped, the parent kills the workers (never
waiting for an item to finish; a Ctrl-C kills them as well) and hands each
item that may have been in hand to the caller's `clean_up`. A worker that
dies alone (killed from outside, out of memory) costs no item by itself:
the items of its batch are tried again one by one, and only an item that a
worker dies on alone fails.
"""

from __future__ import annotations

import collections
import contextlib
import multiprocessing
import os
import sys
from collections.abc import Callable
from multiprocessing.connection import wait
from typing import Any, Generic, TypeVar

from brelim_cli.signals import become_worker, signals_deferred

# Batches a worker has in hand: enough for it never to wait on a parent slowed down by a busy machine.
AHEAD = 4
BATCH = 32
# Windows waits on at most 64 handles at once, a few of which are not workers'.
MOST_WORKERS = {"win32": 61}
# Workers beyond a few per core only add start-up, memory and switching: 800 of them ran 16 times slower.
MOST_PER_CORE = 4
# Fork is the fastest start and safe here, as the parent has no threads; spawn where fork is not (safe).
START = "fork" if sys.platform.startswith("linux") else "spawn"

Item = TypeVar("Item")
Result = TypeVar("Result")


def usable_cores() -> int:
    """The cores this process may run on, which a container or taskset can make fewer than the machine's."""
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0))
    return os.cpu_count() or 1


def worker_count(requested: int, items: int, platform: str = sys.platform, cores: int | None = None) -> int:
    """The workers to start: as requested, but never more than the items, MOST_PER_CORE per core, or the system's limit."""
    most = MOST_PER_CORE * (usable_cores() if cores is None else cores)
    return max(1, min(requested, items, most, MOST_WORKERS.get(platform, requested)))


def serve(connection: Any, work: Callable[[Any], Any], inherited: list[Any]) -> None:
    """A worker's life: answer every batch, until told to stop or the parent is gone."""
    become_worker()
    for other in inherited:  # the parent's ends, copied by fork: held here, they would hide the parent's death
        other.close()
    try:
        while (batch := connection.recv()) is not None:
            connection.send([work(item) for item in batch])
    except (EOFError, OSError):
        pass


def how_it_ended(exitcode: int | None) -> str:
    if exitcode is not None and exitcode < 0:
        return f"killed by signal {-exitcode}"
    return f"exit status {exitcode}"


class Worker(Generic[Item]):
    def __init__(self, context: Any, work: Callable[[Item], Any], others: list[Worker[Item]]) -> None:
        self.connection, child = context.Pipe()
        inherited = [worker.connection for worker in others] + [self.connection] if START == "fork" else []
        self.process = context.Process(target=serve, args=(child, work, inherited), daemon=True)
        self.process.start()
        child.close()
        self.pending: collections.deque[list[Item]] = collections.deque()  # batches sent, unanswered

    def send(self, batch: list[Item]) -> None:
        self.pending.append(batch)  # before sending: a stop in between must still find them
        with contextlib.suppress(OSError):  # the worker died: reading its answer will tell
            self.connection.send(batch)

    def end(self, kill: bool, clean_up: Callable[[Item], None]) -> None:
        """Ends the worker (at once with `kill`) and cleans up after each item it had not answered."""
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
            for item in batch:
                clean_up(item)


class Pool(Generic[Item]):
    """The workers of one run and the items not yet handed out."""

    def __init__(
        self,
        items: list[Item],
        workers: int,
        work: Callable[[Item], Any],
        clean_up: Callable[[Item], None],
        batch: int = BATCH,
    ) -> None:
        self.workers = workers
        self.batch = batch
        self.work = work
        self.clean_up = clean_up
        self.queue = collections.deque(items)
        self.alone: collections.deque[Item] = collections.deque()  # to be tried one by one
        self.context = multiprocessing.get_context(START)
        self.pool: list[Worker[Item]] = []

    def start(self) -> None:
        with signals_deferred():  # the worker is in the pool before a stop can be raised
            self.pool.append(Worker(self.context, self.work, self.pool))
        self.feed(self.pool[-1])

    def feed(self, worker: Worker[Item]) -> None:
        while len(worker.pending) < AHEAD and (self.alone or self.queue):
            if self.alone:
                worker.send([self.alone.popleft()])
            else:
                # Many small items must not cost a round trip each, yet the batches
                # shrink as the queue does, so that the workers end together.
                size = max(1, min(self.batch, len(self.queue) // (self.workers * AHEAD * 2)))
                worker.send([self.queue.popleft() for _ in range(size)])

    def lost(self, worker: Worker[Item], failed: Callable[[Item, str], None]) -> None:
        worker.end(kill=True, clean_up=self.clean_up)
        self.pool.remove(worker)
        first = worker.pending.popleft()
        if len(first) == 1:
            failed(first[0], how_it_ended(worker.process.exitcode))
        else:
            self.alone.extend(first)
        self.queue.extendleft(item for batch in reversed(worker.pending) for item in reversed(batch))
        if self.alone or self.queue:
            self.start()


def run_in_processes(
    items: list[Item],
    workers: int,
    work: Callable[[Item], Result],
    done: Callable[[Result], None],
    failed: Callable[[Item, str], None],
    clean_up: Callable[[Item], None],
    apart: bool = False,
    batch: int = BATCH,
) -> None:
    """Runs `work` on every item, in `workers` processes (in this one for a single worker, unless `apart`:
    this process then only waits, and acts on a stop at once); `done` gets each result. A worker is sent at
    most `batch` items at a time, and answers them in one message.

    `work` and the items cross to the workers, so they must be picklable where
    workers are spawned; the results cross back. `failed` is told of an item
    that a worker died on alone, and how the worker ended. Stopped (or any
    other exception) ends the workers at once, and `clean_up` is called here
    on every item that may have been in hand, before the exception goes on.
    """
    workers = worker_count(workers, len(items))
    if workers == 1 and not apart:
        run_in_this_process(items, work, done, clean_up)
        return
    state = Pool(items, workers, work, clean_up, batch)
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
                    state.lost(worker, failed)
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
            worker.end(kill=stopped, clean_up=clean_up)


def run_in_this_process(
    items: list[Item], work: Callable[[Item], Result], done: Callable[[Result], None], clean_up: Callable[[Item], None]
) -> None:
    for item in items:
        try:
            result = work(item)
        except BaseException:
            clean_up(item)
            raise
        done(result)
