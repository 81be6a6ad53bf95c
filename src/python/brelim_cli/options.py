"""The command's options: its parser, the usage it refuses, and `RunOptions`, all that a run is told.

Nothing past `read_options` sees argparse: a run is given one frozen,
typed `RunOptions`, and the pages' own options travel inside it as one
`PageOptions`.
"""

from __future__ import annotations

import argparse
import os
from collections.abc import Iterable
from dataclasses import dataclass, fields

from brelim_cli.errors import shown
from brelim_cli.limits import parse_size
from brelim_cli.page_options import STDIN_TITLE, PageOptions
from brelim_cli.pool import MOST_PER_CORE, usable_cores, worker_count
from brelim_cli.search import DEFAULT_GLOB
from brelim_cli.sources import expand_wildcards
from brelim_cli.targets import STDOUT, names_folder


@dataclass(frozen=True, slots=True)
class RunOptions:
    """One run of the command, from its checked arguments."""

    sources: tuple[str, ...]  # files, folders, or "-" alone for standard input
    out: str | None  # the page's file or the pages' folder; None: standard output
    single: bool  # one file or standard input, rather than folders or several sources
    site: bool  # the one folder's notes as a site (see brelim_cli.site)
    serve: bool  # the site served on this machine and rebuilt as the notes change (see brelim_cli.serve)
    host: str  # the address the preview listens on
    port: int  # its port; 0: any free one
    page: PageOptions
    glob: str  # the names a folder's files must match
    jobs: int  # worker processes at most
    warn: bool  # list each headline left out
    quiet: bool  # do not count the headlines left out
    verbose: bool  # count them for each file of several
    strict: bool  # a headline left out fails the run
    debug: bool  # show where an internal fault happened


def default_jobs() -> int:
    return worker_count(usable_cores(), usable_cores())


def positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def port(text: str) -> int:
    if not text.isdigit() or int(text) > 65535:
        raise argparse.ArgumentTypeError(f"not a port (0 to 65535): {text!r}")
    return int(text)


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
  brelim notes/ -o site/ --site        a site: links between notes, an index, tags, backlinks
  brelim notes/ --serve                that site on http://127.0.0.1:8000/, rebuilt as the notes are saved

Exit status: 0 when all is converted, 1 when a file failed (or, with
--strict, a headline was left out or a link of a site is dead), 2 for a usage error, 130 on Ctrl-C and
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
        "--site",
        action="store_true",
        help="make OUT a site of the notes in the folder SOURCE: links resolved, index, tags, backlinks",
    )
    output.add_argument(
        "--serve",
        action="store_true",
        help="--site served on this machine, rebuilt on each save",
    )
    output.add_argument(
        "--port", type=port, default=8000, metavar="N", help="for --serve (default: %(default)s; 0: any)"
    )
    output.add_argument("--host", default="127.0.0.1", metavar="ADDR", help="for --serve (default: %(default)s)")
    output.add_argument(
        "--title",
        metavar="TEXT",
        help=f"page title (default: the file name's stem; {STDIN_TITLE} for -); with --site, the site's name",
    )
    output.add_argument("--css", metavar="URL", help="link this stylesheet instead of the page's own")
    output.add_argument(
        "--max-page-size",
        type=size,
        metavar="SIZE",
        help="refuse a page, or a note's headlines on a site's tag pages, over SIZE bytes (or K, M, G); "
        "0: none (default: 16 times the document, 64M to a quarter of the memory)",
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
        help=f"processes converting files side by side (default: %(default)s, one per core; "
        f"never more than the files, nor {MOST_PER_CORE} per core)",
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
    if args.serve:
        args.site = True
        if args.out in (None, STDOUT):
            args.out = ""  # a temporary folder
    elif (args.port, args.host) != (8000, "127.0.0.1"):
        parser.error("--port and --host are for --serve")
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
    if args.site:
        check_site_usage(parser, args)
    return one


def check_site_usage(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    if args.fragment:
        parser.error("--fragment makes no pages, and --site makes a site of them")
    if len(args.sources) != 1 or not os.path.isdir(args.sources[0]):
        parser.error("--site takes one source, the folder of notes")
    if args.out and os.path.realpath(args.out) == os.path.realpath(args.sources[0]):
        parser.error(f"-o {shown(args.out)} is the folder of notes: the site goes into another folder")


# Each page option's `dest` is the name of its field in PageOptions, which it fills.
PAGE_FIELDS = fields(PageOptions)


def read_options(argv: Iterable[str] | None = None) -> RunOptions:
    """The options of `argv` (default: the process's arguments); a usage error exits with 2."""
    parser = make_parser()
    args = parser.parse_args(None if argv is None else list(argv))
    args.sources = expand_wildcards(args.sources)
    single = check_usage(parser, args)
    return RunOptions(
        sources=tuple(args.sources),
        out=None if args.out == STDOUT else args.out,
        single=single and not args.site,
        site=args.site,
        serve=args.serve,
        host=args.host,
        port=args.port,
        page=PageOptions(**{field.name: getattr(args, field.name) for field in PAGE_FIELDS if field.name in args}),
        glob=args.glob,
        jobs=args.jobs,
        warn=args.warn,
        quiet=args.quiet,
        verbose=args.verbose,
        strict=args.strict,
        debug=args.debug,
    )
