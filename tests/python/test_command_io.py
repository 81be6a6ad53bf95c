"""The `brelim` command with the files a person has: links, FIFOs, devices, full disks, closed pipes, signals."""

import os
import shutil
import signal
import stat
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

from test_command import NOTES, brelim_command, files_under, installed_command, write_tree  # noqa: F401

POSIX = pytest.mark.skipif(os.name != "posix", reason="symbolic links, FIFOs, devices and signals as POSIX has them")
COMMAND = [sys.executable, "-m", "brelim_cli"]


def page_of(tmp_path: Path) -> bytes:
    return brelim_command("n.outline", cwd=tmp_path).stdout


@POSIX
@pytest.mark.parametrize(
    "out, written",
    [
        ("-", None),
        ("/dev/stdout", None),
        ("new/", "new/n.html"),
        ("adir", "adir/n.html"),
        ("--output=link.html", "real/r.html"),
    ],
)
def test_targets_written_where_a_person_means(out: str, written: str | None, tmp_path: Path):
    write_tree(tmp_path, {"n.outline": NOTES.encode(), "adir/other": b"", "real/r.html": b"old"})
    (tmp_path / "real/r.html").chmod(0o640)
    (tmp_path / "link.html").symlink_to("real/r.html")
    result = brelim_command("n.outline", *(["-o", out] if "=" not in out else [out]), cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, b"")
    assert (result.stdout if written is None else (tmp_path / written).read_bytes()) == page_of(tmp_path)
    assert (tmp_path / "link.html").is_symlink() and stat.S_IMODE((tmp_path / "real/r.html").stat().st_mode) == 0o640
    assert not (tmp_path / "-").exists() and sorted(os.listdir(tmp_path / "real")) == ["r.html"]


@POSIX
@pytest.mark.parametrize(
    "sources, link, to, status, pages",
    [
        (["n"], "link.outline", "a.outline", 0, ["a.html", "link.html", "sub/b.html"]),
        (["n/a.outline", "n/link.outline", "./n/a.outline"], "link.outline", "a.outline", 0, ["a.html", "link.html"]),
        (["n"], "gone.outline", "nowhere", 1, ["a.html", "sub/b.html"]),
    ],
)
def test_a_link_to_a_note_has_a_page_of_its_own_and_a_link_to_nothing_fails(
    sources: list[str], link: str, to: str, status: int, pages: list[str], tmp_path: Path
):
    write_tree(tmp_path / "n", {"a.outline": b"* a\n", "sub/b.outline": b"* b\n"})
    (tmp_path / "n" / link).symlink_to(to)
    result = brelim_command(*sources, "-o", "out", cwd=tmp_path)
    told = "brelim: n/gone.outline: cannot read: No such file or directory\n" if status else ""  # as a loop is
    assert (result.returncode, result.stderr.decode()) == (status, told)
    assert files_under(tmp_path / "out") == pages
    if status == 0:  # named after the link, with the note's headlines
        page = (tmp_path / "out" / link).with_suffix(".html").read_text()
        assert f"<h1>{Path(link).stem}</h1>" in page and "<li> a" in page


@POSIX
def test_fifos_and_devices_are_written_in_place(tmp_path: Path):
    write_tree(tmp_path, {"n.outline": NOTES.encode()})
    os.mkfifo(tmp_path / "pipe.html")
    received = []
    reader = threading.Thread(target=lambda: received.append((tmp_path / "pipe.html").read_bytes()))
    reader.start()
    assert brelim_command("n.outline", "-o", "pipe.html", cwd=tmp_path).returncode == 0
    reader.join(10)
    assert received == [page_of(tmp_path)] and stat.S_ISFIFO(os.lstat(tmp_path / "pipe.html").st_mode)
    try:
        os.mknod(tmp_path / "null", stat.S_IFCHR | 0o666, os.makedev(1, 3))
    except PermissionError:
        return
    assert brelim_command("n.outline", "-o", "null", cwd=tmp_path).returncode == 0
    assert stat.S_ISCHR(os.lstat(tmp_path / "null").st_mode)


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
@pytest.mark.parametrize("args, target", [(["-o", "/dev/full"], "/dev/full"), ([], "standard output")])
def test_a_full_disk_is_one_line(args: list[str], target: str, tmp_path: Path):
    write_tree(tmp_path, {"n.outline": NOTES.encode()})
    with open("/dev/full", "wb") as full:
        result = brelim_command("n.outline", *args, cwd=tmp_path, stdout=full)
    message = f"brelim: n.outline: cannot write {target}: No space left on device\n"
    assert (result.returncode, result.stderr.decode()) == (1, message)
    assert stat.S_ISCHR(os.stat("/dev/full").st_mode)


