"""The `brelim` command, run as a user runs it, in a process of its own."""

import importlib.metadata
import importlib.util
import os
import struct
import subprocess
import sys
from pathlib import Path

import pytest

import brelim

CHECKOUT = Path(__file__).resolve().parents[2] / "src" / "python" / "brelim_cli"
NOTES = (CHECKOUT.parents[2] / "examples" / "notes.outline").read_text(encoding="utf-8")


@pytest.fixture(autouse=True, scope="module")
def installed_command():
    # The command comes with `pip install .`; a run against a bare build
    # (PYTHONPATH) has none, and one left by an older install is not this code.
    spec = importlib.util.find_spec("brelim_cli")
    if spec is None:
        pytest.skip("the brelim command is not installed here")
    if any((Path(spec.origin).parent / f.name).read_bytes() != f.read_bytes() for f in CHECKOUT.glob("*.py")):
        pytest.skip("the installed brelim command differs from this checkout: pip install . first")


def brelim_command(*args: object, stdin: bytes = b"", **options) -> subprocess.CompletedProcess:
    options = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, **options}
    return subprocess.run(
        [sys.executable, "-m", "brelim_cli", *map(str, args)], input=stdin, timeout=120, check=False, **options
    )


def write_tree(root: Path, files: dict[str, bytes]) -> Path:
    for name, data in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(data)
    return root


def files_under(root: Path) -> list[str]:
    return sorted(p.relative_to(root).as_posix() for p in root.rglob("*") if p.is_file())


@pytest.mark.parametrize(
    "args, title",
    [
        (["my notes.outline", "-o", "out/page.html"], "my notes"),
        (["my notes.outline", "-o", "out/page.html", "--title", 'R&D <"2">'], "R&amp;D &lt;&quot;2&quot;&gt;"),
        (["-"], "Outline"),
    ],
)
def test_a_document_becomes_a_page(args: list[str], title: str, tmp_path: Path):
    (tmp_path / "my notes.outline").write_text(NOTES, encoding="utf-8")
    result = brelim_command(*args, stdin=NOTES.encode(), cwd=tmp_path)
    page = (tmp_path / "out/page.html").read_bytes() if "-o" in args else result.stdout
    assert (result.returncode, result.stderr) == (0, b"") and page.startswith(b"<!DOCTYPE html>")
    assert f'<meta charset="utf-8">\n<title>{title}</title>'.encode() in page
    assert f"<body>\n<h1>{title}</h1>\n{brelim.parse_string(NOTES)}\n</body>".encode() in page


FRAGMENTS = ["", "* a", "* a\r\n** b #c\r\n", "\ufeff* after a byte-order mark", "* caf\u00e9\n* [[x y]]\n", NOTES]


@pytest.mark.parametrize("text", FRAGMENTS)
def test_fragment_is_exactly_what_parse_string_returns(text: str, tmp_path: Path):
    expected = brelim.parse_string(text.removeprefix("\ufeff")).encode()
    assert brelim_command("--fragment", "-", stdin=text.encode()).stdout == expected
    (tmp_path / "in.outline").write_text(text, encoding="utf-8", newline="")
    assert brelim_command("--fragment", tmp_path / "in.outline", "-o", tmp_path / "out.html").returncode == 0
    assert (tmp_path / "out.html").read_bytes() == expected


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_folders_become_folder_trees(jobs: str, tmp_path: Path):
    write_tree(
        tmp_path / "notes", {"a.outline": b"* a", "deep/er/b.outline": b"** b", "c.txt": b"* c", "d.outline.bak": b""}
    )
    write_tree(tmp_path / "more", {"e.txt": b"* e"})
    result = brelim_command("notes", "more/e.txt", "-o", "html", "--jobs", jobs, cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, b"")
    assert files_under(tmp_path / "html") == ["a.html", "deep/er/b.html", "e.html"]
    assert brelim.parse_string("** b") in (tmp_path / "html/deep/er/b.html").read_text()
    result = brelim_command("notes", "-o", "txt", "--glob", "*.txt", "--fragment", cwd=tmp_path)
    assert files_under(tmp_path / "txt") == ["c.html"]


