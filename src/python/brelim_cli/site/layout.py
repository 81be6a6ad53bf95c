"""The HTML around every page of a site: its head, its way up to the root, and its end; and the stylesheet.

Every page links the one stylesheet at the site's root (or the user's), and
starts with its breadcrumb and a link to the list of tags. Pages carry a
generator mark, by which a later build knows them as its own.
"""

from __future__ import annotations

import html

from brelim_cli.page import HEAD_START, STYLE
from brelim_cli.site.urls import ALL_TAGS, INDEX, STYLESHEET, TAGS, Place, display, relative_url, stylesheet_href

GENERATOR = '<meta name="generator" content="brelim --site">'

# The page's own style, and what a site adds: the header, the lists below a note.
SITE_STYLE = (
    STYLE.removeprefix("<style>\n").removesuffix("</style>")
    + """header { display: flex; justify-content: space-between; gap: 1rem; margin-bottom: 1.5rem;
  color: var(--soft); font-size: 0.9375rem; }
section { margin-top: 2rem; }
h2 { font-size: 1.25rem; margin: 0 0 0.5rem; }
.count, .from { color: var(--soft); font-size: 0.875rem; }
"""
)

HEAD = (
    HEAD_START
    + """{generator}
<link rel="stylesheet" href="{style}">
</head>
<body>
<header><nav>{crumbs}</nav><a href="{tags}">Tags</a></header>
{heading}"""
)

END = "</body>\n</html>\n"


def crumbs(
    site: str,
    here: Place,
    last: str | None,
    folder_page: bool = False,
    shown: Place | None = None,
    between: tuple[str, ...] = (),
) -> str:
    """The way up from a page in the folder `here` to the root, through the folders `shown` (default: `here`),
    then the markup `between`, ending with `last` (text) when given. A folder's own index (`folder_page`)
    shows its folder as text, not as a link to itself. Names are escaped here.
    """
    folders = here if shown is None else shown
    steps = [(site, (INDEX,))] + [(name, (*folders[: depth + 1], INDEX)) for depth, name in enumerate(folders)]
    trail = []
    for step, (name, place) in enumerate(steps):
        text = html.escape(display(name))
        if folder_page and step == len(steps) - 1 and last is None:
            trail.append(text)
        else:
            trail.append(f'<a href="{relative_url(here, place)}">{text}</a>')
    trail += between
    if last is not None:
        trail.append(html.escape(last))
    return " / ".join(trail)


def page_start(title: str, site: str, here: Place, trail: str, css: str | None) -> str:
    """A page's start, up to its heading, for a page in the folder `here`; `trail` is its breadcrumb."""
    style = relative_url(here, (STYLESHEET,)) if css is None else stylesheet_href(css, here)
    heading = f"<h1>{html.escape(title)}</h1>\n" if title else ""
    full = title if title == site or not site else f"{title} · {site}" if title else site
    return HEAD.format(
        title=html.escape(full),
        generator=GENERATOR,
        style=html.escape(style),
        crumbs=trail,
        tags=relative_url(here, (TAGS, ALL_TAGS)),
        heading=heading,
    )