@POSIX
@pytest.mark.parametrize("size", [1, 100_000])
def test_a_closed_pipe_ends_quietly_with_status_0(size: int, tmp_path: Path):
    write_tree(tmp_path, {"n.outline": b"* a\n" * size})
    read_end, write_end = os.pipe()
    os.close(read_end)
    with os.fdopen(write_end, "wb") as closed:
        result = brelim_command("n.outline", cwd=tmp_path, stdout=closed)
    assert (result.returncode, result.stderr) == (0, b"")


def test_folders_skip_hidden_names_the_output_and_clashes_of_case(tmp_path: Path):
    write_tree(
        tmp_path / "n",
        {
            "a.outline": b"* a",
            ".git/x.outline": b"",
            ".h.outline": b"",
            "s/B.outline": b"",
            "s/b.outline": b"",
            "out/old.html": b"* from an earlier run",
        },
    )
    if len(os.listdir(tmp_path / "n/s")) < 2:
        pytest.skip("this file system ignores letter case: B.outline and b.outline are one file")
    result = brelim_command("n", "n/.h.outline", "-o", "n/out", "--glob", "*", cwd=tmp_path)
    b, page, first = (Path(name) for name in ["n/s/b.outline", "n/out/s/b.html", "n/s/B.outline"])
    message = f"brelim: {b}: its page {page} would replace that of {first} on a disk that ignores letter case\n"
    assert result.stderr.decode() == message
    assert result.returncode == 1 and files_under(tmp_path / "n/out") == [".h.html", "a.html", "old.html", "s/B.html"]


@pytest.mark.parametrize(
    "pattern, pages",
    [
        ("sub/*.outline", ["sub/b.html", "x/sub/c.html"]),
        ("**/*.outline", ["a.html", "sub/b.html", "x/d.html", "x/sub/c.html"]),
    ],
)
def test_patterns_with_folders_match_the_end_of_the_path(pattern: str, pages: list[str], tmp_path: Path):
    write_tree(tmp_path / "n", {"a.outline": b"", "sub/b.outline": b"", "x/sub/c.outline": b"", "x/d.outline": b""})
    assert brelim_command("n", "-o", "out", "--glob", pattern, cwd=tmp_path).returncode == 0
    assert files_under(tmp_path / "out") == pages


@pytest.mark.skipif(
    shutil.which("setpriv") is None or not hasattr(os, "geteuid") or os.geteuid() != 0,
    reason="needs setpriv and root, to drop the capabilities that read any file",
)
def test_unreadable_folders_and_files_are_reported(tmp_path: Path):
    write_tree(tmp_path, {"n/a.outline": b"* a", "n/locked/b.outline": b"", "n/secret.outline": b""})
    for path in ["n/locked", "n/secret.outline"]:
        (tmp_path / path).chmod(0)
    (tmp_path / "out").mkdir()
    (tmp_path / "out").chmod(0o777)
    tmp_path.chmod(0o755)
    drop = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--inh-caps=-all", "--bounding-set=-all"]
    if subprocess.run([*drop, *COMMAND, "--version"], cwd=tmp_path, capture_output=True, check=False).returncode != 0:
        pytest.skip("the installed command is out of an unprivileged user's reach (under /root, say)")
    result = subprocess.run(
        [*drop, *COMMAND, "n", "-o", "out", "--jobs", "1"], cwd=tmp_path, capture_output=True, check=False
    )
    assert result.returncode == 1 and files_under(tmp_path / "out") == ["a.html"]
    assert result.stderr.decode().splitlines() == [
        "brelim: n/locked: cannot read this folder: Permission denied",
        "brelim: n/secret.outline: cannot read: Permission denied",
    ]


def live_children(pid: int) -> list[int]:
    return [int(child) for child in Path(f"/proc/{pid}/task/{pid}/children").read_text().split()]


def pages_in(folder: Path) -> list[str]:
    return [name for name in os.listdir(folder) if not name.startswith(".")]


