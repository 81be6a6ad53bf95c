"""The headlines a document loses, told by the installed command."""

from pathlib import Path

import pytest
from test_command import brelim_command, installed_command, write_tree  # noqa: F401 (a fixture)

LOSSY = "* kept\n** Buy milk!\n** Call Zo\u00eb\r\n**** four!\nprose!\n*** tab\there\n* [[Zo\u00eb]] Zo\u00eb\n* a *\n"
LISTED = """in.outline:2:12: left out: '!' is not part of the format
in.outline:3:11: left out: non-ASCII '\u00eb'
in.outline:6:8: left out: '\\t' is not part of the format
in.outline:7:7: left out: non-ASCII '\u00eb'
in.outline:8:5: left out: '*' has no text after it
"""
SUMMARY = "in.outline: 5 headlines left out (--warn lists them)\n"
STRICT = "brelim: --strict: 5 headlines left out\n"


@pytest.mark.parametrize(
    "options, status, told",
    [
        ([], 0, SUMMARY),
        (["-q"], 0, ""),
        (["--strict"], 1, SUMMARY + STRICT),
        (["-q", "--strict"], 1, STRICT),
        (["--warn"], 0, LISTED),
    ],
)
def test_left_out_headlines_are_told(options: list[str], status: int, told: str, tmp_path: Path):
    (tmp_path / "in.outline").write_bytes(LOSSY.encode())
    result = brelim_command("in.outline", "-o", "in.html", *options, cwd=tmp_path)
    assert (result.returncode, result.stderr.decode()) == (status, told)
    assert (tmp_path / "in.html").read_text(encoding="utf-8").count("<li>") == 1  # the page is written all the same


def test_each_file_of_a_folder_run_is_told_by_the_command_itself(tmp_path: Path):
    write_tree(tmp_path / "notes", {f"{n}.outline": b"* a\n* b;\n" if n % 2 else b"* fine\n" for n in range(6)})
    result = brelim_command("notes", "-o", "html", "--jobs", "2", "--strict", "-v", cwd=tmp_path)
    # told in the order of the files, whatever order the workers finish in
    assert (result.returncode, result.stderr.decode().splitlines()) == (
        1,
        [f"{Path('notes', f'{n}.outline')}: 1 headline left out (--warn lists them)" for n in (1, 3, 5)]
        + ["brelim: --strict: 3 headlines left out, in 3 of 6 files"],
    )
    result = brelim_command("--warn", "-", stdin=b"* ok\n* Caf\xc3\xa9 #1!")
    assert (result.returncode, result.stderr) == (0, "standard input:2:6: left out: non-ASCII '\u00e9'\n".encode())
