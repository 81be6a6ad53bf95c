"""`PageOptions`: how every page of a run is made and written.

A page option is a field here, read where the page is made (`page.py`);
the command fills each field from the option of the same name.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from brelim_cli.errors import readable

STDIN_TITLE = "Outline"


@dataclass(frozen=True, slots=True)
class PageOptions:
    """How every page of a run is made and written."""

    title: str | None = None  # None: the source's name without its suffix, or STDIN_TITLE
    fragment: bool = False  # only what parse_string returns, no page around it
    css: str | None = None  # a stylesheet to link instead of the page's own
    tag: str | None = None  # marks the run's temporary files (see write_file); None: a fresh one for each
    max_page_size: int | None = None  # bytes; None: the default limit (see limits), 0: none

    def title_of(self, source: str | None) -> str:
        """The page's title: bytes of a name (or of --title) that are not UTF-8 show as U+FFFD, as a browser shows them."""
        if self.title is not None:
            return readable(self.title)
        return STDIN_TITLE if source is None else readable(Path(source).stem)
