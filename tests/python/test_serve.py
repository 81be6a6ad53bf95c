"""`brelim NOTES --serve`: what it answers and refuses, how it follows the notes, and how it stops."""

import contextlib
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

from brelim_cli.serve.requests import host_allowed, site_path

pytestmark = [pytest.mark.needs("watchfiles"), pytest.mark.command]

NOTES = {
    "index.outline": "* Home #start\n** [[work/plan][the plan]]\n",
    "work/plan.outline": "* Plan #todo\n** back [[../index][home]]\n** [[page.html]]\n",
    "work/page.html": "<script>alert(1)</script>",
    "work/notes.outline": "* Notes\n",
}
SECRET = "SECRET-NOT-IN-THE-SITE"


def write(root: Path, files: dict[str, str]) -> None:
    for name, text in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(text, encoding="utf-8")


class Preview:
    def __init__(self, process: subprocess.Popen, url: str, told: list[str]) -> None:
        self.process, self.url, self.told = process, url, told
        self.port = int(url.rsplit(":", 1)[1].rstrip("/"))

    def raw(self, request: bytes, timeout: float = 10) -> tuple[int, dict[str, str], bytes]:
        """Sends `request` as it is; the status, headers (lower-case names) and body of the answer."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as connection:
            connection.sendall(request)
            data = b""
            while chunk := connection.recv(65536):
                data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        headers = {name.lower(): value.strip() for name, _, value in (line.partition(":") for line in lines[1:])}
        return int(lines[0].split()[1]), headers, body

    def get(self, path: str, host: str = "127.0.0.1", method: str = "GET", extra: str = "") -> tuple:
        return self.raw(f"{method} {path} HTTP/1.0\r\nHost: {host}\r\n{extra}\r\n".encode("latin-1"))

    def events(self) -> "Events":
        return Events(self.port)


class Events:
    """A reader of the reload stream: subscribed once its first line came."""

    def __init__(self, port: int) -> None:
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.socket.sendall(b"GET /.brelim/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        self.data = b""
        while b"retry: 1000\n\n" not in self.data:
            chunk = self.socket.recv(4096)
            assert chunk, self.data
            self.data += chunk
        assert self.data.startswith(b"HTTP/1.0 200 ")
        self.data = b""

    def within(self, seconds: float) -> list[str]:
        """The events' data that came within `seconds`."""
        deadline = time.monotonic() + seconds
        while (left := deadline - time.monotonic()) > 0:
            self.socket.settimeout(left)
            try:
                chunk = self.socket.recv(4096)
            except TimeoutError:
                break
            if not chunk:
                break
            self.data += chunk
        found = [line[6:] for line in self.data.decode().split("\n") if line.startswith("data: ")]
        self.data = self.data[self.data.rfind(b"\n\n") + 2 :]
        return found

    def close(self) -> None:
        self.socket.close()


@contextlib.contextmanager
def preview(notes: Path, *options: str, env: dict | None = None):
    command = [sys.executable, "-m", "brelim_cli", str(notes), "--serve", "--port", "0", *options]
    process = subprocess.Popen(command, stderr=subprocess.PIPE, text=True, env=env)
    try:
        told = []
        for line in process.stderr:
            told.append(line.rstrip("\n"))
            if found := re.search(r"serving (http://\S+) \(Ctrl-C to stop\)$", line):
                break
        else:
            pytest.fail(f"no preview: {told}")
        yield Preview(process, found.group(1), told)
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            process.wait(10)
        process.stderr.close()


@pytest.fixture(scope="module")
def served(tmp_path_factory):
    root = tmp_path_factory.mktemp("serve")
    notes, out = root / "notes", root / "site"
    write(notes, NOTES)
    (root / "secret.txt").write_text(SECRET)
    with preview(notes, "-o", str(out)) as running:
        (out / ".git").mkdir()
        (out / ".git" / "config").write_text(SECRET)
        (out / "foreign.txt").write_text(SECRET)
        (out / "empty").mkdir()
        (out / "link.html").symlink_to(root / "secret.txt")
        (out / "work" / "linked.html").symlink_to(out / "index.html")
        yield running


