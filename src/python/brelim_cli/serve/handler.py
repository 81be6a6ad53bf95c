"""The preview's answers: the site's files, the reload stream and its script, and every refusal.

Only `GET` and `HEAD`, only with a Host of this machine, only the files the
site's manifest lists (nothing else in its folder: no listing, no link, no
file the build did not write). No answer carries an `Access-Control-Allow-*`
header or is cached; each names its type, and a file of the notes that a
browser would run (an HTML attachment) is sandboxed.
"""

from __future__ import annotations

import mimetypes
import os
import select
import socket
import stat
import sys
import time
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler
from typing import TYPE_CHECKING

from brelim_cli.serve.reload import ENDPOINT, HEARTBEAT, SCRIPT, SCRIPT_PATH, News, with_script
from brelim_cli.serve.requests import host_allowed, same_origin, site_path

if TYPE_CHECKING:
    from brelim_cli.site.incremental import LiveSite

READ_TIMEOUT = 10.0  # seconds a client may take to send its request
LOOK = 1.0  # seconds between looks at whether a stream's client is still there
TYPES = {".html": "text/html", ".css": "text/css", ".js": "text/javascript", ".txt": "text/plain"}
WINDOWS = sys.platform == "win32"
NOFOLLOW = getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_BINARY", 0)


def content_type(name: str) -> str:
    suffix = os.path.splitext(name)[1].lower()
    kind = TYPES.get(suffix) or mimetypes.guess_type(name, strict=False)[0] or "application/octet-stream"
    return f"{kind}; charset=utf-8" if kind.startswith("text/") or kind.endswith(("+xml", "/json")) else kind


class PreviewHandler(BaseHTTPRequestHandler):
    """One connection to the preview; the server carries the live site and the news of its rebuilds."""

    server_version = "brelim"
    sys_version = ""
    timeout = READ_TIMEOUT
    live: LiveSite
    news: News

    def parse_request(self) -> bool:
        if not super().parse_request():
            return False
        hosts = self.headers.get_all("Host") or []
        if len(hosts) != 1:
            self.send_error(HTTPStatus.BAD_REQUEST, "One Host header is needed")
        elif not host_allowed(hosts[0].strip()):
            self.send_error(HTTPStatus.FORBIDDEN, "This server answers only to this machine's addresses")
        elif self.command not in ("GET", "HEAD"):
            self.send_error(HTTPStatus.METHOD_NOT_ALLOWED)
        else:
            return True
        return False

    def end_headers(self) -> None:
        self.send_header("X-Content-Type-Options", "nosniff")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Referrer-Policy", "no-referrer")
        if getattr(self, "_status", 0) == HTTPStatus.METHOD_NOT_ALLOWED:
            self.send_header("Allow", "GET, HEAD")
        super().end_headers()

    def send_response(self, code: int, message: str | None = None) -> None:
        self._status = code
        super().send_response(code, message)

    def do_GET(self) -> None:
        path = self.path.split("?", 1)[0]
        if path == ENDPOINT:
            self.stream()
        elif path == SCRIPT_PATH:
            self.answer(SCRIPT, "text/javascript; charset=utf-8")
        else:
            self.file()

    do_HEAD = do_GET

    def answer(self, body: bytes, kind: str, sandboxed: bool = False) -> None:
        self.send_response(HTTPStatus.OK)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        if sandboxed:
            self.send_header("Content-Security-Policy", "sandbox")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def file(self) -> None:
        live = self.live
        name = site_path(self.path, WINDOWS)
        if name is None or name not in live.files:
            self.send_error(HTTPStatus.NOT_FOUND)
            return
        body = read_regular(os.fspath(live.options.out), name)
        if body is None:
            self.send_error(HTTPStatus.NOT_FOUND)
            return
        page = name in live.own_pages
        self.answer(with_script(body) if page else body, content_type(name), sandboxed=not page)

    def stream(self) -> None:
        if not same_origin(self.headers.get("Origin"), self.headers["Host"].strip()):
            self.send_error(HTTPStatus.FORBIDDEN, "Another site's page may not follow this preview")
            return
        if not self.news.streams.acquire(blocking=False):
            self.send_error(HTTPStatus.SERVICE_UNAVAILABLE, "Too many pages follow this preview")
            return
        try:
            self.send_response(HTTPStatus.OK)
            self.send_header("Content-Type", "text/event-stream; charset=utf-8")
            self.end_headers()
            if self.command == "HEAD":
                return
            self.wfile.write(b"retry: 1000\n\n")
            self.wfile.flush()
            seen = self.news.number
            quiet_since = time.monotonic()
            while not self.news.stopped and not self.client_gone():
                seen, event = self.news.wait(seen, LOOK)
                if event is None and time.monotonic() - quiet_since < HEARTBEAT:
                    continue
                self.wfile.write(event or b": still here\n\n")
                self.wfile.flush()
                quiet_since = time.monotonic()
        except OSError:
            pass  # the client went away: its slot is free again
        finally:
            self.close_connection = True
            self.news.streams.release()

    def client_gone(self) -> bool:
        """Whether the client closed its end: a stream sends nothing more, so its end can be read."""
        try:
            readable, _, _ = select.select([self.connection], [], [], 0)
            return bool(readable) and self.connection.recv(1, socket.MSG_PEEK) == b""
        except OSError:
            return True

    def log_message(self, format: str, *args: object) -> None:
        pass

    def handle(self) -> None:
        try:
            super().handle()
        except (TimeoutError, OSError):  # a client gone or too slow costs nothing more
            self.close_connection = True


def read_regular(root: str, name: str) -> bytes | None:
    """The bytes of the regular file `name` below `root`, reached through no symbolic link; None otherwise."""
    path = os.path.join(root, *name.split("/"))
    try:
        if os.path.realpath(path) != os.path.join(os.path.realpath(root), *name.split("/")):
            return None
        descriptor = os.open(path, os.O_RDONLY | NOFOLLOW)
        with os.fdopen(descriptor, "rb") as file:
            if not stat.S_ISREG(os.fstat(file.fileno()).st_mode):
                return None
            return file.read()
    except OSError:
        return None
