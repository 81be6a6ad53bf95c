"""The `brelim` command: its arguments, what it refuses, and a run from the sources to the exit status.

A run: the arguments give the sources and the page options; `sources` lists
the files and their pages; `pool` hands them to worker processes, which
convert and write each with `convert`; `report` tells the user; `signals`
stops it all cleanly.
"""

from __future__ import annotations

import argparse
import contextlib
import errno
import functools
import os
import signal
import sys
import traceback
from collections.abc import Iterable
from dataclasses import dataclass, replace
from pathlib import Path

import brelim
from brelim_cli.convert import (
    DEFAULT_GLOB,
    PageOptions,
    convert_page,
    decode_outline,
    html_path,
    read_outline,
    render_document,
    write_page,
)
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.left_out import Findings
from brelim_cli.limits import parse_size
from brelim_cli.pool import MOST_WORKERS, run_in_processes
from brelim_cli.report import Reporter, print_error_line
from brelim_cli.signals import Stopped, stopping
from brelim_cli.sources import Page, expand_wildcards, pages_into
from brelim_cli.streams import open_closed_streams, was_closed
from brelim_cli.targets import STDOUT, discard_temporary, names_folder, new_tag, write_stdout

STDIN_TITLE = "Outline"


def default_jobs() -> int:
    # The cores this process may run on, which a container or taskset can make fewer than the machine's.
    if hasattr(os, "sched_getaffinity"):
        count = len(os.sched_getaffinity(0))
    else:
        count = os.cpu_count() or 1
    return min(count, MOST_WORKERS.get(sys.platform, count))


def positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def size(text: str) -> int:
    try:
        return parse_size(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def installed_version() -> str:
    from importlib.metadata import PackageNotFoundError, version

    try:
        return version("brelim")
    except PackageNotFoundError:
        return "(not installed)"


EPILOG = """examples:
  brelim notes.outline -o notes.html   one file, one complete page
  brelim notes/ -o html/ --jobs 4      notes/**/NAME.outline to html/**/NAME.html

Exit status: 0 when all is converted, 1 when a file failed (or, with
--strict, a headline was left out), 2 for a usage error, 130 on Ctrl-C and
143 on SIGTERM."""


def make_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="brelim",
        description="Convert outline documents into HTML pages.",
        epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
        add_help=False,
    )
    inputs, output, report, folders, other = (
        parser.add_argument_group(name) for name in ["input", "output", "headlines left out", "folders", "other"]
    )
    other.add_argument("-h", "--help", action="help", help="show this help and exit")
    inputs.add_argument(
        "sources", nargs="+", metavar="SOURCE", help="a file, - for standard input, or a folder and its subfolders"
    )
    output.add_argument(
        "-o",
        "--output",
        dest="out",
        metavar="OUT",
        help="for one source: the page's file, - for standard output (the default), "
        "or a folder (OUT/NAME.html); for several sources or a folder: the folder, required",
    )
    output.add_argument("--fragment", action="store_true", help="write only the HTML fragment of parse_string")
    output.add_argument(
        "--title", metavar="TEXT", help=f"page title (default: the file name's stem; {STDIN_TITLE} for -)"
    )
    output.add_argument("--css", metavar="URL", help="link this stylesheet instead of the page's own")
    output.add_argument(
        "--max-page-size",
        type=size,
        metavar="SIZE",
        help="refuse a page larger than SIZE bytes (or K, M, G); 0: no limit "
        "(default: 16 times the document, at least 64M, at most a quarter of the memory)",
    )
    quiet = report.add_mutually_exclusive_group()
    quiet.add_argument("--warn", action="store_true", help="list each headline left out, and why")
    quiet.add_argument("-q", "--quiet", action="store_true", help="do not count the headlines left out")
    quiet.add_argument(
        "-v", "--verbose", action="store_true", help="count the headlines left out of each file of several"
    )
    report.add_argument("--strict", action="store_true", help="exit with 1 when any headline is left out")
    folders.add_argument(
        "--glob",
        default=DEFAULT_GLOB,
        metavar="PATTERN",
        help="the names of the files to convert (default: %(default)s); names starting with . are skipped",
    )
    folders.add_argument(
        "--jobs",
        type=positive,
        default=default_jobs(),
        metavar="N",
        help="processes converting files side by side (default: %(default)s)",
    )
    other.add_argument("--debug", action="store_true", help="show where an internal fault happened")
    other.add_argument("--version", action="version", version=f"%(prog)s {installed_version()}")
    return parser


