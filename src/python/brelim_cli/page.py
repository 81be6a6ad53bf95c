"""The complete HTML page around a fragment.

The page fetches nothing: its stylesheet is written into it, unless the user
names one of their own. The fragment goes in exactly as `parse_string`
returns it, after the title's `<h1>`, so that a list the fragment leaves open
(browsers close it) can never take the heading in.
"""

from __future__ import annotations

import html

import brelim

# A readable line length in the system's own font, light or dark as the
# reader's system is, and black on white without the width limit on paper.
STYLE = """<style>
:root { color-scheme: light dark; --text: #1d2126; --back: #fcfcfa; --soft: #6a737d; --link: #0b5cad; }
@media (prefers-color-scheme: dark) {
  :root { --text: #e3e5e8; --back: #17191c; --soft: #8d96a0; --link: #7ab7ff; }
}
html { background: var(--back); color: var(--text); }
body {
  max-width: 70ch; margin: 0 auto; padding: 2.5rem 1.25rem 4rem;
  font: 1.0625rem/1.6 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "Helvetica Neue", Arial, sans-serif;
  overflow-wrap: break-word;
}
h1 { font-size: 1.875rem; line-height: 1.25; margin: 0 0 1.5rem; }
ul { margin: 0.25rem 0; padding-left: 1.4em; }
li { margin: 0.3rem 0; }
li::marker { color: var(--soft); }
a { color: var(--link); text-underline-offset: 0.15em; }
@media print {
  :root { color-scheme: light; --text: #000; --back: #fff; --soft: #555; --link: #000; }
  body { max-width: none; padding: 0; font-size: 11pt; }
  h1 { break-after: avoid; }
  li { break-inside: avoid; }
  a[href^="http"]::after { content: " (" attr(href) ")"; color: var(--soft); font-size: 0.85em; }
}
</style>"""

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<meta name="viewport" content="width=device-width, initial-scale=1">
{style}
</head>
<body>
{heading}{fragment}
</body>
</html>
"""


def render_page(document: str, title: str, css: str | None = None) -> str:
    """The complete HTML page of one outline document, titled `title` (escaped here).

    The page carries its own stylesheet, or links `css` (a URL, escaped here)
    instead. An empty title gives no heading.
    """
    style = STYLE if css is None else f'<link rel="stylesheet" href="{html.escape(css)}">'
    title = html.escape(title)
    heading = f"<h1>{title}</h1>\n" if title else ""
    return PAGE.format(title=title, style=style, heading=heading, fragment=brelim.parse_string(document))
