"""The preview's listening socket: this machine's address by default, bound exclusively, ready for bursts."""

from __future__ import annotations

import ipaddress
import socket
import sys
from http.server import ThreadingHTTPServer

BACKLOG = 256  # a page's burst of requests, and many readers at once, wait in the queue rather than retry


class PreviewServer(ThreadingHTTPServer):
    daemon_threads = True  # a connection left open never holds the exit
    request_queue_size = BACKLOG
    # On Windows SO_REUSEADDR lets another program bind the same port and take its requests: there the socket
    # is bound exclusively. Elsewhere it only lets a restarted preview take its port out of TIME_WAIT.
    allow_reuse_address = sys.platform != "win32"

    def server_bind(self) -> None:
        if sys.platform == "win32":
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_EXCLUSIVEADDRUSE, 1)  # type: ignore[attr-defined]
        super().server_bind()


def make_server(host: str, port: int, handler: type) -> PreviewServer:
    """The server listening on `host`:`port` (0: any free port); raises OSError when it cannot."""

    class Server(PreviewServer):
        address_family = socket.AF_INET6 if is_ipv6(host) else socket.AF_INET

    return Server((host.strip("[]"), port), handler)


def is_ipv6(host: str) -> bool:
    try:
        return ipaddress.ip_address(host.strip("[]")).version == 6
    except ValueError:
        return False


def is_loopback(host: str) -> bool:
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return host == "localhost"


def url(host: str, port: int) -> str:
    shown = f"[{host.strip('[]')}]" if is_ipv6(host) else host
    return f"http://{shown}:{port}/"