def test_bad_files_are_reported_and_the_others_written(tmp_path: Path):
    write_tree(
        tmp_path / "notes", {"good.outline": b"* ok", "bad.outline": b"* a\n* b\n* caf\xe9\n", "z.outline": b"* z"}
    )
    write_tree(tmp_path / "html", {"bad.html": b"the page of an earlier run"})
    result = brelim_command("notes", "missing.outline", "-o", "html", cwd=tmp_path)
    assert result.returncode == 1
    assert result.stderr.decode().splitlines() == [
        "brelim: notes/bad.outline: line 3: not UTF-8 (byte 0xe9)",
        "brelim: missing.outline: cannot read: No such file or directory",
    ]
    assert files_under(tmp_path / "html") == ["bad.html", "good.html", "z.html"]  # no temporary left either
    assert (tmp_path / "html/bad.html").read_bytes() == b"the page of an earlier run"


@pytest.mark.parametrize(
    "args, message",
    [
        (["nowhere.outline"], "brelim: nowhere.outline: cannot read: No such file or directory"),
        (["notes", "-o", "a.outline"], "brelim: a.outline: is a file, and the pages need a folder there"),
        (["a.outline", "-o", "d/"], "brelim: a.outline: cannot write d/a.html: Is a directory"),
        (["notes", "-o", "html", "--glob", "*.md"], "brelim: notes: no file in this folder matches *.md"),
        (
            ["notes", "other", "-o", "html"],
            "brelim: other/a.outline: its page html/a.html would replace that of notes/a.outline",
        ),
    ],
)
def test_failures_have_their_own_message(args: list[str], message: str, tmp_path: Path):
    write_tree(tmp_path, {"notes/a.outline": b"* a", "other/a.outline": b"* b", "a.outline": b"* c", "d/a.html/x": b""})
    result = brelim_command(*args, cwd=tmp_path)
    assert (result.returncode, result.stderr.decode()) == (1, message + "\n")


@pytest.mark.parametrize(
    "args",
    [
        [],
        ["notes"],
        ["a.outline", "a.outline"],
        ["-", "a.outline", "-o", "html"],
        ["--jobs", "0", "a.outline"],
        ["--frgament", "a.outline"],
    ],
)
def test_usage_errors_exit_2(args: list[str], tmp_path: Path):
    write_tree(tmp_path, {"notes/a.outline": b"* a", "a.outline": b"* a"})
    result = brelim_command(*args, cwd=tmp_path)
    assert result.returncode == 2 and result.stderr.startswith(b"usage: brelim") and result.stdout == b""
    assert files_under(tmp_path) == ["a.outline", "notes/a.outline"]


def test_version_and_help():
    assert brelim_command("--version").stdout.decode() == f"brelim {importlib.metadata.version('brelim')}\n"
    help_text = brelim_command("--help", env={**os.environ, "COLUMNS": "80"}).stdout.decode()
    assert len(help_text.splitlines()) <= 56
    assert all(
        option in help_text
        for option in [
            "-o OUT, --output OUT",
            "--fragment",
            "--jobs N",
            "--glob",
            "--title",
            "SOURCE",
            "\noutput:\n",
            "\nexamples:\n  brelim ",
            "--css URL",
            "--warn",
            "--quiet",
            "--strict",
            "nor 4 per",
        ]
    )


@pytest.mark.needs("fcntl", "pty", "termios")
def test_a_progress_bar_on_a_terminal(tmp_path: Path):
    import fcntl
    import pty
    import termios

    write_tree(tmp_path / "notes", {f"{n}.outline": b"* a" for n in range(3)})
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))  # a new one has no size
    result = brelim_command("notes", "-o", "html", cwd=tmp_path, stderr=terminal, stdout=subprocess.PIPE)
    os.close(terminal)
    assert result.returncode == 0 and b"3/3" in os.read(controller, 65536)
    os.close(controller)
