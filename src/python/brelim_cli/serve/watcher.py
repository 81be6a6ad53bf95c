"""The notes folder watched for changes (with watchfiles), in a thread of its own, never the site's folder.

Changes that come close together (an editor writing a temporary file, then
renaming it over the note) are one batch: a batch ends once no change has come for `STEP` milliseconds.
"""

from __future__ import annotations

import os
import queue
import threading
from pathlib import Path

STEP = 50  # milliseconds without a change that end a batch
LONGEST = 1600  # milliseconds a batch may last while changes keep coming


class Watcher:
    """Batches of changed paths below `notes`, hidden names and everything in `out` left out."""

    def __init__(self, notes: Path, out: Path) -> None:
        self.notes = os.path.realpath(notes)
        self.out = os.path.realpath(out)
        self.batches: queue.Queue[set[Path]] = queue.Queue()
        self.stopping = threading.Event()
        self.ready = threading.Event()
        self.thread = threading.Thread(target=self.watch, name="brelim-watcher", daemon=True)

    def start(self) -> None:
        self.thread.start()
        self.ready.wait(5)

    def stop(self) -> None:
        self.stopping.set()
        if self.thread.is_alive():
            self.thread.join(1)

    def wanted(self, change: object, path: str) -> bool:
        """Whether a change at `path` concerns the notes: nothing in the site's folder, nothing hidden."""
        real = os.path.join(os.path.realpath(os.path.dirname(path)), os.path.basename(path))
        if real == self.out or real.startswith(self.out.rstrip(os.sep) + os.sep):
            return False
        below = os.path.relpath(real, self.notes)
        return not any(part.startswith(".") for part in Path(below).parts)

    def watch(self) -> None:
        from watchfiles import watch

        changes = watch(
            self.notes, watch_filter=self.wanted, stop_event=self.stopping, step=STEP, debounce=LONGEST,
            rust_timeout=200, yield_on_timeout=True, raise_interrupt=False,
        )  # fmt: skip
        for batch in changes:
            self.ready.set()
            if batch:
                self.batches.put({Path(path) for _, path in batch})
        self.ready.set()

    def next(self, timeout: float) -> set[Path] | None:
        """The changed paths of the batches that came, waiting at most `timeout` seconds for the first."""
        try:
            paths = self.batches.get(timeout=timeout)
        except queue.Empty:
            return None
        while not self.batches.empty():  # only this thread takes from the queue
            paths |= self.batches.get_nowait()
        return paths
