"""What the Python tests share: the tables of tests/tables, the used lines as
a regular expression, a fresh interpreter for code that must run in a
process of its own, and the marker of the tests that the sanitizer run
leaves out."""

import re
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

# Found beside the tests, not beside the module: the tests also run against
# an installed wheel and against a sanitizer build.
TABLES = Path(__file__).resolve().parents[1] / "tables"

EMPTY = "<ul>\n</li></ul>"

# Which lines are used, told independently of the module: a line that is a
# run of headlines, as a regular expression (the format's choices never
# depend on what follows). Group 1 holds the first headline's asterisks.
PLAIN = r"[A-Za-z0-9 \"%&'()+,\-./:=?_]"
INLINE = rf"(?:\[\[{PLAIN}+\]\[{PLAIN}+\]\]|\[\[{PLAIN}+\]\]|#[A-Za-z0-9]+|{PLAIN})+"
HEADLINES = re.compile(rf"(\*{{1,4}}){INLINE}(?:\*{{1,4}}{INLINE})*")


class Outer:
    """A type whose qualified name differs from its name, for TypeError messages."""

    class Inner:
        pass


ESCAPES = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b"0": b"\0", b"\\": b"\\"}
ESCAPE = re.compile(rb"\\(x[0-9A-Fa-f]{2}|.?)")


def unescape(field: bytes, where: str) -> str:
    """The escapes of the table files: \\n \\r \\t \\0 \\\\ and \\xHH (one byte)."""

    def replace(match: re.Match) -> bytes:
        code = match[1]
        if code[:1] == b"x" and len(code) == 3:
            return bytes([int(code[1:], 16)])
        if code in ESCAPES:
            return ESCAPES[code]
        raise ValueError(f"{where}: a backslash that starts no escape")

    return ESCAPE.sub(replace, field).decode("utf-8")


def table(name: str) -> list:
    """The rows of tests/tables/<name> as pytest parameters (input, expected),
    each named after its line: lines of two tab-separated fields; lines that
    are empty or begin with '#' are comments."""
    rows = []
    for number, line in enumerate((TABLES / name).read_bytes().split(b"\n"), 1):
        if not line or line.startswith(b"#"):
            continue
        where = f"{name}:{number}"
        fields = line.split(b"\t")
        if len(fields) != 2:
            raise ValueError(f"{where}: not two tab-separated fields")
        rows.append(pytest.param(*(unescape(field, where) for field in fields), id=where))
    if not rows:
        raise ValueError(f"{name} has no rows")
    return rows


def run_python(code: str, *args: str, timeout: float = 300) -> subprocess.CompletedProcess:
    """`code`, dedented, run by this interpreter in a process of its own."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code), *args], capture_output=True, text=True, timeout=timeout
    )


def pytest_configure(config):
    config.addinivalue_line(
        "markers",
        "big_memory: limits the address space, weighs the process or converts documents of many"
        " megabytes, which a sanitizer's own memory defeats; the sanitizer run leaves these out",
    )
