"""A preview's life: the site built, served and watched, each batch of changes rebuilt and told, then stopped.

The site goes into OUT, or a temporary folder removed at the end. The
server is bound before the first build, so a port in use is told at once;
it is announced once the site is there. Rebuilds run in this thread, where
a signal stops them; the server and the watcher run in threads of their
own, and are stopped, with every connection, on the way out.
"""

from __future__ import annotations

import dataclasses
import os
import shutil
import tempfile
import threading
from pathlib import Path

from brelim_cli.errors import os_message
from brelim_cli.report import Reporter, print_error_line
from brelim_cli.serve.handler import PreviewHandler
from brelim_cli.serve.reload import News
from brelim_cli.serve.server import PreviewServer, is_loopback, make_server, url
from brelim_cli.serve.watcher import Watcher
from brelim_cli.site.incremental import LiveSite, Touched
from brelim_cli.site.options import SiteOptions

RETRY = 0.1  # seconds before a note that could not be read is read again
TRIES = 30  # then it is told, and keeps its page
TICK = 0.2  # seconds the loop waits for changes before it looks at the retries and the stop


def serve_site(
    options: SiteOptions,
    host: str,
    port: int,
    reporter: Reporter,
    temporary_out: bool = False,
    stop: threading.Event | None = None,
) -> None:
    """Serves the site of `options.notes` until a signal (or `stop`, when given); with `temporary_out`, the
    site goes into a temporary folder rather than `options.out`."""
    temporary = None
    if temporary_out:
        temporary = tempfile.mkdtemp(prefix="brelim-preview-")
        options = dataclasses.replace(options, out=Path(temporary))
    try:
        live = LiveSite(options, reporter)
        news = News()
        handler = type("Handler", (PreviewHandler,), {"live": live, "news": news})
        try:
            server = make_server(host, port, handler)
        except OSError as error:
            reporter.failure(f"cannot listen on {url(host, port)}: {os_message(error)}")
            return
        try:
            serve(live, news, server, host, reporter, stop or threading.Event())
        finally:
            news.stop()
            server.shutdown()
            server.server_close()
    finally:
        if temporary is not None:
            shutil.rmtree(temporary, ignore_errors=True)


def serve(
    live: LiveSite, news: News, server: PreviewServer, host: str, reporter: Reporter, stop: threading.Event
) -> None:
    retries: dict[Path, int] = {}
    live.build()
    thread = threading.Thread(target=server.serve_forever, args=(TICK,), name="brelim-server", daemon=True)
    thread.start()
    watcher = Watcher(live.options.notes, live.options.out)
    try:
        watcher.start()
        if not is_loopback(host):
            print_error_line(f"brelim: warning: anyone who can reach {host} can read these notes")
        print_error_line(f"brelim: serving {url(host, server.server_address[1])} (Ctrl-C to stop)")
        while not stop.is_set():
            paths = watcher.next(RETRY if retries else TICK)
            if paths is None and not retries:
                continue
            paths = paths or set()
            paths |= set(retries)
            touched = rebuild(live, paths)
            if touched is None:
                continue
            if touched.changed is None or touched.changed or touched.removed:
                news.publish(touched.changed, touched.removed)
            for path, error in touched.unreadable:
                retries[path] = retries.get(path, 0) + 1
                if retries[path] == TRIES and error:
                    reporter.print_line(f"brelim: {error} (its page is kept; saved again, it is read again)")
            for path in paths:
                if path not in {path for path, _ in touched.unreadable}:
                    retries.pop(path, None)
            for path in [path for path, count in retries.items() if count >= TRIES]:
                del retries[path]
    finally:
        watcher.stop()


def rebuild(live: LiveSite, paths: set[Path]) -> Touched | None:
    """What a batch of changes rebuilt; None when it changed nothing of the site."""
    notes = [path for path in paths if live.note_of(path) is not None and os.path.isfile(path)]
    others = [path for path in paths if live.note_of(path) is None or not os.path.isfile(path)]
    if not any(changes_listing(live, path) for path in others):
        if not notes:
            return None
        touched = live.update(notes)
        if touched is not None:
            return touched
    touched = live.build()
    # A changed note the full build could not read was told by it; it is read again, and built when it can be.
    failed = {note.source for note in live.listing.notes if note.number not in live.results}
    touched.unreadable = [(path, "") for path in paths if path in failed]
    return touched


def changes_listing(live: LiveSite, path: Path) -> bool:
    """Whether a change at `path` may change what the notes' links resolve to: a note or a file that came
    or went. A file that came and went within the batch (an editor's temporary file) changes nothing."""
    return live.note_of(path) is not None or os.path.lexists(path) or live.knows(path)
