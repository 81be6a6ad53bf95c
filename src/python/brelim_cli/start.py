"""The command's first moments: a Ctrl-C while it loads ends it with one line, not a traceback.

Imported first of all by the package, before anything slow, and touching
only what the interpreter has loaded already.
"""

# `_signal` is loaded with the interpreter; `signal` is not, and importing it
# (its enums) is the longest step before the handler is set.
import _signal  # type: ignore[import-not-found]  # typeshed has no stub for the C half of signal
import os
import sys


def runs_the_command() -> bool:
    """Whether this process is the command (the `brelim` script, or `python -m brelim_cli` while it loads),
    not a program that imports the package."""
    first = sys.argv[0] if sys.argv else ""
    return first == "-m" or os.path.splitext(os.path.basename(first))[0] == "brelim"


def interrupted(number: int, frame: object) -> None:
    # Nothing is written yet: the command just ends.
    try:  # noqa: SIM105 - nothing more is imported before the handler is set
        os.write(2, b"brelim: interrupted\n")
    except OSError:
        pass
    os._exit(128 + number)


def end_quietly_on_ctrl_c() -> None:
    """Until the command's run takes over the signals, Ctrl-C ends it with `brelim: interrupted` and 130.

    A program that imports the package keeps Python's KeyboardInterrupt; an ignored Ctrl-C stays ignored.
    """
    if runs_the_command() and _signal.getsignal(_signal.SIGINT) is _signal.default_int_handler:
        _signal.signal(_signal.SIGINT, interrupted)
