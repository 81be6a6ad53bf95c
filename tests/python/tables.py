r"""The tables of tests/tables, which the C++ and the Python tests share.

Each line of a table holds two tab-separated fields, with the escapes \n \r
\t \0 \\ and \xHH (a byte); lines that are empty or begin with '#' are
comments. Needs only the standard library, so that scripts/check-tables.py
runs on interpreters that have no pytest.
"""

from pathlib import Path
from typing import NamedTuple

# Found beside the tests, not beside the module: the tests also run against
# an installed wheel and against a sanitizer build.
TABLES = Path(__file__).resolve().parents[1] / "tables"


class Row(NamedTuple):
    where: str  # "documents.tsv:12"
    given: str
    expected: str


def rows(name: str) -> list[Row]:
    """The rows of tests/tables/<name>; fails on a line that is not two fields, and on a table without rows."""
    found = []
    for number, line in enumerate((TABLES / name).read_bytes().split(b"\n"), 1):
        if line and not line.startswith(b"#"):
            fields = [f.decode("unicode_escape").encode("latin-1").decode("utf-8") for f in line.split(b"\t")]
            if len(fields) != 2:
                raise ValueError(f"{name}:{number}: not two tab-separated fields")
            found.append(Row(f"{name}:{number}", *fields))
    if not found:
        raise ValueError(f"no rows in {TABLES / name}")
    return found
