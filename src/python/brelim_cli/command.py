"""The `brelim` command: its arguments, what it refuses, and a run from the sources to the exit status.

A run: the arguments give the sources and the page options; `sources` lists
the files and their pages; `pool` hands them to worker processes, which
convert and write each with `convert`; `report` tells the user; `signals`
stops it all cleanly.
"""

from __future__ import annotations

import argparse
import contextlib
import functools
import os
import signal
import sys
import traceback
from collections.abc import Iterable
from dataclasses import replace
from pathlib import Path

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
from brelim_cli.errors import ConversionError, os_message
from brelim_cli.left_out import Findings
from brelim_cli.pool import MOST_WORKERS, run_in_processes
from brelim_cli.report import Reporter, print_error_line
from brelim_cli.signals import Stopped, stopping
from brelim_cli.sources import Page, expand_wildcards, pages_into
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
    quiet = report.add_mutually_exclusive_group()
    quiet.add_argument("--warn", action="store_true", help="list each headline left out, and why")
    quiet.add_argument("-q", "--quiet", action="store_true", help="do not count the headlines left out")
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
    one = len(args.sources) == 1 and (args.sources[0] == "-" or not os.path.isdir(args.sources[0]))
    if not one and "-" in args.sources:
        parser.error("- (standard input) can only be the only source")
    if not one and args.out in (None, STDOUT):
        parser.error("-o OUT, a folder, is needed for several sources or a folder")
    if one and args.sources[0] == "-" and args.out not in (None, STDOUT) and names_folder(args.out):
        parser.error("- (standard input) has no name for a page in a folder: -o names the page's file")
    if args.css is not None and args.fragment:
        parser.error("--css is for pages, not for --fragment")
    return one


def read_stdin() -> str:
    try:
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
        raise ConversionError(f"{name}: cannot write standard output: {os_message(error)}") from None


def convert_into_file(source: str, name: str, out: str, options: PageOptions, findings: Findings) -> None:
    """One file or standard input to the file `out`, or into the folder `out`."""
    target: Path | str = out
    if source != "-" and names_folder(out):
        target = html_path(Path(source), Path(source).parent, Path(out))
    tag = new_tag()
    options = replace(options, tag=tag)
    try:
        if source == "-":
            text = read_stdin()
            write_page(name, target, render_document(name, text, options.title_of(Path(source)), options), options)
            findings.check(text)
        else:
            convert_page(Path(source), Path(target), options, findings)
    except BaseException:
        discard_temporary(target, tag)  # a stop between creating and renaming it
        raise


def convert_alone(source: str, args: argparse.Namespace, options: PageOptions, reporter: Reporter) -> None:
    """One file or standard input, to the file `-o`, into the folder `-o`, or to standard output."""
    name = "standard input" if source == "-" else source
    findings = Findings(name, args.warn)
    if source == "-" and options.title is None:
        options = replace(options, title=STDIN_TITLE)
    if args.out in (None, STDOUT):
        text = read_stdin() if source == "-" else read_outline(source)
        write_to_stdout(name, render_document(name, text, options.title_of(Path(source)), options))
        findings.check(text)
    else:
        convert_into_file(source, name, args.out, options, findings)
    reporter.add_findings(findings)


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
        return f"{page.source}: internal fault: {type(error).__name__}: {error}", findings
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
        reporter.failure(f"{out}: is a file, and the pages need a folder there")
        return
    except OSError as error:
        reporter.failure(f"{out}: cannot make this folder: {os_message(error)}")
        return
    tag = new_tag()
    reporter.start_progress(len(pages))

    def worker_died(page: Page, how: str) -> None:
        reporter.failure(f"{page.source}: the process converting it ended ({how})")

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
    parser = make_parser()
    args = parser.parse_args(None if argv is None else list(argv))
    args.sources = expand_wildcards(args.sources)
    one = check_usage(parser, args)
    options = PageOptions(title=args.title, fragment=args.fragment, css=args.css)
    reporter = Reporter(args.quiet)
    try:
        with stopping():
            if one:
                try:
                    convert_alone(args.sources[0], args, options, reporter)
                except ConversionError as error:
                    reporter.failure(str(error))
            else:
                convert_many(args.sources, args, options, reporter)
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
