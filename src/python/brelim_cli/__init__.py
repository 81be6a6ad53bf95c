"""The `brelim` command: outline files in, HTML pages (or bare fragments) out.

The helpers here are what the command is made of, and what scripts that
convert files their own way (a Dask bag, say) reuse: `render_page`,
`read_outline`, `write_file`, `convert_file`, `outline_files`, `html_path`.
Every failure of one file is a `ConversionError` whose message is one line
that names the file. The command's parts live in modules of their own:
`sources` (what a run converts), `targets` (how pages are written), `pool`
(the worker processes) and `signals` (how a run stops).
"""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys
import traceback
from pathlib import Path
from typing import Any, Iterable

import brelim
from brelim_cli.errors import ConversionError, reason
from brelim_cli.left_out import Findings
from brelim_cli.page import render_page
from brelim_cli.pool import MOST_WORKERS, Job, run
from brelim_cli.signals import Stopped, stopping
from brelim_cli.sources import DEFAULT_GLOB, expand_wildcards, html_path, outline_files, plan
from brelim_cli.targets import STDOUT, discard_temporary, names_folder, new_tag, write_file, write_stdout

__all__ = [
    "ConversionError",
    "convert_file",
    "html_path",
    "main",
    "outline_files",
    "read_outline",
    "render_page",
    "write_file",
]

STDIN_TITLE = "Outline"


def decode_outline(data: bytes, name: str) -> str:
    """The text of an outline file's bytes, which must be UTF-8.

    A leading byte-order mark is dropped: it marks the encoding and is not
    part of the first line. Line ends are left as they are (the parser knows
    both kinds).
    """
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        line = data.count(b"\n", 0, error.start) + 1
        raise ConversionError(f"{name}: line {line}: not UTF-8 (byte 0x{data[error.start]:02x})") from None


def read_outline(path: Path | str) -> str:
    """The text of the outline file at `path`; raises ConversionError."""
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise ConversionError(f"{path}: cannot read: {reason(error)}") from None
    return decode_outline(data, str(path))


def render_document(name: str, text: str, title: str, fragment: bool, css: str | None = None) -> bytes:
    """The page (or only the fragment) of the document called `name`, as bytes; raises ConversionError."""
    try:
        return (brelim.parse_string(text) if fragment else render_page(text, title, css)).encode("utf-8")
    except MemoryError:
        raise ConversionError(f"{name}: out of memory") from None
    except brelim.PanicException as error:
        raise ConversionError(f"{name}: internal fault of the converter: {error}") from None


def save(name: str, target: Path | str, data: bytes, tag: str | None = None) -> None:
    try:
        write_file(target, data, tag=tag)
    except OSError as error:
        raise ConversionError(f"{name}: cannot write {target}: {reason(error)}") from None


def convert_to(source: Path, target: Path, title: str | None, fragment: bool, tag: str | None,
               css: str | None = None, findings: Findings | None = None) -> int:
    text = read_outline(source)
    data = render_document(str(source), text, source.stem if title is None else title, fragment, css)
    with contextlib.suppress(OSError):
        if target.samefile(source):
            raise ConversionError(f"{source}: would be overwritten by its own page")
    save(str(source), target, data, tag)
    if findings is not None:
        findings.check(text)
    return len(data)


