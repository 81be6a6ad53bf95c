"""What a build wrote into the site's folder, so that the next one removes only its own files.

The manifest (`.brelim-site.json` at the site's root) lists every file a
build wrote. A later build may replace or remove those, and pages that carry
the command's own mark (a page of `brelim` without `--site`, or a site page
whose build was stopped before its manifest); any other file in the way is
refused, never overwritten. A file whose bytes are unchanged is left alone,
so its time stays.
"""

from __future__ import annotations

import contextlib
import json
import os
from pathlib import Path

from brelim_cli.page import STYLE
from brelim_cli.site.layout import GENERATOR
from brelim_cli.site.urls import MANIFEST, Place
from brelim_cli.targets import write_file

# How every page of the command starts; what follows its title tells a page from any other HTML.
PAGE_START = b'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>'
VIEWPORT = b'</title>\n<meta name="viewport" content="width=device-width, initial-scale=1">\n'
PAGE_MARKS = (STYLE.encode()[:40], b'<link rel="stylesheet" href="', GENERATOR.encode())
SNIFFED = 1 << 16


def read_manifest(out: Path) -> frozenset[str]:
    """The files (as `/`-joined places) an earlier build wrote into `out`; none when it has no manifest."""
    try:
        listed = json.loads((out / MANIFEST).read_text(encoding="utf-8"))
        return frozenset(str(name) for name in listed["files"])
    except (OSError, ValueError, KeyError, TypeError):
        return frozenset()


def write_manifest(out: Path, files: set[str], tag: str) -> None:
    data = json.dumps({"written by": "brelim --site", "files": sorted(files)}, indent=0)
    write_file(out / MANIFEST, data.encode("utf-8", "surrogateescape"), tag=tag)


def is_command_page(path: Path) -> bool:
    """Whether `path` is a page this command wrote: its start, its title, and its stylesheet or mark."""
    try:
        with open(path, "rb") as file:
            start = file.read(SNIFFED)
    except OSError:
        return False
    if not start.startswith(PAGE_START):
        return False
    title_end = start.find(VIEWPORT, len(PAGE_START))
    return title_end >= 0 and start.startswith(PAGE_MARKS, title_end + len(VIEWPORT))


def in_the_way(out: Path, place: Place, earlier: frozenset[str]) -> bool:
    """Whether a file at `place` that no earlier build wrote stands where the site writes one."""
    path = out.joinpath(*place)
    if not os.path.lexists(path) or "/".join(place) in earlier:
        return False
    return os.path.islink(path) or not path.name.endswith(".html") or not is_command_page(path)


def same_bytes(path: Path, other: Path) -> bool:
    """Whether `other` holds the bytes of `path`."""
    try:
        return os.path.getsize(path) == os.path.getsize(other) and path.read_bytes() == other.read_bytes()
    except OSError:
        return False


def write_if_changed(path: Path, data: bytes, tag: str) -> bool:
    """Writes `data` to `path` unless it holds them already; True when written. Raises OSError."""
    with contextlib.suppress(OSError):
        if os.path.getsize(path) == len(data) and path.read_bytes() == data:
            return False
    write_file(path, data, tag=tag)
    return True


def remove_stale(out: Path, earlier: frozenset[str], written: set[str]) -> list[str]:
    """Removes the files an earlier build wrote that this one did not, and the folders they leave empty;
    returns the messages of those that could not be removed."""
    failures = []
    for name in sorted(earlier - written, reverse=True):
        path = out.joinpath(*name.split("/"))
        try:
            path.unlink()
        except FileNotFoundError:
            continue
        except OSError as error:
            failures.append(f"{path}: cannot remove: {error.strerror or error}")
            continue
        for folder in path.parents:
            if folder == out or not folder.is_relative_to(out):
                break
            try:
                folder.rmdir()  # only an empty one
            except OSError:
                break
    return failures
