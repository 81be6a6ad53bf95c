"""Which requests the preview answers: the path of a file of the site, a Host of this machine, an Origin of its own.

Paths are judged on their own, before any file is looked at: a path that
could lead anywhere but to a file of the site (`..` in any encoding, an
encoded `/` or `\\`, a drive letter, a stream of a Windows file, a device
name, a NUL, an overlong path) is refused. What remains must still be one
of the site's files (see `handler`).
"""

from __future__ import annotations

import ipaddress
import re
from urllib.parse import unquote_to_bytes

LONGEST = 2048  # bytes of a path, percent-encoded
INDEX = "index.html"
# Names Windows keeps for devices, with any suffix; a drive letter; a file's stream (`name::$DATA`, `name:x`).
DEVICE = re.compile(r"(con|prn|aux|nul|com[0-9¹²³]|lpt[0-9¹²³]|conin\$|conout\$)(\..*)?", re.IGNORECASE)
DRIVE = re.compile(r"[A-Za-z]:")
ENCODED_SEPARATOR = re.compile(r"%(2f|5c)", re.IGNORECASE)


def site_path(target: str, windows: bool) -> str | None:
    """The site's file (its `/`-joined place) that the request target `target` names, or None when refused.

    `windows`: also refuse what only Windows would take for something else (device names, `:` in a name).
    """
    path = target.split("?", 1)[0].split("#", 1)[0]
    if len(path) > LONGEST or not path.startswith("/") or not path.isascii() or ENCODED_SEPARATOR.search(path):
        return None
    raw = unquote_to_bytes(path)
    if b"\0" in raw or b"\\" in raw:
        return None
    name = raw.decode("utf-8", "surrogateescape")[1:]
    if name == "" or name.endswith("/"):
        name += INDEX
    parts = name.split("/")
    for part in parts:
        if part in ("", ".", "..") or part.startswith(".") or (part.endswith((" ", ".")) and windows):
            return None
        if DRIVE.match(part) or "::" in part or ":$" in part or (windows and (":" in part or DEVICE.fullmatch(part))):
            return None
    return name


def host_allowed(host: str) -> bool:
    """Whether a request's Host names this machine by an address (`127.0.0.1`, `[::1]`), or `localhost`, with
    any port: a name that a page of another site could point here (DNS rebinding) is refused."""
    if host.startswith("["):
        end = host.find("]")
        literal, rest = host[1:end], host[end + 1 :]
        if end < 0 or not (rest == "" or (rest.startswith(":") and rest[1:].isdigit())):
            return False
        try:
            return ipaddress.ip_address(literal).version == 6
        except ValueError:
            return False
    name, _, port = host.partition(":")
    if (port and not port.isdigit()) or ":" in port:
        return False
    if name.lower() == "localhost":
        return True
    try:
        return ipaddress.ip_address(name).version == 4
    except ValueError:
        return False


def same_origin(origin: str | None, host: str) -> bool:
    """Whether a request's Origin, when it has one, is this server's own."""
    return origin is None or origin == f"http://{host}"
