"""The fragment's size, measured by the module without building the fragment (the C++ tests compare it
with the conversion on the tables and on generated documents)."""

import time

import pytest

import brelim


def runaway(label: int, links: int) -> str:
    """A headline whose later plain links all show one long label."""
    return f"* [[a][{'x' * label}]]" + " [[b]]" * links


@pytest.mark.parametrize(
    "document, line, carried",
    [
        ("", None, False),
        ("prose\n* caf\u00e9\n**** four", None, False),
        ("* a\n** much longer\n* b", 1, False),
        ("* a\r\n\u00e9\n" + runaway(10, 20) + "\n* b", 2, True),
        ("* [[a][A]] [[b][B]] [[b][B]]", 0, False),
    ],
)
def test_past_the_limit_the_largest_line_and_its_carried_label_are_told(document, line, carried):
    size = len(brelim.parse_string(document))
    assert brelim._fragment_size(document, size - 1) == (size, line, carried)
    assert brelim._fragment_size(document, size) == (size, None, False)


def test_a_runaway_line_is_measured_without_being_built():
    document = "* start\n" + runaway(50_000, 10_000) + "\n"  # about 110 KB, a page of 500 MB
    started = time.perf_counter()
    size = brelim._fragment_size(document, 2**62)
    assert time.perf_counter() - started < 1.0
    anchor = "<a href='b'>" + "x" * 50_000 + "</a>"
    pieces = ["<ul>", "<li> start", "</li>\n<li>", " [[a][" + "x" * 50_000 + "]]", *[" " + anchor] * 10_000]
    assert size == (sum(map(len, pieces)) + len("\n</li></ul>"), None, False)
    assert brelim._fragment_size(document, 1_000_000) == (size[0], 1, True)  # over within the runaway line
    small = "* start\n" + runaway(1_000, 500) + "\n"
    assert brelim._fragment_size(small, 2**62)[0] == len(brelim.parse_string(small))


@pytest.mark.parametrize(
    "args, error",
    [
        (("* a", -1), OverflowError),
        (("* a", 2**64), OverflowError),
        (("* a", 1.0), TypeError),
        ((b"* a", 1), TypeError),
        (("* a",), TypeError),
        (("\ud800", 1), UnicodeEncodeError),
    ],
)
def test_arguments_it_refuses(args, error):
    with pytest.raises(error):
        brelim._fragment_size(*args)
    assert "_fragment_size" not in brelim.__all__