def start_run(tmp_path: Path, jobs: str) -> subprocess.Popen:
    """A folder run that goes on for a while, one of whose pages, a FIFO without a reader, blocks its writer for good."""
    write_tree(tmp_path / "n", {f"{n:03}.outline": b"* a #tag [[link][text]]\n** b\n" * 3000 for n in range(300)})
    (tmp_path / "out").mkdir()
    os.mkfifo(tmp_path / "out/150.html")
    run = subprocess.Popen(
        [*COMMAND, "n", "-o", "out", "--jobs", jobs], cwd=tmp_path, stderr=subprocess.PIPE, start_new_session=True
    )
    deadline = time.monotonic() + 20
    while len(pages_in(tmp_path / "out")) < 20 and run.poll() is None and time.monotonic() < deadline:
        time.sleep(0.002)
    return run


PROC = pytest.mark.skipif(not Path("/proc/self/task").exists(), reason="finds the workers in /proc")


@PROC
@pytest.mark.parametrize(
    "jobs, signals, to_group, status",
    [
        ("2", [signal.SIGINT], False, 130),
        ("2", [signal.SIGINT], True, 130),
        ("2", [signal.SIGINT] * 2, True, 130),
        ("1", [signal.SIGINT] * 2, True, 130),
        ("2", [signal.SIGTERM], False, 143),
    ],
)
def test_signals_stop_the_run_and_its_workers_at_once(jobs, signals, to_group, status, tmp_path: Path):
    run = start_run(tmp_path, jobs)
    workers = live_children(run.pid)
    assert run.poll() is None and len(workers) == (0 if jobs == "1" else 2), "the run stalled before the signal"
    started = time.monotonic()
    for number in signals:
        (os.killpg if to_group else os.kill)(run.pid, number)
    pages = len(pages_in(tmp_path / "out"))
    stderr = run.communicate(timeout=10)[1]
    assert time.monotonic() - started < 1 and run.returncode == status
    assert stderr.decode() == ("brelim: interrupted\n" if status == 130 else "brelim: stopped by SIGTERM\n")
    assert not [pid for pid in workers if Path(f"/proc/{pid}").exists()]
    # Not one more page than the few finished while the command took the signal in: none where the
    # signal reached the workers too, as a terminal's does; a signal to the command alone leaves them
    # working until it has killed them, a few milliseconds that hold dozens of these small pages on a
    # busy machine. Of the 300, most are never written.
    allowance = 10 if to_group else 60
    assert len(pages_in(tmp_path / "out")) <= pages + allowance
    assert pages_in(tmp_path / "out") == os.listdir(tmp_path / "out")


def stuck_worker(run: subprocess.Popen, deadline: float, other_than: int = 0) -> int:
    while not (
        stuck := [
            pid
            for pid in live_children(run.pid)
            if pid != other_than and "partner" in Path(f"/proc/{pid}/wchan").read_text()
        ]
    ):
        assert time.monotonic() < deadline, "no worker waits on the FIFO"
        time.sleep(0.01)
    return stuck[0]


@PROC
def test_a_file_fails_only_when_a_worker_dies_on_it_alone(tmp_path: Path):
    run = start_run(tmp_path, "2")
    deadline = time.monotonic() + 30
    os.kill(first := stuck_worker(run, deadline), signal.SIGKILL)  # its batch is tried again, one file at a time
    os.kill(stuck_worker(run, deadline, first), signal.SIGKILL)  # on the FIFO's page alone
    stderr = run.communicate(timeout=60)[1].decode()
    assert (run.returncode, stderr) == (
        1,
        "brelim: n/150.outline: the process converting it ended (killed by signal 9)\n",
    )
    assert len(pages_in(tmp_path / "out")) == 300 and pages_in(tmp_path / "out") == os.listdir(tmp_path / "out")


def test_what_windows_needs_from_the_command(tmp_path: Path, monkeypatch):
    from brelim_cli.pool import worker_count
    from brelim_cli.sources import expand_wildcards

    assert [worker_count(100, 1000, platform, cores=64) for platform in ["win32", "darwin", "linux"]] == [61, 100, 100]
    write_tree(tmp_path, {"a.outline": b"", "b.outline": b"", "c.txt": b""})
    monkeypatch.chdir(tmp_path)
    assert expand_wildcards(["*.outline", "-", "z*.outline"], wildcards=True) == [
        "a.outline",
        "b.outline",
        "-",
        "z*.outline",
    ]
