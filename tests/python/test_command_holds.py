"""The command run as a cron job, a script or an unlucky user runs it: closed
standard streams, long and odd names, usage that could scatter or destroy
files, pages too large to hold, an early Ctrl-C, and the report of a run."""

import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import brelim
import pytest
from test_command import brelim_command, files_under, installed_command, write_tree  # noqa: F401 (a fixture)

COMMAND = [sys.executable, "-m", "brelim_cli"]
LOSSY = "* kept\n* lost!\n"
# A line whose later plain links all show one long label: 110 KB of document, a page of 500 MB.
RUNAWAY = "* start\n* [[a][" + "x" * 50_000 + "]]" + " [[b]]" * 10_000 + "\n"


def shell(script: str, *args: object, cwd: Path, stdin: bytes = b"") -> subprocess.CompletedProcess:
    """`script` run by sh with the command as "$@", so that its redirections (2>&-) are the shell's own."""
    if shutil.which("sh") is None:
        pytest.skip("needs a POSIX shell")
    command = ["sh", "-c", script, "sh", *COMMAND, *map(str, args)]
    return subprocess.run(command, cwd=cwd, input=stdin, capture_output=True, timeout=120)


# ---- standard streams that were closed ----------------------------------


def test_closed_standard_error_sends_nothing_into_the_page(tmp_path: Path):
    (tmp_path / "bang.outline").write_text(LOSSY)
    result = shell('exec "$@" 2>&- > page.html', "bang.outline", cwd=tmp_path)
    assert result.returncode == 0
    assert (tmp_path / "page.html").read_text().endswith("</html>\n")
    write_tree(tmp_path / "notes", {f"{n}.outline": LOSSY.encode() for n in range(3)})
    result = shell('exec "$@" 2>&-', "notes", "-o", "html", "--jobs", "2", cwd=tmp_path)
    assert (result.returncode, files_under(tmp_path / "html")) == (0, ["0.html", "1.html", "2.html"])


@pytest.mark.parametrize(
    "redirect, args, told",
    [
        ("<&-", ["-"], "brelim: standard input: cannot read: Bad file descriptor\n"),
        (">&-", ["in.outline"], "brelim: in.outline: cannot write standard output: Bad file descriptor\n"),
        (">&-", ["--fragment", "-"], "brelim: standard input: cannot write standard output: Bad file descriptor\n"),
    ],
)
def test_a_closed_stream_the_run_needs_is_one_line(redirect: str, args: list[str], told: str, tmp_path: Path):
    (tmp_path / "in.outline").write_text("* a\n")
    result = shell(f'exec "$@" {redirect}', *args, cwd=tmp_path, stdin=b"* a\n")
    assert (result.returncode, result.stderr.decode()) == (1, told)


# ---- names ----------------------------------------------------------------

LONG_NAMES = ["\u6f22" * 80, "e\u0301" * 80, "a" * 247]  # 240 to 247 bytes before the suffix


@pytest.mark.parametrize("stem", LONG_NAMES, ids=["cjk", "combining", "ascii"])
def test_any_name_the_system_takes_is_converted(stem: str, tmp_path: Path):
    (tmp_path / f"{stem}.outline").write_text("* a\n", encoding="utf-8")
    result = brelim_command(f"{stem}.outline", "-o", f"{stem}.html", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, b"")
    write_tree(tmp_path / "notes", {f"{stem}.outline": b"* b\n", "other.outline": b"* c\n"})
    result = brelim_command("notes", "-o", "html", "--jobs", "2", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, b"")
    assert sorted(os.listdir(tmp_path / "html")) == sorted([f"{stem}.html", "other.html"])
    assert brelim.parse_string("* b\n") in (tmp_path / "html" / f"{stem}.html").read_text(encoding="utf-8")


# ---- usage that could scatter or destroy files ----------------------------


@pytest.mark.parametrize(
    "args, told",
    [
        (["a.outline", "-o", ""], "-o is empty"),
        (["notes", "-o", ""], "-o is empty"),
        ([""], "a source is empty"),
        (["a.outline", "--css", ""], "--css is empty"),
        (["notes", "-o", "html", "--glob", ""], "--glob is empty"),
        (["a.outline", "b.outline", "-o", "pages.html"], "-o pages.html names a page, and this run makes several"),
        (["notes", "-o", "pages.html"], "-o pages.html names a page, and this run makes several"),
        (["a.outline", "--max-page-size", "12X"], "not a size"),
    ],
)
def test_usage_that_would_scatter_pages_is_refused(args: list[str], told: str, tmp_path: Path):
    write_tree(tmp_path, {"a.outline": b"* a", "b.outline": b"* b", "notes/c.outline": b"* c"})
    result = brelim_command(*args, cwd=tmp_path)
    assert result.returncode == 2 and told in result.stderr.decode()
    assert files_under(tmp_path) == ["a.outline", "b.outline", "notes/c.outline"]


