"""Outline files into pages: finding, reading, rendering and writing them, one file at a time.

This is the library that the command is built on and that scripts which
convert files their own way (a Dask bag, say) reuse. Every failure of one
file is a `ConversionError` whose message is one line that names the file.
"""

from __future__ import annotations

import contextlib
import fnmatch
import os
import stat
import sys
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path

import brelim
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.left_out import Findings
from brelim_cli.limits import check_page_size
from brelim_cli.page import render_page
from brelim_cli.targets import write_file

DEFAULT_GLOB = "*.outline"

# Explorer's hidden files are skipped there as dot-files are everywhere.
HIDDEN = stat.FILE_ATTRIBUTE_HIDDEN if sys.platform == "win32" else 0


@dataclass(frozen=True)
class PageOptions:
    """How every page of a run is made and written."""

    title: str | None = None  # None: the source's name without its suffix
    fragment: bool = False  # only what parse_string returns, no page around it
    css: str | None = None  # a stylesheet to link instead of the page's own
    tag: str | None = None  # marks the run's temporary files (see write_file); None: a fresh one for each
    max_page_size: int | None = None  # bytes; None: the default limit (see limits), 0: none

    def title_of(self, source: Path) -> str:
        return source.stem if self.title is None else self.title


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
        raise ConversionError(f"{shown(name)}: line {line}: not UTF-8 (byte 0x{data[error.start]:02x})") from None


def read_outline(path: Path | str) -> str:
    """The text of the outline file at `path`; raises ConversionError."""
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise ConversionError(f"{shown(path)}: cannot read: {os_message(error)}") from None
    return decode_outline(data, str(path))


def render_document(
    name: str, text: str, title: str, options: PageOptions, left_out: list[tuple[int, int, int]] | None = None
) -> bytes:
    """The page (or only the fragment) of the document called `name`, as bytes; raises ConversionError.

    A page over the options' size limit is refused before it is built.
    `left_out` is what `brelim._left_out(text)` gives, when the caller has it.
    """
    check_page_size(name, text, options.max_page_size)
    try:
        page = brelim.parse_string(text) if options.fragment else render_page(text, title, options.css, left_out)
        return page.encode("utf-8")
    except MemoryError:
        raise ConversionError(f"{shown(name)}: out of memory") from None
    except brelim.PanicException as error:
        raise ConversionError(f"{shown(name)}: internal fault of the converter: {error}") from None


def write_page(name: str, target: Path | str, data: bytes, options: PageOptions) -> None:
    """Writes the page of the document called `name` as `write_file` does; raises ConversionError."""
    try:
        write_file(target, data, tag=options.tag)
    except BrokenPipeError:
        # A pipe named as the target (`-o /dev/stdout | head`) whose reader went
        # away: it had what it wanted, as with `-o -`.
        return
    except PermissionError as error:
        # A page is made beside its target (or its missing folders are) and renamed over it:
        # a refusal of anything but the target itself (a device, say) is its folder's.
        if error.filename is not None and Path(error.filename) != Path(target):
            folder = shown(Path(error.filename).parent)
            raise ConversionError(
                f"{shown(name)}: cannot write into the folder {folder}: {os_message(error)}"
            ) from None
        raise ConversionError(f"{shown(name)}: cannot write {shown(target)}: {os_message(error)}") from None
    except OSError as error:
        raise ConversionError(f"{shown(name)}: cannot write {shown(target)}: {os_message(error)}") from None


def convert_page(source: Path, target: Path, options: PageOptions, findings: Findings | None = None) -> int:
    """Converts the file `source` into `target` (see convert_file); returns the bytes written."""
    text = read_outline(source)
    left_out = brelim._left_out(text)
    data = render_document(str(source), text, options.title_of(source), options, left_out)
    with contextlib.suppress(OSError):
        if target.samefile(source):
            raise ConversionError(f"{shown(source)}: would be overwritten by its own page")
    write_page(str(source), target, data, options)
    if findings is not None:
        findings.check(text, left_out)
    return len(data)


