"""How a run stops on Ctrl-C, SIGTERM or a hang-up: once, cleanly, and with its workers."""

from __future__ import annotations

import contextlib
import signal
import sys
import threading
from typing import Any, Iterator

# SIGBREAK: Ctrl-Break, on Windows only.
STOPPING = [getattr(signal, name) for name in ("SIGINT", "SIGTERM", "SIGHUP", "SIGBREAK") if hasattr(signal, name)]


class Stopped(BaseException):
    """The signal `number` asked the command to stop."""

    def __init__(self, number: int) -> None:
        super().__init__(number)
        self.number = number


def raise_stopped(number: int, frame: object) -> None:
    # One stop is enough: a second Ctrl-C must not break off the cleaning up,
    # which is short (workers are killed, not waited for).
    for other in STOPPING:
        signal.signal(other, signal.SIG_IGN)
    raise Stopped(number)


@contextlib.contextmanager
def stopping() -> Iterator[None]:
    """Within: each of the signals raises Stopped, in the main thread.

    A signal that was ignored when the command started (nohup, a background
    job of a script) stays ignored. After a stop they all stay ignored, for
    the process is expected to exit.
    """
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    previous = {number: signal.getsignal(number) for number in STOPPING}
    for number, handler in previous.items():
        if handler is not signal.SIG_IGN:
            signal.signal(number, raise_stopped)
    try:
        yield
    except Stopped:
        raise  # the signals stay ignored: a second one must not cut short the exit that follows
    except BaseException:
        restore(previous)
        raise
    restore(previous)


def restore(handlers: dict[int, Any]) -> None:
    for number, handler in handlers.items():
        signal.signal(number, signal.SIG_DFL if handler is None else handler)


@contextlib.contextmanager
def signals_deferred() -> Iterator[None]:
    """Within: the signals wait, so that a worker started here is known to the parent before any can stop it."""
    if sys.platform == "win32":  # no signal mask there
        yield
        return
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, STOPPING)
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


def become_worker() -> None:
    """A worker dies at once on any of the signals: a Ctrl-C, which reaches the whole
    process group, stops every file in hand without waiting for the parent to
    be scheduled. The parent, stopped too, removes what the workers left; a
    worker stopped alone is one the parent sees die, and its files are tried again."""
    for number in STOPPING:
        signal.signal(number, signal.SIG_DFL)
    if sys.platform != "win32":  # started within signals_deferred(): what waited there acts now
        signal.pthread_sigmask(signal.SIG_UNBLOCK, STOPPING)