def check_usage(parser: argparse.ArgumentParser, args: argparse.Namespace) -> bool:
    """Refuses what cannot be done (exit 2); True when the run converts one file or standard input."""
    # An empty name is a script's unset variable: it would scatter pages, or read the current folder.
    for option, value in (("-o", args.out), ("--css", args.css), ("--glob", args.glob)):
        if value == "":
            parser.error(f"{option} is empty")
    if "" in args.sources:
        parser.error("a source is empty: name a file, a folder or - (standard input)")
    one = len(args.sources) == 1 and (args.sources[0] == "-" or not os.path.isdir(args.sources[0]))
    if not one and "-" in args.sources:
        parser.error("- (standard input) can only be the only source")
    if not one and args.out in (None, STDOUT):
        parser.error("-o OUT, a folder, is needed for several sources or a folder")
    if not one and args.out.lower().endswith((".html", ".htm")):
        parser.error(f"-o {shown(args.out)} names a page, and this run makes several: -o names their folder")
    if one and args.sources[0] == "-" and args.out not in (None, STDOUT) and names_folder(args.out):
        parser.error("- (standard input) has no name for a page in a folder: -o names the page's file")
    if args.css is not None and args.fragment:
        parser.error("--css is for pages, not for --fragment")
    return one


def read_stdin() -> str:
    try:
        if was_closed(0):  # the null device stands in for it: reading it would give an empty page
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        data = sys.stdin.buffer.read()
    except OSError as error:
        raise ConversionError(f"standard input: cannot read: {os_message(error)}") from None
    return decode_outline(data, "standard input")


