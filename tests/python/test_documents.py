import pytest

import brelim
from conftest import table


@pytest.mark.parametrize("document, expected", table("documents.tsv"))
def test_documents(document, expected):
    assert brelim.parse_string(document) == expected


@pytest.mark.parametrize("line, item", table("headlines.tsv"))
def test_headlines(line, item):
    assert brelim.parse_string(line) == "<ul><li>" + item + "\n</li></ul>"


def test_large_document_round_trips_line_endings():
    lines = [f"* Head {i} #t{i % 7}" if i % 3 == 0 else f"** [[page {i}][p]] x" for i in range(20000)]
    lf = "\n".join(lines)
    out = brelim.parse_string(lf)
    assert out == brelim.parse_string(lf + "\n") == brelim.parse_string("\r\n".join(lines))
    assert out.count("<li>") == 20000
    assert out.isascii()
