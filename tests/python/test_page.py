"""The command's page as a browser sees it: headless Chromium, when the machine has it."""

import re
import shutil
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

import brelim
from test_command import NOTES, brelim_command, installed_command  # noqa: F401 (a fixture)

CHROMIUM = shutil.which("chromium")
pytestmark = pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed (scripts/test installs it)")


def page_in_chromium(tmp_path: Path, *options: str, css: str | None = None) -> tuple[str, bytes]:
    """The page of NOTES as written by the command, and what Chromium gives with `options`."""
    (tmp_path / "notes.outline").write_text(NOTES, encoding="utf-8")
    result = brelim_command("notes.outline", "-o", "notes.html", *(["--css", css] if css else []), cwd=tmp_path)
    assert result.returncode == 0
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", *options, (tmp_path / "notes.html").as_uri()]
    shown = subprocess.run(command, capture_output=True, timeout=120, check=True).stdout
    return (tmp_path / "notes.html").read_text(encoding="utf-8"), shown


@pytest.mark.parametrize("css", [None, "https://example.org/my.css?a=1&b='2'"])
def test_the_page_fetches_nothing_but_what_the_user_names(css, tmp_path: Path):
    page, dom = page_in_chromium(tmp_path, "--dump-dom", css=css)
    dom = dom.decode()
    assert f"\n{brelim.parse_string(NOTES)}\n</body>" in page
    assert re.search(r"<body>\s*<h1>notes</h1>\s*<ul><li> Reading list <a href=\"books\">#books</a>", dom)
    assert dom.count("<li>") == brelim.parse_string(NOTES).count("<li>")
    fetched = re.findall(r"<(\w+)[^>]*?\s(?:src|href|srcset|data)=\"([^\"]*)\"", dom)
    assert [tag for tag, _ in fetched if tag != "a"] == ([] if css is None else ["link"])
    assert css is None or f'<link rel="stylesheet" href="{css.replace("&", "&amp;")}">' in dom
    assert "url(" not in page and "@import" not in page and ("<style>" in page) == (css is None)


def top_left_pixel(png: bytes) -> tuple[int, ...]:
    # The first pixel of the first row is stored as it is, whatever the row's filter.
    chunks, at = {}, 8
    while at < len(png):
        size, kind = struct.unpack(">I4s", png[at : at + 8])
        chunks[kind] = chunks.get(kind, b"") + png[at + 8 : at + 8 + size]
        at += 12 + size
    assert chunks[b"IHDR"][8:10] in (b"\x08\x02", b"\x08\x06")  # 8-bit RGB or RGBA
    return tuple(zlib.decompress(chunks[b"IDAT"])[1:4])


@pytest.mark.parametrize("dark", [False, True])
def test_light_or_dark_as_the_reader_prefers(dark: bool, tmp_path: Path):
    shot = tmp_path / "shot.png"
    scheme = ["--force-dark-mode", "--blink-settings=preferredColorScheme=0"] if dark else []
    page_in_chromium(tmp_path, "--window-size=640,480", f"--screenshot={shot}", *scheme)
    assert (sum(top_left_pixel(shot.read_bytes())) < 200) == dark


# Writes the page's widths into its body, where --dump-dom shows them.
PROBE = """<script>
const footer = document.querySelector("footer");
document.body.dataset.seen = [document.documentElement.scrollWidth, window.innerWidth,
  footer ? footer.parentElement.tagName : "", footer ? footer.textContent : ""].join("|");
</script>"""


def chromium(page: Path, *options: str) -> bytes:
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", *options, page.as_uri()]
    return subprocess.run(command, capture_output=True, timeout=300, check=True).stdout


def probed(tmp_path: Path, document: str, window: str, style: tuple[str, str] = ("", "")) -> list[str]:
    """What PROBE sees of the command's page of `document` in a window of that size, its
    stylesheet edited by `style` (old, new)."""
    (tmp_path / "doc.outline").write_text(document, encoding="utf-8")
    assert brelim_command("doc.outline", "-o", "doc.html", cwd=tmp_path).returncode == 0
    page = (tmp_path / "doc.html").read_text(encoding="utf-8").replace(*style)
    (tmp_path / "probed.html").write_text(page.replace("</body>", PROBE + "</body>"), encoding="utf-8")
    dom = chromium(tmp_path / "probed.html", f"--window-size={window}", "--dump-dom").decode()
    return re.search(r'data-seen="([^"]*)"', dom).group(1).split("|")


def test_a_page_a_thousand_lists_deep_stays_within_the_window(tmp_path: Path):
    cycling = "* one\n** two\n*** three\n" * 1000  # each round opens two lists and closes one
    assert brelim.parse_string(cycling).count("<ul>") - brelim.parse_string(cycling).count("</ul>") > 1000
    scroll, window, _, _ = probed(tmp_path, cycling, "800,600")
    assert int(scroll) <= int(window) == 800
    unbounded = ("ul ul ul ul { margin: 0; padding-left: 0; }", "")  # the indent the page does without
    scroll, window, _, _ = probed(tmp_path, cycling, "800,600", style=unbounded)
    assert int(scroll) > 5 * int(window)


def test_a_page_whose_headlines_are_all_left_out_says_so_below_the_lists(tmp_path: Path):
    todo = "* Купить молоко\n** Позвонить маме\n*** Оплатить счета\n* Починить кран\n" * 5 + "* Sauna \u00e0 9h\n"
    _, _, parent, note = probed(tmp_path, todo, "640,480")
    assert parent == "BODY"
    assert note.strip() == (
        "No headline is shown: all 21 hold characters the outline format does not accept, "
        "such as letters beyond ASCII. brelim --warn lists them."
    )
    shot = tmp_path / "shot.png"
    chromium(tmp_path / "doc.html", "--window-size=640,480", f"--screenshot={shot}")
    assert shot.stat().st_size > 0