def convert_file(source: Path | str, target: Path | str, title: str | None = None, fragment: bool = False,
                 css: str | None = None, findings: Findings | None = None) -> int:
    """Converts the outline file `source` into `target`; returns the bytes written.

    A page by default, titled `title` or else the source's name without its
    suffix, with its own stylesheet or a link to `css`; only the fragment
    with `fragment`. `target` is written as `write_file` writes (a symbolic
    link is written through, a FIFO or a device in place). Raises
    ConversionError, with nothing written to `target` (when it is a regular
    file: a FIFO may have had part of it). Once the page is written,
    `findings` learns what the document left out.
    """
    return convert_to(Path(source), Path(target), title, fragment, None, css, findings)


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
        parser.add_argument_group(name) for name in ["input", "output", "headlines left out", "folders", "other"])
    other.add_argument("-h", "--help", action="help", help="show this help and exit")
    inputs.add_argument("sources", nargs="+", metavar="SOURCE",
                        help="a file, - for standard input, or a folder and its subfolders")
    output.add_argument("-o", "--output", dest="out", metavar="OUT",
                        help="for one source: the page's file, - for standard output (the default), "
                        "or a folder (OUT/NAME.html); for several sources or a folder: the folder, required")
    output.add_argument("--fragment", action="store_true", help="write only the HTML fragment of parse_string")
    output.add_argument("--title", metavar="TEXT",
                        help=f"page title (default: the file name's stem; {STDIN_TITLE} for -)")
    output.add_argument("--css", metavar="URL", help="link this stylesheet instead of the page's own")
    quiet = report.add_mutually_exclusive_group()
    quiet.add_argument("--warn", action="store_true", help="list each headline left out, and why")
    quiet.add_argument("-q", "--quiet", action="store_true", help="do not count the headlines left out")
    report.add_argument("--strict", action="store_true", help="exit with 1 when any headline is left out")
    folders.add_argument("--glob", default=DEFAULT_GLOB, metavar="PATTERN",
                         help="the names of the files to convert (default: %(default)s); "
                         "names starting with . are skipped")
    folders.add_argument("--jobs", type=positive, default=default_jobs(), metavar="N",
                         help="processes converting files side by side (default: %(default)s)")
    other.add_argument("--debug", action="store_true", help="show where an internal fault happened")
    other.add_argument("--version", action="version", version=f"%(prog)s {installed_version()}")
    return parser


def say(message: str) -> None:
    """One line on standard error; a closed one is no reason to fail."""
    with contextlib.suppress(OSError, ValueError, AttributeError):
        print(message, file=sys.stderr, flush=True)


class Reporter:
    """Error messages, and the progress bar when standard error is a terminal and there are several files."""

    def __init__(self, quiet: bool = False) -> None:
        self.failed = 0
        self.left_out = 0  # headlines, over all files
        self.quiet = quiet
        self.bar: Any = None

    def start(self, total: int) -> None:
        if total > 1 and sys.stderr.isatty():
            with contextlib.suppress(ImportError):  # a bare PYTHONPATH run may lack tqdm: no bar then
                from tqdm import tqdm

                tqdm.monitor_interval = 0  # no thread of its own: worker processes are forked after this
                self.bar = tqdm(total=total, unit="file", file=sys.stderr, dynamic_ncols=True)

    def error(self, message: str) -> None:
        self.failed += 1
        self.say(f"brelim: {message}")

    def say(self, line: str) -> None:
        if self.bar is None:
            say(line)
        else:
            with contextlib.suppress(OSError):
                self.bar.write(line, file=sys.stderr)  # keeps the bar below the message

    def tell(self, findings: Findings) -> None:
        self.left_out += findings.count
        for line in findings.notices(self.quiet):
            self.say(line)

    def done(self, error: str | None, findings: Findings | None = None) -> None:
        if error is not None:
            self.error(error)
        if findings is not None:
            self.tell(findings)
        if self.bar is not None:
            with contextlib.suppress(OSError):
                self.bar.update(1)

    def close(self) -> None:
        if self.bar is not None:
            with contextlib.suppress(OSError):
                self.bar.close()
            self.bar = None


def convert_job(job: Job) -> tuple[str | None, Findings]:
    """One file, in a worker: None or the message of its failure, and what it left out.

    Only paths, messages and counts cross processes; the parent prints.
    """
    findings = Findings(str(job.source), job.warn)
    try:
        convert_to(job.source, job.target, job.title, job.fragment, job.tag, job.css, findings)
    except ConversionError as error:
        return str(error), findings
    except Exception as error:  # a fault of this program: told, and the other files still converted
        return f"{job.source}: internal fault: {type(error).__name__}: {error}", findings
    return None, findings


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
        raise ConversionError(f"standard input: cannot read: {reason(error)}") from None
    return decode_outline(data, "standard input")


