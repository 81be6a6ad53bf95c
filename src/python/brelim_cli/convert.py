"""Outline documents into pages: reading, rendering and writing them, one document at a time.

This is the library that the command is built on and that scripts which
convert files their own way (a Dask bag, say) reuse. Every failure of one
document is a `ConversionError` whose message is one line that names it.
"""

from __future__ import annotations

import contextlib
import os
import sys
from pathlib import Path
from typing import NamedTuple

import brelim
from brelim_cli.errors import ConversionError, os_message, shown
from brelim_cli.left_out import Findings
from brelim_cli.limits import check_page_size
from brelim_cli.page import page_html
from brelim_cli.page_options import PageOptions
from brelim_cli.targets import write_file, write_stdout


class Job(NamedTuple):
    """One document to convert, and where its page goes: all that crosses to a worker for it."""

    source: str | None  # a path as named, or None for standard input
    target: str | None  # a path as named, or None for standard output
    text: str | None = None  # the document when read already; always there for standard input

    @property
    def name(self) -> str:
        """The document as messages name it."""
        return "standard input" if self.source is None else self.source


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
        page = brelim.parse_string(text) if options.fragment else page_html(text, title, options, left_out)
        return page.encode("utf-8")
    except MemoryError:
        raise ConversionError(f"{shown(name)}: out of memory") from None
    except brelim.PanicException as error:
        raise ConversionError(f"{shown(name)}: internal fault of the converter: {error}") from None


def write_page(job: Job, data: bytes, options: PageOptions) -> None:
    """Writes the page of `job` to its target as `write_file` does, or to standard output; raises ConversionError."""
    if job.target is None:
        write_to_stdout(job.name, data)
        return
    target = job.target
    with contextlib.suppress(OSError):
        if job.source is not None and os.path.samefile(target, job.source):
            raise ConversionError(f"{shown(job.source)}: would be overwritten by its own page")
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
                f"{shown(job.name)}: cannot write into the folder {folder}: {os_message(error)}"
            ) from None
        raise ConversionError(f"{shown(job.name)}: cannot write {shown(target)}: {os_message(error)}") from None
    except OSError as error:
        raise ConversionError(f"{shown(job.name)}: cannot write {shown(target)}: {os_message(error)}") from None


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


def convert_job(job: Job, options: PageOptions, findings: Findings | None = None) -> int:
    """Converts the document of `job` into its target; returns the bytes written. Raises ConversionError.

    Once the page is written, `findings` learns what the document left out.
    """
    if job.text is not None:
        text = job.text
    elif job.source is not None:
        text = read_outline(job.source)
    else:
        raise ConversionError("standard input: not read")  # the run reads it before making the job
    left_out = brelim._left_out(text)
    data = render_document(job.name, text, options.title_of(job.source), options, left_out)
    write_page(job, data, options)
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
    return convert_job(Job(str(Path(source)), str(Path(target))), options, findings)


def html_path(path: Path, folder: Path, out: Path) -> Path:
    """Where the page of `path`, found under `folder`, goes under `out`: the same place below it, suffix .html.

    A file named on its own is found under its parent: its page goes straight into `out`.
    """
    return out / path.relative_to(folder).with_suffix(".html")
