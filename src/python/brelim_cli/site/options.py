"""How a site is built: the notes, where the site goes, and what its pages carry."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from brelim_cli.search import DEFAULT_GLOB


@dataclass(frozen=True)
class SiteOptions:
    """One site build: the folder of notes, the site's folder, and the options its pages are made with."""

    notes: Path
    out: Path
    glob: str = DEFAULT_GLOB
    title: str | None = None  # the site's name; None: the notes folder's name
    css: str | None = None  # a stylesheet to link instead of the site's own; relative: from the site's root
    jobs: int = 1
    warn: bool = False  # list each headline left out, not only count them
    max_page_size: int | None = None

    def site_title(self) -> str:
        if self.title is not None:
            return self.title
        return self.notes.resolve().name or "Notes"
