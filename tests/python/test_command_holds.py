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

import pytest

import brelim
from test_command import brelim_command, files_under, installed_command, write_tree  # noqa: F401 (a fixture)

COMMAND = [sys.executable, "-m", "brelim_cli"]
# A line whose later plain links all show one long label: 110 KB of document, a page of 500 MB.
RUNAWAY = "* start\n* [[a][" + "x" * 50_000 + "]]" + " [[b]]" * 10_000 + "\n"


def shell(script: str, *args: object, cwd: Path, stdin: bytes = b"") -> subprocess.CompletedProcess:
    """`script` run by sh with the command as "$@", so that its redirections (2>&-) are the shell's own."""
    if shutil.which("sh") is None:
        pytest.skip("needs a POSIX shell")
    command = ["sh", "-c", script, "sh", *COMMAND, *map(str, args)]
    return subprocess.run(command, cwd=cwd, input=stdin, capture_output=True, timeout=120, check=False)


@pytest.mark.parametrize(
    "script, args, status, told",
    [
        ('exec "$@" 2>&- > page.html', ["in.outline"], 0, ""),  # the left-out count must not land in the page
        ('exec "$@" 2>&-', ["notes", "-o", "html", "--jobs", "2"], 0, ""),
        ('exec "$@" <&-', ["-"], 1, "brelim: standard input: cannot read: Bad file descriptor\n"),
        ('exec "$@" >&-', ["in.outline"], 1, "brelim: in.outline: cannot write standard output: Bad file descriptor\n"),
        (
            'exec "$@" >&-',
            ["in.outline", "-o", "/dev/stdout"],
            1,
            "brelim: in.outline: cannot write /dev/stdout: Bad file descriptor\n",
        ),
        ('"$@" | head -c 10 > /dev/null', ["big.outline", "-o", "/dev/stdout"], 0, ""),  # a reader gone early
    ],
)
def test_streams_closed_or_gone(script: str, args: list[str], status: int, told: str, tmp_path: Path):
    write_tree(tmp_path, {"in.outline": b"* kept\n* lost!\n", "notes/a.outline": b"* lost!\n", "notes/b.outline": b""})
    (tmp_path / "big.outline").write_text("* a line of a long document\n" * 200_000)
    result = shell(script, *args, cwd=tmp_path, stdin=b"* a\n")
    assert (result.returncode, result.stderr.decode()) == (status, told)
    for page in tmp_path.rglob("*.html"):
        assert page.read_text().endswith("</html>\n")


@pytest.mark.parametrize("stem", ["\u6f22" * 80, "e\u0301" * 80, "a" * 247], ids=["cjk", "combining", "ascii"])
def test_any_name_the_system_takes_is_converted(stem: str, tmp_path: Path):
    write_tree(tmp_path, {f"{stem}.outline": b"* a\n", f"notes/{stem}.outline": b"* b\n", "notes/c.outline": b""})
    for args in ([f"{stem}.outline", "-o", f"{stem}.html"], ["notes", "-o", "html", "--jobs", "2"]):
        assert brelim_command(*args, cwd=tmp_path).returncode == 0
    assert sorted(os.listdir(tmp_path / "html")) == sorted([f"{stem}.html", "c.html"])
    assert brelim.parse_string("* b\n") in (tmp_path / "html" / f"{stem}.html").read_text(encoding="utf-8")


@pytest.mark.skipif(sys.platform in ("win32", "darwin"), reason="names are Unicode there")
@pytest.mark.parametrize(
    "args, page, shows, told",
    [
        (
            ["single\udcff.outline", "-o", "single.html", "--warn"],
            "single.html",
            ["<title>single\ufffd</title>"],
            ["'single\\xff.outline':2:4: left out: '!' is not part of the format"],
        ),
        (
            ["single\udcff.outline", "-o", "t.html", "--title", "T\udcfe", "--css", "s\udcfe.css"],
            "t.html",
            ["<title>T\ufffd</title>", 'href="s%FE.css"'],
            ["'single\\xff.outline': 1 headline left out (--warn lists them)"],
        ),
        (
            ["notes", "-o", "html", "-v"],
            "html/x\udcfey.html",
            ["<title>x\ufffdy</title>"],
            [
                "'notes/x\\xfey.outline': 1 headline left out (--warn lists them)",
                "brelim: 1 headline left out, in 1 of 2 files (--warn lists them)",
            ],
        ),
    ],
)
def test_names_that_are_not_utf8_are_converted(
    args: list[str], page: str, shows: list[str], told: list[str], tmp_path: Path
):
    try:
        write_tree(tmp_path, {"single\udcff.outline": b"* a\n* b!\n", "notes/x\udcfey.outline": b"* b!\n"})
    except OSError:
        pytest.skip("this file system takes only UTF-8 names")
    (tmp_path / "notes/c.outline").write_bytes(b"* c\n")
    result = brelim_command(*args, cwd=tmp_path)
    assert (result.returncode, result.stderr.decode().splitlines()) == (0, told)
    assert all(part in (tmp_path / page).read_text(encoding="utf-8") for part in shows)


