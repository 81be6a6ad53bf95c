"""The `brelim` command: outline files in, HTML pages (or bare fragments) out.

The helpers here are what the command is made of, and what scripts that
convert files their own way (a Dask bag, say) reuse: `render_page`,
`read_outline`, `write_file`, `convert_file`, `outline_files`, `html_path`.
Every failure of one file is a `ConversionError` whose message is one line
that names the file.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import secrets
import signal
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path
from typing import Iterable

import brelim

from .left_out import Findings
from .page import render_page

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

DEFAULT_GLOB = "*.outline"
STDIN_TITLE = "Outline"


class ConversionError(Exception):
    """One file could not be converted; the message names it, on one line."""


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


def write_file(target: Path | str, data: bytes) -> None:
    """Writes `data` to `target` whole or not at all.

    The bytes go to a new temporary file beside the target, which is then
    renamed over it, so a reader never sees a partial page and a failure
    leaves whatever was there before. Missing parent folders are created.
    Raises OSError.
    """
    target = Path(target)
    target.parent.mkdir(parents=True, exist_ok=True)
    temporary = target.with_name(f".{target.name[:100]}.{secrets.token_hex(4)}.tmp")
    # O_EXCL: never reuse someone else's file; 0o666 lets the umask decide, as for any new file.
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with open(descriptor, "wb") as file:
            file.write(data)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


def reason(error: OSError) -> str:
    return error.strerror or str(error)


def render_document(name: str, text: str, title: str, fragment: bool, css: str | None = None) -> bytes:
    """The page (or only the fragment) of the document called `name`, as bytes; raises ConversionError."""
    try:
        return (brelim.parse_string(text) if fragment else render_page(text, title, css)).encode("utf-8")
    except MemoryError:
        raise ConversionError(f"{name}: out of memory") from None
    except brelim.PanicException as error:
        raise ConversionError(f"{name}: internal fault of the converter: {error}") from None


def save(name: str, target: Path, data: bytes) -> None:
    try:
        write_file(target, data)
    except OSError as error:
        raise ConversionError(f"{name}: cannot write {target}: {reason(error)}") from None


def convert_file(source: Path | str, target: Path | str, title: str | None = None, fragment: bool = False,
                 css: str | None = None, findings: Findings | None = None) -> int:
    """Converts the outline file `source` into `target`; returns the bytes written.

    A page by default, titled `title` or else the source's name without its
    suffix, with its own stylesheet or a link to `css`; only the fragment with
    `fragment`. Raises ConversionError, with nothing written to `target`.
    Once the page is written, `findings` learns what the document left out.
    """
    source, target = Path(source), Path(target)
    text = read_outline(source)
    data = render_document(str(source), text, source.stem if title is None else title, fragment, css)
    with contextlib.suppress(OSError):
        if target.samefile(source):
            raise ConversionError(f"{source}: would be overwritten by its own page")
    save(str(source), target, data)
    if findings is not None:
        findings.check(text)
    return len(data)


def outline_files(folder: Path | str, pattern: str = DEFAULT_GLOB) -> list[Path]:
    """The files under `folder`, at any depth, whose names match `pattern`, sorted."""
    return sorted(path for path in Path(folder).rglob(pattern) if path.is_file())


def html_path(path: Path, folder: Path, out: Path) -> Path:
    """Where the page of `path`, found under `folder`, goes under `out`."""
    return out / path.relative_to(folder).with_suffix(".html")


def default_jobs() -> int:
    # The cores this process may run on, which a container or taskset can make fewer than the machine's.
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0))
    return os.cpu_count() or 1


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


def make_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="brelim",
        description="Convert outline documents into HTML pages.",
        epilog="Exit status: 0 when all is converted, 1 when a file failed, 2 for a usage error.\n"
        "Example: brelim notes/ -o html/  makes html/**/NAME.html of notes/**/NAME.outline",
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("sources", nargs="+", metavar="SOURCE",
                        help="a file, - for standard input, or a folder and its subfolders")
    parser.add_argument("-o", dest="out", metavar="OUT", type=Path,
                        help="output file for one source (default: standard output); "
                        "output folder, required, for several sources or a folder")
    parser.add_argument("--fragment", action="store_true", help="write only the HTML fragment of parse_string")
    parser.add_argument("--jobs", type=positive, default=default_jobs(), metavar="N",
                        help="processes converting files side by side (default: %(default)s)")
    parser.add_argument("--glob", default=DEFAULT_GLOB, metavar="PATTERN",
                        help="the files to convert in folders (default: %(default)s)")
    parser.add_argument("--title", metavar="TEXT",
                        help=f"page title (default: the file name's stem; {STDIN_TITLE} for -)")
    parser.add_argument("--css", metavar="URL",
                        help="link this stylesheet instead of the page's own")
    quiet = parser.add_mutually_exclusive_group()
    quiet.add_argument("--warn", action="store_true",
                       help="list each headline left out, and why")
    quiet.add_argument("-q", "--quiet", action="store_true",
                       help="do not count the headlines left out")
    parser.add_argument("--strict", action="store_true", help="exit with 1 when any headline is left out")
    parser.add_argument("--version", action="version", version=f"%(prog)s {installed_version()}")
    return parser


class Reporter:
    """Error messages, and the progress bar when standard error is a terminal and there are several files."""

    def __init__(self, quiet: bool = False) -> None:
        self.failed = 0
        self.left_out = 0  # headlines, over all files
        self.quiet = quiet
        self.bar = None

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
        write = print if self.bar is None else self.bar.write  # the bar's own keeps the bar below the message
        write(line, file=sys.stderr)

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
            self.bar.update(1)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


# (source, target, title, fragment, css, warn): what crosses to a worker for one file.
Job = tuple[Path, Path, str | None, bool, str | None, bool]


def convert_job(job: Job) -> tuple[str | None, Findings]:
    """One file, in a worker: None or the message of its failure, and what it left out.

    Only paths, messages and counts cross processes; the parent prints.
    """
    source, target, title, fragment, css, warn = job
    findings = Findings(str(source), warn)
    try:
        convert_file(source, target, title, fragment, css, findings)
    except ConversionError as error:
        return str(error), findings
    return None, findings


def ignore_interrupts() -> None:
    # Ctrl-C is the parent's to handle: it stops handing out files, and each
    # worker finishes the ones it has (pages are renamed into place whole).
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def run_jobs(jobs: list[Job], workers: int, reporter: Reporter) -> None:
    if workers <= 1 or len(jobs) <= 1:
        for job in jobs:
            reporter.done(*convert_job(job))
        return
    workers = min(workers, len(jobs))
    # Files go out in batches, so that many small files do not cost a round
    # trip each, yet small enough for the progress bar to move.
    chunk = max(1, min(32, len(jobs) // (workers * 8)))
    with ProcessPoolExecutor(max_workers=workers, initializer=ignore_interrupts) as pool:
        try:
            for error, findings in pool.map(convert_job, jobs, chunksize=chunk):
                reporter.done(error, findings)
        except Exception as error:  # a worker killed from outside, say
            reporter.error(f"the conversion stopped: {type(error).__name__}: {error}")


def plan(sources: list[str], out: Path, pattern: str, reporter: Reporter) -> list[tuple[Path, Path]]:
    """(source, target) of every file to convert into the folder `out`; reports sources that give none.

    A folder's files keep their paths below it; a file named on its own goes
    straight into `out`. Two files whose pages would land on one path are
    an error for the second, not a silent overwrite.
    """
    claimed: dict[Path, Path] = {}
    for name in sources:
        source = Path(name)
        if source.is_dir():
            found = outline_files(source, pattern)
            if not found:
                reporter.error(f"{source}: no file in this folder matches {pattern}")
            pairs = [(path, html_path(path, source, out)) for path in found]
        else:  # a file, or a name that reading will report as missing
            pairs = [(source, out / Path(source.name).with_suffix(".html"))]
        for path, target in pairs:
            first = claimed.setdefault(target, path)
            if first != path:
                reporter.error(f"{path}: its page {target} would replace that of {first}")
    return [(path, target) for target, path in claimed.items()]


def convert_one(source: str, args: argparse.Namespace, reporter: Reporter) -> None:
    """One file or standard input, to the file `-o` or else to standard output; raises ConversionError."""
    findings = Findings("standard input" if source == "-" else source, args.warn)
    if source != "-" and args.out is not None:
        convert_file(source, args.out, args.title, args.fragment, args.css, findings)
        reporter.tell(findings)
        return
    if source == "-":
        name = "standard input"
        text, title = decode_outline(sys.stdin.buffer.read(), name), STDIN_TITLE
    else:
        name = source
        text, title = read_outline(source), Path(source).stem
    data = render_document(name, text, title if args.title is None else args.title, args.fragment, args.css)
    if args.out is not None:
        save(name, args.out, data)
    else:
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
    findings.check(text)
    reporter.tell(findings)


def convert_many(args: argparse.Namespace, reporter: Reporter) -> None:
    pairs = plan(args.sources, args.out, args.glob, reporter)
    if not pairs:
        return
    try:
        args.out.mkdir(parents=True, exist_ok=True)
    except FileExistsError:
        reporter.error(f"{args.out}: is a file, and the pages need a folder there")
        return
    except OSError as error:
        reporter.error(f"{args.out}: cannot make this folder: {reason(error)}")
        return
    reporter.start(len(pairs))
    try:
        jobs = [(path, target, args.title, args.fragment, args.css, args.warn) for path, target in pairs]
        run_jobs(jobs, args.jobs, reporter)
    finally:
        reporter.close()


def main(argv: Iterable[str] | None = None) -> int:
    """Runs the command on `argv` (default: the process's arguments); returns the exit status."""
    parser = make_parser()
    args = parser.parse_args(None if argv is None else list(argv))
    one = len(args.sources) == 1 and (args.sources[0] == "-" or not Path(args.sources[0]).is_dir())
    if not one and "-" in args.sources:
        parser.error("- (standard input) can only be the only source")
    if not one and args.out is None:
        parser.error("-o OUT, a folder, is needed for several sources or a folder")
    if args.css is not None and args.fragment:
        parser.error("--css is for pages, not for --fragment")
    reporter = Reporter(args.quiet)
    try:
        if one:
            try:
                convert_one(args.sources[0], args, reporter)
            except ConversionError as error:
                reporter.error(str(error))
        else:
            convert_many(args, reporter)
    except KeyboardInterrupt:
        print("brelim: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of standard output went away (`brelim x | head`): say
        # nothing more to it, not even when the interpreter flushes at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 1 if reporter.failed or (args.strict and reporter.left_out) else 0