def test_standard_input_that_is_the_target_is_not_replaced(tmp_path: Path):
    (tmp_path / "x.outline").write_text("* a\n")
    result = shell('exec "$@" < x.outline', "-", "-o", "x.outline", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (1, b"brelim: standard input: would be overwritten by its own page\n")
    assert (tmp_path / "x.outline").read_text() == "* a\n"


def test_one_file_named_twice_is_converted_once(tmp_path: Path):
    (tmp_path / "a.outline").write_text("* a\n")
    result = brelim_command("a.outline", tmp_path / "a.outline", "./a.outline", "-o", "html", cwd=tmp_path)
    assert (result.returncode, result.stderr, files_under(tmp_path / "html")) == (0, b"", ["a.html"])


# ---- pages too large to hold ------------------------------------------------


def test_a_page_too_large_is_refused_before_it_is_built(tmp_path: Path):
    write_tree(tmp_path / "notes", {"big.outline": RUNAWAY.encode(), "fine.outline": b"* fine\n"})
    started = time.monotonic()
    result = brelim_command("notes/big.outline", "-o", "big.html", cwd=tmp_path)
    assert time.monotonic() - started < 20
    assert result.returncode == 1 and not (tmp_path / "big.html").exists()
    told = result.stderr.decode()
    assert told.startswith("brelim: notes/big.outline: page refused: more than 64 MB (--max-page-size)")
    assert "line 2" in told and "label" in told and told.count("\n") == 1
    result = brelim_command("notes", "-o", "html", "--fragment", cwd=tmp_path)
    assert result.returncode == 1 and result.stderr.decode().count("page refused") == 1
    assert files_under(tmp_path / "html") == ["fine.html"]


@pytest.mark.parametrize(
    "limit, converted",
    [("1m", False), ("1048576", False), ("1900K", False), ("1G", True), ("0", True)],
)
def test_the_limit_is_the_users_to_set(limit: str, converted: bool, tmp_path: Path):
    document = "* [[a][" + "x" * 1000 + "]]" + " [[b]]" * 2000 + "\n"  # a page of 2 MB
    (tmp_path / "doc.outline").write_text(document)
    result = brelim_command("doc.outline", "-o", "doc.html", "--max-page-size", limit, cwd=tmp_path)
    assert (result.returncode == 0, (tmp_path / "doc.html").exists()) == (converted, converted)


def test_convert_file_takes_the_same_limit(tmp_path: Path):
    from brelim_cli import ConversionError, convert_file

    (tmp_path / "big.outline").write_text(RUNAWAY)
    with pytest.raises(ConversionError, match="page refused"):
        convert_file(tmp_path / "big.outline", tmp_path / "big.html")
    with pytest.raises(ConversionError, match="page refused: more than 1 KB"):
        convert_file(tmp_path / "big.outline", tmp_path / "big.html", max_page_size=1024)
    small = tmp_path / "small.outline"
    small.write_text("* [[a][" + "x" * 1000 + "]]" + " [[b]]" * 200 + "\n")
    assert convert_file(small, tmp_path / "small.html", max_page_size=0) > 200_000
    assert not (tmp_path / "big.html").exists()


def interrupt_after(delay: float, *args: object, cwd: Path, ready: bool = False) -> tuple[float, int, str]:
    """Ctrl-C to the command's process group `delay` seconds after it starts (after it says it
    has loaded Python's own start-up modules, with `ready`): how long it took to end, its status,
    and what it said."""
    prelude = "import sys, runpy, importlib.util; sys.stderr.write('ready\\n'); sys.stderr.flush(); "
    code = prelude + "sys.argv[0] = '-m'; runpy.run_module('brelim_cli', run_name='__main__', alter_sys=True)"
    command = [sys.executable, "-c", code, *map(str, args)] if ready else [*COMMAND, *map(str, args)]
    if sys.platform == "win32":
        pytest.skip("a Ctrl-C to a process group is POSIX")
    process = subprocess.Popen(
        command, cwd=cwd, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, start_new_session=True
    )
    if ready:
        assert process.stderr.readline() == b"ready\n"
    time.sleep(delay)
    os.killpg(process.pid, signal.SIGINT)
    sent = time.monotonic()
    told = process.stderr.read().decode()
    process.wait(60)
    return time.monotonic() - sent, process.returncode, told


def test_ctrl_c_stops_a_long_single_file_conversion_within_a_second(tmp_path: Path):
    (tmp_path / "big.outline").write_text(RUNAWAY)  # 2 s or more to convert
    waited, status, told = interrupt_after(1.0, "big.outline", "-o", "big.html", "--max-page-size", "0", cwd=tmp_path)
    assert (status, told) == (130, "brelim: interrupted\n")
    assert waited < 1.0
    assert files_under(tmp_path) == ["big.outline"]


@pytest.mark.parametrize("delay", [0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.08, 0.1])
def test_an_early_ctrl_c_is_one_line(delay: float, tmp_path: Path):
    (tmp_path / "a.outline").write_text("* a\n")
    _, status, told = interrupt_after(delay, "a.outline", "-o", "a.html", cwd=tmp_path, ready=True)
    # Done before the signal came, or ended by it as the interpreter itself ended.
    assert (status, told) in [(130, "brelim: interrupted\n"), (0, ""), (-signal.SIGINT, "")]


# ---- messages that point the right way --------------------------------------


def test_a_clash_of_unicode_compositions_is_named_as_such(tmp_path: Path):
    write_tree(tmp_path, {"caf\u00e9.outline": b"* a", "cafe\u0301.outline": b"* b"})
    result = brelim_command("caf\u00e9.outline", "cafe\u0301.outline", "-o", "html", cwd=tmp_path)
    told = result.stderr.decode()
    assert result.returncode == 1 and "Unicode" in told and "letter case" not in told


def test_a_closed_pipe_behind_dev_stdout_ends_quietly(tmp_path: Path):
    (tmp_path / "huge.outline").write_text("* a line of a long document\n" * 200_000)
    result = shell(
        '"$@" | head -c 10 > /dev/null; exit "$(($? + 0))"', "huge.outline", "-o", "/dev/stdout", cwd=tmp_path
    )
    assert (result.returncode, result.stderr) == (0, b"")


def test_a_name_that_could_break_a_report_line_is_quoted(tmp_path: Path):
    write_tree(tmp_path / "notes", {"a\nfake: 0 headlines.outline": b"* lost!\n", " b .outline": b"* lost!\n"})
    result = brelim_command("notes", "-o", "html", "-v", cwd=tmp_path)
    lines = result.stderr.decode().splitlines()
    assert not any(line.startswith("fake") for line in lines)
    assert "'notes/a\\nfake: 0 headlines.outline': 1 headline left out (--warn lists them)" in lines
    assert "'notes/ b .outline': 1 headline left out (--warn lists them)" in lines


# ---- the report of a run ----------------------------------------------------


@pytest.mark.parametrize(
    "options, status, told",
    [
        ([], 0, ["brelim: 5 headlines left out, in 3 of 7 files (--warn lists them)"]),
        (["-q"], 0, []),
        (["-q", "--strict"], 1, ["brelim: --strict: 5 headlines left out, in 3 of 7 files"]),
        (
            ["-v"],
            0,
            [
                "notes/a1.outline: 1 headline left out (--warn lists them)",
                "notes/a3.outline: 1 headline left out (--warn lists them)",
                "notes/b/a5.outline: 3 headlines left out (--warn lists them)",
                "brelim: 5 headlines left out, in 3 of 7 files (--warn lists them)",
            ],
        ),
        (
            ["--warn"],
            0,
            [
                "notes/a1.outline:2:7: left out: '!' is not part of the format",
                "notes/a3.outline:2:7: left out: '!' is not part of the format",
                *[f"notes/b/a5.outline:{n}:7: left out: '!' is not part of the format" for n in (2, 3, 4)],
                "brelim: 5 headlines left out, in 3 of 7 files",
            ],
        ),
    ],
)
def test_a_run_of_several_files_ends_with_one_total(options: list[str], status: int, told: list[str], tmp_path: Path):
    files = {f"a{n}.outline": b"* ok\n* lost!\n" if n % 2 else b"* ok\n" for n in range(5)}
    files["b/a5.outline"] = b"* ok\n" + b"* lost!\n" * 3
    files["b/a6.outline"] = b"* ok\n"
    write_tree(tmp_path / "notes", files)
    result = brelim_command("notes", "-o", "html", "--jobs", "2", *options, cwd=tmp_path)
    assert (result.returncode, result.stderr.decode().splitlines()) == (status, told)


@pytest.mark.skipif(
    shutil.which("setpriv") is None or getattr(os, "geteuid", lambda: 1)() != 0,
    reason="needs root and setpriv, to run the command without root's overrides",
)
def test_a_write_the_folder_refuses_names_the_folder(tmp_path: Path):
    (tmp_path / "ro").mkdir()
    (tmp_path / "ro" / "y.html").write_text("old")
    (tmp_path / "ro" / "y.html").chmod(0o666)  # the page itself may be written, its folder not
    (tmp_path / "ro").chmod(0o555)
    (tmp_path / "y.outline").write_text("* y\n")
    # Without the capability to override permissions, root is refused as anyone is.
    command = ["setpriv", "--bounding-set=-dac_override,-dac_read_search", *COMMAND, "y.outline", "-o", "ro/y.html"]
    try:
        result = subprocess.run(command, cwd=tmp_path, capture_output=True, timeout=120, check=False)
    finally:
        (tmp_path / "ro").chmod(0o755)
    told = result.stderr.decode()
    assert (result.returncode, told) == (1, "brelim: y.outline: cannot write into the folder ro: Permission denied\n")
    assert (tmp_path / "ro" / "y.html").read_text() == "old"
