"""The command's parts on their own: the pool with items that are not pages, the folder search, where pages go."""

import multiprocessing
import os
import signal
import stat
from pathlib import Path

import pytest

from test_command import installed_command, write_tree  # noqa: F401

POSIX = pytest.mark.skipif(os.name != "posix", reason="symbolic links, FIFOs and signals as POSIX has them")


def square_or_die(item: int) -> int:
    if item == 13:
        os.kill(os.getpid(), signal.SIGKILL)
    return item * item


class Stop(Exception):
    pass


@POSIX
@pytest.mark.parametrize("workers", [1, 3])
def test_the_pool_runs_any_items_and_leaves_the_stop_to_its_caller(workers: int):
    from brelim_cli.pool import run_in_processes

    items = [n for n in range(200) if n != 13 or workers > 1]
    done, failed, cleaned = [], [], []
    run_in_processes(items, workers, square_or_die, done.append, lambda *told: failed.append(told), cleaned.append)
    assert sorted(done) == [n * n for n in items if n != 13]
    assert failed == ([(13, "killed by signal 9")] if workers > 1 else [])
    # What a dead worker had in hand is cleaned up before it is tried again.
    assert set(cleaned) <= set(items) and (13 in cleaned if workers > 1 else cleaned == [])

    def stop_at_first(result: int) -> None:
        done.append(result)
        raise Stop

    done.clear()
    cleaned.clear()
    with pytest.raises(Stop):
        run_in_processes(
            items, workers, square_or_die, stop_at_first, lambda *told: failed.append(told), cleaned.append
        )
    assert multiprocessing.active_children() == []
    assert len(done) == 1 and len(set(cleaned)) == len(cleaned) and done[0] not in [n * n for n in cleaned]
    assert cleaned if workers > 1 else cleaned == []  # in this process the item was finished before `done` stopped


@pytest.mark.parametrize(
    "requested, items, cores, workers", [(1000, 10_000, 2, 8), (1000, 3, 64, 3), (3, 10_000, 2, 3), (4, 0, 2, 1)]
)
def test_never_more_workers_than_items_or_four_per_core(requested: int, items: int, cores: int, workers: int):
    from brelim_cli.pool import worker_count

    assert worker_count(requested, items, "linux", cores) == workers


@POSIX
@pytest.mark.parametrize(
    "folder, pattern, found, told",
    [
        (
            "n",
            "*.outline",
            ["n/a.outline", "n/dir.outline/g.outline", "n/link.outline", "n/sub/d.outline"],
            ["n/dangling.outline", "n/loop.outline"],
        ),
        ("n", "sub/*.outline", ["n/sub/d.outline"], []),
        ("n", "**/sub/*.outline", ["n/sub/d.outline"], []),
        ("n/sub", "*", ["n/sub/d.outline", "n/sub/notes.txt"], []),
        (
            ".",
            "*.outline",
            ["a.outline", "dir.outline/g.outline", "link.outline", "sub/d.outline"],
            ["./dangling.outline", "./loop.outline"],
        ),
    ],
)
def test_the_folder_search(folder: str, pattern: str, found: list[str], told: list[str], tmp_path: Path, monkeypatch):
    from brelim_cli.search import find_files

    write_tree(
        tmp_path / "n",
        dict.fromkeys(
            [
                "a.outline",
                ".h.outline",
                ".git/c.outline",
                "sub/d.outline",
                "sub/notes.txt",
                "sub/.e.outline",
                "out/f.outline",
                "dir.outline/g.outline",
            ],
            b"",
        ),
    )
    for link, to in [
        ("link.outline", "a.outline"),
        ("dangling.outline", "gone"),
        ("loop.outline", "loop.outline"),
        ("linked", "sub"),
    ]:
        (tmp_path / "n" / link).symlink_to(to)
    os.mkfifo(tmp_path / "n/fifo.outline")
    monkeypatch.chdir(tmp_path if folder != "." else tmp_path / "n")
    errors: list[str] = []
    skip = os.stat("out" if folder == "." else "n/out")  # the output folder is never searched
    assert find_files(Path(folder), pattern, errors.append, skip) == [Path(name) for name in found]
    # A link to nothing is told as a link to itself is: a name that cannot be read.
    why = {"dangling.outline": "No such file or directory", "loop.outline": "Too many levels of symbolic links"}
    assert sorted(errors) == [f"{name}: cannot read: {why[Path(name).name]}" for name in told]


@pytest.mark.parametrize(
    "source, folder, page",
    [
        ("n/a.outline", "n", "out/a.html"),
        ("n/sub/b.c.outline", "n", "out/sub/b.c.html"),
        ("n/sub/b.c.outline", None, "out/b.c.html"),  # named on its own: straight into the folder
        ("./a", None, "out/a.html"),
        ("/x/y.outline", None, "out/y.html"),
    ],
)
def test_where_a_page_goes(source: str, folder: str | None, page: str):
    from brelim_cli import html_path

    path = Path(source)
    assert html_path(path, path.parent if folder is None else Path(folder), Path("out")) == Path(page)


@POSIX
def test_a_target_is_resolved_through_its_link(tmp_path: Path):
    from brelim_cli.targets import resolve_target

    write_tree(tmp_path, {"real/page.html": b"old"})
    (tmp_path / "link.html").symlink_to("real/page.html")
    (tmp_path / "dangling.html").symlink_to("real/new.html")
    (tmp_path / "null").symlink_to(os.devnull)
    found = {
        name: resolve_target(tmp_path / name)
        for name in ["real/page.html", "link.html", "dangling.html", "null", "missing.html"]
    }
    assert {
        name: (
            final.relative_to(tmp_path) if final.is_relative_to(tmp_path) else final,
            status and stat.S_IFMT(status.st_mode),
        )
        for name, (final, status) in found.items()
    } == {
        "real/page.html": (Path("real/page.html"), stat.S_IFREG),
        "link.html": (Path("real/page.html"), stat.S_IFREG),
        "dangling.html": (Path("real/new.html"), None),
        "null": (Path(os.devnull), stat.S_IFCHR),
        "missing.html": (Path("missing.html"), None),
    }


@pytest.mark.parametrize(
    "args, page",
    [
        (["a.outline"], {}),
        (
            ["a.outline", "--title", "T", "--css", "s.css", "--max-page-size", "2K"],
            {"title": "T", "css": "s.css", "max_page_size": 2048},
        ),
        (["a.outline", "--fragment"], {"fragment": True}),
    ],
)
def test_each_page_option_fills_its_field(args: list[str], page: dict[str, object]):
    from brelim_cli.options import read_options
    from brelim_cli.page_options import PageOptions

    options = read_options(args)
    assert options.page == PageOptions(**page) and options.single and options.out is None