def convert_file(
    source: Path | str,
    target: Path | str,
    title: str | None = None,
    fragment: bool = False,
    css: str | None = None,
    findings: Findings | None = None,
    max_page_size: int | None = None,
) -> int:
    """Converts the outline file `source` into `target`; returns the bytes written.

    A page by default, titled `title` or else the source's name without its
    suffix, with its own stylesheet or a link to `css`; only the fragment
    with `fragment`. `target` is written as `write_file` writes (a symbolic
    link is written through, a FIFO or a device in place). Raises
    ConversionError, with nothing written to `target` (when it is a regular
    file: a FIFO may have had part of it). Once the page is written,
    `findings` learns what the document left out. A page (or fragment)
    larger than `max_page_size` bytes is refused before it is built: by
    default 16 times the document, at least 64 MB and at most a quarter of
    the machine's memory; 0 for no limit.
    """
    options = PageOptions(title, fragment, css, max_page_size=max_page_size)
    return convert_page(Path(source), Path(target), options, findings)


def html_path(path: Path, folder: Path, out: Path) -> Path:
    """Where the page of `path`, found under `folder`, goes under `out`: the same place below it, suffix .html.

    A file named on its own is found under its parent: its page goes straight into `out`.
    """
    return out / path.relative_to(folder).with_suffix(".html")


def hidden(path: str, name: str) -> bool:
    if name.startswith("."):
        return True
    return bool(HIDDEN and getattr(os.lstat(path), "st_file_attributes", 0) & HIDDEN)


def matches(path: str, name: str, pattern: str, folder: Path | None) -> bool:
    """Whether `name` matches `pattern`, or with `folder`, the end of `path` below `folder`."""
    if folder is None:
        return fnmatch.fnmatch(name, pattern)
    return Path(path).relative_to(folder).match(pattern)  # sub/*.outline, as Path.rglob had it


def is_file(path: str) -> bool:
    """Whether `path` is a regular file or a link to one; raises OSError, save for a missing file."""
    try:
        return stat.S_ISREG(os.stat(path).st_mode)
    except FileNotFoundError:  # a dangling link
        return False


def find_files(
    folder: Path, pattern: str, error: Callable[[str], None], skip: os.stat_result | None = None
) -> list[Path]:
    """The files under `folder` whose names match `pattern`, sorted; hidden names and the folder `skip` are passed by.

    A pattern with a path separator is matched against the end of the
    path below `folder`. Symbolic links to files count, links to folders are
    not followed (no loops). Each folder that cannot be read, and each name
    that cannot be looked at, is told to `error`. The match ignores letter
    case where the file system does (Windows).
    """
    while pattern.startswith(("**/", "**" + os.sep)):  # every depth is searched anyway
        pattern = pattern[3:]
    below = folder if any(separator in pattern for separator in filter(None, (os.sep, os.altsep))) else None
    found: list[Path] = []

    def unreadable(failure: OSError) -> None:
        error(f"{shown(Path(failure.filename))}: cannot read this folder: {os_message(failure)}")

    for top, folders, names in os.walk(folder, onerror=unreadable):
        here = str(Path(top))  # `./sub` named as `sub`
        kept = []
        for name in folders:
            path = os.path.join(here, name)
            try:
                if not hidden(path, name) and (skip is None or not os.path.samestat(os.lstat(path), skip)):
                    kept.append(name)
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
        # Searched depth first, the last listed first (which orders the folders told to `error`).
        folders[:] = reversed(kept)
        for name in names:
            path = os.path.join(here, name)
            try:
                if not hidden(path, name) and matches(path, name, pattern, below) and is_file(path):
                    found.append(Path(path))
            except OSError as failure:
                error(f"{shown(path)}: cannot read: {os_message(failure)}")
    return sorted(found)


def outline_files(folder: Path | str, pattern: str = DEFAULT_GLOB) -> list[Path]:
    """The files under `folder`, at any depth, whose names match `pattern`, sorted.

    Names that start with `.` (and hidden files on Windows) are left out, in
    `folder` and below. Raises ConversionError when a folder cannot be read.
    """

    def fail(message: str) -> None:
        raise ConversionError(message)

    return find_files(Path(folder), pattern, fail)
