import pytest

import brelim

EMPTY = "<ul>\n</li></ul>"

DOCUMENTS = [
    ("", EMPTY),
    ("\n\n", EMPTY),
    ("plain prose\n**** four\n*****five\n", EMPTY),
    (
        "* A\n** B\n** C\n*** D\n* E\nplain\n**** F\n",
        "<ul><li> A<ul><li> B</li><li> C<ul><li> D</li>\n</ul><li> E\n</li></ul>",
    ),
    ("** A", "<ul><ul><li> A\n</li></ul>"),
    ("*** A\n* B", "<ul><ul><li> A</li>\n</ul><li> B\n</li></ul>"),
    ("* A\r\n** B\r\n", "<ul><li> A<ul><li> B\n</li></ul>"),
    ("* A\r* B", EMPTY),
    (" * A\n* a * b", "<ul><li> a \n</li></ul>"),
    (
        "* Read [[docs/intro][the intro]], see #review#later (ok)",
        "<ul><li> Read [[docs/intro][the intro]], see #review<a href='later'>#later</a> (ok)\n</li></ul>",
    ),
    ("* [[a][A]] and [[b]]", "<ul><li> [[a][A]] and <a href='b'>A</a>\n</li></ul>"),
    ("* #ab #a", "<ul><li> <a href='a'>#a</a>b <a href='a'>#a</a>\n</li></ul>"),
    ("* [[my page][My Page]] today", "<ul><li> <a href='my%20page'>My Page</a> today\n</li></ul>"),
    ("* [[my http notes]]", "<ul><li> <a href='my http notes'>my http notes</a>\n</li></ul>"),
    ("* Tom & Jerry's", "<ul><li> Tom & Jerry's\n</li></ul>"),
    # Characters outside the grammar make their whole line unusable, never the document.
    ("* a\x00b\n* c", "<ul><li> c\n</li></ul>"),
    ("* caf\u00e9\n* \U0001F600\n* a\u2028b\n\ufeff* bom\n* ok", "<ul><li> ok\n</li></ul>"),
    ("* a\tb\n* <b>x</b>\n* ok", "<ul><li> ok\n</li></ul>"),
]


@pytest.mark.parametrize("document, expected", DOCUMENTS)
def test_documents(document, expected):
    assert brelim.parse_string(document) == expected


# An href cannot be broken out of, and script schemes are neutralised.
@pytest.mark.parametrize(
    "line, expected",
    [
        ("* [[http it's]]", " <a href='http it&#39;s'>http it's</a>"),
        (
            "* [[http://x' onmouseover='alert(1)]]",
            " <a href='http://x&#39; onmouseover=&#39;alert(1)'>http://x' onmouseover='alert(1)</a>",
        ),
        (
            "* [[javascript:alert(1)//http]]",
            " <a href='javascript%3Aalert%281%29%2F%2Fhttp'>javascript:alert(1)//http</a>",
        ),
        ("* [[ JAVASCRIPT:x//http][go]]", " <a href='%20JAVASCRIPT%3Ax%2F%2Fhttp'>go</a>"),
        ("* [[vbscript:x http]]", " <a href='vbscript%3Ax%20http'>vbscript:x http</a>"),
        ("* [[Data:text/html,http]]", " <a href='Data%3Atext%2Fhtml%2Chttp'>Data:text/html,http</a>"),
        ("* [[https://example.org/?a=1&b=2]]", " <a href='https://example.org/?a=1&b=2'>https://example.org/?a=1&b=2</a>"),
    ],
)
def test_hrefs_are_safe(line, expected):
    assert brelim.parse_string(line) == "<ul><li>" + expected + "\n</li></ul>"


def test_large_document_round_trips_line_endings():
    lines = ["* Head %d #t%d" % (i, i % 7) if i % 3 == 0 else "** [[page %d][p]] x" % i for i in range(20000)]
    lf = "\n".join(lines)
    out = brelim.parse_string(lf)
    assert out == brelim.parse_string(lf + "\n") == brelim.parse_string("\r\n".join(lines))
    assert out.count("<li>") == 20000
    assert out.isascii()
