"""Calls side by side on an interpreter without the GIL: the module declares
that it needs none, and every call still gets what it gets alone."""

import sys
import sysconfig
import threading
from collections.abc import Callable

import pytest

import brelim

pytestmark = pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded CPython")

THREADS = 8
ROUNDS = 20

# ASCII documents lend their own bytes to the conversion; the others are
# copied to UTF-8 first: both paths run side by side.
DOCUMENTS = [
    "* Reading list #books\n** [[Structure and Interpretation][SICP]]\nprose\n* Inbox\n" * 2000,
    "*** deep\n* up\n** [[a/b?c=1&d]] #t [[b]]\n" * 3000,
    "* caf\u00e9 is left out\n* kept [[http://example.org/x][x]]\n\u2028\n" * 2000,
    "* " + "word " * 50_000,
    "\n".join(f"{'*' * (n % 5)} line {n} #{n}" for n in range(20_000)),
    "",
]


def run_side_by_side(work: Callable[[int], object]) -> list[object]:
    """`work(n)` on THREADS threads released at once; their results in order."""
    barrier = threading.Barrier(THREADS)
    results: list[object] = [None] * THREADS
    errors: list[BaseException] = []

    def thread(n: int) -> None:
        try:
            barrier.wait()
            results[n] = work(n)
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    pool = [threading.Thread(target=thread, args=(n,)) for n in range(THREADS)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    assert errors == []
    return results


def test_importing_the_module_leaves_the_gil_off():
    assert not sys._is_gil_enabled()


def test_threads_converting_different_documents_get_the_results_of_one_thread():
    expected = [(brelim.parse_string(d), brelim._left_out(d)) for d in DOCUMENTS]

    def work(n: int) -> list[tuple[int, str, list[tuple[int, int, int]]]]:
        got = []
        for k in range(ROUNDS):
            i = (n + k) % len(DOCUMENTS)
            got.append((i, brelim.parse_string(DOCUMENTS[i]), brelim._left_out(DOCUMENTS[i])))
        return got

    for got in run_side_by_side(work):
        assert len(got) == ROUNDS
        for i, fragment, left_out in got:
            assert (fragment, left_out) == expected[i], f"document {i}"


@pytest.mark.parametrize("index", [0, 2], ids=["ascii", "non-ascii"])
def test_threads_converting_one_shared_str_get_the_result_of_one_thread(index: int):
    # A fresh str, never converted before: no thread finds anything cached.
    shared = "".join(DOCUMENTS[index].splitlines(keepends=True))
    expected = brelim.parse_string(DOCUMENTS[index])
    results = run_side_by_side(lambda _: [brelim.parse_string(shared) for _ in range(ROUNDS)])
    assert all(got == [expected] * ROUNDS for got in results)


class Targets:
    """A table of targets for brelim._site_page, as slow to answer as Python code is."""

    def tag(self, word):
        return (("tags", f"{word}.html"), f"tags/{word}.html", f"{word}.html")

    def link(self, key):
        folder, target, _ = key
        place = (*folder, f"{target}.html")
        return (place, "/".join(place), 0, place[-1], "", f"../{'/'.join(place)}")


def test_threads_sharing_a_table_of_targets_get_the_pages_of_one_thread():
    # Every thread asks the fresh table for the same targets at once: its map is filled while others read it.
    document = "".join(f"* [[n{n}]] #t{n % 7}\n** [[/f/n{n}]]\n" for n in range(3000))
    arguments = (((), ("f",)), "f", "f/a.html", "../f/a.html", 1, "A", 0)
    expected = brelim._site_page(document, Targets(), *arguments)
    table = Targets()
    results = run_side_by_side(lambda _: [brelim._site_page(document, table, *arguments) for _ in range(3)])
    assert all(got == [expected] * 3 for got in results)
