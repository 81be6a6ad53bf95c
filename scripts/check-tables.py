"""Converts every row of tests/tables/documents.tsv and headlines.tsv with the
brelim module on the path and compares each with its expected column. Needs
only the standard library, for interpreters that have no pytest, such as one
run under emulation. Prints the rows checked; exits 1 on any difference."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "python"))

import brelim
from tables import rows

failed = checked = 0
for name, frame in (("documents.tsv", "{}"), ("headlines.tsv", "<ul><li>{}\n</li></ul>")):
    for where, text, expected in rows(name):
        checked += 1
        got = brelim.parse_string(text)
        if got != frame.format(expected):
            failed += 1
            print(f"{where}: {text!r}\n  expected {frame.format(expected)!r}\n  got      {got!r}")
print(f"tables: {checked - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
