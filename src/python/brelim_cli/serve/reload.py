"""The reload of open pages: a rebuild's news, the Server-Sent Events stream that carries it, and the script
that served pages (never the built files) carry to listen to it.

Each rebuild is one event: the pages it wrote (or `*` for all) and the pages
it removed, each with the index its reader goes to. The script reloads its
page when the event names it, and leaves a removed page for its index.
"""

from __future__ import annotations

import json
import threading

ENDPOINT = "/.brelim/events"
SCRIPT_PATH = "/.brelim/reload.js"
TAG = f'<script src="{SCRIPT_PATH}"></script>\n'.encode()
HEARTBEAT = 10.0  # seconds between comments on an idle stream: a client that has gone is noticed
MOST_STREAMS = 64

SCRIPT = b"""(() => {
  const here = () => {
    const path = decodeURIComponent(location.pathname).slice(1);
    return path === "" || path.endsWith("/") ? path + "index.html" : path;
  };
  const events = new EventSource("/.brelim/events");
  events.onmessage = (message) => {
    const news = JSON.parse(message.data);
    const page = here();
    if (page in news.removed) {
      events.close();
      location.replace("/" + news.removed[page].split("/").map(encodeURIComponent).join("/"));
    } else if (news.changed === "*" || news.changed.includes(page)) {
      events.close();
      location.reload();
    }
  };
})();
"""


def with_script(page: bytes) -> bytes:
    """A served page: the built page with the reload script before its body's end."""
    end = page.rfind(b"</body>")
    return page + TAG if end < 0 else page[:end] + TAG + page[end:]


class News:
    """The rebuilds' events, numbered, for every stream; and the count of streams open, which is bounded."""

    def __init__(self, most_streams: int = MOST_STREAMS) -> None:
        self.condition = threading.Condition()
        self.number = 0
        self.last = b""
        self.stopped = False
        self.streams = threading.BoundedSemaphore(most_streams)

    def publish(self, changed: set[str] | None, removed: dict[str, str]) -> None:
        data = {"changed": "*" if changed is None else sorted(changed), "removed": removed}
        with self.condition:
            self.number += 1
            self.last = f"data: {json.dumps(data)}\n\n".encode()
            self.condition.notify_all()

    def stop(self) -> None:
        with self.condition:
            self.stopped = True
            self.condition.notify_all()

    def wait(self, seen: int, timeout: float) -> tuple[int, bytes | None]:
        """The event after the one numbered `seen`, or None when `timeout` passed or the preview stops."""
        with self.condition:
            self.condition.wait_for(lambda: self.number != seen or self.stopped, timeout)
            if self.number == seen or self.stopped:
                return seen, None
            return self.number, self.last