REQUESTS = [
    # (request line's method and path, extra header lines, host, status)
    ("GET /", "", "127.0.0.1", 200),
    ("HEAD /work/plan.html", "", "127.0.0.1", 200),
    ("GET /work/", "", "localhost:8000", 200),
    ("GET /style.css", "", "[::1]:1", 200),
    ("GET /index.html", "If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT\r\n", "127.0.0.1", 200),  # never a 304
    ("GET /../secret.txt", "", "127.0.0.1", 404),
    ("GET /work/../../secret.txt", "", "127.0.0.1", 404),
    ("GET /%2e%2e/secret.txt", "", "127.0.0.1", 404),
    ("GET /work/%2E%2E/index.html", "", "127.0.0.1", 404),
    ("GET /work%2fplan.html", "", "127.0.0.1", 404),
    ("GET /work%5cplan.html", "", "127.0.0.1", 404),
    ("GET /work\\plan.html", "", "127.0.0.1", 404),
    ("GET /link.html", "", "127.0.0.1", 404),
    ("GET /work/linked.html", "", "127.0.0.1", 404),
    ("GET /foreign.txt", "", "127.0.0.1", 404),
    ("GET /.git/config", "", "127.0.0.1", 404),
    ("GET /.brelim-site.json", "", "127.0.0.1", 404),
    ("GET /empty/", "", "127.0.0.1", 404),
    ("GET /work/plan.outline", "", "127.0.0.1", 404),
    ("GET /" + "a/" * 1500 + "index.html", "", "127.0.0.1", 404),
    ("GET /index.html%00.txt", "", "127.0.0.1", 404),
    ("GET /", "", "evil.example", 403),
    ("GET /", "", "127.0.0.1.evil.example:80", 403),
    ("GET /", "", None, 400),
    ("GET /.brelim/events", "Origin: http://evil.example\r\n", "127.0.0.1", 403),
    ("POST /", "Content-Length: 0\r\n", "127.0.0.1", 405),
    ("PUT /index.html", "Content-Length: 0\r\n", "127.0.0.1", 405),
    ("DELETE /index.html", "", "127.0.0.1", 405),
    ("OPTIONS /", "Access-Control-Request-Private-Network: true\r\n", "127.0.0.1", 405),
]


@pytest.mark.parametrize("request_line, extra, host, status", REQUESTS)
def test_requests(request_line: str, extra: str, host: str | None, status: int, served: Preview):
    hosted = "" if host is None else f"Host: {host}\r\n"
    got, headers, body = served.raw(f"{request_line} HTTP/1.1\r\n{hosted}{extra}Connection: close\r\n\r\n".encode())
    assert got == status
    assert not [name for name in headers if name.startswith("access-control-allow")]
    assert SECRET.encode() not in body
    assert headers["x-content-type-options"] == "nosniff" and headers["cache-control"] == "no-store"
    assert "charset=utf-8" in headers["content-type"]
    if status == 200 and request_line.startswith("HEAD"):
        assert body == b""


def test_pages_carry_the_reload_script_but_the_files_on_disk_and_attachments_do_not(served: Preview, tmp_path):
    status, headers, page = served.get("/work/plan.html")
    assert b'<script src="/.brelim/reload.js">' in page and "content-security-policy" not in headers
    out = Path(re.sub(r"^.*-o ", "", " ".join(served.process.args)))
    assert b"reload.js" not in (out / "work" / "plan.html").read_bytes()
    status, headers, attached = served.get("/work/page.html")
    assert status == 200 and headers["content-security-policy"] == "sandbox"
    assert attached == NOTES["work/page.html"].encode()


