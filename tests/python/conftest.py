"""What the Python tests share."""

import importlib
import os
import re
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

# Found beside the tests, not beside the module: the tests also run against
# an installed wheel and against a sanitizer build.
TABLES = Path(__file__).resolve().parents[1] / "tables"

# A line that is used, told without the module: a run of headlines. Group 1
# holds the first headline's asterisks.
PLAIN = r"[A-Za-z0-9 \"%&'()+,\-./:=?_]"
INLINE = rf"(?:\[\[{PLAIN}+\]\[{PLAIN}+\]\]|\[\[{PLAIN}+\]\]|#[A-Za-z0-9]+|{PLAIN})+"
HEADLINES = re.compile(rf"(\*{{1,4}}){INLINE}(?:\*{{1,4}}{INLINE})*")


class Outer:  # Outer.Inner: a qualified name for TypeError messages
    class Inner:
        pass


def table(name: str) -> list:
    r"""The rows of tests/tables/<name> as pytest parameters named after their
    lines: two tab-separated fields a line, with the escapes \n \r \t \0 \\ and
    \xHH (a byte); lines that are empty or begin with '#' are comments."""
    rows = []
    for number, line in enumerate((TABLES / name).read_bytes().split(b"\n"), 1):
        if line and not line.startswith(b"#"):
            fields = [f.decode("unicode_escape").encode("latin-1").decode("utf-8") for f in line.split(b"\t")]
            assert len(fields) == 2, f"{name}:{number}: not two tab-separated fields"
            rows.append(pytest.param(*fields, id=f"{name}:{number}"))
    assert rows, f"no rows in {TABLES / name}"
    return rows


def run_python(code: str, *args: str) -> subprocess.CompletedProcess:
    """`code`, dedented, run by this interpreter in a process of its own."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code), *args], capture_output=True, text=True, timeout=300
    )


def pytest_configure(config):
    config.addinivalue_line(
        "markers",
        "big_memory: limits the address space, weighs the process or converts documents of many"
        " megabytes, which a sanitizer's own memory defeats; the sanitizer run leaves these out",
    )
    config.addinivalue_line(
        "markers",
        "needs(*names): skipped where one of these is missing: a module (`resource`, `pty`) or, named by"
        " an absolute path, a file (`/proc/self/status`); the wheels' test runs on macOS and Windows rely on it",
    )


def pytest_runtest_setup(item):
    for mark in item.iter_markers("needs"):
        for name in mark.args:
            if name.startswith("/"):
                if not os.path.exists(name):
                    pytest.skip(f"needs {name}, which this system has not")
            else:
                try:
                    importlib.import_module(name)
                except ImportError:
                    pytest.skip(f"needs the module {name}, which this system has not")
