"""The command's page as a browser sees it: headless Chromium, when the machine has it."""

import html.parser
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


def chromium(page: Path, *options: str) -> bytes:
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", *options, page.as_uri()]
    return subprocess.run(command, capture_output=True, timeout=120, check=True).stdout


class Elements(html.parser.HTMLParser):
    """The tags of a document with their attributes, and the text that follows each <h1> and <li>."""

    def __init__(self, dom: str) -> None:
        super().__init__()
        self.tags, self.texts = [], []
        self.feed(dom)

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))
        if tag in ("h1", "li"):
            self.texts.append([tag, ""])

    def handle_data(self, data):
        if self.texts:
            self.texts[-1][1] += data


@pytest.mark.parametrize("css", [None, "https://example.org/my.css?a=1&b='2'"])
def test_the_page_fetches_nothing_but_what_the_user_names(css, tmp_path: Path):
    (tmp_path / "notes.outline").write_text(NOTES, encoding="utf-8")
    assert brelim_command("notes.outline", "-o", "notes.html", *(["--css", css] if css else []), cwd=tmp_path).returncode == 0
    page = (tmp_path / "notes.html").read_text(encoding="utf-8")
    assert f"\n{brelim.parse_string(NOTES)}\n</body>" in page
    dom = Elements(chromium(tmp_path / "notes.html", "--dump-dom").decode())
    assert dom.texts[0] == ["h1", "notes\n"]
    assert [text.strip() for tag, text in dom.texts if tag == "li"][:2] == ["Reading list #books", "Papers on parsing"]
    assert sum(tag == "li" for tag, _ in dom.texts) == brelim.parse_string(NOTES).count("<li>")
    fetched = [attrs for tag, attrs in dom.tags if tag != "a" and ({"src", "href", "srcset"} & attrs.keys())]
    assert fetched == ([] if css is None else [{"rel": "stylesheet", "href": css}])
    assert "url(" not in page and "@import" not in page and ("<style>" in page) == (css is None)


def top_left_pixel(png: bytes) -> tuple[int, ...]:
    # The first pixel of the first row is stored as it is, whatever the row's filter.
    chunks, at = {}, 8
    while at < len(png):
        size, kind = struct.unpack(">I4s", png[at:at + 8])
        chunks[kind] = chunks.get(kind, b"") + png[at + 8:at + 8 + size]
        at += 12 + size
    assert chunks[b"IHDR"][8:10] in (b"\x08\x02", b"\x08\x06")  # 8-bit RGB or RGBA
    return tuple(zlib.decompress(chunks[b"IDAT"])[1:4])


def test_light_and_dark_as_the_reader_prefers(tmp_path: Path):
    (tmp_path / "notes.outline").write_text(NOTES, encoding="utf-8")
    assert brelim_command("notes.outline", "-o", "notes.html", cwd=tmp_path).returncode == 0
    for scheme, dark in [("light", False), ("dark", True)]:
        shot = tmp_path / f"{scheme}.png"
        options = ["--force-dark-mode", "--blink-settings=preferredColorScheme=0"] if dark else []
        chromium(tmp_path / "notes.html", "--window-size=640,480", f"--screenshot={shot}", *options)
        assert (sum(top_left_pixel(shot.read_bytes())) < 200) == dark, scheme