@pytest.mark.parametrize(
    "path, windows, name",
    [
        ("/", False, "index.html"),
        ("/a%20b/c.html?x#y", False, "a b/c.html"),
        ("/caf%C3%A9.html", False, "café.html"),
        ("/C:/Windows/win.ini", False, None),
        ("/a.html::$DATA", False, None),
        ("/con.html", True, None),
        ("/tags/LPT1", True, None),
        ("/a:b.html", True, None),
        ("/a.html.", True, None),
        ("/a%2F..%2Fb", False, None),
        ("relative.html", False, None),
        ("/./index.html", False, None),
    ],
)
def test_site_path(path: str, windows: bool, name: str | None):
    assert site_path(path, windows) == name


@pytest.mark.parametrize(
    "host, allowed",
    [("127.0.0.1", True), ("127.0.0.1:80", True), ("[::1]", True), ("[::1]:8000", True), ("LOCALHOST:9", True),
     ("10.0.0.2:8000", True), ("localhost.evil.example", False), ("[::1", False), ("::1", False),
     ("127.0.0.1:x", False), ("2130706433", False), ("", False)],
)  # fmt: skip
def test_host_allowed(host: str, allowed: bool):
    assert host_allowed(host) is allowed


def site_files(out: Path) -> dict[str, bytes]:
    return {
        str(path.relative_to(out)): path.read_bytes()
        for path in sorted(out.rglob("*"))
        if path.is_file() and not path.name.startswith(".")
    }


def test_a_save_rebuilds_what_it_touches_and_the_site_is_as_a_full_build_makes_it(tmp_path: Path):
    notes, out, fresh = tmp_path / "notes", tmp_path / "site", tmp_path / "fresh"
    write(notes, NOTES)
    with preview(notes, "-o", str(out)) as running:
        events = running.events()
        plan = notes / "work" / "plan.outline"
        temporary = plan.with_name(".plan.outline.swp")
        temporary.write_text("* Plan, saved #done\n** [[notes]]\n** [[/index]]\n")
        os.replace(temporary, plan)  # an editor's save
        told = events.within(1.5)
        assert len(told) == 1
        for page in ("work/plan.html", "work/notes.html", "tags/done.html", "tags/all-tags.html", "index.html"):
            assert page in told[0]
        assert "tags/todo.html" in told[0]
        assert not (out / "tags" / "todo.html").exists()
        subprocess.run([sys.executable, "-m", "brelim_cli", str(notes), "-o", str(fresh), "--site"], check=True)
        assert site_files(out) == site_files(fresh)

        plan.write_bytes(b"* half caf\xc3")  # half saved: not UTF-8 yet
        time.sleep(0.3)
        assert running.get("/work/plan.html")[0] == 200
        plan.write_text("* whole, again\n")
        told = events.within(1.5)
        assert told and "work/plan.html" in told[-1]  # a write in place may come as two changes
        assert not [event for event in told if '"work/plan.html": ' in event]  # never taken for removed
        assert "whole, again" in running.get("/work/plan.html")[2].decode()

        plan.unlink()
        told = events.within(1.5)
        assert told == ['{"changed": "*", "removed": {"work/plan.html": "work/index.html"}}']
        assert running.get("/work/plan.html")[0] == 404 and not (out / "work" / "plan.html").exists()
        events.close()


def test_a_busy_port_is_one_line_and_exit_1(served: Preview, tmp_path: Path):
    run = subprocess.run(
        [sys.executable, "-m", "brelim_cli", str(tmp_path), "--serve", "--port", str(served.port)],
        capture_output=True, text=True, timeout=30, check=False,
    )  # fmt: skip
    assert run.returncode == 1
    assert run.stderr.startswith(f"brelim: cannot listen on http://127.0.0.1:{served.port}/: ")
    assert len(run.stderr.splitlines()) == 1


@pytest.mark.parametrize("number, status", [(signal.SIGINT, 130), (signal.SIGTERM, 143)])
def test_a_signal_stops_it_at_once_leaving_no_temporary_site(number: int, status: int, tmp_path: Path):
    notes, temporary = tmp_path / "notes", tmp_path / "tmp"
    write(notes, NOTES)
    temporary.mkdir()
    with preview(notes, env={**os.environ, "TMPDIR": str(temporary)}) as running:
        events = running.events()  # a stream open at the stop
        assert list(temporary.iterdir())
        started = time.monotonic()
        running.process.send_signal(number)
        assert running.process.wait(5) == status
        assert time.monotonic() - started < 1.5
        events.close()
    assert list(temporary.iterdir()) == []


