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