# The command with a fault of its own in the conversion of every file.
FAULTY = "import sys, brelim_cli.convert as c; c.render_document = lambda *a: 1 / 0; from brelim_cli import main; sys.exit(main())"


@pytest.mark.parametrize("debug", [[], ["--debug"]])
@pytest.mark.parametrize(
    "args, names",
    [
        (["a.outline", "-o", "a.html"], ["a.outline"]),
        pytest.param(
            ["n", "-o", "html", "--jobs", "2"],
            ["n/a.outline", "n/b.outline"],
            marks=pytest.mark.skipif(sys.platform != "linux", reason="workers that inherit the fault are forked"),
        ),
    ],
)
def test_an_internal_fault_is_one_line_and_debug_shows_where(
    args: list[str], names: list[str], debug: list[str], tmp_path: Path
):
    write_tree(tmp_path, {"a.outline": b"* a\n", "n/a.outline": b"* a\n", "n/b.outline": b"* b\n"})
    result = subprocess.run(
        [sys.executable, "-c", FAULTY, *args, *debug], cwd=tmp_path, capture_output=True, timeout=120, check=False
    )
    told = result.stderr.decode()
    where = "" if debug else " (--debug shows where)"
    faults = [line for line in told.splitlines() if line.startswith("brelim: ")]
    assert result.returncode == 1
    assert sorted(faults) == [
        f"brelim: {name}: internal fault: ZeroDivisionError: division by zero{where}" for name in names
    ]
    assert told.count("Traceback (most recent call last):") == (len(names) if debug else 0)
    assert ("in convert_job" in told) == bool(debug)


@pytest.mark.parametrize(
    "args, status, told",
    [
        (["a.outline", "-o", ""], 2, "-o is empty"),
        (["notes", "-o", ""], 2, "-o is empty"),
        ([""], 2, "a source is empty"),
        (["a.outline", "--css", ""], 2, "--css is empty"),
        (["notes", "-o", "html", "--glob", ""], 2, "--glob is empty"),
        (["a.outline", "b.outline", "-o", "pages.html"], 2, "-o pages.html names a page, and this run makes several"),
        (["notes", "-o", "pages.html"], 2, "-o pages.html names a page, and this run makes several"),
        (["a.outline", "--max-page-size", "12X"], 2, "not a size"),
        (["-", "-o", "a.outline"], 1, "brelim: standard input: would be overwritten by its own page\n"),
    ],
)
def test_usage_that_would_scatter_or_destroy_files_is_refused(args: list[str], status: int, told: str, tmp_path: Path):
    write_tree(tmp_path, {"a.outline": b"* a", "b.outline": b"* b", "notes/c.outline": b"* c"})
    result = shell('exec "$@" < a.outline', *args, cwd=tmp_path)
    assert result.returncode == status and told in result.stderr.decode()
    assert files_under(tmp_path) == ["a.outline", "b.outline", "notes/c.outline"]
    assert (tmp_path / "a.outline").read_text() == "* a"


def test_one_file_named_twice_is_converted_once(tmp_path: Path):
    (tmp_path / "a.outline").write_text("* a\n")
    result = brelim_command("a.outline", tmp_path / "a.outline", "./a.outline", "-o", "html", cwd=tmp_path)
    assert (result.returncode, result.stderr, files_under(tmp_path / "html")) == (0, b"", ["a.html"])


def test_a_page_too_large_is_refused_before_it_is_built(tmp_path: Path):
    write_tree(tmp_path / "notes", {"big.outline": RUNAWAY.encode(), "fine.outline": b"* fine\n"})
    result = brelim_command("notes/big.outline", "-o", "big.html", cwd=tmp_path)
    assert (result.returncode, result.stderr.decode(), files_under(tmp_path)) == (
        1,
        "brelim: notes/big.outline: page refused: more than 64 MB (--max-page-size): "
        "line 2 repeats the label of a link in every later link of its headline\n",
        ["notes/big.outline", "notes/fine.outline"],
    )
    result = brelim_command("notes", "-o", "html", "--fragment", cwd=tmp_path)  # the others are still converted
    assert (result.returncode, result.stderr.count(b"\n"), files_under(tmp_path / "html")) == (1, 1, ["fine.html"])


@pytest.mark.parametrize("limit, converted", [("1m", False), ("1900K", False), ("1G", True), ("0", True)])
def test_the_limit_is_the_users_to_set(limit: str, converted: bool, tmp_path: Path):
    from brelim_cli import ConversionError, convert_file

    (tmp_path / "doc.outline").write_text("* [[a][" + "x" * 1000 + "]]" + " [[b]]" * 2000 + "\n")  # a page of 2 MB
    result = brelim_command("doc.outline", "-o", "doc.html", "--max-page-size", limit, cwd=tmp_path)
    assert (result.returncode == 0, (tmp_path / "doc.html").exists()) == (converted, converted)
    size = int(limit[:-1]) << {"m": 20, "K": 10, "G": 30}[limit[-1]] if limit != "0" else 0
    if not converted:
        with pytest.raises(ConversionError, match="page refused"):
            convert_file(tmp_path / "doc.outline", tmp_path / "by-function.html", max_page_size=size)
    else:
        assert convert_file(tmp_path / "doc.outline", tmp_path / "by-function.html", max_page_size=size) > 2_000_000


