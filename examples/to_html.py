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


def main(argv: list[str]) -> int:
    if len(argv) > 3 or any(arg in ("-h", "--help") for arg in argv[1:]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    source = argv[1] if len(argv) > 1 else "-"
    target = argv[2] if len(argv) > 2 else "-"
    text = sys.stdin.read() if source == "-" else Path(source).read_text(encoding="utf-8")
    title = "Outline" if source == "-" else Path(source).stem
    page = PAGE.format(title=html.escape(title), fragment=brelim.parse_string(text))
    if target == "-":
        sys.stdout.write(page)
    else:
        Path(target).write_text(page, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