def write_to_stdout(name: str, page: bytes) -> None:
    try:
        write_stdout(page)
    except BrokenPipeError:
        # The reader went away (`brelim x | head`): it had what it wanted. Said
        # nothing, and exit 0 as when it goes just after the last byte, so
        # that the status does not depend on which came first.
        with contextlib.suppress(OSError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    except OSError as error:
        raise ConversionError(f"{shown(name)}: cannot write standard output: {os_message(error)}") from None


# A single document larger than this, or whose fragment is, takes long enough
# to convert that it is converted in a worker process: parse_string holds the
# interpreter for the whole call, and the command must act on a Ctrl-C at once.
APART_DOCUMENT = 16 << 20
APART_FRAGMENT = 32 << 20


@dataclass(frozen=True)
class Document:
    """The one document of a run: a file or standard input, its text when read already, and where its page goes."""

    source: str  # a path, or "-" for standard input
    target: str  # a path, or "-" for standard output
    text: str | None = None

    @property
    def name(self) -> str:
        return "standard input" if self.source == "-" else self.source


def convert_document(options: PageOptions, warn: bool, document: Document) -> tuple[str | None, Findings]:
    """The one document, here or in a worker: None or the message of its failure, and what it left out."""
    findings = Findings(document.name, warn)
    try:
        text = read_outline(document.source) if document.text is None else document.text
        left_out = brelim._left_out(text)
        page = render_document(document.name, text, options.title_of(Path(document.source)), options, left_out)
        if document.target == STDOUT:
            write_to_stdout(document.name, page)
        else:
            with contextlib.suppress(OSError):
                if document.source != "-" and os.path.samefile(document.target, document.source):
                    raise ConversionError(f"{shown(document.source)}: would be overwritten by its own page")
            write_page(document.name, document.target, page, options)
        findings.check(text, left_out)
    except ConversionError as error:
        return str(error), findings
    except Exception as error:  # a fault of this program, told as one line
        return f"{shown(document.name)}: internal fault: {type(error).__name__}: {error}", findings
    return None, findings


def takes_long(text: str) -> bool:
    """Whether converting `text` could keep the interpreter from a Ctrl-C for more than a moment."""
    return len(text) > APART_DOCUMENT or brelim._fragment_size(text, APART_FRAGMENT)[0] > APART_FRAGMENT


def convert_alone(source: str, args: argparse.Namespace, options: PageOptions, reporter: Reporter) -> None:
    """One file or standard input, to the file `-o`, into the folder `-o`, or to standard output."""
    if source == "-" and options.title is None:
        options = replace(options, title=STDIN_TITLE)
    target = STDOUT if args.out is None else args.out
    if target != STDOUT and source != "-" and names_folder(target):
        target = str(html_path(Path(source), Path(source).parent, Path(target)))
    if target != STDOUT:
        options = replace(options, tag=new_tag())
    text: str | None = None  # read in the worker, for a file too large to read here
    apart = False
    try:
        if source == "-":
            if target != STDOUT and reads_from(target):
                raise ConversionError("standard input: would be overwritten by its own page")
            text = read_stdin()
        elif os.path.getsize(source) > APART_DOCUMENT:
            apart = True
        else:
            text = read_outline(source)
    except OSError:
        pass  # told by the conversion, which reads the file again
    except ConversionError as error:
        reporter.failure(str(error))
        return
    document = Document(source, target, text)
    apart = apart or (text is not None and takes_long(text))

    def worker_died(document: Document, how: str) -> None:
        reporter.failure(f"{shown(document.name)}: the process converting it ended ({how})")

    def clean_up(document: Document) -> None:
        if document.target != STDOUT:
            discard_temporary(document.target, options.tag or "")

    def done(result: tuple[str | None, Findings]) -> None:
        reporter.file_done(*result)

    work = functools.partial(convert_document, options, args.warn)
    run_in_processes([document], 1, work, done, worker_died, clean_up, apart=apart)


def reads_from(target: str) -> bool:
    """Whether standard input is the file `target`."""
    try:
        return not was_closed(0) and os.path.samestat(os.fstat(0), os.stat(target))
    except OSError:
        return False


def convert_in_worker(options: PageOptions, warn: bool, page: Page) -> tuple[str | None, Findings]:
    """One file, in a worker: None or the message of its failure, and what it left out.

    Only paths, messages and counts cross processes; the parent prints.
    """
    findings = Findings(str(page.source), warn)
    try:
        convert_page(page.source, page.target, options, findings)
    except ConversionError as error:
        return str(error), findings
    except Exception as error:  # a fault of this program: told, and the other files still converted
        return f"{shown(page.source)}: internal fault: {type(error).__name__}: {error}", findings
    return None, findings


def convert_many(sources: list[str], args: argparse.Namespace, options: PageOptions, reporter: Reporter) -> None:
    """Several sources, or a folder, into the folder `-o`."""
    out = Path(args.out)
    pages = pages_into(sources, out, args.glob, reporter.failure)
    if not pages:
        return
    try:
        out.mkdir(parents=True, exist_ok=True)
    except FileExistsError:
        reporter.failure(f"{shown(out)}: is a file, and the pages need a folder there")
        return
    except OSError as error:
        reporter.failure(f"{shown(out)}: cannot make this folder: {os_message(error)}")
        return
    tag = new_tag()
    reporter.start_progress(len(pages))
    reporter.expect_files([str(page.source) for page in pages])

    def worker_died(page: Page, how: str) -> None:
        reporter.failure(f"{shown(page.source)}: the process converting it ended ({how})")
        reporter.add_findings(Findings(str(page.source), args.warn))  # none, and the files after it are told

    def clean_up(page: Page) -> None:
        discard_temporary(page.target, tag)

    try:
        work = functools.partial(convert_in_worker, replace(options, tag=tag), args.warn)
        run_in_processes(pages, args.jobs, work, lambda result: reporter.file_done(*result), worker_died, clean_up)
    finally:
        reporter.close_progress()


def main(argv: Iterable[str] | None = None) -> int:
    """Runs the command on `argv` (default: the process's arguments); returns the exit status.

    0: all converted; 1: a file failed; 2: a usage error; 128 plus the
    signal's number when stopped by one (130 for Ctrl-C, 143 for SIGTERM).
    """
    open_closed_streams()
    parser = make_parser()
    args = parser.parse_args(None if argv is None else list(argv))
    args.sources = expand_wildcards(args.sources)
    one = check_usage(parser, args)
    options = PageOptions(title=args.title, fragment=args.fragment, css=args.css, max_page_size=args.max_page_size)
    reporter = Reporter(args.quiet, args.verbose, args.warn, args.strict)
    try:
        with stopping():
            if one:
                try:
                    convert_alone(args.sources[0], args, options, reporter)
                except ConversionError as error:
                    reporter.failure(str(error))
            else:
                convert_many(args.sources, args, options, reporter)
            reporter.finish()
    except (Stopped, KeyboardInterrupt) as stop:
        number = stop.number if isinstance(stop, Stopped) else signal.SIGINT
        stopped = "interrupted" if number == signal.SIGINT else f"stopped by {signal.Signals(number).name}"
        print_error_line(f"brelim: {stopped}")
        return 128 + number
    except Exception as error:
        if args.debug:
            traceback.print_exc()
        where = "" if args.debug else " (--debug shows where)"
        print_error_line(f"brelim: internal fault: {type(error).__name__}: {error}{where}")
        return 1
    return 1 if reporter.failed or (args.strict and reporter.left_out) else 0