def interrupt_after(delay: float, *args: object, cwd: Path, ready: bool = False) -> tuple[float, int, str]:
    """Ctrl-C to the command's process group `delay` seconds after it starts (after it says it has loaded
    Python's own start-up modules, with `ready`): how long it took to end, its status, and what it said."""
    if sys.platform == "win32":
        pytest.skip("a Ctrl-C to a process group is POSIX")
    prelude = "import sys, runpy, importlib.util; sys.stderr.write('ready\\n'); sys.stderr.flush(); "
    code = prelude + "sys.argv[0] = '-m'; runpy.run_module('brelim_cli', run_name='__main__', alter_sys=True)"
    command = [sys.executable, "-c", code, *map(str, args)] if ready else [*COMMAND, *map(str, args)]
    # Leaving the block closes the pipe.
    with subprocess.Popen(
        command, cwd=cwd, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, start_new_session=True
    ) as process:
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
    assert (status, told, files_under(tmp_path)) == (130, "brelim: interrupted\n", ["big.outline"])
    assert waited < 1.0


@pytest.mark.parametrize("delay", [0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.08, 0.1])
def test_an_early_ctrl_c_is_one_line(delay: float, tmp_path: Path):
    (tmp_path / "a.outline").write_text("* a\n")
    _, status, told = interrupt_after(delay, "a.outline", "-o", "a.html", cwd=tmp_path, ready=True)
    # Done before the signal came, or ended by it as the interpreter itself ended.
    assert (status, told) in [(130, "brelim: interrupted\n"), (0, ""), (-signal.SIGINT, "")]


def test_names_in_messages_point_the_right_way(tmp_path: Path):
    files = {"a\nfake: 0 headlines.outline": b"* lost!\n", " b .outline": b"* lost!\n", "caf\u00e9.outline": b""}
    write_tree(tmp_path / "notes", {**files, "cafe\u0301.outline": b""})
    result = brelim_command("notes", "-o", "html", "-v", cwd=tmp_path)
    assert result.stderr.decode().splitlines() == [
        "brelim: notes/caf\u00e9.outline: its page html/caf\u00e9.html would replace that of notes/cafe\u0301.outline: "
        "the same name in two Unicode compositions (NFC and NFD), which some disks do not tell apart",
        "'notes/ b .outline': 1 headline left out (--warn lists them)",
        "'notes/a\\nfake: 0 headlines.outline': 1 headline left out (--warn lists them)",
        "brelim: 2 headlines left out, in 2 of 3 files (--warn lists them)",
    ]


@pytest.mark.skipif(
    shutil.which("setpriv") is None or getattr(os, "geteuid", lambda: 1)() != 0,
    reason="needs root and setpriv, to run the command without root's overrides",
)
def test_a_write_the_folder_refuses_names_the_folder(tmp_path: Path):
    write_tree(tmp_path, {"y.outline": b"* y\n", "ro/y.html": b"old"})
    (tmp_path / "ro" / "y.html").chmod(0o666)  # the page itself may be written, its folder not
    (tmp_path / "ro").chmod(0o555)
    # Without the capability to override permissions, root is refused as anyone is.
    command = ["setpriv", "--bounding-set=-dac_override,-dac_read_search", *COMMAND, "y.outline", "-o", "ro/y.html"]
    try:
        result = subprocess.run(command, cwd=tmp_path, capture_output=True, timeout=120, check=False)
    finally:
        (tmp_path / "ro").chmod(0o755)
    told = result.stderr.decode()
    assert (result.returncode, told) == (1, "brelim: y.outline: cannot write into the folder ro: Permission denied\n")
    assert (tmp_path / "ro" / "y.html").read_text() == "old"


LOST = "'!' is not part of the format"


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
                *[f"notes/{name}: 1 headline left out (--warn lists them)" for name in ("a1.outline", "a3.outline")],
                "notes/b/a5.outline: 3 headlines left out (--warn lists them)",
                "brelim: 5 headlines left out, in 3 of 7 files (--warn lists them)",
            ],
        ),
        (
            ["--warn"],
            0,
            [
                *[f"notes/{name}:2:7: left out: {LOST}" for name in ("a1.outline", "a3.outline", "b/a5.outline")],
                *[f"notes/b/a5.outline:{n}:7: left out: {LOST}" for n in (3, 4)],
                "brelim: 5 headlines left out, in 3 of 7 files",
            ],
        ),
    ],
)
def test_a_run_of_several_files_ends_with_one_total(options: list[str], status: int, told: list[str], tmp_path: Path):
    files = {f"a{n}.outline": b"* ok\n* lost!\n" if n % 2 else b"* ok\n" for n in range(5)}
    write_tree(tmp_path / "notes", {**files, "b/a5.outline": b"* ok\n" + b"* lost!\n" * 3, "b/a6.outline": b""})
    result = brelim_command("notes", "-o", "html", "--jobs", "2", *options, cwd=tmp_path)
    assert (result.returncode, result.stderr.decode().splitlines()) == (status, told)
