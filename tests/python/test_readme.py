"""The examples of the README, run as doctests, so that they cannot drift."""

import doctest
import re
from pathlib import Path

import pytest

import brelim

README = Path(__file__).resolve().parents[2] / "README.md"
TEXT = README.read_text(encoding="utf-8")
# ```pycon fences, also indented inside list items.
FENCE = re.compile(r"^(?P<indent> *)```pycon\n(?P<body>.*?)^(?P=indent)```$", re.MULTILINE | re.DOTALL)


def blocks() -> list[tuple[int, str]]:
    found = []
    for match in FENCE.finditer(TEXT):
        indent = len(match["indent"])
        body = "".join(line[indent:] for line in match["body"].splitlines(keepends=True))
        found.append((TEXT.count("\n", 0, match.start()) + 2, body))
    return found


def test_the_readme_has_examples():
    assert len(blocks()) >= 8


@pytest.mark.parametrize("line, block", blocks(), ids=[f"README.md:{line}" for line, _ in blocks()])
def test_readme_example(line, block):
    globs = {"brelim": brelim, "parse_string": brelim.parse_string}
    test = doctest.DocTestParser().get_doctest(block, globs, f"README.md:{line}", str(README), line - 1)
    report = []
    runner = doctest.DocTestRunner(optionflags=doctest.REPORT_NDIFF)
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)
    assert runner.tries > 0
