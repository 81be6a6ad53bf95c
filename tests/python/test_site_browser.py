"""A site in a real browser, over file:// and over HTTP: every anchor lands on a file, but the dead links told."""

import functools
import os
import re
import subprocess
import sys
import threading
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import unquote_to_bytes, urlsplit

import pytest

import brelim

pytestmark = [pytest.mark.browser, pytest.mark.needs("selenium", "/usr/bin/chromedriver", "/usr/bin/chromium")]

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "site-notes"
SCREENSHOT = Path(__file__).resolve().parents[2] / "docs" / "site.png"

NOTES = {
    "index.outline": "* Home\n** [[work]] and [[work/plan.outline][the plan]] #todo\n** [[/journal/2024/may]]\n",
    "work/plan.outline": "* Plan #todo\n** up: [[../index][home]]\n** file: [[files/a b.txt]]\n** [[nowhere]]\n",
    "work/files/a b.txt": "attached",
    "journal/2024/may.outline": "* May #Todo\n** [[../../work/plan]]\n** [[../../../x]]\n** [[/.secret]]\n"
    "** [[https://example.org/a]]\n",
    ".secret": "hidden",
}


def build(notes: Path, out: Path) -> list[str]:
    run = subprocess.run(
        [sys.executable, "-m", "brelim_cli", str(notes), "-o", str(out), "--site"],
        capture_output=True,
        text=True,
        check=True,
    )
    return run.stderr.splitlines()


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    """A local HTTP server of a folder, on 127.0.0.1 only; it records each path it could not serve."""
    root = tmp_path_factory.mktemp("served")
    missing: set[str] = set()

    class Handler(SimpleHTTPRequestHandler):
        def send_error(self, code, message=None, explain=None):
            missing.add(self.path)
            super().send_error(code, message, explain)

        def log_message(self, *args):
            pass

    httpd = ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=str(root)))
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    yield root, f"http://127.0.0.1:{httpd.server_address[1]}/", missing
    httpd.shutdown()
    httpd.server_close()


def encoded_href(target: str) -> str:
    return re.search("href='([^']*)'", brelim.parse_string(f"* [[{target}]]")).group(1)


@pytest.mark.parametrize("over", ["file", "http"])
def test_every_anchor_lands_but_the_dead_ones_told(over: str, browser, server, tmp_path: Path):
    served, base, missing = server
    notes, out = tmp_path / "notes", served / over
    for name, text in NOTES.items():
        (notes / name).parent.mkdir(parents=True, exist_ok=True)
        (notes / name).write_text(text)
    told = build(notes, out)
    reported = set()
    for line in told:
        if match := re.match(rf"brelim: {re.escape(str(notes))}/(.*)\.outline:\d+:\d+: dead link: '(.*)' ", line):
            reported.add((match.group(1) + ".html", encoded_href(match.group(2))))
    assert len(reported) == 3
    root = out.as_uri() + "/" if over == "file" else base + over + "/"
    dead = set()
    for page in sorted(out.rglob("*.html")):
        name = page.relative_to(out).as_posix()
        browser.get(root + name)
        anchors = browser.execute_script(
            "return Array.from(document.querySelectorAll('a')).map(a => [a.getAttribute('href'), a.href])"
        )
        assert anchors, name
        for href, url in anchors:
            parts = urlsplit(url)
            if parts.scheme not in ("file", "http") or parts.netloc not in ("", urlsplit(base).netloc):
                continue
            local = out / os.fsdecode(unquote_to_bytes(parts.path[len(urlsplit(root).path) :]))
            browser.get(url)
            if not local.is_file() or parts.path in missing:
                dead.add((name, href))
            else:
                assert browser.current_url == url
    assert dead == reported


def test_the_example_sites_index_page(browser, server):
    served, base, _ = server
    told = build(EXAMPLE, served / "example")
    assert told == [
        f"brelim: {EXAMPLE}/projects/garden/plan.outline:6:14: dead link: 'pond' finds nothing",
        "brelim: 1 dead link",
    ]
    browser.get(base + "example/index.html")
    assert browser.title == "site-notes"
    assert browser.find_element("css selector", "h2").text == "Folders"
    if os.environ.get("BRELIM_SCREENSHOT"):  # the README's picture, made again when the example changes
        browser.save_screenshot(str(SCREENSHOT))
