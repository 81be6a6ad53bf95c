"""Converts every row of tests/tables/documents.tsv and headlines.tsv with the
brelim module on the path and compares each with its expected column. Needs
only the standard library, for interpreters that have no pytest, such as one
run under emulation. Prints the rows checked; exits 1 on any difference."""

import sys
import types
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "python"))
# The tests' own reader, whose rows are pytest parameters: a stand-in for
# pytest keeps each row a plain (id, input, expected).
sys.modules["pytest"] = types.SimpleNamespace(param=lambda *fields, id: (id, *fields))

import brelim  # noqa: E402
from conftest import table  # noqa: E402

failed = checked = 0
for name, frame in (("documents.tsv", "{}"), ("headlines.tsv", "<ul><li>{}\n</li></ul>")):
    for where, text, expected in table(name):
        checked += 1
        got = brelim.parse_string(text)
        if got != frame.format(expected):
            failed += 1
            print(f"{where}: {text!r}\n  expected {frame.format(expected)!r}\n  got      {got!r}")
print(f"tables: {checked - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