def test_stopped_it_leaves_no_thread(tmp_path: Path):
    from brelim_cli.report import Reporter
    from brelim_cli.serve import serve_site
    from brelim_cli.site import SiteOptions

    write(tmp_path / "notes", NOTES)
    before = set(threading.enumerate())
    stop = threading.Event()
    options = SiteOptions(tmp_path / "notes", tmp_path / "site")
    preview_thread = threading.Thread(target=serve_site, args=(options, "127.0.0.1", 0, Reporter(quiet=True)),
                                      kwargs={"stop": stop})  # fmt: skip
    preview_thread.start()
    time.sleep(1.5)
    stop.set()
    preview_thread.join(2)
    time.sleep(0.2)
    assert set(threading.enumerate()) == before


def test_200_clients_at_once_are_all_answered(served: Preview):
    expected = served.get("/work/plan.html")[2]

    def fetch(number: int) -> bytes:
        return served.get("/work/plan.html" if number % 2 else "/style.css")[2]

    with ThreadPoolExecutor(200) as pool:
        answers = list(pool.map(fetch, range(200), timeout=60))
    assert all(answer == expected for answer in answers[1::2])
    assert all(answer.startswith(b"/*") or b"{" in answer for answer in answers[::2])
    assert served.get("/")[0] == 200


def test_reload_streams_are_bounded(served: Preview):
    streams = [served.events() for _ in range(64)]
    try:
        assert served.get("/.brelim/events")[0] == 503
    finally:
        for stream in streams:
            stream.close()
    time.sleep(1.5)  # a stream whose client went is ended within a second
    served.events().close()


@pytest.mark.browser
@pytest.mark.needs("selenium", "/usr/bin/chromedriver", "/usr/bin/chromium")
def test_an_open_page_follows_its_note_in_chromium(browser, tmp_path: Path):
    from selenium.webdriver.support.ui import WebDriverWait

    notes = tmp_path / "notes"
    write(notes, NOTES)
    plan = notes / "work" / "plan.outline"
    with preview(notes) as running:
        browser.get(running.url + "work/plan.html")
        assert "Plan" in browser.page_source
        time.sleep(0.5)  # the page's script has subscribed
        plan.write_text("* Plan, seen without a reload\n")
        WebDriverWait(browser, 10).until(lambda driver: "seen without a reload" in driver.page_source)
        plan.unlink()
        WebDriverWait(browser, 10).until(lambda driver: driver.current_url == running.url + "work/index.html")
        assert "notes" in browser.page_source and "plan" not in browser.page_source


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["--port", "8001"], "--port and --host are for --serve"),
        (["--serve", "--port", "70000"], "not a port"),
        (["--serve", "--fragment"], "--fragment makes no pages"),
        (["--serve", "-o", "{notes}"], "is the folder of notes"),
    ],
)
def test_usage(arguments: list[str], message: str, tmp_path: Path):
    arguments = [argument.format(notes=tmp_path) for argument in arguments]
    run = subprocess.run([sys.executable, "-m", "brelim_cli", str(tmp_path), *arguments], capture_output=True,
                         text=True, timeout=30, check=False)  # fmt: skip
    assert run.returncode == 2 and message in run.stderr


def test_a_site_inside_the_notes_is_not_watched(tmp_path: Path):
    write(tmp_path, NOTES)
    with preview(tmp_path, "-o", str(tmp_path / "site")) as running:
        events = running.events()
        (tmp_path / "site" / "work" / "plan.html").write_text("changed in the site")
        assert events.within(0.5) == []  # neither that change nor a rebuild's writes start one
        (tmp_path / "index.outline").write_text("* Home, saved\n")
        told = events.within(1.5)
        assert len(told) == 1 and '"index.html"' in told[0]
        assert events.within(0.5) == []
        events.close()
