#!/usr/bin/env python3
"""Convert an outline document into a complete HTML page.

Usage: to_html.py [INPUT [OUTPUT]]   (stdin and stdout when omitted or "-")
"""

import html
import sys
from pathlib import Path

import brelim

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
</head>
<body>
{fragment}
</body>
</html>
"""


def render_page(document: str, title: str) -> str:
    """The whole page for one outline document."""
    return PAGE.format(title=html.escape(title), fragment=brelim.parse_string(document))


def read_outline(path: Path) -> str:
    # Bytes that are not UTF-8 become U+FFFD; like any non-ASCII character
    # they only make their own line unusable.
    return path.read_text(encoding="utf-8", errors="replace")


def convert_file(source: Path, target: Path) -> int:
    """Writes the page of the outline file `source` to `target`; returns its size in bytes."""
    page = render_page(read_outline(source), source.stem)
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_text(page, encoding="utf-8")
    return len(page)


def main(argv: list[str]) -> int:
    if len(argv) > 3 or any(arg in ("-h", "--help") for arg in argv[1:]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    source = argv[1] if len(argv) > 1 else "-"
    target = argv[2] if len(argv) > 2 else "-"
    if source == "-":
        page = render_page(sys.stdin.read(), "Outline")
    else:
        page = render_page(read_outline(Path(source)), Path(source).stem)
    if target == "-":
        sys.stdout.write(page)
    else:
        Path(target).write_text(page, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
