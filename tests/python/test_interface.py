import importlib.util
import inspect
import pickle
import platform
import pydoc
import sys

import pytest

import brelim
from conftest import Outer, run_python


def test_module_surface():
    assert brelim.__all__ == ["parse_string"]
    assert brelim.__name__ == "brelim"
    assert brelim.__doc__ and brelim.__doc__.count(".") == 1
    f = brelim.parse_string
    assert f.__name__ == "parse_string"
    assert f.__module__ == "brelim"
    assert f.__text_signature__ == "(str)"
    assert f.__doc__ is None
    assert f.__self__ is brelim
    assert issubclass(brelim.PanicException, BaseException)
    assert not issubclass(brelim.PanicException, Exception)
    assert brelim.PanicException.__bases__ == (BaseException,)


def test_pickles_by_reference():
    f = brelim.parse_string
    assert pickle.loads(pickle.dumps(f)) is f


def test_calls():
    assert brelim.parse_string("* a") == "<ul><li> a\n</li></ul>"
    assert brelim.parse_string(str="* a") == "<ul><li> a\n</li></ul>"

    class Text(str):
        pass

    assert brelim.parse_string(Text("* a")) == "<ul><li> a\n</li></ul>"
    assert type(brelim.parse_string(Text("* a"))) is str


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "parse_string() missing 1 required positional argument: 'str'"),
        (("a", "b"), {}, "parse_string() takes 1 positional arguments but 2 were given"),
        (("a", "b", "c"), {}, "parse_string() takes 1 positional arguments but 3 were given"),
        (("a",), {"str": "b"}, "parse_string() got multiple values for argument 'str'"),
        ((), {"text": "a"}, "parse_string() got an unexpected keyword argument 'text'"),
        ((), {"str": "a", "x": 1}, "parse_string() got an unexpected keyword argument 'x'"),
        ((b"* a",), {}, "argument 'str': 'bytes' object cannot be converted to 'PyString'"),
        ((None,), {}, "argument 'str': 'NoneType' object cannot be converted to 'PyString'"),
        ((), {"str": 3}, "argument 'str': 'int' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        brelim.parse_string(*args, **kwargs)
    assert str(caught.value) == message
    assert caught.value.__cause__ is None


def test_type_error_names_the_qualified_type():
    with pytest.raises(TypeError) as caught:
        brelim.parse_string(Outer.Inner())
    assert str(caught.value) == "argument 'str': 'Outer.Inner' object cannot be converted to 'PyString'"


@pytest.mark.parametrize(
    "first_import",
    [
        'import brelim\ndel sys.modules["brelim"]',
        # The interpreter that imports it first keeps it, a sub-interpreter too.
        'import _testcapi\nassert _testcapi.run_in_subinterp("import brelim") == 0',
    ],
    ids=["main-interpreter", "sub-interpreter"],
)
def test_second_initialisation_raises_import_error(first_import):
    if "_testcapi" in first_import and importlib.util.find_spec("_testcapi") is None:
        pytest.skip("needs _testcapi, which this interpreter has not")
    second_import = 'try:\n    import brelim\nexcept ImportError as error:\n    print("ImportError:", error)\nelse:\n    print("imported twice")\n'
    result = run_python(f"import sys\n{first_import}\n{second_import}")
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ImportError: brelim may be initialised only once")


def test_help_shows_the_signature():
    assert str(inspect.signature(brelim.parse_string)) == "(str)"
    assert "parse_string(str)" in pydoc.render_doc(brelim.parse_string, renderer=pydoc.plaintext)


class ClaimsAscii(str):
    def isascii(self):
        return True


class DeniesAscii(str):
    def isascii(self):
        return False


@pytest.mark.parametrize("make", [str, ClaimsAscii, DeniesAscii], ids=["str", "claims-ascii", "denies-ascii"])
@pytest.mark.parametrize("document", ["* caf\u00e9\n* ok\n" * 50_000, "* cafe\n* ok\n" * 50_000])
def test_the_callers_string_is_read_exactly_and_left_as_it_was(make, document):
    # A str subclass cannot steer how its text is read, and a non-ASCII
    # document is read through a copy: no UTF-8 cache is left on it.
    text = make(document)
    size = sys.getsizeof(text)
    assert brelim.parse_string(text) == brelim.parse_string(str(document))
    assert sys.getsizeof(text) == size


def test_the_private_report_of_lines_left_out():
    # (line index, byte offset in the line's UTF-8, reason code), for the command's --warn.
    assert brelim._left_out("* a!\n* ok\n** caf\u00e9\n**** x!\nprose!") == [(0, 3, 1), (2, 6, 2)]
    assert brelim._left_out("") == []
    with pytest.raises(TypeError):
        brelim._left_out(b"* a!")
    with pytest.raises(UnicodeEncodeError):
        brelim._left_out("* \ud800")


@pytest.mark.parametrize(
    "line, reason",
    [
        ("* a!", "character"),
        ("* caf\u00e9", "non_ascii"),
        ("* C# notes", "hashtag"),
        ("* [[a]", "link"),
        ("* a]", "closing_bracket"),
        ("* a *", "no_text"),
        ("* a ***** b", "many_stars"),
    ],
)
def test_each_reason_code_is_named_by_the_module(line: str, reason: str):
    # The command names the codes from this tuple, private like _left_out.
    assert brelim._left_out_reasons[0] == "none" and "_left_out_reasons" not in brelim.__all__
    [(_, _, code)] = brelim._left_out(line)
    assert brelim._left_out_reasons[code] == reason


def test_the_private_level_names_a_vector_level_of_this_processor():
    # Benchmarks and bug reports quote it; a level whose vectors did not run would be "scalar".
    machine = platform.machine().lower()
    expected = {"x86_64": {"sse2", "ssse3"}, "amd64": {"sse2", "ssse3"}, "aarch64": {"neon"}, "arm64": {"neon"}}
    assert brelim._level() in expected.get(machine, {"scalar"})
    assert "_level" not in brelim.__all__
    with pytest.raises(TypeError):
        brelim._level("ssse3")