def convert_one(source: str, args: argparse.Namespace, reporter: Reporter) -> None:
    """One file or standard input, to the file `-o`, into the folder `-o`, or to standard output."""
    name = "standard input" if source == "-" else source
    findings = Findings(name, args.warn)
    title = args.title
    if source == "-" and title is None:
        title = STDIN_TITLE
    if args.out not in (None, STDOUT):
        target = args.out
        if source != "-" and names_folder(target):
            target = os.path.join(target, Path(Path(source).name).with_suffix(".html"))
        tag = new_tag()
        try:
            if source == "-":
                text = read_stdin()
                save(name, target, render_document(name, text, title, args.fragment, args.css), tag)
                findings.check(text)
            else:
                convert_to(Path(source), Path(target), title, args.fragment, tag, args.css, findings)
        except BaseException:
            discard_temporary(target, tag)  # a stop between creating and renaming it
            raise
        reporter.tell(findings)
        return
    text = read_stdin() if source == "-" else read_outline(source)
    page = render_document(name, text, Path(source).stem if title is None else title, args.fragment, args.css)
    try:
        write_stdout(page)
    except BrokenPipeError:
        # The reader went away (`brelim x | head`): it had what it wanted. Said
        # nothing, and exit 0 as when it goes just after the last byte, so
        # that the status does not depend on which came first.
        with contextlib.suppress(OSError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    except OSError as error:
        raise ConversionError(f"{name}: cannot write standard output: {reason(error)}") from None
    findings.check(text)
    reporter.tell(findings)


def convert_many(sources: list[str], args: argparse.Namespace, reporter: Reporter) -> None:
    out = Path(args.out)
    pairs = plan(sources, out, args.glob, reporter.error)
    if not pairs:
        return
    try:
        out.mkdir(parents=True, exist_ok=True)
    except FileExistsError:
        reporter.error(f"{out}: is a file, and the pages need a folder there")
        return
    except OSError as error:
        reporter.error(f"{out}: cannot make this folder: {reason(error)}")
        return
    tag = new_tag()
    reporter.start(len(pairs))
    try:
        jobs = [Job(path, target, args.title, args.fragment, tag, args.css, args.warn) for path, target in pairs]
        run(jobs, args.jobs, convert_job, lambda result: reporter.done(*result), reporter.error)
    finally:
        reporter.close()


def main(argv: Iterable[str] | None = None) -> int:
    """Runs the command on `argv` (default: the process's arguments); returns the exit status.

    0: all converted; 1: a file failed; 2: a usage error; 128 plus the
    signal's number when stopped by one (130 for Ctrl-C, 143 for SIGTERM).
    """
    parser = make_parser()
    args = parser.parse_args(None if argv is None else list(argv))
    args.sources = expand_wildcards(args.sources)
    one = check_usage(parser, args)
    reporter = Reporter(args.quiet)
    try:
        with stopping():
            if one:
                try:
                    convert_one(args.sources[0], args, reporter)
                except ConversionError as error:
                    reporter.error(str(error))
            else:
                convert_many(args.sources, args, reporter)
    except (Stopped, KeyboardInterrupt) as stop:
        number = stop.number if isinstance(stop, Stopped) else signal.SIGINT
        say("brelim: interrupted" if number == signal.SIGINT else f"brelim: stopped by {signal.Signals(number).name}")
        return 128 + number
    except Exception as error:
        if args.debug:
            traceback.print_exc()
        say(f"brelim: internal fault: {type(error).__name__}: {error}" + ("" if args.debug else " (--debug shows where)"))
        return 1
    return 1 if reporter.failed or (args.strict and reporter.left_out) else 0
